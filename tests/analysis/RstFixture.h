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
            Exec(U("insert into tb_account (id_account, account, currency, rest, rate, beg, a) values "
                   "(1, 'Кошелёк', 'руб', 0, 1, 1000, null), (2, 'Банк', 'руб', 0, 1, 250.5, '+'), "
                   "(3, 'Доллары', '$', 0, 90, 100, '+')"));
            Exec(U("insert into tb_items (id_itm, itm, id_ref, lev, c) values (-1, 'ПЕРЕВОД', null, 0, '0'), "
                   "(100, 'Еда', null, 0, '-'), (110, 'Хлеб', 100, 1, '-'), (111, 'Молоко', 100, 1, '-'), "
                   "(120, 'Батон', 110, 2, '-'), (200, 'Зарплата', null, 0, '+'), (300, 'Разное', null, 0, '0')"));
            Exec(U("insert into tb_person (id_person, name) values (1, 'Иванов'), (2, 'Петров')"));
            Exec(U("insert into tb_firm (id_firm, firm) values (1, 'Магазин'), (2, 'Аптека')"));
            TQuery ins;
            ins.SetDatabase(&dm.Db);
            ins.SQL() << U("insert into tb_hist (id_account, date_real, date_create, kind, dt, ct, level1, level2, "
                           "level3, price, qdt, qct, rate, id_person, id_firm, comment, yr, mn, b) values (:a, :d, "
                           ":c, :k, :dt, :ct, :l1, :l2, :l3, :pr, :qdt, :qct, :rt, :p, :f, :cm, :yr, :mn, :b)");
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
                const auto opt = [&ins](const char *name, auto value, auto set) {
                    TParam *p = ins.ParamByName(QString::fromLatin1(name));
                    if (value)
                        set(p, *value);
                    else {
                        p->SetAsFloat(0);
                        p->Clear();
                    }
                };
                const auto f = [](TParam *p, double v) { p->SetAsFloat(v); };
                const auto n = [](TParam *p, int v) { p->SetAsInteger(v); };
                ins.ParamByName(U("a"))->SetAsInteger(r.Account);
                ins.ParamByName(U("d"))->SetAsDate(r.Date);
                ins.ParamByName(U("c"))->SetAsDateTime(r.Stamp);
                ins.ParamByName(U("k"))->SetAsString(r.Kind);
                opt("dt", r.Dt, f);
                opt("ct", r.Ct, f);
                ins.ParamByName(U("l1"))->SetAsInteger(r.Level1);
                opt("l2", r.Level2, n);
                opt("l3", r.Level3, n);
                opt("pr", r.Price, f);
                opt("qdt", r.Qdt, f);
                opt("qct", r.Qct, f);
                ins.ParamByName(U("rt"))->SetAsFloat(r.Rate);
                opt("p", r.Person, n);
                opt("f", r.Firm, n);
                ins.ParamByName(U("cm"))->SetAsString(r.Comment);
                if (r.Comment.isEmpty())
                    ins.ParamByName(U("cm"))->Clear();
                int y = 0, m = 0, d = 0;
                DecodeDate(r.Date, y, m, d);
                ins.ParamByName(U("yr"))->SetAsInteger(y);
                ins.ParamByName(U("mn"))->SetAsInteger(m);
                ins.ParamByName(U("b"))->SetAsString(r.Mark ? U("+") : QString());
                if (!r.Mark)
                    ins.ParamByName(U("b"))->Clear();
                ins.ExecSQL();
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
