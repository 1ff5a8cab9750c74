// The tree view: node structure and absolute indexes, Russian alphabetical
// sorting, hit tests, label editing with accept and refuse, owner drawing,
// right-click selection, moving nodes and dropping on nodes.
#include "platform/widgets/TreeView.h"

#include "platform/widgets/Forms.h"
#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMimeData>

namespace zorbel {
namespace {

struct TreeFixture : ::testing::Test {
    TForm form;
    TTreeView *tree = nullptr;
    TTreeNode *food = nullptr, *bread = nullptr, *milk = nullptr, *car = nullptr, *fuel = nullptr,
              *transfer = nullptr;

    void SetUp() override
    {
        form.resize(300, 300);
        tree = new TTreeView(&form, QStringLiteral("TvCt"));
        tree->SetAlign(TAlign::alClient);
        TTreeNodes &items = tree->Items();
        items.BeginUpdate();
        food = items.AddObject(nullptr, QStringLiteral("Питание"), 1);
        bread = items.AddChildObject(food, QStringLiteral("Хлеб"), 11);
        milk = items.AddChildObject(food, QStringLiteral("Молоко"), 12);
        car = items.AddObject(food, QStringLiteral("Автомобиль"), 2);
        fuel = items.AddChildObject(car, QStringLiteral("Бензин"), 21);
        transfer = items.AddFirst(food, QStringLiteral("ПЕРЕВОД"));
        transfer->SetData(-1);
        transfer->SetImageIndex(-1);
        items.EndUpdate();
        form.show();
        QApplication::setActiveWindow(&form);
    }
    QStringList Texts() const
    {
        QStringList texts;
        for (int i = 0; i < tree->Items().Count(); ++i)
            texts << tree->Items()[i]->Text();
        return texts;
    }
};

TEST_F(TreeFixture, NodesByAbsoluteIndexAndTheirProperties)
{
    EXPECT_EQ(tree->Items().Count(), 6);
    EXPECT_EQ(Texts(), (QStringList{"ПЕРЕВОД", "Питание", "Хлеб", "Молоко", "Автомобиль", "Бензин"}));
    EXPECT_EQ(fuel->AbsoluteIndex(), 5);
    EXPECT_EQ(tree->Items()[6], nullptr);
    EXPECT_EQ(milk->Level(), 1);
    EXPECT_EQ(milk->Parent(), food);
    EXPECT_EQ(milk->Index(), 1);
    EXPECT_EQ(transfer->Data(), -1);
    EXPECT_EQ(transfer->ImageIndex(), -1);
    EXPECT_EQ(bread->GetNextSibling(), milk);
    EXPECT_EQ(milk->GetNext(), car);
    EXPECT_EQ(tree->Items().Insert(car, QStringLiteral("Жильё"))->AbsoluteIndex(), 4);

    tree->FullExpand();
    EXPECT_TRUE(food->Expanded() && car->Expanded());
    tree->FullCollapse();
    EXPECT_FALSE(food->Expanded() || car->Expanded());

    bread->MoveTo(car, naAddChildFirst);
    EXPECT_EQ(car->GetFirstChild(), bread);
    car->MoveTo(food, naInsert);
    EXPECT_EQ(Texts(), (QStringList{"ПЕРЕВОД", "Автомобиль", "Хлеб", "Бензин", "Питание", "Молоко", "Жильё"}));
    milk->MoveTo(nullptr, naAdd);
    EXPECT_EQ(milk->Level(), 0);
    food->MoveTo(food, naAddChild);
    EXPECT_EQ(food->Level(), 0) << "a node cannot move into itself";
    car->Delete();
    EXPECT_EQ(Texts(), (QStringList{"ПЕРЕВОД", "Питание", "Жильё", "Молоко"}));
    tree->Items().Clear();
    EXPECT_EQ(tree->Items().Count(), 0);
}

TEST_F(TreeFixture, AlphabeticalSortFollowsTheRussianOrderAndKeepsState)
{
    TTreeNodes &items = tree->Items();
    items.AddChild(food, QStringLiteral("ёлочные игрушки"));
    items.AddChild(food, QStringLiteral("Еда"));
    items.AddChild(food, QStringLiteral("Яйца"));
    items.AddChild(food, QStringLiteral("жир"));
    food->SetExpanded(true);
    tree->SetSelected(milk);
    tree->AlphaSort();
    EXPECT_EQ(Texts(), (QStringList{"Автомобиль", "Бензин", "ПЕРЕВОД", "Питание", "Еда", "ёлочные игрушки", "жир",
                                    "Молоко", "Хлеб", "Яйца"}));
    EXPECT_TRUE(food->Expanded());
    EXPECT_EQ(tree->Selected(), milk);

    tree->SetSortType(TSortType::stText);
    items.AddChild(car, QStringLiteral("Арматура"));
    EXPECT_EQ(car->GetFirstChild()->Text(), QStringLiteral("Арматура"));
}

TEST_F(TreeFixture, HitTests)
{
    food->SetExpanded(true);
    QApplication::processEvents();
    const QRect label = bread->DisplayRect(true);
    ASSERT_FALSE(label.isEmpty());
    const int y = label.center().y();
    EXPECT_EQ(tree->GetNodeAt(label.center().x(), y), bread);
    EXPECT_EQ(tree->GetHitTestInfoAt(label.center().x(), y), (THitTests{htOnItem, htOnLabel}));
    EXPECT_EQ(tree->GetHitTestInfoAt(label.right() + 20, y), THitTests{htOnRight});
    EXPECT_EQ(tree->GetNodeAt(label.right() + 20, y), bread) << "the whole row belongs to the node";
    EXPECT_EQ(tree->GetHitTestInfoAt(label.left() - 4, y), THitTests{htOnIndent});
    const QRect foodLabel = food->DisplayRect(true);
    EXPECT_EQ(tree->GetHitTestInfoAt(foodLabel.left() - 4, foodLabel.center().y()), THitTests{htOnButton});

    const QRect last = fuel->DisplayRect(false).isEmpty() ? car->DisplayRect(false) : fuel->DisplayRect(false);
    EXPECT_EQ(tree->GetHitTestInfoAt(10, last.bottom() + 30), THitTests{htNowhere}) << "below the last node";
    EXPECT_EQ(tree->GetNodeAt(10, last.bottom() + 30), nullptr);
    EXPECT_TRUE(tree->GetHitTestInfoAt(tree->viewport()->width() + 5, y).Contains(htToRight));
    EXPECT_TRUE(tree->GetHitTestInfoAt(10, -3).Contains(htAbove));
}

TEST_F(TreeFixture, LabelEditingAsksAcceptsAndRefuses)
{
    QStringList log;
    bool allow = false;
    tree->OnEditing = [&](TObject *, TTreeNode *node, bool &allowEdit) {
        log << QStringLiteral("editing ") + node->Text();
        allowEdit = allow;
    };
    tree->OnEdited = [&](TObject *, TTreeNode *node, QString &s) {
        log << QStringLiteral("edited ") + node->Text() + QStringLiteral("->") + s;
        s = s.trimmed();
        if (s.isEmpty())
            s = node->Text(); // refuse: keep the old text
    };
    EXPECT_FALSE(milk->EditText());
    EXPECT_FALSE(tree->IsEditing());

    allow = true;
    ASSERT_TRUE(milk->EditText());
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("Молоко"));
    editor->setText(QStringLiteral("  Кефир "));
    milk->EndEdit(false);
    EXPECT_EQ(milk->Text(), QStringLiteral("Кефир"));

