// The seven tables of a data set as data, and creating a table from its definition.
#include "core/ZorbDmTables.h"

#include "platform/sqltable/Database.h"
#include "platform/sqltable/Sqlite.h"
#include "platform/sqltable/Table.h"

#include <QString>
#include <QStringList>

namespace zorbel {
namespace {

constexpr TFieldType S = ftSmallint, A = ftString, N = ftFloat, D = ftDate, T = ftDateTime;
constexpr const char *Money = "#,##0.00";

// clang-format off
//                                  name           kind size req   label            format      visible
constexpr TDmFieldDef AccountFields[] = {
    {"Id_Account",  S, 0,   true,  "",              "",         false},
    {"Account",     A, 30,  true,  "Наименование",  "",         true},
    {"Currency",    A, 15,  true,  "Валюта",        "",         true},
    {"Rest",        N, 0,   true,  "Остаток",       Money,      true},
    {"C",           A, 1,   false, "У...",          "",         false},
    {"A",           A, 1,   false, "Г...",          "",         true},
    {"Rate",        N, 0,   false, "Курс",          "",         true},
    {"Beg",         N, 0,   false, "Нач.сумма",     "0.00",     false},
};

constexpr TDmFieldDef HistFields[] = {
    {"Id_Account",  S, 0,   true,  "",              "",         true},
    {"Date_Real",   D, 0,   false, "Дата",          "dd.mm.yy", true},
    {"Date_Create", T, 0,   true,  "Дата записи",   "",         true},
    {"Kind",        A, 1,   false, "",              "",         true},
    {"Dt",          N, 0,   false, "Приход",        Money,      true},
    {"Ct",          N, 0,   false, "Расход",        Money,      true},
    {"Level1",      S, 0,   false, "Категория",     "",         true},
    {"Level2",      S, 0,   false, "Группа",        "",         true},
    {"Level3",      S, 0,   false, "Предмет",       "",         true},
    {"Price",       N, 0,   false, "Цена",          "",         true},
    {"ID_Person",   S, 0,   false, "",              "",         true},
    {"ID_Firm",     S, 0,   false, "",              "",         true},
    {"Ref_Account", S, 0,   false, "",              "",         true},
    {"Comment",     A, 200, false, "Примечание",    "",         true},
    {"Qdt",         N, 0,   false, "Кол-во (прих)", "",         true},
    {"Qct",         N, 0,   false, "Кол-во (расх)", "",         true},
    {"Rate",        N, 0,   false, "Курс",          "",         true},
    {"Yr",          S, 0,   false, "",              "",         true},
    {"Mn",          S, 0,   false, "",              "",         true},
    {"B",           A, 1,   false, "",              "",         true},
};

constexpr TDmFieldDef ItemsFields[] = {
    {"ID_ITM",      S, 0,   false, "", "", true},
    {"ITM",         A, 30,  false, "", "", true},
    {"ID_REF",      S, 0,   false, "", "", true},
    {"LEV",         S, 0,   false, "", "", true},
    {"C",           A, 1,   false, "", "", true},
    {"S",           A, 1,   false, "", "", true},
    {"A",           A, 1,   false, "", "", true},
    {"Z",           A, 1,   false, "", "", true},
    {"Sm",          N, 0,   false, "", "", true},
    {"Pr",          N, 0,   false, "", "", true},
    {"Qn",          N, 0,   false, "", "", true},
    {"Dte",         D, 0,   false, "", "", true},
    {"Id_Prs",      S, 0,   false, "", "", true},
    {"Id_Frm",      S, 0,   false, "", "", true},
    {"Comm",        A, 200, false, "", "", true},
    {"Grp",         A, 10,  false, "", "", true},
    {"Lim",         N, 0,   false, "", "", true},
    {"QLim",        N, 0,   false, "", "", true},
};

constexpr TDmFieldDef PersonFields[] = {
    {"Id_Person",   S, 0,   true,  "",              "", false},
    {"Name",        A, 30,  true,  "Фамилия И.О.",  "", true},
    {"Phone",       A, 15,  false, "Телефон",       "", true},
    {"Address",     A, 50,  false, "Адрес",         "", true},
    {"Birthday",    D, 0,   false, "Дата рожд.",    "", true},
    {"Id_Firm",     S, 0,   false, "",              "", false},
    {"Comment",     A, 200, false, "Комментарий",   "", true},
    {"C",           A, 1,   false, "",              "", true},
    {"Dy",          S, 0,   false, "",              "", false},
    {"Mn",          S, 0,   false, "",              "", false},
    {"Note",        A, 200, false, "Описание",      "", true},
};

constexpr TDmFieldDef FirmFields[] = {
    {"Id_Firm",     S, 0,   true,  "",              "", false},
    {"Firm",        A, 30,  true,  "Наименование",  "", true},
    {"Phone",       A, 15,  false, "",              "", true},
    {"Address",     A, 50,  false, "",              "", true},
    {"Comment",     A, 200, false, "",              "", true},
    {"C",           A, 1,   false, "",              "", false},
};

constexpr TDmFieldDef FamilyFields[] = {
    {"Id_Family",   S, 0,   false, "",              "", false},
    {"Id_Person",   S, 0,   false, "",              "", false},
    {"Name",        A, 30,  false, "Имя",           "", true},
    {"Birthday",    D, 0,   false, "Дата рождения", "", true},
    {"Comment",     A, 50,  false, "",              "", true},
    {"C",           A, 1,   false, "",              "", true},
    {"Dy",          S, 0,   false, "",              "", false},
    {"Mn",          S, 0,   false, "",              "", false},
};

constexpr TDmFieldDef LogFields[] = {
    {"Date_Create", T, 0,   false, "Дата записи",   "", true},
    {"Date_Remind", D, 0,   false, "Когда",         "", true},
    {"Note",        A, 70,  false, "Содержание",    "", true},
    {"Id_Person",   S, 0,   false, "",              "", false},
    {"Id_firm",     S, 0,   false, "",              "", false},
    {"C",           A, 1,   false, "",              "", false},
    {"Dy",          S, 0,   false, "",              "", false},
};

//  component     table         tag key                                      index         index fields   order                                   order index
constexpr TDmTableDef Tables[] = {
    {"Tb_Account", "Tb_Account", 3, "Id_Account",                            "Account",    "Account",     "ACCOUNT",                              "",           AccountFields},
    {"Tb_Hist",    "Tb_Hist",    0, "Id_Account;Date_Real;Date_Create;Kind", "",           "",            "ID_ACCOUNT;DATE_REAL;DATE_CREATE;KIND", "",           HistFields},
    {"Tb_Items",   "Tb_Items",   5, "ID_ITM",                                "",           "",            "",                                     "",           ItemsFields},
    {"Tb_Person",  "TB_Person",  1, "Id_Person",                             "Name",       "Name",        "NAME",                                 "",           PersonFields},
    {"Tb_Firm",    "Tb_Firm",    2, "Id_Firm",                               "Firm",       "Firm",        "FIRM",                                 "",           FirmFields},
    {"Tb_Family",  "TB_Family",  4, "Id_Family",                             "",           "",            "",                                     "",           FamilyFields},
    {"Tb_Log",     "Tb_Log",     0, "Date_Create",                           "IND_REMIND", "Date_Remind", "",                                     "IND_REMIND", LogFields},
};
// clang-format on

} // namespace

std::span<const TDmTableDef> DmTables()
{
    return Tables;
}

const TDmTableDef *DmTable(const char *component)
{
    for (const TDmTableDef &t : Tables)
        if (QString::fromLatin1(t.Component).compare(QLatin1String(component), Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

void CreateDmTable(TDatabase &db, const TDmTableDef &def)
{
    TTable t;
    t.SetDatabase(&db);
    t.SetTableName(QString::fromUtf8(def.TableName));
    for (const TDmFieldDef &f : def.Fields)
        t.FieldDefs().Add(QString::fromUtf8(f.Name), f.Type, f.Size, f.Required);
    t.IndexDefs().Add(QString(), QString::fromUtf8(def.Key), {ixPrimary});
    if (*def.IndexName)
        t.IndexDefs().Add(QString::fromUtf8(def.IndexName), QString::fromUtf8(def.IndexFields), {ixCaseInsensitive});
    t.CreateTable();
}

std::span<const char *const> HistCoverColumns()
{
    static constexpr const char *Columns[] = {"Id_Account", "Date_Real", "Kind",   "Dt",     "Ct",  "Yr",  "Mn",
                                              "Level1",     "Level2",    "Level3", "Qdt",    "Qct", "Rate"};
    return Columns;
}

void EnsureHistCoverIndex(TDatabase &db)
{
    QStringList columns;
    for (const char *c : HistCoverColumns())
        columns << QString::fromLatin1(c);
    // Files of earlier versions hold the index with its first five or its
    // first twelve columns only: the year and month analyses, or the results
    // window's totals of one account, would read every row again.
    QStringList stored;
    {
        TSqliteStatement st(db.Db(), QStringLiteral("SELECT name FROM pragma_index_info('Tb_Hist_Cover') ORDER BY seqno"));
        while (st.Step())
            stored << st.ColumnText(0);
    }
    const QString create = QStringLiteral("CREATE INDEX IF NOT EXISTS \"Tb_Hist_Cover\" ON \"Tb_Hist\" (\"%1\")")
                               .arg(columns.join(QStringLiteral("\",\"")));
    if (!stored.isEmpty() && stored.join(u';').compare(columns.join(u';'), Qt::CaseInsensitive) != 0) {
        // Replaced as one step: if the new index cannot be made, the old one stays.
        TTransactionScope scope(db);
        db.Db().Exec(QStringLiteral("DROP INDEX \"Tb_Hist_Cover\""));
        db.Db().Exec(create);
        scope.Commit();
    } else {
        db.Db().Exec(create);
    }
    db.Db().Exec(QStringLiteral("CREATE INDEX IF NOT EXISTS \"Tb_Hist_Item\" ON \"Tb_Hist\" "
                                "(\"Id_Account\",\"Level3\",\"Date_Real\",\"Level2\",\"Level1\")"));
    db.Db().Exec(QStringLiteral("CREATE INDEX IF NOT EXISTS \"Tb_Hist_Date\" ON \"Tb_Hist\" (%1)")
                     .arg(QString::fromLatin1(HistDateIndexFields).split(u';').join(u',')));
}

void CreateTemplateDataSet(TDatabase &db)
{
    for (const TDmTableDef &def : Tables)
        CreateDmTable(db, def);
    EnsureHistCoverIndex(db);
    TTable items;
    items.SetDatabase(&db);
    items.SetTableName(QStringLiteral("Tb_Items"));
    items.Open();
    items.Append();
    items.FieldByName(QStringLiteral("ID_ITM"))->SetAsInteger(-1);
    items.FieldByName(QStringLiteral("ITM"))->SetAsString(QStringLiteral("ПЕРЕВОД"));
    items.FieldByName(QStringLiteral("LEV"))->SetAsInteger(0);
    items.FieldByName(QStringLiteral("C"))->SetAsString(QStringLiteral("-"));
    items.Post();
}

} // namespace zorbel
