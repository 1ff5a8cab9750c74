// Hands the analysis layer's windows to the main window's launcher seam.
#include "analysis/AnalysisWindows.h"

#include "analysis/ZorbImpLaunch.h"
#include "core/ZorbLaunch.h"

namespace zorbel {

void RegisterAnalysisWindows()
{
    TAnalysisLaunchers &launchers = AnalysisLaunchers();
    // The future-dates dialog is not built yet: FormPlan stays empty.
    launchers.FormImp = [](TFormMain &Main) { OpenImportWindow(Main); };
}

} // namespace zorbel
