// TFormCopAc: the account picker "Переместить строку на счёт". Its caller
// fills the list Lb (text and account id per line) and reads the chosen line
// after OK; a double click on the list is OK too.
#pragma once

#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

namespace zorbel {

class TFormCopAc : public TForm {
    Q_OBJECT
public:
    TFormCopAc();
    ~TFormCopAc() override;

    TListBox *Lb;
    TButton *ButOk, *ButCancel;

    void LbDblClick(TObject *Sender);
};

} // namespace zorbel
