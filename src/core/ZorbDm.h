// TDm: the data module, the one owner of all stored data. It holds the
// connection Db to the data set in the work folder, the seven tables with
// their persistent, lookup and calculated fields, their data sources, the
// program's fixed queries and the Modified flag that tells the main window
// the data file must be saved.
//
// Its table events keep the data set's rules:
//   identifiers  the first field of Tb_Person, Tb_Firm, Tb_Account, Tb_Family
//                and Tb_Items is given on insert: the table's maximum at the
//                first insert after the data set was opened, plus one, then
//                counted up in memory (IdCounters, indexed by the table's Tag);
//   references   people, firms and accounts still referred to are not deleted;
//   stamps       Date_Create of Tb_Hist and Tb_Log is strictly increasing and
//                unique: when the clock has not moved since the last stamp,
//                the next millisecond is issued;
//   Modified     set after every post and delete.
//
// What belongs to the main window (menus, panels, the entry date, the tree
// shown, its notices and questions) is reached through TDmHost, which the main
// window implements; the defaults of TDmHost let the module run without one.
#pragma once

#include "core/ZorbHost.h"
#include "core/ZorbSums.h"
#include "platform/dataset/DataSource.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "platform/sqltable/Database.h"
#include "platform/sqltable/Query.h"
#include "memtable/VemtMemTable.h"
#include "platform/sqltable/Table.h"

#include <QColor>
#include <QString>
#include <array>
#include <cstdint>

namespace zorbel {

class TZipReader;
struct TDmTableDef;

// The class library's integer-overflow error (an identifier counter at 32767).
ZORBEL_EXCEPTION(EIntOverflow, Exception);

// Sets the width of the string field FieldName (case-insensitive) of Table
// to NewSize keeping the rows; the table is left open or closed as it was.
// Raises EDatabaseError "Поле не найдено" when there is no such string field
// and "Ничего не сделано" when the width already is NewSize. Returns true.
bool WidenTextField(TTable &Table, const QString &FieldName, int NewSize);

// What UpdateMenus reads of the main window.
struct TMenuView {
    bool ExpenseTreeShown = true;  // mCt checked
    bool IncomeTreeShown = false;  // mDt checked
    bool ExpenseTreeHasNodes = false; // TvCt
    bool IncomeTreeHasNodes = false;  // TvDt
    bool LedgerVisible = true;     // PanD
};

// Enabled states UpdateMenus computes for the main window's menu items,
// buttons and popup menus (named as the main window names them).
struct TMenuState {
    bool mCategory = false, mMoney = false, mView = false;
    bool mMoneyNew = false, mMoneyDelete = false, mMoneyEdit = false;
    bool mpSetMark = false, mpHistSave = false;
    bool mpMoneyNew = false, mpMoneyEdit = false, mpMoneyDelete = false, mpUp = false, mpDown = false;
    bool mpMoneyCopy = false, mpAccCopy = false;
    bool mFind = false, mpFind = false, mpFindText = false, mpFindTextNext = false, mpFindComment = false;
    bool mUpdate = false, mpUpdate = false;
    bool mSave = false, mSaveAs = false, mPassword = false, mResult = false;
    bool ButResultVisible = false, ButAcc = false;
    // Popup menus that pop up automatically.
    bool PmHist = false, PmCat = false, PmPerson = false, PmLog = false, PmFirm = false;
};

// The main window as the data module sees it. Every member has a default, so
// the module works without a window (tests, tools).
class TDmHost : public TNoticeHost {
public:
    // The working date new operations take.
    virtual TDateTime EntryDate() const { return Date(); }
    // New categories are expense categories ('-') while this is true.
    virtual bool NewCategoryIsExpense() const { return true; }
    // The people page ShPers is the active page.
    virtual bool PeoplePageActive() const { return false; }
    virtual TMenuView MenuView() const { return {}; }
    virtual void ApplyMenuState(const TMenuState &state) { (void)state; }
    // PanDate follows the browse state of Tb_Hist.
    virtual void SetDatePanelEnabled(bool enabled) { (void)enabled; }
    // PanAcRest shows the current account's AcRest in a colour.
    virtual void ShowAccountRest(const QString &text, const QColor &color) { (void)text; (void)color; }
    // The packet window recomputes its total when it is shown and idle.
    virtual void PacketPosted() {}
    // The splash progress advances by one.
    virtual void StepProgress() {}
    // Empties the work folder (after the data set could not be opened).
    virtual void ClearWorkFolder() {}
};

// What OpenDataSet needs beyond the work folder.
struct TOpenOptions {
    QString AccountName;        // command-line argument 2: the account to select
    bool AccDef = false;        // the setting Acc_Def: keep the default account current
    bool EnginePresent = true;  // chooses the wording of the database error
    bool CheckedBefore = false; // these contents passed the whole check before (ZorbKnown.h)
    bool YearsFilled = false;   // and every operation's year and month were filled in
    TContentKey Contents = {};  // the database file as unpacked; invalid: not known
    bool KeptSums = false;      // its day sums may come from the user's folder (ZorbSumsStore.h)
};

// The result of OpenDataSet for the main window.
struct TOpenResult {
    bool Opened = false;      // the data set is open
    bool PackOnClose = false; // the structure was changed: pack when closing
};

class TDm {
public:
    explicit TDm(TDmHost *host = nullptr);
    ~TDm();
    TDm(const TDm &) = delete;
    TDm &operator=(const TDm &) = delete;

