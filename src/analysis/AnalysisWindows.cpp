// Hands the analysis layer's windows to the main window's launcher seam.
#include "analysis/AnalysisWindows.h"

#include "analysis/ZorbDays.h"
#include "analysis/ZorbDiff.h"
#include "analysis/ZorbImpLaunch.h"
#include "analysis/ZorbLim.h"
#include "analysis/ZorbPlan.h"
#include "analysis/ZorbRest.h"
#include "core/ZorbLaunch.h"

namespace zorbel {

void RegisterAnalysisWindows()
{
    TAnalysisLaunchers &launchers = AnalysisLaunchers();
    launchers.FormPlan = ChooseFutureDates;
    launchers.FormImp = [](TFormMain &Main) { OpenImportWindow(Main); };
    launchers.FormDays = ChooseFutureDay;
    launchers.FormDiff = OpenYearWindow;
    launchers.FormRest = OpenBalancesWindow;
    launchers.FormLim = OpenLimitsWindow;
}

} // namespace zorbel
