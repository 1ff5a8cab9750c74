// The key router: how a key press on the focused widget of one of our forms
// travels, in the order the program's windows are written for: their menus'
// shortcuts win over every handler, and a form with KeyPreview sees a key
// before its control does (a key that a control's in-place editor keeps for
// itself goes straight to the editor):
//   1. shortcuts: popup menus of the focused control and its parents, then
//      the form's main menu (Menus.h);
//   2. Shift+F10 opens the focused control's popup menu, as the Menu key
//      does; dialog keys: Enter clicks a focused button, else the default
//      button unless the control wants Enter; Escape clicks the cancel button;
//   3. OnKeyDown of the form (with KeyPreview), then of the control; Key := 0
//      swallows the key, though its character still reaches step 4 and, when
//      printable and not swallowed there, is still typed;
//   4. OnKeyPress of the form (with KeyPreview), then of the control, with the
//      key's character; a handler may swallow it (#0) or replace it;
//   5. the widget's own handling.
// The router sits on the application object and delivers the event itself,
// so Qt's propagation of an unhandled key to the parents never routes twice.
#include "platform/widgets/Forms.h"
#include "platform/widgets/FormsPrivate.h"

#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QSet>

namespace zorbel {

namespace {

// The character a key press types, as OnKeyPress handlers test it:
// Ctrl with a Latin letter gives the control character, Enter #13, Escape #27.
QChar CharOf(const QKeyEvent *ke)
{
    const bool ctrl = (ke->modifiers() & Qt::ControlModifier) && !(ke->modifiers() & Qt::AltModifier);
    if (ctrl && ke->key() >= Qt::Key_A && ke->key() <= Qt::Key_Z)
        return QChar(char16_t(ke->key() - Qt::Key_A + 1));
    switch (ke->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(u'\r');
    case Qt::Key_Escape: return QChar(u'\x1b');
    case Qt::Key_Backspace: return QChar(u'\b');
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return QChar();
    default: break;
    }
    const QString text = ke->text();
    if (text.isEmpty() || (text.at(0).unicode() < 32 && text.at(0).unicode() != 0))
        return QChar();
    return text.at(0);
}

WORD KeyOf(const QKeyEvent *ke)
{
    if (ke->modifiers() & Qt::KeypadModifier) {
        if (ke->key() >= Qt::Key_0 && ke->key() <= Qt::Key_9)
            return WORD(VK_NUMPAD0 + (ke->key() - Qt::Key_0));
        switch (ke->key()) {
        case Qt::Key_Plus: return VK_ADD;
        case Qt::Key_Minus: return VK_SUBTRACT;
        case Qt::Key_Asterisk: return VK_MULTIPLY;
        case Qt::Key_Slash: return VK_DIVIDE;
        case Qt::Key_Period:
        case Qt::Key_Comma: return VK_DECIMAL;
        default: break;
        }
    }
    return VirtualKeyOf(ke->key());
}

class KeyRouter : public QObject {
public:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        if (delivering_.contains(event))
            return false;
        auto *widget = qobject_cast<QWidget *>(object);
        if (!widget || qobject_cast<QMenu *>(widget))
            return false;
        auto *form = dynamic_cast<TForm *>(widget->window());
        if (!form)
            return false;
        auto *ke = static_cast<QKeyEvent *>(event);
        if (event->type() == QEvent::KeyPress)
            RouteKeyDown(widget, form, ke);
        else
            RouteKeyUp(widget, form, ke);
        event->accept();
        return true;
    }

private:
    // Lets the widget handle the event (or a replacement) as Qt would.
    void Deliver(QWidget *widget, QEvent *event)
    {
        delivering_.insert(event);
        QApplication::sendEvent(widget, event);
        delivering_.remove(event);
    }

    bool RouteKeyUp(QWidget *widget, TForm *form, QKeyEvent *ke)
    {
        TControl *control = FindControl(widget);
        WORD key = KeyOf(ke);
        const TShiftState shift = ShiftStateOf(ke->modifiers());
        if ((form->KeyPreview() || control == form) && form->OnKeyUp)
            DispatchEvent([&] { form->OnKeyUp(form, key, shift); });
        if (key && control && control != form && control->OnKeyUp)
            DispatchEvent([&] { control->OnKeyUp(control, key, shift); });
        if (key)
            Deliver(widget, ke);
        return true;
    }

