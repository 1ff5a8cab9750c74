// The main window's data file lifecycle: check, open (with the password and
// its retries), new from the template, save with backups, password change,
// pack and re-zip.
//
// Opening unpacks into the staging folder first and moves the files into the
// work folder only when every entry came out whole, so a damaged, foreign or
// wrongly protected file leaves nothing behind. Saving packs into
// TempDir + "~~.bak" and hands that to InstallDataFile; a save is a success
// only when the new archive is the data file.
#include "core/TulnCommon.h"
#include "core/TulnDlg.h"
#include "core/ZorbDialogHost.h"
#include "core/ZorbDmCheck.h"
#include "core/ZorbDmTables.h"
#include "core/ZorbMain.h"
#include "core/ZorbSumsStore.h"
#include "core/ZorbText.h"
#include "platform/rtl/CodePages.h"
#include "platform/sqltable/SqlSchema.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysFiles.h"

#include <QApplication>
#include <QFileInfo>
#include <QThread>
#include <utility>

namespace zorbel {

namespace {

bool SameFile(const QString &A, const QString &B)
{
    const TFileIdentity a = FileIdentity(A);
    return a != TFileIdentity{} && a == FileIdentity(B);
}

// Shows the common window as the password box: EdPas visible with its hint,
// the picture hidden, pre-filled with Text. True with OK, the text in Text.
bool AskPasswordBox(const QString &Title, QString &Text, bool Tinted)
{
    TFormCommon box;
    box.EdPas->SetVisible(true);
    box.EdPas->SetHint(U("Введите (или удалите) пароль и нажмите Enter"));
    box.Image1->SetVisible(false);
    box.EdPas->SetText(Text);
    box.SetWidth(200);
    box.EdPas->SetLeft(40);
    box.SetCaption(Title);
    if (Tinted)
        box.EdPas->SetColor(clInfoBk);
    if (box.ShowModal() != mrOk)
        return false;
    Text = box.EdPas->Text();
    return true;
}

// The notice of a data file whose contents pass the disk's free space or
// what a household's data set can hold.
QString TooLargeText(const QString &FileName, const QString &Folder, bool DiskBound)
{
    return (DiskBound ? U("Недостаточно места на диске «") + MountPointOf(Folder) +
                            U("» для распаковки файла данных!\r")
                      : U("Файл данных слишком велик: столько данных не бывает в домашнем учёте. Файл не открыт.\r")) +
           FileName;
}

// Notices of reads and writes whose failure would otherwise leave the window
// showing nothing, or a save without the user's last edit.
const QString TreesFailedText = U("Не удалось прочитать статьи: деревья статей не показаны.\r");
const QString LedgerFailedText = U("Не удалось прочитать операции: итоги не показаны.\r");
const QString TemplateFailedText = U("Не удалось распаковать пустой набор данных.\r");
const QString PostFailedText = U("Изменение не записано: ");
const QString PostFailedHint = U("\rИсправьте значение или отмените изменение (Esc).");

} // namespace

QString PasswordCharsOutsideCodePage(const QString &Password)
{
    QString bad;
    for (qsizetype i = 0; i < Password.size(); ++i) {
        // A surrogate pair is one character, and never in the code page.
        const qsizetype len = Password[i].isHighSurrogate() && i + 1 < Password.size() ? 2 : 1;
        const QString ch = Password.mid(i, len);
        const bool fits = len == 1 && (ch[0] == u'?' ||
                                       UnicodeCharToCodePage(TCodePage::Win1251, ch[0].unicode()) != '?');
        if (!fits && !bad.contains(ch))
            bad += ch;
        i += len - 1;
    }
    return bad;
}

bool TFormMain::CheckDataFile(const QString &FileName, bool Report)
{
    const TDataFileState state = DataFileState(FileName);
    if (state != TDataFileState::Ok && Report)
        ShowNotice(DataFileMessage(state, FileName), false);
    return state == TDataFileState::Ok;
}

void TFormMain::ResetZipper() { Vzp->Reset(); }

bool TFormMain::OpenDataTables()
{
    EntryDate = Date();
    ShowEntryDate();
    TOpenOptions options;
    options.AccountName = args_.value(1);
    options.AccDef = Acc_Def;
    const TContentFacts known = TKnownContents().Facts(openingContents_);
    options.CheckedBefore = known.Known;
    options.YearsFilled = known.YearsFilled;
    options.Contents = openingContents_;
    // The figures of a file protected by a password are never kept in clear.
    options.KeptSums = FilePassword.isEmpty();
    if (!options.KeptSums)
        TSumsStore().Forget(openingContents_);
    const TOpenResult r = Dm->OpenDataSet(options);
    if (!r.Opened)
        return false;
    PackOnClose = r.PackOnClose;
    if (PackOnClose)
        Dm->SetModified(true);
    CreateCard();
    // A data set opens on the money page with the expense tree in front.
    mCt->SetChecked(true);
    mDt->SetChecked(false);
    ButCt->SetDown(true);
    ButDt->SetDown(false);
    TvCt->SetVisible(true);
    TvDt->SetVisible(false);
    TMenuItem *trees[] = {mTreeAll, mTree1, mTree2, mTree3, mTree4, mTree5};
    trees[TreeFilter >= 1 && TreeFilter <= 5 ? TreeFilter : 0]->SetChecked(true);
    TvCt->Items().Clear();
    TvDt->Items().Clear();
    try {
        if (Dm->Tb_Items.Active()) {
            BuildCategoryTree(TvCt, false, false, false, true);
            BuildCategoryTree(TvDt, true, false, false, true);
        }
    } catch (const Exception &e) {
        TvCt->Items().Clear(); // no tree of a part of the categories
        TvDt->Items().Clear();
        ShowNotice(TreesFailedText + e.Message(), false);
    }
    const QString hint = Dm->Tb_Items.RecordCount() <= 1 ? U("Перетяните статью вправо") : QString();
    TvCt->SetHint(hint);
    TvDt->SetHint(hint);
    if (TTreeNode *first = TvCt->Items().GetFirstNode())
        TvCt->SetSelected(first);
    try {
        if (Last_Date) {
            EntryDate = LastRealisedDate();
            ShowEntryDate();
        }
        if (DBG->DataSource() != &Dm->DataHist) {
            DBG->SetDataSource(&Dm->DataHist);
            ApplyLedgerColumns(GridColumns);
        }
        ConnectRefGrids();
        CbPerClick(CbPer);
        ShowPage(0);
        if (Last_Date)
            Dm->Tb_Hist.Locate(QStringLiteral("Date_Real"), Variant::FromDate(EntryDate), {});
    } catch (const Exception &e) {
        // The status bar shows no totals it could not compute.
        for (int panel : {1, 3, 5, 7})
            Sb->SetPanelText(panel, QString());
        PanAcRest->SetCaption(QString());
        ShowNotice(LedgerFailedText + e.Message(), false);
    }
    Dm->UpdateMenus();
    if (isVisible())
        FormShow(this);
    return true;
}

bool TFormMain::UnpackToStage(const QString &FileName)
{
    ButRemCloseClick(this);
    Repaint();
    THourGlass hourglass;
    ResetZipper();
    ClearFolder(stageDir_, true);
    try {
        Vzp->ReadDirectory(FileName);
    } catch (const Exception &) {
        ResetZipper();
        // Named like the other failures of an opening: at start-up the
        // user would not know which file failed.
        ShowNotice(U("Ошибка распаковки файла данных!\r") + FileName, false);
        return false;
    }
    openingFile_ = FileName;
    const QString previousPassword = FilePassword;
    bool asked = true;
    passwordCancelled_ = false;
    if (Vzp->Count() > 0 && Vzp->IsEntryEncrypted(0)) {
        const bool answered = AskPassword(FileName, false);
        passwordCancelled_ = !answered;
        asked = answered && !FilePassword.isEmpty();
        Vzp->SetPassword(FilePassword);
    }
    int n = 0;
    TDataZip::TExtractResult unpacked;
    if (asked && ForceFolder(stageDir_)) {
        unpacked = Vzp->ExtractDataSet(stageDir_);
        n = unpacked.Extracted;
        if (unpacked.Skipped > 0 || n != unpacked.Wanted || !StageHoldsDataSet())
            n = 0;
    }
    openingFile_.clear();
    StepSplash();
    ResetZipper();
    Repaint();
    if (n <= 0) {
        // The open data set keeps its own password.
        FilePassword = previousPassword;
        ClearFolder(stageDir_, true);
        if (unpacked.TooLarge) {
            ShowNotice(TooLargeText(FileName, stageDir_, unpacked.DiskBound), false);
        } else if (passwordCancelled_) {
            // Not an error of the file: it stays the one offered next time.
            unopenedFile_ = AbsoluteName(FileName);
            ShowNotice(U("Файл не открыт: пароль не введён.\r") + FileName, false);
        } else {
            ShowNotice(U("Ошибка распаковки файла данных!\r") + FileName, false);
        }
        return false;
    }
    stagedPassword_ = FilePassword;
    stagedContents_ = unpacked.Contents;
    FilePassword = previousPassword;
    return true;
}

bool TFormMain::StageHoldsDataSet() const
{
    const QString file = stageDir_ + u'/' + QString::fromLatin1(TDatabase::DatabaseFileName);
    if (!IsRegularFile(file))
        return false;
    try {
        TDatabase db;
        db.SetParams({QStringLiteral("PATH=") + stageDir_});
        db.Open();
        // An object of a table's name that is not a table (a view) is a
        // data set all the same: the structure check refuses it by name.
        for (const TDmTableDef &table : DmTables())
            if (!SchemaObjectExists(db.Db(), QString::fromLatin1(table.TableName)))
                return false;
        return true;
    } catch (const Exception &) {
        return false;
    }
}

bool TFormMain::OpenStaged(const QString &FileName)
{
    Dm->CloseDataSet();
    ClearFolder(WorkDir, true);
    const bool moved = MoveFolderContents(stageDir_, WorkDir);
    ClearFolder(stageDir_, true);
    FilePassword = stagedPassword_;
    bool ok = false;
    QString refused;
    const TContentKey contents = std::exchange(stagedContents_, {});
    if (moved) {
        THourGlass hourglass;
        Dm->Tb_Hist.DisableControls();
        openingContents_ = contents;
        try {
            ok = OpenDataTables();
        } catch (const EDataSetRefused &e) {
            refused = e.Message();
        } catch (const Exception &) {
            ok = false;
        }
        openingContents_ = {};
        Dm->Tb_Hist.EnableControls();
    }
    if (!ok) {
        CloseDataTables();
        ClearFolder(WorkDir, true);
        SetCaption(QString());
        FilePassword.clear();
        fileLock_.Release();
        openingLock_.Release();
        ShowNotice((refused.isEmpty() ? U("Ошибка распаковки файла данных!") : refused) + u'\r' + FileName, false);
        return false;
    }
    // Contents that passed the whole check with nothing to report (a file
    // received, restored or written by another tool) skip it next time;
    // contents the check reported on are never remembered.
    if (Dm->CheckedWhole() && Dm->Sound())
        TKnownContents().Remember(contents, Dm->ContentsYearsFilled());
    fileLock_.Take(openingLock_);
    SetCaption(AbsoluteName(FileName));
    unopenedFile_.clear();
    // A file on a read-only disk or share, or in someone else's folder,
    // opens all the same; its changes can go only into another file.
    if (!DataFileWritable(FileName))
        ShowNotice(ReadOnlyDataFileText(FileName), false);
    else if (Dm->IndexesMade())
        Dm->SetModified(true); // saved on closing: the next opening need not build them (seconds at a million operations)
    return true;
}

bool TFormMain::OpenDataFile(const QString &FileName)
{
    if (!PathExists(FileName))
        return false;
    if (!LockDataFile(FileName, openingLock_) || !UnpackToStage(FileName)) {
        openingLock_.Release();
        SetCaption(QString());
        return false;
    }
    return OpenStaged(FileName);
}

bool TFormMain::HoldsLockOf(const QString &File) const
{
    const QString file = AbsoluteName(File);
    return !file.isEmpty() && (file == fileLock_.File() || file == openingLock_.File());
}

bool TFormMain::LockDataFile(const QString &FileName, TDataFileLock &Lock)
{
    if (AbsoluteName(FileName) == fileLock_.File()) {
        Lock.Take(fileLock_);
        return true;
    }
    QString holder;
    if (Lock.Acquire(FileName, holder))
        return true;
    // "Another copy" only when one holds the lock.
    ShowNotice(Lock.Error() == 0 ? LockedFileText(FileName, holder) : LockFailedText(FileName, Lock.Error()), false);
    return false;
}

void TFormMain::VzpBadPassword(int FileIndex, QString &NewPassword)
{
    if (FileIndex > 0)
        return;
    ShowNotice(U("Пароль неверен!!!"), false);
    FilePassword.clear();
    // Ask again until the right password or a cancel: a mistyped password
    // then costs one more try, not a failed open that the user has to start
    // over (at start-up the program would go on with a new, empty data set).
    if (!AskPassword(openingFile_, false))
        passwordCancelled_ = true;
    else if (!FilePassword.isEmpty())
        NewPassword = FilePassword;
}

bool TFormMain::NewFromTemplate()
{
    ButRemCloseClick(this);
    if (!SaveDataFile(false, false) && !SaveFailed(false))
        return false;
    CloseDataTables();
    ClearFolder(WorkDir, true);
    fileLock_.Release();
    if (!ForceFolder(WorkDir))
        throw Exception(U("Невозможно создать временную папку!"));
    {
        THourGlass hourglass;
        try {
            Vzp->ExtractTemplate(WorkDir);
        } catch (const Exception &e) {
            // Opening the tables below then fails and says so too.
            ShowNotice(TemplateFailedText + e.Message(), false);
        }
        StepSplash();
    }
    bool ok = false;
    {
        THourGlass hourglass;
        Dm->Tb_Hist.DisableControls();
        try {
            ok = OpenDataTables();
        } catch (...) {
            Dm->Tb_Hist.EnableControls();
            throw;
        }
        Dm->Tb_Hist.EnableControls();
    }
    SetCaption(QString());
    FilePassword.clear();
    Dm->SetModified(false);
    ResetZipper();
    return ok;
}

void TFormMain::OpenPath(const QString &FileName)
{
    if (!CheckDataFile(FileName, true))
        return;
    // The file is unpacked and checked first: a file that cannot be opened
    // leaves the open data set as it is. The open data set's own file first
    // takes the changes, so that it is opened as saved.
    if (!Caption().isEmpty() && SameFile(Caption(), FileName) && !SaveDataFile(false, true)) {
        SaveFailed(true);
        return;
    }
    // Another copy working on the file keeps it: it is not opened here.
    if (!LockDataFile(FileName, openingLock_))
        return;
    // Not opened after all: the open data set keeps its own file's lock.
    const auto keepOpen = [this] {
        if (!Caption().isEmpty() && openingLock_.File() == AbsoluteName(Caption()))
            fileLock_.Take(openingLock_);
        openingLock_.Release();
    };
    if (!UnpackToStage(FileName)) {
        keepOpen();
        return;
    }
    const TFileIdentity before = FileIdentity(FileName);
    if (!SaveDataFile(false, false) && !SaveFailed(false)) {
        ClearFolder(stageDir_, true);
        keepOpen();
        return;
    }
    // The save may have written this very file (named in the save dialog).
    if (FileIdentity(FileName) != before) {
        ClearFolder(stageDir_, true);
        if (!UnpackToStage(FileName)) {
            openingLock_.Release();
            NewFromTemplate();
            return;
        }
    }
    if (!OpenStaged(FileName)) {
        NewFromTemplate();
        return;
    }
    mRemindClick(mRemind);
}

void TFormMain::mOpenClick(TObject *)
{
    Repaint();
    QString name;
    if (ExecuteOpenDialog && ExecuteOpenDialog(name) && !name.isEmpty()) {
        name = ReachableDialogName(name);
        if (!name.isEmpty())
            OpenPath(name);
    }
}

void TFormMain::mNewClick(TObject *) { NewFromTemplate(); }

void TFormMain::CloseAndClearData()
{
    CloseDataTables();
    ClearFolder(WorkDir, true);
    SetCaption(QString());
    FilePassword.clear();
    fileLock_.Release();
}

bool TFormMain::SaveDataFile(bool SaveAs, bool StayOpen)
{
    saveCancelled_ = false;
    saveRefused_.clear();
    saveFailureTold_ = false;
    tiedFile_.clear();
    if (!Dm)
        return true;
    if (!PostAllTables()) {
        // A file without the user's last edit is not written while the user
        // can still correct it; when the session ends, the rest is saved.
        if (!endingSession_)
            return false;
        CancelPendingEdits();
    }
    const int categories = Dm->Tb_Items.Active() ? Dm->Tb_Items.RecordCount() : 0;
    if (!Dm->Modified() && !Caption().isEmpty() && !PathExists(Caption()))
        Dm->SetModified(true);
    if (!Dm->Modified() && !SaveAs) {
        if (!StayOpen)
            CloseAndClearData();
        return true;
    }
    if (!Dm->Tb_Account.Active() && !SaveAs)
        return true; // nothing open: nothing to write
    const QString c0 = Caption();
    ResetZipper();
    QString target = Caption();
    if ((SaveAs || !PathExists(target)) && endingSession_) {
        // The session ends: no one answers a dialog, and a data set that
        // has no file has nowhere to go.
        CloseAndClearData();
        return true;
    }
    if (SaveAs || !PathExists(target)) {
        QString chosen = target;
        target = ExecuteSaveDialog && ExecuteSaveDialog(chosen) ? ReachableDialogName(chosen) : QString();
        if (!SaveAs && target.isEmpty() && Dm->Modified() && categories > 3) {
            ShowNotice(U("Внимание! Данные будут утеряны! Сохраните свою работу!!!"), false);
            chosen = Caption();
            target = ExecuteSaveDialog && ExecuteSaveDialog(chosen) ? ReachableDialogName(chosen) : QString();
        }
    }
    saveCancelled_ = target.isEmpty();
    if (target.isEmpty()) {
        // No file chosen: nothing was saved. Closing goes on only when the
        // user agrees to lose the changes.
        if (!StayOpen && !SaveAs &&
            AskDialog(U("Данные не сохранены! Закрыть их без сохранения изменений?"), TMsgDlgType::mtConfirmation,
                      mbYes | mbNo, false) == mrYes) {
            CloseAndClearData();
            return true;
        }
        return false;
    }
    target = AbsoluteName(target);
    // A folder the user may not write (a read-only disk or share, someone
    // else's folder) takes no save: the caller offers another file, without
    // packing the data set for nothing.
    if (!DataFileWritable(target)) {
        saveRefused_ = target;
        return false;
    }
    // A data set without a file (or whose file is gone) belongs to the file
    // its save writes; save as of a data set that has a file writes a copy.
    const bool ties = c0.isEmpty() || (!SaveAs && !PathExists(c0));

    // A file another copy has open is not written over.
    TDataFileLock targetLock;
    if (!HoldsLockOf(target) && !LockDataFile(target, targetLock))
        return false;
    const TBackupNames names = BackupNamesFor(target, BackupFolderFor(PathBak, target),
                                              ReserveFolderFor(PathReserve, DefaultReserveFolder()));
    const QString z = TempDir + QStringLiteral("~~.bak");
    // Tables are flushed (PostAllTables); SQLite holds no journal between statements.
    const int noSpace = TSysEnv::NoSpaceCount();
    savedYearsFilled_ = Dm->Db.Connected() && Dm->YearsFilled();
    const int n = Vzp->PackFolder(WorkDir, z, FilePassword);
    bool saved = false;
    if (n > 0) {
        TDialogHost dialogs;
        TInstallNotes notes;
        saved = InstallDataFile(z, names, dialogs, &notes);
        if (notes.FolderRefused)
            saveRefused_ = target;
        // A full disk was named with the disk and the file.
        saveFailureTold_ = !saved && TSysEnv::NoSpaceCount() != noSpace;
        if (saved)
            RememberPacked();
        if (!notes.ReserveNotice.isEmpty())
            TellOnce(notes.ReserveNotice);
    } else if (TSysEnv::NoSpaceCount() != noSpace) {
        // The archive is packed in the temporary folder: that disk is full.
        ShowNotice(DiskFullText(TempDir, target), false);
        saveFailureTold_ = true;
    } else {
        ShowNotice(U("Ошибка упаковки!"), false);
    }

    if (saved && !StayOpen) {
        CloseDataTables();
        if (PackOnClose)
            PackAndRezip();
        ClearFolder(WorkDir, true);
        SetCaption(QString());
        FilePassword.clear();
        fileLock_.Release();
    }
    // A data set saved into its first file keeps that file's lock.
    if (saved && StayOpen && ties)
        fileLock_.Take(targetLock);
    Dm->SetModified(!saved);
    if (saved && ties)
        tiedFile_ = target;
    ResetZipper();
    if (saved && StayOpen) {
        SetCaption(U("Сохранение успешно!"));
        Repaint();
        QThread::msleep(50);
        SetCaption(ties ? target : c0);
    }
    return saved;
}

void TFormMain::mSaveClick(TObject *)
{
    // A cancelled dialog is the user's choice, not a failure.
    if (!SaveDataFile(false, true) && !saveCancelled_)
        SaveFailed(true);
}

void TFormMain::mSaveAsClick(TObject *)
{
    const bool modified = Dm->Modified();
    const QString file = Caption();
    // A copy into a folder that takes none is offered another file (which
    // the data set then calls its own, as at any save into another file).
    if (!SaveDataFile(true, true) && !saveCancelled_)
        SaveFailed(true, true);
    // The copy does not count as saving the data set, unless it was its first save.
    if (Caption() == file)
        Dm->SetModified(modified);
}

bool TFormMain::SaveFailed(bool StayOpen, bool Copy)
{
    while (!saveRefused_.isEmpty()) {
        if (AskDialog(U("Файл не может быть сохранён: в его папку нельзя записать.\r") + ShownName(saveRefused_) +
                          U("\rСохранить данные в другой файл?"),
                      TMsgDlgType::mtWarning, mbYes | mbNo, false) != mrYes)
            return false;
        // Saved as a data set without a file, the file chosen becomes its own.
        const QString file = Caption();
        if (!Copy)
            SetCaption(QString());
        if (SaveDataFile(true, StayOpen))
            return true;
        SetCaption(file);
        if (saveCancelled_)
            return false;
    }
    if (!saveFailureTold_)
        ShowNotice(U("Файл не может быть сохранён!"), false);
    return false;
}

void TFormMain::TellOnce(const QString &Text)
{
    if (toldNotices_.contains(Text))
        return;
    toldNotices_ << Text;
    ShowNotice(Text, false);
}

void TFormMain::CancelPendingEdits()
{
    if (!Dm)
        return;
    for (TTable *t : {&Dm->Tb_Account, &Dm->Tb_Person, &Dm->Tb_Family, &Dm->Tb_Firm, &Dm->Tb_Log, &Dm->Tb_Items,
                      &Dm->Tb_Hist})
        if (t->Active() && (t->State() == dsEdit || t->State() == dsInsert))
            t->Cancel();
}

bool TFormMain::PostAllTables()
{
    if (!Dm)
        return true;
    // FlushBuffers posts an edit as Post does; an edit that fails stays in
    // its table, unposted, for the user to correct or cancel.
    for (TTable *t : {&Dm->Tb_Account, &Dm->Tb_Person, &Dm->Tb_Family, &Dm->Tb_Firm, &Dm->Tb_Log, &Dm->Tb_Items,
                      &Dm->Tb_Hist}) {
        if (!t->Active())
            continue;
        try {
            t->FlushBuffers();
        } catch (const Exception &e) {
            ShowNotice(PostFailedText + e.Message() + PostFailedHint, false);
            return false;
        }
    }
    return true;
}

void TFormMain::CloseDataTables()
{
    TvCt->Items().Clear();
    TvDt->Items().Clear();
    for (int panel : {1, 3, 5, 7})
        Sb->SetPanelText(panel, QString());
    PanAcRest->SetCaption(QString());
    if (Dm) {
        Dm->CloseDataSet();
        if (!StartingOrClosing)
            Dm->UpdateMenus();
    }
}

void TFormMain::RememberPacked()
{
    // A sound data set stays sound through the program's own writes.
    if (!Dm->Sound())
        return;
    TKnownContents().Remember(Vzp->PackedContents(), savedYearsFilled_);
    // The open database is what was just packed: its day sums serve the
    // next opening of the file.
    if (Dm->Db.Connected()) {
        Dm->HistSums.NameContents(Vzp->PackedContents());
        KeepSums();
    }
}

void TFormMain::KeepSums()
{
    if (!Dm)
        return;
    const TContentKey contents = Dm->HistSums.SumsFor();
    if (!contents.Valid())
        return;
    // A file protected by a password leaves none of its figures in clear,
    // nor sums kept before it had one.
    if (!FilePassword.isEmpty())
        TSumsStore().Forget(contents);
    else if (Dm->HistSums.Checked() && TKnownContents().Contains(contents))
        TSumsStore().Save(Dm->HistSums);
}

void TFormMain::PackAndRezip()
{
    if (!PackOnClose || Caption().isEmpty() || !PathExists(Caption()))
        return;
    try {
        Dm->Db.Open();
        Dm->Db.Pack();
    } catch (const Exception &) {
        // Packing only makes the file smaller: the data set was saved
        // before, and the rezip below packs what is there.
    }
    Dm->CloseDataSet();
    // Written like a save: the data file is replaced only by a whole archive.
    const QString z = TempDir + QStringLiteral("~~.bak");
    if (Vzp->PackFolder(WorkDir, z, FilePassword) > 0) {
        ReplaceDataFile(z, Caption());
        RememberPacked();
    }
    TSysEnv::Remove(z);
    ResetZipper();
    PackOnClose = false;
}

bool TFormMain::AskPassword(const QString &FileName, bool Change)
{
    const QString title = FileName.isEmpty() ? U("Пароль") + QStringLiteral(":")
                                             : U("Пароль") + U(" для ") + ShownName(QFileInfo(FileName).fileName());
    QString text = FilePassword;
    if (!AskPasswordBox(title, text, false))
        return false;
    if (!Change) {
        FilePassword = text;
        return true;
    }
    // The archive keeps a password as Windows-1251 bytes: a character it has
    // no byte for would become "?" and match any other such character.
    const QString bad = PasswordCharsOutsideCodePage(text);
    if (!bad.isEmpty()) {
        QStringList chars;
        for (qsizetype i = 0; i < bad.size(); ++i) {
            const qsizetype len = bad[i].isHighSurrogate() ? 2 : 1;
            // With its number, as a font may lack the character itself.
            chars << bad.mid(i, len) + QStringLiteral(" (U+%1)").arg(bad.mid(i, len).toUcs4().value(0), 4, 16,
                                                                      QLatin1Char('0')).toUpper();
            i += len - 1;
        }
        ShowNotice(U("Эти символы нельзя использовать в пароле: ") + chars.join(QStringLiteral(", ")) +
                       U("\rПароль не изменён."),
                   false);
        return false;
    }
    if (text.size() >= 7 &&
        AskDialog(U("Длина пароля более 6-ти символов!!!\rЕсли Вы его забудете, восстановить будет невозможно! "
                    "Продолжить?"),
                  TMsgDlgType::mtConfirmation, mbYes | mbNo, false) != mrYes)
        return false;
    if (text == FilePassword) {
        ShowNotice(U("Вы не ввели новый пароль!"), false);
        return true;
    }
    QString repeat;
    if (!AskPasswordBox(U("Повторите пароль!"), repeat, true))
        return false;
    if (repeat == text) {
        FilePassword = text;
        ShowNotice(U("Пароль изменён!"), false);
    } else {
        ShowNotice(U("Пароль не подтверждён, а потому не изменён!!!"), false);
    }
    return true;
}

void TFormMain::mPasswordClick(TObject *)
{
    const QString old = FilePassword;
    AskPassword(Caption(), true);
    if (FilePassword != old)
        Dm->SetModified(true);
}

TDateTime TFormMain::LastRealisedDate()
{
    TQuery &q = Dm->Qtemp;
    try {
        q.Close();
        const QString id = Dm->Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsString();
        q.SQL() = QStringList{QStringLiteral("Select max(date_real)from tb_hist where id_account=") + id +
                              QStringLiteral(" and kind=\"1\"")};
        q.Open();
        const TField *f = q.Fields()[0];
        const TDateTime result = f->IsNull() ? EntryDate : f->AsDateTime();
        q.Close();
        return result;
    } catch (const Exception &) {
        q.Close();
        return EntryDate;
    }
}

} // namespace zorbel
