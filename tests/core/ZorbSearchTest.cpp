// The ledger's searches on the fixture data set: every field of the history
// search with its comparison, notes holding the like-pattern characters
// found literally, the notes list with its scopes, and the bookmark list's
// query and totals.
#include "ZorbDmFixture.h"

#include "core/ZorbDm.h"
#include "core/ZorbSearch.h"
#include "platform/rtl/Money.h"
#include "core/ZorbText.h"
#include "platform/rtl/Exceptions.h"
#include "platform/sqltable/Query.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

class SearchData : public ::testing::Test {
protected:
    SearchData()
    {
        dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
        MakeFixture(dir.path());
        EXPECT_TRUE(dm.OpenDataSet({}).Opened);
        dm.QFind.Close();
        dm.QFind.ParamByName("id")->SetAsSmallInt(1);
        dm.QFind.ParamByName("d1")->SetAsDate(EncodeDate(2024, 1, 1));
        dm.QFind.ParamByName("d2")->SetAsDate(EncodeDate(2024, 12, 31));
    }
    // The hits of a history search as the operations' stamps' minutes, in order.
    QStringList Hits(int field, const THistFindValues &v)
    {
        PrepareHistFind(dm.QFind, field, v);
        dm.QFind.Open();
        QStringList hits;
        for (dm.QFind.First(); !dm.QFind.Eof(); dm.QFind.Next())
        {
            const double stamp = dm.QFind.FieldByName("date_create")->AsDateTime();
            hits << QString::number(int((stamp - std::floor(stamp)) * 1440));
        }
        hits.sort();
        return hits;
    }
    void SetComment(const char *oldComment, const QString &newComment)
    {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{"update tb_hist set comment=:c where comment=:o"};
        dm.Qtemp.ParamByName("c")->SetAsString(newComment);
        dm.Qtemp.ParamByName("o")->SetAsString(U(oldComment));
        dm.Qtemp.ExecSQL();
    }
    static THistFindValues Text(const char *text, const char *op = "=")
    {
        THistFindValues v;
        v.Text = U(text);
        v.Op = QString::fromLatin1(op);
        return v;
    }

    QTemporaryDir dir;
    TDm dm;
};

TEST_F(SearchData, EveryFieldWithItsComparison)
{
    EXPECT_EQ(Hits(hfNote, Text("хлеб")), QStringList({"1", "9"})); // Cyrillic case folded
    EXPECT_EQ(Hits(hfDt, Text("100", ">")), QStringList({"2"}));
    EXPECT_EQ(Hits(hfCt, Text("250", "<")), QStringList({"1", "9"}));
    EXPECT_EQ(Hits(hfCt, Text("250")), QStringList({"3"}));
    EXPECT_EQ(Hits(hfPrice, Text("50")), QStringList({"1"}));
    EXPECT_EQ(Hits(hfRate, Text("2", ">")), QStringList({"9"}));
    THistFindValues v;
    v.Date = EncodeDate(2024, 2, 4);
    v.Op = ">";
    EXPECT_EQ(Hits(hfDate, v), QStringList({"4", "5"}));
    v.Item = 11;
    v.Level = 3;
    EXPECT_EQ(Hits(hfItem, v), QStringList({"1", "9"}));
    v.Item = 10;
    v.Level = 2;
    EXPECT_EQ(Hits(hfItem, v), QStringList({"1", "3", "9"}));
    v.Person = 1;
    EXPECT_EQ(Hits(hfPerson, v), QStringList({"1"}));
    v.Firm = 2;
    EXPECT_EQ(Hits(hfFirm, v), QStringList());
    // An unknown comparison is taken as equality, never pasted into the text.
    EXPECT_EQ(Hits(hfCt, Text("100", "; drop")), QStringList({"1"}));
    EXPECT_EQ(dm.QFind.SQL()[2], QStringLiteral("ct="));
}