    bool RouteKeyDown(QWidget *widget, TForm *form, QKeyEvent *ke)
    {
        QPointer<QWidget> guard(widget);
        TControl *control = FindControl(widget);
        const WORD vk = KeyOf(ke);
        const TShiftState shift = ShiftStateOf(ke->modifiers());
        const bool modifierKey = vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU;

        if (control && control->EditorTakesKey(widget, vk)) {
            Deliver(widget, ke);
            return true;
        }
        if (vk && !modifierKey && RunShortCut(control, form, ShortCut(vk, shift)))
            return true;
        if (vk == VK_F10 && KeyModifiers(shift) == ssShift && OpenContextMenu(widget))
            return true;
        if (vk == VK_TAB) {
            Deliver(widget, ke);
            return true;
        }
        if (KeyModifiers(shift) == 0 && RunDialogKey(widget, control, form, vk))
            return true;

        WORD key = vk;
        bool downSwallowed = false;
        if ((form->KeyPreview() || control == form) && form->OnKeyDown) {
            DispatchEvent([&] { form->OnKeyDown(form, key, shift); });
            downSwallowed = key == 0;
        }
        if (!downSwallowed && control && control != form && control->OnKeyDown && guard) {
            DispatchEvent([&] { control->OnKeyDown(control, key, shift); });
            downSwallowed = key == 0;
        }
        if (!guard)
            return true;

        const QChar pressed = CharOf(ke);
        QChar ch = pressed;
        if (!ch.isNull()) {
            if ((form->KeyPreview() || control == form) && form->OnKeyPress)
                DispatchEvent([&] { form->OnKeyPress(form, ch); });
            if (!ch.isNull() && control && control != form && control->OnKeyPress && guard)
                DispatchEvent([&] { control->OnKeyPress(control, ch); });
            if (ch.isNull() || !guard)
                return true;
        }
        if (downSwallowed && (ch.isNull() || ch.unicode() < 32))
            return true;
        if (ch != pressed || downSwallowed) {
            // Type the (replaced) character alone.
            QKeyEvent typed(QEvent::KeyPress, ch.unicode() < 32 ? ke->key() : 0, ke->modifiers(), QString(ch));
            Deliver(widget, &typed);
            return true;
        }
        Deliver(widget, ke);
        return true;
    }

    static bool RunShortCut(TControl *control, TForm *form, TShortCut shortCut)
    {
        for (TControl *c = control; c; c = c->ParentControl()) {
            TPopupMenu *menu = c->PopupMenu();
            if (!menu || !menu->Items().FindShortCut(shortCut))
                continue;
            // The items' states are set as opening the menu on this control
            // would set them: a key pressed on a row just added, or after a
            // move, finds its item enabled or not by the row it acts on.
            menu->SetPopupComponent(c);
            if (menu->OnPopup)
                menu->OnPopup(menu);
            if (menu->IsShortCut(shortCut))
                return true;
        }
        return form->Menu() && form->Menu()->IsShortCut(shortCut);
    }

    // The context menu the widget shows for the Menu key, at its centre;
    // false when it shows none.
    static bool OpenContextMenu(QWidget *widget)
    {
        const QPoint pos = widget->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Keyboard, pos, widget->mapToGlobal(pos));
        event.ignore();
        QApplication::sendEvent(widget, &event);
        return event.isAccepted();
    }

    static bool RunDialogKey(QWidget *widget, TControl *control, TForm *form, WORD vk)
    {
        if (vk == VK_RETURN) {
            if (control && control->WantsReturn())
                return false;
            if (auto *button = dynamic_cast<TButton *>(control); button && button->isEnabled()) {
                button->Click();
                return true;
            }
            if (qobject_cast<QAbstractButton *>(widget))
                return false;
            if (TButton *button = form->DefaultButton()) {
                button->Click();
                return true;
            }
        } else if (vk == VK_ESCAPE) {
            if (control && control->WantsReturn())
                return false;
            if (TButton *button = form->CancelButton()) {
                button->Click();
                return true;
            }
        }
        return false;
    }

    QSet<QEvent *> delivering_;
};

} // namespace

void EnsureKeyRouter()
{
    static KeyRouter *router = nullptr;
    if (!router && qApp) {
        router = new KeyRouter; // lives as long as the application object
        router->setParent(qApp);
        qApp->installEventFilter(router);
    }
}

// ---- the buttons the dialog keys click ----

TButton *TForm::DefaultButton() const
{
    for (TButton *b : findChildren<TButton *>())
        if (b->Default() && b->isVisible() && b->isEnabled())
            return b;
    return nullptr;
}

TButton *TForm::CancelButton() const
{
    for (TButton *b : findChildren<TButton *>())
        if (b->Cancel() && b->isVisible() && b->isEnabled())
            return b;
    return nullptr;
}

} // namespace zorbel