    TDmHost &Host() const { return *host_; }
    void SetHost(TDmHost *host);

    // ---- components ----
    TDatabase Db;
    // The operations' day sums in memory, for the ledger's balances.
    THistSums HistSums{Db};
    TTable Tb_Account, Tb_Hist, Tb_Items, Tb_Person, Tb_Firm, Tb_Family, Tb_Log;
    TQuery Qtemp, Qsum, Qplan, Qtrans, QPers_Firm, Qacn, QRate, Qtv, Qrem_pers, Qrem_fam, Qrem_log, QFind,
        QcomFind, Qgrp, Qdup, QItmOne, QdelHist, QAccSum, QAccBeg, Qcalc, QDayRate, Qmn, Qacc2, Qhist21, Qhist2,
        Qitm2, Qitm3, Qitm4, Qpers2;
    TDataSource DataAccount, DataHist, DataItems, DataPerson, DataFirm, DataFamily, DataLog, DataPers_Firm,
        DataAcn, DataTrans;
    // The reminder list (ZorbRemind.h) and its source for the reminder grid.
    TVemtMemTable Tb_Rem;
    TDataSource Data_Rem{&Tb_Rem};

    // ---- state ----
    bool Modified() const { return modified_; }
    // The last opening made indexes of the operations that the file lacked
    // (a file of an earlier version): a save keeps them in it.
    bool IndexesMade() const { return indexesMade_; }
    void SetModified(bool value) { modified_ = value; }
    // The open data set held nothing the check refuses or reports: what the
    // program writes of it may skip the whole check when opened again.
    bool Sound() const { return sound_; }
    // The last opening checked every row and page (not contents checked before).
    bool CheckedWhole() const { return checkedWhole_; }
    // No operation of the open data set waits for its year and month: the
    // opening filled them in (or knew them filled), and every operation
    // written since has them. Reads the rows written since. Requires: open.
    bool YearsFilled();
    // The contents as the last opening found them, before it wrote anything,
    // had every operation's year and month filled in.
    bool ContentsYearsFilled() const { return contentsYearsFilled_; }
    // The last identifier given in the table of this Tag (1..5); 0: not yet read.
    int16_t IdCounter(int tag) const { return idCounters_.at(size_t(tag - 1)); }

    // ---- services ----
    // Enables the main window's menus from the state of the tables.
    void UpdateMenus();
    // The enabled states for a view of the main window (UpdateMenus applies them).
    TMenuState ComputeMenuState(const TMenuView &view) const;
    // The three level identifiers of category Id, -100 for a level that does
    // not apply; true for a well-formed path under a root with Level1 >= 0.
    // Moves the current row of Tb_Items.
    bool GetCategoryLevels(int16_t Id, int &Level1, int &Level2, int &Level3);
    // Asks for a new money (or, with Quantity, quantity) limit of the category
    // in Source's current row and stores it in Tb_Items. True when a changed,
    // valid entry was confirmed. Requires: Source has id_itm, C, Lim, QLim.
    bool EditCategoryLimit(QWidget *Owner, TDataSet *Source, bool Quantity);
    // Sum of Sm over the rows of Qgrp with S other than 'N' and Sm above 0
    // (the lines a packet writes), and their number; 0 when Qgrp is closed or empty. Keeps Qgrp's current row.
    double SumPacket(int &Count);

