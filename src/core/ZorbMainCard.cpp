// The main window's operation card: created with the first data set and
// reused for every operation after it.
#include "core/ZorbMain.h"

#include "core/TulnDlg.h"

namespace zorbel {
namespace {

// The posting's view of the main window: balances through UpdateBalances,
// the ledger's range through the ledger, notices through the message box.
class TMainPostHost : public TPostHost {
public:
    explicit TMainPostHost(TFormMain &main) : main_(main) {}
    void UpdateBalances(TDm &, bool RecomputeOpening, int64_t Delta) override
    {
        main_.UpdateBalances(RecomputeOpening, Delta);
    }
    void ApplyLedgerRange(TDm &dm) override { main_.SetLedgerRange(dm.Tb_Hist); }
    void Notice(const QString &Text) override { ShowNotice(Text, false); }

private:
    TFormMain &main_;
};

} // namespace

void TFormMain::CreateCard()
{
    if (!Posting) {
        postHost_ = std::make_unique<TMainPostHost>(*this);
        Posting = std::make_unique<TPosting>(*Dm, *postHost_);
    }
    if (!FormCard) {
        auto *card = new TFormCard(*Dm, *Posting, *this);
        card->setParent(this, card->windowFlags());
        FormCard = card;
        card->PickReference = [this](int Tag, Variant &Id) { return PickReference(Tag, Id); };
        WireCardSearches(card);
    }
    Card()->GridFont = GridFont;
}

TFormCard *TFormMain::Card() const { return static_cast<TFormCard *>(FormCard.data()); }

} // namespace zorbel