TEST_F(SearchData, NotesSearchKeepsAccountAndPeriodAndOtherSearchesTheirKey)
{
    EXPECT_EQ(Hits(hfNote, Text("хлеб")), QStringList({"1", "9"}));
    dm.QFind.ParamByName("d2")->SetAsDate(EncodeDate(2024, 1, 9)); // the notes fall on 10 January
    EXPECT_EQ(Hits(hfNote, Text("хлеб")), QStringList());
    dm.QFind.ParamByName("d2")->SetAsDate(EncodeDate(2024, 12, 31));
    dm.QFind.ParamByName("id")->SetAsSmallInt(2);
    EXPECT_EQ(Hits(hfNote, Text("хлеб")), QStringList());
    dm.QFind.ParamByName("id")->SetAsSmallInt(1);
    // After a notes search the other searches run in their keyed form again.
    EXPECT_EQ(Hits(hfCt, Text("250")), QStringList({"3"}));
    EXPECT_FALSE(dm.QFind.SQL()[1].contains(u'+'));
    EXPECT_EQ(Hits(hfNote, Text("ЛЕБ")), QStringList({"1", "9"}));
    EXPECT_TRUE(dm.QFind.SQL()[1].contains(QStringLiteral("+id_account")));
}

TEST_F(SearchData, ValuesNeededAndNumbersChecked)
{
    EXPECT_FALSE(HistFindHasValue(hfNote, THistFindValues{}));
    EXPECT_FALSE(HistFindHasValue(hfDt, THistFindValues{}));
    EXPECT_TRUE(HistFindHasValue(hfDate, THistFindValues{}));
    EXPECT_TRUE(HistFindHasValue(hfFirm, THistFindValues{}));
    EXPECT_THROW(PrepareHistFind(dm.QFind, hfDt, Text("12abc")), Exception);
}

TEST_F(SearchData, PatternCharactersInNotesAreFoundLiterally)
{
    SetComment("Аванс", U("Скидка 50% на_всё ^1"));
    SetComment("Молоко свежее", U("Скидка 500 наXвсё 1"));
    EXPECT_EQ(Hits(hfNote, Text("50%")), QStringList({"2"}));
    EXPECT_EQ(dm.QFind.SQL()[3], QStringLiteral(":p  escape '^'"));
    EXPECT_EQ(Hits(hfNote, Text("на_в")), QStringList({"2"}));
    EXPECT_EQ(Hits(hfNote, Text("^1")), QStringList({"2"}));
    EXPECT_EQ(Hits(hfNote, Text("скидка")), QStringList({"2", "3"}));
    EXPECT_EQ(dm.QFind.SQL()[3], QStringLiteral(":p"));
    // A quote in the text is only a character of the parameter.
    EXPECT_EQ(Hits(hfNote, Text("'")), QStringList());
    bool escaped = false;
    EXPECT_EQ(LikePattern(U("А^Б%_"), &escaped), U("%а^^б^%^_%"));
    EXPECT_TRUE(escaped);
}

TEST_F(SearchData, NotesListByScopeAndText)
{
    TQuery comm;
    comm.SetDatabase(&dm.Db);
    TNotesQuery o;
    o.Begin = EncodeDate(2024, 1, 1);
    o.End = EncodeDate(2024, 12, 31);
    auto notes = [&] {
        BuildNotesQuery(comm, o);
        comm.Open();
        QStringList rows;
        for (comm.First(); !comm.Eof(); comm.Next())
            rows << comm.FieldByName("Comment")->AsString() + ":" + comm.FieldByName("cnt")->AsString();
        rows.sort();
        return rows;
    };
    EXPECT_EQ(notes(), QStringList({U("Аванс:1"), U("Молоко свежее:1"), U("ХЛЕБ:1"), U("Хлеб белый:1")}));
    o.Text = U("хЛеБ");
    EXPECT_EQ(notes(), QStringList({U("ХЛЕБ:1"), U("Хлеб белый:1")}));
    o.Text.clear();
    o.WholeBase = false;
    o.Level1 = 0;
    o.Level2 = 10;
    o.Level3 = 12;
    EXPECT_EQ(notes(), QStringList({U("Молоко свежее:1")}));
    o.Level3 = 0;
    EXPECT_EQ(notes().size(), 3);
    SetComment("Аванс", U("100% 'кавычка'"));
    o.WholeBase = true;
    o.OnlyCurrentAccount = true;
    o.Account = 1;
    o.Text = U("0% 'к");
    EXPECT_EQ(notes(), QStringList({U("100% 'кавычка':1")}));
    o.Account = 2;
    EXPECT_EQ(notes(), QStringList());
}

