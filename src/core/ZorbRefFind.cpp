// Text search in the reference books (see ZorbRefFind.h).
#include "core/ZorbRefFind.h"

#include "core/TulnCommon.h"
#include "platform/dataset/DataSet.h"
#include "platform/rtl/Exceptions.h"

#include <optional>

namespace zorbel {

namespace {

bool FieldShows(const TField *field, const QString &text)
{
    return field->Visible() && FindTextNoCase(text, field->DisplayText(), 1) > 0;
}

QString WithCount(QString text, int count)
{
    if (count > 1)
        text += QStringLiteral(" (%1)").arg(count);
    return text;
}

void Restore(TDataSet &table, const TBookmark &mark)
{
    try {
        if (!mark.isEmpty() && table.BookmarkValid(mark))
            table.GotoBookmark(mark);
    } catch (const Exception &) {
        // Only the position: the table's rows are as they were.
    }
}

} // namespace

int CountRowMatches(TDataSet &Table, const QString &Text)
{
    int count = 0;
    for (int i = 0; i < Table.FieldCount(); ++i)
        count += FieldShows(Table.Fields()[i], Text) ? 1 : 0;
    return count;
}

std::vector<TFindItem> SearchTable(const TFindSource &Source, const QString &Text)
{
    std::vector<TFindItem> items;
    TDataSet &table = *Source.Table;
    if (Text.isEmpty() || !table.Active() || table.IsEmpty())
        return items;
    TDataSet *family = Source.Family && Source.Family->Active() ? Source.Family : nullptr;
    TControlsOff off(table);
    std::optional<TControlsOff> familyOff;
    if (family)
        familyOff.emplace(*family);
    const TBookmark mark = table.GetBookmark();
    const TBookmark familyMark = family && !family->IsEmpty() ? family->GetBookmark() : TBookmark();
    for (table.First(); !table.Eof(); table.Next()) {
        if (const int count = CountRowMatches(table, Text)) {
            const int number = Source.KeyField.isEmpty() ? table.RecNo()
                                                         : table.FieldByName(Source.KeyField)->AsInteger();
            items.push_back({WithCount(table.FieldByName(Source.TextField)->AsString(), count), number, 0});
        }
        if (!family)
            continue;
        const int personId = table.FieldByName(Source.KeyField)->AsInteger();
        const QString personName = table.FieldByName(Source.TextField)->AsString();
        for (family->First(); !family->Eof(); family->Next()) {
            const int count = CountRowMatches(*family, Text);
            if (count == 0)
                continue;
            const int number = -family->FieldByName(QStringLiteral("Id_Family"))->AsInteger() - 10;
            items.push_back({WithCount(family->FieldByName(QStringLiteral("NAME"))->AsString(), count) +
                                 QStringLiteral(" »» ") + personName,
                             number, personId});
        }
    }
    Restore(table, mark);
    if (family)
        Restore(*family, familyMark);
    return items;
}

int FindInRow(TDataSet &Table, int Start, const QString &Text)
{
    for (int i = std::max(Start, 0); i < Table.FieldCount(); ++i)
        if (FieldShows(Table.Fields()[i], Text))
            return i;
    return -1;
}

int FindNextRow(TDataSet &Table, int Selected, const QString &Text)
{
    if (Text.isEmpty() || !Table.Active() || Table.IsEmpty())
        return -1;
    TControlsOff off(Table);
    const int start = Table.RecNo();
    int found = FindInRow(Table, Selected + 1, Text);
    if (found >= 0)
        return found;
    for (Table.Next(); !Table.Eof(); Table.Next())
        if ((found = FindInRow(Table, 0, Text)) >= 0)
            return found;
    for (Table.First(); !Table.Eof(); Table.Next())
        if ((found = FindInRow(Table, 0, Text)) >= 0)
            return found;
    Table.SetRecNo(start);
    return -1;
}

int FindNextLedgerRow(TDataSet &Table, const QString &Text, bool *SameRow)
{
    if (SameRow)
        *SameRow = false;
    if (Text.isEmpty() || !Table.Active() || Table.IsEmpty())
        return -1;
    TControlsOff off(Table);
    const int start = Table.RecNo();
    int found = -1;
    for (Table.Next(); !Table.Eof(); Table.Next())
        if ((found = FindInRow(Table, 0, Text)) >= 0)
            return found;
    // Round from the top; the starting row is the last one looked at.
    int row = 1;
    for (Table.First(); !Table.Eof() && row <= start; Table.Next(), ++row)
        if ((found = FindInRow(Table, 0, Text)) >= 0) {
            if (SameRow)
                *SameRow = row == start;
            return found;
        }
    Table.SetRecNo(start);
    return -1;
}

} // namespace zorbel
