// The report's band list and its design-time arrangement.
//
// The list follows the kinds of the bands and the main controller: page
// headers, titles, column headers, then what the controller prints (its
// header, group headers, the bands of the controllers before the detail,
// the detail, those after it, group footers innermost first, its footer),
// page footers, and last every band not reached so far, in the order the
// report holds them. A band brings its chain of child bands along; a band
// reached twice (the title is both a title and the controller's header) is
// listed once.
#include "report/RepReport.h"

#include <algorithm>
#include <cmath>

namespace zorbel {

namespace {

class TBandListBuilder {
public:
    std::vector<TRepCustomBand *> List;

    // Appends band and its chain of child bands, each once.
    void Add(TRepCustomBand *band)
    {
        for (; band; band = band->ChildBand())
            if (std::find(List.begin(), List.end(), band) == List.end())
                List.push_back(band);
    }
    // What a controller prints, in print order; a controller of a
    // sub-detail lists its header, its own band and its footer.
    void AddController(TRepCustomController &controller)
    {
        auto *c = dynamic_cast<TRepController *>(&controller);
        if (c)
            Add(c->HeaderBand);
        for (TRepGroup *g : controller.Groups)
            Add(g);
        for (TRepCustomController *before : controller.BeforeList)
            AddController(*before);
        if (c)
            Add(c->DetailBand);
        for (TRepCustomController *after : controller.AfterList)
            AddController(*after);
        for (auto g = controller.Groups.rbegin(); g != controller.Groups.rend(); ++g)
            Add((*g)->FooterBand);
        if (c)
            Add(c->FooterBand);
    }
};

} // namespace

std::vector<TRepCustomBand *> TCustomBandReport::BandList()
{
    TBandListBuilder b;
    // The bands the main controller prints, by kind (as a run assigns them).
    MainController.Report = this;
    MainController.HeaderBand = BandOfType(rbTitle);
    MainController.DetailBand = BandOfType(rbDetail);
    MainController.FooterBand = BandOfType(rbSummary);
    MainController.Prepare();
    const auto addKind = [&](TRepBandType type) {
        for (const auto &band : bands_)
            if (band->BandType == type)
                b.Add(band.get());
    };
    addKind(rbPageHeader);
    addKind(rbTitle);
    addKind(rbColumnHeader);
    b.AddController(MainController);
    addKind(rbPageFooter);
    for (const auto &band : bands_)
        b.Add(band.get());
    if (!b.List.empty())
        std::rotate(b.List.begin(), b.List.begin() + std::ptrdiff_t(BandListRotation % b.List.size()), b.List.end());
    return b.List;
}

void TCustomBandReport::ArrangeBands()
{
    const auto px = [this](bool horizontal, double native) {
        return int(std::lround(Page.FromNative(TRepUnit::Pixels, horizontal, native)));
    };
    int top = px(false, Page.Values[TRepPage::iTopMargin]);
    const int left = px(true, Page.Values[TRepPage::iLeftMargin]);
    for (TRepCustomBand *band : BandList()) {
        const int height = px(false, band->Size.Length);
        band->BandRect = QRect(left, top, px(true, band->Size.Width), height);
        top += height;
    }
}

} // namespace zorbel
