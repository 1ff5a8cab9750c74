// A data set for the import tests, in its own temporary folder: the template
// tables, opened by the data module (which writes the first account "Мой
// первый счёт" and the roots 0 "Статья расхода" (-) and 1 "Статья дохода"
// (+)), plus:
//   categories  10 Еда under 0 (-); 11 Хлеб under 10 (-); 12 Прочее under 10 (-);
//               20 Зарплата under 1 (+); 21 Прочее under 20 (+);
//               30 Подарки under 0 ('+', an income-only name under the expense root)
//   people      Иванов И.И.; firms: Магазин
// Category ids are given by the data module; Id() finds them by name and parent.
#pragma once

#include "core/ZorbDm.h"
#include "core/ZorbDmTables.h"
#include "core/ZorbText.h"
#include "platform/sqltable/Sqlite.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

// Readable texts in failure messages.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

namespace zorbel::test {


class TImportDataSet {
public:
    TImportDataSet()
    {
        const QString path = QStringLiteral("PATH=") + dir_.path();
        {
            TDatabase db;
            db.SetParams({path});
            db.Open();
            CreateTemplateDataSet(db);
            db.Close();
        }
        Dm.Db.SetParams({path});
        EXPECT_TRUE(Dm.OpenDataSet({}).Opened);
        const int food = AddItem("Еда", 1, ExpenseRoot, "-");
        AddItem("Хлеб", 2, food, "-");
        AddItem("Прочее", 2, food, "-");
        const int salary = AddItem("Зарплата", 1, IncomeRoot, "+");
        AddItem("Прочее", 2, salary, "+");
        AddItem("Подарки", 1, ExpenseRoot, "+");
        Dm.Tb_Person.Insert();
        Dm.Tb_Person.FieldByName(QStringLiteral("Name"))->SetAsString(U("Иванов И.И."));
        Dm.Tb_Person.Post();
        Dm.Tb_Firm.Insert();
        Dm.Tb_Firm.FieldByName(QStringLiteral("Firm"))->SetAsString(U("Магазин"));
        Dm.Tb_Firm.Post();
        Dm.Tb_Account.First();
    }

    int AddItem(const char *name, int lev, int parent, const char *kind)
    {
        Dm.Tb_Items.Insert();
        Dm.Tb_Items.FieldByName(QStringLiteral("ITM"))->SetAsString(U(name));
        Dm.Tb_Items.FieldByName(QStringLiteral("LEV"))->SetAsInteger(lev);
        if (lev > 0)
            Dm.Tb_Items.FieldByName(QStringLiteral("ID_REF"))->SetAsInteger(parent);
        Dm.Tb_Items.FieldByName(QStringLiteral("C"))->SetAsString(QString::fromLatin1(kind));
        Dm.Tb_Items.Post();
        return Dm.Tb_Items.FieldByName(QStringLiteral("ID_ITM"))->AsInteger();
    }

    // The id of the category named so under parent (-1000: a root), or -999.
    int Id(const char *name, int parent = -1000)
    {
        const QString where = parent == -1000 ? QStringLiteral("ID_REF IS NULL") : QStringLiteral("ID_REF = ?2");
        TSqliteStatement st(Dm.Db.Db(), QStringLiteral("SELECT ID_ITM FROM Tb_Items WHERE ITM = ?1 AND ") + where);
        st.BindText(1, U(name));
        if (parent != -1000)
            st.BindInt(2, parent);
        return st.Step() ? int(st.ColumnInt(0)) : -999;
    }

    // One column of a query, rows joined by "|" per row and "\n" between rows.
    QStringList Select(const QString &sql)
    {
        QStringList rows;
        TSqliteStatement st(Dm.Db.Db(), sql);
        while (st.Step()) {
            QStringList cells;
            for (int c = 0; c < st.ColumnCount(); ++c)
                cells.append(st.IsNull(c) ? QStringLiteral("~") : st.ColumnText(c));
            rows.append(cells.join(u'|'));
        }
        return rows;
    }

    double Rest()
    {
        return Dm.Tb_Account.FieldByName(QStringLiteral("Rest"))->AsFloat();
    }

    static constexpr int ExpenseRoot = 0;
    static constexpr int IncomeRoot = 1;

private:
    QTemporaryDir dir_;

public:
    TDm Dm;
};

} // namespace zorbel::test
