// Text search in the reference books and links in their cells, without a
// window: list items with their counts and keys, family members found under
// the right person even when names repeat, the F3 step with its wrap-around,
// and which cell texts may be opened.
#include "ZorbDmFixture.h"
#include "platform/rtl/StrUtils.h"

#include "core/ZorbDm.h"
#include "core/ZorbLink.h"
#include "core/ZorbRefFind.h"
#include "platform/system/ShellOpen.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

namespace zorbel::test {
namespace {

// The people page is shown: the family follows the current person.
class PeopleHost : public TDmHost {
public:
    bool PeoplePageActive() const override { return true; }
};

class RefFind : public ::testing::Test {
protected:
    RefFind()
    {
        dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()});
        MakeFixture(dir.path());
        EXPECT_TRUE(dm.OpenDataSet({}).Opened);
    }
    int AddPerson(const QString &name, const QString &phone = QString(), const QString &comment = QString())
    {
        dm.Tb_Person.Append();
        dm.Tb_Person.FieldByName("NAME")->SetAsString(name);
        if (!phone.isEmpty())
            dm.Tb_Person.FieldByName("PHONE")->SetAsString(phone);
        if (!comment.isEmpty())
            dm.Tb_Person.FieldByName("COMMENT")->SetAsString(comment);
        dm.Tb_Person.Post();
        return dm.Tb_Person.FieldByName("ID_PERSON")->AsInteger();
    }
    int AddMember(int person, const QString &name)
    {
        EXPECT_TRUE(dm.Tb_Person.Locate("ID_PERSON", Variant(person), {}));
        dm.Tb_Family.Append();
        dm.Tb_Family.FieldByName("NAME")->SetAsString(name);
        dm.Tb_Family.Post();
        return dm.Tb_Family.FieldByName("Id_Family")->AsInteger();
    }
    std::vector<TFindItem> People(const QString &text)
    {
        return SearchTable({&dm.Tb_Person, "ID_PERSON", "NAME", &dm.Tb_Family}, text);
    }

    QTemporaryDir dir;
    PeopleHost host;
    TDm dm{&host};
};

