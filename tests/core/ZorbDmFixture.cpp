// The data module tests' data sets: the template, the Cyrillic fixture and the oldest structure.
#include "ZorbDmFixture.h"
#include "support/SqliteShell.h"

#include "archive/ZipReader.h"
#include "core/ZorbDm.h"
#include "core/ZorbDmTables.h"
#include "platform/sqltable/Database.h"
#include "platform/sqltable/Table.h"

#include <QDate>
#include <QProcess>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

struct TOldField {
    const char *Name;
    TFieldType Type;
    int Size;
};

void MakeTable(TDatabase &db, const char *name, std::initializer_list<TOldField> fields, const char *key)
{
    TTable t;
    t.SetDatabase(&db);
    t.SetTableName(QString::fromUtf8(name));
    for (const TOldField &f : fields)
        t.FieldDefs().Add(QString::fromUtf8(f.Name), f.Type, f.Size);
    t.IndexDefs().Add(QString(), QString::fromUtf8(key), {ixPrimary});
    t.CreateTable();
}

void Connect(TDatabase &db, const QString &folder)
{
    db.SetParams({QStringLiteral("PATH=") + folder});
    db.Open();
}

} // namespace

int UnpackTemplate(const QString &folder)
{
    TZipReader zip;
    zip.SetDestDir(folder);
    zip.SetDoAll(true);
    zip.SetOverwriteMode(TUZOverwriteMode::Always);
    return TDm::ExtractTemplate(zip);
}

void MakeFixture(const QString &folder)
{
    TDatabase db;
    Connect(db, folder);
    for (const TDmTableDef &def : DmTables())
        CreateDmTable(db, def);
    AppendRows(db, "Tb_Account",
           {{1, S("Кошелёк"), S("руб"), 1500.0, S("!"), N, 1.0, 1000.0},
            {2, S("Банк Ёлка"), S("руб"), 20000.0, N, S("+"), 1.0, N},
            {3, S("Доллары"), S("$"), 300.0, N, N, 90.0, N},
            {4, S("Пустой евро"), S("EUR"), 0.0, N, N, 100.0, N},
            {5, S("Копилка"), S("руб"), 0.0, N, N, 1.0, N}});
    //       acc date            stamp kind dt  ct   l1 l2 l3 price pers firm ref comment qdt qct rate yr mn b
    AppendRows(db, "Tb_Hist",
           {{1, Dt(2024, 1, 10), St(1), S("1"), N, 100.0, 0, 10, 11, 50.0, 1, 1, N, S("Хлеб белый"), 2.0, N, 1.0, 2024, 1, N},
            {1, Dt(2024, 1, 15), St(2), S("1"), 5000.0, N, 1, 20, N, N, N, N, N, S("Аванс"), N, N, 1.0, 2024, 1, N},
            {1, Dt(2024, 2, 3), St(3), S("1"), N, 250.0, 0, 10, 12, N, N, N, N, S("Молоко свежее"), N, N, 1.0, 2024, 2, S("+")},
            {1, Dt(2024, 2, 20), St(4), S("2"), N, 400.0, 0, 30, N, N, N, N, N, N, N, N, 1.0, 2024, 2, N},
            {1, Dt(2024, 2, 5), St(5), S("1"), N, 900.0, -1, N, N, N, N, N, 3, N, N, N, 1.0, 2024, 2, N},
            {3, Dt(2024, 2, 5), St(5), S("1"), 10.0, N, -1, N, N, N, N, N, 1, N, N, N, 90.0, 2024, 2, N},
            {2, Dt(2023, 12, 31), St(7), S("1"), 20000.0, N, 1, 20, N, N, N, N, N, N, N, N, 1.0, 2023, 12, N},
            {1, Dt(2030, 1, 1), St(8), S("2"), N, 700.0, -1, N, N, N, N, N, 5, N, N, N, 1.0, 2030, 1, N},
            {1, Dt(2024, 1, 10), St(9), S("1"), N, 30.0, 0, 10, 11, N, N, N, N, S("ХЛЕБ"), N, 3.0, 3.0, 2024, 1, N}});
    //       id itm ref lev c s a z sm pr qn dte prs frm comm grp lim
    AppendRows(db, "Tb_Items",
           {{-1, S("ПЕРЕВОД"), N, 0, S("-")},
            {0, S("Статья расхода"), N, 0, S("-")},
            {1, S("Статья дохода"), N, 0, S("+")},
            {10, S("Еда"), 0, 1, S("-"), N, N, N, 100.0, N, N, N, N, N, N, S("12")},
            {11, S("Хлеб"), 10, 2, S("-"), S("N"), N, N, 50.0, N, N, N, N, N, N, S("2")},
            {12, S("Молоко"), 10, 2, S("-"), N, N, N, 80.0, N, N, N, N, N, N, S("2")},
            {20, S("Зарплата"), 1, 1, S("+")},
            {30, S("Разное"), 0, 1, S("0"), N, N, N, 30.0, N, N, N, N, N, N, S("2"), -20.0},
            {40, S("Сирота"), 99, 2, S("-")}});
    AppendRows(db, "TB_Person",
           {{1, S("Иванов И.И."), S("111"), N, Dt(1980, 3, 5), 1, N, N, 5, 3, N},
            {2, S("Ёлкин П."), N, N, N, 1},
            {3, S("Андреев А."), N, S("ул. Ленина"), Dt(1975, 3, 5), 2, N, N, 5, 3, N},
            {4, S("Свободный")}});
    AppendRows(db, "Tb_Firm", {{1, S("Магазин")}, {2, S("Аптека")}, {3, S("Рынок")}, {4, S("Киоск")}});
    AppendRows(db, "TB_Family", {{1, 3, S("Петя"), Dt(2010, 6, 1), N, N, 1, 6}});
    AppendRows(db, "Tb_Log",
           {{St(101), Dt(2024, 1, 5), S("Оплатить"), 2, N, S("1"), 5},
            {St(102), Dt(2024, 2, 10), S("Взнос"), N, 3, S("2"), 10},
            {St(103), Dt(2024, 5, 1), S("Будущее"), N, N, S("1"), 1},
            {St(104), Dt(2024, 1, 5), S("Просто запись"), N, N, S("0"), 5}});
    // A file of this version holds the operations' indexes: opening it
    // changes nothing.
    EnsureHistCoverIndex(db);
}

