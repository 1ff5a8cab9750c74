#include "analysis/ZorbRstPrint.h"

#include "platform/dataset/DataSet.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"

namespace zorbel {

namespace {

const QString Gap = QStringLiteral("             "); // thirteen blanks between balances

// The period as printed, then the window repainted; false when a date
// cannot be written (the command ends).
bool PeriodTexts(TDateTime from, TDateTime to, const std::function<void()> &repaint, QString &start, QString &end)
{
    try {
        start = FormatDateTime(QStringLiteral("dd.mm.yyyy"), from);
        end = FormatDateTime(QStringLiteral("dd.mm.yyyy"), to);
    } catch (...) {
        return false;
    }
    if (repaint)
        repaint();
    return true;
}

QString BoxText(const TRstPrintBox &box) { return box.Ticked ? box.Caption : QString(); }

void SetCondition(TRepLabel &label, const TRstPrintCond &cond)
{
    label.SetCaption(cond.Value.isEmpty() ? QString() : cond.Compare + cond.Value);
}

// Runs a filled layout once it is free and frees it; nothing escapes.
template <class F> void RunAndFree(F make, bool background)
{
    try {
        auto report = make();
        if (!report || !report->Available)
            return;
        if (background) {
            report->RunPreviewModal();
            report->WaitForRun();
        } else
            report->RunPreview();
    } catch (...) {
        // The printout is given up; the window stays as it was.
    }
}

} // namespace

TRstHistSums ReadHistSums(TDataSet &qsm)
{
    TRstHistSums sums;
    try {
        qsm.Close();
        qsm.Open();
        auto read = [&](const char *name) { return MoneyToUnits(qsm.FieldByName(QString::fromLatin1(name))->AsFloat()); };
        const TRstHistSums got{read("Sdt"), read("Sct"), read("Sdtr"), read("Sctr"), read("Sqdt"), read("Sqct")};
        sums = got;
    } catch (...) {
    }
    try {
        qsm.Close();
    } catch (...) {
    }
    return sums;
}

std::unique_ptr<TQrs> MakeTotalsPrintout(const TRstTotalsPrint &s)
{
    if (!s.TabRes || !s.TabRes->Active() || s.TabRes->IsEmpty())
        return nullptr;
    QString start, end;
    if (!PeriodTexts(s.FromDate, s.ToDate, s.Repaint, start, end))
        return nullptr;
    const int unit = s.Unit == 0 ? 0 : s.Unit == 1 ? 3 : 6;
    TDataSet &tab = *s.TabRes;
    if (tab.FieldCount() < unit + 5)
        return nullptr;
    const int64_t opening = s.Opening[unit / 3];

    int64_t in = 0, out = 0;
    {
        TControlsOff quiet(tab);
        const TBookmark kept = tab.GetBookmark();
        for (tab.First(); !tab.Eof(); tab.Next()) {
            try {
                const int64_t d = MoneyToUnits(tab.Fields()[unit + 2]->AsFloat());
                const int64_t c = MoneyToUnits(tab.Fields()[unit + 3]->AsFloat());
                in += d;
                out += c;
            } catch (...) {
                // A row that cannot be read is left out of the sums.
            }
        }
        try {
            tab.GotoBookmark(kept);
        } catch (...) {
            // The row is gone; the position stays where the summing ended.
        }
    }
    const int64_t closing = opening + in - out;

    auto r = std::make_unique<TQrs>(&tab);
    const QString names[] = {tab.Fields()[unit + 2]->FieldName(), tab.Fields()[unit + 3]->FieldName(),
                             tab.Fields()[unit + 4]->FieldName()};
    TRepDBText *texts[] = {r->RepDBDt, r->RepDBCt, r->RepDBRs};
    TRepExpr *sums[] = {r->RepEDt, r->RepECt, r->RepERs};
    for (int i = 0; i < 3; ++i) {
        texts[i]->SetDataField(names[i]);
        sums[i]->SetExpression(QStringLiteral("Sum(") + names[i] + QStringLiteral(")"));
    }

    QStringList items;
    for (const TRstPrintBox &b : s.Items)
        if (b.Ticked && b.Visible)
            items << b.Caption;
    r->RepLItm->SetCaption(items.join(QLatin1Char(':')));
    r->RepLAcc->SetCaption(BoxText(s.Acc));
    r->RepLPers->SetCaption(BoxText(s.Pers));
    r->RepLFirm->SetCaption(BoxText(s.Firm));

    if (s.HasConditions) {
        SetCondition(*r->RepLSdt, s.Sdt);
        SetCondition(*r->RepLSct, s.Sct);
        SetCondition(*r->RepLSrs, s.Srs);
        SetCondition(*r->RepLComm, s.Comm);
        SetCondition(*r->RepLDt, s.Dt);
        SetCondition(*r->RepLCt, s.Ct);
        SetCondition(*r->RepLPrice, s.Price);
        SetCondition(*r->RepLRate, s.Rate);
        SetCondition(*r->RepLQDt, s.QDt);
        SetCondition(*r->RepLQct, s.Qct);
    }

    r->RepL->SetCaption(s.KindText + QStringLiteral(" Обороты за ") + start + QStringLiteral(" - ") + end);
    r->RepLBeg->SetCaption(QStringLiteral("Начало  = ") + PrnAmount(opening));
    r->RepLEnd->SetCaption(QStringLiteral("Остаток = ") + PrnAmount(closing));
    return r;
}

std::unique_ptr<TQHist> MakeHistPrintout(const TRstHistPrint &s)
{
    if (!s.Qhs || !s.Qhs->Active())
        return nullptr;
    QString start, end;
    if (!PeriodTexts(s.FromDate, s.ToDate, s.Repaint, start, end))
        return nullptr;
    const int64_t b = s.Opening[0], by = s.Opening[1], bq = s.Opening[2];
    TRstHistSums sums;
    if (s.ReadSums) {
        try {
            sums = s.ReadSums();
        } catch (...) {
            sums = {};
        }
    }
    const int64_t e = b + sums.Sdt - sums.Sct, ey = by + sums.Sdtr - sums.Sctr, eq = bq + sums.Sqdt - sums.Sqct;

    TDataSet &qhs = *s.Qhs;
    auto r = std::make_unique<TQHist>(&qhs);
    const std::pair<TRepLabel *, const char *> titles[] = {
        {r->RepLabDate, "DATE_REAL"}, {r->RepLabCom, "comment"}, {r->RepLabPers, "Pers"},
        {r->RepLabFirm, "Firm"},      {r->RepLabDt, "Dt"},        {r->RepLabCt, "Ct"},
        {r->RepLabPrice, "price"},    {r->RepLabQdt, "qdt"},      {r->RepLabQct, "qct"}};
    for (const auto &[label, field] : titles)
        if (const TField *f = qhs.FindField(QString::fromLatin1(field)))
            label->SetCaption(f->DisplayLabel());

    r->RepLacc->SetCaption(QStringLiteral("Счет       ") + s.AccCaption);
    r->RepLPer->SetCaption(QStringLiteral("Движения за период       ") + start + QStringLiteral(" - ") + end);
    const QString res = QStringLiteral("Начало = ") + PrnAmount(b) + Gap + QStringLiteral("Приход = ") +
                        PrnAmount(sums.Sdt) + Gap + QStringLiteral("Расход = ") + PrnAmount(sums.Sct) + Gap +
                        QStringLiteral("Остаток = ") + PrnAmount(e);
    r->RepLRes->SetCaption(res);
    r->RepL->SetCaption(res);
    r->RepLy->SetCaption(QStringLiteral("У.е. Нач.  = ") + PrnAmount(by) + Gap + QStringLiteral("У.е. Прх.  = ") +
                         PrnAmount(sums.Sdtr) + Gap + QStringLiteral("У.е. Рсх.  = ") + PrnAmount(sums.Sctr) + Gap +
                         QStringLiteral("У.е. Ост.  = ") + PrnAmount(ey));
    r->RepLq->SetCaption(QStringLiteral("Кол. Нач. = ") + PrnAmount(bq) + Gap + QStringLiteral("Кол. Прх. = ") +
                         PrnAmount(sums.Sqdt) + Gap + QStringLiteral("Кол. Рсх. = ") + PrnAmount(sums.Sqct) + Gap +
                         QStringLiteral("Кол. Ост. = ") + PrnAmount(eq));

    try {
        if (const TField *date = qhs.FindField(QStringLiteral("date_real")))
            r->RepDBDate->Mask = date->DisplayFormat();
    } catch (...) {
    }

    if (s.CommonUnit) {
        r->RepLabQdt->SetCaption(QStringLiteral("y.e.+"));
        r->RepLabQct->SetCaption(QStringLiteral("y.e.-"));
        r->RepDBQ1->SetDataField(QStringLiteral("rdt"));
        r->RepDBQ2->SetDataField(QStringLiteral("rct"));
        r->RepEQ1->SetExpression(QStringLiteral("Sum(rdt)"));
        r->RepEQ2->SetExpression(QStringLiteral("Sum(rct)"));
        r->RepEQ->SetExpression(QStringLiteral("Sum(rdt-rct)"));
        for (TRepExpr *q : {r->RepEQ1, r->RepEQ2, r->RepEQ})
            q->Mask = QStringLiteral("#,##0.00");
    } else
        for (TRepExpr *q : {r->RepEQ1, r->RepEQ2, r->RepEQ})
            q->Mask = s.QntFormat;
    return r;
}

std::unique_ptr<TQprd> MakeDynPrintout(const TRstDynPrint &s)
{
    if (!s.TabDyn || !s.TabDyn->Active())
        return nullptr;
    auto r = std::make_unique<TQprd>();
    r->SetDataSet(s.TabDyn);
    static const char *const headings[] = {"Дата", "Недели", "Месяцы", "Годы"};
    if (s.PeriodUnit >= 0 && s.PeriodUnit < 4) {
        r->RepDBDate->SetDataField(QStringLiteral("vr"));
        r->RepLDate->SetCaption(QString::fromUtf8(headings[s.PeriodUnit]));
    }
    return r;
}

void PrintTotals(const TRstTotalsPrint &state)
{
    RunAndFree([&] { return MakeTotalsPrintout(state); }, true);
}

void PrintHist(const TRstHistPrint &state)
{
    RunAndFree([&] { return MakeHistPrintout(state); }, false);
}

void PrintDyn(const TRstDynPrint &state)
{
    RunAndFree([&] { return MakeDynPrintout(state); }, false);
}

} // namespace zorbel
