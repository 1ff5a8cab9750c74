// The main window: layout, start-up and shutdown, settings storage and the
// handlers of the file menu (see ZorbMain.h). The data file lifecycle lives
// in ZorbMainFile.cpp.
#include "core/ZorbMain.h"

#include "core/TulnCommon.h"
#include "core/TulnDlg.h"
#include "core/ZorbDialogHost.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/system/EndSignals.h"
#include "platform/system/InstanceMutex.h"
#include "platform/system/Registry.h"
#include "platform/system/SysFiles.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QScreen>
#include <QSessionManager>
#include <QUrl>
#include <QWheelEvent>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace zorbel {

// What the data module asks of the main window.
class TFormMain::THost : public TDialogHost {
public:
    explicit THost(TFormMain &form) : f_(form) {}
    TDateTime EntryDate() const override { return f_.EntryDate; }
    bool NewCategoryIsExpense() const override { return f_.mCt->Checked(); }
    bool PeoplePageActive() const override { return f_.Pg->ActivePageIndex() == 1; }
    TMenuView MenuView() const override
    {
        TMenuView v;
        v.ExpenseTreeShown = f_.mCt->Checked();
        v.IncomeTreeShown = f_.mDt->Checked();
        v.ExpenseTreeHasNodes = f_.TvCt->Items().Count() > 0;
        v.IncomeTreeHasNodes = f_.TvDt->Items().Count() > 0;
        v.LedgerVisible = f_.PanD->Visible();
        return v;
    }
    void ApplyMenuState(const TMenuState &state) override
    {
        f_.mSave->SetEnabled(state.mSave);
        f_.mSaveAs->SetEnabled(state.mSaveAs);
        f_.mPassword->SetEnabled(state.mPassword);
        f_.mCategory->SetEnabled(state.mCategory);
        f_.mView->SetEnabled(state.mView);
        f_.mpUp->SetEnabled(state.mpUp);
        f_.mpDown->SetEnabled(state.mpDown);
        f_.ApplyPostMenuState(state);
        f_.ApplyFindMenuState(state);
        f_.ApplyLaunchMenuState(state);
        if (f_.ButAcc) {
            f_.ButAcc->SetEnabled(state.ButAcc);
            f_.mAccounts->SetEnabled(state.ButAcc);
        }
    }
    void ShowAccountRest(const QString &text, const QColor &color) override
    {
        f_.PanAcRest->SetCaption(text);
        QPalette p = f_.PanAcRest->palette();
        p.setColor(QPalette::WindowText, color);
        f_.PanAcRest->setPalette(p);
    }
    void StepProgress() override { f_.StepSplash(); }
    void ClearWorkFolder() override { ClearFolder(f_.WorkDir, true); }

private:
    TFormMain &f_;
};

// ---------------------------------------------------------------- splash

TFormAbout::TFormAbout()
{
    SetName(QStringLiteral("FormAbout"));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(300);
    SetClientHeight(80);
    LabName = new TLabel(this, QStringLiteral("LabName"));
    LabName->SetCaption(QStringLiteral("Zorbel"));
    LabName->SetBounds(10, 8, 280, 30);
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(21);
    font.setBold(true);
    LabName->SetFont(font);
    Pb = new TProgressBar(this, QStringLiteral("Pb"));
    Pb->SetBounds(10, 48, 280, 16);
    DoCreate();
}

TFormAbout::~TFormAbout() { DoDestroy(); }

// ---------------------------------------------------------------- layout

