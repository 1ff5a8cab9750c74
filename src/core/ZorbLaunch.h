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
class TQuery;
class TTreeNode;

// What core's windows (the accounts book, the bookmarks window) need of the
// results window while it is shown; the analysis layer implements it.
class TRstWindow {
public:
    virtual ~TRstWindow() = default;
    // The operations-history query of tab 1 (open while the window is shown).
    virtual TQuery &Qhs() = 0;
    // Takes the first and last operation dates as the window's date range;
    // nothing changes when there are no operations or the query fails.
    virtual void LoadDateRange() = 0;
    // Kind 1..6 (whole period, year, quarter, month, week, day): switches
    // the period kind, recomputes the range and refreshes the queries.
    virtual void SetPeriodKind(int Kind) = 0;
};

// The results window while it exists, else nullptr.
TRstWindow *FormRst();
// Set by the results window on creation and cleared on destruction.
void SetFormRst(TRstWindow *Window);

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
    // The turnovers window TFormLim ("Обороты за месяц - по статьям"): the
    // month of the entry date for the current account; takes its options
    // from the main window's Lim* fields and stores them back.
    std::function<void(TFormMain &Main)> FormLim;
    // The monthly balances window TFormRest ("Остатки, Сводки..."): options
    // Bal* in and out.
    std::function<void(TFormMain &Main)> FormRest;
    // The year by category window TFormDiff ("Постатейно-месячные итоги за год").
    std::function<void(TFormMain &Main)> FormDiff;
    // The future days window TFormDays: true when a day was chosen (OK on a
    // row with a date), the day in Day.
    std::function<bool(TFormMain &Main, TDateTime &Day)> FormDays;
    // The results window TFormRst: created, shown modally and freed; Node is
    // a category node of the main window's tree or nullptr, ContactMode opens
    // it on the operations of the main window's current person or firm.
    std::function<void(TFormMain &Main, TTreeNode *Node, bool ContactMode)> OpenResults;
};

// The one set of launchers of the process.
TAnalysisLaunchers &AnalysisLaunchers();

} // namespace zorbel
