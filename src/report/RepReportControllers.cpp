// The report's controllers: the detail loop over a dataset, its groups and
// sub-details, the band switches, and the query parameters a run fills in.
#include "report/RepReport.h"
#include "report/RepReportUnit.h"

#include "platform/dataset/DataSet.h"
#include "platform/rtl/Format.h"
#include "platform/sqltable/Query.h"

#include <algorithm>

namespace zorbel {

// ---- controllers ----

void TRepCustomController::Prepare()
{
    BeforeList.clear();
    AfterList.clear();
    Groups.clear();
    void *ref = CheckReference ? CheckReference : Report;
    // A band or group without a master belongs to the report.
    auto mine = [&](void *master) { return master == ref || (!master && ref == Report); };
    for (const auto &b : Report->Bands()) {
        if (auto *c = dynamic_cast<TRepControllerBand *>(b.get()); c && c != ref && mine(c->Master())) {
            c->Controller.Report = Report;
            (c->Controller.PrintBefore ? BeforeList : AfterList).push_back(&c->Controller);
            c->Controller.Prepare();
        }
        if (auto *g = dynamic_cast<TRepGroup *>(b.get()); g && mine(g->Master))
            Groups.push_back(g);
    }
    CollectDataSet();
}

void TRepCustomController::DiscardGroups()
{
    for (TRepGroup *g : Groups)
        if (g->Evaluator.IsCompiled())
            g->Evaluator.Discard();
    for (TRepCustomController *c : BeforeList)
        c->DiscardGroups();
    for (TRepCustomController *c : AfterList)
        c->DiscardGroups();
}

void TRepController::PrepareRun()
{
    TRepCustomController::PrepareRun();
    RefreshParams = false;
    if (auto *q = dynamic_cast<TQuery *>(DataSet))
        for (int i = 0; i < q->ParamCount(); ++i)
            RefreshParams = RefreshParams || Report->Functions.IndexOf(q->Params()[i]->Name().toUpper()) >= 0;
}

void UpdateQueryParams(TDataSet &dataSet, TRepEvEnvironment &env)
{
    auto *q = dynamic_cast<TQuery *>(&dataSet);
    if (!q)
        return;
    q->Close();
    for (int i = 0; i < q->ParamCount(); ++i) {
        TParam &p = *q->Params()[i];
        if (env.IndexOf(p.Name()) < 0)
            continue;
        const TRepEvValue v = env.GetVariableValue(p.Name());
        switch (p.DataType()) {
        case ftString: case ftFixedChar: case ftWideString:
            if (v.Kind == TRepEvKind::String)
                p.SetAsString(v.Text);
            break;
        case ftSmallint: case ftInteger: case ftWord:
            if (v.Kind == TRepEvKind::Integer)
                p.SetValue(Variant(int(v.IntValue)));
            break;
        case ftBoolean:
            if (v.Kind == TRepEvKind::Boolean)
                p.SetValue(Variant(v.BoolValue));
            break;
        case ftFloat: case ftCurrency: case ftBCD:
            if (v.Kind == TRepEvKind::Float)
                p.SetValue(Variant(v.FloatValue));
            break;
        case ftDate:
            if (v.Kind == TRepEvKind::String)
                p.SetValue(Variant::FromDate(StrToDate(v.Text)));
            break;
        case ftTime:
            if (v.Kind == TRepEvKind::String)
                p.SetValue(Variant::FromDate(StrToTime(v.Text)));
            break;
        case ftDateTime:
            if (v.Kind == TRepEvKind::String)
                p.SetValue(Variant::FromDate(StrToDateTime(v.Text)));
            break;
        default: break;
        }
    }
    q->Open();
}

void TRepController::CollectDataSet()
{
    std::vector<TDataSet *> *list = Report->DataSetList;
    if (list && DataSet && DataSet->Active() && std::find(list->begin(), list->end(), DataSet) == list->end())
        list->push_back(DataSet);
}

// ---- controller bands ----

TRepControllerBand::TRepControllerBand(TRepBandType type) : TRepCustomBand(type)
{
    Controller.CheckReference = this;
    Controller.DetailBand = this;
}

bool TRepControllerBand::SetMaster(void *master)
{
    for (void *m = master; m;) {
        if (m == this)
            return RefuseCircularLink(Report);
        // Only controller bands have masters of their own; the report ends the chain.
        auto *band = static_cast<TRepCustomBand *>(m);
        bool isBand = false;
        if (Report)
            for (const auto &b : Report->Bands())
                isBand = isBand || b.get() == band;
        auto *c = isBand ? dynamic_cast<TRepControllerBand *>(band) : nullptr;
        m = c ? c->master_ : nullptr;
    }
    master_ = master;
    return true;
}

void TRepSubDetail::SetHeaderBand(TRepCustomBand *band)
{
    Controller.HeaderBand = band;
    if (band)
        band->BandType = rbGroupHeader;
}

void TRepSubDetail::SetFooterBand(TRepCustomBand *band)
{
    Controller.FooterBand = band;
    if (band)
        band->BandType = rbGroupFooter;
}

void TRepSubDetail::SwitchBand(TRepCustomBand *TRepController::*slot, TRepBandType type, bool on)
{
    TRepCustomBand *band = Controller.*slot;
    if (on == (band != nullptr) || !Report)
        return;
    if (!on) {
        Report->RemoveBand(band);
        return;
    }
    TRepCustomBand &created = Report->CreateBand(type);
    Controller.*slot = &created;
}

// ---- band switches ----

TRepCustomBand *TBandReportBands::GetBand(int n) const
{
    static constexpr TRepBandType kTypes[] = {rbTitle, rbPageHeader, rbColumnHeader, rbDetail};
    if (n == 5)
        return nullptr;
    const TRepBandType type = n >= 1 && n <= 4 ? kTypes[n - 1] : n == 6 ? rbPageFooter : rbSummary;
    return report_.BandOfType(type);
}

void TBandReportBands::Switch(int n, bool on)
{
    TRepCustomBand *band = GetBand(n);
    if (on && !band) {
        static constexpr TRepBandType kTypes[] = {rbTitle, rbPageHeader, rbColumnHeader, rbDetail, rbSummary,
                                                  rbPageFooter, rbSummary};
        report_.CreateBand(kTypes[n - 1]);
    } else if (!on && band)
        report_.RemoveBand(band);
}

void TRepCustomController::PrepareRun()
{
    Clients.clear();
    for (TRepCustomController *c : BeforeList)
        c->PrepareRun();
    for (TRepCustomController *c : AfterList)
        c->PrepareRun();
    for (TRepGroup *g : Groups) {
        Report->PrepareEvaluator(g->Evaluator, g->Expression);
        g->Evaluated = false;
        g->HeaderPage = 1;
    }
}

void TRepCustomController::PrintEmpty()
{
    RunBeforeList();
    RunAfterList();
}

void TRepCustomController::RunAfterList()
{
    for (TRepCustomController *c : AfterList)
        c->Execute();
}

void TRepCustomController::RunBeforeList()
{
    for (TRepCustomController *c : BeforeList)
        c->Execute();
}

void TRepCustomController::NotifyClients(int code)
{
    for (TRepPrintable *p : Clients)
        p->Notify(*this, code);
}

bool TRepCustomController::CheckGroups()
{
    size_t i = 0;
    for (; i < Groups.size(); ++i) {
        Groups[i]->CheckChange();
        if (Groups[i]->Changed)
            break;
    }
    if (i == Groups.size())
        return false;
    for (size_t k = i + 1; k < Groups.size(); ++k)
        Groups[k]->StoreNow();
    return true;
}

void TRepCustomController::PrintGroupHeaders()
{
    for (TRepGroup *g : Groups)
        if (g->Changed)
            g->PrintHeader();
}

void TRepCustomController::PrintGroupFooters()
{
    for (auto it = Groups.rbegin(); it != Groups.rend(); ++it)
        if ((*it)->Changed)
            (*it)->PrintFooter();
}

void TRepCustomController::InvertGroupChanges()
{
    for (TRepGroup *g : Groups)
        g->Changed = !g->Changed;
}

void TRepCustomController::ReprintGroupHeaders()
{
    for (TRepGroup *g : Groups)
        if (g->Changed)
            return;
    for (TRepCustomController *c : BeforeList)
        c->ReprintGroupHeaders();
    bool marked = false;
    for (size_t i = 0; i < Groups.size(); ++i) {
        Groups[i]->CheckReprint();
        if (Groups[i]->Changed) {
            for (size_t k = i + 1; k < Groups.size(); ++k)
                Groups[k]->StoreNow();
            marked = true;
            break;
        }
    }
    if (marked) {
        PrintGroupHeaders();
        // The reprint is not a group break: the next record compares afresh.
        for (TRepGroup *g : Groups)
            g->Changed = false;
    }
    for (TRepCustomController *c : AfterList)
        c->ReprintGroupHeaders();
}

void TRepController::PrintEmpty()
{
    Report->PrintBand(HeaderBand);
    RunBeforeList();
    Report->PrintBand(DetailBand);
    RunAfterList();
    Report->PrintBand(FooterBand);
}

void TRepController::Execute()
{
    for (TRepGroup *g : Groups)
        g->Evaluated = false;
    const bool active = DataSet && DataSet->Active();
    if ((!active && !OnNeedData) || !Report) {
        if (PrintIfEmpty)
            PrintEmpty();
        return;
    }
    const bool main = this == &Report->MainController;
    bool moreData = true;
    int recordTotal = 1;
    if (active) {
        if (RefreshParams)
            UpdateQueryParams(*DataSet, Report->Functions);
        DataSet->First();
        moreData = !DataSet->Eof();
        if (auto *br = dynamic_cast<TBandReport *>(Report))
            recordTotal = br->RecordTotal();
        if (!moreData && PrintIfEmpty)
            PrintEmpty();
    } else
        OnNeedData(moreData);
    DetailNumber = 0;
    if (DetailBand)
        DetailBand->PrintingController = this;
    if (!moreData)
        return;
    if (OnMainThread())
        QCoreApplication::processEvents();
    if (Report->RunCancelled)
        return;
    Report->PrintBand(HeaderBand);
    if (main)
        Report->SkipNextForcedPage = true;
    TRepCustomBand *columnHeader = Report->BandOfType(rbColumnHeader);
    if ((Report->CurrentPage <= 1 || Report->InCompositeRun) && main && columnHeader && columnHeader->Enabled) {
        Report->PrintBand(columnHeader);
        Report->SkipNextForcedPage = true;
    }
    CheckGroups();
    while (moreData) {
        if (OnMainThread())
            QCoreApplication::processEvents();
        if ((Report->RepPrinter && Report->RepPrinter->Cancelled()) || Report->RunCancelled)
            return;
        ++DetailNumber;
        PrintGroupHeaders();
        RunBeforeList();
        Report->PrintBand(DetailBand);
        // Once a record has printed, a forced break is no longer the one
        // right after the title: it is honoured.
        if (main)
            Report->SkipNextForcedPage = false;
        RunAfterList();
        if (active) {
            DataSet->Next();
            moreData = !DataSet->Eof();
        } else {
            moreData = false;
            OnNeedData(moreData);
        }
        if (CheckGroups()) {
            if (active)
                DataSet->Prior();
            PrintGroupFooters();
            if (active)
                DataSet->Next();
        }
        if (active && dynamic_cast<TBandReport *>(Report) && DataSet == Report->MainController.DataSet &&
            recordTotal != 0 && Report->RepPrinter)
            Report->RepPrinter->SetProgress(DetailNumber * 100 / recordTotal);
    }
    InvertGroupChanges();
    PrintGroupFooters();
    if (FooterBand) {
        if (Report->CurrentPage == 0)
            Report->NewPage();
        if (FooterBand->Size.Length > Report->SpaceLeft() && !Report->AtColumnStart())
            Report->NewColumn();
        Report->PrintBand(FooterBand);
    }
}


} // namespace zorbel
