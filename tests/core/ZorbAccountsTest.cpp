// The accounts book's and the rates' rules on the Cyrillic fixture, without
// a window: totals, the account dialog's effect, deletion, marks, currency
// sums and renaming, rates by hand and from a text file.
#include "ZorbFixtureSet.h"
#include "platform/rtl/StrUtils.h"

#include "core/ZorbAccounts.h"
#include "core/ZorbDm.h"
#include "core/ZorbRates.h"
#include "platform/sqltable/Sqlite.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

class TNoticeLog : public TDmHost {
public:
    void Notice(const QString &Text) override { notices << Text; }
    QStringList notices;
};

class ZorbAccountsTest : public TFixtureSet<TNoticeLog> {
protected:
    void Exec(const QString &text)
    {
        dm.Db.ReleaseStatements();
        dm.Db.Db().Exec(text);
        dm.Tb_Account.Refresh();
    }
    void Go(int id) { ASSERT_TRUE(dm.Tb_Account.Locate(QStringLiteral("Id_Account"), Variant(id), {})); }
    TField *F(const char *name) { return dm.Tb_Account.FieldByName(U(name)); }
    // Id, rest, rate and marks of every account.
    QStringList Accounts() { return Select(QStringLiteral("select id_account,rest,rate,c,a from tb_account order by 1")); }
};

TEST(AccountEntry, MessagesPointAtTheField)
{
    TAccountField f = TAccountField::None;
    EXPECT_EQ(CheckAccountEntry(U(" "), U("руб"), U("1"), f), U("Не указано наименование счёта!"));
    EXPECT_EQ(f, TAccountField::Name);
    EXPECT_EQ(CheckAccountEntry(U("Кошелёк"), U(""), U("1"), f), U("Не указана валюта!"));
    EXPECT_EQ(f, TAccountField::Currency);
    for (const char *bad : {"0", "-3", "abc", "0,0"}) {
        EXPECT_EQ(CheckAccountEntry(U("Кошелёк"), U("руб"), U(bad), f), U("Надо указать положительное число!")) << bad;
        EXPECT_EQ(f, TAccountField::Rate);
    }
    for (const char *good : {"", "90,5", "90.5"}) {
        EXPECT_EQ(CheckAccountEntry(U("Кошелёк"), U("руб"), U(good), f), QString()) << good;
        EXPECT_EQ(f, TAccountField::None);
    }
}

TEST(Rates, ReadRateTakesEitherSeparatorAndRefusesNonPositive)
{
    double r = 0;
    ASSERT_TRUE(ReadRate(U(" 95.50 "), r));
    EXPECT_DOUBLE_EQ(r, 95.5);
    ASSERT_TRUE(ReadRate(U("95,50"), r));
    EXPECT_DOUBLE_EQ(r, 95.5);
    for (const char *bad : {"", "0", "-1", "0.0", "1e999", "9,5,1", "x"})
        EXPECT_FALSE(ReadRate(U(bad), r)) << bad;
    EXPECT_EQ(AccountCountText(1), U("1 счёт "));
    EXPECT_EQ(AccountCountText(3), U("3 счёта "));
    EXPECT_EQ(AccountCountText(5), U("5 счетов "));
    EXPECT_EQ(AccountCountText(0), U("0 счетов "));
    EXPECT_EQ(AccountCountText(11), U("11 счетов "));
    EXPECT_EQ(AccountCountText(21), U("21 счёт "));
    EXPECT_EQ(AccountCountText(22), U("22 счёта "));
}