void MakeOldDataSet(const QString &folder)
{
    TDatabase db;
    Connect(db, folder);
    MakeTable(db, "Tb_Account",
              {{"Id_Account", ftSmallint, 0}, {"Account", ftString, 30}, {"Currency", ftString, 15},
               {"Rest", ftFloat, 0}, {"C", ftString, 1}},
              "Id_Account");
    MakeTable(db, "Tb_Hist",
              {{"Id_Account", ftSmallint, 0}, {"Date_Real", ftDate, 0}, {"Date_Create", ftDateTime, 0},
               {"Kind", ftString, 1}, {"Dt", ftFloat, 0}, {"Ct", ftFloat, 0}, {"Level1", ftSmallint, 0},
               {"Level2", ftSmallint, 0}, {"Level3", ftSmallint, 0}, {"Price", ftFloat, 0},
               {"ID_Person", ftSmallint, 0}, {"ID_Firm", ftSmallint, 0}, {"Ref_Account", ftSmallint, 0}},
              "Id_Account;Date_Real;Date_Create;Kind");
    MakeTable(db, "Tb_Items",
              {{"ID_ITM", ftSmallint, 0}, {"ITM", ftString, 30}, {"ID_REF", ftSmallint, 0}, {"LEV", ftSmallint, 0},
               {"C", ftString, 1}, {"S", ftString, 1}},
              "ID_ITM");
    MakeTable(db, "TB_Person",
              {{"Id_Person", ftSmallint, 0}, {"Name", ftString, 30}, {"Phone", ftString, 15},
               {"Address", ftString, 50}, {"Birthday", ftDate, 0}, {"Id_Firm", ftSmallint, 0},
               {"Comment", ftString, 50}, {"C", ftString, 1}, {"Dy", ftSmallint, 0}, {"Mn", ftSmallint, 0}},
              "Id_Person");
    MakeTable(db, "Tb_Firm",
              {{"Id_Firm", ftSmallint, 0}, {"Firm", ftString, 30}, {"Phone", ftString, 15},
               {"Address", ftString, 50}, {"Comment", ftString, 50}, {"C", ftString, 1}},
              "Id_Firm");
    CreateDmTable(db, *DmTable("Tb_Family"));
    CreateDmTable(db, *DmTable("Tb_Log"));
    AppendRows(db, "Tb_Account", {{1, S("Старый счёт"), S("руб"), 100.0, S("!")}});
    AppendRows(db, "Tb_Hist", {{1, Dt(2019, 5, 17), St(1), S("1"), N, 10.0, 0, 10, N, N, N, N, N}});
    AppendRows(db, "Tb_Items",
           {{-1, S("ПЕРЕВОД"), N, 0, S("-")},
            {0, S("Статья расхода"), N, 0, S("-")},
            {1, S("Статья дохода"), N, 0, S("+")},
            {10, S("Еда"), 0, 1, S("-")}});
    AppendRows(db, "TB_Person", {{1, S("Петров"), N, N, N, 1, S("Старый комментарий")}});
    AppendRows(db, "Tb_Firm", {{1, S("Завод"), N, N, S("Комментарий фирмы")}});
}

QString SqliteShell(const QString &file, const QString &sql)
{
    return RunSqlite3(file, sql);
}

} // namespace zorbel::test
