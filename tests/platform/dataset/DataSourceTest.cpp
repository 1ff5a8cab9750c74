#include "DataSetTestSupport.h"

using namespace zorbel;
using namespace zorbel::test;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

struct Fixture {
    People ds;
    TDataSource source{&ds};
    RecordingLink link;
    std::vector<std::string> sourceLog;
    Fixture()
    {
        link.SetDataSource(&source);
        source.OnStateChange = [this](TDataSource *s) {
            sourceLog.push_back("State:" + std::to_string(static_cast<int>(s->State())));
        };
        source.OnDataChange = [this](TDataSource *, TField *f) {
            sourceLog.push_back(f ? "Data:" + f->FieldName().toStdString() : "Data");
        };
    }
};

} // namespace

TEST(DataLinks, FollowOpenEditPostAndClose)
{
    Fixture f;
    f.ds.Open();
    EXPECT_THAT(f.link.Take(), ElementsAre("Active"));
    EXPECT_THAT(std::exchange(f.sourceLog, {}), ElementsAre("State:1", "Data"));
    f.ds.FillNumbered(2);
    f.ds.First();
    f.link.Take();
    f.sourceLog.clear();

    f.ds.Edit();
    EXPECT_THAT(f.link.Take(), ElementsAre("CheckBrowseMode", "Editing", "RecordChanged"));
    f.ds.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("x"));
    EXPECT_THAT(f.link.Take(), ElementsAre("RecordChanged:Name"));
    f.ds.Post();
    EXPECT_THAT(f.link.Take(), ElementsAre("UpdateData", "CheckBrowseMode", "NotEditing", "DataSetChanged"));
    EXPECT_THAT(f.sourceLog, ElementsAre("State:2", "Data", "Data:Name", "State:1", "Data"));

    f.ds.Close();
    EXPECT_THAT(f.link.Take(), ElementsAre("Inactive"));
    // A disabled source hides the dataset from its links.
    f.ds.Open();
    f.link.Take();
    f.source.SetEnabled(false);
    EXPECT_THAT(f.link.Take(), ElementsAre("Inactive"));
    f.ds.Next();
    EXPECT_THAT(f.link.Take(), IsEmpty());
}

TEST(DataLinks, SeeAWindowOfTheBufferRingAndScrollIt)
{
    Fixture f;
    f.link.SetBufferCount(3);
    f.ds.Open();
    f.ds.FillNumbered(10);
    f.ds.First();
    f.link.Take();
    EXPECT_EQ(f.link.RecordCount(), 3);
    EXPECT_EQ(f.link.ActiveRecord(), 0);
    f.ds.Next();
    f.ds.Next();
    EXPECT_EQ(f.link.ActiveRecord(), 2);
    EXPECT_THAT(f.link.Take(), ElementsAre("CheckBrowseMode", "Scrolled", "CheckBrowseMode", "Scrolled"));
    EXPECT_THAT(f.link.scrolls, ElementsAre(0, 0));
    f.link.scrolls.clear();
    f.ds.Next(); // past the window: the ring and the view move by one row
    EXPECT_EQ(f.link.ActiveRecord(), 2);
    EXPECT_EQ(f.ds.Id(), 4);
    EXPECT_THAT(f.link.scrolls, ElementsAre(1));
    // Reading the rows of the window as a grid does.
    std::vector<int> window;
    const int active = f.link.ActiveRecord();
    for (int i = 0; i < f.link.RecordCount(); ++i) {
        f.link.SetActiveRecord(i);
        window.push_back(f.ds.Id());
    }
    f.link.SetActiveRecord(active);
    EXPECT_THAT(window, ElementsAre(2, 3, 4));
    EXPECT_EQ(f.ds.Id(), 4);
    f.ds.Next();
    EXPECT_EQ(f.ds.Id(), 5);
}

