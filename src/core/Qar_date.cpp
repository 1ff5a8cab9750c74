// The date picker window and its month grid; see Qar_date.h for the layout.
#include "core/Qar_date.h"

#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <limits>
#include <memory>

namespace zorbel {

TFormDate *FormDate = nullptr;

namespace {

constexpr int DaysOfMonths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// The glyphs of the four buttons: a red cross (delete), a dot in a square
// (today), a green tick (OK) and a dark cross (cancel).
enum class TGlyph { Delete, Today, Ok, Cancel };

QPixmap MakeGlyph(TGlyph glyph)
{
    QPixmap pixmap(15, 15);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (glyph) {
    case TGlyph::Delete:
        p.setPen(QPen(QColor(192, 0, 0), 2.2));
        p.drawLine(3, 3, 12, 12);
        p.drawLine(12, 3, 3, 12);
        break;
    case TGlyph::Today:
        p.setPen(QPen(QColor(0, 0, 128), 1.2));
        p.drawRect(QRectF(2.5, 2.5, 10, 10));
        p.setBrush(QColor(0, 0, 128));
        p.drawEllipse(QPointF(7.5, 7.5), 2.2, 2.2);
        break;
    case TGlyph::Ok: {
        p.setPen(QPen(QColor(0, 128, 0), 2.4));
        QPainterPath tick;
        tick.moveTo(2.5, 8);
        tick.lineTo(6, 11.5);
        tick.lineTo(12.5, 3.5);
        p.drawPath(tick);
        break;
    }
    case TGlyph::Cancel:
        p.setPen(QPen(QColor(64, 64, 64), 1.6));
        p.drawLine(4, 4, 11, 11);
        p.drawLine(11, 4, 4, 11);
        break;
    }
    return pixmap;
}

} // namespace

// ---- month grid ----

TQarCalendar::TQarCalendar(QWidget *parent)
    : QWidget(parent), TControl(this), date_(std::numeric_limits<double>::quiet_NaN())
{
    setObjectName(QStringLiteral("Calendar"));
    setFont(parent->font());
    setFocusPolicy(Qt::StrongFocus);
    TControl::SetColor(clBtnFace);
    SetBounds(0, 0, 120, 150);
}

void TQarCalendar::SetCalendarDate(TDateTime date)
{
    if (date == date_)
        return;
    date_ = date;
    int year = 0, month = 0, day = 0;
    DecodeDate(date, year, month, day);
    const bool changed = year != year_ || month != month_ || day != day_;
    year_ = year;
    month_ = month;
    day_ = day;
    leap_ = IsLeapYear(year);
    daysThisMonth_ = month >= 1 && month <= 12 ? DaysOfMonths[month - 1] + (month == 2 && leap_ ? 1 : 0) : 0;
    if (changed)
        UpdateCalendar();
}

void TQarCalendar::UpdateCalendar()
{
    TDateTime first;
    if (!TryEncodeDate(year_, month_, 1, first))
        return;
    const int w = (DayOfWeek(first) - startOfWeek_ + 7) % 7;
    monthOffset_ = w == 0 ? -5 : 2 - w;
    const int cell = day_ - monthOffset_;
    MoveToCell(cell % 7, cell / 7 + 1);
    update();
}

QString TQarCalendar::CellText(int col, int row) const
{
    if (row == 0)
        return FormatSettings().ShortDayNames[(1 + col) % 7];
    const int day = col + monthOffset_ + (row - 1) * 7;
    return day >= 1 && day <= daysThisMonth_ ? QString::number(day) : QString();
}

bool TQarCalendar::SelectCell(int col, int row)
{
    const QString text = CellText(col, row);
    if (row < 1 || text.isEmpty())
        return false;
    day_ = text.toInt();
    SetCalendarDate(EncodeDate(year_, month_, day_));
    return true;
}

bool TQarCalendar::MoveToCell(int col, int row)
{
    if (col < 0 || col >= ColCount || row < 0 || row >= RowCount || !SelectCell(col, row))
        return false;
    col_ = col;
    row_ = row;
    update();
    return true;
}

QRect TQarCalendar::CellRect(int col, int row) const
{
    const QRect client = contentsRect();
    return QRect(client.left() + 1 + col * CellSize, client.top() + 1 + row * CellSize, CellSize, CellSize);
}

bool TQarCalendar::CellAt(QPoint p, int &col, int &row) const
{
    for (row = 0; row < RowCount; ++row)
        for (col = 0; col < ColCount; ++col)
            if (CellRect(col, row).contains(p))
                return true;
    return false;
}

void TQarCalendar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), ColorToQColor(clBtnFace));
    painter.setPen(ColorToQColor(clBtnShadow));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    canvas_.Begin(&painter);
    bool wroteText = false;
    for (int row = 0; row < RowCount; ++row)
        for (int col = 0; col < ColCount; ++col) {
            DrawCell(painter, col, row);
            wroteText = wroteText || !CellText(col, row).isEmpty();
        }
    canvas_.Begin(nullptr);
    if (wroteText)
        if (TForm *form = ParentForm())
            form->SetCaption(FormatDateTime(QStringLiteral("dd-mmmm-yyyy"), date_));
}

