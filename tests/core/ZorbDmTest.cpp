// The data module on a fresh data set from the template, on the Cyrillic
// fixture and on a data set in the oldest structure: identifiers, reference
// checks, derived and looked-up fields, category paths, limits, packet sums,
// first-run rows, the upgrade and every fixed query.
#include "ZorbDmFixture.h"

#include "core/ZorbDialogHost.h"
#include "core/ZorbText.h"
#include "platform/sqltable/SqlSchema.h"
#include "platform/sqltable/Sqlite.h"
#include "platform/widgets/ModalScript.h"
#include "support/FaultEnv.h"
#include "platform/rtl/Money.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <set>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

class TTestHost : public TDialogHost {
public:
    TDateTime EntryDate() const override { return D(2024, 3, 15); }
    bool NewCategoryIsExpense() const override { return expense; }
    bool PeoplePageActive() const override { return peoplePage; }
    TMenuView MenuView() const override { return view; }
    void ApplyMenuState(const TMenuState &s) override { state = s; ++menuUpdates; }
    void ShowAccountRest(const QString &t, const QColor &c) override { restText = t; restColor = c; }
    void PacketPosted() override { ++packetPosts; }
    void SetDatePanelEnabled(bool enabled) override { datePanel = enabled; }
    void ClearWorkFolder() override { ++folderClears; }

    bool expense = true;
    bool peoplePage = false;
    TMenuView view;
    TMenuState state;
    int menuUpdates = 0;
    QString restText;
    QColor restColor;
    int packetPosts = 0;
    bool datePanel = false;
    int folderClears = 0;
};

class ZorbDmTest : public ::testing::Test {
protected:
    ZorbDmTest() { dm.Db.SetParams({QStringLiteral("PATH=") + dir.path()}); }

    TOpenResult Open(const TOpenOptions &options = {}) { return dm.OpenDataSet(options); }
    void OpenFixture()
    {
        MakeFixture(dir.path());
        ASSERT_TRUE(Open().Opened);
    }
    QStringList Select(const QString &text) { return SelectRows(dm.Qtemp, text); }
    // Inserts a row with the given field values into a table and posts it.
    void Add(TTable &t, std::initializer_list<std::pair<const char *, Variant>> values)
    {
        t.Insert();
        for (const auto &[name, value] : values)
            t.FieldByName(U(name))->SetAsVariant(value);
        t.Post();
    }
    // Tries to delete the current row; returns the notice shown ("" when deleted).
    QString TryDelete(TTable &t)
    {
        TModalScript script;
        script.Press(QStringLiteral("OK"));
        try {
            t.Delete();
        } catch (const EAbort &) {
            return script.Seen().empty() ? QStringLiteral("<silent>") : script.Seen()[0].Text;
        }
        return QString();
    }

    // Columns of the balance-sum index, "" when the data set lacks it.
    QString CoverColumns()
    {
        const QStringList cols = Select(QStringLiteral("select name from pragma_index_info('Tb_Hist_Cover') order by seqno"));
        return cols.join(u',');
    }
    // How SQLite reads an account's sums before a date.
    QString SumPlan()
    {
        dm.Db.ReleaseStatements();
        TSqliteStatement st(dm.Db.Db(), QStringLiteral("explain query plan select sum(dt),sum(ct) from tb_hist "
                                                       "where id_account=1 and date_real<2 and kind=1"));
        QStringList details;
        while (st.Step())
            details << st.ColumnText(3);
        return details.join(u';');
    }

    // How SQLite reads the rows of the year by category and of the month
    // against limits (their columns, over all accounts of a currency).
    // How SQLite reads the results window's totals and opening sums of one
    // account (the amounts over the rate among them).
    QStringList ResultsPlans()
    {
        dm.Db.ReleaseStatements();
        QStringList plans;
        for (const char *query :
             {"select level1 id,sum(dt) sdt,sum(ct) sct,sum(dt/rate) sdr,sum(ct/rate) scr,sum(qdt) sdq,"
              "sum(qct) scq from tb_hist where (date_real between 43831 and 44196) and id_account=1 "
              "and kind='1' group by level1",
              "select sum(dt),sum(ct),sum(dt/rate),sum(ct/rate),sum(qdt),sum(qct) from tb_hist "
              "where date_real between 0 and 43830 and id_account=1"}) {
            TSqliteStatement st(dm.Db.Db(), QStringLiteral("explain query plan ") + QLatin1String(query));
            QStringList details;
            while (st.Step())
                details << st.ColumnText(3);
            plans << details.filter(QRegularExpression(QStringLiteral("^(SEARCH|SCAN) tb_hist"))).join(u';');
        }
        return plans;
    }
    QStringList AnalysisPlans()
    {
        dm.Db.ReleaseStatements();
        QStringList plans;
        for (const char *query :
             {"select mn,level1,level2,level3,dt,ct from tb_account a cross join tb_hist h "
              "where a.id_account=h.id_account and kind='1' and yr=2020 and a.currency='$' "
              "and h.date_real between 43831 and 44196",
              "select level1,level2,level3,kind,sum(ct),sum(dt),sum(qdt),sum(qct) from tb_account a "
              "cross join tb_hist h where a.id_account=h.id_account and a.currency='$' and yr=2020 and mn=3 "
              "and h.date_real between 43891 and 43921 group by level1,level2,level3,kind"}) {
            TSqliteStatement st(dm.Db.Db(), QStringLiteral("explain query plan ") + QLatin1String(query));
            QStringList details;
            while (st.Step())
                details << st.ColumnText(3);
            plans << details.filter(QRegularExpression(QStringLiteral("^(SEARCH|SCAN) h "))).join(u';');
        }
        return plans;
    }

    // How SQLite finds the card's history of a category of each level: by the
    // category index in date order, never by the account's rows.
    QString ItemPlans()
    {
        dm.Db.ReleaseStatements();
        QStringList plans;
        for (const char *category : {"level3=5", "level3 is null and level2=5",
                                     "level3 is null and level2 is null and level1=5"}) {
            TSqliteStatement st(dm.Db.Db(), QStringLiteral("explain query plan select * from tb_hist where "
                                                           "id_account=1 and %1 order by date_real desc")
                                                .arg(QLatin1String(category)));
            while (st.Step())
                plans << st.ColumnText(3);
        }
        return plans.join(u';');
    }

    QTemporaryDir dir;
    TTestHost host;
    TDm dm{&host};
};

// ---- template and first run --------------------------------------------------

