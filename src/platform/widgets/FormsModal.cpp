// Event dispatch and modal showing. Every handler runs through
// DispatchEvent, which counts how deep handlers nest; a modal form whose
// ModalResult was set inside a handler ends when the outermost handler
// returns, so OnClick can still clear the result. The modal stack holds the
// forms shown modally, innermost last. How ShowModal waits is the modal
// handler's business (Forms.h).
#include "platform/widgets/Forms.h"
#include "platform/widgets/FormsPrivate.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <algorithm>
#include <vector>

namespace zorbel {

namespace {

int dispatchDepth = 0;
std::vector<TForm *> modalStack;
TModalHandler &ModalHandlerSlot()
{
    static TModalHandler handler;
    return handler;
}

// Ends the top modal window when its ModalResult was set by the event just handled.
void EndPendingModal()
{
    if (!modalStack.empty()) {
        TForm *form = modalStack.back();
        if (form->ModalResult() != mrNone)
            form->SetModalResult(form->ModalResult());
    }
}

} // namespace

bool DispatchEvent(const std::function<void()> &handler)
{
    bool ok = true;
    ++dispatchDepth;
    try {
        handler();
    } catch (...) {
        ok = false;
        try {
            Application().HandleException(nullptr);
        } catch (...) {
            // A failure while reporting a failure must not cross the event loop.
        }
    }
    --dispatchDepth;
    if (dispatchDepth == 0)
        EndPendingModal();
    return ok;
}

TModalHandler SetModalHandler(TModalHandler handler)
{
    TModalHandler previous = std::move(ModalHandlerSlot());
    ModalHandlerSlot() = std::move(handler);
    return previous;
}

TModalHandler ModalHandler() { return ModalHandlerSlot(); }

void ForgetModalForm(TForm *form)
{
    for (auto it = modalStack.begin(); it != modalStack.end(); ++it)
        if (*it == form) {
            modalStack.erase(it);
            break;
        }
}

TForm *TopModalForm() { return modalStack.empty() ? nullptr : modalStack.back(); }

void SetParentModalResult(TControl *control, int result)
{
    if (TForm *form = control->ParentForm())
        form->SetModalResult(result);
}

// ---- showing modally ----

int TForm::ShowModal()
{
    if (modal_ || isVisible())
        throw Exception(QStringLiteral("Показанное окно нельзя сделать модальным"));
    modalResult_ = mrNone;
    modalEnded_ = false;
    modal_ = true;
    modalStack.push_back(this);
    const int savedDepth = dispatchDepth;
    dispatchDepth = 0;
    struct Restore {
        TForm *form;
        int depth;
        ~Restore()
        {
            form->loop_ = nullptr;
            form->hide();
            form->setWindowModality(Qt::NonModal);
            form->modal_ = false;
            if (!modalStack.empty() && modalStack.back() == form)
                modalStack.pop_back();
            dispatchDepth = depth;
        }
    } restore{this, savedDepth};

    setWindowModality(Qt::ApplicationModal);
    Show();
    activateWindow();
    if (!focusWidget() || focusWidget() == this)
        focusNextChild();

    if (TModalHandler handler = ModalHandlerSlot()) {
        // A window that closed itself while showing needs no answer.
        if (!modalEnded_)
            handler(*this);
        if (!modalEnded_ && modalResult_ != mrNone)
            TryEndModal();
        if (!modalEnded_) {
            // Left open by the handler: closed as from the title bar, whatever
            // the window says.
            modalResult_ = mrCancel;
            if (!TryEndModal()) {
                modalResult_ = mrCancel;
                modalEnded_ = true;
            }
        }
    } else {
        while (!modalEnded_) {
            QEventLoop loop;
            loop_ = &loop;
            const int rc = loop.exec(QEventLoop::DialogExec);
            loop_ = nullptr;
            // An event loop refuses to run once the application has been
            // told to end: the window ends as cancelled instead of waiting
            // on a loop that returns at once, again and again.
            if (rc == -1 && !modalEnded_) {
                modalResult_ = mrCancel;
                modalEnded_ = true;
            }
        }
    }
    return modalResult_;
}

void TForm::SetModalResult(int result)
{
    modalResult_ = result;
    if (modal_ && !modalEnded_ && result != mrNone && dispatchDepth == 0)
        TryEndModal();
}

bool TForm::CloseQuery()
{
    bool canClose = true;
    if (OnCloseQuery && !DispatchEvent([&] { OnCloseQuery(this, canClose); }))
        canClose = false;
    return canClose;
}

bool TForm::TryEndModal()
{
    if (inEndModal_ || modalEnded_)
        return modalEnded_;
    inEndModal_ = true;
    ++dispatchDepth;
    TCloseAction action = TCloseAction::caNone;
    if (CloseQuery()) {
        action = TCloseAction::caHide;
        if (OnClose && !DispatchEvent([&] { OnClose(this, action); }))
            action = TCloseAction::caNone;
    }
    --dispatchDepth;
    if (action == TCloseAction::caNone)
        modalResult_ = mrNone;
    else {
        modalEnded_ = true;
        if (loop_)
            loop_->quit();
    }
    inEndModal_ = false;
    return modalEnded_;
}

void TForm::Close()
{
    if (modal_)
        SetModalResult(mrCancel);
    else
        close();
}

void TForm::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (modal_) {
        if (!modalEnded_)
            SetModalResult(mrCancel);
        return;
    }
    if (!CloseQuery())
        return;
    TCloseAction action = TCloseAction::caHide;
    if (OnClose)
        DispatchEvent([&] { OnClose(this, action); });
    switch (action) {
    case TCloseAction::caHide: event->accept(); break;
    case TCloseAction::caFree:
        event->accept();
        deleteLater();
        break;
    case TCloseAction::caMinimize: showMinimized(); break;
    default: break;
    }
}

} // namespace zorbel
