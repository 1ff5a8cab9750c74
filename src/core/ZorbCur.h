// TFormCur: the rates window "Курсы валют". For the currency chosen in CbRate
// it lists, by date (newest first), the average rate written on the
// operations of that currency's accounts; a date's rate is changed by hand
// (double click or Enter) or many dates' rates are imported from a text or
// dBASE file (ButSel). The rate rules live in ZorbRates.
#pragma once

#include "platform/dataset/DataSource.h"
#include "platform/sqltable/Query.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <functional>
#include <vector>

namespace zorbel {

class TFormMain;
class TDm;

class TFormCur : public TForm {
    Q_OBJECT
public:
    explicit TFormCur(TFormMain &Main);
    ~TFormCur() override;

    TPanel *PanRate;
    TComboBox *CbRate;
    TSpeedButton *ButSel;
    TDBGrid *DBGRate;
    TQuery Qrate;       // date_real DateRate, avg(rate) Rate of the currency's accounts
    TDataSource DsRate;

    // The open dialog OdRate: true with a file chosen (FileName). Title is
    // the dialog's title. Tests replace it.
    std::function<bool(const QString &Title, QString &FileName)> ExecuteOpenDialog;

    // The accounts of the chosen currency.
    const std::vector<int> &AccountIds() const { return ids_; }
    // The open dialog's title for the chosen currency.
    QString OpenDialogTitle() const;

    void FormShow(TObject *Sender);
    // Applies the chosen currency: its accounts, their count, the list.
    void CbRateChange(TObject *Sender);
    // Asks for the rate of the list's current date and writes it.
    void DBGRateDblClick(TObject *Sender);
    // Imports rates from a chosen ".txt" or ".dbf" file.
    void ButSelClick(TObject *Sender);

private:
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
    // Reopens the list and goes to Date (when above 0).
    void ReopenRates(double Date);

    TFormMain &main_;
    TDm &dm_;
    std::vector<int> ids_;
};

} // namespace zorbel