TEST_F(ZorbDmTest, TemplateOpensWithFirstAccountAndRootCategories)
{
    ASSERT_EQ(UnpackTemplate(dir.path()), 1);
    const TOpenResult r = Open();
    EXPECT_TRUE(r.Opened);
    EXPECT_FALSE(r.PackOnClose); // the template is in the current structure
    EXPECT_FALSE(dm.Modified());
    EXPECT_EQ(Rows(dm.Tb_Account), QStringList{U("1|Мой первый счёт|$|0|!|~|~|~|Мой первый счёт = 0,00 $")});
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("C"))->AsString(), u"!"); // the current account
    EXPECT_EQ(Select(QStringLiteral("select id_itm,itm,id_ref,lev,c from tb_items order by 1")),
              (QStringList{U("-1|ПЕРЕВОД|~|0|-"), U("0|Статья расхода|~|0|-"), U("1|Статья дохода|~|0|+")}));
    for (const char *t : {"TB_Person", "Tb_Firm", "Tb_Hist"})
        EXPECT_EQ(Select(QStringLiteral("select count(*) from ") + U(t)), QStringList{QStringLiteral("0")}) << t;
    const TTableDef person = ReadTableDef(dm.Db.Db(), QStringLiteral("TB_Person"));
    EXPECT_EQ(person.Columns[size_t(person.ColumnIndex(QStringLiteral("Comment")))].Size, 200);
    // The balance sums read the index alone.
    EXPECT_EQ(CoverColumns(), U("Id_Account,Date_Real,Kind,Dt,Ct,Yr,Mn,Level1,Level2,Level3,Qdt,Qct,Rate"));
    EXPECT_TRUE(SumPlan().contains(U("COVERING INDEX Tb_Hist_Cover"))) << SumPlan().toStdString();
    // So do the results window's totals and opening sums of one account.
    for (const QString &plan : ResultsPlans())
        EXPECT_TRUE(plan.startsWith(U("SEARCH tb_hist USING COVERING INDEX Tb_Hist_Cover (Id_Account=?"))) << plan.toStdString();
    EXPECT_EQ(ItemPlans(), QStringList(3, U("SEARCH tb_hist USING INDEX Tb_Hist_Item (Id_Account=? AND Level3=?)"))
                               .join(u';'));
    // The year and month analyses read the index alone, never the rows.
    EXPECT_EQ(AnalysisPlans(),
              QStringList(2, U("SEARCH h USING COVERING INDEX Tb_Hist_Cover (Id_Account=? AND Date_Real>? AND "
                               "Date_Real<?)")));

    // Reopening finds the rows there and writes none again.
    dm.CloseDataSet();
    ASSERT_TRUE(Open().Opened);
    EXPECT_EQ(dm.Tb_Account.RecordCount(), 1);
    EXPECT_EQ(dm.Tb_Items.RecordCount(), 3);
}

TEST_F(ZorbDmTest, WorkFolderWithoutDataSetIsNotOpened)
{
    EXPECT_FALSE(Open().Opened);
    EXPECT_FALSE(QFileInfo::exists(dm.Db.FileName())); // no empty database left behind
}

TEST_F(ZorbDmTest, DamagedDataSetReportsAndPassesTheFailureOn)
{
    QFile file(dm.Db.FileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    TModalScript script;
    script.Press(QStringLiteral("OK"));
    EXPECT_THROW(Open({QString(), false, false}), EDatabaseError);
    ASSERT_EQ(script.Seen().size(), 1u);
    EXPECT_EQ(script.Seen()[0].Text, U("Ошибка открытия базы данных!\nОшибка BDE.")); // the box breaks at \r
    EXPECT_EQ(host.folderClears, 1);
}

TEST_F(ZorbDmTest, DefaultAccountAndAccountArgument)
{
    MakeFixture(dir.path());
    {
        TDatabase db;
        db.SetParams({QStringLiteral("PATH=") + dir.path()});
        db.Open();
        db.Db().Exec(QStringLiteral("update tb_account set c=null"));
    }
    ASSERT_TRUE(Open({}).Opened);
    // No default account: the first by name (Russian order) becomes it.
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("Account"))->AsString(), U("Банк Ёлка"));
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("C"))->AsString(), u"!");
    EXPECT_FALSE(dm.Modified());

    dm.CloseDataSet();
    ASSERT_TRUE(Open({U("доллары"), false}).Opened);
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger(), 3);
    dm.CloseDataSet();
    ASSERT_TRUE(Open({U("нет такого"), true}).Opened); // Acc_Def: the default account stays current
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger(), 2);
    dm.CloseDataSet();
    ASSERT_TRUE(Open({U("нет такого"), false}).Opened);
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger(), 2); // first by name
}

// ---- identifiers -------------------------------------------------------------

TEST_F(ZorbDmTest, IdentifiersOfNewRowsInEveryTable)
{
    ASSERT_EQ(UnpackTemplate(dir.path()), 1);
    ASSERT_TRUE(Open().Opened);
    Add(dm.Tb_Person, {{"Name", U("Сидоров")}});
    Add(dm.Tb_Firm, {{"Firm", U("Ромашка")}});
    Add(dm.Tb_Account, {{"Account", U("Банк")}, {"Currency", U("руб")}});
    Add(dm.Tb_Family, {{"Name", U("Аня")}});
    Add(dm.Tb_Items, {{"ITM", U("Еда")}, {"ID_REF", 0}, {"LEV", 1}});
    EXPECT_EQ(dm.Tb_Person.FieldByName(QStringLiteral("Id_Person"))->AsInteger(), 1);
    EXPECT_EQ(dm.Tb_Firm.FieldByName(QStringLiteral("Id_Firm"))->AsInteger(), 1);
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger(), 2);
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("Rest"))->AsFloat(), 0); // default expression
    EXPECT_EQ(dm.Tb_Family.FieldByName(QStringLiteral("Id_Family"))->AsInteger(), 1);
    EXPECT_EQ(dm.Tb_Family.FieldByName(QStringLiteral("Id_Person"))->AsInteger(), 1); // the current person
    EXPECT_EQ(dm.Tb_Items.FieldByName(QStringLiteral("ID_ITM"))->AsInteger(), 2);
    EXPECT_EQ(dm.Tb_Items.FieldByName(QStringLiteral("C"))->AsString(), u"-");
    EXPECT_TRUE(dm.Modified());

    // Counting goes on in memory: a deleted top row is not handed out again.
    Add(dm.Tb_Person, {{"Name", U("Яковлев")}});
    ASSERT_EQ(dm.Tb_Person.FieldByName(QStringLiteral("Id_Person"))->AsInteger(), 2);
    ASSERT_EQ(TryDelete(dm.Tb_Person), QString());
    Add(dm.Tb_Person, {{"Name", U("Юрьев")}});
    EXPECT_EQ(dm.Tb_Person.FieldByName(QStringLiteral("Id_Person"))->AsInteger(), 3);
    host.expense = false;
    Add(dm.Tb_Items, {{"ITM", U("Премия")}, {"ID_REF", 1}, {"LEV", 1}});
    EXPECT_EQ(dm.Tb_Items.FieldByName(QStringLiteral("C"))->AsString(), u"+");

    // After reopening the maximum is read again.
    dm.CloseDataSet();
    ASSERT_TRUE(Open().Opened);
    Add(dm.Tb_Person, {{"Name", U("Новый")}});
    EXPECT_EQ(dm.Tb_Person.FieldByName(QStringLiteral("Id_Person"))->AsInteger(), 4);
    Add(dm.Tb_Items, {{"ITM", U("Ещё")}, {"ID_REF", 0}, {"LEV", 1}});
    EXPECT_EQ(dm.Tb_Items.FieldByName(QStringLiteral("ID_ITM"))->AsInteger(), 4);
}

