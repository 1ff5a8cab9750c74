// The band list: print order whatever order the bands were added in, each
// band once, child bands after their parents, the rotation, the stacking on
// the design surface, and names of new bands.
#include "RepReportSupport.h"

#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

QStringList Names(const TCustomBandReport &r)
{
    QStringList out;
    for (const TRepCustomBand *b : r.BandList)
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
    r.RebuildBandList();
    EXPECT_EQ(Names(r).mid(0, 2), QStringList({"Group", "Detail"}));
    EXPECT_EQ(Names(r).mid(7), QStringList({"PageHeader", "Title"}));
    r.BandListRotation = 0;
    r.UnregisterBand(r.BandOfType(rbOverlay));
    EXPECT_FALSE(Names(r).contains("Overlay"));
}

TEST(RepBandList, BandsStackUnderEachOtherFromTheTopMarginAndGetFreeNames)
{
    TBandReport r;
    r.Page.Values[TRepPage::iTopMargin] = 254;  // 96 px
    r.Page.Values[TRepPage::iLeftMargin] = 127; // 48 px
    TRepBand &title = r.CreateBand(rbTitle);
    title.Size.Length = 508; // 192 px
    TRepBand &detail = r.CreateBand(rbDetail);
    detail.Size.Length = 254;
    TRepBand &second = r.CreateBand(rbDetail);
    r.ArrangeBands();
    EXPECT_EQ(title.BandRect.top(), 96);
    EXPECT_EQ(title.BandRect.left(), 48);
    EXPECT_EQ(title.BandRect.height(), 192);
    EXPECT_EQ(detail.BandRect.top(), 96 + 192);
    EXPECT_EQ(second.BandRect.top(), detail.BandRect.bottom() + 1);
    EXPECT_NE(detail.Name, second.Name);
    EXPECT_TRUE(detail.Name.endsWith(u'1'));
    EXPECT_TRUE(second.Name.endsWith(u'2'));
    EXPECT_EQ(r.UniqueComponentName(title.Name.chopped(1)), title.Name.chopped(1) + u'2');
}

} // namespace
} // namespace zorbel::test
