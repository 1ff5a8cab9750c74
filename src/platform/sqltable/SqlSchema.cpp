// How the program's tables are stored in SQLite: column types, values, creation, restructure and pack.
#include "platform/sqltable/SqlSchema.h"

#include "platform/dataset/DBConsts.h"
#include "platform/sqltable/Sqlite.h"

#include <QRegularExpression>
#include <cmath>
#include <sqlite3.h>

namespace zorbel {
namespace {

constexpr double MsPerDay = 86400000.0;

[[noreturn]] void RangeError(const TColumnDef &column, const Variant &value, int64_t low, int64_t high)
{
    throw EDatabaseError(DBConsts::SFieldRangeError.arg(value.AsString(), column.Name)
                             .arg(low)
                             .arg(high));
}

int64_t CheckedInteger(const TColumnDef &column, const Variant &value, int64_t low, int64_t high)
{
    // Read through double first so "70000" or 1e6 report a range error, not a
    // conversion error of the narrow kind.
    const double d = value.AsDouble();
    if (!(d >= double(low) - 0.5 && d <= double(high) + 0.5))
        RangeError(column, value, low, high);
    const int64_t v = value.AsInt64();
    if (v < low || v > high)
        RangeError(column, value, low, high);
    return v;
}

QString ColumnSql(const TColumnDef &c)
{
    QString s = QuoteName(c.Name) + u' ' + DeclaredType(c.Kind, c.Size);
    if (c.Required)
        s += QStringLiteral(" NOT NULL");
    return s;
}

QString IndexSql(const QString &table, const TTableIndexDef &index)
{
    QStringList cols;
    for (const QString &f : index.Fields)
        cols << QuoteName(f);
    const QString name = index.Primary ? table + QStringLiteral("_PK") : table + u'_' + index.Name;
    return QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
        .arg(index.Primary || index.Unique ? QStringLiteral("UNIQUE ") : QString(), QuoteName(name), QuoteName(table),
             cols.join(u','));
}

void CreateIndexes(TSqliteDb &db, const TTableDef &def)
{
    for (const TTableIndexDef &index : def.Indexes)
        db.Exec(IndexSql(def.Name, index));
}

} // namespace

int TTableDef::ColumnIndex(const QString &name) const
{
    for (size_t i = 0; i < Columns.size(); ++i)
        if (Columns[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

const TTableIndexDef *TTableDef::PrimaryKey() const
{
    for (const TTableIndexDef &index : Indexes)
        if (index.Primary)
            return &index;
    return nullptr;
}

const TTableIndexDef *TTableDef::IndexNamed(const QString &name) const
{
    for (const TTableIndexDef &index : Indexes)
        if (!index.Primary && index.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &index;
    return nullptr;
}

QString QuoteName(const QString &name)
{
    QString s = name;
    s.replace(u'"', QStringLiteral("\"\""));
    return u'"' + s + u'"';
}

QString DeclaredType(TColumnKind kind, int size)
{
    switch (kind) {
    case TColumnKind::Short: return QStringLiteral("SMALLINT");
    case TColumnKind::Integer: return QStringLiteral("INTEGER");
    case TColumnKind::Number: return QStringLiteral("FLOAT");
    case TColumnKind::Alpha: return QStringLiteral("VARCHAR(%1) COLLATE RUSSIAN").arg(size);
    case TColumnKind::Date: return QStringLiteral("DATE INTEGER");
    case TColumnKind::Timestamp: return QStringLiteral("TIMESTAMP REAL");
    case TColumnKind::Boolean: return QStringLiteral("BOOLEAN INTEGER");
    case TColumnKind::Unknown: break;
    }
    return QString();
}

TColumnKind KindOfType(const QString &type, int &size)
{
    static const QRegularExpression sized(QStringLiteral("^(?:VAR)?CHAR(?:ACTER)?\\s*\\(\\s*(\\d+)\\s*\\)"),
                                          QRegularExpression::CaseInsensitiveOption);
    size = 0;
    const QString t = type.trimmed().toUpper();
    const auto m = sized.match(t);
    if (m.hasMatch()) {
        size = m.captured(1).toInt();
        return TColumnKind::Alpha;
    }
    if (t == QStringLiteral("CHAR") || t == QStringLiteral("CHARACTER")) {
        size = 1;
        return TColumnKind::Alpha;
    }
    if (t.startsWith(QStringLiteral("SMALLINT")))
        return TColumnKind::Short;
    if (t.startsWith(QStringLiteral("INTEGER")) || t == QStringLiteral("INT"))
        return TColumnKind::Integer;
    if (t.startsWith(QStringLiteral("FLOAT")) || t.startsWith(QStringLiteral("NUMERIC")) ||
        t.startsWith(QStringLiteral("DECIMAL")) || t.startsWith(QStringLiteral("MONEY")) ||
        t.startsWith(QStringLiteral("DOUBLE")) || t == QStringLiteral("REAL"))
        return TColumnKind::Number;
    if (t.startsWith(QStringLiteral("DATE")))
        return TColumnKind::Date;
    if (t.startsWith(QStringLiteral("TIMESTAMP")))
        return TColumnKind::Timestamp;
    if (t.startsWith(QStringLiteral("BOOLEAN")))
        return TColumnKind::Boolean;
    return TColumnKind::Unknown;
}

Variant StoredValue(const TColumnDef &column, const Variant &value)
{
    if (VarIsClear(value))
        return Variant::Null();
    switch (column.Kind) {
    case TColumnKind::Short: return Variant(int16_t(CheckedInteger(column, value, -32768, 32767)));
    case TColumnKind::Integer: return Variant(int(CheckedInteger(column, value, INT32_MIN, INT32_MAX)));
    case TColumnKind::Number: return Variant(value.AsDouble());
    case TColumnKind::Alpha: {
        const QString s = value.AsString().left(column.Size > 0 ? column.Size : -1);
        return s.isEmpty() ? Variant::Null() : Variant(s);
    }
    case TColumnKind::Date: return Variant::FromDate(std::trunc(value.AsDate()));
    case TColumnKind::Timestamp: return Variant::FromDate(value.AsDate() + 0.0);
    case TColumnKind::Boolean: return Variant(value.AsBoolean());
    case TColumnKind::Unknown: break;
    }
    return value;
}

Variant WholeMsValue(const TColumnDef &column, const Variant &value)
{
    if (column.Kind == TColumnKind::Timestamp && !VarIsClear(value))
        return Variant::FromDate(std::round(value.AsDate() * MsPerDay) / MsPerDay);
    return StoredValue(column, value);
}

void BindVariant(TSqliteStatement &st, int index, const Variant &value)
{
    switch (value.VarType()) {
    case varEmpty:
    case varNull: st.BindNull(index); return;
    case varSmallint:
    case varInteger:
    case varInt64: st.BindInt(index, value.AsInt64()); return;
    case varBoolean: st.BindInt(index, value.AsBoolean() ? 1 : 0); return;
    case varDate: {
        const double d = value.AsDate();
        if (d == std::trunc(d))
            st.BindInt(index, int64_t(d)); // day serials are stored as integers
        else
            st.BindDouble(index, d);
        return;
    }
    case varString: st.BindText(index, value.AsString()); return;
    default: st.BindDouble(index, value.AsDouble()); return;
    }
}

Variant ReadColumn(const TSqliteStatement &st, int col, TColumnKind kind)
{
    const int type = st.ColumnType(col);
    if (type == SQLITE_NULL)
        return Variant::Null();
    switch (kind) {
    case TColumnKind::Short: return Variant(int16_t(st.ColumnInt(col)));
    case TColumnKind::Integer: return Variant(int(st.ColumnInt(col)));
    case TColumnKind::Number: return Variant(st.ColumnDouble(col));
    case TColumnKind::Alpha: return Variant(st.ColumnText(col));
    case TColumnKind::Date:
    case TColumnKind::Timestamp: return Variant::FromDate(st.ColumnDouble(col));
    case TColumnKind::Boolean: return Variant(st.ColumnInt(col) != 0);
    case TColumnKind::Unknown: break;
    }
    switch (type) {
    case SQLITE_INTEGER: {
        const int64_t v = st.ColumnInt(col);
        return v >= INT32_MIN && v <= INT32_MAX ? Variant(int(v)) : Variant(static_cast<long long>(v));
    }
    case SQLITE_FLOAT: return Variant(st.ColumnDouble(col));
    default: return Variant(st.ColumnText(col));
    }
}

bool TableExists(TSqliteDb &db, const QString &table)
{
    TSqliteStatement st(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE"));
    st.BindText(1, table);
    return st.Step();
}

bool SchemaObjectExists(TSqliteDb &db, const QString &name)
{
    TSqliteStatement st(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE name=?1 COLLATE NOCASE"));
    st.BindText(1, name);
    return st.Step();
}

void CreateTable(TSqliteDb &db, const TTableDef &def)
{
    QStringList cols;
    for (const TColumnDef &c : def.Columns)
        cols << ColumnSql(c);
    db.Exec(QStringLiteral("BEGIN"));
    try {
        db.Exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(QuoteName(def.Name), cols.join(u',')));
        CreateIndexes(db, def);
        db.Exec(QStringLiteral("COMMIT"));
    } catch (...) {
        db.Exec(QStringLiteral("ROLLBACK"));
        throw;
    }
}

void DropTable(TSqliteDb &db, const QString &table)
{
    db.Exec(QStringLiteral("DROP TABLE %1").arg(QuoteName(table)));
}

TTableDef ReadTableDef(TSqliteDb &db, const QString &table)
{
    TTableDef def;
    {
        TSqliteStatement st(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE"));
        st.BindText(1, table);
        if (!st.Step())
            throw EDatabaseError(QStringLiteral("Table does not exist: %1").arg(table));
        def.Name = st.ColumnText(0);
    }
    {
        TSqliteStatement st(db, QStringLiteral("SELECT name, type, \"notnull\" FROM pragma_table_info(?1)"));
        st.BindText(1, def.Name);
        while (st.Step()) {
            TColumnDef c;
            c.Name = st.ColumnText(0);
            c.Kind = KindOfType(st.ColumnText(1), c.Size);
            c.Required = st.ColumnInt(2) != 0;
            def.Columns.push_back(c);
        }
    }
    TSqliteStatement list(db, QStringLiteral("SELECT name, \"unique\" FROM pragma_index_list(?1) ORDER BY name"));
    list.BindText(1, def.Name);
    while (list.Step()) {
        TTableIndexDef index;
        const QString sqlName = list.ColumnText(0);
        index.Unique = list.ColumnInt(1) != 0;
        index.Primary = sqlName.compare(def.Name + QStringLiteral("_PK"), Qt::CaseInsensitive) == 0;
        if (!index.Primary) {
            if (!sqlName.startsWith(def.Name + u'_', Qt::CaseInsensitive))
                continue; // not one of ours
            index.Name = sqlName.mid(def.Name.size() + 1);
        }
        TSqliteStatement cols(db, QStringLiteral("SELECT name FROM pragma_index_info(?1) ORDER BY seqno"));
        cols.BindText(1, sqlName);
        while (cols.Step())
            index.Fields << cols.ColumnText(0);
        if (index.Primary)
            def.Indexes.insert(def.Indexes.begin(), index);
        else
            def.Indexes.push_back(index);
    }
    return def;
}

bool SetTextFieldWidth(TSqliteDb &db, const QString &table, const QString &fieldName, int newSize)
{
    TTableDef def = ReadTableDef(db, table);
    const int col = def.ColumnIndex(fieldName);
    if (col < 0 || def.Columns[col].Kind != TColumnKind::Alpha)
        throw EDatabaseError(QStringLiteral("Поле не найдено"));
    if (def.Columns[col].Size == newSize)
        throw EDatabaseError(QStringLiteral("Ничего не сделано"));
    def.Columns[col].Size = newSize;

    // SQLite cannot change a declared type in place: copy into a new table of
    // the new layout, then swap it in, all in one transaction.
    const QString temp = def.Name + QStringLiteral("_restructure");
    QStringList cols, values, names;
    for (const TColumnDef &c : def.Columns) {
        cols << ColumnSql(c);
        names << QuoteName(c.Name);
        values << (&c == &def.Columns[col] ? QStringLiteral("substr(%1,1,%2)").arg(QuoteName(c.Name)).arg(newSize)
                                           : QuoteName(c.Name));
    }
    db.Exec(QStringLiteral("BEGIN"));
    try {
        db.Exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(QuoteName(temp), cols.join(u',')));
        db.Exec(QStringLiteral("INSERT INTO %1 (rowid,%2) SELECT rowid,%3 FROM %4")
                    .arg(QuoteName(temp), names.join(u','), values.join(u','), QuoteName(def.Name)));
        db.Exec(QStringLiteral("DROP TABLE %1").arg(QuoteName(def.Name)));
        db.Exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(QuoteName(temp), QuoteName(def.Name)));
        CreateIndexes(db, def);
        db.Exec(QStringLiteral("COMMIT"));
    } catch (...) {
        db.Exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    return true;
}

void PackDatabase(TSqliteDb &db)
{
    db.Exec(QStringLiteral("VACUUM"));
}

} // namespace zorbel