TFormMain::TFormMain(const QStringList &Args, const QString &ProgramFolder)
    : args_(Args), programFolder_(ProgramFolder.isEmpty() ? AbsoluteFolderOf(ProgramFile()) : ProgramFolder),
      host_(std::make_unique<THost>(*this))
{
    SetName(QStringLiteral("FormMain"));
    BuildLayout();
    BuildMenu();
    BuildLedgerLayout();
    BuildTreeLayout();
    BuildPostCommands();
    BuildRefLayout();
    BuildRemindLayout();
    BuildMarkCommands();
    BuildResultCommands();
    BuildAccCommands();
    BuildLaunchCommands();
    ArrangeTabOrder();
    Vzp = std::make_unique<TDataZip>();
    Vzp->OnBadPassword = [this](int FileIndex, QString &NewPassword) { VzpBadPassword(FileIndex, NewPassword); };
    // Qt's dialogs take and give names through its lossy decoder: they start
    // from the name as shown, and what they give back is found on disk by
    // ReachableDialogName.
    ExecuteSaveDialog = [this](QString &FileName) {
        FileName = QFileDialog::getSaveFileName(this, U("Сохранение данных в архиве"), ShownName(FileName),
                                                QStringLiteral("*.den"));
        if (!FileName.isEmpty() && QFileInfo(FileName).suffix().isEmpty())
            FileName += QStringLiteral(".den");
        return !FileName.isEmpty();
    };
    ExecuteOpenDialog = [this](QString &FileName) {
        // Any name is taken back: the dialog's own check of an existing file
        // would turn down a name it cannot reach; OpenPath checks it.
        QFileDialog box(this, U("Открыть *den-ежный файл"), ShownName(FileName), QStringLiteral("*.den"));
        box.setAcceptMode(QFileDialog::AcceptOpen);
        box.setFileMode(QFileDialog::AnyFile);
        FileName = box.exec() == QDialog::Accepted ? box.selectedFiles().value(0) : QString();
        return !FileName.isEmpty();
    };
    OpenHelpFile = [](const QString &FileName) { return QDesktopServices::openUrl(QUrl::fromLocalFile(FileName)); };
    OnCreate = [this](TObject *Sender) { FormCreate(Sender); };
    OnShow = [this](TObject *Sender) { FormShow(Sender); };
    OnCloseQuery = [this](TObject *Sender, bool &CanClose) { FormCloseQuery(Sender, CanClose); };
    OnDestroy = [this](TObject *Sender) { FormDestroy(Sender); };
    OnDropFiles = [this](TObject *, const QStringList &Files) { WMDropFiles(Files); };
    DoCreate();
}

TFormMain *TFormMain::starting_ = nullptr;

TFormMain::~TFormMain()
{
    if (starting_ == this)
        starting_ = nullptr;
    if (messageHook_)
        qApp->removeEventFilter(this);
    DoDestroy();
    delete FormCard.data(); // its datasets stand on the data module, which goes next
}

