// What the window-free part of core asks of the person at the computer.
//
// The data module, the data-file routines and the settings never open a
// window themselves: their notices and questions go through this interface,
// which the windows layer implements with the program's own message and input
// boxes (TDialogHost in ZorbDialogHost.h). The defaults show nothing and
// answer Cancel, so the window-free code runs without any window (tools,
// tests of the rules alone).
#pragma once

#include <QString>

class QWidget;

namespace zorbel {

class TNoticeHost {
public:
    virtual ~TNoticeHost() = default;
    // Shows Text with the single button OK and returns when it is closed.
    virtual void Notice(const QString &Text) { (void)Text; }
    // Asks for one line of text: on OK stores it in Value and returns true;
    // on Cancel leaves Value alone and returns false.
    virtual bool InputLine(const QString &Caption, const QString &Prompt, QString &Value)
    {
        (void)Caption;
        (void)Prompt;
        (void)Value;
        return false;
    }
    // Redraws the window that asked (after a box over it was closed); Owner
    // may be null.
    virtual void RepaintOwner(QWidget *Owner) { (void)Owner; }
};

} // namespace zorbel
