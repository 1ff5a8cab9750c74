// Message, question and input boxes.
//
// Layout is in dialog units of the window's font: x is the average width of
// the 52 Latin letters, y the font's height; sizes are MulDiv(n, x, 4)
// horizontally and MulDiv(n, y, 8) vertically, as the system's dialogs do.
// The message box: icon (32 x 32) and word-wrapped text (at most half the
// screen wide) on top, the buttons centred in one row below:
//
//   +--------------------------------------------+
//   | margin                                     |
//   |  [icon] spacing  message text ...          |
//   |                                            |
//   |         [ Да ] [ Нет ] ...                 |
//   | margin                                     |
//   +--------------------------------------------+
#include "core/TulnDlg.h"

#include "platform/rtl/NoticeText.h"
#include "platform/system/SysPaths.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/StdCtrls.h"

#include <QApplication>
#include <QStyle>
#include <memory>

namespace zorbel {

namespace {

// Button kinds in the order they appear, with their control names, captions
// and results.
struct TButtonKind {
    const char *Name;
    const char16_t *Caption;
    int Result;
};
constexpr TButtonKind kButtonKinds[MsgDlgButtonKinds] = {
    // name        caption           result
    {"Yes", u"Да", mrYes},
    {"No", u"Нет", mrNo},
    {"OK", u"OK", mrOk},
    {"Cancel", u"Отмена", mrCancel},
    {"Abort", u"Прервать", mrAbort},
    {"Retry", u"Повторить", mrRetry},
    {"Ignore", u"Пропустить", mrIgnore},
    {"All", u"Все", mrAll},
    {"NoToAll", u"Нет для всех", mrNoToAll},
    {"YesToAll", u"Да для всех", mrYesToAll},
    {"Help", u"Справка", mrNone},
};
constexpr int kHelpKind = 10;

// Titles and icons by dialog type; the custom type takes the application's title.
struct TTypeLook {
    const char16_t *Title;
    QStyle::StandardPixmap Icon;
    bool HasIcon;
};
constexpr TTypeLook kTypeLooks[] = {
    // title             icon
    {u"Предупреждение", QStyle::SP_MessageBoxWarning, true},
    {u"Ошибка", QStyle::SP_MessageBoxCritical, true},
    {u"Информация", QStyle::SP_MessageBoxInformation, true},
    {u"Подтверждение", QStyle::SP_MessageBoxQuestion, true},
    {u"", QStyle::SP_CustomBase, false},
};

std::array<int, MsgDlgButtonKinds> buttonWidths{};
// The font the widths were measured in: a box in another font (the message
// font changed while the program runs) measures its captions afresh, so
// they stay whole in their buttons.
QFont buttonWidthsFont;

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c)
{
    const long long p = static_cast<long long>(a) * b;
    return int(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

struct TDialogUnits {
    int X, Y;
};

TDialogUnits DialogUnits(const QFontMetrics &metrics)
{
    return {metrics.horizontalAdvance(
                QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52,
            metrics.height()};
}

QString Text16(const char16_t *text) { return QString::fromUtf16(text); }

std::unique_ptr<TMessageForm> CreateMessageDialog(const QString &text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    auto form = std::make_unique<TMessageForm>();
    const QFontMetrics metrics(form->Canvas().Font);
    const TDialogUnits du = DialogUnits(metrics);
    const int hMargin = MulDiv(8, du.X, 4), vMargin = MulDiv(8, du.Y, 8);
    const int hSpacing = MulDiv(10, du.X, 4), vSpacing = MulDiv(10, du.Y, 8);
    const int buttonHeight = MulDiv(14, du.Y, 8), buttonSpacing = MulDiv(4, du.X, 4);
    int buttonWidth = MulDiv(50, du.X, 4);
    int buttonCount = 0;
    if (buttonWidthsFont != form->Canvas().Font) {
        buttonWidths.fill(0);
        buttonWidthsFont = form->Canvas().Font;
    }
    for (int kind = 0; kind < MsgDlgButtonKinds; ++kind)
        if (buttons & (1u << kind)) {
            if (buttonWidths[kind] == 0)
                buttonWidths[kind] = metrics.horizontalAdvance(Text16(kButtonKinds[kind].Caption)) + 8;
            buttonWidth = std::max(buttonWidth, buttonWidths[kind]);
            ++buttonCount;
        }

    // A type outside the table is shown as the custom type.
    const int typeIndex = int(type) >= 0 && int(type) <= int(TMsgDlgType::mtCustom) ? int(type) : int(TMsgDlgType::mtCustom);
    const TTypeLook &look = kTypeLooks[typeIndex];
    auto *message = new TLabel(form.get(), QStringLiteral("Message"));
    message->SetAutoSize(false);
    message->SetWordWrap(true);
    // A file name in the text may hold bytes that are not UTF-8: shown as
    // U+FFFD. A platform text kept in English is shown in Russian.
    message->SetCaption(NoticeText(ShownName(text)));
    const QRect textRect = metrics.boundingRect(QRect(0, 0, Screen().Width() / 2, 0),
                                                Qt::TextWordWrap | Qt::TextExpandTabs, message->text());
    const int textWidth = textRect.width(), textHeight = textRect.height();
    const int iconTextWidth = textWidth + (look.HasIcon ? 32 + hSpacing : 0);
    const int iconTextHeight = look.HasIcon ? std::max(32, textHeight) : textHeight;
    const int groupWidth = buttonCount ? buttonCount * buttonWidth + (buttonCount - 1) * buttonSpacing : 0;
    // The window is at least as wide as its title and the title bar's buttons,
    // so a window manager never cuts a short message's title.
    const QString title = look.HasIcon ? Text16(look.Title) : Application().Title();
    form->SetCaption(title);
    const int titleWidth = form->CaptionWidth();
    const int clientWidth = std::max({iconTextWidth, groupWidth, titleWidth}) + 2 * hMargin;
    const int clientHeight = iconTextHeight + buttonHeight + vSpacing + 2 * vMargin;
    // The client size is set as such: a size with frame would be taken from
    // the frame of the last framed window (none yet at start-up, when the
    // lock refusal or "Program is already running!" comes), and once this
    // box is framed its client would lose the difference at the bottom,
    // where the buttons are. Showing centres it on the screen.
    form->SetClientWidth(clientWidth);
    form->SetClientHeight(clientHeight);

    form->SetCaption(title);
    if (look.HasIcon) {
        auto *image = new TImage(form.get(), QStringLiteral("Image"));
        image->SetPicture(QApplication::style()->standardIcon(look.Icon).pixmap(32, 32));
        image->SetBounds(hMargin, vMargin, 32, 32);
    }
    int labelLeft = iconTextWidth - textWidth + hMargin;
    if (QApplication::isRightToLeft())
        labelLeft = clientWidth - labelLeft - textWidth;
    message->SetBounds(labelLeft, vMargin, textWidth, textHeight);

    const int defaultKind = (buttons & mbOK) ? 2 : (buttons & mbYes) ? 0 : 5;
    const int cancelKind = (buttons & mbCancel) ? 3 : (buttons & mbNo) ? 1 : 2;
    int left = (clientWidth - groupWidth) / 2;
    const int top = iconTextHeight + vMargin + vSpacing;
    for (int kind = 0; kind < MsgDlgButtonKinds; ++kind) {
        if (!(buttons & (1u << kind)))
            continue;
        auto *button = new TButton(form.get(), QString::fromLatin1(kButtonKinds[kind].Name));
        button->SetCaption(Text16(kButtonKinds[kind].Caption));
        button->SetModalResult(kButtonKinds[kind].Result);
        button->SetDefault(kind == defaultKind);
        button->SetCancel(kind == cancelKind);
        if (kind == kHelpKind) {
            TForm *owner = form.get();
            button->OnClick = [owner](TObject *) { Application().HelpContext(owner->HelpContext()); };
        }
        button->SetBounds(left, top, buttonWidth, buttonHeight);
        if (kind == defaultKind)
            form->SetActiveControl(button);
        left += buttonWidth + buttonSpacing;
    }
    return form;
}

int ShowMessageForm(TMessageForm &form, bool stayOnTop)
{
    if (stayOnTop)
        form.SetFormStyle(TFormStyle::fsStayOnTop);
    form.SetPosition(TPosition::poScreenCenter);
    return form.ShowModal();
}

} // namespace

TMessageForm::TMessageForm()
{
    SetName(QStringLiteral("MessageForm"));
    setFont(Screen().MessageFont());
    SetBorderStyle(TFormBorderStyle::bsDialog);
    DoCreate();
}

TMessageForm::~TMessageForm() { DoDestroy(); }

const std::array<int, MsgDlgButtonKinds> &MessageButtonWidths() { return buttonWidths; }

int ShowNotice(const QString &Text, bool StayOnTop)
{
    std::unique_ptr<TMessageForm> form = CreateMessageDialog(Text, TMsgDlgType::mtCustom, mbOK);
    return ShowMessageForm(*form, StayOnTop);
}

int AskDialog(const QString &Text, TMsgDlgType DlgType, TMsgDlgButtons Buttons, bool StayOnTop)
{
    std::unique_ptr<TMessageForm> form = CreateMessageDialog(Text, DlgType, Buttons);
    return ShowMessageForm(*form, StayOnTop);
}

QString ReachableDialogName(const QString &Chosen)
{
    bool ambiguous = false;
    const QString file = ReachableName(Chosen, &ambiguous);
    if (ambiguous)
        ShowNotice(QStringLiteral("В папке несколько файлов или папок с именами, которые выглядят так же, как "
                                  "выбранное: программа не может узнать, какое из них выбрано.\r"
                                  "Переименуйте их или укажите файл в командной строке.\r") +
                       Chosen,
                   false);
    return file;
}

bool InputLine(const QString &Caption, const QString &Prompt, QString &Value, bool StayOnTop)
{
    auto form = std::make_unique<TForm>();
    form->SetName(QStringLiteral("InputLine"));
    const TDialogUnits du = DialogUnits(QFontMetrics(form->Canvas().Font));
    form->SetBorderStyle(TFormBorderStyle::bsDialog);
    form->SetCaption(Caption);
    form->SetClientWidth(MulDiv(180, du.X, 4));
    form->SetClientHeight(MulDiv(63, du.Y, 8));
    form->SetPosition(TPosition::poScreenCenter);

    auto *prompt = new TLabel(form.get(), QStringLiteral("Prompt"));
    prompt->SetCaption(Prompt);
    prompt->SetLeft(MulDiv(8, du.X, 4));
    prompt->SetTop(MulDiv(8, du.Y, 8));

    auto *edit = new TEdit(form.get(), QStringLiteral("Edit"));
    edit->SetBounds(prompt->Left(), MulDiv(19, du.Y, 8), MulDiv(164, du.X, 4), edit->sizeHint().height());
    edit->SetMaxLength(255);
    edit->SetText(Value);
    edit->SelectAll();

    const int top = MulDiv(41, du.Y, 8), width = MulDiv(50, du.X, 4), height = MulDiv(14, du.Y, 8);
    auto *ok = new TButton(form.get(), QStringLiteral("OK"));
    ok->SetCaption(QStringLiteral("OK"));
    ok->SetModalResult(mrOk);
    ok->SetDefault(true);
    ok->SetBounds(MulDiv(38, du.X, 4), top, width, height);
    auto *cancel = new TButton(form.get(), QStringLiteral("Cancel"));
    cancel->SetCaption(QStringLiteral("Отмена"));
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    cancel->SetBounds(MulDiv(92, du.X, 4), top, width, height);

    if (StayOnTop)
        form->SetFormStyle(TFormStyle::fsStayOnTop);
    form->SetActiveControl(edit);
    if (form->ShowModal() != mrOk)
        return false;
    Value = edit->Text();
    return true;
}

bool InputLineDefault(const QString &Caption, const QString &Prompt, const QString &Default, bool StayOnTop,
                      QString &Value)
{
    Value = Default;
    return InputLine(Caption, Prompt, Value, StayOnTop);
}

} // namespace zorbel
