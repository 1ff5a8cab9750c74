// TFormFilt: the results window's dialog of extra conditions and output
// limits. Two panels share one place: the conditions (a comment and six
// numbers, each with a comparison "=", ">", "<", "#") read by the results
// window's query building, and the output limits (a unit, the chart column
// and three thresholds) that hide rows of the grouped totals. LimitsMode,
// set by whoever shows it, tells which panel is shown; both keep their
// entries between showings. OK is accepted only when every numeric edit of
// the shown panel is empty or a number.
#pragma once

#include "analysis/ZorbRstQuery.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <array>

namespace zorbel {

// Display labels of the value columns of the grouped totals, by unit
// (0 account currency, 1 common unit, 2 quantity): in, out, result.
QStringList RstUnitLabels(int Unit);

// Whether Key may be typed into a numeric edit holding Text with the caret
// at CaretPos and SelLength characters selected; ClearFirst is set when the
// text is to be emptied before the key goes in.
bool NumberEditAccepts(QChar Key, const QString &Text, int CaretPos, int SelLength, bool &ClearFirst);

// Applies NumberEditAccepts to a key typed into Edit: a refused key becomes
// null, an accepted one that replaces the text empties it first.
void FilterNumberKey(TEdit *Edit, QChar &Key);

class TFormFilt : public TForm {
    Q_OBJECT
public:
    TFormFilt();
    ~TFormFilt() override;

    bool LimitsMode = false;

    // Conditions panel.
    TPanel *PanFld;
    TComboBox *CbComm, *CbDt, *CbCt, *CbPrice, *CbRate, *CbQdt, *CbQct;
    TEdit *Ed_Comm, *Ed_Dt, *Ed_Ct, *Ed_Price, *Ed_Rate, *Ed_Qdt, *Ed_Qct;
    // Output-limits panel.
    TPanel *PanFiltSum;
    TComboBox *CbTab;
    TRadioButton *RbDt, *RbCt, *RbRs;
    TButton *ButEqDt, *ButEqCt, *ButEqRs;
    TEdit *EdDt, *EdCt, *EdRs;
    TButton *ButOk, *ButCancel;

    void FormShow(TObject *Sender);
    void ButOkClick(TObject *Sender);
    void RbDtClick(TObject *Sender);
    void EdDtKeyPress(TObject *Sender, QChar &Key);
    void ButEqDtClick(TObject *Sender);
    void CbTabChange(TObject *Sender);
    void CbCommChange(TObject *Sender);
    // True when Edit is empty or holds a number; otherwise tells the user
    // and focuses it.
    bool ValidateNumberEdit(TEdit *Edit);

    // The extra conditions as the query building takes them.
    void ReadConditions(TRstConditions &C) const;
    // The filter text of the output limits over the fields of Unit, e.g.
    // "sdt>'100' and amt<'0'"; Marks gets "+" or "-" per threshold.
    QString LimitFilter(const QStringList &FieldNames, QString &Marks) const;

private:
    std::array<TComboBox *, rnCount> numberBoxes() const;
    std::array<TEdit *, rnCount> numberEdits() const;
};

} // namespace zorbel
