// The data grid while its dataset changes under it: typed text in the
// in-place editor reaches the record before the dataset posts or moves, and
// rows deleted, emptied or a dataset reopened leave a usable grid.
#include "../dataset/DataSetTestSupport.h"

#include "platform/widgets/DBGrids.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QLineEdit>

namespace zorbel {
namespace {

struct PeopleGrid : ::testing::Test {
    test::People people;
    TDataSource source{&people};
    TForm form;
    TDBGrid *grid = nullptr;

    void SetUp() override
    {
        people.Open();
        people.FillNumbered(30);
        people.First();
        form.resize(400, 200);
        grid = new TDBGrid(&form, QStringLiteral("DBGPerson"));
        grid->SetAlign(TAlign::alClient);
        grid->SetDataSource(&source);
        form.show();
        QApplication::processEvents();
        grid->SetSelectedField(people.FieldByName(QStringLiteral("Name")));
        grid->SetFocus();
    }
    QString Name() const { return people.FieldByName(QStringLiteral("Name"))->AsString(); }
    // Types text into a freshly opened editor as the user does.
    QLineEdit *TypeIntoEditor(const QString &text)
    {
        SendKey(grid->View(), Qt::Key_F2);
        auto *edit = qobject_cast<QLineEdit *>(grid->InplaceEditor());
        if (!edit)
            return nullptr;
        edit->selectAll();
        for (QChar c : text)
            SendKey(edit, 0, Qt::NoModifier, QString(c));
        return edit;
    }
};

TEST_F(PeopleGrid, TypedTextReachesTheRecordWhenTheDatasetPostsOrMoves)
{
    // A post from elsewhere (a tool button that takes no focus) takes the text.
    ASSERT_NE(TypeIntoEditor(QStringLiteral("Ян")), nullptr);
    EXPECT_EQ(people.State(), dsEdit);
    people.Post();
    EXPECT_EQ(Name(), QStringLiteral("Ян"));

    grid->SetEditorMode(false);

    // A move from elsewhere posts the text into the record it was typed on.
    people.First();
    grid->SetSelectedField(people.FieldByName(QStringLiteral("Name")));
    ASSERT_NE(TypeIntoEditor(QStringLiteral("Ив")), nullptr);
    people.Next();
    EXPECT_EQ(people.State(), dsBrowse);
    EXPECT_EQ(people.Id(), 2);
    EXPECT_EQ(Name(), QStringLiteral("N2"));
    people.First();
    EXPECT_EQ(Name(), QStringLiteral("Ив"));
    // Nothing of it ends up in the row the cursor went to.
    if (QWidget *editor = grid->InplaceEditor())
        SendKey(editor, Qt::Key_Return);
    people.CheckBrowseMode();
    people.Next();
    EXPECT_EQ(Name(), QStringLiteral("N2"));
}

TEST_F(PeopleGrid, EnterSwallowedByTheGridsKeyPressPostsTheTypedText)
{
    // The reference pages consume Enter in their grids and post the table
    // when it is editing.
    grid->OnKeyPress = [&](TObject *, QChar &key) {
        if (key != QChar(u'\r'))
            return;
        key = QChar();
        if (people.State() == dsEdit || people.State() == dsInsert)
            people.Post();
    };
    QLineEdit *edit = TypeIntoEditor(QStringLiteral("Ада"));
    ASSERT_NE(edit, nullptr);
    SendKey(edit, Qt::Key_Return);
    EXPECT_EQ(people.State(), dsBrowse);
    EXPECT_EQ(Name(), QStringLiteral("Ада"));
}

TEST_F(PeopleGrid, DeletingEmptyingAndReopeningUnderTheGrid)
{
    ASSERT_NE(TypeIntoEditor(QStringLiteral("Z")), nullptr);
    people.Cancel();
    if (QWidget *editor = grid->InplaceEditor())
        SendKey(editor, Qt::Key_Escape);
    people.Delete();
    EXPECT_EQ(people.Id(), 2);
    EXPECT_EQ(grid->View()->model()->index(0, 0).data().toInt(), 2);
    grid->grab();

    grid->SetOptions(grid->Options() + TDBGridOptions{dgMultiSelect});
    grid->SelectedRows().SetCurrentRowSelected(true);
    people.Delete();
    grid->SelectedRows().Refresh();
    EXPECT_EQ(grid->SelectedRows().Count(), 0);

    while (!people.IsEmpty())
        people.Delete();
    EXPECT_EQ(grid->View()->model()->rowCount(), 0);
    grid->grab();
    SendKey(grid->View(), Qt::Key_Down);
    SendKey(grid->View(), Qt::Key_F2);
    EXPECT_EQ(grid->InplaceEditor(), nullptr);

    people.AddRow(7, QStringLiteral("Семь"), 1);
    people.Close();
    people.Open();
    EXPECT_EQ(grid->View()->model()->rowCount(), 1);
    EXPECT_EQ(grid->View()->model()->index(0, 1).data().toString(), QStringLiteral("Семь"));
    grid->grab();
}

TEST_F(PeopleGrid, AColumnWhoseFieldIsGoneStaysEmptyAndUneditable)
{
    QString layout = QStringLiteral("ID=40\r\nName=90\r\nAmount=60");
    ApplyColumnLayout(grid, true, layout);
    ASSERT_EQ(grid->Columns().Count(), 3);
    grid->Columns()[1]->SetFieldName(QStringLiteral("Gone"));
    grid->SetSelectedIndex(1);
    EXPECT_EQ(grid->View()->model()->index(0, 1).data().toString(), QString());
    grid->grab();
    SendKey(grid->View(), Qt::Key_F2);
    SendKey(grid->View(), 0, Qt::NoModifier, QStringLiteral("q"));
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(people.State(), dsBrowse);
    grid->Columns().Delete(1);
    EXPECT_EQ(grid->View()->model()->columnCount(), 2);
    grid->grab();
}

TEST_F(PeopleGrid, DraggingATitleEndsWithATitleClickOnTheMovedColumn)
{
    // As with the class library's grid, the release after a column drag is
    // also a title click; windows that sort on title clicks skip that one.
    QStringList log;
    grid->OnColumnMoved = [&](TObject *, int from, int to) { log << QStringLiteral("moved %1 %2").arg(from).arg(to); };
    grid->OnTitleClick = [&](TObject *, TColumn *column) { log << QStringLiteral("title ") + column->FieldName(); };
    QHeaderView *header = grid->View()->horizontalHeader();
    QWidget *vp = header->viewport();
    auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, vp->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    };
    const int y = header->height() / 2;
    const QPoint from(header->sectionViewportPosition(0) + 5, y);
    const QPoint to(header->sectionViewportPosition(2) + header->sectionSize(2) - 3, y);
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    mouse(QEvent::MouseMove, from + QPoint(30, 0), Qt::LeftButton);
    mouse(QEvent::MouseMove, to, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    EXPECT_EQ(log, (QStringList{"moved 0 2", "title ID"}));
    EXPECT_EQ(grid->Columns()[2]->FieldName(), QStringLiteral("ID"));

    // A plain click is one title click.
    log.clear();
    const QPoint name(header->sectionViewportPosition(0) + 5, y);
    mouse(QEvent::MouseButtonPress, name, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, name, Qt::NoButton);
    EXPECT_EQ(log, QStringList{QStringLiteral("title Name")});
}

} // namespace
} // namespace zorbel
