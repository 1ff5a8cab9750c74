// Import of 20,000 lines into a data set of 100,000 operations:
//   1. step 2: the preview of the lines (matching categories, people, firms);
//   2. step 3: writing the importable rows in one transaction.
// The lines mix known and new categories, people and firms, as a bank
// statement of a year does. Targets: preview <= 0.5 s, write <= 1 s.
#include "analysis/ZorbImpPreview.h"
#include "analysis/ZorbImpWrite.h"
#include "core/ZorbDm.h"
#include "core/ZorbDmTables.h"
#include "memtable/VemtMemTable.h"
#include "platform/sqltable/Sqlite.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <tuple>
#include <cstdio>

using namespace zorbel;

namespace {

constexpr int Operations = 100000;
constexpr int Lines = 20000;
constexpr int Groups = 40;       // level-1 categories under the expense root
constexpr int ItemsPerGroup = 10; // level-2 categories under each
constexpr int People = 500;

double Ms(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

QString GroupName(int g) { return QStringLiteral("Группа %1").arg(g); }
QString ItemName(int g, int i) { return QStringLiteral("Статья %1-%2").arg(g).arg(i); }

// Fills the data set straight through SQLite: the two roots and their
// categories, people and the operations of three accounts.
void FillDataSet(TSqliteDb &db)
{
    db.Exec(QStringLiteral("BEGIN"));
    {
        TSqliteStatement st(db, QStringLiteral("INSERT INTO Tb_Items (ID_ITM, ITM, ID_REF, LEV, C) VALUES (?, ?, ?, ?, '-')"));
        for (const auto &[root, name, kind] : {std::tuple{0, "Статья расхода", "-"}, std::tuple{1, "Статья дохода", "+"}})
            db.Exec(QStringLiteral("INSERT INTO Tb_Items (ID_ITM, ITM, LEV, C) VALUES (%1, '%2', 0, '%3')")
                        .arg(root)
                        .arg(QString::fromUtf8(name), QString::fromLatin1(kind)));
        int id = 10;
        for (int g = 0; g < Groups; ++g) {
            const int group = id++;
            st.BindInt(1, group);
            st.BindText(2, GroupName(g));
            st.BindInt(3, 0);
            st.BindInt(4, 1);
            st.Step();
            st.Reset();
            for (int i = 0; i < ItemsPerGroup; ++i) {
                st.BindInt(1, id++);
                st.BindText(2, ItemName(g, i));
                st.BindInt(3, group);
                st.BindInt(4, 2);
                st.Step();
                st.Reset();
            }
        }
    }
    {
        TSqliteStatement st(db, QStringLiteral("INSERT INTO TB_Person (Id_Person, Name) VALUES (?, ?)"));
        for (int p = 1; p <= People; ++p) {
            st.BindInt(1, p);
            st.BindText(2, QStringLiteral("Человек %1").arg(p));
            st.Step();
            st.Reset();
        }
    }
    {
        TSqliteStatement st(db, QStringLiteral("INSERT INTO Tb_Hist (Id_Account, Date_Real, Date_Create, Kind, Ct, "
                                               "Level1, Level2, Yr, Mn) VALUES (?, ?, ?, '1', ?, 0, ?, 2020, 1)"));
        const double day0 = EncodeDate(2020, 1, 1);
        for (int n = 0; n < Operations; ++n) {
            st.BindInt(1, 1 + n % 3);
            st.BindInt(2, int(day0) + n % 1800);
            st.BindDouble(3, day0 + n / 86400.0);
            st.BindDouble(4, 10 + n % 500);
            st.BindInt(5, 10 + (n % Groups) * (ItemsPerGroup + 1));
            st.Step();
            st.Reset();
        }
    }
    db.Exec(QStringLiteral("COMMIT"));
}

QStringList MakeLines()
{
    QStringList lines;
    lines.reserve(Lines + 1);
    lines.append(QStringLiteral("Дата;Статья;Расход;Приход;Кто;Где;Примечание"));
    for (int n = 0; n < Lines; ++n) {
        const int g = n % (Groups + 5); // five groups are new
        const QString item = g < Groups ? GroupName(g) + QLatin1Char(':') + ItemName(g, n % (ItemsPerGroup + 2))
                                        : QStringLiteral("Новая %1:Новая статья %2").arg(g).arg(n % 7);
        const bool income = n % 10 == 0;
        const QString amount = QStringLiteral("%1,%2").arg(1 + n % 3000).arg(n % 100, 2, 10, QLatin1Char('0'));
        lines.append(QStringLiteral("%1.%2.2024;%3;%4;%5;Человек %6;Фирма %7;строка %8")
                         .arg(1 + n % 28, 2, 10, QLatin1Char('0'))
                         .arg(1 + n % 12, 2, 10, QLatin1Char('0'))
                         .arg(item, income ? QString() : amount, income ? amount : QString())
                         .arg(1 + n % (People + 100))
                         .arg(n % 50)
                         .arg(n));
    }
    return lines;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = QStringLiteral("PATH=") + dir.path();
    {
        TDatabase db;
        db.SetParams({path});
        db.Open();
        CreateTemplateDataSet(db);
        FillDataSet(db.Db());
        db.Close();
    }
    TDm dm;
    dm.Db.SetParams({path});
    if (!dm.OpenDataSet({}).Opened) {
        std::fprintf(stderr, "data set did not open\n");
        return 1;
    }
    dm.Tb_Account.First();
    dm.Tb_Hist.SetRange({dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger()},
                        {dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger()});

    const QStringList lines = MakeLines();
    TImportSettings settings;
    settings.Columns = QStringList{QStringLiteral("Дата"), QStringLiteral("Статья1"), QStringLiteral("Расход"),
                                   QStringLiteral("Приход"), QStringLiteral("Кто"), QStringLiteral("Где"),
                                   QStringLiteral("Примеч.")};
    TVemtMemTable tab;
    OpenImportTable(tab);

    auto t0 = std::chrono::steady_clock::now();
    const TImportCatalog catalog = TImportCatalog::FromDataModule(dm);
    const TImportSummary summary = BuildImportPreview(tab, lines, settings, catalog, EncodeDate(2024, 12, 31));
    const double preview = Ms(t0);

    t0 = std::chrono::steady_clock::now();
    const TImportWriteResult written = WriteImport(dm, tab);
    const double write = Ms(t0);

    std::printf("import of %d lines into %d operations\n", Lines, Operations);
    std::printf("  preview (step 2): %8.1f ms  rows %d, importable %d   target <= 500 ms\n", preview,
                tab.RecordCount(), summary.Importable);
    std::printf("  write   (step 3): %8.1f ms  written %d, failed %d   target <= 1000 ms\n", write, written.Written,
                written.Failed);
    return written.Written == summary.Importable ? 0 : 1;
}
