// Shared helpers of the memory table tests: the result tables of the analysis
// windows and the reminder list with their field definitions, row fillers and
// a reader of the visible rows.
#pragma once

#include "memtable/VemtMemTable.h"
#include "platform/rtl/Exceptions.h"
#include "support/MessageOf.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <ostream>
#include <vector>

// Failure messages show texts as text.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList &list, std::ostream *os) { PrintTo(list.join(u','), os); }

namespace zorbel::test {

inline QString S(const char *text) { return QString::fromUtf8(text); }

// TabRes of the results window: id, nm, sdt, sct, amt (the value columns the
// tests need), stored Filtered with indexes disabled.
inline std::unique_ptr<TVemtMemTable> MakeTabRes()
{
    auto table = std::make_unique<TVemtMemTable>();
    table->SetName(QStringLiteral("TabRes"));
    table->FieldDefs().Add(QStringLiteral("id"), ftSmallint);
    table->FieldDefs().Add(QStringLiteral("nm"), ftString, 30);
    table->FieldDefs().Add(QStringLiteral("sdt"), ftFloat);
    table->FieldDefs().Add(QStringLiteral("sct"), ftFloat);
    table->FieldDefs().Add(QStringLiteral("amt"), ftFloat);
    table->FieldDefs().Add(QStringLiteral("cur"), ftString, 3);
    table->SetEnableIndexes(false);
    table->SetFiltered(true);
    return table;
}

inline void AddRes(TVemtCustomMemTable &t, int id, const QString &nm, double sdt, double sct, bool append = true)
{
    if (append)
        t.Append();
    else
        t.Insert();
    t.FieldByName(QStringLiteral("id"))->SetAsInteger(id);
    t.FieldByName(QStringLiteral("nm"))->SetAsString(nm);
    t.FieldByName(QStringLiteral("sdt"))->SetAsFloat(sdt);
    t.FieldByName(QStringLiteral("sct"))->SetAsFloat(sct);
    t.FieldByName(QStringLiteral("amt"))->SetAsFloat(sdt - sct);
    t.Post();
}

// TbRest of the balances window: y, m, Per, Dt, Ct, Bn, Rest.
inline std::unique_ptr<TVemtMemTable> MakeTbRest()
{
    auto table = std::make_unique<TVemtMemTable>();
    table->SetName(QStringLiteral("TbRest"));
    table->FieldDefs().Add(QStringLiteral("y"), ftSmallint);
    table->FieldDefs().Add(QStringLiteral("m"), ftSmallint);
    table->FieldDefs().Add(QStringLiteral("Per"), ftString, 8);
    table->FieldDefs().Add(QStringLiteral("Dt"), ftFloat);
    table->FieldDefs().Add(QStringLiteral("Ct"), ftFloat);
    table->FieldDefs().Add(QStringLiteral("Bn"), ftFloat);
    table->FieldDefs().Add(QStringLiteral("Rest"), ftFloat);
    table->SetFiltered(true);
    return table;
}

// TbY of the year-totals window: Itm, Rs1..Rs12, SmRs; SortFields "Itm".
inline std::unique_ptr<TVemtMemTable> MakeTbY()
{
    auto table = std::make_unique<TVemtMemTable>();
    table->SetName(QStringLiteral("TbY"));
    table->FieldDefs().Add(QStringLiteral("Itm"), ftString, 90);
    for (int month = 1; month <= 12; ++month)
        table->FieldDefs().Add(QStringLiteral("Rs%1").arg(month), ftFloat);
    table->FieldDefs().Add(QStringLiteral("SmRs"), ftFloat);
    table->SetSortFields(QStringLiteral("Itm"));
    return table;
}

// TabLim of the limits window (the columns the tests need) with id_itm.
inline std::unique_ptr<TVemtMemTable> MakeTabLim()
{
    auto table = std::make_unique<TVemtMemTable>();
    table->SetName(QStringLiteral("TabLim"));
    table->FieldDefs().Add(QStringLiteral("itm"), ftString, 90);
    table->FieldDefs().Add(QStringLiteral("Lim"), ftFloat);
    table->FieldDefs().Add(QStringLiteral("Ct"), ftFloat);
    table->FieldDefs().Add(QStringLiteral("RbX"), ftInteger);
    table->FieldDefs().Add(QStringLiteral("id_itm"), ftInteger);
    table->SetSortFields(QStringLiteral("itm"));
    return table;
}

// The values of one field over the visible rows, in cursor order; the
// cursor ends after the last row.
inline QStringList Column(TDataSet &t, const QString &field)
{
    QStringList values;
    t.First();
    while (!t.Eof()) {
        values << t.FieldByName(field)->AsString();
        t.Next();
    }
    return values;
}

} // namespace zorbel::test