TEST(Rates, RateLines)
{
    TDayRate d;
    ASSERT_TRUE(ParseRateLine(U("  15.01.2024;95,50 "), d));
    EXPECT_EQ(d.Date, D(2024, 1, 15));
    EXPECT_DOUBLE_EQ(d.Rate, 95.5);
    // The other decimal separator is read whole, not cut to "50".
    ASSERT_TRUE(ParseRateLine(U("15.01.2024;95.50"), d));
    EXPECT_DOUBLE_EQ(d.Rate, 95.5);
    // Anything between the date and the rate is ignored.
    ASSERT_TRUE(ParseRateLine(U("16.01.2024 USD за 1: 96"), d));
    EXPECT_EQ(d.Date, D(2024, 1, 16));
    EXPECT_DOUBLE_EQ(d.Rate, 96);
    for (const char *skip : {"", "   ", "15.01.2024", "Дата;Курс", "Date;Rate", "15.01.2024;", "15.01.2024;96 руб",
                             "15.01.2024;-96", "15.01.2024;0", "99.99.2024;96", ";96", "15.01.2024;abc"})
        EXPECT_FALSE(ParseRateLine(U(skip), d)) << skip;
}

TEST_F(ZorbAccountsTest, TotalsByCurrencyAndWithoutARate)
{
    // руб 1500 + 20000 + 0, $ 300 at 90, EUR 0 at 100: several currencies.
    Go(1);
    TAccountTotals t = RefreshAccountTotals(dm, false);
    EXPECT_EQ(t.Count, 5);
    EXPECT_EQ(t.GroupCount, 1); // account 2
    EXPECT_TRUE(t.SeveralCurrencies);
    EXPECT_TRUE(t.AllRatesKnown);
    EXPECT_EQ(t.RestSum, 21800 * 10000LL);
    EXPECT_EQ(t.YeSum, 21503'3333LL);
    EXPECT_EQ(t.Caption, U("21\u00A0503,33 y.e.  "));
    EXPECT_EQ(F("Id_Account")->AsInteger(), 1); // the current row stays

    // An account without a rate empties the panel.
    Exec(QStringLiteral("update tb_account set rate=null where id_account=4"));
    Go(1);
    EXPECT_EQ(RefreshAccountTotals(dm, false).Caption, QString());

    // One currency: the sum with the currency's first three letters.
    Exec(U("update tb_account set currency='рубли', a='+' where id_account in (1,2)"));
    Exec(QStringLiteral("delete from tb_account where id_account in (3,4,5)"));
    Go(2);
    t = RefreshAccountTotals(dm, false);
    EXPECT_FALSE(t.SeveralCurrencies);
    EXPECT_EQ(t.GroupCount, 2);
    EXPECT_EQ(t.Caption, U("21\u00A0500,00 руб   / 21\u00A0500,00 y.e.  "));
}

TEST_F(ZorbAccountsTest, FirstAccountBecomesDefault)
{
    Exec(QStringLiteral("delete from tb_hist"));
    Exec(QStringLiteral("delete from tb_account"));
    TAccountEdit e = BeginAccountEdit(dm, true);
    EXPECT_TRUE(e.FirstAccount);
    EXPECT_TRUE(e.Default); // ticked, and the window keeps it so
    F("Account")->SetAsString(U("Наличные"));
    F("Currency")->SetAsString(U("руб"));
    F("Beg")->SetAsFloat(250.5);
    FinishAccountEdit(dm, e, false, true);
    EXPECT_EQ(Select(QStringLiteral("select account,rest,c,a from tb_account")), QStringList{U("Наличные|250.5|!|+")});

    // A second account is not the default unless asked; the first stays.
    e = BeginAccountEdit(dm, true);
    EXPECT_FALSE(e.Default);
    F("Account")->SetAsString(U("Карта"));
    F("Currency")->SetAsString(U("руб"));
    FinishAccountEdit(dm, e, false, false);
    EXPECT_EQ(Select(QStringLiteral("select account,c from tb_account order by 1")),
              (QStringList{U("Карта|~"), U("Наличные|!")}));
    // Editing the default account cannot take its mark away.
    ASSERT_TRUE(dm.Tb_Account.Locate(QStringLiteral("Account"), Variant(U("Наличные")), {}));
    e = BeginAccountEdit(dm, false);
    FinishAccountEdit(dm, e, false, false);
    EXPECT_EQ(Select(QStringLiteral("select c from tb_account where account='Наличные'")), QStringList{U("!")});
}

TEST_F(ZorbAccountsTest, OpeningAmountMovesTheStoredBalance)
{
    Go(1); // rest 1500, beg 1000
    TAccountEdit e = BeginAccountEdit(dm, false);
    EXPECT_EQ(e.KeptRest, 1500 * 10000LL);
    F("Beg")->SetAsFloat(1100);
    FinishAccountEdit(dm, e, true, false);
    EXPECT_EQ(Select(QStringLiteral("select rest from tb_account where id_account=1")), QStringList{U("1600")});
    Go(1);
    e = BeginAccountEdit(dm, false);
    F("Beg")->Clear();
    FinishAccountEdit(dm, e, true, false);
    EXPECT_EQ(Select(QStringLiteral("select rest from tb_account where id_account=1")), QStringList{U("500")});
    // The operations are not touched.
    EXPECT_EQ(Select(QStringLiteral("select count(*),sum(ct) from tb_hist where id_account=1")),
              QStringList{U("7|2380")});
}

TEST_F(ZorbAccountsTest, EditedAccountSharesItsRateAndDefaultMark)
{
    Exec(QStringLiteral("update tb_account set rate=3 where id_account=5"));
    Go(2);
    TAccountEdit e = BeginAccountEdit(dm, false);
    F("Rate")->SetAsFloat(2);
    FinishAccountEdit(dm, e, true, false);
    // Every руб account takes 2; $ and EUR keep theirs; the default moved to 2.
    EXPECT_EQ(Accounts(), (QStringList{U("1|1500|2|~|~"), U("2|20000|2|!|~"), U("3|300|90|~|~"),
                                       U("4|0|100|~|~"), U("5|0|2|~|~")}));
    // A cancelled dialog still gives the account's rate to its currency.
    Exec(QStringLiteral("update tb_account set rate=7 where id_account=1"));
    Go(5);
    BeginAccountEdit(dm, false);
    F("Rate")->SetAsFloat(55); // typed, then cancelled
    CancelAccountEdit(dm);
    EXPECT_EQ(Select(QStringLiteral("select rate from tb_account where currency='руб' order by id_account")),
              (QStringList{U("2"), U("2"), U("2")}));
}

TEST_F(ZorbAccountsTest, DeletionRules)
{
    std::vector<QString> asked;
    bool answer = false;
    const auto confirm = [&](const QString &text) {
        asked.push_back(text);
        return answer;
    };
    Go(1);
    EXPECT_FALSE(DeleteAccount(dm, confirm));
    EXPECT_EQ(host.notices.value(0), U("Нельзя удалить счёт по умолчанию!"));
    Go(3); // one transfer
    EXPECT_FALSE(DeleteAccount(dm, confirm));
    EXPECT_EQ(host.notices.value(1), U("Надо сначала удалить 1  запись со статьёй  \"ПЕРЕВОД\" !"));
    EXPECT_TRUE(asked.empty());

    Go(2); // one ordinary operation: asked, and refused
    EXPECT_FALSE(DeleteAccount(dm, confirm));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], U("1 запись по данному счёту будет удалена! Вы уверены ?"));
    EXPECT_EQ(Select(QStringLiteral("select count(*) from tb_hist where id_account=2")), QStringList{U("1")});
    answer = true;
    Go(2);
    EXPECT_TRUE(DeleteAccount(dm, confirm));
    EXPECT_EQ(Select(QStringLiteral("select count(*) from tb_hist where id_account=2")), QStringList{U("0")});
    Go(4); // no operations: deleted without a question
    EXPECT_TRUE(DeleteAccount(dm, confirm));
    EXPECT_EQ(asked.size(), 2u);
    // A planned transfer names account 5: the module's own check refuses, and
    // nothing of the step is left behind.
    Go(5);
    EXPECT_FALSE(DeleteAccount(dm, confirm));
    EXPECT_EQ(host.notices.value(2), U("Есть связи в истории!"));
    EXPECT_EQ(Select(QStringLiteral("select id_account from tb_account order by 1")),
              (QStringList{U("1"), U("3"), U("5")}));
    EXPECT_EQ(Select(QStringLiteral("select count(*) from tb_hist")), QStringList{U("8")});
}

