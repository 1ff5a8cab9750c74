// The main window's analysis commands: monthly balances, a year by category,
// future days and turnovers against limits. The windows belong to the
// analysis layer and are reached through the launcher seam; a command does
// nothing while no data set is open.
#include "core/ZorbLaunch.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"

namespace zorbel {

void TFormMain::BuildAnalysisMenu()
{
    mAnalysis = MainMenu->Add(QStringLiteral("mAnalysis"), U("&Анализ"));
    mLim = mAnalysis->Add(QStringLiteral("mLim"), U("Обороты, План&ы..."), ShortCut(VK_F9, ssCtrl));
    mRest = mAnalysis->Add(QStringLiteral("mRest"), U("Остатки, Сводки..."), ShortCut(VK_F10, ssCtrl));
    mCompare = mAnalysis->Add(QStringLiteral("mCompare"), U("Статьи по месяцам..."), ShortCut(VK_F11, ssCtrl));
    mDays = mAnalysis->Add(QStringLiteral("mDays"), U("Будущие дни..."), ShortCut(VK_F12, ssCtrl));
    mLim->OnClick = [this](TObject *s) { mLimClick(s); };
    mRest->OnClick = [this](TObject *s) { mRestClick(s); };
    mCompare->OnClick = [this](TObject *s) { mCompareClick(s); };
    mDays->OnClick = [this](TObject *s) { mDaysClick(s); };
}

namespace {

bool DataSetOpen(const TFormMain &main) { return main.Dm && main.Dm->Tb_Account.Active() && !main.Dm->Tb_Account.IsEmpty(); }

} // namespace

void TFormMain::mLimClick(TObject *)
{
    if (const auto &launch = AnalysisLaunchers().FormLim; launch && DataSetOpen(*this))
        launch(*this);
}

void TFormMain::mRestClick(TObject *)
{
    if (const auto &launch = AnalysisLaunchers().FormRest; launch && DataSetOpen(*this))
        launch(*this);
}

void TFormMain::mCompareClick(TObject *)
{
    if (const auto &launch = AnalysisLaunchers().FormDiff; launch && DataSetOpen(*this))
        launch(*this);
}

void TFormMain::mDaysClick(TObject *)
{
    const auto &launch = AnalysisLaunchers().FormDays;
    TDateTime day = 0;
    if (!launch || !DataSetOpen(*this) || !launch(*this, day))
        return;
    EntryDate = day;
    ShowEntryDate();
    ApplyLedgerPeriod();
}

} // namespace zorbel
