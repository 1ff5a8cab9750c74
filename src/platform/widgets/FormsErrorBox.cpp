// The framework's own error message box, which TApplication::ShowException
// shows modally: an error icon, the message and an OK button.
#include "platform/widgets/Forms.h"

#include "platform/rtl/NoticeText.h"
#include "platform/widgets/StdCtrls.h"

#include <QStyle>

namespace zorbel {

namespace {

// A message box of the framework itself: icon, text and an OK button.
class TErrorBox : public TForm {
public:
    TErrorBox(const QString &text, const QString &caption)
    {
        SetName(QStringLiteral("ErrorBox"));
        SetCaption(caption);
        SetBorderStyle(TFormBorderStyle::bsDialog);
        SetPosition(TPosition::poScreenCenter);
        setFont(Screen().MessageFont());
        const int margin = 12, icon = 32;
        auto *image = new QLabel(this);
        image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(icon, icon));
        image->setGeometry(margin, margin, icon, icon);
        auto *message = new TLabel(this, QStringLiteral("Message"));
        message->setWordWrap(true);
        const QRect bounds = fontMetrics().boundingRect(QRect(0, 0, Screen().Width() / 2, 10000),
                                                        Qt::TextWordWrap | Qt::TextExpandTabs, text);
        message->SetAutoSize(false);
        message->SetCaption(text);
        message->SetBounds(margin * 2 + icon, margin, bounds.width() + 2, bounds.height());
        const int textBottom = margin + std::max(icon, bounds.height());
        auto *ok = new TButton(this, QStringLiteral("OK"));
        ok->SetCaption(QStringLiteral("OK"));
        ok->SetModalResult(mrOk);
        ok->SetDefault(true);
        ok->SetCancel(true);
        const int w = std::max(margin * 3 + icon + bounds.width(), 75 + margin * 2);
        ok->SetBounds((w - 75) / 2, textBottom + margin, 75, 25);
        ResizeClient(w, textBottom + margin * 2 + 25);
        DoCreate();
    }
    ~TErrorBox() override { DoDestroy(); }
};

} // namespace

void TApplication::ShowException(const Exception &e)
{
    // The message ends with a full stop unless it ends with punctuation; the
    // box carries the program's name even before its title is set.
    QString text = NoticeText(e.Message());
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    TErrorBox box(text, Title());
    box.ShowModal();
}

} // namespace zorbel
