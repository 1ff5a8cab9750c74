// The report's band list and its design-time arrangement.
//
// BandList is rebuilt from the kinds of the bands and the main controller:
// page headers, titles, column headers, then what the controller prints
// (its header, group headers, the bands of the controllers before the
// detail, the detail, those after it, group footers innermost first, its
// footer), page footers, and last every band not reached so far. A band
// brings its chain of child bands along; a band reached twice (the title is
// both a title and the controller's header) is listed once.
#include "report/RepReport.h"

#include <algorithm>
#include <cmath>

namespace zorbel {

void TRepCustomController::AddBands() {}

void TRepController::AddBands()
{
    Report->AddToBandList(HeaderBand);
    for (TRepGroup *g : Groups)
        Report->AddToBandList(g);
    for (TRepCustomController *c : BeforeList)
        c->AddBands();
    Report->AddToBandList(DetailBand);
    for (TRepCustomController *c : AfterList)
        c->AddBands();
    for (auto g = Groups.rbegin(); g != Groups.rend(); ++g)
        Report->AddToBandList((*g)->FooterBand);
    Report->AddToBandList(FooterBand);
}

void TCustomBandReport::AddToBandList(TRepCustomBand *band)
{
    for (; band; band = band->ChildBand())
        if (std::find(BandList.begin(), BandList.end(), band) == BandList.end())
            BandList.push_back(band);
}

void TCustomBandReport::RebuildBandList()
{
    const std::vector<TRepCustomBand *> old = std::move(BandList);
    BandList.clear();
    // The bands the main controller prints, by kind (as a run assigns them).
    MainController.Report = this;
    MainController.HeaderBand = BandOfType(rbTitle);
    MainController.DetailBand = BandOfType(rbDetail);
    MainController.FooterBand = BandOfType(rbSummary);
    MainController.Prepare();
    const auto addKind = [this](TRepBandType type) {
        for (const auto &b : bands_)
            if (b->BandType == type)
                AddToBandList(b.get());
    };
    addKind(rbPageHeader);
    addKind(rbTitle);
    addKind(rbColumnHeader);
    MainController.AddBands();
    addKind(rbPageFooter);
    for (TRepCustomBand *b : old)
        AddToBandList(b);
    for (const auto &b : bands_) // bands no list held yet
        AddToBandList(b.get());
    if (!BandList.empty())
        std::rotate(BandList.begin(), BandList.begin() + std::ptrdiff_t(BandListRotation % BandList.size()),
                    BandList.end());
}

void TCustomBandReport::RegisterBand(TRepCustomBand *band)
{
    if (std::find(BandList.begin(), BandList.end(), band) == BandList.end())
        BandList.push_back(band);
    RebuildBandList();
    ArrangeBands();
}

void TCustomBandReport::UnregisterBand(TRepCustomBand *band)
{
    RebuildBandList();
    // The band is leaving the report: it stays out of the list.
    BandList.erase(std::remove(BandList.begin(), BandList.end(), band), BandList.end());
    ArrangeBands();
}

void TCustomBandReport::ArrangeBands()
{
    const auto px = [this](bool horizontal, double native) {
        return int(std::lround(Page.FromNative(TRepUnit::Pixels, horizontal, native)));
    };
    int top = px(false, Page.Values[TRepPage::iTopMargin]);
    const int left = px(true, Page.Values[TRepPage::iLeftMargin]);
    for (TRepCustomBand *b : BandList) {
        const int height = px(false, b->Size.Length);
        b->BandRect = QRect(left, top, px(true, b->Size.Width), height);
        top += height;
    }
}

QString TCustomBandReport::UniqueComponentName(const QString &base) const
{
    const auto taken = [this](const QString &name) {
        for (const auto &b : bands_) {
            if (b->Name.compare(name, Qt::CaseInsensitive) == 0)
                return true;
            for (const auto &p : b->Printables())
                if (p->Name.compare(name, Qt::CaseInsensitive) == 0)
                    return true;
        }
        for (const auto &p : printables_)
            if (p->Name.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    for (int n = 1;; ++n)
        if (const QString name = base + QString::number(n); !taken(name))
            return name;
}

TRepBand &TCustomBandReport::CreateBand(TRepBandType type)
{
    auto band = std::make_unique<TRepBand>(type);
    band->Name = UniqueComponentName(RepBandNameBase(type));
    return AddBand(std::move(band));
}

} // namespace zorbel