TEST_F(SearchData, BookmarkListAndTotals)
{
    dm.Qtemp.Close();
    dm.Qtemp.SQL() = QStringList{"update tb_hist set b='+' where comment is null or comment=:c"};
    dm.Qtemp.ParamByName("c")->SetAsString(U("ХЛЕБ"));
    dm.Qtemp.ExecSQL();
    TQuery mark;
    mark.SetDatabase(&dm.Db);
    mark.SQL() = MarksQueryText();
    PrepareMarksQuery(mark, false, 1, EncodeDate(2024, 1, 1), EncodeDate(2024, 12, 31));
    mark.Open();
    // Account 1 in 2024: rows 3 (marked before), 4, 5 and 9.
    TMarkTotals t = SumMarks(mark);
    EXPECT_EQ(t.Count, 4);
    EXPECT_EQ(t.Ct, (250 + 400 + 900 + 30) * MoneyScale);
    EXPECT_EQ(t.Dt, 0);
    EXPECT_EQ(t.Qct, 3 * MoneyScale);
    EXPECT_EQ(mark.RecNo(), 1);
    EXPECT_EQ(mark.FieldByName("Itm3")->AsString(), U("Хлеб")); // row 9, the earliest
    EXPECT_EQ(mark.FieldByName("Acnt")->AsString(), U("Кошелёк"));
    EXPECT_EQ(FormatMarkSum(t.Ct), U("1 580,00").replace(' ', QChar(0xA0)));
    PrepareMarksQuery(mark, true, 1, EncodeDate(2000, 1, 1), EncodeDate(2040, 12, 31));
    mark.Open();
    t = SumMarks(mark);
    EXPECT_EQ(t.Count, 7); // with rows 6, 7 and 8 of other accounts and years
    EXPECT_EQ(t.Dt, (10 + 20000) * MoneyScale);
}

} // namespace
} // namespace zorbel::test