TEST_F(ZorbDmTest, CountersAreReadAgainForAnotherDataSet)
{
    OpenFixture();
    Add(dm.Tb_Firm, {{"Firm", U("Пятая")}});
    EXPECT_EQ(dm.Tb_Firm.FieldByName(QStringLiteral("Id_Firm"))->AsInteger(), 5);
    EXPECT_EQ(dm.IdCounter(2), 5);
    dm.CloseDataSet();

    QTemporaryDir other;
    ASSERT_EQ(UnpackTemplate(other.path()), 1);
    dm.Db.SetParams({QStringLiteral("PATH=") + other.path()});
    ASSERT_TRUE(Open().Opened);
    Add(dm.Tb_Firm, {{"Firm", U("Первая")}});
    EXPECT_EQ(dm.Tb_Firm.FieldByName(QStringLiteral("Id_Firm"))->AsInteger(), 1);
}

TEST_F(ZorbDmTest, IdentifierOverflowRefusesThePost)
{
    OpenFixture();
    dm.Tb_Firm.Close();
    dm.Db.Db().Exec(QStringLiteral("update tb_firm set id_firm=32767 where id_firm=4"));
    dm.Tb_Firm.Open();
    dm.Tb_Firm.Insert();
    dm.Tb_Firm.FieldByName(QStringLiteral("Firm"))->SetAsString(U("Лишняя"));
    try {
        dm.Tb_Firm.Post();
        ADD_FAILURE() << "posted past the last identifier";
    } catch (const EIntOverflow &e) {
        // The user reads it in the notice of the window that posted.
        EXPECT_TRUE(e.Message().startsWith(U("Переполнение"))) << e.Message().toStdString();
    }
    EXPECT_EQ(dm.Tb_Firm.State(), dsInsert);
    dm.Tb_Firm.Cancel();
    EXPECT_EQ(Select(QStringLiteral("select count(*) from tb_firm")), QStringList{QStringLiteral("4")});
}

// ---- table rules -------------------------------------------------------------

TEST_F(ZorbDmTest, ReferencedRowsAreNotDeleted)
{
    OpenFixture();
    const auto at = [](TTable &t, const char *key, int id) {
        EXPECT_TRUE(t.Locate(U(key), Variant(id), {}));
        return &t;
    };
    EXPECT_EQ(TryDelete(*at(dm.Tb_Person, "Id_Person", 3)), U("Есть члены семьи!"));
    EXPECT_EQ(TryDelete(*at(dm.Tb_Person, "Id_Person", 2)), U("Есть ссылки в дневнике!"));
    EXPECT_EQ(TryDelete(*at(dm.Tb_Person, "Id_Person", 1)), U("Есть связи в истории!"));
    EXPECT_EQ(TryDelete(*at(dm.Tb_Firm, "Id_Firm", 2)), U("Есть ссылки в персональном справочнике!"));
    EXPECT_EQ(TryDelete(*at(dm.Tb_Firm, "Id_Firm", 3)), U("Есть ссылки в дневнике!"));
    EXPECT_EQ(TryDelete(*at(dm.Tb_Account, "Id_Account", 2)), U("Есть связи в истории!"));
    // Only a planned transfer names this account, in Ref_Account.
    EXPECT_EQ(TryDelete(*at(dm.Tb_Account, "Id_Account", 5)), U("Есть связи в истории!"));
    EXPECT_EQ(dm.Tb_Account.State(), dsBrowse);
    EXPECT_FALSE(dm.Modified());

    EXPECT_EQ(TryDelete(*at(dm.Tb_Person, "Id_Person", 4)), QString());
    EXPECT_EQ(TryDelete(*at(dm.Tb_Firm, "Id_Firm", 4)), QString());
    EXPECT_EQ(TryDelete(*at(dm.Tb_Account, "Id_Account", 4)), QString());
    EXPECT_TRUE(dm.Modified());
    EXPECT_EQ(Select(QStringLiteral("select count(*) from tb_account")), QStringList{QStringLiteral("4")});
}

TEST_F(ZorbDmTest, BeforePostRulesOfPeopleFamilyAndDiary)
{
    OpenFixture();
    Add(dm.Tb_Person, {{"Name", U("Дятлов")}, {"Birthday", Variant::FromDate(D(1990, 11, 23))}, {"C", U("")}});
    EXPECT_EQ(dm.Tb_Person.FieldByName(QStringLiteral("Dy"))->AsInteger(), 23);
    EXPECT_EQ(dm.Tb_Person.FieldByName(QStringLiteral("Mn"))->AsInteger(), 11);
    dm.Tb_Person.Edit();
    dm.Tb_Person.FieldByName(QStringLiteral("Birthday"))->Clear();
    dm.Tb_Person.Post();
    EXPECT_TRUE(dm.Tb_Person.FieldByName(QStringLiteral("Dy"))->IsNull());
    EXPECT_TRUE(dm.Tb_Person.FieldByName(QStringLiteral("Mn"))->IsNull());

    ASSERT_TRUE(dm.Tb_Person.Locate(QStringLiteral("Id_Person"), Variant(3), {}));
    Add(dm.Tb_Family, {{"Birthday", Variant::FromDate(D(2015, 2, 9))}});
    EXPECT_EQ(Rows(dm.Tb_Family).filter(U("Потом")),
              QStringList{U("2|3|Потом запишу...|2015-02-09|~|~|9|2")});

    Add(dm.Tb_Log, {{"Note", U("Позвонить")}, {"Date_Remind", Variant::FromDate(D(2024, 7, 17))}, {"C", U("2")}});
    EXPECT_EQ(dm.Tb_Log.FieldByName(QStringLiteral("Dy"))->AsInteger(), 17);
    EXPECT_EQ(dm.Tb_Log.FieldByName(QStringLiteral("Knd"))->AsString(), U("Ежемесячно"));
    dm.Tb_Log.Insert();
    EXPECT_EQ(dm.Tb_Log.FieldByName(QStringLiteral("C"))->AsString(), u"0");
    EXPECT_EQ(dm.Tb_Log.FieldByName(QStringLiteral("Date_Remind"))->AsDateTime(), Date());
    dm.Tb_Log.Cancel();
}

TEST_F(ZorbDmTest, FamilyPostNeedsAPerson)
{
    ASSERT_EQ(UnpackTemplate(dir.path()), 1);
    ASSERT_TRUE(Open().Opened);
    dm.Tb_Family.Insert();
    dm.Tb_Family.FieldByName(QStringLiteral("Name"))->SetAsString(U("Никто"));
    EXPECT_THROW(dm.Tb_Family.Post(), EAbort);
    dm.Tb_Family.Cancel();
    EXPECT_TRUE(dm.Tb_Family.IsEmpty());
}

