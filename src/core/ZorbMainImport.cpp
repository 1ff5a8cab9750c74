// The main window's import command: the import window belongs to the
// analysis layer and is reached through the launcher seam.
#include "core/ZorbLaunch.h"
#include "core/ZorbMain.h"

namespace zorbel {

void TFormMain::mImportClick(TObject *)
{
    if (const auto &launch = AnalysisLaunchers().FormImp)
        launch(*this);
}

} // namespace zorbel
