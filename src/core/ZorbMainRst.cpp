// The main window's road to the results window, which belongs to the
// analysis layer and is reached through the launcher seam: "И&тоги,
// Анализ..." (Ctrl+F8), the statement of a category (F5 in the trees) and
// of a person or firm (F5 on their pages).
#include "core/ZorbLaunch.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"

namespace zorbel {

void TFormMain::BuildResultCommands()
{
    // Under "Деньги" until the analysis windows get a menu of their own.
    mMoney->Add(QStringLiteral("NRst"), QStringLiteral("-"));
    mResult = mMoney->Add(QStringLiteral("mResult"), U("И&тоги, Анализ..."), ShortCut(VK_F8, ssCtrl));
    mResult->OnClick = [this](TObject *s) { mResultClick(s); };
    mCategoryView->OnClick = [this](TObject *s) { mCategoryViewClick(s); };
    mpCategoryView->OnClick = [this](TObject *s) { mCategoryViewClick(s); };
    pmResPers->OnClick = [this](TObject *) { OpenResults(nullptr, true); };
    pmResFirm->OnClick = [this](TObject *) { OpenResults(nullptr, true); };
}

bool TFormMain::ResultsAvailable() const
{
    return AnalysisLaunchers().OpenResults != nullptr;
}

void TFormMain::OpenResults(TTreeNode *Node, bool ContactMode)
{
    if (const auto &launch = AnalysisLaunchers().OpenResults; launch && Dm && Dm->Tb_Hist.Active())
        launch(*this, Node, ContactMode);
}

void TFormMain::mResultClick(TObject *)
{
    Repaint();
    OpenResults(nullptr, false);
}

void TFormMain::mCategoryViewClick(TObject *)
{
    EndTreeEdits();
    TTreeView *tree = ShownTree();
    if (!tree)
        return;
    tree->SetFocus();
    OpenResults(tree->Selected(), false);
}

} // namespace zorbel
