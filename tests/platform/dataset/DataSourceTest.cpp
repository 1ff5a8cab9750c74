// Data links: following a dataset's events, windows of the buffer ring, disabled controls.
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

// Random walks, edits and deletes checked against a plain vector of ids: the
// current record, Bof/Eof and the link's window must always agree with it.
TEST(DataLinks, RandomOperationsAgreeWithAPlainList)
{
    for (int rows : {1, 2, 4, 7}) {
        SCOPED_TRACE(rows);
        Fixture f;
        f.link.SetBufferCount(rows);
        f.ds.Open();
        std::vector<int> ref;
        for (int i = 1; i <= 12; ++i) {
            f.ds.AddRow(i, QString(), 0);
            ref.push_back(i);
        }
        int nextId = 100;
        int pos = int(ref.size()) - 1; // Append leaves the cursor on the new row
        uint32_t seed = 12345u + uint32_t(rows);
        auto random = [&seed](int n) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 16) % uint32_t(n));
        };
        for (int step = 0; step < 400; ++step) {
            const int op = random(7);
            if (op == 0) {
                f.ds.First();
                pos = 0;
            } else if (op == 1) {
                f.ds.Last();
                pos = int(ref.size()) - 1;
            } else if (op <= 3) {
                const int by = random(11) - 5;
                const int moved = f.ds.MoveBy(by);
                const int target = std::clamp(pos + by, 0, std::max(0, int(ref.size()) - 1));
                EXPECT_EQ(moved, ref.empty() ? 0 : target - pos);
                pos = target;
            } else if (op == 4 && !ref.empty()) {
                f.ds.Delete();
                ref.erase(ref.begin() + pos);
                pos = std::min(pos, int(ref.size()) - 1);
            } else if (op == 5) {
                f.ds.Insert();
                f.ds.FieldByName(QStringLiteral("ID"))->SetAsInteger(nextId);
                f.ds.Post();
                pos = std::max(pos, 0);
                ref.insert(ref.begin() + pos, nextId++);
            } else if (op == 6 && !ref.empty()) {
                const TBookmark here = f.ds.GetBookmark();
                f.ds.MoveBy(random(7) - 3);
                f.ds.GotoBookmark(here);
            }
            ASSERT_EQ(f.ds.IsEmpty(), ref.empty());
            if (ref.empty())
                continue;
            ASSERT_EQ(f.ds.Id(), ref[size_t(pos)]) << "step " << step;
            ASSERT_EQ(f.ds.RecNo(), pos + 1);
            // The window holds consecutive rows around the active one.
            const int active = f.link.ActiveRecord();
            ASSERT_GE(active, 0);
            ASSERT_LT(active, f.link.RecordCount());
            for (int i = 0; i < f.link.RecordCount(); ++i) {
                f.link.SetActiveRecord(i);
                const int at = pos + (i - active);
                ASSERT_GE(at, 0);
                ASSERT_LT(at, int(ref.size()));
                ASSERT_EQ(f.ds.Id(), ref[size_t(at)]) << "step " << step << " row " << i;
            }
            f.link.SetActiveRecord(active);
            ASSERT_EQ(f.link.RecordCount(), std::min(rows, int(ref.size())));
        }
    }
}