TEST_F(ZorbDmTest, FamilyFollowsThePersonOnThePeoplePage)
{
    OpenFixture();
    host.peoplePage = true;
    ASSERT_TRUE(dm.Tb_Person.Locate(QStringLiteral("Id_Person"), Variant(3), {}));
    EXPECT_EQ(Rows(dm.Tb_Family).size(), 1);
    ASSERT_TRUE(dm.Tb_Person.Locate(QStringLiteral("Id_Person"), Variant(1), {}));
    EXPECT_TRUE(dm.Tb_Family.IsEmpty());
    host.peoplePage = false;
    dm.Tb_Person.First();
    EXPECT_EQ(dm.Tb_Family.Filter(), QString());

    // A new person gets its identifier on posting; the family shown is then
    // that person's, so a member added next stays in view.
    host.peoplePage = true;
    Add(dm.Tb_Person, {{"Name", U("Новиков Н.")}});
    ASSERT_EQ(dm.Tb_Person.FieldByName(QStringLiteral("Id_Person"))->AsInteger(), 5);
    Add(dm.Tb_Family, {{"Name", U("Коля")}});
    EXPECT_EQ(Rows(dm.Tb_Family), QStringList{U("2|5|Коля|~|~|~|~|~")});
}

TEST_F(ZorbDmTest, CalculatedAndLookupFields)
{
    OpenFixture();
    ASSERT_TRUE(dm.Tb_Account.Locate(QStringLiteral("Id_Account"), Variant(1), {}));
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("AcRest"))->AsString(),
              U("Кошелёк = 1\u00a0500,00 руб"));
    EXPECT_EQ(host.restText, U("Кошелёк = 1\u00a0500,00 руб"));
    EXPECT_EQ(host.restColor, QColor(0, 0, 128));
    dm.Tb_Account.Edit();
    dm.Tb_Account.FieldByName(QStringLiteral("Rest"))->SetAsFloat(-12.6);
    dm.Tb_Account.Post();
    EXPECT_EQ(host.restColor, QColor(221, 0, 0));
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("Rest"))->DisplayText(), U("-12,60"));

    const auto hist = [this](const char *name) { return dm.Tb_Hist.FieldByName(U(name))->AsString(); };
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), Variant::FromDate(Stamp(1)), {}));
    EXPECT_EQ(hist("Category"), U("Статья расхода"));
    EXPECT_EQ(hist("Item"), U("Еда"));
    EXPECT_EQ(hist("Article"), U("Хлеб"));
    EXPECT_EQ(hist("Person"), U("Иванов И.И."));
    EXPECT_EQ(hist("Firm"), U("Магазин"));
    EXPECT_EQ(hist("Quant"), u"2"); // Qdt when Qct is null
    EXPECT_EQ(dm.Tb_Hist.FieldByName(QStringLiteral("Date_Real"))->DisplayText(), u"10.01.24");
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), Variant::FromDate(Stamp(9)), {}));
    EXPECT_EQ(hist("Quant"), u"3");
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), Variant::FromDate(Stamp(5)), {}));
    EXPECT_EQ(hist("Ref_Acc"), U("Доллары"));
    EXPECT_EQ(hist("Category"), U("ПЕРЕВОД"));
    EXPECT_TRUE(dm.Tb_Hist.FieldByName(QStringLiteral("Quant"))->IsNull());

    // The ledger's columns are titled, and listed in the settings, by these labels.
    QStringList labels;
    for (const char *name : {"DATE_REAL", "Category", "Item", "Article", "Dt", "Ct", "Price", "Quant", "Comment",
                             "Person", "Firm", "Ref_Acc", "Rate", "DATE_CREATE"})
        labels << dm.Tb_Hist.FieldByName(U(name))->DisplayLabel();
    EXPECT_EQ(labels.join(u'|').toStdString(), "Дата|Категория|Группа|Предмет|Приход|Расход|Цена|Кол-во|Примечание|"
                                               "Кто?|Где?|Кор.счёт|Курс|Дата записи");

    ASSERT_TRUE(dm.Tb_Person.Locate(QStringLiteral("Id_Person"), Variant(3), {}));
    EXPECT_EQ(dm.Tb_Person.FieldByName(QStringLiteral("Firm"))->AsString(), U("Аптека"));
    EXPECT_EQ(Rows(dm.Tb_Log).join(u'\n').count(U("Ежедневно")), 2);
    ASSERT_TRUE(dm.Tb_Log.Locate(QStringLiteral("Note"), Variant(U("Оплатить")), {}));
    EXPECT_EQ(dm.Tb_Log.FieldByName(QStringLiteral("Person"))->AsString(), U("Ёлкин П."));
    ASSERT_TRUE(dm.Tb_Log.Locate(QStringLiteral("Note"), Variant(U("Взнос")), {}));
    EXPECT_EQ(dm.Tb_Log.FieldByName(QStringLiteral("Firm"))->AsString(), U("Рынок"));
}

TEST_F(ZorbDmTest, NewOperationsTakeTheAccountDateAndUniqueStamps)
{
    OpenFixture();
    ASSERT_TRUE(dm.Tb_Account.Locate(QStringLiteral("Id_Account"), Variant(4), {}));
    std::set<double> stamps;
    for (int i = 0; i < 50; ++i) {
        dm.Tb_Hist.Insert();
        EXPECT_EQ(dm.Tb_Hist.FieldByName(QStringLiteral("Level1"))->AsInteger(), -10);
        dm.Tb_Hist.FieldByName(QStringLiteral("Kind"))->SetAsString(QStringLiteral("1"));
        dm.Tb_Hist.FieldByName(QStringLiteral("Ct"))->SetText(QStringLiteral("1\u00a0234,5"));
        dm.Tb_Hist.Post();
        stamps.insert(dm.Tb_Hist.FieldByName(QStringLiteral("Date_Create"))->AsDateTime());
    }
    EXPECT_EQ(stamps.size(), 50u);
    EXPECT_EQ(Select(QStringLiteral("select count(*),min(date_real),max(date_real),sum(ct) from tb_hist "
                                    "where id_account=4")),
              QStringList{U("50|2024-03-15|2024-03-15|61725")});

    double last = 0;
    for (int i = 0; i < 2000; ++i) {
        const double stamp = dm.NextStamp();
        ASSERT_GT(stamp, last);
        // Ahead of the clock by at most one millisecond per stamp issued.
        ASSERT_LT((stamp - Now()) * MSecsPerDay, 50 + i + 2);
        last = stamp;
    }
}

