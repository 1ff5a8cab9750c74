// The band list: print order whatever order the bands were added in, each
// band once, child bands after their parents, the rotation, the stacking on
// the design surface.
#include "RepReportSupport.h"

#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

QStringList Names(TCustomBandReport &r)
{
    QStringList out;
    for (const TRepCustomBand *b : r.BandList())
        out << b->Name;
    return out;
}

TRepCustomBand &Named(TCustomBandReport &r, std::unique_ptr<TRepCustomBand> band, const char *name)
{
    band->Name = QString::fromLatin1(name);
    return r.AddBand(std::move(band));
}

TEST(RepBandList, BandsAreListedInPrintOrderEachOnce)
{
    TBandReport r;
    // Added in a jumbled order.
    Named(r, Band(rbPageFooter, 50), "PageFooter");
    Named(r, Band(rbSummary, 50), "Summary");
    auto &footer = static_cast<TRepBand &>(Named(r, Band(rbGroupFooter, 50), "GroupFooter"));
    Named(r, Band(rbDetail, 50), "Detail");
    auto group = std::make_unique<TRepGroup>();
    group->FooterBand = &footer;
    Named(r, std::move(group), "Group");
    Named(r, Band(rbTitle, 50), "Title");
    Named(r, Band(rbPageHeader, 50), "PageHeader");
    EXPECT_EQ(Names(r), QStringList({"PageHeader", "Title", "Group", "Detail", "GroupFooter", "Summary", "PageFooter"}));

    // A child follows its parent; a band of no place in the order comes last.
    auto child = std::make_unique<TRepChildBand>();
    child->Name = QStringLiteral("DetailChild");
    ASSERT_TRUE(child->SetParentBand(r.BandOfType(rbDetail)));
    r.AddBand(std::move(child));
    Named(r, Band(rbOverlay, 50), "Overlay");
    EXPECT_EQ(Names(r), QStringList({"PageHeader", "Title", "Group", "Detail", "DetailChild", "GroupFooter", "Summary",
                                     "PageFooter", "Overlay"}));

    r.BandListRotation = 2;
    EXPECT_EQ(Names(r).mid(0, 2), QStringList({"Group", "Detail"}));
    EXPECT_EQ(Names(r).mid(7), QStringList({"PageHeader", "Title"}));
}

TEST(RepBandList, BandsStackUnderEachOtherFromTheTopMarginInListOrder)
{
    TBandReport r;
    r.Page.Values[TRepPage::iTopMargin] = 254;  // 96 px
    r.Page.Values[TRepPage::iLeftMargin] = 127; // 48 px
    TRepBand &detail = r.AddBand(Band(rbDetail, 254));
    TRepBand &title = r.AddBand(Band(rbTitle, 508)); // 192 px, listed before the detail
    TRepBand &summary = r.AddBand(Band(rbSummary, 127, 1270));
    r.ArrangeBands();
    EXPECT_EQ(title.Bounds(), QRect(48, 96, 718, 192));
    EXPECT_EQ(detail.Bounds().top(), 96 + 192);
    EXPECT_EQ(detail.Bounds().left(), 48);
    EXPECT_EQ(summary.Bounds().top(), detail.Bounds().bottom() + 1);
    EXPECT_EQ(summary.Bounds().size(), QSize(480, 48));
    EXPECT_TRUE(title.BandRect.isNull()) << "the print rectangle is the run's, not the surface's";
}

} // namespace
} // namespace zorbel::test
