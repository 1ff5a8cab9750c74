// The results window's print commands. A failure while the figures of a
// printout are read (the sums query, a row of the totals) ends the command
// with a notice in Russian: a printout is whole or not made, never printed
// with zero totals or with rows left out.
#include "analysis/ZorbRstPrint.h"

#include "core/TulnDlg.h"
#include "core/ZorbText.h"
#include "memtable/VemtSnapshot.h"
#include "platform/dataset/DataSet.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/NoticeText.h"

namespace zorbel {

namespace {

const QString Gap = QStringLiteral("             "); // thirteen blanks between balances

// The period as printed, then the window repainted. A date that cannot be
// written raises, and the command ends with a notice.
void PeriodTexts(TDateTime from, TDateTime to, const std::function<void()> &repaint, QString &start, QString &end)
{
    start = FormatDateTime(QStringLiteral("dd.mm.yyyy"), from);
    end = FormatDateTime(QStringLiteral("dd.mm.yyyy"), to);
    if (repaint)
        repaint();
}

QString BoxText(const TRstPrintBox &box) { return box.Ticked ? box.Caption : QString(); }

void SetCondition(TRepLabel &label, const TRstPrintCond &cond)
{
    label.SetCaption(cond.Value.isEmpty() ? QString() : cond.Compare + cond.Value);
}

// Runs a filled layout once it is free and frees it. A failure gives the
// printout up with a notice; the window stays as it was.
template <class F> void RunAndFree(F make, bool background)
{
    QString failure;
    try {
        auto report = make();
        if (!report || !report->Available)
            return;
        if (background) {
            report->RunPreviewModal();
            report->WaitForRun();
        } else
            report->RunPreview();
        return;
    } catch (const Exception &e) {
        failure = e.Message();
    } catch (const std::exception &e) {
        failure = ExceptionNotice(e);
    }
    ShowNotice(PrintFailedText + failure, false);
}

} // namespace

const QString PrintFailedText = U("Печать отменена: не удалось прочитать данные отчёта.\n");

TRstHistSums ReadHistSums(TDataSet &qsm)
{
    qsm.Close();
    try {
        qsm.Open();
        auto read = [&](const char *name) { return MoneyToUnits(qsm.FieldByName(QString::fromLatin1(name))->AsFloat()); };
        const TRstHistSums sums{read("Sdt"), read("Sct"), read("Sdtr"), read("Sctr"), read("Sqdt"), read("Sqct")};
        qsm.Close();
        return sums;
    } catch (...) {
        qsm.Close(); // the query is left closed, then the failure goes on
        throw;
    }
}

std::unique_ptr<TQrs> MakeTotalsPrintout(const TRstTotalsPrint &s)
{
    if (!s.TabRes || !s.TabRes->Active() || s.TabRes->IsEmpty())
        return nullptr;
    QString start, end;
    PeriodTexts(s.FromDate, s.ToDate, s.Repaint, start, end);
    const int unit = s.Unit == 0 ? 0 : s.Unit == 1 ? 3 : 6;
    TDataSet &tab = *s.TabRes;
    if (tab.FieldCount() < unit + 5)
        return nullptr;
    const int64_t opening = s.Opening[unit / 3];

    int64_t in = 0, out = 0;
    {
        TControlsOff quiet(tab);
        const TBookmark kept = tab.GetBookmark();
        // A row that cannot be read ends the printout (its sums would be
        // wrong); the controls come back on with `quiet`.
        for (tab.First(); !tab.Eof(); tab.Next()) {
            in += MoneyToUnits(tab.Fields()[unit + 2]->AsFloat());
            out += MoneyToUnits(tab.Fields()[unit + 3]->AsFloat());
        }
        try {
            tab.GotoBookmark(kept);
        } catch (const Exception &) {
            // The row is gone; the position stays where the summing ended.
        }
    }
    const int64_t closing = opening + in - out;

    // The report runs on its own thread while the window stays on screen
    // under the preview, and its grid goes on painting TabRes (which moves
    // TabRes's active record): the run walks a snapshot of the rows instead,
    // which nothing else touches.
    auto rows = std::make_unique<TVemtMemTable>();
    SnapshotDataSet(tab, *rows);
    auto r = std::make_unique<TQrs>(rows.get());
    r->Rows = std::move(rows);
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
    PeriodTexts(s.FromDate, s.ToDate, s.Repaint, start, end);
    const int64_t b = s.Opening[0], by = s.Opening[1], bq = s.Opening[2];
    // A sums query that cannot be read ends the printout: its balances would read 0.
    const TRstHistSums sums = s.ReadSums ? s.ReadSums() : TRstHistSums{};
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

    if (const TField *date = qhs.FindField(QStringLiteral("date_real")))
        r->RepDBDate->Mask = date->DisplayFormat();

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
    // On this thread: the list reads its rows by key as the run reaches them.
    RunAndFree([&] { return MakeHistPrintout(state); }, false);
}

void PrintDyn(const TRstDynPrint &state)
{
    RunAndFree([&] { return MakeDynPrintout(state); }, false);
}

} // namespace zorbel