TEST_F(ZorbAccountsTest, DefaultAndGroupMarks)
{
    Go(4);
    MakeDefaultAccount(dm);
    EXPECT_EQ(F("Id_Account")->AsInteger(), 4);
    EXPECT_EQ(Select(QStringLiteral("select id_account from tb_account where c='!'")), QStringList{U("4")});
    ToggleGroupAccount(dm);
    Go(3);
    ToggleGroupAccount(dm);
    EXPECT_EQ(Select(QStringLiteral("select id_account from tb_account where a='+' order by 1")),
              (QStringList{U("2"), U("3"), U("4")}));
    ToggleGroupAccount(dm);
    EXPECT_EQ(Select(QStringLiteral("select id_account from tb_account where a='+' order by 1")),
              (QStringList{U("2"), U("4")}));
    // A stray mark is cleared by the totals walk.
    Exec(QStringLiteral("update tb_account set c='x' where id_account=2"));
    Go(1);
    RefreshAccountTotals(dm, false);
    EXPECT_EQ(Select(QStringLiteral("select count(*) from tb_account where c is not null")), QStringList{U("1")});
}

TEST_F(ZorbAccountsTest, CurrencySumsAndRename)
{
    // ye: руб 21500 / avg rate 1, $ 300/90, EUR 0.
    EXPECT_EQ(OpenCurrencySums(dm, false), 21503'3333LL);
    EXPECT_EQ(dm.Qacn.RecordCount(), 3);
    Exec(QStringLiteral("update tb_account set a='+' where id_account in (2,3)"));
    EXPECT_EQ(OpenCurrencySums(dm, true), 20003'3333LL);
    EXPECT_EQ(dm.Qacn.RecordCount(), 2);

    // Onto an existing currency: refused, nothing changes.
    EXPECT_FALSE(RenameCurrency(dm, U("руб"), U("$")));
    EXPECT_EQ(host.notices, QStringList{U("Уже есть такая валюта!")});
    // A name with a quote renames every account of the currency.
    EXPECT_TRUE(RenameCurrency(dm, U("руб"), U("руб'лi")));
    EXPECT_EQ(Select(QStringLiteral("select id_account from tb_account where currency='руб''лi' order by 1")),
              (QStringList{U("1"), U("2"), U("5")}));
    EXPECT_TRUE(RenameCurrency(dm, U("руб'лi"), U("RUB")));
    EXPECT_EQ(CurrencyAccounts(dm, U("RUB")), (std::vector<int>{1, 2, 5}));
    EXPECT_FALSE(RenameCurrency(dm, U("RUB"), U("RUB")));
    EXPECT_FALSE(RenameCurrency(dm, U("RUB"), QString()));
}

TEST_F(ZorbAccountsTest, CorrectedBalance)
{
    Go(2);
    EXPECT_FALSE(CorrectAccountRest(dm, U("много")));
    EXPECT_TRUE(CorrectAccountRest(dm, U("123,45")));
    EXPECT_EQ(Select(QStringLiteral("select rest from tb_account where id_account=2")), QStringList{U("123.45")});
}

TEST_F(ZorbAccountsTest, RatesByHandAndFromText)
{
    const std::vector<int> rub = CurrencyAccounts(dm, U("руб"));
    ASSERT_EQ(rub, (std::vector<int>{1, 2, 5}));
    EXPECT_EQ(SetDayRate(dm, rub, D(2024, 2, 3), 4.5), 1);
    EXPECT_EQ(SetDayRate(dm, rub, D(2024, 3, 3), 4.5), 0);

    const QString file = dir.filePath(QStringLiteral("rates.txt"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(U("Дата;Курс\r\n"
              "10.01.2024;2,5\r\n"       // rows 1 and 9
              "15.01.2024;3.25\r\n"      // row 2, the other separator
              "16.01.2024;7\r\n"         // no operations: not counted
              "20.02.2024;-4\r\n"        // refused
              "05.02.2024;0\r\n"         // refused
              "31.12.2023 руб 1,75\r\n"  // row 7 of account 2
              "03.02.2024;4 руб\r\n"     // ends in a word: skipped
              "\r\n")
                .toUtf8());
    f.close();
    QString error;
    EXPECT_EQ(ImportRatesText(dm, rub, file, error), 3);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(Select(QStringLiteral("select id_account,date_real,rate from tb_hist order by date_create")),
              (QStringList{U("1|2024-01-10|2.5"), U("1|2024-01-15|3.25"), U("1|2024-02-03|4.5"),
                           U("1|2024-02-20|1"), U("1|2024-02-05|1"), U("3|2024-02-05|90"),
                           U("2|2023-12-31|1.75"), U("1|2030-01-01|1"), U("1|2024-01-10|2.5")}));

    // The same file in Windows-1251 reads the same; a missing file says so.
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\xc4\xe0\xf2\xe0;\xca\xf3\xf0\xf1\r\n10.01.2024;6\r\n"));
    f.close();
    EXPECT_EQ(ImportRatesText(dm, rub, file, error), 1);
    EXPECT_EQ(Select(QStringLiteral("select distinct rate from tb_hist where date_real=") +
                     QString::number(int(D(2024, 1, 10)))),
              QStringList{U("6")});
    EXPECT_EQ(ImportRatesText(dm, rub, dir.filePath(QStringLiteral("none.txt")), error), 0);
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(ZorbAccountsTest, RatesFromADbaseTable)
{
    // Written by LibreOffice Calc: 10.01.2024 95.5, 15.01.2024 96.25, a blank
    // date, 03.02.2024 0 (refused), 31.12.2023 1.75.
    const std::vector<int> rub = CurrencyAccounts(dm, U("руб"));
    const QString table = QStringLiteral(ZORBEL_TEST_DATA "/dbase/rates.dbf");
    QString error;
    EXPECT_EQ(ImportRatesDbf(dm, rub, table, error), 3);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(Select(QStringLiteral("select date_real,rate from tb_hist where id_account in (1,2) and rate<>1 "
                                    "order by date_create")),
              (QStringList{U("2024-01-10|95.5"), U("2024-01-15|96.25"), U("2023-12-31|1.75"), U("2024-01-10|95.5")}));

    // A damaged copy imports nothing and says why.
    QFile in(table);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    const QString damaged = dir.filePath(QStringLiteral("damaged.dbf"));
    QFile out(damaged);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes.left(bytes.size() - 12));
    out.close();
    Exec(QStringLiteral("update tb_hist set rate=1 where id_account<>3"));
    EXPECT_EQ(ImportRatesDbf(dm, rub, damaged, error), 0);
    EXPECT_TRUE(error.startsWith(U("Файл повреждён"))) << error.toStdString();
    EXPECT_EQ(Select(QStringLiteral("select count(*) from tb_hist where rate<>1 and id_account<>3")),
              QStringList{U("0")});

    // A table whose first field is not a date is not a rates table.
    QByteArray swapped = bytes;
    swapped[32 + 11] = 'C';
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(swapped);
    out.close();
    error.clear();
    EXPECT_EQ(ImportRatesDbf(dm, rub, damaged, error), 0);
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
} // namespace zorbel::test
