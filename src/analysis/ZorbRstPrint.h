// The print commands of the results window's three tabs. Each takes what it
// reads of the window as a plain struct, fills its layout from it, runs the
// report into the preview and frees the layout. The Make* functions fill a
// layout without running it (null when there is nothing to print).
#pragma once

#include "analysis/ZorbPrd.h"
#include "analysis/ZorbPrh.h"
#include "analysis/ZorbPrn.h"
#include "platform/rtl/DateTime.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace zorbel {

// A condition box of the window: its caption, whether it is ticked and shown.
struct TRstPrintBox {
    QString Caption;
    bool Ticked = false;
    bool Visible = true;
};

// A condition of the conditions dialog: the comparison shown and the value typed.
struct TRstPrintCond {
    QString Compare;
    QString Value;
};

struct TRstTotalsPrint {
    TDataSet *TabRes = nullptr;
    int Unit = 0; // 0 account currency, 1 common unit, 2 quantity
    TDateTime FromDate = 0, ToDate = 0;
    std::array<int64_t, 3> Opening{}; // 1/10000: money, common unit, quantity
    QString KindText;                 // the kind selector's text
    std::array<TRstPrintBox, 3> Items;
    TRstPrintBox Acc, Pers, Firm;
    bool HasConditions = false; // whether the conditions dialog exists
    TRstPrintCond Sdt, Sct, Srs;
    TRstPrintCond Comm, Dt, Ct, Price, Rate, QDt, Qct;
    std::function<void()> Repaint;
};

// The list's sums in 1/10000 as the sums query gives them.
struct TRstHistSums {
    int64_t Sdt = 0, Sct = 0, Sdtr = 0, Sctr = 0, Sqdt = 0, Sqct = 0;
};

struct TRstHistPrint {
    TDataSet *Qhs = nullptr;
    TDateTime FromDate = 0, ToDate = 0;
    std::array<int64_t, 3> Opening{}; // B, BY, BQ in 1/10000
    // Reopens the sums query and reads it; a failure raises.
    std::function<TRstHistSums()> ReadSums;
    QString AccCaption;
    bool CommonUnit = false; // the grouped totals show "Общая валюта (у.е.)"
    QString QntFormat;
    std::function<void()> Repaint;
};

struct TRstDynPrint {
    TDataSet *TabDyn = nullptr;
    int PeriodUnit = 0; // CbDay: 0 days, 1 weeks, 2 months, 3 years
};

// Reads Sdt, Sct, Sdtr, Sctr, Sqdt, Sqct of a sums query after reopening it,
// rounded to 1/10000, and closes it. On return after a failure: the query is
// closed and the failure raised.
TRstHistSums ReadHistSums(TDataSet &qsm);

// The notice's first line when a printout's figures cannot be read.
extern const QString PrintFailedText;

// Fill a layout; null when there is nothing to print. A failure to read the
// figures (a row of the totals, the sums query) raises.
std::unique_ptr<TQrs> MakeTotalsPrintout(const TRstTotalsPrint &state);
std::unique_ptr<TQHist> MakeHistPrintout(const TRstHistPrint &state);
std::unique_ptr<TQprd> MakeDynPrintout(const TRstDynPrint &state);

// The commands: grouped totals generated in the background under a modal
// preview, the other two on the window thread. A failure ends the command
// with ShowNotice: PrintFailedText and the failure's message.
void PrintTotals(const TRstTotalsPrint &state);
void PrintHist(const TRstHistPrint &state);
void PrintDyn(const TRstDynPrint &state);

} // namespace zorbel
