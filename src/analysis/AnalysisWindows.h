// Registration of the analysis, planning and import windows with the main
// window's launcher seam (core/ZorbLaunch.h).
#pragma once

namespace zorbel {

// Fills AnalysisLaunchers() with the windows this layer has built. Called once
// by main() before the main window starts.
void RegisterAnalysisWindows();

} // namespace zorbel
