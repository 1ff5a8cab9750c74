// The main window's bookmarks: '+' marks and unmarks operations in the
// ledger, the bookmarks window lists them; and the ledger's "save to file".
#include "core/ZorbDm.h"
#include "core/ZorbMain.h"
#include "core/ZorbMarks.h"
#include "core/ZorbText.h"
#include "platform/rtl/Exceptions.h"

namespace zorbel {

void TFormMain::BuildMarkCommands()
{
    BuildFindCommands();
    PmHist->Add(QStringLiteral("N40"), QStringLiteral("-"));
    mpSetMark = PmHist->Add(QStringLiteral("mpSetMark"), U("Закладка             +"));
    mpShowMark = PmHist->Add(QStringLiteral("mpShowMark"), U("Все закладки...   Ctrl+="));
    mpHistSave = PmHist->Add(QStringLiteral("mpHistSave"), U("&Сохранить в файл..."));
    mShowMark = mView->Add(QStringLiteral("mShowMark"), QStringLiteral("ShowMark"), ShortCut(VK_OEM_PLUS, ssCtrl));
    mShowMark->SetVisible(false);
    mpSetMark->OnClick = [this](TObject *s) { mpSetMarkClick(s); };
    mpShowMark->OnClick = [this](TObject *s) { mpShowMarkClick(s); };
    mShowMark->OnClick = [this](TObject *s) { mpShowMarkClick(s); };
    BuildExportCommands();
    const auto keyPress = DBG->OnKeyPress;
    DBG->OnKeyPress = [this, keyPress](TObject *s, QChar &k) {
        if (k == u'+' || k == u'=') {
            k = QChar();
            mpSetMarkClick(s);
            return;
        }
        if (keyPress)
            keyPress(s, k);
    };
}

void TFormMain::mpSetMarkClick(TObject *)
{
    if (!Dm || !Dm->Tb_Hist.Active() || Dm->Tb_Hist.IsEmpty())
        return;
    TTable &hist = Dm->Tb_Hist;
    if (hist.State() != dsEdit && hist.State() != dsInsert)
        hist.Edit();
    TField *mark = hist.FieldByName(QStringLiteral("B"));
    if (mark->IsNull())
        mark->SetAsString(QStringLiteral("+"));
    else
        mark->Clear();
    try {
        hist.Post();
    } catch (const Exception &) {
        // A mark is a reading aid: a row that will not take it keeps its old
        // mark, and the '+' walk goes on down the ledger all the same.
        hist.Cancel();
    }
    hist.Next();
}

void TFormMain::mpShowMarkClick(TObject *)
{
    if (!Dm || !Dm->Tb_Account.Active())
        return;
    TFormMrk form(*this);
    form.MarksPeriodBegin = PeriodBegin;
    form.MarksPeriodEnd = PeriodEnd;
    form.ChTotal->SetChecked(mTotal->Checked());
    form.ChTotal->SetEnabled(!mTotal->Checked());
    form.Sb->SetFont(Sb->Font());
    form.DBGMark->SetFont(DBG->Font());
    form.DBGMark->SetTitleFont(DBG->TitleFont());
    form.ShowModal();
}

} // namespace zorbel
