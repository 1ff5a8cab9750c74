// Building and reading the rows of small test data sets: the fixtures' dates
// and creation stamps, values written as short literals, appending rows to a
// table, and a data set's rows as "a|b|c" lines for expectations written by
// hand.
#pragma once

#include "platform/rtl/DateTime.h"
#include "platform/sqltable/Database.h"
#include "platform/sqltable/Table.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <ostream>
#include <vector>

// Failure messages show texts as text.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

namespace zorbel::test {

// Creation stamp n of the fixtures: 2024-01-01 + n minutes + 0.5 s.
inline TDateTime Stamp(int n)
{
    return EncodeDate(2024, 1, 1) + EncodeTime(n / 60, n % 60, 0, 500);
}

inline TDateTime D(int y, int m, int d)
{
    return EncodeDate(y, m, d);
}

// Values of fixture rows: null, text, date, creation stamp n.
inline const Variant N = Variant::Null();
inline Variant S(const char *text) { return Variant(QString::fromUtf8(text)); }
inline Variant Dt(int y, int m, int d) { return Variant::FromDate(D(y, m, d)); }
inline Variant St(int n) { return Variant::FromDate(Stamp(n)); }

// Appends the rows (values in field order, missing trailing values null).
inline void AppendRows(TDatabase &db, const char *table, const std::vector<std::vector<Variant>> &rows)
{
    TTable t;
    t.SetDatabase(&db);
    t.SetTableName(QString::fromUtf8(table));
    t.Open();
    for (const auto &row : rows)
        t.AppendRecord(row);
}

// A field as the expectations write it: null "~", dates "yyyy-mm-dd",
// date-times to 8 decimals, numbers in the shortest form with a point.
inline QString Text(const TField *field)
{
    if (field->IsNull())
        return QStringLiteral("~");
    switch (field->DataType()) {
    case ftDate: return QDate(1899, 12, 30).addDays(int64_t(field->AsDateTime())).toString(Qt::ISODate);
    case ftDateTime: return QString::number(field->AsDateTime(), 'f', 8);
    case ftFloat: case ftCurrency: return QString::number(field->AsFloat(), 'g', 12);
    case ftSmallint: case ftInteger: case ftWord: case ftBoolean: return QString::number(field->AsInteger());
    default: return field->AsString();
    }
}

// The rows of a data set from its first, each as its fields' texts joined by '|'.
inline QStringList Rows(TDataSet &ds)
{
    QStringList rows;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        QStringList cells;
        for (int i = 0; i < ds.FieldCount(); ++i)
            cells << Text(ds.Fields()[i]);
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace zorbel::test