namespace zorbel::test {
namespace {

// 0,922 + 44,693 is 45,615. Added as floating point the total lands just
// below the half cent and shows 45,61; added in units it is 45,62, as the
// ledger's own totals of the same rows are.
TEST_F(SearchData, BookmarkTotalsAddInUnits)
{
    const auto exec = [this](const QString &sql) {
        dm.Qtemp.Close();
        dm.Qtemp.SQL() = QStringList{sql};
        dm.Qtemp.ExecSQL();
    };
    exec(QStringLiteral("update tb_hist set b=null"));
    exec(QStringLiteral("update tb_hist set b='+', dt=null, ct=0.922, qct=0.922 where rowid=(select min(rowid) from tb_hist)"));
    exec(QStringLiteral("update tb_hist set b='+', dt=null, ct=44.693, qct=44.693 where rowid=(select max(rowid) from tb_hist)"));
    TQuery mark;
    mark.SetDatabase(&dm.Db);
    mark.SQL() = MarksQueryText();
    PrepareMarksQuery(mark, true, 1, EncodeDate(2000, 1, 1), EncodeDate(2040, 12, 31));
    mark.Open();
    const TMarkTotals t = SumMarks(mark);
    ASSERT_EQ(t.Count, 2);
    EXPECT_EQ(FormatMarkSum(t.Ct), U("45,62"));
    EXPECT_EQ(FormatMarkSum(t.Qct), U("45,62"));
    EXPECT_EQ(FormatMarkSum(t.Dt), U("0,00"));
}

TEST(CategoryFindNext, StepsOnWrapsAndNeedsASelection)
{
    const QStringList nodes = {U("Еда"), U("Хлеб"), U("Молоко"), U("Хлебцы"), U("Разное")};
    EXPECT_EQ(NextMatchingNode(nodes, 0, U("хЛЕБ")), 1);
    EXPECT_EQ(NextMatchingNode(nodes, 1, U("хлеб")), 3);
    EXPECT_EQ(NextMatchingNode(nodes, 3, U("хлеб")), 1); // wraps to the top
    EXPECT_EQ(NextMatchingNode(nodes, 2, U("молоко")), 2); // only the selected one
    EXPECT_EQ(NextMatchingNode(nodes, 2, U("сыр")), -1);
    EXPECT_EQ(NextMatchingNode(nodes, -1, U("хлеб")), -1); // nothing selected
    EXPECT_EQ(NextMatchingNode({}, -1, U("хлеб")), -1);
}

TEST(CategoryFindByName, PrefixFirstThenAnyPartFoldingCase)
{
    const QStringList nodes = {U("Еда"), U("Зелёный чай"), U("Ёлка"), U("Чай"), U("Хлеб")};
    EXPECT_EQ(FirstNodeByName(nodes, U("ЧА")), 3);   // a beginning wins over an earlier inner match
    EXPECT_EQ(FirstNodeByName(nodes, U("ёЛ")), 2);
    EXPECT_EQ(FirstNodeByName(nodes, U("лёный")), 1); // no beginning: the first that holds it
    EXPECT_EQ(FirstNodeByName(nodes, U("сыр")), -1);
    EXPECT_EQ(FirstNodeByName(nodes, QString()), -1);
}

TEST(HistFindNumberBox, SignSeparatorComparisonAndDigits)
{
    const QChar dec = u',';
    // The sign: only at the start, only once; a selection clears the text first.
    EXPECT_EQ(NumberFieldKey(u'-', "12", 0, 0, dec), TNumberKey::Type);
    EXPECT_EQ(NumberFieldKey(u'-', "12", 1, 0, dec), TNumberKey::Drop);
    EXPECT_EQ(NumberFieldKey(u'-', "12", 1, 1, dec), TNumberKey::Type);
    EXPECT_EQ(NumberFieldKey(u'-', "-12", 0, 0, dec), TNumberKey::Drop);
    EXPECT_EQ(NumberFieldKey(u'-', "-12", 1, 2, dec), TNumberKey::ClearThenType);
    // One decimal separator anywhere.
    EXPECT_EQ(NumberFieldKey(u',', "12", 1, 0, dec), TNumberKey::Type);
    EXPECT_EQ(NumberFieldKey(u',', "1,2", 3, 0, dec), TNumberKey::Drop);
    EXPECT_EQ(NumberFieldKey(u',', "1,2", 0, 3, dec), TNumberKey::ClearThenType);
    EXPECT_EQ(NumberFieldKey(u'.', "12", 2, 0, dec), TNumberKey::Drop); // not this locale's separator
    for (QChar c : {u'>', u'<', u'='})
        EXPECT_EQ(NumberFieldKey(c, "12", 2, 0, dec), TNumberKey::Comparison);
    EXPECT_EQ(NumberFieldKey(u'7', "12", 2, 0, dec), TNumberKey::Type);
    EXPECT_EQ(NumberFieldKey(u'a', "12", 2, 0, dec), TNumberKey::Drop);
    EXPECT_EQ(NumberFieldKey(QChar(u'\b'), "12", 2, 0, dec), TNumberKey::Type); // editing keys pass
}

TEST(SearchMessages, NotFoundAndCounter)
{
    EXPECT_EQ(TextNotFoundMessage(U("хлеб")), U("Текст\n\"хлеб\"\nне найден."));
    EXPECT_EQ(TextNotFoundMessage(QString()), U("Текст\n\nне найден."));
    EXPECT_EQ(HitCounter(3, 17), "3/17");
}

} // namespace
} // namespace zorbel::test
