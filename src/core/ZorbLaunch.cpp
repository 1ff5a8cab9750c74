// The process's one set of analysis-window launchers (see ZorbLaunch.h).
#include "core/ZorbLaunch.h"

namespace zorbel {

TAnalysisLaunchers &AnalysisLaunchers()
{
    static TAnalysisLaunchers launchers;
    return launchers;
}

namespace {
TRstWindow *formRst = nullptr;
}

TRstWindow *FormRst()
{
    return formRst;
}

void SetFormRst(TRstWindow *Window)
{
    formRst = Window;
}

} // namespace zorbel
