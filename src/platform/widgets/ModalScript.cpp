// Scripted answers to modal windows.
#include "platform/widgets/ModalScript.h"

#include "platform/widgets/Buttons.h"
#include "platform/widgets/StdCtrls.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace zorbel {

bool PressButton(QWidget &form, const QString &name)
{
    TButton *button = form.findChild<TButton *>(name);
    if (!button)
        for (TButton *b : form.findChildren<TButton *>())
            if (b->Caption() == name)
                button = b;
    if (button) {
        button->Click();
        return true;
    }
    if (auto *speed = form.findChild<TSpeedButton *>(name)) {
        speed->Press();
        return true;
    }
    return false;
}

void SendKey(QWidget *widget, int qtKey, Qt::KeyboardModifiers modifiers, const QString &text)
{
    QString typed = text;
    if (typed.isEmpty() && (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter))
        typed = QStringLiteral("\r");
    else if (typed.isEmpty() && qtKey == Qt::Key_Escape)
        typed = QString(QChar(27));
    QPointer<QWidget> target(widget);
    QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, typed);
    QApplication::sendEvent(widget, &press);
    if (target) {
        QKeyEvent release(QEvent::KeyRelease, qtKey, modifiers, typed);
        QApplication::sendEvent(target, &release);
    }
}

void SendKeyToFocus(QWidget &window, int qtKey, Qt::KeyboardModifiers modifiers, const QString &text)
{
    QWidget *focus = window.focusWidget();
    SendKey(focus ? focus : &window, qtKey, modifiers, text);
}

void SendClick(QWidget *widget, QPoint pos, Qt::MouseButton button)
{
    if (pos == QPoint(-1, -1))
        pos = widget->rect().center();
    const QPointF local(pos), global(widget->mapToGlobal(pos));
    QPointer<QWidget> target(widget);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    if (target) {
        QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &release);
    }
}

TModalScript::TModalScript()
{
    previous_ = SetModalHandler([this](TForm &form) { Run(form); });
}

TModalScript::~TModalScript() { SetModalHandler(std::move(previous_)); }

TModalScript &TModalScript::Then(TStep step)
{
    steps_.push_back(std::move(step));
    return *this;
}

TModalScript &TModalScript::Press(const QString &button)
{
    return Then([this, button](TForm &form) {
        if (!PressButton(form, button))
            errors_ << QStringLiteral("no button \"%1\" in window \"%2\"").arg(button, form.Caption());
    });
}

TModalScript &TModalScript::Enter(const QString &edit, const QString &text, const QString &button)
{
    return Then([this, edit, text, button](TForm &form) {
        if (auto *e = form.findChild<TEdit *>(edit))
            e->SetText(text);
        else
            errors_ << QStringLiteral("no edit \"%1\" in window \"%2\"").arg(edit, form.Caption());
        if (!PressButton(form, button))
            errors_ << QStringLiteral("no button \"%1\" in window \"%2\"").arg(button, form.Caption());
    });
}

TModalScript &TModalScript::CloseWith(int result)
{
    return Then([result](TForm &form) { form.SetModalResult(result); });
}

TModalScript &TModalScript::CloseFromTitleBar()
{
    return Then([](TForm &form) { form.close(); });
}

void TModalScript::Run(TForm &form)
{
    TSeen seen;
    seen.Name = form.Name();
    seen.Caption = form.Caption();
    if (auto *message = form.findChild<TLabel *>(QStringLiteral("Message")))
        seen.Text = message->Caption();
    const std::size_t slot = seen_.size();
    seen_.push_back(seen);
    if (steps_.empty()) {
        errors_ << QStringLiteral("unexpected window \"%1\": %2").arg(seen.Caption, seen.Text);
        form.SetModalResult(mrCancel);
    } else {
        TStep step = std::move(steps_.front());
        steps_.pop_front();
        step(form);
        if (form.ModalResult() == mrNone)
            errors_ << QStringLiteral("window \"%1\" left open by its step").arg(seen.Caption);
    }
    seen_[slot].Result = form.ModalResult();
}

} // namespace zorbel