void TQarCalendar::DrawCell(QPainter &, int col, int row)
{
    const QRect rect = CellRect(col, row).adjusted(1, 1, -1, -1);
    const QString text = CellText(col, row);
    canvas_.Font = font();
    canvas_.Font.setBold(row == 0);
    canvas_.FontColor = col >= 5 ? RGB(128, 0, 0) : row == 0 ? clBlack : RGB(0, 0, 128);
    canvas_.Brush.Style = TBrushStyle::bsSolid;
    canvas_.Brush.Color = clBtnFace;
    if (text.isEmpty())
        return;
    if (row > 0 && col == col_ && row == row_) {
        canvas_.Brush.Color = clWhite;
        canvas_.Pen.Color = RGB(0, 0, 128);
        canvas_.Rectangle(rect);
    } else {
        canvas_.FillRect(rect);
    }
    const int x = rect.left() + (rect.width() - canvas_.TextWidth(text)) / 2;
    const int y = rect.top() + (rect.height() - canvas_.TextHeight(text)) / 2;
    canvas_.Brush.Style = TBrushStyle::bsClear;
    canvas_.TextOut(x, y, text);
}

bool TQarCalendar::ControlEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(event);
        int col, row;
        if (me->button() == Qt::LeftButton && CellAt(me->position().toPoint(), col, row))
            MoveToCell(col, row);
        break;
    }
    case QEvent::KeyPress: {
        auto *ke = static_cast<QKeyEvent *>(event);
        const int dc = ke->key() == Qt::Key_Left ? -1 : ke->key() == Qt::Key_Right ? 1 : 0;
        const int dr = ke->key() == Qt::Key_Up ? -1 : ke->key() == Qt::Key_Down ? 1 : 0;
        if (dc || dr) {
            MoveToCell(col_ + dc, row_ + dr);
            return true;
        }
        break;
    }
    default: break;
    }
    return TControl::ControlEvent(event);
}

// ---- the picker window ----

TFormDate::TFormDate()
{
    SetName(QStringLiteral("FormDate"));
    // No caption bar: the picker is a borderless window.
    SetBorderStyle(TFormBorderStyle::bsNone);
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(11);
    setFont(arial);
    TControl::SetColor(clBtnFace);
    ResizeClient(151, 180);

    QFont bold = arial;
    bold.setBold(true);
    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetHeight(23);
    PanTop->SetAlign(TAlign::alTop);
    MonBar = new TScrollBar(PanTop, QStringLiteral("MonBar"));
    MonBar->SetKind(TScrollBarKind::sbHorizontal);
    MonBar->SetBounds(2, 2, 98, 19);
    MonBar->SetMin(-10000);
    MonBar->SetMax(10000);
    MonBar->SetLargeChange(0);
    PanMon = new TPanel(PanTop, QStringLiteral("PanMon"));
    PanMon->SetBevelOuter(TBevelCut::bvLowered);
    PanMon->setFont(bold);
    PanMon->SetBounds(18, 2, 62, 19);
    EdY = new TEdit(PanTop, QStringLiteral("EdY"));
    EdY->setFont(bold);
    EdY->SetColor(clBtnFace);
    EdY->SetBounds(101, 1, 35, 21);
    UdY = new TUpDown(PanTop, QStringLiteral("UdY"));
    UdY->SetBounds(136, 1, 14, 21);
    UdY->SetMin(1);
    UdY->SetMax(5000);
    UdY->SetWrap(false);
    UdY->SetAssociate(EdY);

    struct {
        TBitBtn *&button;
        const char *name;
        int left;
        TGlyph glyph;
        int result;
    } buttons[] = {{ButDel, "ButDel", 56, TGlyph::Delete, mrNo},
                   {ButToday, "ButToday", 80, TGlyph::Today, mrNone},
                   {ButOk, "ButOk", 104, TGlyph::Ok, mrOk},
                   {ButCancel, "ButCancel", 128, TGlyph::Cancel, mrCancel}};
    for (auto &b : buttons) {
        b.button = new TBitBtn(this, QString::fromLatin1(b.name));
        b.button->SetBounds(b.left, 154, 21, 21);
        b.button->SetGlyph(MakeGlyph(b.glyph));
        b.button->SetModalResult(b.result);
    }
    ButDel->SetHint(QStringLiteral("Delete date"));
    ButOk->SetDefault(true);
    ButCancel->SetCancel(true);
    // ButDel is not a cancel button here: Escape must cancel the picker,
    // never delete the date.

    connect(MonBar, &QScrollBar::actionTriggered, this, [this](int action) {
        const int months = action == QAbstractSlider::SliderSingleStepSub   ? -1
                           : action == QAbstractSlider::SliderSingleStepAdd ? 1
                                                                            : 0;
        DispatchEvent([&] { MonBarScroll(months); });
    });
    UdY->OnClick = [this](TObject *s, TUDBtnType b) { UdYClick(s, b); };
    EdY->OnEnter = [this](TObject *s) { EdYEnter(s); };
    EdY->OnExit = [this](TObject *s) { EdYExit(s); };
    EdY->OnKeyPress = [this](TObject *s, QChar &k) { EdYKeyPress(s, k); };
    ButToday->OnClick = [this](TObject *s) { ButTodayClick(s); };
    OnShow = [this](TObject *s) { FormShow(s); };
    DoCreate();
}