TEST_F(RefFind, CountsPerRowAndFamilyItems)
{
    const int smirnov = AddPerson(U("Смирнов"), U("смирнов"), U("у Смирнова дача"));
    const int member = AddMember(smirnov, U("Сын Смирнова"));
    const auto items = People(U("СМИРНОВ"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Text, U("Смирнов (3)"));
    EXPECT_EQ(items[0].Number, smirnov);
    EXPECT_FALSE(items[0].Family());
    EXPECT_EQ(items[1].Text, U("Сын Смирнова »» Смирнов"));
    EXPECT_TRUE(items[1].Family());
    EXPECT_EQ(items[1].FamilyId(), member);
    EXPECT_EQ(items[1].PersonId, smirnov);
    // Lookups count as shown: the firm's name on a person's row.
    const auto shop = People(U("магазин"));
    ASSERT_EQ(shop.size(), 2u); // Ёлкин and Иванов work there
    EXPECT_EQ(shop[0].Text + shop[1].Text, U("Ёлкин П.Иванов И.И."));
    EXPECT_TRUE(People(U("нет такого текста")).empty());
    EXPECT_TRUE(People(QString()).empty());
}

TEST_F(RefFind, NamesakesKeepTheirOwnMembers)
{
    const int first = AddPerson(U("Двойник"));
    const int second = AddPerson(U("Двойник"));
    const int m1 = AddMember(first, U("Маша"));
    const int m2 = AddMember(second, U("Маша"));
    ASSERT_TRUE(dm.Tb_Person.Locate("ID_PERSON", Variant(1), {}));
    const TBookmark where = dm.Tb_Person.GetBookmark();
    const auto items = People(U("Маша"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Text, items[1].Text);
    // Each item leads to its own person and member, whatever the names.
    std::set<std::pair<int, int>> found{{items[0].PersonId, items[0].FamilyId()},
                                        {items[1].PersonId, items[1].FamilyId()}};
    EXPECT_EQ(found, (std::set<std::pair<int, int>>{{first, m1}, {second, m2}}));
    // The table stands where it stood.
    EXPECT_EQ(dm.Tb_Person.FieldByName("ID_PERSON")->AsInteger(), 1);
    EXPECT_EQ(dm.Tb_Person.GetBookmark(), where);
}

TEST_F(RefFind, DiaryItemsByRecordNumber)
{
    const auto items = SearchTable({&dm.Tb_Log, QString(), "NOTE", nullptr}, U("взнос"));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Text, U("Взнос"));
    dm.Tb_Log.SetRecNo(items[0].Number);
    EXPECT_EQ(dm.Tb_Log.FieldByName("Note")->AsString(), U("Взнос"));
}

TEST_F(RefFind, NextFieldWrapsAndStaysWhenNothingMatches)
{
    TTable &firms = dm.Tb_Firm; // Аптека, Киоск, Магазин, Рынок by name
    const int firmField = firms.FieldByName("FIRM")->Index();
    firms.First();
    // From the first firm, "ын" is found on Рынок, the last row.
    EXPECT_EQ(FindNextRow(firms, -1, U("ын")), firmField);
    EXPECT_EQ(firms.FieldByName("FIRM")->AsString(), U("Рынок"));
    // Only the starting row matches: the search comes back to it.
    EXPECT_EQ(FindNextRow(firms, firmField, U("ын")), firmField);
    EXPECT_EQ(firms.FieldByName("FIRM")->AsString(), U("Рынок"));
    // From the last row on to the first match from the top.
    EXPECT_EQ(FindNextRow(firms, firmField, U("а")), firmField);
    EXPECT_EQ(firms.FieldByName("FIRM")->AsString(), U("Аптека"));
    // Nothing: the row stays.
    firms.Next();
    const int at = firms.RecNo();
    EXPECT_EQ(FindNextRow(firms, -1, U("нигде")), -1);
    EXPECT_EQ(firms.RecNo(), at);
    // Hidden fields are not searched.
    EXPECT_EQ(FindInRow(firms, 0, QString::number(firms.FieldByName("ID_FIRM")->AsInteger())), -1);
}

class Links : public ::testing::Test {
protected:
    Links()
    {
        previous = SetShellLauncher([this](const QUrl &url) {
            opened << url.toString();
            return true;
        });
    }
    ~Links() override { SetShellLauncher(previous); }
    QString MakeFile(const QString &name, bool executable = false)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho\n");
        f.close();
        if (executable)
            f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    QTemporaryDir dir;
    QStringList opened;
    TShellLauncher previous;
};

TEST_F(Links, MailWebAndDocumentsOpenProgramsNever)
{
    EXPECT_TRUE(OpenLinkText(" ").isEmpty());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(OpenLinkText("ivan@mail.ru").isEmpty());
    EXPECT_TRUE(OpenLinkText("www.example.ru").isEmpty());
    const QString doc = MakeFile(U("Договор.pdf"));
    EXPECT_TRUE(OpenLinkText(doc).isEmpty());
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(opened[0], "mailto:ivan@mail.ru");
    EXPECT_EQ(opened[1], "http://www.example.ru");
    EXPECT_EQ(QUrl(opened[2]).toLocalFile(), doc);

    // Programs, scripts, desktop entries and missing files are refused with a message.
    opened.clear();
    for (const QString &bad : {MakeFile("run.desktop"), MakeFile("job.sh"), MakeFile("note.txt", true),
                               QStringLiteral("/bin/sh"), dir.path(), dir.filePath("missing.pdf"),
                               QStringLiteral("file://") + MakeFile("x.py"), QStringLiteral("javascript:alert(1)")}) {
        EXPECT_EQ(ClassifyLink(bad), TLinkKind::Refused) << bad.toStdString();
        EXPECT_FALSE(OpenLinkText(bad).isEmpty()) << bad.toStdString();
    }
    EXPECT_TRUE(opened.isEmpty());
}

} // namespace
} // namespace zorbel::test
