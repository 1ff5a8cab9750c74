// A main window over a new data set holding a generated ledger for the
// results window: three accounts (the third in a group), a category tree of
// three levels with the transfer category, two people, two firms and N
// operations over 2024 and early 2025 with incomes, expenses, planned rows,
// rates, quantities, nulls and bookmarks. The rows are kept in Rows so tests
// compute what the window should show without its queries.
#pragma once

#include "analysis/AnalysisWindows.h"
#include "analysis/ZorbRst.h"
#include "platform/sqltable/Database.h"
#include "core/ZorbMain.h"
#include "core/ZorbSandbox.h"
#include "core/ZorbText.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Money.h"
#include "platform/widgets/ModalScript.h"
#include "support/DataSetBuilder.h"
#include "support/SqliteShell.h"

#include <gtest/gtest.h>

#include <optional>

namespace zorbel::test {

struct TRstRow {
    int Account;
    TDateTime Date;
    TDateTime Stamp;
    QString Kind;
    std::optional<double> Dt, Ct;
    int Level1;
    std::optional<int> Level2, Level3;
    std::optional<double> Price, Qdt, Qct;
    double Rate;
    std::optional<int> Person, Firm;
    QString Comment;
    bool Mark;
};

class RstFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterAnalysisWindows();
        TModalScript start;
        start.Press(QStringLiteral("Yes"));
        main = std::make_unique<TFormMain>(QStringList{}, box.Path("program"));
        ASSERT_TRUE(main->Dm && main->Dm->Tb_Account.Active());
    }
    void TearDown() override { main.reset(); }

    void Exec(const QString &sql)
    {
        TQuery q;
        q.SetDatabase(&main->Dm->Db);
        q.SQL() << sql;
        q.ExecSQL();
    }

    // Fills the data set; Count operations.
    void Populate(int Count)
    {
        TDm &dm = *main->Dm;
        {
            TTransactionScope tr(dm.Db);
            Exec(U("delete from tb_hist"));
            Exec(U("delete from tb_account"));
            Exec(U("delete from tb_items"));
            Exec(U("delete from tb_person"));
            Exec(U("delete from tb_firm"));
            TDataSetBuilder build(dm.Db);
            build.Account({.Id = 1, .Name = U("Кошелёк"), .Beg = 1000});
            build.Account({.Id = 2, .Name = U("Банк"), .Beg = 250.5, .A = U("+")});
            build.Account({.Id = 3, .Name = U("Доллары"), .Currency = U("$"), .Rate = 90, .Beg = 100, .A = U("+")});
            build.Category({.Id = -1, .Name = U("ПЕРЕВОД"), .C = U("0")});
            build.Category({.Id = 100, .Name = U("Еда")});
            build.Category({.Id = 110, .Name = U("Хлеб"), .Parent = 100, .Level = 1});
            build.Category({.Id = 111, .Name = U("Молоко"), .Parent = 100, .Level = 1});
            build.Category({.Id = 120, .Name = U("Батон"), .Parent = 110, .Level = 2});
            build.Category({.Id = 200, .Name = U("Зарплата"), .C = U("+")});
            build.Category({.Id = 300, .Name = U("Разное"), .C = U("0")});
            build.Person(1, U("Иванов"));
            build.Person(2, U("Петров"));
            build.Firm(1, U("Магазин"));
            build.Firm(2, U("Аптека"));
            const TDateTime start = EncodeDate(2024, 1, 1);
            for (int i = 0; i < Count; ++i) {
                TRstRow r;
                r.Account = 1 + i % 3;
                r.Date = start + (i * 7) % 430;
                r.Stamp = start + i / 1440.0 + 0.5 / 86400;
                r.Kind = i % 5 == 0 ? U("2") : U("1");
                const double amount = 10 + (i * 37) % 500 + 0.25;
                const int shape = i % 6;
                if (shape == 0) {
                    r.Dt = amount;
                    r.Level1 = 200;
                } else if (shape == 5) {
                    r.Ct = amount;
                    r.Level1 = 300;
                } else {
                    r.Ct = amount;
                    r.Level1 = 100;
                    r.Level2 = shape % 2 ? 110 : 111;
                    if (shape == 1)
                        r.Level3 = 120;
                }
                if (i % 3 == 0)
                    r.Price = 1.5 + i % 4;
                if (r.Ct && i % 2 == 0)
                    r.Qdt = 1 + i % 3;
                if (r.Dt)
                    r.Qct = 2;
                r.Rate = r.Account == 3 ? 90 : 1 + (i % 2) * 0.5;
                if (i % 4 == 1)
                    r.Person = 1 + (i / 4) % 2;
                if (i % 7 == 2)
                    r.Firm = 1 + (i / 7) % 2;
                r.Comment = i % 9 == 0 ? U("Хлеб 50% жирн_ 'к'") : i % 9 == 1 ? U("молоко") : QString();
                r.Mark = i % 11 == 0;
                Rows.push_back(r);
                build.Operation({.Account = r.Account, .Date = r.Date, .Kind = r.Kind, .Dt = r.Dt, .Ct = r.Ct,
                                 .Level1 = r.Level1, .Level2 = r.Level2, .Level3 = r.Level3, .Price = r.Price,
                                 .Qdt = r.Qdt, .Qct = r.Qct, .Rate = r.Rate, .Person = r.Person, .Firm = r.Firm,
                                 .Comment = r.Comment, .Mark = r.Mark, .Stamp = r.Stamp});
            }
            tr.Commit();
        }
        for (TTable *t : {&dm.Tb_Account, &dm.Tb_Items, &dm.Tb_Person, &dm.Tb_Firm, &dm.Tb_Hist}) {
            t->Close();
            t->Open();
        }
        dm.Tb_Account.First();
        main->SetLedgerRange(dm.Tb_Hist);
    }

    // A results window for 2024 with no condition: every account, every kind.
    std::unique_ptr<TFormRst> OpenWindow()
    {
        auto f = std::make_unique<TFormRst>(*main);
        f->Updating = true;
        f->ChAcc->SetChecked(false);
        f->CbKind->SetItemIndex(2);
        f->Updating = false;
        f->Period.Kind = rpYear;
        f->Period.FromDate = EncodeDate(2024, 1, 1);
        f->Period.ToDate = EncodeDate(2024, 12, 31);
        return f;
    }

    // The same window on tab 1 with its operations list open.
    std::unique_ptr<TFormRst> OpenList()
    {
        auto f = OpenWindow();
        f->TcGrp->SetTabIndex(1);
        f->TcGrpChange(nullptr);
        return f;
    }

    QString Sqlite(const QString &sql) { return RunSqlite3(main->Dm->Db.FileName(), sql); }

    TSandbox box;
    std::unique_ptr<TFormMain> main;
    std::vector<TRstRow> Rows;
};

} // namespace zorbel::test