TEST_F(ZorbDmTest, StampsFollowTheClockAndStayUniqueWhenItStandsOrGoesBack)
{
    TFaultEnv env;
    TSysEnvScope scope(env);
    const QDate day(2024, 3, 15);
    const TDateTime t0 = EncodeDate(2024, 3, 15) + EncodeTime(10, 0, 0, 0);
    const auto msAfterT0 = [&](TDateTime stamp) { return std::llround((stamp - t0) * MSecsPerDay); };
    env.SetNow(QDateTime(day, QTime(10, 0)));
    EXPECT_EQ(msAfterT0(dm.NextStamp()), 0);
    EXPECT_EQ(msAfterT0(dm.NextStamp()), 1); // the clock stood: the next millisecond
    EXPECT_EQ(msAfterT0(dm.NextStamp()), 2);
    env.SetNow(QDateTime(day, QTime(10, 0, 1)));
    EXPECT_EQ(msAfterT0(dm.NextStamp()), 1000);
    env.SetNow(QDateTime(day, QTime(9, 0))); // the clock was set back
    EXPECT_EQ(msAfterT0(dm.NextStamp()), 1001);
}

// ---- services ----------------------------------------------------------------

TEST_F(ZorbDmTest, CategoryLevels)
{
    OpenFixture();
    int l1 = 0, l2 = 0, l3 = 0;
    EXPECT_TRUE(dm.GetCategoryLevels(11, l1, l2, l3));
    EXPECT_EQ(std::tuple(l1, l2, l3), std::tuple(0, 10, 11));
    EXPECT_TRUE(dm.GetCategoryLevels(20, l1, l2, l3));
    EXPECT_EQ(std::tuple(l1, l2, l3), std::tuple(1, 20, -100));
    EXPECT_TRUE(dm.GetCategoryLevels(1, l1, l2, l3));
    EXPECT_EQ(std::tuple(l1, l2, l3), std::tuple(1, -100, -100));
    EXPECT_FALSE(dm.GetCategoryLevels(-1, l1, l2, l3)); // the transfer category
    EXPECT_EQ(std::tuple(l1, l2, l3), std::tuple(-1, -100, -100));
    EXPECT_FALSE(dm.GetCategoryLevels(77, l1, l2, l3));
    EXPECT_EQ(std::tuple(l1, l2, l3), std::tuple(-100, -100, -100));
    EXPECT_FALSE(dm.GetCategoryLevels(40, l1, l2, l3)); // parent 99 is missing
    EXPECT_EQ(std::tuple(l1, l2, l3), std::tuple(-100, 99, 40));
}

TEST_F(ZorbDmTest, EditCategoryLimit)
{
    OpenFixture();
    TQuery source;
    source.SetDatabase(&dm.Db);
    source.SQL() = QStringList{QStringLiteral("select id_itm,c,lim,qlim from tb_items order by id_itm")};
    source.Open();
    const auto limitOf = [this](int id, const char *field) {
        return Select(QStringLiteral("select ") + U(field) + QStringLiteral(" from tb_items where id_itm=") +
                      QString::number(id))
            .value(0);
    };
    QString prompt;
    const auto edit = [&](int id, bool quantity, const QString &text, const char *button = "OK") {
        EXPECT_TRUE(source.Locate(QStringLiteral("id_itm"), Variant(id), {}));
        TModalScript script;
        script.Enter(QStringLiteral("Edit"), text, U(button));
        const bool result = dm.EditCategoryLimit(nullptr, &source, quantity);
        EXPECT_TRUE(script.Finished());
        prompt = script.Seen().empty() ? QString() : script.Seen()[0].Caption;
        return result;
    };

    EXPECT_TRUE(edit(10, false, QStringLiteral("-50")));
    EXPECT_EQ(prompt, U("Лимит денег"));
    EXPECT_EQ(limitOf(10, "lim"), u"50"); // an expense category keeps positive limits
    EXPECT_EQ(source.FieldByName(QStringLiteral("id_itm"))->AsInteger(), 10); // reopened and found again
    EXPECT_EQ(source.FieldByName(QStringLiteral("lim"))->AsFloat(), 50);
    EXPECT_TRUE(edit(30, false, QStringLiteral("-50")));
    EXPECT_EQ(limitOf(30, "lim"), u"-50");
    EXPECT_TRUE(edit(11, true, QStringLiteral("2,5")));
    EXPECT_EQ(prompt, U("Лимит количества"));
    EXPECT_EQ(limitOf(11, "qlim"), u"2.5");
    EXPECT_TRUE(edit(10, false, QString()));
    EXPECT_EQ(limitOf(10, "lim"), u"~"); // an empty entry clears the limit
    EXPECT_FALSE(edit(30, false, QStringLiteral("-50"))); // unchanged
    EXPECT_FALSE(edit(30, false, QStringLiteral("много")));
    // A number beyond the money range is refused with a notice.
    for (const char *typed : {"1e20", "-1e15"}) {
        EXPECT_TRUE(source.Locate(QStringLiteral("id_itm"), Variant(30), {}));
        TModalScript script;
        script.Enter(QStringLiteral("Edit"), QString::fromLatin1(typed), QStringLiteral("OK")).Press(QStringLiteral("OK"));
        EXPECT_FALSE(dm.EditCategoryLimit(nullptr, &source, false)) << typed;
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
        ASSERT_EQ(script.Seen().size(), 2u) << typed;
        EXPECT_EQ(script.Seen()[1].Text, MoneyRangeMessage());
    }
    EXPECT_FALSE(edit(30, false, QStringLiteral("5"), "Cancel"));
    EXPECT_EQ(limitOf(30, "lim"), u"-50");
    source.Close();
    EXPECT_FALSE(dm.EditCategoryLimit(nullptr, &source, false));
}

TEST_F(ZorbDmTest, EditCategoryLimitPrompts)
{
    OpenFixture();
    TQuery source;
    source.SetDatabase(&dm.Db);
    source.SQL() = QStringList{QStringLiteral("select id_itm,c,lim,qlim from tb_items order by id_itm")};
    source.Open();
    const auto promptFor = [&](int id) {
        source.Locate(QStringLiteral("id_itm"), Variant(id), {});
        TModalScript script;
        QString text;
        script.Then([&](TForm &f) {
            text = FindControl<QLabel>(f, QStringLiteral("Prompt"))->text();
            f.SetModalResult(mrCancel);
        });
        dm.EditCategoryLimit(nullptr, &source, false);
        return text;
    };
    EXPECT_EQ(promptFor(30), U("Ввод числа (+ приход, - расход) или Очистка"));
    EXPECT_EQ(promptFor(20), U("Введите положительное число"));
    EXPECT_EQ(promptFor(1), U("Введите положительное число"));
    EXPECT_EQ(promptFor(12), U("Введите положительное число"));
}

