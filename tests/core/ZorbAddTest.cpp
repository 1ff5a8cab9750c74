// The account dialog on the Cyrillic fixture, driven as a person would:
// refused entries with their messages, an added account in a currency in use
// (which takes the new rate to that currency's other account), an edit.
#include "ZorbFixtureSet.h"
#include "platform/rtl/StrUtils.h"

#include "core/ZorbAccounts.h"
#include "core/ZorbAdd.h"
#include "core/ZorbDm.h"
#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/ModalScript.h"
#include "platform/widgets/StdCtrls.h"
#include "platform/rtl/Money.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

class ZorbAddTest : public TFixtureSet<> {
protected:
    // Types the four entries into the open dialog.
    static void Type(TForm &f, const char *name, const char *currency, const char *beg, const char *rate)
    {
        auto &d = dynamic_cast<TFormAdd &>(f);
        d.DBAccount->SetText(U(name));
        d.DBCur->SetText(U(currency));
        d.DBBeg->SetText(U(beg));
        d.DBRate->SetText(U(rate));
    }
};

TEST_F(ZorbAddTest, RefusedEntriesKeepTheDialogOpen)
{
    TModalScript script;
    QStringList captions;
    script.Then([&](TForm &f) {
        captions << f.windowTitle();
        auto &d = dynamic_cast<TFormAdd &>(f);
        EXPECT_TRUE(d.DBCur->isEnabled());
        EXPECT_FALSE(d.ChDef->Checked());
        Type(f, "", "руб", "", "");
        d.ButOk->Click();
        Type(f, "Карта", "", "", "");
        d.ButOk->Click();
        Type(f, "Карта", "руб", "", "0");
        d.ButOk->Click();
        Type(f, "Карта", "руб", "1e20", "");
        d.ButOk->Click();
        EXPECT_EQ(f.ModalResult(), 0);
        d.ButCancel->Click();
    });
    script.Press(QStringLiteral("OK")).Press(QStringLiteral("OK")).Press(QStringLiteral("OK")).Press(QStringLiteral("OK"));
    TAccountTotals totals;
    EXPECT_EQ(EditAccount(dm, true, totals), 2);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(captions, QStringList{U("Добавление счёта")});
    ASSERT_EQ(script.Seen().size(), 5u);
    EXPECT_EQ(script.Seen()[4].Text, MoneyRangeMessage()); // an opening balance of 1e20
    EXPECT_EQ(script.Seen()[1].Text, U("Не указано наименование счёта!"));
    EXPECT_EQ(script.Seen()[2].Text, U("Не указана валюта!"));
    EXPECT_EQ(script.Seen()[3].Text, U("Надо указать положительное число!"));
    EXPECT_EQ(Select(QStringLiteral("select count(*) from tb_account")), QStringList{U("5")});
}

TEST_F(ZorbAddTest, AddedAccountSharesItsRate)
{
    TModalScript script;
    script.Then([&](TForm &f) {
        Type(f, "Карта евро", "EUR", "100.5", "95.5"); // the other decimal separator
        dynamic_cast<TFormAdd &>(f).ButOk->Click();
    });
    TAccountTotals totals;
    EXPECT_EQ(EditAccount(dm, true, totals), 1);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
    EXPECT_EQ(Select(QStringLiteral("select account,currency,beg,rest,rate,c from tb_account where currency='EUR' "
                                    "order by id_account")),
              (QStringList{U("Пустой евро|EUR|~|0|95.5|~"), U("Карта евро|EUR|100.5|100.5|95.5|~")}));
    EXPECT_EQ(totals.Count, 6);

    // Editing: the currency box is disabled with two accounts or more.
    ASSERT_TRUE(dm.Tb_Account.Locate(QStringLiteral("Id_Account"), Variant(2), {}));
    script.Then([&](TForm &f) {
        auto &d = dynamic_cast<TFormAdd &>(f);
        EXPECT_EQ(f.windowTitle(), U("Редактирование счёта"));
        EXPECT_FALSE(d.DBCur->isEnabled());
        EXPECT_EQ(d.DBAccount->Text(), U("Банк Ёлка"));
        d.ChDef->SetChecked(true);
        d.ButOk->Click();
    });
    EXPECT_EQ(EditAccount(dm, false, totals), 1);
    EXPECT_EQ(Select(QStringLiteral("select id_account from tb_account where c='!'")), QStringList{U("2")});
}

// The dialog shows the rate and the opening sum in the window's formats
// (two decimals); OK writes back only what was typed, and a value left as
// shown stays exactly as stored, with the balance it implies.
TEST_F(ZorbAddTest, ValuesLeftAsShownStayExactlyAsStored)
{
    struct TCase {
        const char *Beg, *Rate;  // typed, or nullptr to leave the shown text
        double WantBeg, WantRate; // stored after OK
    };
    const double beg = 1234.5678, rate = 0.0125;
    const TCase cases[] = {
        {nullptr, nullptr, beg, rate},
        {nullptr, "0,02", beg, 0.02},
        {"2000", nullptr, 2000, rate},
        {"1234,5678", "0.0125", beg, rate},
    };
    TTable &acc = dm.Tb_Account;
    TField *rateField = acc.FieldByName(QStringLiteral("Rate"));
    const QString shownRate = rateField->DisplayFormat();
    rateField->SetDisplayFormat(QStringLiteral("0.00")); // as the accounts book shows it
    for (const TCase &c : cases) {
        SCOPED_TRACE(std::string(c.Beg ? c.Beg : "-") + " " + (c.Rate ? c.Rate : "-"));
        ASSERT_TRUE(acc.Locate(QStringLiteral("Id_Account"), Variant(2), {}));
        acc.Edit();
        acc.FieldByName(QStringLiteral("Beg"))->SetAsFloat(beg);
        acc.FieldByName(QStringLiteral("Rest"))->SetAsFloat(beg + 100);
        rateField->SetAsFloat(rate);
        acc.Post();
        TModalScript script;
        script.Then([&](TForm &f) {
            auto &d = dynamic_cast<TFormAdd &>(f);
            EXPECT_EQ(d.DBRate->Text(), U("0,01"));
            if (c.Beg)
                d.DBBeg->SetText(U(c.Beg));
            if (c.Rate)
                d.DBRate->SetText(U(c.Rate));
            d.ButOk->Click();
        });
        TAccountTotals totals;
        EXPECT_EQ(EditAccount(dm, false, totals), 1);
        EXPECT_TRUE(script.Finished()) << script.Errors().join(u';').toStdString();
        const QStringList row = Select(QStringLiteral("select beg, rest, rate from tb_account where id_account=2"));
        ASSERT_EQ(row.size(), 1);
        const QStringList v = row[0].split(u'|');
        EXPECT_EQ(v[0].toDouble(), c.WantBeg);
        EXPECT_EQ(MoneyToUnits(v[1].toDouble()), MoneyToUnits(c.WantBeg + 100));
        EXPECT_EQ(v[2].toDouble(), c.WantRate);
    }
    rateField->SetDisplayFormat(shownRate);
}

} // namespace
} // namespace zorbel::test
