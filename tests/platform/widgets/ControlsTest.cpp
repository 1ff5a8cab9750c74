// Controls: alignment, speed-button groups, item lists with objects, page and
// tab controls, status bar, owner drawing, drag and drop, cursor guard.
#include "platform/system/SysNames.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"
#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QImage>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

namespace zorbel {
namespace {

TEST(AlignTest, AlignedChildrenShareTheParentInOrder)
{
    TForm form;
    form.resize(400, 300);
    auto *top = new TPanel(&form, QStringLiteral("PanTop"));
    top->SetHeight(30);
    top->SetAlign(TAlign::alTop);
    auto *status = new TStatusBar(&form, QStringLiteral("Sb"));
    status->SetHeight(20);
    status->SetAlign(TAlign::alBottom);
    auto *left = new TPanel(&form, QStringLiteral("PanD"));
    left->SetWidth(100);
    left->SetAlign(TAlign::alLeft);
    auto *splitter = new TSplitter(&form, QStringLiteral("Split"));
    splitter->SetAlign(TAlign::alLeft);
    auto *client = new TPanel(&form, QStringLiteral("PanClient"));
    client->SetAlign(TAlign::alClient);
    form.show();
    EXPECT_EQ(top->Widget()->geometry(), QRect(0, 0, 400, 30));
    EXPECT_EQ(status->Widget()->geometry(), QRect(0, 280, 400, 20));
    EXPECT_EQ(left->Widget()->geometry(), QRect(0, 30, 100, 250));
    EXPECT_EQ(splitter->Widget()->geometry(), QRect(100, 30, 3, 250));
    EXPECT_EQ(client->Widget()->geometry(), QRect(103, 30, 297, 250));

    // Hiding a strip gives its room to the others; resizing the parent realigns.
    top->SetVisible(false);
    form.resize(500, 300);
    EXPECT_EQ(client->Widget()->geometry(), QRect(103, 0, 397, 280));

    // Dragging the splitter widens the panel before it.
    const QPoint start = splitter->Widget()->mapToGlobal(QPoint(1, 5));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 5), QPointF(start), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(splitter, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(41, 5), QPointF(start + QPoint(40, 0)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(splitter, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(41, 5), QPointF(start + QPoint(40, 0)), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(splitter, &release);
    EXPECT_EQ(left->Width(), 140);
    EXPECT_EQ(client->Left(), 143);
}

TEST(LabelTest, HorizontalAlignmentAndLayoutAreSetIndependently)
{
    TLabel label(nullptr);
    label.SetLayout(TTextLayout::tlBottom);
    label.SetAlignment(taRightJustify);
    EXPECT_EQ(label.alignment(), Qt::AlignRight | Qt::AlignBottom);
    label.SetAlignment(taCenter);
    EXPECT_EQ(label.alignment(), Qt::AlignHCenter | Qt::AlignBottom);
    label.SetLayout(TTextLayout::tlCenter);
    EXPECT_EQ(label.alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    label.SetAlignment(taLeftJustify);
    EXPECT_EQ(label.alignment(), Qt::AlignLeft | Qt::AlignVCenter);
}

TEST(SpeedButtonTest, GroupsReleaseEachOtherAndMayAllBeUp)
{
    TForm form;
    auto *ct = new TSpeedButton(&form, QStringLiteral("ButCt"));
    auto *dt = new TSpeedButton(&form, QStringLiteral("ButDt"));
    for (TSpeedButton *b : {ct, dt}) {
        b->SetGroupIndex(1);
        b->SetAllowAllUp(true);
    }
    auto *itm = new TSpeedButton(&form, QStringLiteral("ButItm"));
    auto *acc = new TSpeedButton(&form, QStringLiteral("ButAcc"));
    for (TSpeedButton *b : {itm, acc})
        b->SetGroupIndex(2);
    int clicks = 0;
    ct->OnClick = [&](TObject *) { ++clicks; };

    ct->Press();
    EXPECT_TRUE(ct->Down());
    dt->Press();
    EXPECT_TRUE(dt->Down());
    EXPECT_FALSE(ct->Down());
    dt->Press(); // AllowAllUp: a pressed button releases
    EXPECT_FALSE(dt->Down());
    EXPECT_FALSE(ct->Down());

    itm->SetDown(true);
    itm->Press(); // without AllowAllUp it stays down
    EXPECT_TRUE(itm->Down());
    acc->Press();
    EXPECT_TRUE(acc->Down());
    EXPECT_FALSE(itm->Down());

    ct->Click(); // code calling Click fires the event only
    EXPECT_FALSE(ct->Down());
    EXPECT_EQ(clicks, 2);
}

TEST(ItemListTest, ItemsCarryIntegerObjects)
{
    TForm form;
    auto *combo = new TComboBox(&form, QStringLiteral("CbAcc"));
    combo->SetStyle(TComboBoxStyle::csDropDownList);
    combo->Items().Add(QStringLiteral("Кошелёк"), 3);
    combo->Items().Add(QStringLiteral("Банк"), -1);
    combo->Items().Insert(0, QStringLiteral("Все"), 0);
    EXPECT_EQ(combo->Items().Count(), 3);
    EXPECT_EQ(combo->Items().Objects(2), -1);
    EXPECT_EQ(combo->Items().IndexOf(QStringLiteral("банк")), 2);
    EXPECT_EQ(combo->Items().IndexOfObject(3), 1);
    EXPECT_THROW(combo->Items().Delete(5), EListError);
    int changes = 0;
    combo->OnChange = [&](TObject *) { ++changes; };
    combo->SetItemIndex(1); // from code: no event
    EXPECT_EQ(combo->Text(), QStringLiteral("Кошелёк"));
    combo->SetText(QStringLiteral("Банк"));
    EXPECT_EQ(combo->ItemIndex(), 2);
    EXPECT_EQ(changes, 0);
    combo->SetStyle(TComboBoxStyle::csDropDown);
    combo->SetText(QStringLiteral("2011"));
    EXPECT_EQ(combo->Text(), QStringLiteral("2011"));

    auto *list = new TCheckListBox(&form, QStringLiteral("Lb"));
    list->Items().Assign({QStringLiteral("01.01.2024"), QStringLiteral("01.02.2024")});
    list->Items().SetObjects(1, 45323);
    int checks = 0, clicks = 0;
    list->OnClickCheck = [&](TObject *) { ++checks; };
    list->OnClick = [&](TObject *) { ++clicks; };
    list->SetChecked(1, true);
    list->SetItemIndex(1);
    EXPECT_TRUE(list->Checked(1));
    EXPECT_FALSE(list->Checked(0));
    EXPECT_EQ(list->Items().Objects(1), 45323);
    EXPECT_EQ(checks + clicks, 0); // code changes fire nothing
    list->Items().Add(QStringLiteral("01.03.2024"), 45352); // adding is no check
    EXPECT_EQ(checks, 0);
    list->model()->setData(list->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole); // as the user's click does
    EXPECT_EQ(checks, 1);
    EXPECT_TRUE(list->Checked(0));
    list->Items().Delete(2);
    EXPECT_EQ(list->Items().Text(), QStringLiteral("01.01.2024\r\n01.02.2024\r\n"));
    TStringList days;
    days.AddObject(QStringLiteral("Ёлка"), 7);
    list->Items().Assign(days);
    EXPECT_EQ(list->Items().Objects(0), 7);
    EXPECT_EQ(list->Items().IndexOf(QStringLiteral("ёЛКА")), 0);
}

TEST(CheckBoxTest, CheckedFromCodeFiresOnClickOncePerChange)
{
    TForm form;
    auto *check = new TCheckBox(&form, QStringLiteral("ChMark"));
    int clicks = 0;
    check->OnClick = [&](TObject *) { ++clicks; };
    check->SetChecked(true);
    check->SetChecked(true);
    check->SetChecked(false);
    EXPECT_EQ(clicks, 2);

    auto *group = new TRadioGroup(&form, QStringLiteral("RgKind"));
    group->SetItems({QStringLiteral("Реальные"), QStringLiteral("Планируемые")});
    int groupClicks = 0;
    group->OnClick = [&](TObject *) { ++groupClicks; };
    group->SetItemIndex(1);
    EXPECT_EQ(group->ItemIndex(), 1);
    group->SetItemIndex(7);
    EXPECT_EQ(group->ItemIndex(), -1);
    EXPECT_EQ(groupClicks, 2);
}

TEST(CheckBoxTest, OwnColourFillsTheBackgroundAndFollowsChanges)
{
    TForm form;
    form.resize(300, 80);
    auto *check = new TCheckBox(&form, QStringLiteral("ChItm1"));
    check->SetBounds(2, 4, 240, 21);
    check->SetCaption(QStringLiteral("Еда"));
    auto *radio = new TRadioButton(&form, QStringLiteral("RbDt"));
    radio->SetBounds(2, 40, 240, 21);
    radio->SetCaption(QStringLiteral("Приход"));
    form.show();
    // A point of the box right of its caption: background only.
    const auto colourAt = [](QWidget *w) {
        return w->parentWidget()->grab(w->geometry()).toImage().pixelColor(200, 10);
    };
    const QColor window = colourAt(check);
    check->SetColor(clInfoBk);
    radio->SetColor(clInfoBk);
    const QColor infoBk = QApplication::palette().color(QPalette::ToolTipBase);
    ASSERT_NE(infoBk, window);
    EXPECT_EQ(colourAt(check), infoBk);
    EXPECT_EQ(colourAt(radio), infoBk);
    check->SetColor(0xDBDBFF);
    EXPECT_EQ(colourAt(check), QColor(0xFF, 0xDB, 0xDB));
    check->SetColor(clRed);
    check->SetChecked(true);
    EXPECT_EQ(colourAt(check), QColor(Qt::red));
    EXPECT_EQ(check->Color(), clRed);
    // The default colour is the parent's, not black.
    check->SetColor(clDefault);
    EXPECT_EQ(colourAt(check), window);
    EXPECT_EQ(check->Color(), clDefault);
}

TEST(PageControlTest, PagesWithoutTabsCanStillBeActive)
{
    TForm form;
    form.resize(300, 200);
    auto *pages = new TPageControl(&form, QStringLiteral("Pg"));
    pages->SetAlign(TAlign::alClient);
    auto *money = new TTabSheet(pages, QStringLiteral("TsMoney"));
    auto *people = new TTabSheet(pages, QStringLiteral("TsPeople"));
    money->SetCaption(QStringLiteral("Деньги"));
    people->SetCaption(QStringLiteral("Люди"));
    int changes = 0;
    pages->OnChange = [&](TObject *) { ++changes; };
    form.show();
    EXPECT_EQ(pages->ActivePage(), money);
    money->SetTabVisible(false);
    people->SetTabVisible(false);
    pages->SetActivePageIndex(1);
    EXPECT_EQ(pages->ActivePage(), people);
    EXPECT_EQ(people->PageIndex(), 1);
    EXPECT_TRUE(people->isVisible());
    EXPECT_EQ(people->height(), 200); // no tab row takes room
    EXPECT_EQ(changes, 0);

    auto *tabs = new TTabControl(&form, QStringLiteral("TcGrp"));
    tabs->SetTabs({QStringLiteral("Группы (F4)"), QStringLiteral("История (F5)")});
    int tabChanges = 0;
    tabs->OnChange = [&](TObject *) { ++tabChanges; };
    tabs->SetTabIndex(1);
    EXPECT_EQ(tabs->TabIndex(), 1);
    EXPECT_EQ(tabChanges, 0);
}

TEST(EventTest, ScrollAreasReportEachEventOnce)
{
    TForm form;
    auto *list = new TListBox(&form, QStringLiteral("Lb"));
    list->SetBounds(0, 0, 100, 100);
    form.show();
    int resizes = 0, downs = 0, popups = 0;
    list->OnResize = [&](TObject *) { ++resizes; };
    list->OnMouseDown = [&](TObject *, TMouseButton button, TShiftState, int x, int y) {
        ++downs;
        EXPECT_EQ(button, TMouseButton::mbRight);
        EXPECT_EQ(QPoint(x, y), QPoint(5, 6)); // client coordinates
    };
    list->OnContextPopup = [&](TObject *, QPoint, bool &) { ++popups; };
    list->SetWidth(150);
    SendClick(list->viewport(), QPoint(5, 6), Qt::RightButton);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 6), list->viewport()->mapToGlobal(QPoint(5, 6)));
    QApplication::sendEvent(list->viewport(), &menu);
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(popups, 1);
}

TEST(StatusBarTest, FixedPanelsAndClicks)
{
    TForm form;
    auto *sb = new TStatusBar(&form, QStringLiteral("Sb"));
    sb->SetBounds(0, 0, 600, 20);
    for (int w : {70, 120, 70, 120})
        sb->AddPanel(w);
    sb->SetPanelText(1, QStringLiteral("1 000,00"));
    int clicks = 0;
    sb->OnClick = [&](TObject *) { ++clicks; };
    EXPECT_EQ(sb->PanelAt(QPoint(69, 5)), 0);
    EXPECT_EQ(sb->PanelAt(QPoint(70, 5)), 1);
    EXPECT_EQ(sb->PanelAt(QPoint(590, 5)), 3); // the last panel takes the rest
    SendClick(sb, QPoint(100, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(sb->PanelText(1), QStringLiteral("1 000,00"));
}

// The windows' own font is fontconfig's sans-serif, and proportional: on a
// machine with only the report layouts' fonts it was Liberation Mono.
TEST(ApplicationFont, IsProportional)
{
    const QFontInfo info(QApplication::font());
    EXPECT_FALSE(info.fixedPitch()) << info.family().toStdString();
}

// A figure wider than its panel widens the panel (it lost its leading
// digits at the panel's edge); the panels after it move right; the bar grows
// with its font; right-aligned text ends at the panel's right edge.
TEST(StatusBarTest, PanelsWidenForTheirTextAndTheBarFollowsItsFont)
{
    TForm form;
    form.resize(900, 200);
    auto *sb = new TStatusBar(&form, QStringLiteral("Sb"));
    sb->SetAlign(TAlign::alBottom);
    for (int w : {70, 120, 70, 120})
        sb->AddPanel(w);
    // The widths below are those of DejaVu Sans, whatever font the machine
    // makes its default (a monospaced one needs more than the narrow bar has).
    QFont big(QStringLiteral("DejaVu Sans"), 16);
    big.setBold(true);
    ASSERT_EQ(QFontInfo(big).family(), QStringLiteral("DejaVu Sans")) << "fonts-dejavu-core is missing";
    sb->SetFont(big);
    const QFontMetrics fm(big);
    EXPECT_GE(sb->Height(), fm.height());
    const QString figure = QStringLiteral("-9\u00A0999\u00A0999\u00A0999,99");
    sb->SetPanelText(1, figure);
    sb->SetPanelAlignment(1, TAlignment::taRightJustify);
    ASSERT_GT(fm.horizontalAdvance(figure), 120); // the set width would cut it
    EXPECT_GE(sb->PanelTextRect(1).width(), fm.horizontalAdvance(figure));
    EXPECT_EQ(sb->PanelRect(2).left(), sb->PanelRect(1).right() + 1);
    EXPECT_EQ(sb->PanelAt(QPoint(sb->PanelRect(1).right(), 5)), 1);
    EXPECT_EQ(sb->PanelAt(QPoint(sb->PanelRect(2).left(), 5)), 2);
    // A short text keeps the set width.
    sb->SetPanelText(1, QStringLiteral("5,00"));
    EXPECT_EQ(sb->PanelRect(1).width(), 120);
    sb->SetPanelWidth(1, 200);
    EXPECT_EQ(sb->PanelRect(2).left(), 270);
    // A bar wide enough for every figure keeps its font (checked before
    // showing: the test screen is 800 wide, and a shown window is kept on it).
    for (int i = 0; i < 4; ++i)
        sb->SetPanelText(i, figure);
    EXPECT_EQ(sb->TextFont().pointSizeF(), 16);
    // Right alignment: the drawn text ends at the text rectangle's right edge.
    form.show();
    sb->SetPanelText(1, QStringLiteral("8"));
    const QImage image = sb->grab().toImage();
    const QRect text = sb->PanelTextRect(1);
    int rightmostInk = -1;
    for (int x = text.left(); x <= text.right(); ++x)
        for (int y = 3; y < sb->Height() - 3; ++y)
            if (qGray(image.pixel(x * image.width() / sb->Width(), y * image.height() / sb->Height())) < 100)
                rightmostInk = x;
    EXPECT_GT(rightmostInk, text.right() - fm.horizontalAdvance(QStringLiteral("8")) - 2);

    // A bar too narrow for every figure draws them in a font reduced just
    // enough that each is whole and inside the bar.
    for (int i = 0; i < 4; ++i)
        sb->SetPanelText(i, figure);
    form.resize(500, 200);
    QCoreApplication::processEvents();
    ASSERT_EQ(sb->Width(), 500);
    const QFont reduced = sb->TextFont();
    EXPECT_LT(reduced.pointSizeF(), 16);
    EXPECT_GE(reduced.pointSizeF(), 6);
    const QFontMetrics small(reduced);
    for (int i = 0; i < 4; ++i) {
        EXPECT_GE(sb->PanelTextRect(i).width(), small.horizontalAdvance(figure)) << i;
        EXPECT_LE(sb->PanelRect(i).right(), sb->Width() - 1) << i;
    }
    QFont larger = reduced;
    larger.setPointSizeF(reduced.pointSizeF() + 0.5);
    int widerNeeds = 0; // half a point more would not fit: the reduction is just enough
    for (int i = 0; i < 4; ++i)
        widerNeeds += std::max(sb->PanelWidth(i), QFontMetrics(larger).horizontalAdvance(figure) + 9);
    EXPECT_GT(widerNeeds, 500);
    form.resize(1200, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(sb->TextFont().pointSizeF(), 16);
}

// A panel's caption too wide for the panel (an account and its balance in a
// large font) is drawn whole in a font reduced just enough.
TEST(PanelTest, ACaptionTooWideForThePanelShowsWholeInASmallerFont)
{
    TForm form;
    form.resize(600, 100);
    auto *panel = new TPanel(&form, QStringLiteral("PanAcRest"));
    panel->SetBevelOuter(TBevelCut::bvLowered);
    panel->SetBounds(10, 10, 340, 24);
    QFont big = panel->Font();
    big.setPointSize(16);
    big.setBold(true);
    panel->SetFont(big);
    panel->SetCaption(QStringLiteral("Кошелёк = 12\u00A0345,00 руб"));
    form.show();
    EXPECT_EQ(panel->CaptionFont().pointSizeF(), 16); // fits as it is
    const QString wide = QStringLiteral("Мой первый счёт = -9\u00A0999\u00A0999\u00A0999,99 руб");
    panel->SetCaption(wide);
    const QFont reduced = panel->CaptionFont();
    EXPECT_LT(reduced.pointSizeF(), 16);
    EXPECT_TRUE(reduced.bold());
    EXPECT_LE(QFontMetrics(reduced).horizontalAdvance(wide), panel->contentsRect().width() - 4);
}

TEST(OwnerDrawTest, ListItemsArePaintedByTheHandler)
{
    TForm form;
    form.resize(200, 100);
    auto *list = new TListBox(&form, QStringLiteral("LbRem"));
    list->SetBounds(0, 0, 200, 100);
    list->Items().Add(QStringLiteral("первый"));
    list->Items().Add(QStringLiteral("второй"));
    list->SetStyle(TListBoxStyle::lbOwnerDrawFixed);
    list->SetItemIndex(1);
    QList<int> drawn;
    TOwnerDrawState selectedState = 0;
    list->OnDrawItem = [&](QWidget *, int index, const QRect &rect, TOwnerDrawState state) {
        drawn << index;
        if (index == 1)
            selectedState = state;
        TCanvas &canvas = list->Canvas();
        if (index == 0)
            canvas.Brush.Color = RGB(194, 252, 233);
        canvas.FillRect(rect);
        canvas.TextOut(rect.left() + 2, rect.top(), list->Items()[index]);
    };
    form.show();
    const QImage image = list->viewport()->grab().toImage();
    EXPECT_TRUE(drawn.contains(0) && drawn.contains(1));
    EXPECT_TRUE(selectedState & odSelected);
    EXPECT_EQ(image.pixelColor(150, 2), QColor(194, 252, 233));
}

TEST(DragDropTest, ControlDropReachesTheTargetWithItsSource)
{
    TForm form;
    auto *tree = new TListBox(&form, QStringLiteral("TvCt"));
    auto *grid = new TListBox(&form, QStringLiteral("DBG"));
    tree->SetDragMode(TDragMode::dmAutomatic);
    TObject *overSource = nullptr, *dropSource = nullptr;
    QPoint dropAt;
    bool accept = false;
    grid->OnDragOver = [&](TObject *, TObject *source, int, int, TDragState, bool &ok) {
        overSource = source;
        ok = accept;
    };
    grid->OnDragDrop = [&](TObject *, TObject *source, int x, int y) {
        dropSource = source;
        dropAt = QPoint(x, y);
    };
    std::unique_ptr<QMimeData> mime(NewDragMimeData(tree));
    // As a drag does: enter (the target becomes the drop target), then drop.
    QDragEnterEvent refused(QPoint(10, 12), Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &refused);
    EXPECT_EQ(overSource, tree);
    EXPECT_FALSE(refused.isAccepted());
    accept = true;
    QDragEnterEvent accepted(QPoint(10, 12), Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &accepted);
    EXPECT_TRUE(accepted.isAccepted());
    QDropEvent drop(QPointF(10, 12), Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &drop);
    EXPECT_EQ(dropSource, tree);
    EXPECT_EQ(dropAt, QPoint(10, 12));
}

TEST(DragDropTest, FilesDroppedOnTheMainWindowReachOnDropFiles)
{
    TForm form;
    form.SetAcceptFiles(true);
    QStringList files;
    form.OnDropFiles = [&](TObject *, const QStringList &dropped) { files = dropped; };
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/user/Семья.den")), QUrl(QStringLiteral("http://x.org/a"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
    EXPECT_EQ(files, QStringList{QStringLiteral("/home/user/Семья.den")});

    // A name made on a CP1251 system: its bytes, not another name.
    QMimeData odd;
    odd.setData(QStringLiteral("text/uri-list"), "file:///home/user/%D1%E5%EC%FC%FF.den\r\n");
    files.clear();
    QDragEnterEvent oddEnter(QPoint(5, 5), Qt::CopyAction, &odd, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &oddEnter);
    QDropEvent oddDrop(QPointF(5, 5), Qt::CopyAction, &odd, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &oddDrop);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(EncodeSystemName(files[0]), QByteArray("/home/user/\xd1\xe5\xec\xfc\xff.den"));
}

TEST(CursorTest, HourGlassIsRestoredWhenAnExceptionPasses)
{
    EXPECT_EQ(Screen().Cursor(), crDefault);
    try {
        THourGlass wait;
        EXPECT_EQ(Screen().Cursor(), crHourGlass);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            THourGlass nested;
        }
        EXPECT_EQ(Screen().Cursor(), crHourGlass);
        throw EAbort(QStringLiteral("stop"));
    } catch (const EAbort &) {
    }
    EXPECT_EQ(Screen().Cursor(), crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(UpDownTest, StepsWithinBoundsAndShowsInItsEdit)
{
    TForm form;
    auto *edit = new TEdit(&form, QStringLiteral("EdYear"));
    auto *updown = new TUpDown(&form, QStringLiteral("UdYear"));
    updown->SetMin(2000);
    updown->SetMax(2002);
    updown->SetAssociate(edit);
    updown->SetPosition(2001);
    QList<TUDBtnType> presses;
    updown->OnClick = [&](TObject *, TUDBtnType b) { presses << b; };
    updown->Step(TUDBtnType::btNext);
    updown->Step(TUDBtnType::btNext);
    EXPECT_EQ(updown->Position(), 2002);
    EXPECT_EQ(edit->Text(), QStringLiteral("2002"));
    EXPECT_EQ(presses.size(), 2);

    // An arrow steps from what the edit shows, as typed there (the arrows
    // take no focus, so the edit is not left first); text that is no number
    // leaves the position.
    edit->SetText(QStringLiteral("2000"));
    updown->Step(TUDBtnType::btNext);
    EXPECT_EQ(updown->Position(), 2001);
    EXPECT_EQ(edit->Text(), QStringLiteral("2001"));
    edit->SetText(QStringLiteral("x"));
    updown->Step(TUDBtnType::btPrev);
    EXPECT_EQ(updown->Position(), 2000);
}

} // namespace
} // namespace zorbel

namespace zorbel {
namespace {

// A main-window-like form: the menu bar sits above the aligned controls.
// With ZORBEL_SCREENSHOTS set it is saved there for a look by eye.
TEST(AlignTest, MenuBarTakesTheTopOfTheForm)
{
    TForm form;
    form.SetCaption(QStringLiteral("Zorbel"));
    form.resize(520, 300);
    auto *menu = new TMainMenu(&form, QStringLiteral("MainMenu"));
    TMenuItem *file = menu->Add(QStringLiteral("mFile"), QStringLiteral("&Файл"));
    file->Add(QStringLiteral("mOpen"), QStringLiteral("&Открыть..."), ShortCut('O', ssCtrl));
    menu->Add(QStringLiteral("mCategory"), QStringLiteral("&Статья"));
    auto *top = new TPanel(&form, QStringLiteral("PanTop"));
    top->SetHeight(30);
    top->SetAlign(TAlign::alTop);
    auto *butCt = new TSpeedButton(top, QStringLiteral("ButCt"));
    butCt->SetCaption(QStringLiteral("Расход"));
    butCt->SetBounds(2, 2, 70, 26);
    butCt->SetGroupIndex(1);
    butCt->SetDown(true);
    auto *period = new TComboBox(top, QStringLiteral("CbPer"));
    period->SetStyle(TComboBoxStyle::csDropDownList);
    period->Items().Assign({QStringLiteral("Весь период"), QStringLiteral("Месяц")});
    period->SetItemIndex(1);
    period->SetBounds(80, 3, 120, 24);
    auto *sb = new TStatusBar(&form, QStringLiteral("Sb"));
    sb->SetAlign(TAlign::alBottom);
    const QStringList texts{"Начало", "1 000,00", "Приход", "250,00", "Расход", "75,50"};
    for (int i = 0; i < texts.size(); ++i)
        sb->AddPanel(i % 2 ? 90 : 60, texts[i]);
    auto *pages = new TPageControl(&form, QStringLiteral("Pg"));
    pages->SetAlign(TAlign::alClient);
    auto *sheet = new TTabSheet(pages, QStringLiteral("TsMoney"));
    sheet->SetCaption(QStringLiteral("Деньги"));
    (new TTabSheet(pages, QStringLiteral("TsFace")))->SetCaption(QStringLiteral("Люди"));
    auto *group = new TRadioGroup(sheet, QStringLiteral("RgKind"));
    group->SetCaption(QStringLiteral("Вид"));
    group->SetItems({QStringLiteral("Реальные"), QStringLiteral("Планируемые")});
    group->SetItemIndex(0);
    group->SetBounds(4, 4, 160, 80);
    auto *check = new TCheckBox(sheet, QStringLiteral("ChConf"));
    check->SetCaption(QStringLiteral("Подтверждать"));
    check->SetBounds(180, 10, 150, 20);
    auto *memo = new TMemo(sheet, QStringLiteral("M"));
    memo->SetLines({QStringLiteral("Сегодня  08 дек 2026  вторник")});
    memo->SetBounds(180, 40, 250, 60);
    form.SetMenu(menu);
    form.show();

    const int barHeight = menu->Bar()->height();
    EXPECT_GT(barHeight, 0);
    EXPECT_EQ(menu->Bar()->y(), 0);
    EXPECT_EQ(top->Top(), barHeight);
    EXPECT_EQ(pages->Top(), barHeight + 30);
    EXPECT_EQ(sb->Top() + sb->Height(), form.height());
    EXPECT_EQ(menu->Bar()->actions().size(), 2);
    menu->Add(QStringLiteral("mHelp"), QStringLiteral("&Помощь"));
    QCoreApplication::processEvents();
    EXPECT_EQ(menu->Bar()->actions().size(), 3);
    const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
    if (!dir.isEmpty())
        form.grab().save(dir + QStringLiteral("/main-like.png"));
}

} // namespace
} // namespace zorbel
