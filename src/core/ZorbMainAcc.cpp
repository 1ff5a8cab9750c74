// The main window's accounts commands: the accounts book (tool button,
// menu, a click on the balance panel) and the rates window.
#include "core/ZorbMain.h"

#include "core/ZorbAcc.h"
#include "core/ZorbCur.h"
#include "core/ZorbText.h"
#include "platform/rtl/Money.h"

namespace zorbel {

void TFormMain::BuildAccCommands()
{
    ButAcc = new TButton(PanTop, QStringLiteral("ButAcc"));
    ButAcc->SetCaption(U("Счета"));
    ButAcc->SetHint(U("Счета..."));
    ButAcc->SetBounds(178, 3, 54, 24);
    mMoney->Add(QStringLiteral("N31"), QStringLiteral("-"));
    mAccounts = mMoney->Add(QStringLiteral("mAccounts"), U("&Счета..."));
    mRate = mMoney->Add(QStringLiteral("mRate"), U("К&урсы..."));
    ButAcc->OnClick = [this](TObject *s) { ButAccClick(s); };
    mAccounts->OnClick = [this](TObject *s) { ButAccClick(s); };
    PanAcRest->OnClick = [this](TObject *s) { ButAccClick(s); };
    mRate->OnClick = [this](TObject *s) { mRateClick(s); };
    ButAcc->SetEnabled(false);
    mAccounts->SetEnabled(false);
}

void TFormMain::ButAccClick(TObject *)
{
    if (!ButAcc->Enabled() || !Dm)
        return;
    TTable &acc = Dm->Tb_Account;
    const bool had = !acc.IsEmpty();
    const int id = had ? acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger() : -1;
    const int64_t beg = had ? MoneyToUnits(acc.FieldByName(QStringLiteral("Beg"))->AsFloat()) : 0;
    {
        TFormAcc book(*this);
        if (!Col_Acc.isEmpty())
            book.ApplyAccountColumns(Col_Acc);
        if (book.ShowModal() == mrOk) {
            ApplyLedgerPeriod();
        } else if (had) {
            bool found = false;
            try {
                found = acc.Locate(QStringLiteral("Id_Account"), Variant(id), {});
            } catch (const Exception &) {
                // A failed search counts as a deleted account: the ledger then shows the current account with its own figures.
            }
            // The account was deleted: the ledger's range and its opening
            // balance still name it, so they are taken again for the account
            // now current. Comparing the new account's opening amount with
            // the deleted one's would leave an empty grid under another
            // account's figures, or under the deleted account's own figures
            // when the two amounts happen to match.
            if (!found)
                ApplyLedgerPeriod();
            else if (MoneyToUnits(acc.FieldByName(QStringLiteral("Beg"))->AsFloat()) != beg)
                UpdateBalances(true, 0);
        }
    }
    // The transfer category is offered only with two accounts or more.
    TTreeNode *transfer = FindCategoryNode(TvCt, -1);
    if (acc.RecordCount() < 2) {
        if (transfer)
            transfer->Delete();
    } else if (!transfer && Dm->Tb_Items.Locate(QStringLiteral("Id_Itm"), Variant(-1), {})) {
        TvCt->Items().AddChildObject(nullptr, Dm->Tb_Items.FieldByName(QStringLiteral("ITM"))->AsString(), -1);
        TvCt->AlphaSort();
    }
    SetFindRange();
}

void TFormMain::mRateClick(TObject *)
{
    if (!Dm || !Dm->Tb_Account.Active())
        return;
    TFormCur rates(*this);
    rates.ShowModal();
}

} // namespace zorbel
