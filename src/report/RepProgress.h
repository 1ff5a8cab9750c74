// The "Printing progress" window: a bar, a percentage and a Cancel button,
// shown while pages go to the printer or to an export filter.
#pragma once

#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"
#include "report/RepPrinter.h"

namespace zorbel {

class TRepProgressForm : public TForm, public TRepMessageTarget {
public:
    explicit TRepProgressForm(TRepPrinter &printer);
    ~TRepProgressForm() override;

    TProgressBar *Gauge;
    TLabel *Info;
    TButton *CancelButton;

    // May be called on the report's thread: the notice is handled on the
    // window's thread.
    void PostMessage(unsigned msg, intptr_t wParam, intptr_t lParam) override;
    void SendMessage(unsigned msg, intptr_t wParam, intptr_t lParam) override;
    // The window's caption (on the window's thread).
    void SetStatusCaption(const QString &caption) override;

private:
    void Handle(unsigned msg);
    // Places the parts for the window's font and caption.
    void LayOut();
    TRepPrinter &printer_;
};

// Makes print and export runs show the progress window.
void RegisterRepProgressWindow();

} // namespace zorbel
