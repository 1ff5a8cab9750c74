// The future days window: the days after today on which the main window's
// current account has operations, realised or planned, with the day's income,
// expense and the running balance. Choosing a day closes it with OK.
#pragma once

#include "memtable/VemtMemTable.h"
#include "platform/dataset/DataSource.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/Forms.h"

namespace zorbel {

class TFormMain;

// The notice's first line when the account's operations cannot be read.
extern const QString DaysReadFailedText;

class TFormDays : public TForm {
    Q_OBJECT
public:
    explicit TFormDays(TFormMain &Main);
    ~TFormDays() override;

    TDBGrid *DBGDays;
    TVemtMemTable TbDays;
    TDataSource DataDays{&TbDays};
    TDateTime StartDay = 0; // today, set when the window is shown

    // Fills the list; a failed read leaves it empty and tells the user
    // (DaysReadFailedText and the failure's own message).
    void FillDays();

private:
    TFormMain &main_;
};

// The main window's future days command: shows the window and returns true
// with Day when the user chose a row that has a date.
bool ChooseFutureDay(TFormMain &Main, TDateTime &Day);

} // namespace zorbel