TFormDate::~TFormDate() { DoDestroy(); }

void TFormDate::MoveMonths(int months)
{
    if (!Calendar)
        return;
    Calendar->SetCalendarDate(IncMonth(Calendar->CalendarDate(), months));
    ShowYearAndMonth();
}

void TFormDate::ShowYearAndMonth()
{
    UdY->SetPosition(Calendar->Year());
    PanMon->SetCaption(FormatSettings().LongMonthNames[Calendar->Month() - 1]);
}

void TFormDate::MonBarScroll(int months) { MoveMonths(months); }

void TFormDate::UdYClick(TObject *, TUDBtnType)
{
    if (Calendar)
        MoveMonths((UdY->Position() - Calendar->Year()) * 12);
}

void TFormDate::ApplyYear()
{
    bool ok = false;
    const int year = EdY->Text().trimmed().toInt(&ok);
    if (ok)
        UdY->SetPosition(year); // kept within 1..5000 by the up-down
    UdYClick(UdY, TUDBtnType::btNext);
}

void TFormDate::EdYEnter(TObject *) { ButOk->SetDefault(false); }

void TFormDate::EdYExit(TObject *)
{
    ButOk->SetDefault(true);
    ApplyYear();
}

void TFormDate::EdYKeyPress(TObject *, QChar &Key)
{
    if (Key == QChar(u'\r')) {
        Key = QChar();
        ApplyYear();
    } else if (Key.unicode() >= 32 && (Key < QChar(u'0') || Key > QChar(u'9'))) {
        Key = QChar();
    }
}

void TFormDate::ButTodayClick(TObject *)
{
    const TDateTime today = Date();
    int year, month, day;
    DecodeDate(today, year, month, day);
    UdY->SetPosition(year);
    PanMon->SetCaption(FormatSettings().LongMonthNames[month - 1]);
    if (Calendar)
        Calendar->SetCalendarDate(today);
}

void TFormDate::FormShow(TObject *)
{
    for (TBitBtn *b : {ButDel, ButToday, ButOk, ButCancel})
        b->raise();
    if (Calendar && Calendar->CanFocus())
        Calendar->SetFocus();
}

QPoint DatePickerPosition(QPoint pointer, int clientWidth, int windowHeight, int screenHeight)
{
    const int left = pointer.x() > clientWidth ? pointer.x() - clientWidth : pointer.x();
    const int top = pointer.y() + 10 + windowHeight < screenHeight ? pointer.y() + 10
                                                                   : pointer.y() - windowHeight - 10;
    return {left, top};
}

TDateTime PickDate(bool ShowDelete, bool ShowTopBar, TDateTime Date)
{
    auto form = std::make_unique<TFormDate>();
    FormDate = form.get();
    struct ClearGlobal {
        ~ClearGlobal() { FormDate = nullptr; }
    } clearGlobal;

    const QPoint at = DatePickerPosition(Screen().CursorPos(), form->ClientWidth(), form->Height(),
                                         Screen().Height());
    form->SetBounds(at.x(), at.y(), form->Width(), form->Height());
    for (TBitBtn *b : {form->ButDel, form->ButToday, form->ButOk, form->ButCancel})
        b->SetCaption(QString());
    form->ButToday->SetHint(QStringLiteral("Today is ") + DateToStr(zorbel::Date()));

    form->Calendar = new TQarCalendar(form.get());
    form->Calendar->SetAlign(TAlign::alClient);
    form->Calendar->SetVisible(true);
    TFormDate *f = form.get();
    form->Calendar->OnDblClick = [f](TObject *) { f->SetModalResult(mrOk); };

    form->ButDel->SetVisible(ShowDelete);
    form->PanTop->SetVisible(ShowTopBar);
    form->Calendar->SetCalendarDate(Date);
    form->UdY->SetPosition(form->Calendar->Year());
    form->PanMon->SetCaption(FormatSettings().LongMonthNames[std::max(1, form->Calendar->Month()) - 1]);

    switch (form->ShowModal()) {
    case mrOk: return form->Calendar->CalendarDate();
    case mrNo: return DateDeleted;
    default: return DateCancelled;
    }
}

} // namespace zorbel
