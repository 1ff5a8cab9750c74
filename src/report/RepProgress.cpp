// The progress window of print and export runs.
#include "report/RepProgress.h"

#include <QMetaObject>
#include <QThread>

namespace zorbel {

TRepProgressForm::TRepProgressForm(TRepPrinter &printer) : printer_(printer)
{
    SetName(QStringLiteral("RepProgressForm"));
    SetCaption(QStringLiteral("Printing progress"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetFormStyle(TFormStyle::fsStayOnTop);
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(149);
    SetClientHeight(97);
    Gauge = new TProgressBar(this, QStringLiteral("Gauge"));
    Gauge->SetBounds(16, 18, 114, 16);
    Gauge->SetMin(0);
    Gauge->SetMax(100);
    Gauge->SetPosition(0);
    Gauge->setTextVisible(false);
    Info = new TLabel(this, QStringLiteral("Info"));
    Info->SetAutoSize(false);
    Info->SetAlignment(TAlignment::taCenter);
    Info->SetBounds(0, 44, 145, 13);
    CancelButton = new TButton(this, QStringLiteral("CancelButton"));
    CancelButton->SetCaption(QStringLiteral("Cancel"));
    CancelButton->SetBounds(36, 60, 75, 25);
    CancelButton->SetCancel(true);
    CancelButton->OnClick = [this](TObject *) { printer_.Cancel(); };
    DoCreate();
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
    QMetaObject::invokeMethod(this, [this, caption] { SetCaption(caption); },
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
