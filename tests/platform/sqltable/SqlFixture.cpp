// The table tests' data set: the seven tables with their keys and the fixture rows.
#include "SqlFixture.h"

#include <QDate>
#include <cmath>

namespace zorbel::test {
namespace {

struct TFieldRow {
    const char *Name;
    TFieldType Type;
    int Size;
    bool Required;
};

void Define(TTable &t, const char *name, std::initializer_list<TFieldRow> fields, const char *key,
            std::initializer_list<std::pair<const char *, const char *>> indexes = {})
{
    t.SetTableName(QString::fromUtf8(name));
    for (const TFieldRow &f : fields)
        t.FieldDefs().Add(QString::fromUtf8(f.Name), f.Type, f.Size, f.Required);
    t.IndexDefs().Add(QString(), QString::fromUtf8(key), {ixPrimary});
    for (const auto &[index, fieldNames] : indexes)
        t.IndexDefs().Add(QString::fromUtf8(index), QString::fromUtf8(fieldNames), {ixCaseInsensitive});
    t.CreateTable();
}

} // namespace

void CreateZorbelTables(TDatabase &db)
{
    {
        TTable t;
        t.SetDatabase(&db);
        Define(t, "Tb_Account",
               {{"Id_Account", ftSmallint, 0, true}, {"Account", ftString, 30, true}, {"Currency", ftString, 15, true},
                {"Rest", ftFloat, 0, true}, {"C", ftString, 1, false}, {"A", ftString, 1, false},
                {"Rate", ftFloat, 0, false}, {"Beg", ftFloat, 0, false}},
               "Id_Account", {{"Account", "Account"}});
    }
    {
        TTable t;
        t.SetDatabase(&db);
        Define(t, "Tb_Hist",
               {{"Id_Account", ftSmallint, 0, true}, {"Date_Real", ftDate, 0, false},
                {"Date_Create", ftDateTime, 0, true}, {"Kind", ftString, 1, false}, {"Dt", ftFloat, 0, false},
                {"Ct", ftFloat, 0, false}, {"Level1", ftSmallint, 0, false}, {"Level2", ftSmallint, 0, false},
                {"Level3", ftSmallint, 0, false}, {"Price", ftFloat, 0, false}, {"ID_Person", ftSmallint, 0, false},
                {"ID_Firm", ftSmallint, 0, false}, {"Ref_Account", ftSmallint, 0, false},
                {"Comment", ftString, 200, false}, {"Qdt", ftFloat, 0, false}, {"Qct", ftFloat, 0, false},
                {"Rate", ftFloat, 0, false}, {"Yr", ftSmallint, 0, false}, {"Mn", ftSmallint, 0, false},
                {"B", ftString, 1, false}},
               "Id_Account;Date_Real;Date_Create;Kind");
    }
    {
        TTable t;
        t.SetDatabase(&db);
        Define(t, "Tb_Items",
               {{"ID_ITM", ftSmallint, 0, false}, {"ITM", ftString, 30, false}, {"ID_REF", ftSmallint, 0, false},
                {"LEV", ftSmallint, 0, false}, {"C", ftString, 1, false}, {"S", ftString, 1, false},
                {"A", ftString, 1, false}, {"Z", ftString, 1, false}, {"Sm", ftFloat, 0, false},
                {"Pr", ftFloat, 0, false}, {"Qn", ftFloat, 0, false}, {"Dte", ftDate, 0, false},
                {"Id_Prs", ftSmallint, 0, false}, {"Id_Frm", ftSmallint, 0, false}, {"Comm", ftString, 200, false},
                {"Grp", ftString, 10, false}, {"Lim", ftFloat, 0, false}, {"QLim", ftFloat, 0, false}},
               "ID_ITM");
    }
    {
        TTable t;
        t.SetDatabase(&db);
        Define(t, "TB_Person",
               {{"Id_Person", ftSmallint, 0, true}, {"Name", ftString, 30, true}, {"Phone", ftString, 15, false},
                {"Address", ftString, 50, false}, {"Birthday", ftDate, 0, false}, {"Id_Firm", ftSmallint, 0, false},
                {"Comment", ftString, 200, false}, {"C", ftString, 1, false}, {"Dy", ftSmallint, 0, false},
                {"Mn", ftSmallint, 0, false}, {"Note", ftString, 200, false}},
               "Id_Person", {{"Name", "Name"}});
    }
    {
        TTable t;
        t.SetDatabase(&db);
        Define(t, "Tb_Firm",
               {{"Id_Firm", ftSmallint, 0, true}, {"Firm", ftString, 30, true}, {"Phone", ftString, 15, false},
                {"Address", ftString, 50, false}, {"Comment", ftString, 200, false}, {"C", ftString, 1, false}},
               "Id_Firm", {{"Firm", "Firm"}});
    }
    {
        TTable t;
        t.SetDatabase(&db);
        Define(t, "TB_Family",
               {{"Id_Family", ftSmallint, 0, false}, {"Id_Person", ftSmallint, 0, false}, {"Name", ftString, 30, false},
                {"Birthday", ftDate, 0, false}, {"Comment", ftString, 50, false}, {"C", ftString, 1, false},
                {"Dy", ftSmallint, 0, false}, {"Mn", ftSmallint, 0, false}},
               "Id_Family");
    }
    {
        TTable t;
        t.SetDatabase(&db);
        Define(t, "Tb_Log",
               {{"Date_Create", ftDateTime, 0, false}, {"Date_Remind", ftDate, 0, false}, {"Note", ftString, 70, false},
                {"Id_Person", ftSmallint, 0, false}, {"Id_firm", ftSmallint, 0, false}, {"C", ftString, 1, false},
                {"Dy", ftSmallint, 0, false}},
               "Date_Create", {{"IND_REMIND", "Date_Remind"}});
    }
}

void FillZorbelTables(TDatabase &db)
{
    AppendRows(db, "Tb_Account",
           {{1, S("Кошелёк"), S("руб"), 1500.0, S("!"), S("+"), 1.0, 1000.0},
            {2, S("Банк Ёлка"), S("руб"), 20000.0, N, S("+"), 1.0, 0.0},
            {3, S("Доллары"), S("$"), 300.0, N, N, 90.0, 100.0},
            {4, S("евро счёт"), S("EUR"), 0.0, N, N, 100.0, 50.0},
            {5, S("Ёжик"), S("руб"), 0.0, N, N, 1.0, N}});
    //       acc date            stamp kind dt  ct   l1 l2 l3 price pers firm ref comment qdt qct rate yr mn b
    AppendRows(db, "Tb_Hist",
           {{1, Dt(2024, 1, 10), St(1), S("1"), N, 100.0, 0, 10, 11, 50.0, 1, 1, N, S("Хлеб белый"), 2.0, N, 1.0, 2024, 1, N},
            {1, Dt(2024, 1, 15), St(2), S("1"), 5000.0, N, 1, 20, N, N, N, N, N, S("Аванс"), N, N, 1.0, 2024, 1, N},
            {1, Dt(2024, 2, 3), St(3), S("1"), N, 250.0, 0, 10, 12, N, 2, N, N, S("молоко 50% жирн_"), N, N, 1.0, 2024, 2, S("+")},
            {1, Dt(2024, 2, 20), St(4), S("2"), N, 400.0, 0, 30, N, N, N, N, N, N, N, N, 1.0, 2024, 2, N},
            {1, Dt(2024, 2, 5), St(5), S("1"), N, 900.0, -1, N, N, N, N, N, 3, N, N, N, 1.0, 2024, 2, N},
            {3, Dt(2024, 2, 5), St(5), S("1"), 10.0, N, -1, N, N, N, N, N, 1, N, N, N, 90.0, 2024, 2, N},
            {3, Dt(2024, 3, 1), St(7), S("1"), N, 5.0, 0, 30, N, N, N, 2, N, S("Кофе"), N, N, 0.0, 2024, 3, N},
            {2, Dt(2023, 12, 31), St(8), S("1"), 20000.0, N, 1, 20, N, N, N, N, N, N, N, N, 1.0, 2023, 12, N},
            {2, Dt(2024, 1, 10), St(9), S("2"), N, 1000.0, 0, 10, N, N, N, N, N, N, N, N, N, N, N, N},
            {1, Dt(2024, 1, 10), St(10), S("1"), N, 30.0, 0, 10, 11, N, 1, N, N, S("хлеб"), N, N, 3.0, 2024, 1, N}});
    //       id itm ref lev c s a z sm
    AppendRows(db, "Tb_Items",
           {{-1, S("ПЕРЕВОД"), N, 0, S("0")},
            {0, S("Статья расхода"), N, 0, S("-")},
            {1, S("Статья дохода"), N, 0, S("+")},
            {10, S("Еда"), 0, 1, S("-"), N, S("1"), N, 100.0, N, N, N, N, N, N, S("12")},
            {11, S("Хлеб"), 10, 2, S("-"), S("N"), S("1"), N, 50.0, N, N, N, N, N, N, S("2")},
            {12, S("Молоко"), 10, 2, S("-"), N, S("3"), N, 80.0, N, N, N, N, N, N, S("3")},
            {20, S("Зарплата"), 1, 1, S("+")},
            {30, S("Разное"), 0, 1, S("0"), N, N, N, 30.0, N, N, N, N, N, N, S("2")}});
    AppendRows(db, "TB_Person",
           {{1, S("Иванов И.И."), S("111"), N, Dt(1980, 3, 5), 1, N, N, 5, 3, N},
            {2, S("Ёлкин П."), N, N, N, 1, N, N, N, N, S("сосед")},
            {3, S("Андреев А."), N, S("ул. Ленина"), Dt(1975, 3, 5), 2, N, N, 5, 3, N}});
    AppendRows(db, "Tb_Firm", {{1, S("Магазин")}, {2, S("Аптека")}});
    AppendRows(db, "TB_Family", {{1, 1, S("Маша"), Dt(2010, 6, 1), N, N, 1, 6}, {2, 3, S("Петя")}});
    AppendRows(db, "Tb_Log",
           {{St(101), Dt(2024, 1, 5), S("Оплатить"), 1, N, S("1"), 5},
            {St(102), Dt(2024, 2, 10), S("Взнос"), N, 2, S("2"), 10},
            {St(103), Dt(2024, 5, 1), S("Будущее"), N, N, S("1"), 1},
            {St(104), Dt(2024, 1, 5), S("Просто запись"), N, N, S("0"), 5}});
}

void SqlFixture::SetUp()
{
    db.SetDatabaseName(QStringLiteral("DbZorb"));
    db.SetParams({QStringLiteral("PATH=") + dir.path()});
    db.Open();
    CreateZorbelTables(db);
    FillZorbelTables(db);
}

QStringList SqlFixture::Select(const QStringList &lines)
{
    TQuery q;
    q.SetDatabase(&db);
    q.SQL() = lines;
    q.Open();
    return Rows(q);
}

void SqlFixture::Exec(const QStringList &lines)
{
    TQuery q;
    q.SetDatabase(&db);
    q.SQL() = lines;
    q.ExecSQL();
}

} // namespace zorbel::test
