// TStringList: lines with objects, sorting and duplicates, CR-LF text, names and values.
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/StringList.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace zorbel;

namespace {

QStringList Items(const TStringList &list)
{
    QStringList items;
    for (int i = 0; i < list.Count(); ++i)
        items << list.Strings(i);
    return items;
}

} // namespace

TEST(TStringList, LinesWithObjects)
{
    TStringList list;
    EXPECT_EQ(list.AddObject("Наличные", 3), 0);
    EXPECT_EQ(list.Add("Карта"), 1);
    list.Insert(1, "Вклад");
    EXPECT_EQ(Items(list), QStringList({"Наличные", "Вклад", "Карта"}));
    EXPECT_EQ(list.Objects(0), 3);
    list.SetObjects(2, -100);
    EXPECT_EQ(list.IndexOfObject(-100), 2);
    EXPECT_EQ(list.IndexOf("карта"), 2); // case-insensitive, Cyrillic too
    EXPECT_EQ(list.IndexOf("нет"), -1);
    list.Delete(0);
    EXPECT_EQ(Items(list), QStringList({"Вклад", "Карта"}));
    list.Exchange(0, 1);
    EXPECT_EQ(list.Strings(0), "Карта");
    EXPECT_THROW(list.Strings(2), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
    EXPECT_THROW(list.Insert(3, "x"), EListError);
    try {
        list.Objects(5);
        FAIL();
    } catch (const EListError &e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (5)");
    }
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(TStringList, SortedListsAndDuplicates)
{
    TStringList list;
    list.Add("Яблоко");
    list.Add("арбуз");
    list.Add("Ёлка");
    list.Add("Ель");
    list.Add("banana");
    list.SetSorted(true);
    EXPECT_EQ(Items(list), QStringList({"banana", "арбуз", "Ёлка", "Ель", "Яблоко"}));
    EXPECT_EQ(list.Add("вишня"), 2);
    EXPECT_EQ(list.Add("ВИШНЯ"), 2); // dupIgnore: the existing index
    EXPECT_EQ(list.Count(), 6);
    int index = -1;
    EXPECT_TRUE(list.Find("ель", index));
    EXPECT_EQ(index, 4);
    EXPECT_FALSE(list.Find("груша", index));
    EXPECT_EQ(index, 3); // where it would go
    EXPECT_EQ(list.IndexOf("ЯБЛОКО"), 5);
    EXPECT_THROW(list.Insert(0, "x"), EListError);
    EXPECT_THROW(list.SetStrings(0, "x"), EListError);
    list.SetDuplicates(TDuplicates::dupError);
    EXPECT_THROW(list.Add("Вишня"), EListError);
    list.SetDuplicates(TDuplicates::dupAccept);
    list.Add("Вишня");
    EXPECT_EQ(list.Count(), 7);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("ВИШНЯ"), -1);
    EXPECT_EQ(list.IndexOf("Вишня"), 3);
}

TEST(TStringList, TextUsesCrLf)
{
    TStringList list;
    list.SetText("один\r\nдва\nтри\rчетыре\r\n\r\nшесть");
    EXPECT_EQ(Items(list), QStringList({"один", "два", "три", "четыре", "", "шесть"}));
    list.SetText("a\r\nb\r\n");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Text(), "a\r\nb\r\n");
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Text(), "");
}

TEST(TStringList, NamesAndValues)
{
    TStringList list;
    list.SetText("Dt=80\r\nComment=120\r\nplain\r\nX=a=b");
    EXPECT_EQ(list.Names(0), "Dt");
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.Values("comment"), "120");
    EXPECT_EQ(list.Values("X"), "a=b");
    EXPECT_EQ(list.Values("nope"), "");
    EXPECT_EQ(list.ValueFromIndex(0), "80");
    list.SetValues("dt", "90");
    EXPECT_EQ(list.Strings(0), "dt=90");
    list.SetValues("New", "1");
    EXPECT_EQ(list.Strings(4), "New=1");
    list.SetValues("Comment", "");
    EXPECT_EQ(list.IndexOfName("Comment"), -1);
    EXPECT_EQ(list.Count(), 4);
}

TEST(TStringList, CommaTextQuotesWhatNeedsIt)
{
    TStringList list;
    list.Add("plain");
    list.Add("two words");
    list.Add("say \"hi\"");
    list.Add("a,b");
    list.Add("");
    EXPECT_EQ(list.CommaText(), "plain,\"two words\",\"say \"\"hi\"\"\",\"a,b\",");
    TStringList back;
    back.SetCommaText(list.CommaText());
    EXPECT_EQ(Items(back), Items(list));
    back.SetCommaText(" a b , c,,\"d e\"x,");
    EXPECT_EQ(Items(back), QStringList({"a", "b", "c", "", "d e", "x", ""}));
    TStringList single;
    single.Add("");
    EXPECT_EQ(single.CommaText(), "\"\"");
    back.SetCommaText("");
    EXPECT_EQ(back.Count(), 0);
}
