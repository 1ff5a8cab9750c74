// TFormCalc: the small modal calculator. The user types an expression such
// as the one in its caption into Ed (or taps it on the keypad) and gets its
// value; the operation card takes ResultText back into an amount field, and
// the main window's calculator command keeps the window open (KeepOpen) and
// shows each result in Ed. Evaluation is ParseExpression (ZorbCalcParser.h).
#pragma once

#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <vector>

namespace zorbel {

class TFormCalc : public TForm {
    Q_OBJECT
public:
    TFormCalc();
    ~TFormCalc() override;

    TPanel *PanTop, *PanBut;
    TEdit *Ed;
    std::vector<TButton *> Keys; // "1".."9", "0", ButDec, operators, "(", ")", ButDel
    TButton *ButDec, *ButDel, *ButOk;

    // The last result as text; empty when there is none.
    QString ResultText;
    // Stay open after a result and show it in Ed.
    bool KeepOpen = false;

    void FormCreate(TObject *Sender);
    void PanTopResize(TObject *Sender);
    void FormShow(TObject *Sender);
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    void EdKeyPress(TObject *Sender, QChar &Key);
    void ButOkClick(TObject *Sender);
    void ButDecClick(TObject *Sender);
    void CalculateExpression();
};

} // namespace zorbel
