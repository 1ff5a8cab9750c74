// The results window's print commands: what each printout reads of the
// window (period, boxes, conditions dialog, unit, opening balances, sums)
// gathered into the print state, then handed to the print functions.
#include "analysis/ZorbFilt.h"
#include "analysis/ZorbRst.h"
#include "analysis/ZorbRstPrint.h"
#include "core/TulnDlg.h"
#include "core/ZorbMain.h"

namespace zorbel {

namespace {

TRstPrintBox Box(const TCheckBox *box) { return {box->Caption(), box->Checked(), box->Visible()}; }

TRstPrintCond Cond(const QString &compare, const TEdit *value) { return {compare, value->Text()}; }

} // namespace

TRstTotalsPrint TFormRst::TotalsPrintState()
{
    TRstTotalsPrint s;
    s.TabRes = &TabRes;
    s.Unit = Unit();
    s.FromDate = Period.FromDate;
    s.ToDate = Period.ToDate;
    s.KindText = CbKind->Text();
    s.Items = {Box(ChItm1), Box(ChItm2), Box(ChItm3)};
    s.Acc = Box(ChAcc);
    s.Pers = Box(ChPers);
    s.Firm = Box(ChFirm);
    if (FormFilt) {
        const TFormFilt &f = *FormFilt;
        s.HasConditions = true;
        s.Sdt = Cond(f.ButEqDt->Caption(), f.EdDt);
        s.Sct = Cond(f.ButEqCt->Caption(), f.EdCt);
        s.Srs = Cond(f.ButEqRs->Caption(), f.EdRs);
        s.Comm = Cond(f.CbComm->Text(), f.Ed_Comm);
        s.Dt = Cond(f.CbDt->Text(), f.Ed_Dt);
        s.Ct = Cond(f.CbCt->Text(), f.Ed_Ct);
        s.Price = Cond(f.CbPrice->Text(), f.Ed_Price);
        s.Rate = Cond(f.CbRate->Text(), f.Ed_Rate);
        s.QDt = Cond(f.CbQdt->Text(), f.Ed_Qdt);
        s.Qct = Cond(f.CbQct->Text(), f.Ed_Qct);
    }
    s.Repaint = [this] { Repaint(); };
    const TRstOpening o = ComputeOpeningBalances();
    s.Opening = {o.Amount, o.Common, o.Quantity};
    return s;
}

TRstHistPrint TFormRst::HistPrintState()
{
    TRstHistPrint s;
    s.Qhs = &QhsQuery;
    s.FromDate = Period.FromDate;
    s.ToDate = Period.ToDate;
    s.ReadSums = [this] { return ReadHistSums(Qsm); };
    // An unticked account box only offers the current row's account while the
    // list holds every account's operations: the heading names none then.
    s.AccCaption = ChAcc->Checked() ? ChAcc->Caption() : QString();
    s.CommonUnit = Unit() == 1;
    s.QntFormat = main_.QntFormat;
    s.Repaint = [this] { Repaint(); };
    const TRstOpening o = ComputeOpeningBalances();
    s.Opening = {o.Amount, o.Common, o.Quantity};
    return s;
}

// Each command prints only what its tab holds and changes nothing of the
// window; a failure to read what it prints ends the command with a notice.
void TFormRst::mpPrintClick(TObject *)
{
    if (!TabRes.Active() || TabRes.IsEmpty())
        return;
    TRstTotalsPrint state;
    try {
        state = TotalsPrintState();
    } catch (const Exception &e) {
        ShowNotice(PrintFailedText + e.Message(), false); // no printout with a wrong opening
        return;
    }
    PrintTotals(state);
}

void TFormRst::ButPrhClick(TObject *)
{
    if (!QhsQuery.Active())
        return;
    TRstHistPrint state;
    try {
        state = HistPrintState();
    } catch (const Exception &e) {
        ShowNotice(PrintFailedText + e.Message(), false);
        return;
    }
    PrintHist(state);
}

} // namespace zorbel
