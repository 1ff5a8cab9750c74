// The launcher seam: how the main window opens the windows of the analysis,
// planning and import layer without including them.
//
// Dependencies run one way, app -> analysis -> core:
//
//   src/app/main.cpp          calls RegisterAnalysisWindows() at start-up
//   src/analysis/             fills the members below with its windows
//   src/core/ (this header)   declares the members and calls them
//
// Core never includes a header of src/analysis. Each member is empty until
// the analysis layer registers its window; callers test it before calling.
// A new window of that layer adds one member here.
#pragma once

#include "platform/rtl/DateTime.h"

#include <functional>
#include <vector>

namespace zorbel {

class TFormMain;

struct TAnalysisLaunchers {
    // The future-dates dialog TFormPlan ("Тиражирование операции в будущее"):
    // shown modally with the range PlanStart..PlanEnd offered. Returns true
    // on OK, with Dates holding the chosen dates as whole day numbers in the
    // order of its list; false leaves Dates empty.
    std::function<bool(TDateTime PlanStart, TDateTime PlanEnd, std::vector<int> &Dates)> FormPlan;
    // The import window TFormImp ("Импорт расходов и приходов"): shown
    // modally over the main window's data set; takes the field separator
    // from the main window's CSV setting and stores it back.
    std::function<void(TFormMain &Main)> FormImp;
};

// The one set of launchers of the process.
TAnalysisLaunchers &AnalysisLaunchers();

// The results window as the core windows see it. The results window of the
// analysis layer registers itself with SetFormRst while it exists (from its
// creation to its destruction); the accounts book and the bookmarks window
// test FormRst() to know that they were opened from it.
class TRstWindow {
public:
    virtual ~TRstWindow() = default;
};

// The results window while it exists, else nullptr.
TRstWindow *FormRst();
// Registers (Window) or clears (nullptr) the results window.
void SetFormRst(TRstWindow *Window);

} // namespace zorbel
