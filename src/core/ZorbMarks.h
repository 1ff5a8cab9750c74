// The statistics text window and the bookmarks window.
#pragma once

#include "core/ZorbSearch.h"
#include "platform/dataset/DataSource.h"
#include "platform/sqltable/Query.h"
#include "platform/sqltable/Table.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/DBGrids.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Menus.h"

namespace zorbel {

class TFormMain;

// Lines of text for reading ("Статистика"): the caller sets the font, adds
// lines to M, shows it modally and frees it.
class TFormSum : public TForm {
    Q_OBJECT
public:
    TFormSum();
    ~TFormSum() override;
    TMemo *M;
};

// The account's line of a statistics text ("name = balance currency"), an
// empty line and today's date. Account stands on the account.
QStringList AccountStatisticsLines(const TTable &Account);
// Shows Lines in the statistics window with Font, modally.
void ShowStatistics(const QFont &Font, const QStringList &Lines);

class TFormMrk : public TForm {
    Q_OBJECT
public:
    explicit TFormMrk(TFormMain &Main);
    ~TFormMrk() override;

    TPanel *PanTop;
    TSpeedButton *ButGoTo, *ButDel, *ButClear;
    TCheckBox *ChTotal, *ChAll;
    TDBGrid *DBGMark;
    TPopupMenu *PmMark;
    TMenuItem *mGoto, *mDel, *mClear;
    TStatusBar *Sb;
    TQuery Qmark;
    TDataSource DsMark;
    TDateTime MarksPeriodBegin = 0, MarksPeriodEnd = 0;

    void RefreshMarks();
    void GoToMark();
    // One bookmark (the current row) or all of them.
    void RemoveMarks(bool All);
    // The statistics window's lines for the shown list.
    QStringList StatisticsLines() const;
    void SbClick(TObject *Sender);
    // Whether the go-to, delete and clear commands can act.
    bool CommandsEnabled() const { return ButGoTo->Enabled(); }

private:
    TFormMain &main_;
    void UpdateCommands();
    void FormKeyDown(TObject *Sender, WORD &Key, TShiftState Shift);
};

} // namespace zorbel