TEST_F(ZorbDmTest, SumPacketKeepsTheCurrentRow)
{
    OpenFixture();
    int count = -1;
    EXPECT_EQ(dm.SumPacket(count), 0);
    EXPECT_EQ(count, 0);
    dm.Qgrp.Open();
    ASSERT_TRUE(dm.Qgrp.Locate(QStringLiteral("id_itm"), Variant(12), {}));
    EXPECT_DOUBLE_EQ(dm.SumPacket(count), 210); // Еда 100 + Молоко 80 + Разное 30; Хлеб is left out
    EXPECT_EQ(count, 3);
    EXPECT_EQ(dm.Qgrp.FieldByName(QStringLiteral("id_itm"))->AsInteger(), 12);

    // The packet query edits rows but never adds or removes them.
    dm.Qgrp.Edit();
    dm.Qgrp.FieldByName(QStringLiteral("Sm"))->SetAsFloat(0.1);
    dm.Qgrp.Post();
    EXPECT_EQ(host.packetPosts, 1);
    EXPECT_TRUE(dm.Modified());
    EXPECT_DOUBLE_EQ(dm.SumPacket(count), 130.1);
    EXPECT_THROW(dm.Qgrp.Insert(), EAbort);
    EXPECT_THROW(dm.Qgrp.Delete(), EAbort);
    EXPECT_EQ(Select(QStringLiteral("select sm from tb_items where id_itm=12")), QStringList{U("0.1")});
}

TEST_F(ZorbDmTest, MenuStatesFollowTheLedger)
{
    OpenFixture();
    host.view.ExpenseTreeHasNodes = true;
    ASSERT_TRUE(dm.Tb_Account.Locate(QStringLiteral("Id_Account"), Variant(3), {}));
    dm.Tb_Hist.SetRange({3}, {3});
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), Variant::FromDate(Stamp(5)), {}));
    EXPECT_GT(host.menuUpdates, 0);
    EXPECT_TRUE(host.datePanel);
    // The receiving leg of a transfer.
    EXPECT_FALSE(host.state.mMoneyDelete);
    EXPECT_FALSE(host.state.mMoneyEdit);
    EXPECT_TRUE(host.state.mpSetMark);
    EXPECT_FALSE(host.state.mpMoneyCopy);
    EXPECT_TRUE(host.state.mMoneyNew);
    EXPECT_TRUE(host.state.mFind && host.state.mSave && host.state.ButResultVisible && host.state.ButAcc);

    dm.Tb_Hist.SetRange({1}, {1});
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), Variant::FromDate(Stamp(4)), {}));
    EXPECT_TRUE(host.state.mMoneyDelete && host.state.mMoneyEdit && host.state.mpMoneyCopy);
    EXPECT_TRUE(host.state.mUpdate); // planned and due
    dm.Tb_Hist.Edit();
    EXPECT_FALSE(host.datePanel);
    dm.Tb_Hist.Cancel();
    EXPECT_TRUE(host.datePanel);
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), Variant::FromDate(Stamp(8)), {}));
    EXPECT_FALSE(host.state.mUpdate); // planned for 2030
    EXPECT_FALSE(host.state.mpMoneyCopy); // a transfer
    host.view.LedgerVisible = false;
    ASSERT_TRUE(dm.Tb_Hist.Locate(QStringLiteral("Date_Create"), Variant::FromDate(Stamp(4)), {}));
    EXPECT_FALSE(host.state.mUpdate);
    EXPECT_FALSE(host.state.mMoneyEdit);

    dm.CloseDataSet();
    dm.UpdateMenus();
    EXPECT_FALSE(host.state.mMoney || host.state.mSave || host.state.mCategory || host.state.PmHist);
}

// ---- upgrade -----------------------------------------------------------------

TEST_F(ZorbDmTest, OldStructureIsUpgraded)
{
    MakeOldDataSet(dir.path());
    const TOpenResult r = Open();
    ASSERT_TRUE(r.Opened);
    EXPECT_TRUE(r.PackOnClose); // comments were widened
    EXPECT_TRUE(dm.Modified());

    const auto width = [this](const char *table, const char *field) {
        const TTableDef def = ReadTableDef(dm.Db.Db(), U(table));
        const int i = def.ColumnIndex(U(field));
        return i < 0 ? -1 : def.Columns[size_t(i)].Size;
    };
    EXPECT_EQ(width("TB_Person", "Comment"), 200);
    EXPECT_EQ(width("Tb_Firm", "Comment"), 200);
    EXPECT_EQ(width("Tb_Hist", "Comment"), 200);
    EXPECT_EQ(width("Tb_Items", "Comm"), 200);
    EXPECT_EQ(width("TB_Person", "Note"), 200);
    EXPECT_EQ(width("Tb_Items", "Grp"), 10);
    EXPECT_EQ(width("Tb_Hist", "B"), 1);
    for (const auto &[table, field] : {std::pair{"Tb_Account", "Beg"}, {"Tb_Hist", "Mn"},
                                       {"Tb_Items", "Dte"}, {"Tb_Items", "Lim"}, {"Tb_Items", "QLim"}})
        EXPECT_EQ(width(table, field), 0) << table << '.' << field;

    // Rows survive; Yr and Mn are filled; the default mark was reset and set again.
    EXPECT_EQ(Select(QStringLiteral("select yr,mn,ct,comment from tb_hist")), QStringList{U("2019|5|10|~")});
    EXPECT_EQ(Select(QStringLiteral("select comment from tb_person")), QStringList{U("Старый комментарий")});
    EXPECT_EQ(Select(QStringLiteral("select comment from tb_firm")), QStringList{U("Комментарий фирмы")});
    EXPECT_EQ(dm.Tb_Account.FieldByName(QStringLiteral("C"))->AsString(), u"!");
    EXPECT_EQ(dm.Tb_Items.RecordCount(), 4); // no first-run categories in a used data set
    // The old file gained the balance-sum index, and rebuilding Tb_Hist for the
    // wider comment kept it.
    EXPECT_EQ(CoverColumns(), U("Id_Account,Date_Real,Kind,Dt,Ct,Yr,Mn,Level1,Level2,Level3,Qdt,Qct,Rate"));
    EXPECT_TRUE(SumPlan().contains(U("COVERING INDEX Tb_Hist_Cover"))) << SumPlan().toStdString();
    EXPECT_EQ(ItemPlans(), QStringList(3, U("SEARCH tb_hist USING INDEX Tb_Hist_Item (Id_Account=? AND Level3=?)"))
                               .join(u';'));

    // The upgraded data set opens as a current one.
    dm.CloseDataSet();
    const TOpenResult again = Open();
    EXPECT_TRUE(again.Opened);
    EXPECT_FALSE(again.PackOnClose);
    EXPECT_FALSE(dm.Modified());
}

