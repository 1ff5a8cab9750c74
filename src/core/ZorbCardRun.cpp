// Adding, editing and realising an operation through the card: the steps
// before the card is shown and the reset after it, around the posting.
#include "core/ZorbCard.h"

#include "core/TulnDlg.h"
#include "core/ZorbText.h"

namespace zorbel {
namespace {

// The card's state after every showing, whatever happened.
void ResetCard(TPosting &Post, TFormCard &Card)
{
    Post.CardMode = TCardMode::Idle;
    Post.RealiseFlag = false;
    Card.Tb_Acc.Close();
    for (TCheckBox *c : {Card.ChDate, Card.ChCategory}) {
        c->SetChecked(false);
        c->SetVisible(false);
    }
    Card.QitmHist.Close();
}

TCardMode ModeForNew(TDm &Dm, const TCardTrees &Trees, TCategoryNode &Node)
{
    if (Trees.ExpenseShown && Trees.ExpenseNode) {
        Node = *Trees.ExpenseNode;
        if (Node.Id != -1)
            return TCardMode::Expense;
        if (Dm.Tb_Account.Active() && Dm.Tb_Account.RecordCount() < 2) {
            ShowNotice(U("Должно быть хотя бы 2 счёта!"), false);
            return TCardMode::Idle;
        }
        return TCardMode::Transfer;
    }
    if (!Trees.ExpenseShown && Trees.IncomeNode) {
        Node = *Trees.IncomeNode;
        return TCardMode::Income;
    }
    return TCardMode::Idle;
}

} // namespace

void RunOperationCard(TDm &Dm, TPosting &Post, TFormCard &Card, bool IsNew, TCardTrees &Trees)
{
    TTable &h = Dm.Tb_Hist;
    if (!Dm.Tb_Account.Active() || Dm.Tb_Account.IsEmpty()) {
        ShowNotice(U("Должен быть открыт счёт!"), false);
        return;
    }
    Post.CardMode = TCardMode::Idle;
    Post.Sticky = {Card.ButWho->Down(), Card.ButWhere->Down(), Card.ButWho->Tag(), Card.ButWhere->Tag()};
    TCategoryNode node;
    const TCardMode mode = IsNew ? ModeForNew(Dm, Trees, node) : Post.ModeForEdit();
    if (mode == TCardMode::Idle) {
        Post.RealiseFlag = false;
        return;
    }
    Post.CardMode = mode;
    const int account = Dm.Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
    try {
        if (IsNew) {
            h.Insert();
            TPosting::SetOperationCategory(h, node);
            Card.PrepareHistory(account);
            Post.PrepareNew();
        } else {
            const bool expenseRow = h.FieldByName(QStringLiteral("Dt"))->IsNull();
            const bool incomeRow = h.FieldByName(QStringLiteral("Ct"))->IsNull();
            if (expenseRow && !Trees.ExpenseShown)
                Trees.ExpenseShown = true;
            else if (incomeRow && Trees.ExpenseShown)
                Trees.ExpenseShown = false;
            if (Trees.ShowTree)
                Trees.ShowTree(Trees.ExpenseShown);
            const std::optional<TCategoryNode> &shown = Trees.ExpenseShown ? Trees.ExpenseNode : Trees.IncomeNode;
            Card.PrepareHistory(account);
            Card.ChCategory->SetVisible((mode == TCardMode::Expense || mode == TCardMode::Income) &&
                                        !(shown && TPosting::CategoryMatchesRow(h, *shown)));
            Card.ChDate->SetVisible(h.FieldByName(QStringLiteral("Date_Real"))->AsDateTime() != Post.EntryDate);
            if (shown)
                Dm.Tb_Items.FindKey({Variant(int16_t(shown->Id))});
            h.Edit();
        }
        if (Card.ShowModal() != mrOk) {
            h.Cancel();
            ResetCard(Post, Card);
            return;
        }
        TCardResult result;
        result.BalanceDelta = Card.BalanceDelta;
        result.TransferAmount = Card.TransferAmount;
        if (Card.Tb_Acc.Active() && !Card.Tb_Acc.IsEmpty()) {
            result.TargetAccount = Card.Tb_Acc.FieldByName(QStringLiteral("ID_ACCOUNT"))->AsInteger();
            result.TargetRate = Card.Tb_Acc.FieldByName(QStringLiteral("Rate"))->AsVariant();
        }
        result.TakeEntryDate = Card.ChDate->Visible() && Card.ChDate->Checked();
        result.TakeCategory = Card.ChCategory->Visible() && Card.ChCategory->Checked();
        const std::optional<TCategoryNode> &shown = Trees.ExpenseShown ? Trees.ExpenseNode : Trees.IncomeNode;
        result.HasNode = shown.has_value();
        if (shown)
            result.Node = *shown;
        Post.PostOperation(IsNew, result);
        Card.ButWho->SetTag(Post.Sticky.WhoTag);
        Card.ButWhere->SetTag(Post.Sticky.WhereTag);
    } catch (...) {
        if (h.State() == dsEdit || h.State() == dsInsert)
            h.Cancel();
        ResetCard(Post, Card);
        throw;
    }
    ResetCard(Post, Card);
}

} // namespace zorbel
