// A dataset copied into a memory table: the rows it walks, in its order and
// under its filter, with their nulls, and the fields' presentation; the
// source keeps its place and its controls.
#include "memtable/VemtSnapshot.h"

#include "MemTableSupport.h"
#include "platform/dataset/Fields.h"

#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

QStringList Rows(TDataSet &t)
{
    QStringList rows;
    for (t.First(); !t.Eof(); t.Next()) {
        QStringList cells;
        for (int i = 0; i < t.FieldCount(); ++i)
            cells << (t.Fields()[i]->IsNull() ? QStringLiteral("-") : t.Fields()[i]->AsString());
        rows << cells.join(u'|');
    }
    return rows;
}

TEST(VemtSnapshot, CopiesTheWalkedRowsTheirNullsAndThePresentation)
{
    auto res = MakeTabRes();
    res->Open();
    AddRes(*res, 3, S("Еда"), 0, 120.5);
    AddRes(*res, 1, S("Зарплата"), 5000, 0);
    AddRes(*res, 2, S("Разное"), 10, 7.25);
    res->Append();
    res->FieldByName(QStringLiteral("id"))->SetAsInteger(4); // nm and the sums null
    res->Post();
    res->FieldByName(QStringLiteral("sdt"))->SetDisplayLabel(S("Приход"));
    res->FieldByName(QStringLiteral("sdt"))->SetDisplayFormat(S("#,##0.00"));
    res->FieldByName(QStringLiteral("id"))->SetVisible(false);
    res->FieldByName(QStringLiteral("sct"))->SetAlignment(TAlignment::taCenter);
    res->FieldByName(QStringLiteral("nm"))->SetDisplayWidth(17);
    // The source's filter and order decide the rows.
    res->SetFilter(QStringLiteral("id <> 2"));
    res->SetSortFields(QStringLiteral("id"));
    res->Sort();
    res->First();
    res->Next();
    const int place = res->RecNo();

    // A snapshot replaces what the table held, fields and rows.
    TVemtMemTable copy;
    copy.FieldDefs().Add(QStringLiteral("old"), ftString, 5);
    copy.Open();
    copy.Append();
    copy.Fields()[0]->SetAsString(QStringLiteral("gone"));
    copy.Post();
    SnapshotDataSet(*res, copy);
    EXPECT_EQ(res->RecNo(), place);
    EXPECT_FALSE(res->ControlsDisabled());
    EXPECT_TRUE(copy.Active());
    EXPECT_EQ(copy.RecNo(), 1);
    EXPECT_EQ(Rows(copy), (QStringList{S("1|Зарплата|5000|0|5000|-"), S("3|Еда|0|120,5|-120,5|-"),
                                       S("4|-|-|-|-|-")}));
    // Rows written to the source afterwards stay out of the snapshot.
    AddRes(*res, 5, S("Позже"), 1, 1);
    EXPECT_EQ(copy.RecordCount(), 3);

    ASSERT_EQ(copy.FieldCount(), res->FieldCount());
    for (int i = 0; i < copy.FieldCount(); ++i) {
        const TField *a = res->Fields()[i], *b = copy.Fields()[i];
        EXPECT_EQ(b->FieldName(), a->FieldName());
        EXPECT_EQ(b->DataType(), a->DataType());
        EXPECT_EQ(b->Size(), a->Size());
        EXPECT_EQ(b->DisplayLabel(), a->DisplayLabel());
        EXPECT_EQ(b->DisplayFormat(), a->DisplayFormat());
        EXPECT_EQ(b->DisplayWidth(), a->DisplayWidth());
        EXPECT_EQ(b->Visible(), a->Visible());
        EXPECT_EQ(b->Alignment(), a->Alignment());
    }
    copy.First();
    EXPECT_EQ(copy.FieldByName(QStringLiteral("sdt"))->DisplayText(), QStringLiteral("5") + QChar(0xA0) + S("000,00"));
}

} // namespace
} // namespace zorbel::test