TEST_F(ZorbDmTest, TheSumsIndexOfEarlierVersionsIsReplacedKeepingTheRows)
{
    OpenFixture();
    const QStringList rows = Select(QStringLiteral("select * from tb_hist order by rowid"));
    ASSERT_FALSE(rows.isEmpty());
    // The index as earlier versions made it: over the first five columns,
    // then without the rate.
    for (const char *older : {"Id_Account,Date_Real,Kind,Dt,Ct",
                              "Id_Account,Date_Real,Kind,Dt,Ct,Yr,Mn,Level1,Level2,Level3,Qdt,Qct"}) {
        SCOPED_TRACE(older);
        dm.CloseDataSet();
        {
            TDatabase db;
            db.SetParams({QStringLiteral("PATH=") + dir.path()});
            db.Open();
            db.Db().Exec(QStringLiteral("drop index Tb_Hist_Cover; create index Tb_Hist_Cover on Tb_Hist (") +
                         QLatin1String(older) + u')');
        }
        ASSERT_TRUE(Open().Opened);
        // The main window saves a data set whose indexes were made: a file
        // only read would build them again at every opening.
        EXPECT_TRUE(dm.IndexesMade());
        EXPECT_EQ(CoverColumns(), U("Id_Account,Date_Real,Kind,Dt,Ct,Yr,Mn,Level1,Level2,Level3,Qdt,Qct,Rate"));
        EXPECT_EQ(AnalysisPlans(),
                  QStringList(2, U("SEARCH h USING COVERING INDEX Tb_Hist_Cover (Id_Account=? AND Date_Real>? AND "
                                   "Date_Real<?)")));
        EXPECT_EQ(ResultsPlans(),
                  (QStringList{U("SEARCH tb_hist USING COVERING INDEX Tb_Hist_Cover (Id_Account=? AND Date_Real>? "
                                 "AND Date_Real<?)"),
                               U("SEARCH tb_hist USING COVERING INDEX Tb_Hist_Cover (Id_Account=? AND Date_Real>? "
                                 "AND Date_Real<?)")}));
        EXPECT_EQ(Select(QStringLiteral("select * from tb_hist order by rowid")), rows);
        EXPECT_EQ(Select(QStringLiteral("pragma integrity_check")), QStringList{QStringLiteral("ok")});
    }

    // With every index in place, opening changes nothing.
    dm.CloseDataSet();
    const TOpenResult current = Open();
    ASSERT_TRUE(current.Opened);
    EXPECT_FALSE(dm.IndexesMade());
    EXPECT_FALSE(dm.Modified());

    // A file that lacks one of the other indexes gains it the same way.
    dm.CloseDataSet();
    {
        TDatabase db;
        db.SetParams({QStringLiteral("PATH=") + dir.path()});
        db.Open();
        db.Db().Exec(QStringLiteral("drop index Tb_Hist_Date"));
    }
    const TOpenResult dated = Open();
    ASSERT_TRUE(dated.Opened);
    EXPECT_TRUE(dm.IndexesMade());
    EXPECT_EQ(Select(QStringLiteral("select count(*) from sqlite_master where name = 'Tb_Hist_Date'")),
              QStringList{QStringLiteral("1")});
}

TEST_F(ZorbDmTest, WidenTextFieldKeepsRowsAndReportsNoChange)
{
    OpenFixture();
    const auto message = [](const std::function<void()> &f) {
        try {
            f();
        } catch (const EDatabaseError &e) {
            return e.Message();
        }
        return QString();
    };
    EXPECT_EQ(message([this] { WidenTextField(dm.Tb_Family, QStringLiteral("Comment"), 50); }), U("Ничего не сделано"));
    EXPECT_EQ(message([this] { WidenTextField(dm.Tb_Family, QStringLiteral("Dy"), 80); }), U("Поле не найдено"));
    EXPECT_TRUE(WidenTextField(dm.Tb_Family, QStringLiteral("comment"), 80));
    EXPECT_TRUE(dm.Tb_Family.Active());
    EXPECT_EQ(Rows(dm.Tb_Family), QStringList{U("1|3|Петя|2010-06-01|~|~|1|6")});
    EXPECT_EQ(ReadTableDef(dm.Db.Db(), QStringLiteral("TB_Family")).Columns[4].Size, 80);
}

// ---- fixed queries -------------------------------------------------------------

TEST_F(ZorbDmTest, TotalsQueries)
{
    OpenFixture();
    const auto period = [](TQuery &q, int acc, TDateTime d1, TDateTime d2) {
        q.Close();
        q.ParamByName(QStringLiteral("id_account"))->SetAsInteger(acc);
        q.ParamByName(QStringLiteral("d1"))->SetAsDate(d1);
        q.ParamByName(QStringLiteral("d2"))->SetAsDate(d2);
        q.Open();
        return Rows(q);
    };
    EXPECT_EQ(period(dm.Qsum, 1, D(2024, 1, 1), D(2024, 2, 29)), QStringList{U("5000|1280")});
    EXPECT_EQ(period(dm.Qplan, 1, D(2024, 1, 1), D(2030, 12, 31)), QStringList{U("~|1100")});

    dm.Qcalc.ParamByName(QStringLiteral("acc"))->SetAsInteger(1);
    dm.Qcalc.ParamByName(QStringLiteral("d1"))->SetAsDate(D(2024, 1, 1));
    dm.Qcalc.ParamByName(QStringLiteral("d2"))->SetAsDate(D(2024, 12, 31));
    dm.Qcalc.Open();
    EXPECT_EQ(Rows(dm.Qcalc), QStringList{U("~|250")});

    dm.QAccSum.Open();
    // The realised rows by account, which the purge adds up in units.
    const auto sorted = [](QStringList rows) { rows.sort(); return rows; };
    EXPECT_EQ(sorted(Rows(dm.QAccSum)), (QStringList{U("1|5000|~"), U("1|~|100"), U("1|~|250"), U("1|~|30"),
                                                     U("1|~|900"), U("2|20000|~"), U("3|10|~")}));
    dm.QAccBeg.ParamByName(QStringLiteral("dt"))->SetAsDate(D(2024, 1, 12));
    dm.QAccBeg.Open();
    EXPECT_EQ(sorted(Rows(dm.QAccBeg)), (QStringList{U("1|~|100"), U("1|~|30"), U("2|20000|~")}));

    dm.QDayRate.ParamByName(QStringLiteral("a"))->SetAsInteger(1);
    dm.QDayRate.ParamByName(QStringLiteral("d"))->SetAsDate(D(2024, 1, 10));
    dm.QDayRate.Open();
    EXPECT_EQ(Rows(dm.QDayRate), QStringList{U("2")});

    dm.QItmOne.Open();
    EXPECT_EQ(Rows(dm.QItmOne), QStringList{U("~|~|~|~")});
    dm.QItmOne.Close();
    dm.QItmOne.SQL()[2] = QStringLiteral("and yr=2024");
    dm.QItmOne.Open();
    EXPECT_EQ(Rows(dm.QItmOne), QStringList{U("5010|1280|2|3")});

    dm.Qacn.Open();
    EXPECT_EQ(Rows(dm.Qacn), (QStringList{U("$|1|90|~|300|3.33333333333"), U("EUR|1|100|~|0|0"),
                                          U("руб|3|1|1000|21500|21500")}));
}

