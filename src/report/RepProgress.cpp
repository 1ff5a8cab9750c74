// The progress window of print and export runs.
#include "report/RepProgress.h"

#include <QFontMetrics>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <cmath>

namespace zorbel {

TRepProgressForm::TRepProgressForm(TRepPrinter &printer) : printer_(printer)
{
    SetName(QStringLiteral("RepProgressForm"));
    SetCaption(QStringLiteral("Printing progress"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetFormStyle(TFormStyle::fsStayOnTop);
    SetPosition(TPosition::poScreenCenter);
    Gauge = new TProgressBar(this, QStringLiteral("Gauge"));
    Gauge->SetMin(0);
    Gauge->SetMax(100);
    Gauge->SetPosition(0);
    Gauge->setTextVisible(false);
    Info = new TLabel(this, QStringLiteral("Info"));
    Info->SetAutoSize(false);
    Info->SetAlignment(TAlignment::taCenter);
    CancelButton = new TButton(this, QStringLiteral("CancelButton"));
    CancelButton->SetCaption(QStringLiteral("Cancel"));
    CancelButton->SetCancel(true);
    CancelButton->OnClick = [this](TObject *) { printer_.Cancel(); };
    LayOut();
    DoCreate();
}

void TRepProgressForm::LayOut()
{
    // The 149 x 97 layout of a 13-pixel font, grown with a larger one; as
    // wide as the title needs, which a window manager would otherwise cut
    // to "Pr... ss".
    const double s = std::max(1.0, QFontMetrics(font()).height() / 13.0);
    const auto n = [s](int v) { return int(std::lround(v * s)); };
    const int width = std::max(n(149), CaptionWidth());
    SetClientWidth(width);
    SetClientHeight(n(97));
    Gauge->SetBounds(n(16), n(18), width - n(35), n(16));
    Info->SetBounds(0, n(44), width - n(4), n(13));
    CancelButton->SetBounds((width - n(75)) / 2 - 1, n(60), n(75), n(25));
}

TRepProgressForm::~TRepProgressForm() { DoDestroy(); }

void TRepProgressForm::PostMessage(unsigned msg, intptr_t, intptr_t)
{
    // The form is the call's context: a notice still queued when the window
    // is freed is dropped.
    QMetaObject::invokeMethod(this, [this, msg] { Handle(msg); }, Qt::QueuedConnection);
}

void TRepProgressForm::SendMessage(unsigned msg, intptr_t, intptr_t) { Handle(msg); }

void TRepProgressForm::SetStatusCaption(const QString &caption)
{
    QMetaObject::invokeMethod(this,
                              [this, caption] {
                                  SetCaption(caption);
                                  LayOut();
                                  if (isVisible()) // centred again at its new width
                                      move((Screen().Width() - frameGeometry().width()) / 2, pos().y());
                              },
                              QThread::currentThread() == thread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

void TRepProgressForm::Handle(unsigned msg)
{
    if (msg != WM_USER)
        return;
    // Only every fifth percent moves the bar, so a long run does not spend
    // its time repainting.
    const int p = printer_.Progress();
    if (p % 5 != 0)
        return;
    Gauge->SetPosition(p);
    Info->SetCaption(QString::number(p) + QStringLiteral("% ") + QStringLiteral(" Completed"));
    Application().ProcessMessages();
}

void RegisterRepProgressWindow()
{
    RepProgressWindowFactory() = [](TRepPrinter &printer) -> std::unique_ptr<TRepMessageTarget> {
        auto form = std::make_unique<TRepProgressForm>(printer);
        form->Show();
        return form;
    };
}

} // namespace zorbel
