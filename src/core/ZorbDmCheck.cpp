// The check of an unpacked data set before the first write, and the report of
// values its columns cannot hold.
#include "core/ZorbDmCheck.h"

#include "core/ZorbDmTables.h"
#include "core/ZorbText.h"
#include "platform/rtl/Money.h"
#include "platform/sqltable/SqlSchema.h"
#include "platform/sqltable/Sqlite.h"

#include <QStringList>

#include <algorithm>
#include <optional>
#include <set>

namespace zorbel {
namespace {

// Columns an older structure lacks, one group per upgrade step: the step adds
// the whole group when its first column is missing.
struct TUpgradeGroup {
    const char *Table;
    const char *Columns[7]; // ends with nullptr
};
constexpr TUpgradeGroup UpgradeGroups[] = {
    {"Tb_Account", {"A", "Rate", "Beg", nullptr}},
    {"Tb_Hist", {"B", nullptr}},
    {"Tb_Hist", {"Comment", "Qdt", "Qct", "Rate", "Yr", "Mn", nullptr}},
    {"Tb_Items", {"A", "Z", "Sm", "Pr", "Qn", "Dte", nullptr}},
    {"Tb_Items", {"Id_Prs", "Id_Frm", "Comm", "Grp", "Lim", nullptr}},
    {"Tb_Items", {"QLim", nullptr}},
    {"TB_Person", {"Note", nullptr}},
};

// Text fields that older versions kept narrower; the upgrade widens them.
constexpr std::pair<const char *, const char *> WidenedFields[] = {
    {"TB_Person", "Comment"}, {"Tb_Firm", "Comment"}, {"Tb_Hist", "Comment"}, {"Tb_Items", "Comm"}};

// The balance sums' index, the card's category history index and the
// results window's date index, which the upgrade adds to older data sets;
// the sums' index as earlier versions made it, which the upgrade replaces.
constexpr const char *CoverIndex = "Tb_Hist_Cover";
constexpr const char *OlderCoverFields[] = {"Id_Account;Date_Real;Kind;Dt;Ct",
                                            "Id_Account;Date_Real;Kind;Dt;Ct;Yr;Mn;Level1;Level2;Level3;Qdt;Qct"};
constexpr const char *ItemIndex = "Tb_Hist_Item";
constexpr const char *ItemFields = "Id_Account;Level3;Date_Real;Level2;Level1";
// The results window's index by date (its fields in ZorbDmTables.h).
constexpr const char *DateIndex = "Tb_Hist_Date";

// Words a column of the program's tables is declared with.
const std::set<QString> &ColumnWords()
{
    static const std::set<QString> words{
        QStringLiteral("SMALLINT"), QStringLiteral("INTEGER"),   QStringLiteral("FLOAT"),
        QStringLiteral("VARCHAR"),  QStringLiteral("CHAR"),      QStringLiteral("DATE"),
        QStringLiteral("TIMESTAMP"), QStringLiteral("REAL"),     QStringLiteral("BOOLEAN"),
        QStringLiteral("NUMERIC"),  QStringLiteral("COLLATE"),   QStringLiteral("RUSSIAN"),
        QStringLiteral("NOT"),      QStringLiteral("NULL")};
    return words;
}

bool Same(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

[[noreturn]] void Refuse(const QString &why)
{
    throw EDataSetRefused(U("Файл не открыт: ") + why);
}

[[noreturn]] void RefuseTable(const QString &table, const QString &what)
{
    Refuse(U("таблица «%1» в его базе данных устроена не так, как в файлах программы (%2).").arg(table, what));
}

TColumnKind KindOf(TFieldType type)
{
    switch (type) {
    case ftSmallint: return TColumnKind::Short;
    case ftString: return TColumnKind::Alpha;
    case ftFloat: return TColumnKind::Number;
    case ftDate: return TColumnKind::Date;
    case ftDateTime: return TColumnKind::Timestamp;
    default: return TColumnKind::Unknown;
    }
}

// Splits CREATE TABLE text into tokens: words, quoted names (unquoted),
// numbers and the characters "(", ")" and ",". Anything else (strings,
// comments, operators) makes it fail: the program's tables have none.
std::optional<QStringList> Tokens(const QString &sql, QList<bool> &quoted)
{
    QStringList tokens;
    for (qsizetype i = 0; i < sql.size();) {
        const QChar c = sql[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'(' || c == u')' || c == u',') {
            tokens << QString(c);
            quoted << false;
            ++i;
        } else if (c == u'"') {
            QString name;
            for (++i;; ++i) {
                if (i >= sql.size())
                    return std::nullopt;
                if (sql[i] == u'"') {
                    if (i + 1 < sql.size() && sql[i + 1] == u'"') {
                        name += u'"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                name += sql[i];
            }
            tokens << name;
            quoted << true;
        } else if (c.isLetterOrNumber() || c == u'_') {
            const qsizetype start = i;
            while (i < sql.size() && (sql[i].isLetterOrNumber() || sql[i] == u'_'))
                ++i;
            tokens << sql.mid(start, i - start);
            quoted << false;
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}

// The stored CREATE TABLE text declares plain columns only: a name, type
// words, a width, COLLATE RUSSIAN, NOT NULL; no constraint, default, check,
// generated column, key clause or table option.
bool PlainTableSql(const QString &sql)
{
    QList<bool> quoted;
    const auto tokens = Tokens(sql, quoted);
    if (!tokens || tokens->size() < 5 || !Same(tokens->at(0), "CREATE") || !Same(tokens->at(1), "TABLE") ||
        tokens->at(3) != u"(" || tokens->last() != u")")
        return false;
    bool atName = true;
    for (qsizetype i = 4; i + 1 < tokens->size(); ++i) {
        const QString &t = tokens->at(i);
        if (atName) {
            if (t == u"(" || t == u")" || t == u",")
                return false;
            atName = false;
        } else if (t == u",") {
            atName = true;
        } else if (t == u"(") {
            // A width: "(" digits ")".
            if (i + 2 >= tokens->size() - 1 || quoted[i + 1] || tokens->at(i + 2) != u")")
                return false;
            bool ok = false;
            tokens->at(i + 1).toUInt(&ok);
            if (!ok)
                return false;
            i += 2;
        } else if (quoted[i] || !ColumnWords().count(t.toUpper())) {
            return false;
        }
    }
    return !atName;
}

struct TStoredColumn {
    QString Name;
    QString Type;
    bool NotNull = false;
};

void CheckTable(TSqliteDb &db, const TDmTableDef &def, const QString &stored, const QString &sql)
{
    const QString table = QString::fromLatin1(def.TableName);
    if (!PlainTableSql(sql))
        RefuseTable(table, U("ограничения или параметры, которых программа не задаёт"));

    std::vector<TStoredColumn> columns;
    {
        TSqliteStatement st(db, QStringLiteral("SELECT name, type, \"notnull\", dflt_value IS NOT NULL, pk, hidden "
                                               "FROM pragma_table_xinfo(?1)"));
        st.BindText(1, stored);
        while (st.Step()) {
            if (st.ColumnInt(3) != 0 || st.ColumnInt(4) != 0 || st.ColumnInt(5) != 0)
                RefuseTable(table, U("столбец «%1»").arg(st.ColumnText(0)));
            columns.push_back({st.ColumnText(0), st.ColumnText(1), st.ColumnInt(2) != 0});
        }
    }
    auto storedColumn = [&](const char *name) -> const TStoredColumn * {
        for (const TStoredColumn &c : columns)
            if (Same(c.Name, name))
                return &c;
        return nullptr;
    };
    // Every stored column is a field of the table, of its kind and width.
    for (const TStoredColumn &c : columns) {
        const TDmFieldDef *field = nullptr;
        for (const TDmFieldDef &f : def.Fields)
            if (Same(c.Name, f.Name))
                field = &f;
        if (!field)
            RefuseTable(table, U("лишний столбец «%1»").arg(c.Name));
        int size = 0;
        const TColumnKind kind = KindOfType(c.Type, size);
        bool widened = false;
        for (const auto &[t, f] : WidenedFields)
            widened = widened || (Same(table, t) && Same(c.Name, f));
        const bool sizeFits = kind != TColumnKind::Alpha ||
                              (widened ? size >= 1 && size <= field->Size : size == field->Size);
        if (kind != KindOf(field->Type) || !sizeFits || (c.NotNull && !field->Required))
            RefuseTable(table, U("столбец «%1»").arg(c.Name));
    }
    // Fields an upgrade adds are missing only as the whole group of their step.
    std::set<QString> optional;
    for (const TUpgradeGroup &g : UpgradeGroups) {
        if (!Same(table, g.Table))
            continue;
        int present = 0, count = 0;
        for (const char *const *c = g.Columns; *c; ++c, ++count) {
            optional.insert(QString::fromLatin1(*c).toUpper());
            present += storedColumn(*c) ? 1 : 0;
        }
        if (present != 0 && present != count)
            for (const char *const *c = g.Columns; *c; ++c)
                if (!storedColumn(*c))
                    RefuseTable(table, U("нет столбца «%1»").arg(QString::fromLatin1(*c)));
    }
    for (const TDmFieldDef &f : def.Fields)
        if (!storedColumn(f.Name) && !optional.count(QString::fromLatin1(f.Name).toUpper()))
            RefuseTable(table, U("нет столбца «%1»").arg(QString::fromLatin1(f.Name)));
}

// The indexes the program makes on a table: its key (unique, required), its
// secondary index and, on Tb_Hist, the balance sums', the category
// history's and the results window's indexes.
struct TExpectedIndex {
    QString Name;
    QStringList Fields;
    bool Unique;
    bool Required;
    std::vector<QStringList> OlderFields = {}; // the fields earlier versions gave it
};

std::vector<TExpectedIndex> ExpectedIndexes(const TDmTableDef &def)
{
    const QString table = QString::fromLatin1(def.TableName);
    auto fields = [](const char *list) { return QString::fromLatin1(list).split(u';'); };
    std::vector<TExpectedIndex> indexes{{table + QStringLiteral("_PK"), fields(def.Key), true, true}};
    if (*def.IndexName)
        indexes.push_back({table + u'_' + QString::fromLatin1(def.IndexName), fields(def.IndexFields), false, false});
    if (Same(table, "Tb_Hist")) {
        QStringList cover;
        for (const char *c : HistCoverColumns())
            cover << QString::fromLatin1(c);
        std::vector<QStringList> older;
        for (const char *o : OlderCoverFields)
            older.push_back(fields(o));
        indexes.push_back({QString::fromLatin1(CoverIndex), cover, false, false, older});
        indexes.push_back({QString::fromLatin1(ItemIndex), fields(ItemFields), false, false});
        indexes.push_back({QString::fromLatin1(DateIndex), fields(HistDateIndexFields), false, false});
    }
    return indexes;
}

void CheckIndex(TSqliteDb &db, const QString &table, const QString &index, const TExpectedIndex &expected)
{
    {
        TSqliteStatement st(db, QStringLiteral("SELECT \"unique\", origin, partial FROM pragma_index_list(?1) "
                                               "WHERE name = ?2"));
        st.BindText(1, table);
        st.BindText(2, index);
        if (!st.Step() || (st.ColumnInt(0) != 0) != expected.Unique || st.ColumnText(1) != u"c" ||
            st.ColumnInt(2) != 0)
            RefuseTable(table, U("индекс «%1»").arg(index));
    }
    QStringList fields;
    TSqliteStatement st(db, QStringLiteral("SELECT cid, name, \"desc\", coll FROM pragma_index_xinfo(?1) "
                                           "WHERE key ORDER BY seqno"));
    st.BindText(1, index);
    while (st.Step()) {
        const QString coll = st.ColumnText(3);
        if (st.ColumnInt(0) < 0 || st.ColumnInt(2) != 0 || !(Same(coll, "BINARY") || Same(coll, "RUSSIAN")))
            RefuseTable(table, U("индекс «%1»").arg(index));
        fields << st.ColumnText(1);
    }
    const auto same = [&fields](const QStringList &Other) {
        return !Other.isEmpty() && fields.join(u';').compare(Other.join(u';'), Qt::CaseInsensitive) == 0;
    };
    if (!same(expected.Fields) && std::none_of(expected.OlderFields.begin(), expected.OlderFields.end(), same))
        RefuseTable(table, U("индекс «%1»").arg(index));
}

QString KindName(const QString &type)
{
    if (type == u"trigger")
        return U("триггер");
    if (type == u"view")
        return U("представление");
    if (type == u"index")
        return U("индекс");
    return U("таблица");
}

} // namespace

void CheckDataSetStructure(TSqliteDb &db, bool Pages)
{
    struct TObject {
        QString Type, Name, Table, Sql;
    };
    std::vector<TObject> objects;
    {
        TSqliteStatement st(db, QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master"));
        while (st.Step())
            objects.push_back({st.ColumnText(0), st.ColumnText(1), st.ColumnText(2), st.ColumnText(3)});
    }
    std::vector<bool> known(objects.size(), false);
    for (const TDmTableDef &def : DmTables()) {
        const QString table = QString::fromLatin1(def.TableName);
        size_t at = objects.size();
        for (size_t i = 0; i < objects.size(); ++i)
            if (objects[i].Type == u"table" && Same(objects[i].Name, def.TableName))
                at = i;
        if (at == objects.size()) {
            for (const TObject &o : objects)
                if (o.Type != u"index" && Same(o.Name, def.TableName))
                    Refuse(U("в его базе данных «%1» — %2, а не таблица.").arg(table, KindName(o.Type)));
            Refuse(U("в его базе данных нет таблицы «%1».").arg(table));
        }
        known[at] = true;
        CheckTable(db, def, objects[at].Name, objects[at].Sql);
        const std::vector<TExpectedIndex> expected = ExpectedIndexes(def);
        for (const TExpectedIndex &e : expected) {
            bool found = false;
            for (size_t i = 0; i < objects.size(); ++i) {
                if (objects[i].Type != u"index" || objects[i].Name.compare(e.Name, Qt::CaseInsensitive) != 0)
                    continue;
                if (objects[i].Table.compare(objects[at].Name, Qt::CaseInsensitive) != 0)
                    continue; // the name of ours on another table: reported as foreign below
                CheckIndex(db, objects[at].Name, objects[i].Name, e);
                known[i] = found = true;
            }
            if (!found && e.Required)
                RefuseTable(table, U("нет индекса «%1»").arg(e.Name));
        }
    }
    QStringList foreign;
    for (size_t i = 0; i < objects.size(); ++i)
        if (!known[i])
            foreign << (foreign.size() < 5 ? U("%1 «%2»").arg(KindName(objects[i].Type), objects[i].Name)
                                           : QStringLiteral("…"));
    if (foreign.size() > 6)
        foreign = foreign.mid(0, 6);
    if (!foreign.isEmpty())
        Refuse(U("в его базе данных есть то, чего программа не создаёт: %1.").arg(foreign.join(QStringLiteral(", "))));

    if (!Pages)
        return;
    TSqliteStatement check(db, QStringLiteral("PRAGMA quick_check(1)"));
    if (!check.Step() || check.ColumnText(0) != u"ok")
        Refuse(U("его база данных повреждена."));
}

namespace {

// The bound of a number column: an account's balance (Rest, and Beg into
// which the purge folds old operations) sums many amounts and has the
// balance bound that posting keeps (Money.h); every other number is one
// amount, price, quantity or rate.
double NumberLimit(const TTableDef &t, const TColumnDef &c)
{
    return Same(t.Name, "Tb_Account") && (Same(c.Name, "Rest") || Same(c.Name, "Beg")) ? BalanceLimit : MoneyLimit;
}

// Where a column holds a value its kind cannot: an SQL condition, empty when
// every value reads.
QString ImpossibleCondition(const TTableDef &t, const TColumnDef &c)
{
    const QString n = QuoteName(c.Name);
    switch (c.Kind) {
    case TColumnKind::Short:
        return QStringLiteral("typeof(%1) NOT IN ('null','integer') OR %1 < -32768 OR %1 > 32767").arg(n);
    case TColumnKind::Number:
        return QStringLiteral("typeof(%1) NOT IN ('null','integer','real') OR %1 >= %2 OR %1 <= -%2")
            .arg(n, QString::number(NumberLimit(t, c), 'g', 17));
    case TColumnKind::Date:
    case TColumnKind::Timestamp: // years 1..9999
        return QStringLiteral("typeof(%1) NOT IN ('null','integer','real') OR %1 < -693594 OR %1 >= 2958466").arg(n);
    case TColumnKind::Alpha: return QStringLiteral("typeof(%1) = 'blob'").arg(n);
    default: return QString();
    }
}

// Whether a value read from a column of this kind is one it cannot hold: the
// same test as ImpossibleCondition, made on the value in hand.
bool Impossible(TColumnKind kind, double limit, const TSqliteStatement &st, int col)
{
    const int type = st.ColumnType(col);
    if (type == TSqliteStatement::vtNull)
        return false;
    switch (kind) {
    case TColumnKind::Short:
        return type != TSqliteStatement::vtInteger || st.ColumnInt(col) < -32768 || st.ColumnInt(col) > 32767;
    case TColumnKind::Number: {
        if (type != TSqliteStatement::vtInteger && type != TSqliteStatement::vtFloat)
            return true;
        const double v = st.ColumnDouble(col);
        return !(v < limit && v > -limit);
    }
    case TColumnKind::Date:
    case TColumnKind::Timestamp: {
        if (type != TSqliteStatement::vtInteger && type != TSqliteStatement::vtFloat)
            return true;
        const double v = st.ColumnDouble(col);
        return !(v >= -693594 && v < 2958466);
    }
    case TColumnKind::Alpha: return type == TSqliteStatement::vtBlob;
    default: return false;
    }
}

// The rows of a table holding a value its columns cannot: one pass over the
// rows in the program, several times faster than the same test in SQL.
int CountImpossibleRows(TSqliteDb &db, const TTableDef &stored)
{
    QStringList names;
    std::vector<TColumnKind> kinds;
    std::vector<double> limits;
    for (const TColumnDef &c : stored.Columns)
        if (!ImpossibleCondition(stored, c).isEmpty()) {
            names << QuoteName(c.Name);
            kinds.push_back(c.Kind);
            limits.push_back(NumberLimit(stored, c));
        }
    if (names.isEmpty())
        return 0;
    TSqliteStatement st(db, QStringLiteral("SELECT %1 FROM %2").arg(names.join(u','), QuoteName(stored.Name)));
    int count = 0;
    while (st.Step())
        for (int i = 0; i < int(kinds.size()); ++i)
            if (Impossible(kinds[size_t(i)], limits[size_t(i)], st, i)) {
                ++count;
                break;
            }
    return count;
}

// The accounts of the rows of Tb_Hist or Tb_Account that match where, at
// most ten named: "; счета: «A», «B»", or empty.
QString AccountsOf(TSqliteDb &db, const QString &table, const QString &where)
{
    QString sql;
    if (Same(table, "Tb_Hist"))
        sql = QStringLiteral("SELECT DISTINCT coalesce((SELECT a.\"Account\" FROM \"Tb_Account\" a "
                             "WHERE a.\"Id_Account\" = h.\"Id_Account\"), h.\"Id_Account\") "
                             "FROM %1 h WHERE %2 ORDER BY 1 LIMIT 11");
    else if (Same(table, "Tb_Account"))
        sql = QStringLiteral("SELECT DISTINCT \"Account\" FROM %1 WHERE %2 ORDER BY 1 LIMIT 11");
    else
        return QString();
    QStringList names;
    TSqliteStatement st(db, sql.arg(QuoteName(table), where));
    while (st.Step())
        names << (names.size() < 10 ? U("«%1»").arg(st.ColumnText(0)) : QStringLiteral("…"));
    return names.isEmpty() ? QString() : U("; счета: ") + names.join(QStringLiteral(", "));
}

} // namespace

QString ImpossibleRowsCondition(const TTableDef &stored)
{
    QStringList bad;
    for (const TColumnDef &c : stored.Columns)
        if (const QString condition = ImpossibleCondition(stored, c); !condition.isEmpty())
            bad << condition;
    return bad.isEmpty() ? QString() : u'(' + bad.join(QStringLiteral(") OR (")) + u')';
}

QString ImpossibleValuesReport(TSqliteDb &db)
{
    QStringList lines;
    for (const TDmTableDef &def : DmTables()) {
        const TTableDef stored = ReadTableDef(db, QString::fromLatin1(def.TableName));
        const int count = CountImpossibleRows(db, stored);
        if (count > 0)
            lines << U("%1, строк: %2").arg(QString::fromLatin1(def.TableName)).arg(count) +
                         AccountsOf(db, stored.Name, ImpossibleRowsCondition(stored));
    }
    if (lines.isEmpty())
        return QString();
    return U("В файле данных есть значения, которые программа не может учесть (текст в числовом поле, "
             "число вне допустимых пределов):\r") +
           lines.join(u'\r') + U("\rИтоги, в которые они входят, неверны, пока значения не исправлены.");
}

} // namespace zorbel