    ASSERT_TRUE(milk->EditText());
    ASSERT_NE(qobject_cast<QLineEdit *>(QApplication::focusWidget()), nullptr);
    qobject_cast<QLineEdit *>(QApplication::focusWidget())->setText(QStringLiteral("   "));
    milk->EndEdit(false);
    EXPECT_EQ(milk->Text(), QStringLiteral("Кефир")) << "the handler refused";

    // Escape drops the edit without asking; F2 starts one.
    tree->SetSelected(bread);
    tree->setFocus();
    SendKey(tree, Qt::Key_F2);
    ASSERT_TRUE(tree->IsEditing());
    QWidget *f2editor = QApplication::focusWidget();
    ASSERT_NE(f2editor, nullptr);
    SendKey(f2editor, Qt::Key_Escape);
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(bread->Text(), QStringLiteral("Хлеб"));
    EXPECT_EQ(log, (QStringList{"editing Молоко", "editing Молоко", "edited Молоко->  Кефир ", "editing Кефир",
                                "edited Кефир->   ", "editing Хлеб"}));

    tree->SetReadOnly(true);
    EXPECT_FALSE(bread->EditText());
}

// Enter and Escape in the label editor end the edit and nothing else: the
// tree's key events (the main window starts an operation on Enter) and the
// form's default and cancel buttons never see them.
TEST_F(TreeFixture, EnterAndEscapeInTheLabelEditorOnlyEndTheEdit)
{
    auto *ok = new TButton(&form, QStringLiteral("ButOk"));
    ok->SetDefault(true);
    auto *cancel = new TButton(&form, QStringLiteral("ButCancel"));
    cancel->SetCancel(true);
    QStringList log;
    ok->OnClick = [&](TObject *) { log << QStringLiteral("ok"); };
    cancel->OnClick = [&](TObject *) { log << QStringLiteral("cancel"); };
    tree->OnKeyDown = [&](TObject *, WORD &key, TShiftState) { log << QStringLiteral("down %1").arg(key); };
    tree->OnKeyPress = [&](TObject *, QChar &key) { log << QStringLiteral("press %1").arg(key.unicode()); };
    form.show();
    tree->setFocus();

    ASSERT_TRUE(milk->EditText());
    QWidget *editor = QApplication::focusWidget();
    ASSERT_NE(qobject_cast<QLineEdit *>(editor), nullptr);
    qobject_cast<QLineEdit *>(editor)->setText(QStringLiteral("Кефир"));
    SendKey(editor, Qt::Key_Return);
    QApplication::processEvents(); // the view closes its editor by a queued call
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(milk->Text(), QStringLiteral("Кефир"));

    ASSERT_TRUE(bread->EditText());
    editor = QApplication::focusWidget();
    ASSERT_NE(qobject_cast<QLineEdit *>(editor), nullptr);
    qobject_cast<QLineEdit *>(editor)->setText(QStringLiteral("Батон"));
    SendKey(editor, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(bread->Text(), QStringLiteral("Хлеб"));
    EXPECT_TRUE(log.isEmpty()) << log.join(u',').toStdString();

    // Outside an edit the tree has its keys as before.
    ok->SetDefault(false);
    tree->setFocus();
    SendKey(tree, Qt::Key_Return);
    EXPECT_EQ(log, (QStringList{QStringLiteral("down %1").arg(VK_RETURN), QStringLiteral("press 13")}));
}

TEST_F(TreeFixture, LabelEditorTakingTheFocusIsNoExit)
{
    auto *other = new TEdit(&form, QStringLiteral("Other"));
    other->SetAlign(TAlign::alBottom);
    other->show();
    QStringList log;
    tree->OnEnter = [&](TObject *) { log << QStringLiteral("enter"); };
    tree->OnExit = [&](TObject *) {
        log << QStringLiteral("exit");
        if (TTreeNode *node = tree->Selected())
            node->EndEdit(false); // as the main window does: leaving ends the edit, accepting it
    };
    other->SetFocus();
    log.clear();
    tree->setFocus();
    ASSERT_TRUE(milk->EditText());
    qobject_cast<QLineEdit *>(QApplication::focusWidget())->setText(QStringLiteral("Сливки"));
    EXPECT_TRUE(tree->IsEditing());
    other->SetFocus();
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(milk->Text(), QStringLiteral("Сливки"));
    EXPECT_EQ(log, (QStringList{"enter", "exit"}));
}

// A click on the selected node starts its label edit once the double-click
// interval has passed; a double-click does not, neither while its handler
// runs (the main window shows the operation card modally there) nor after.
TEST_F(TreeFixture, ADoubleClickOnTheSelectedNodeStartsNoLabelEdit)
{
    const auto wait = [](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    const auto mouse = [this](QEvent::Type type, Qt::MouseButtons buttons) {
        const QPoint p = tree->visualItemRect(milk).center();
        QWidget *port = tree->viewport();
        QMouseEvent e(type, p, port->mapToGlobal(p), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(port, &e);
    };
    const auto click = [&] {
        mouse(QEvent::MouseButtonPress, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, Qt::NoButton);
    };
    const int oldInterval = QApplication::doubleClickInterval();
    QApplication::setDoubleClickInterval(100);
    const int interval = 250;
    tree->setFocus();
    tree->SetSelected(milk);

    click();
    wait(interval);
    ASSERT_TRUE(tree->IsEditing()) << "a click on the selected node edits its label";
    milk->EndEdit(true);
    ASSERT_FALSE(tree->IsEditing());
    wait(interval); // a press just after an edit ends is not taken as a click on the node

    bool editingInHandler = true;
    int doubleClicks = 0;
    tree->OnDblClick = [&](TObject *) {
        ++doubleClicks;
        wait(interval); // a modal window's loop
        editingInHandler = tree->IsEditing();
    };
    click();
    mouse(QEvent::MouseButtonPress, Qt::LeftButton);
    mouse(QEvent::MouseButtonDblClick, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, Qt::NoButton);
    wait(interval);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_FALSE(editingInHandler);
    EXPECT_FALSE(tree->IsEditing());
    EXPECT_EQ(milk->Text(), QStringLiteral("Молоко"));

    // The next click on the selected node edits again.
    click();
    wait(interval);
    EXPECT_TRUE(tree->IsEditing());
    milk->EndEdit(true);
    QApplication::setDoubleClickInterval(oldInterval);
}

TEST_F(TreeFixture, OwnerDrawingSeesEveryShownNodeWithItsState)
{
    food->SetExpanded(true);
    tree->SetSelected(milk);
    tree->setFocus();
    std::map<QString, TCustomDrawState> seen;
    tree->OnCustomDrawItem = [&](TObject *, TTreeNode *node, TCustomDrawState state, bool &) {
        seen[node->Text()] = state;
        // The program's colours: transfer green, selection without a bar.
        if (node->Data() == -1)
            tree->Canvas().FontColor = RGB(0, 128, 0);
        if (state == cdsSelected || state == (cdsSelected | cdsFocused)) {
            tree->Canvas().Brush.Color = clWindow;
            tree->Canvas().FontColor = clWindowText;
        }
    };
    const QImage image = tree->viewport()->grab().toImage();
    const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
    if (!dir.isEmpty())
        image.save(dir + QStringLiteral("/tree.png"));
    EXPECT_EQ(seen.size(), 5u) << "Бензин is inside a collapsed branch";
    EXPECT_FALSE(seen.count(QStringLiteral("Бензин")));
    EXPECT_TRUE(seen[QStringLiteral("Молоко")] & cdsSelected);
    EXPECT_FALSE(seen[QStringLiteral("Хлеб")] & cdsSelected);
    // No highlight colour anywhere in the selected row.
    const QRect row = milk->DisplayRect(false);
    const QColor highlight = ColorToQColor(clHighlight);
    for (int x = 0; x < row.right(); x += 3)
        ASSERT_NE(image.pixelColor(x, row.center().y()), highlight) << x;
    // With the bar painted away, the focused node is still framed by a
    // dotted line along its label's top edge; an unfocused node is not.
    const auto topEdgeDots = [&](TTreeNode *node) {
        const QRect r = node->DisplayRect(true);
        int dark = 0;
        for (int x = r.left() + 2; x < r.left() + 40; ++x)
            dark += image.pixelColor(x, r.top()) == QColor(Qt::black);
        return dark;
    };
    ASSERT_TRUE(seen[QStringLiteral("Молоко")] & cdsFocused);
    EXPECT_GE(topEdgeDots(milk), 10);
    EXPECT_LE(topEdgeDots(milk), 28) << "a dotted line, not a solid one";
    EXPECT_EQ(topEdgeDots(bread), 0);
    // The transfer node's text is green somewhere in its label.
    const QRect label = transfer->DisplayRect(true);
    bool green = false;
    for (int x = label.left(); x <= label.right() && !green; ++x)
        for (int y = label.top(); y <= label.bottom() && !green; ++y)
            green = image.pixelColor(x, y) == QColor(0, 128, 0);
    EXPECT_TRUE(green);
}

TEST_F(TreeFixture, RightClickSelectsAndDropsKnowTheirTarget)
{
    food->SetExpanded(true);
    QApplication::processEvents();
    tree->SetSelected(food);
    SendClick(tree->viewport(), milk->DisplayRect(true).center(), Qt::RightButton);
    EXPECT_EQ(tree->Selected(), food) << "off by default";
    tree->SetRightClickSelect(true);
    SendClick(tree->viewport(), milk->DisplayRect(true).center(), Qt::RightButton);
    EXPECT_EQ(tree->Selected(), milk);

    TTreeNode *target = nullptr;
    QPoint at;
    tree->OnDragOver = [&](TObject *, TObject *source, int, int, TDragState, bool &accept) {
        accept = source == tree;
    };
    tree->OnDragDrop = [&](TObject *sender, TObject *source, int x, int y) {
        EXPECT_EQ(sender, tree);
        EXPECT_EQ(source, tree);
        target = tree->DropTarget();
        at = QPoint(x, y);
    };
    const QPoint p = car->DisplayRect(true).center();
    QMimeData *data = NewDragMimeData(tree);
    // As a drag does: enter (the node under the point becomes the drop target), then drop.
    QDragEnterEvent enter(p, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(tree->DropTarget(), car);
    QDropEvent drop(QPointF(p), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &drop);
    EXPECT_EQ(target, car);
    EXPECT_EQ(at, p);
    EXPECT_EQ(tree->DropTarget(), nullptr);
    delete data;
}

} // namespace
} // namespace zorbel