    // ---- opening a data set (the main window's OpenDataTables) ----
    // Connects to the data set in the work folder, upgrades an older
    // structure, opens the tables and writes the first-run rows. Opened is
    // false when the work folder holds no data set or the tables cannot be
    // opened (after "Нет доступа к базе данных"); a failing connection shows
    // "Ошибка открытия базы данных!", empties the work folder and passes on.
    // A database that is not the program's own raises EDataSetRefused
    // before anything is written to it (ZorbDmCheck.h).
    // Requires: Db's PATH is the work folder, the tables are closed.
    TOpenResult OpenDataSet(const TOpenOptions &options);
    // Closes every dataset and the connection.
    void CloseDataSet();
    // Unpacks the template data set (resource "ZorbDat") through Zip into its
    // DestDir: the resource becomes Zip's source stream for the extraction
    // and is dropped again. Returns the number of files extracted (0 when
    // the resource is missing).
    static int ExtractTemplate(TZipReader &Zip);

    // Filters Tb_Family to the current person while the people page is shown,
    // else shows every member.
    void FollowPerson() { Tb_PersonAfterScroll(&Tb_Person); }

    // The next creation stamp: now, or the millisecond after the last stamp
    // when the clock has not moved past it. The stamp is part of an
    // operation's key and links a transfer's two legs, so it must never
    // repeat; counting on from the last one guarantees that, where waiting
    // between rows would only make a repeat unlikely (a clock set back still
    // repeats one) and would make a packet or a copy of hundreds of rows wait.
    TDateTime NextStamp();

private:
    void DefineTables();
    void DefineQueries();
    void BindEvents();
    void DefineFields(TTable &table);
    // Adds the stored fields of a table definition to a dataset.
    static void AddStoredFields(TDataSet &table, const TDmTableDef &def);
    void AddLookup(TDataSet &table, const QString &name, const QString &keyField, TTable &source,
                   const QString &sourceKey, const QString &result, const QString &label);
    void SetSql(TQuery &query, const QStringList &lines);

    // Table events, named as the form resource names them.
    void Tb_HistNewRecord(TDataSet *DataSet);
    void Tb_HistCalcFields(TDataSet *DataSet);
    void Tb_AccountNewRecord(TDataSet *DataSet);
    void Tb_AccountBeforePost(TDataSet *DataSet);
    void Tb_AccountBeforeDelete(TDataSet *DataSet);
    void Tb_AccountAfterPost(TDataSet *DataSet);
    void Tb_AccountCalcFields(TDataSet *DataSet);
    void Tb_PersonAfterScroll(TDataSet *DataSet);
    // The filter of Tb_Family for the current person: that person's members
    // on the people page, all members elsewhere.
    QString FamilyFilter() const;
    void Tb_LogNewRecord(TDataSet *DataSet);
    void Tb_LogBeforePost(TDataSet *DataSet);
    void Tb_LogCalcFields(TDataSet *DataSet);
    void DataHistStateChange(TDataSource *Sender);
    void DataHistDataChange(TDataSource *Sender, TField *Field);
    void DataAccountDataChange(TDataSource *Sender, TField *Field);
    void QgrpAfterPost(TDataSet *DataSet);
    void QgrpBeforeInsert(TDataSet *DataSet);

    // Steps of OpenDataSet.
    // Refuses (EDataSetRefused, the connection closed) a database that is not
    // the program's own; tells once of values its columns cannot hold. With
    // Whole false only the structure is checked (contents checked before).
    void CheckDataSet(bool Whole);
    void UpgradeStructure();
    // Runs an upgrade statement; its failure is ignored. False when it failed.
    bool RunUpgrade(TQuery &query);
    void SetDefaultAccount(const TOpenOptions &options);
    void WriteFirstRunCategories();
    // Empties the work folder and shows the database error (the caller passes the failure on).
    void OpenFailed(bool enginePresent);
    // Runs text on Qtemp and returns the first column of its first row.
    Variant ScalarQuery(const QString &text);

    TDmHost defaultHost_;
    TDmHost *host_;
    bool modified_ = false;
    bool indexesMade_ = false;
    bool sound_ = false;
    bool checkedWhole_ = false;
    bool yearsFilledBefore_ = false;  // the opening's option YearsFilled
    bool yearsFilled_ = false;        // the opening left no year and month unfilled
    bool contentsYearsFilled_ = false; // the opening found none to fill
    std::vector<int64_t> histWritten_; // rowids of operations written since
    bool histWrittenLost_ = false;    // too many to hold: unknown
    static constexpr size_t MaxNotedRows = 200000;
    std::array<int16_t, 5> idCounters_{};
    int64_t lastStampMs_ = 0; // the last creation stamp, in milliseconds
};

} // namespace zorbel