// Tab walks the tool bar from left to right, then the category tree and the
// ledger beside it (the controls were made in another order, page by page).
void TFormMain::ArrangeTabOrder()
{
    QWidget *chain[] = {ButExit, ButAcc, ButDate, CbPer, ButResult, TvCt, TvDt, DBG};
    for (size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TFormMain::BuildLayout()
{
    SetBounds(93, 86, 804, 544);
    PanTop = new TPanel(this, QStringLiteral("PanTop"));
    PanTop->SetAlign(TAlign::alTop);
    PanTop->SetHeight(30);
    ButExit = new TButton(PanTop, QStringLiteral("ButExit"));
    ButExit->SetCaption(U("Выход"));
    ButExit->SetHint(U("Выход"));
    ButExit->SetBounds(4, 3, 70, 24);
    ButExit->OnClick = [this](TObject *Sender) { mExitClick(Sender); };
    CbPer = new TComboBox(PanTop, QStringLiteral("CbPer"));
    CbPer->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char *item : {"Весь период", "Год", "Квартал", "Месяц", "Неделя", "День"})
        CbPer->Items().Add(U(item));
    CbPer->SetBounds(84, 4, 120, 22);
    PanAcRest = new TPanel(PanTop, QStringLiteral("PanAcRest"));
    PanAcRest->SetAlignment(TAlignment::taLeftJustify);
    PanAcRest->SetBevelOuter(TBevelCut::bvLowered);
    PanAcRest->SetBounds(214, 3, 340, 24);
    Sb = new TStatusBar(this, QStringLiteral("Sb"));
    Sb->SetAlign(TAlign::alBottom);
    for (int i = 0; i < 8; ++i)
        Sb->AddPanel(i % 2 ? 120 : 70);
    PanD = new TPanel(this, QStringLiteral("PanD"));
    PanD->SetAlign(TAlign::alLeft);
    PanD->SetWidth(185);
    PanD->SetBevelOuter(TBevelCut::bvLowered);
}

void TFormMain::BuildMenu()
{
    MainMenu = new TMainMenu(this, QStringLiteral("MainMenu"));
    mFile = MainMenu->Add(QStringLiteral("mFile"), U("&Файл"));
    mNew = mFile->Add(QStringLiteral("mNew"), U("&Новый"));
    mOpen = mFile->Add(QStringLiteral("mOpen"), U("&Открыть..."));
    mSave = mFile->Add(QStringLiteral("mSave"), U("&Сохранить"), ShortCut('S', ssCtrl));
    mSaveAs = mFile->Add(QStringLiteral("mSaveAs"), U("Сохранить &как..."));
    mPassword = mFile->Add(QStringLiteral("mPassword"), U("&Изменить пароль..."));
    mFile->Add(QStringLiteral("N1"), QStringLiteral("-"));
    mSets = mFile->Add(QStringLiteral("mSets"), U("&Настройки..."));
    mRemind = mFile->Add(QStringLiteral("mRemind"), U("Напо&минания"), ShortCut('R', ssCtrl));
    mImport = mFile->Add(QStringLiteral("mImport"), U("&Импорт..."));
    mFile->Add(QStringLiteral("N2"), QStringLiteral("-"));
    mCloseNotSave = mFile->Add(QStringLiteral("mCloseNotSave"), U("&Закрыть без сохранения"));
    mExit = mFile->Add(QStringLiteral("mExit"), U("Вы&ход"));
    BuildLedgerMenu();
    BuildTreeMenu();
    BuildPostMenu();
    BuildCategoryCommands();
    BuildPacketCommands();
    BuildAnalysisMenu();
    // The menu has no "Eng" and "Rus" items: the program speaks Russian only,
    // and items that switch nothing would promise the user a language they
    // do not give.
    mHelp = MainMenu->Add(QStringLiteral("mHelp"), U("&?"));
    mManual = mHelp->Add(QStringLiteral("mManual"), U("&Содержание.."));
    mAbout = mHelp->Add(QStringLiteral("mAbout"), U("&О программе..."));
    mNew->OnClick = [this](TObject *s) { mNewClick(s); };
    mOpen->OnClick = [this](TObject *s) { mOpenClick(s); };
    mSave->OnClick = [this](TObject *s) { mSaveClick(s); };
    mSaveAs->OnClick = [this](TObject *s) { mSaveAsClick(s); };
    mPassword->OnClick = [this](TObject *s) { mPasswordClick(s); };
    mRemind->OnClick = [this](TObject *s) { mRemindClick(s); };
    mImport->OnClick = [this](TObject *s) { mImportClick(s); };
    mSets->OnClick = [this](TObject *s) { mSetsClick(s); };
    mCloseNotSave->OnClick = [this](TObject *s) { mCloseNotSaveClick(s); };
    mExit->OnClick = [this](TObject *s) { mExitClick(s); };
    mManual->OnClick = [this](TObject *s) { mManualClick(s); };
    mAbout->OnClick = [this](TObject *s) { mAboutClick(s); };
    SetMenu(MainMenu);
}

bool TFormMain::ReadyToRun() const { return Dm && Dm->Tb_Account.Active() && !StartingOrClosing; }

void TFormMain::StepSplash()
{
    if (splash_ && StartingOrClosing) {
        splash_->Pb->SetPosition(splash_->Pb->Position() + 1);
        splash_->Repaint();
    }
}

void TFormMain::FreeSplash()
{
    if (splash_) {
        splash_->Hide();
        delete splash_;
        splash_ = nullptr;
    }
}

// ---------------------------------------------------------------- start-up

void TFormMain::FormCreate(TObject *)
{
    starting_ = this;
    TreeFilter = 0;
    KeepRegistry = FConfirm = Grp_Conf = true;
    StartingOrClosing = true;
    CbPer->SetItemIndex(0);
    PackOnClose = false;

    TempFolder(TempDir);
    WorkDir = TempDir + QStringLiteral("ZORB_DAT");
    stageDir_ = TempDir + QStringLiteral("ZORB_NEW");
    if (TempDir.isEmpty() || !ClearFolder(WorkDir, true)) {
        ShowNotice(QStringLiteral("Error access to ZorbDir"), false);
        return;
    }
    if (!ForceFolder(WorkDir)) {
        ShowNotice(U("Невозможно создать временную папку!"), false);
        return;
    }
    // The decrypted tables are no one else's to read.
    ChangeMode(WorkDir, 0700);
    RemoveTempLeftovers(TempDir);
    // The program's own folders that lead elsewhere keep nothing: said once.
    for (const QString &text : ProgramFolderNotices())
        TellOnce(text);

    HelpFile = programFolder_ + QStringLiteral("/Zorbel.Hlp");
    mManual->SetVisible(PathExists(HelpFile));
    Application().SetHelpFile(mManual->Visible() ? HelpFile : QString());

    // The period's bounds a hundred years around today (29 February taken as
    // 28), and the reminder days around today.
    int y, m, d;
    DecodeDate(Date(), y, m, d);
    if (m == 2 && d == 29)
        d = 28;
    AllBegin = EncodeDate(y - 100, m, d);
    AllEnd = EncodeDate(y + 100, m, d);
    ReminderDays = MakeReminderDays(Date());

    const QString arg1 = args_.value(0);
    if (!arg1.isEmpty()) {
        if (PathExists(arg1)) {
            if (!CheckDataFile(arg1, true))
                return;
            SetCaption(arg1);
        } else {
            ShowNotice(U("Файл отсутствует!\r") + arg1, false);
        }
    }

    splash_ = new TFormAbout;
    splash_->SetCaption(QStringLiteral("  ") + FormatDateTime(FormatSettings().LongDateFormat, Date()) +
                        QStringLiteral("   ") + FormatSettings().LongDayNames[DayOfWeek(Date()) - 1]);
    splash_->Show();
    splash_->Repaint();
    bool opened = false;
    try {
        Dm = std::make_unique<TDm>(host_.get());
        Dm->Tb_Hist.DisableControls();
        Dm->Db.SetParams({QStringLiteral("PATH=") + WorkDir});
        splash_->Pb->SetMax(4);
        splash_->Pb->SetPosition(0);
        if (!Caption().isEmpty())
            SetCaption(AbsoluteName(Caption()));

        QString recent;
        LoadSettings(recent);
        if (Caption().isEmpty())
            SetCaption(recent);
        if (!Caption().isEmpty() && !CheckDataFile(Caption(), true))
            SetCaption(QString());
        // What an interrupted save left beside the file goes before it is opened.
        if (!Caption().isEmpty())
            RemoveSaveLeftovers(Caption());
        if (Caption().isEmpty()) {
            QString nearExe = FindFileIn(programFolder_, QStringLiteral("*.den"));
            if (!nearExe.isEmpty() && !CheckDataFile(nearExe, true))
                nearExe.clear();
            SetCaption(nearExe);
        }

        if (!Caption().isEmpty()) {
            opened = OpenDataFile(Caption());
            if (!opened) {
                if (!arg1.isEmpty()) {
                    FreeSplash();
                    ClearFolder(WorkDir, true);
                    return;
                }
                opened = NewFromTemplate();
            }
        } else {
            opened = NewFromTemplate();
        }
    } catch (const Exception &e) {
        FreeSplash();
        if (!opened)
            ClearFolder(WorkDir, true);
        ShowNotice(e.Message(), false);
        return;
    }
    FreeSplash();
    if (!opened || !Dm->Tb_Account.Active()) {
        ClearFolder(WorkDir, true);
        return;
    }
    RegisterFileType(QStringLiteral(".den"), QStringLiteral("Zorbel"), QStringLiteral("Zorbel"), true);
    StartingOrClosing = false;
    Dm->Tb_Hist.EnableControls();
    SqlDecimalSeparator = TDatabase::SqlDecimalSeparator();
    ApplyDisplayFormats();
    qApp->installEventFilter(this);
    messageHook_ = true;
    SetAcceptFiles(true);
    if (FormatSettings().DecimalSeparator == FormatSettings().ThousandSeparator)
        ShowNotice(U("Внимание! В Вашей системе ошибочно установлены одинаковые символы\rразделителей тысяч и "
                     "дробной части числа!\rПожалуйста, исправьте региональные настройки!!!"),
                   false);
}

void TFormMain::FormShow(TObject *)
{
    ScheduleSums();
    mRemindClick(mRemind);
    if (TvCt->CanFocus())
        TvCt->SetFocus();
}

bool TFormMain::eventFilter(QObject *Watched, QEvent *Event)
{
    // An input event from the system reaches its window first and is then
    // passed on to the widget below the pointer and its parents; the hook
    // sees it once, at the window.
    if (Watched->isWindowType())
        AppMessage(Watched, Event);
    return TForm::eventFilter(Watched, Event);
}

bool TFormMain::AppMessage(QObject *, QEvent *Event)
{
    if (Event->type() != QEvent::Wheel || !FormCard || !FormCard->isVisible())
        return false;
    for (const char *name : {"DBEQuant", "DBEPrice", "DBERate", "DBE_Rate", "DBESum"}) {
        QWidget *edit = FormCard->findChild<QWidget *>(QString::fromLatin1(name));
        if (edit && edit->hasFocus()) {
            const bool away = static_cast<QWheelEvent *>(Event)->angleDelta().y() > 0;
            const int key = away ? Qt::Key_Up : Qt::Key_Down;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
            QCoreApplication::sendEvent(edit, &press);
            QCoreApplication::sendEvent(edit, &release);
            break;
        }
    }
    return false;
}

void TFormMain::WMDropFiles(const QStringList &Files)
{
    Repaint();
    Application().BringToFront();
    if (!Files.isEmpty() && PathExists(Files.first()))
        OpenPath(Files.first());
}

// ---------------------------------------------------------------- shutdown

void TFormMain::FormCloseQuery(TObject *, bool &CanClose)
{
    // An edit that cannot be posted keeps the program open (the user was
    // told), unless the session ends and nothing can wait, or the user chose
    // to close without saving.
    if (!PostAllTables()) {
        if (!endingSession_ && !CloseNotSave) {
            CanClose = false;
            return;
        }
        CancelPendingEdits();
    }
    CanClose = !FConfirm || CloseNotSave || endingSession_ ||
               AskDialog(U("Закрыть программу?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false) == mrYes;
    Repaint();
    if (!CanClose)
        return;
    StartingOrClosing = true;
    ButRemCloseClick(this);
    // A file whose password box was cancelled stays the one offered next time.
    const QString recent = PathExists(Caption())         ? Caption()
                           : PathExists(unopenedFile_) ? unopenedFile_
                                                       : QString();
    if (!SaveDataFile(false, false) && !endingSession_ && !SaveFailedOnClose()) {
        CanClose = false;
        StartingOrClosing = false;
        CloseNotSave = false;
        return;
    }
    ShutdownEngine();
    ClearFolder(WorkDir, false);
    try {
        // A new data set saved on the way out is the one offered next time.
        SaveSettings(tiedFile_.isEmpty() ? recent : tiedFile_);
    } catch (const Exception &e) {
        // The data is saved; a lost preference does not keep the program open.
        ShowNotice(U("Настройки не могут быть сохранены!\r") + e.Message(), false);
    }
}

bool TFormMain::SaveFailedOnClose()
{
    // A cancelled save dialog was the user's own answer, already asked.
    if (saveCancelled_)
        return false;
    // Asked once: the same save would only fail again.
    const int answer =
        AskDialog(U("Файл не может быть сохранён!\rСохранить данные в другой файл?\r\r"
                    "Да — выбрать другой файл, Нет — закрыть без сохранения, Отмена — вернуться к работе."),
                  TMsgDlgType::mtWarning, mbYes | mbNo | mbCancel, false);
    if (answer == mrNo) {
        Dm->SetModified(false);
        CloseAndClearData();
        return true;
    }
    if (answer != mrYes)
        return false;
    // Saved as a data set without a file: the file chosen becomes its own.
    const QString file = Caption();
    SetCaption(QString());
    if (SaveDataFile(true, false))
        return true;
    SetCaption(file);
    if (!saveCancelled_)
        ShowNotice(U("Файл не может быть сохранён!"), false);
    return false;
}

void TFormMain::EndSession()
{
    if (endingSession_)
        return;
    // During start-up, a close under way, or with a modal window up, the
    // signal arrives inside a handler that must not go on once the data set
    // is closed: after the close road the process ends right here.
    const bool midway = StartingOrClosing || QApplication::activeModalWidget() != nullptr;
    if (!midway && !ReadyToRun())
        return;
    endingSession_ = true;
    if (midway) {
        // No one is there to answer: every window the close road would show
        // closes at once.
        SetModalHandler([](TForm &) {});
    }
    if (ReadyToRun()) {
        bool closed = false;
        FormCloseQuery(this, closed);
    }
    if (midway) {
        AbandonRun();
        ::_exit(0);
    }
    hide();
    if (QCoreApplication::instance())
        QCoreApplication::exit(0);
}

void TFormMain::AbandonRun()
{
    if (Dm)
        Dm->CloseDataSet();
    fileLock_.Release();
    openingLock_.Release();
    if (!WorkDir.isEmpty())
        ClearFolder(WorkDir, false);
    if (!stageDir_.isEmpty())
        ClearFolder(stageDir_, false);
    RemoveFreshTempFolder();
}

void TFormMain::ShutdownEngine()
{
    if (Dm)
        Dm->CloseDataSet();
    Vzp->Reset();
    fileLock_.Release();
}

void TFormMain::FormDestroy(TObject *)
{
    if (Dm)
        Dm->CloseDataSet();
    if (!WorkDir.isEmpty())
        ClearFolder(WorkDir, false);
    if (!stageDir_.isEmpty())
        ClearFolder(stageDir_, false);
}

void TFormMain::mExitClick(TObject *) { Close(); }

void TFormMain::mCloseNotSaveClick(TObject *)
{
    if (Dm && Dm->Modified()) {
        if (AskDialog(U("Закрыть программу без сохранения изменений?"), TMsgDlgType::mtConfirmation, mbYes | mbNo,
                      false) != mrYes)
            return;
        Dm->SetModified(false);
    }
    CloseNotSave = true;
    Close();
}

void TFormMain::mManualClick(TObject *)
{
    if (!HelpFile.isEmpty() && PathExists(HelpFile) && OpenHelpFile)
        OpenHelpFile(HelpFile);
}

void TFormMain::mAboutClick(TObject *)
{
    TFormCommon about;
    about.SetKeyPreview(true);
    about.ShowModal();
}

// ---------------------------------------------------------------- settings

void TFormMain::LoadSettings(QString &RecentFile)
{
    RecentFile.clear();
    TRegistry reg;
    reg.OpenKey(SettingsKey(), true);
    TZorbSettings s;
    // The window's own state is the starting point of values left unchanged.
    static_cast<TMainOptions &>(s) = *this;
    s.Left = Left();
    s.Top = Top();
    s.Width = Width();
    s.Height = Height();
    s.Wdt_Itm = PanD->Width();
    s.Sel_Per = CbPer->ItemIndex();
    s.AcRest_Width = PanAcRest->Width();
    ReadSettings(reg, s, nullptr);
    for (const QString &kept : TRegistry::TakeOversizedCopies())
        ShowNotice(U("Файл настроек слишком велик: таких настроек программа не пишет. Он не прочитан, "
                     "используются настройки по умолчанию.\rФайл сохранён как\r") +
                       kept,
                   false);
    for (const QString &kept : TRegistry::TakeDamagedCopies())
        ShowNotice(U("Файл настроек повреждён и не может быть прочитан. Используются настройки по умолчанию.\r"
                     "Повреждённый файл сохранён как\r") +
                       kept,
                   false);
    try {
        reg.CloseKey();
    } catch (const Exception &) {
        // The new key could not be stored; it is written at exit, and an
        // unwritable store does not keep the program from starting.
    }

    RecentFile = s.Recent_Catalog;
    static_cast<TMainOptions &>(*this) = s;
    // The stored bounds include the window's frame, kept within the screens'
    // free area.
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    const QRect bounds = ClampWindowBounds(QRect(s.Left, s.Top, s.Width, s.Height), areas, QSize(804, 544));
    SetBounds(bounds.left(), bounds.top(), bounds.width(), bounds.height());
    PanD->SetWidth(s.Wdt_Itm);
    if (s.MainMaxim)
        SetWindowState(TWindowState::wsMaximized);
    CbPer->SetItemIndex(s.Sel_Per);
    PanTop->SetVisible(ShowBar);
    Sb->SetVisible(ShowStatus);
    if (s.AcRest_Width > 50)
        PanAcRest->SetWidth(s.AcRest_Width);
    GridFont = QFont(s.F1_Name, s.F1_Size);
    GridFont.setBold(s.F1_Bold);
    GridFontColor = s.F1_Color;
    GridFontCharSet = s.F1_CharSet;
    TitleFont = QFont(s.F2_Name, s.F2_Size);
    TitleFont.setBold(s.F2_Bold);
    TitleFontColor = s.F2_Color;
    TitleFontCharSet = s.F2_CharSet;
    ApplyGridFonts();
    Col_Pers = s.Col_Pers;
    Col_Fam = s.Col_Fam;
    Col_Log = s.Col_Log;
    Col_Firm = s.Col_Firm;
    Col_PF = s.Col_PF;
    GridColumns = s.Grid;
}

void TFormMain::SaveSettings(const QString &RecentFile)
{
    TRegistry reg;
    if (!KeepRegistry) {
        if (reg.KeyExists(SettingsKey()) && !reg.DeleteKey(SettingsKey()))
            throw Exception(U("Не удалось удалить настройки из файла %1").arg(reg.FileName()));
        return;
    }
    TZorbSettings s;
    static_cast<TMainOptions &>(s) = *this;
    s.Recent_Catalog = RecentFile;
    // The window's bounds with its frame, as SetBounds takes them back, so
    // the window keeps its size from session to session. A maximized window
    // keeps the bounds it returns to.
    const QRect inner = WindowState() == TWindowState::wsMaximized ? normalGeometry() : geometry();
    const QPoint frameOffset = geometry().topLeft() - pos();
    const QMargins frame = FrameMargins();
    s.Left = inner.left() - frameOffset.x();
    s.Top = inner.top() - frameOffset.y();
    s.Width = inner.width() + frame.left() + frame.right();
    s.Height = inner.height() + frame.top() + frame.bottom();
    s.Wdt_Itm = PanD->Width();
    s.MainMaxim = WindowState() == TWindowState::wsMaximized;
    s.Sel_Per = CbPer->ItemIndex();
    s.AcRest_Width = PanAcRest->Width();
    s.F1_Name = GridFont.family();
    s.F1_CharSet = GridFontCharSet;
    s.F1_Size = GridFont.pointSize();
    s.F1_Color = GridFontColor;
    s.F1_Bold = GridFont.bold();
    s.F2_Name = TitleFont.family();
    s.F2_CharSet = TitleFontCharSet;
    s.F2_Size = TitleFont.pointSize();
    s.F2_Color = TitleFontColor;
    s.F2_Bold = TitleFont.bold();
    BookColumnLayouts(false);
    s.Col_Pers = Col_Pers;
    s.Col_Fam = Col_Fam;
    s.Col_Log = Col_Log;
    s.Col_Firm = Col_Firm;
    s.Col_PF = Col_PF;
    s.Grid = GridColumns = LedgerColumnsStream();
    reg.OpenKey(SettingsKey(), true);
    WriteSettings(reg, s);
    reg.CloseKey();
}

// ---------------------------------------------------------------- main program

bool InstallQtTranslations()
{
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator.get()))
        return false;
    installed = translator.release();
    return true;
}

int ZorbelMain(const QStringList &Args, bool RunLoop)
{
    // Qt's own dialogs (choosing a file, confirming a replacement) speak Russian too.
    InstallQtTranslations();
    // Logout, shutdown, a closed terminal or Ctrl+C close the program as its
    // own close does, without questions.
    TEndSignals endSignals;
    // A fresh temporary folder of this run goes at its end, after the
    // guards and the window that use it.
    struct TFreshFolderEnd {
        ~TFreshFolderEnd() { RemoveFreshTempFolder(); }
    } freshFolderEnd;
    // From the first moment on, a notice of the guard and the start-up's
    // notices and password boxes included: before the window is made,
    // nothing is held that needs closing.
    endSignals.OnSignal = [](int) {
        if (TFormMain *form = TFormMain::Current()) {
            form->EndSession();
            return;
        }
        RemoveFreshTempFolder();
        ::_exit(1);
    };
    RemoveAbandonedTempFolders(QStringLiteral("Ventaro_Zorbel"));
    TInstanceMutex mutex(QStringLiteral("Ventaro_Zorbel"));
    // The work folder is shared by every copy that finds the same temporary
    // folder, whatever their configuration folders: a second guard there
    // keeps a copy from emptying the tables another is working on.
    QString temp;
    TempFolder(temp);
    std::optional<TInstanceMutex> workMutex;
    if (!temp.isEmpty() && CanonicalName(temp) != CanonicalName(UserLockFolder()))
        workMutex.emplace(QStringLiteral("Ventaro_Zorbel"), temp);
    if (mutex.AlreadyExists() || (workMutex && workMutex->AlreadyExists())) {
        ShowNotice(QStringLiteral("Program is already running!"), true);
        return 1;
    }
    Application().SetTitle(QStringLiteral("Zorbel"));
    TFormMain form(Args);
    Application().SetMainForm(&form);
    const QMetaObject::Connection logout =
        QObject::connect(qApp, &QGuiApplication::commitDataRequest, &form, [&form](QSessionManager &) {
            form.EndSession();
        });
    int rc = 0;
    if (form.ReadyToRun()) {
        form.Show();
        if (RunLoop)
            rc = QApplication::exec();
    } else {
        if (!form.WorkDir.isEmpty())
            ClearFolder(form.WorkDir, true);
        rc = 1; // a failed start
    }
    QObject::disconnect(logout);
    endSignals.OnSignal = nullptr;
    Application().SetMainForm(nullptr);
    return rc;
}

} // namespace zorbel
