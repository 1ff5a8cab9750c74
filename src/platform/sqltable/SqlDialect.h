// Translation of the program's SQL texts into SQLite's dialect. The texts are
// written in a local SQL of their own (table files named "T.db", double-quoted
// literals, EXTRACT, ALTER TABLE with several ADDs); the program keeps them as
// written, and every query passes through TranslateSql before SQLite sees it.
//
// The rewrites, each small and explicit:
//  1. ":name" parameters outside literals become "?N"; names are matched
//     without regard to case, so ":ID" and ":id" are one parameter.
//  2. A double-quoted token naming a table file ("Tb_Hist.db") becomes the bare
//     table name; any other double-quoted token is a string literal
//     (kind="1" is kind='1'): the program's texts quote values that way.
//  3. EXTRACT(YEAR|MONTH|DAY FROM x) becomes zb_year(x) / zb_month(x) /
//     zb_day(x), functions over day serials registered by the connection.
//  4. ALTER TABLE "T.db" ADD "T.db"."F" type, ADD ... becomes one
//     "ALTER TABLE T ADD COLUMN F type" statement per added field, with the
//     type mapped by SqlColumnType.
//  5. A grouped query without ORDER BY gets "ORDER BY" its grouping columns:
//     callers (running balances) walk grouped rows in that order and would
//     sum in a wrong order without it.
// Functions the connection overrides rather than rewrites: lower(), upper()
// (Cyrillic folding as AnsiLowerCase/AnsiUpperCase), like (case-sensitive,
// with ESCAPE). Division by zero already gives NULL in SQLite.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace zorbel {

struct TTranslatedSql {
    std::vector<QString> Statements; // one, or one per added field of an ALTER TABLE
    QStringList ParamNames;          // distinct parameter names; name i is bound as ?(i+1)
};

// Requires: text is one statement of the program (lines joined with line breaks).
TTranslatedSql TranslateSql(const QString &text);

// Declared SQLite column type for a column type the program's SQL texts name
// ("CHAR(1)", "VARCHAR(50)", "NUMERIC", "SMALLINT", "DATE", ...), as the
// storage rules declare the kind (DeclaredType): numbers get REAL affinity, so
// dt/rate never becomes an integer division; strings keep their width.
QString SqlColumnType(const QString &typeName);

// Finds parameter names in a text the way TranslateSql does (distinct, in order
// of first appearance, ignoring ':' inside literals).
QStringList SqlParamNames(const QString &text);

} // namespace zorbel
