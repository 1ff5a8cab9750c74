// The process's one set of analysis-window launchers (see ZorbLaunch.h).
#include "core/ZorbLaunch.h"

namespace zorbel {

TAnalysisLaunchers &AnalysisLaunchers()
{
    static TAnalysisLaunchers launchers;
    return launchers;
}

} // namespace zorbel
