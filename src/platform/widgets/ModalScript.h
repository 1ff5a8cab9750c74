// A scripted answer to modal windows and message boxes, for tests.
//
// While a TModalScript lives it is the modal handler: each window shown
// modally takes the next step of the script, in order (a dialog opened from a
// modal window takes the step after its opener's). A step runs on the open,
// shown window: it may press buttons, set values, send real key and mouse
// events, or close the window with a result. Every window seen is logged with
// its caption and message text. A window shown when no step is left, or left
// open by its step without a result, is closed with mrCancel and counted as
// an error, so a test never hangs.
//
//   TModalScript script;
//   script.Press("Yes");                       // answer the first dialog
//   script.Then([](TForm &f) { ... });         // drive the second window
//   RunCode();
//   EXPECT_TRUE(script.Finished());
#pragma once

#include "platform/widgets/Forms.h"

#include <deque>

namespace zorbel {

class TModalScript {
public:
    using TStep = std::function<void(TForm &Form)>;
    struct TSeen {
        QString Name;     // the window's Name
        QString Caption;  // its title
        QString Text;     // the caption of its control "Message", if any
        int Result = 0;   // the result it closed with
    };

    TModalScript();
    ~TModalScript();
    TModalScript(const TModalScript &) = delete;
    TModalScript &operator=(const TModalScript &) = delete;

    // Runs a callback on the open window.
    TModalScript &Then(TStep step);
    // Clicks the button with this Name (or, failing that, this caption).
    TModalScript &Press(const QString &button);
    // Sets the text of the named edit, then clicks the named button.
    TModalScript &Enter(const QString &edit, const QString &text, const QString &button);
    // Closes the window with a result, as code setting ModalResult would.
    TModalScript &CloseWith(int result);
    // Closes the window from its title bar.
    TModalScript &CloseFromTitleBar();

    const std::vector<TSeen> &Seen() const { return seen_; }
    QStringList Errors() const { return errors_; }
    int PendingSteps() const { return int(steps_.size()); }
    // True when every step ran and no error happened.
    bool Finished() const { return steps_.empty() && errors_.isEmpty(); }

private:
    void Run(TForm &form);
    std::deque<TStep> steps_;
    std::vector<TSeen> seen_;
    QStringList errors_;
    TModalHandler previous_;
};

// Finds a control of a form by Name (nullptr when absent).
template <class T> T *FindControl(QWidget &form, const QString &name)
{
    return form.findChild<T *>(name);
}

// Clicks the named button of a form; false when there is none.
bool PressButton(QWidget &form, const QString &name);

// Sends a real key press and release to a widget, as the keyboard would;
// text is the typed character ("" for keys that type none).
void SendKey(QWidget *widget, int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             const QString &text = {});
// Sends a key to the focused widget of a window (the window when none is).
void SendKeyToFocus(QWidget &window, int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                    const QString &text = {});
// Sends a real left-button press and release at a point of a widget (its centre by default).
void SendClick(QWidget *widget, QPoint pos = QPoint(-1, -1), Qt::MouseButton button = Qt::LeftButton);

} // namespace zorbel
