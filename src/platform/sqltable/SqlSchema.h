// Storage rules of the program's tables in SQLite: how a field kind becomes a
// declared column type, how values are written and read back, and how a table
// is created, described, restructured and packed.
//
// Field kinds and their columns (the declared type carries kind and width, so
// a table read back describes itself):
//
//   kind       declared type              stored value
//   Short      SMALLINT                   integer in -32768..32767 (checked)
//   Integer    INTEGER                    integer in the 32-bit range (checked)
//   Number     FLOAT                      real (REAL affinity: dt/rate divides as reals)
//   Alpha n    VARCHAR(n) COLLATE RUSSIAN text of at most n characters (cut);
//                                         an empty text is stored as NULL
//   Date       DATE INTEGER               day serial (days since 30 Dec 1899)
//   Timestamp  TIMESTAMP REAL             day serial with time, as given (the
//                                         program's stamps are whole ms; files
//                                         written elsewhere hold others)
//   Boolean    BOOLEAN INTEGER            0 or 1
//
// String columns compare with the Russian collation (case-blind order, ties by
// case), so indexes and ORDER BY follow the Russian alphabet while "=" stays
// exact: key lookups and the program's conditions on names match a text only
// as it is written, case included.
#pragma once

#include "platform/rtl/Variant.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace zorbel {

class TSqliteDb;
class TSqliteStatement;

enum class TColumnKind {
    Unknown,   // a computed query column: typed by its value
    Short,     // 16-bit signed integer
    Integer,   // 32-bit signed integer
    Number,    // 8-byte floating point
    Alpha,     // string of at most Size characters
    Date,      // whole days
    Timestamp, // date and time to the millisecond
    Boolean,
};

struct TColumnDef {
    QString Name;
    TColumnKind Kind = TColumnKind::Unknown;
    int Size = 0; // characters of an Alpha column, else 0
    bool Required = false;
};

struct TTableIndexDef {
    QString Name;       // empty for the primary key
    QStringList Fields; // in key order
    bool Primary = false;
    bool Unique = false;
};

struct TTableDef {
    QString Name;
    std::vector<TColumnDef> Columns;
    std::vector<TTableIndexDef> Indexes; // the primary key first when there is one

    // Index of the column named name (case-insensitive), or -1.
    int ColumnIndex(const QString &name) const;
    const TTableIndexDef *PrimaryKey() const;
    // The index named name (case-insensitive), or nullptr.
    const TTableIndexDef *IndexNamed(const QString &name) const;
};

// Declared column type of a kind ("VARCHAR(30) COLLATE RUSSIAN").
QString DeclaredType(TColumnKind kind, int size);
// Kind and size of a declared type, or of a type name the program's SQL texts
// use ("CHAR(1)", "VARCHAR(50)", "NUMERIC", "SMALLINT", "DATE", "TIMESTAMP").
TColumnKind KindOfType(const QString &type, int &size);

// The value as the column stores it (Null for a database null). Raises
// EDatabaseError when a number lies outside the column's range and
// EVariantError when the value does not convert to the kind.
Variant StoredValue(const TColumnDef &column, const Variant &value);
// StoredValue with a stamp at its whole millisecond: a key search that
// finds no row by a stamp as given tries it next, since a value that went
// through a millisecond form (a memory table's field) may be off in its
// last bits from the one stored. Only a value that is not stored exactly
// finds a row so: a stamp that is no whole millisecond is found by itself.
Variant WholeMsValue(const TColumnDef &column, const Variant &value);
// Binds a value already made by StoredValue (or a parameter value) to ?index.
void BindVariant(TSqliteStatement &st, int index, const Variant &value);
// Reads column col of the current row as a value of the kind.
Variant ReadColumn(const TSqliteStatement &st, int col, TColumnKind kind);

// Schema operations; each raises EDatabaseError on failure.
bool TableExists(TSqliteDb &db, const QString &table);
// True when the schema has any object (a table, a view, an index, a
// trigger) named name, ignoring case.
bool SchemaObjectExists(TSqliteDb &db, const QString &name);
void CreateTable(TSqliteDb &db, const TTableDef &def);
void DropTable(TSqliteDb &db, const QString &table);
// The table's columns and indexes as stored (name spelled as created).
TTableDef ReadTableDef(TSqliteDb &db, const QString &table);

// Sets the width of the Alpha field fieldName (case-insensitive) to newSize,
// keeping the rows (longer texts are cut). Requires: no statement of the
// connection is mid-walk (close the tables first). Raises EDatabaseError
// "Поле не найдено" when the table has no such string field and
// "Ничего не сделано" when the width already is newSize. Returns true.
bool SetTextFieldWidth(TSqliteDb &db, const QString &table, const QString &fieldName, int newSize);
// Rewrites the database file without free pages, so that a purge or a
// restructure also shrinks the data file the work folder is packed into.
// Requires: as SetTextFieldWidth.
void PackDatabase(TSqliteDb &db);

// Quotes an identifier for SQLite.
QString QuoteName(const QString &name);

} // namespace zorbel
