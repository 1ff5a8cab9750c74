// TFormSets: the settings window "Настройки и установки". Four pages of the
// user-facing options; the main window fills it, shows it and takes the
// options back on OK (TFormMain::mSetsClick). Column visibility and titles,
// the registry removal and the chosen fonts act while the window is open.
#pragma once

#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <functional>

namespace zorbel {

class TFormSets : public TForm {
    Q_OBJECT
public:
    TFormSets();
    ~TFormSets() override;

    TPageControl *Pg;
    TTabSheet *ShView, *ShFormat, *ShSystem, *ShRemind;
    TPanel *PanOk;
    TButton *ButOk, *ButCancel;
    // "Внешний вид"
    TCheckBox *ChBar, *ChStatus;
    TButton *ButFontGrid, *ButFontTitle;
    TCheckListBox *LbFld;
    TEdit *EdDisplay;
    TButton *ButColumn;
    // "Подстановка и формат чисел"
    TCheckBox *ChSum, *ChPrice, *ChQuant, *ChRate, *ChPrs, *ChFrm, *ChComm;
    TComboBox *CbPrice, *CbRate, *CbQuant, *CbCor;
    TEdit *EdDate;
    TCheckBox *ChAutoSum, *ChEmpty, *ChAcc_Def, *ChLast_Date;
    // "Система и файлы"
    TButton *ButReg;
    TEdit *EdCSV, *EdBak, *EdReserve, *EdCalc;
    TLabel *LbReserve; // where the reserve copies go when EdReserve is empty
    TButton *ButCalc;
    TCheckBox *ChEscape, *ChAdmin, *ChConfirm;
    // "Напоминания"
    TEdit *EdFlag;
    TComboBox *CbDay1, *CbDay2;

    // The open dialog Cod ("Выбор внешней программы-калькулятора", an existing
    // file): true with a file chosen. Tests replace it.
    std::function<bool(QString &FileName)> ExecuteCalcDialog;

    // Opens the font dialog on the button's font; on OK the button takes the
    // chosen font, bold or regular only.
    void ButFontClick(TButton *Button);
    void ButCalcClick(TObject *Sender);
    // Names Folder in LbReserve as the reserve copies' folder when none is
    // given, within the label's two lines.
    void ShowReserveFolder(const QString &Folder);

private:
    TTabSheet *Page(const char *name, const char *caption);
};

} // namespace zorbel