TEST_F(ZorbDmTest, TransferPeopleAndReminderQueries)
{
    OpenFixture();
    dm.Qtrans.ParamByName(QStringLiteral("ref_account"))->SetAsInteger(3);
    dm.Qtrans.ParamByName(QStringLiteral("date_create"))->SetAsDateTime(Stamp(5));
    dm.Qtrans.Open();
    EXPECT_EQ(Rows(dm.Qtrans), QStringList{U("10")});
    dm.Qtrans.Edit(); // a live result writes back
    dm.Qtrans.FieldByName(QStringLiteral("Dt"))->SetAsFloat(11);
    dm.Qtrans.Post();
    EXPECT_EQ(Select(QStringLiteral("select dt from tb_hist where id_account=3")), QStringList{U("11")});

    ASSERT_TRUE(dm.Tb_Firm.Locate(QStringLiteral("Id_Firm"), Variant(1), {}));
    dm.QPers_Firm.Open();
    EXPECT_EQ(Rows(dm.QPers_Firm), (QStringList{U("1|Иванов И.И.|111|~|1980-03-05|~|~"), U("2|Ёлкин П.|~|~|~|~|~")}));
    ASSERT_TRUE(dm.Tb_Firm.Locate(QStringLiteral("Id_Firm"), Variant(2), {}));
    EXPECT_EQ(Rows(dm.QPers_Firm), QStringList{U("3|Андреев А.|~|ул. Ленина|1975-03-05|~|~")});

    dm.Qrem_pers.Open();
    EXPECT_EQ(Rows(dm.Qrem_pers), (QStringList{U("1975-03-05|Андреев А.|~|ул. Ленина|~|~|3|2"),
                                               U("1980-03-05|Иванов И.И.|111|~|~|~|1|1")}));
    dm.Qrem_fam.Open();
    EXPECT_EQ(Rows(dm.Qrem_fam), QStringList{U("2010-06-01|Петя|~|1|3")});
    dm.Qrem_log.ParamByName(QStringLiteral("date_now"))->SetAsDate(D(2024, 2, 1));
    dm.Qrem_log.ParamByName(QStringLiteral("d"))->SetAsInteger(10);
    dm.Qrem_log.Open();
    QStringList due = Rows(dm.Qrem_log);
    due.replaceInStrings(QRegularExpression(QStringLiteral("\\|[0-9.]+\\|")), QStringLiteral("|s|"));
    EXPECT_EQ(due,
              (QStringList{U("2024-01-05|Оплатить|s|2|~"), U("2024-02-10|Взнос|s|~|3")}));
}

TEST_F(ZorbDmTest, CategoryAndSearchQueries)
{
    OpenFixture();
    dm.Qtv.Open();
    QStringList tree;
    for (const QString &row : Rows(dm.Qtv))
        tree << row.section(u'|', 0, 5);
    EXPECT_EQ(tree, (QStringList{U("ПЕРЕВОД|~|~|-1|~|~"), U("Статья дохода|Зарплата|~|1|20|~"),
                                 U("Статья расхода|Еда|Молоко|0|10|12"), U("Статья расхода|Еда|Хлеб|0|10|11"),
                                 U("Статья расхода|Разное|~|0|30|~")}));

    dm.Qgrp.Open();
    QStringList packet;
    for (dm.Qgrp.First(); !dm.Qgrp.Eof(); dm.Qgrp.Next())
        packet << dm.Qgrp.FieldByName(QStringLiteral("ITM"))->AsString();
    packet.sort();
    EXPECT_EQ(packet, (QStringList{U("Еда"), U("Молоко"), U("Разное"), U("Хлеб")}));

    dm.Qdup.ParamByName(QStringLiteral("id"))->SetAsInteger(10);
    dm.Qdup.Open();
    EXPECT_EQ(Rows(dm.Qdup).size(), 8);
    EXPECT_FALSE(Rows(dm.Qdup).contains(U("Еда")));

    const auto find = [](TQuery &q, const char *param, const QString &value) {
        q.Close();
        q.ParamByName(QStringLiteral("id"))->SetAsInteger(1);
        q.ParamByName(QStringLiteral("d1"))->SetAsDate(D(2024, 1, 1));
        q.ParamByName(QStringLiteral("d2"))->SetAsDate(D(2024, 12, 31));
        q.ParamByName(U(param))->SetAsString(value);
        q.Open();
        QStringList stamps;
        for (q.First(); !q.Eof(); q.Next())
            stamps << QString::number(q.Fields()[2]->AsDateTime(), 'f', 6);
        return stamps;
    };
    const auto stamps = [](std::initializer_list<int> ns) {
        QStringList s;
        for (int n : ns)
            s << QString::number(Stamp(n), 'f', 6);
        return s;
    };
    EXPECT_EQ(find(dm.QFind, "p", U("%леб%")), stamps({1}));          // LIKE keeps case
    EXPECT_EQ(find(dm.QFind, "p", U("%Молоко%")), stamps({3}));
    EXPECT_EQ(find(dm.QcomFind, "com", U("хлеб")), stamps({9}));      // lower() folds Cyrillic
}

TEST_F(ZorbDmTest, UpdateQueries)
{
    OpenFixture();
    dm.Tb_Account.Close();
    dm.QRate.ParamByName(QStringLiteral("Rate"))->SetAsFloat(2.5);
    dm.QRate.ParamByName(QStringLiteral("Currency"))->SetAsString(U("руб"));
    dm.QRate.ExecSQL();
    EXPECT_EQ(dm.QRate.RowsAffected(), 3);
    EXPECT_EQ(Select(QStringLiteral("select id_account from tb_account where rate=2.5 order by 1")),
              (QStringList{U("1"), U("2"), U("5")}));

    dm.Tb_Hist.Close();
    dm.QdelHist.ParamByName(QStringLiteral("dt"))->SetAsDate(D(2024, 1, 1));
    dm.QdelHist.ExecSQL();
    EXPECT_EQ(dm.QdelHist.RowsAffected(), 1);
    EXPECT_EQ(Select(QStringLiteral("select count(*) from tb_hist")), QStringList{U("8")});

    dm.Db.Db().Exec(QStringLiteral("update tb_hist set yr=null, mn=null"));
    dm.Qmn.ExecSQL();
    EXPECT_EQ(Select(QStringLiteral("select distinct yr*100+mn from tb_hist order by 1")),
              (QStringList{U("202401"), U("202402"), U("203001")}));
}

TEST_F(ZorbDmTest, UpgradeStatementsAreWrittenInTheOldDialect)
{
    EXPECT_EQ(dm.Qitm3.SQL().join(u'\n'),
              U("ALTER TABLE \"Tb_Items.db\" \n"
                "ADD \"Tb_Items.db\".\"Id_Prs\" Smallint,\n"
                "ADD \"Tb_Items.db\".\"Id_Frm\" Smallint,\n"
                "ADD \"Tb_Items.db\".\"Comm\" VARCHAR(50),\n"
                "ADD \"Tb_Items.db\".\"Grp\" VARCHAR(10),\n"
                "ADD \"Tb_Items.db\".\"Lim\" NUMERIC"));
    EXPECT_FALSE(dm.Qitm3.ParamCheck());
    EXPECT_TRUE(dm.Qhist21.ParamCheck());
    EXPECT_EQ(dm.Qacn.SQL().value(0), U("Select Currency,count(*) as Cnt,avg(rate) as Rte, sum(Beg) Bg,sum(rest)  Rst,"));
}

} // namespace
} // namespace zorbel::test