TEST(DataLinks, NestedDisableControlsSuppressEventsUntilTheOutermostEnable)
{
    Fixture f;
    f.ds.Open();
    f.ds.FillNumbered(5);
    f.link.Take();
    f.sourceLog.clear();
    f.ds.DisableControls();
    f.ds.DisableControls();
    EXPECT_TRUE(f.ds.ControlsDisabled());
    f.ds.First();
    f.ds.Next();
    f.ds.Edit();
    f.ds.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("y"));
    f.ds.Post();
    f.ds.EnableControls();
    EXPECT_TRUE(f.ds.ControlsDisabled());
    EXPECT_THAT(f.link.Take(), IsEmpty());
    EXPECT_THAT(f.sourceLog, IsEmpty());
    f.ds.EnableControls();
    EXPECT_FALSE(f.ds.ControlsDisabled());
    EXPECT_THAT(f.link.Take(), ElementsAre("DataSetChanged"));
    // An extra enable is harmless.
    f.ds.EnableControls();
    EXPECT_THAT(f.link.Take(), IsEmpty());

    // A state change while disabled still reaches the links, and a layout
    // change turns the final event into a layout change.
    f.ds.DisableControls();
    f.ds.FieldByName(QStringLiteral("Name"))->SetVisible(false);
    f.ds.Close();
    EXPECT_THAT(f.link.Take(), ElementsAre("Inactive"));
    f.ds.Open();
    EXPECT_THAT(f.link.Take(), ElementsAre("Active"));
    f.ds.EnableControls();
    EXPECT_THAT(f.link.Take(), IsEmpty());
    f.ds.DisableControls();
    f.ds.FieldByName(QStringLiteral("Name"))->SetVisible(true);
    f.ds.EnableControls();
    EXPECT_THAT(f.link.Take(), ElementsAre("LayoutChanged"));
}

TEST(DataLinks, ADestroyedDataSetLeavesItsLinksInactive)
{
    auto ds = std::make_unique<People>();
    TDataSource source(ds.get());
    RecordingLink link;
    link.SetDataSource(&source);
    ds->Open();
    link.Take();
    ds.reset();
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_EQ(source.State(), dsInactive);
    EXPECT_THAT(link.Take(), ElementsAre("Inactive"));
    EXPECT_EQ(link.RecordCount(), 0);
}

TEST(DataLinks, ResizingTheWindowKeepsTheCurrentRecord)
{
    Fixture f;
    f.link.SetBufferCount(5);
    f.ds.Open();
    f.ds.FillNumbered(10);
    f.ds.First();
    f.ds.MoveBy(4);
    EXPECT_EQ(f.link.ActiveRecord(), 4);
    f.link.SetBufferCount(2);
    EXPECT_EQ(f.ds.Id(), 5);
    EXPECT_EQ(f.link.ActiveRecord(), 1);
    EXPECT_EQ(f.link.RecordCount(), 2);
    f.ds.Next();
    EXPECT_EQ(f.ds.Id(), 6);
    f.link.SetBufferCount(6);
    EXPECT_EQ(f.ds.Id(), 6);
    EXPECT_EQ(f.link.RecordCount(), 6);
    std::vector<int> window;
    for (int i = 0; i < f.link.RecordCount(); ++i) {
        f.link.SetActiveRecord(i);
        window.push_back(f.ds.Id());
    }
    EXPECT_EQ(window.front() + 5, window.back());
    EXPECT_LE(window.front(), 6);
    EXPECT_GE(window.back(), 6);

    // A bookmark jump centres the record in the window.
    f.ds.First();
    const TBookmark first = f.ds.GetBookmark();
    f.ds.Last();
    f.ds.GotoBookmark(first);
    EXPECT_EQ(f.ds.Id(), 1);
    f.ds.MoveBy(6);
    const TBookmark seventh = f.ds.GetBookmark();
    f.ds.First();
    f.ds.GotoBookmark(seventh);
    EXPECT_EQ(f.ds.Id(), 7);
    EXPECT_EQ(f.link.ActiveRecord(), 2);
}

TEST(DataLinks, BlockReadingKeepsControlsUninformed)
{
    Fixture f;
    f.ds.Open();
    f.ds.FillNumbered(4);
    f.ds.First();
    f.link.Take();
    f.ds.SetBlockReadSize(10);
    EXPECT_EQ(f.ds.State(), dsBlockRead);
    f.ds.Next();
    f.ds.Next();
    EXPECT_EQ(f.ds.Id(), 3);
    EXPECT_THAT(f.link.Take(), IsEmpty());
    f.ds.SetBlockReadSize(0);
    EXPECT_EQ(f.ds.State(), dsBrowse);
    f.ds.SetBlockReadSize(5);
    f.ds.Close();
    EXPECT_EQ(f.ds.BlockReadSize(), 0);
}
