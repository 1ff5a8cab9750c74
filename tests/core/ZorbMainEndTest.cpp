// How a run shares and ends: one writer per data file across copies with
// different homes, a full disk named as such and asked about once when
// closing, terminating signals while a notice box is up, and no temporary
// folder or decrypted work copy left behind by any start.
#include "ZorbMainRun.h"
#include "core/TulnCommon.h"
#include "core/ZorbFile.h"
#include "platform/system/InstanceMutex.h"
#include "platform/system/SysFiles.h"
#include "support/FaultEnv.h"
#include "support/WallClock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorbel {
namespace {

QString LockedPrefix() { return U("Файл данных открыт в другой копии программы ("); }

class ZorbMainEnd : public ZorbMainRun {
protected:
    // Starts with a data file without a password; whether it holds Account.
    bool Holds(const QString &file, const QString &account)
    {
        TModalScript none;
        auto f = Start({file});
        const bool holds = f->ReadyToRun() && HasAccount(*f, account);
        f->mCloseNotSaveClick(f.get());
        return holds;
    }
};

// Two copies with different homes (temporary, session, configuration and
// data folders) on one data file: the second is refused for writing, also
// by "save as" over it, and opens it once the first has closed.
TEST_F(ZorbMainEnd, ADataFileOpenInOneCopyIsRefusedToAnother)
{
    const QString file = MakeDataFile("shared.den", QString());
    auto first = Start({file});
    ASSERT_TRUE(first->ReadyToRun());
    AddAccount(*first, U("Первая"));
    {
        TSandbox otherHome;
        TModalScript refused;
        refused.Press("OK");
        auto second = Start({file});
        EXPECT_FALSE(second->ReadyToRun());
        ASSERT_TRUE(refused.Finished());
        const QString text = Texts(refused).value(0);
        EXPECT_TRUE(text.startsWith(LockedPrefix())) << text.toStdString();
        EXPECT_TRUE(text.contains(U("процесс ") + QString::number(::getpid()))) << text.toStdString();
        EXPECT_TRUE(text.endsWith("\r" + file));
        second.reset();

        // Running with a data set of its own: opening and saving over the
        // file are refused alike, and its own data set stays.
        auto other = Start();
        ASSERT_TRUE(other->ReadyToRun());
        AddAccount(*other, U("Вторая"));
        TModalScript again;
        again.Press("OK").Press("OK").Press("OK");
        other->OpenPath(file);
        saveAs = file;
        other->mSaveAsClick(other.get());
        saveAs.clear();
        ASSERT_TRUE(again.Finished()) << Texts(again).join(" | ").toStdString();
        EXPECT_TRUE(Texts(again).value(0).startsWith(LockedPrefix()));
        EXPECT_TRUE(Texts(again).value(1).startsWith(LockedPrefix()));
        EXPECT_EQ(Texts(again).value(2), U("Файл не может быть сохранён!"));
        EXPECT_TRUE(other->Caption().isEmpty());
        EXPECT_TRUE(HasAccount(*other, U("Вторая")));

        // The first copy saves and closes: now the file opens here, with the
        // first copy's changes.
        first->FConfirm = false;
        EXPECT_TRUE(Close(*first));
        first.reset();
        TModalScript open;
        open.Press("Yes"); // the new data set's changes are given up
        other->OpenPath(file);
        EXPECT_EQ(other->Caption(), file);
        EXPECT_TRUE(HasAccount(*other, U("Первая")));
        other->mCloseNotSaveClick(other.get());
    }
}

// The lock between processes: a copy killed with its file open leaves a lock
// file no one holds, and the next copy takes it over.
TEST(ZorbFileLock, AnotherProcessHoldsTheLockUntilItEnds)
{
    TSandbox box;
    const QString file = box.Path("files/data.den");
    TSandbox::Write(file, "PK");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        TDataFileLock lock;
        QString holder;
        const char ok = lock.Acquire(file, holder) ? 'y' : 'n';
        [[maybe_unused]] const ssize_t n = ::write(fds[1], &ok, 1);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    char ok = 0;
    ASSERT_EQ(::read(fds[0], &ok, 1), 1);
    ::close(fds[0]);
    ASSERT_EQ(ok, 'y');
    TDataFileLock mine;
    QString holder;
    EXPECT_FALSE(mine.Acquire(file, holder));
    EXPECT_TRUE(holder.endsWith(U("процесс ") + QString::number(child))) << holder.toStdString();
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(QFileInfo::exists(box.Path("files/.data.den.lock")));
    EXPECT_TRUE(mine.Acquire(file, holder));
    EXPECT_EQ(mine.File(), file);
    mine.Release();
    EXPECT_FALSE(QFileInfo::exists(box.Path("files/.data.den.lock")));
}

// A data file where the user cannot write (a 0444 file in a root-owned 0755
// folder, as on a CD, a read-only share or another user's folder), opened by
// an ordinary user: the lock is given up, not taken for another copy's, and
// the file is known not to be writable in place. A lock file another copy
// holds there is still told as that copy's. Run as an ordinary user: as root
// in a child that drops to "nobody".
TEST(ZorbFileLock, AFolderTheUserCannotWriteTakesNoLockAndIsNoOtherCopy)
{
    char pattern[] = "/tmp/zorbel-ro-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const QString folder = QString::fromLocal8Bit(pattern);
    const QString file = folder + "/data.den", held = folder + "/held.den";
    TSandbox::Write(file, "PK");
    TSandbox::Write(held, "PK");
    TDataFileLock parentLock; // another copy holds held.den
    QString holder;
    ASSERT_TRUE(parentLock.Acquire(held, holder));
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
    ASSERT_EQ(::chmod(pattern, 0555), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        TDataFileLock lock;
        QString who;
        char answer[4] = {
            lock.Acquire(file, who) ? 'y' : 'n', lock.Error() == 0 ? '0' : 'e', DataFileWritable(file) ? 'w' : 'r',
            lock.Acquire(held, who) ? 'y' : (lock.Error() == 0 && !who.isEmpty() ? 'b' : 'e')};
        [[maybe_unused]] const ssize_t n = ::write(fds[1], answer, 4);
        ::_exit(0);
    }
    ::close(fds[1]);
    char answer[5] = {};
    EXPECT_EQ(::read(fds[0], answer, 4), 4);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_STREQ(answer, "y0rb") << "opened unlocked, no error, not writable in place, the held one busy";
    EXPECT_FALSE(QFileInfo::exists(folder + "/.data.den.lock"));
    parentLock.Release();
    ::chmod(pattern, 0755);
    QDir(folder).removeRecursively();
}

// The same through the seam: a folder that takes no lock file (EACCES) and
// holds none (ENOENT) opens; any other failure is told for what it is, never
// as another copy.
TEST(ZorbFileLock, OnlyAHeldLockIsAnotherCopy)
{
    TSandbox box;
    const QString file = box.Path("files/data.den");
    TSandbox::Write(file, "PK");
    QString holder;
    {
        test::TFaultEnv env;
        env.FailCall(TSysOp::Open, 1, EACCES);
        env.FailCall(TSysOp::Open, 2, ENOENT);
        TSysEnvScope scope(env);
        TDataFileLock lock;
        EXPECT_TRUE(lock.Acquire(file, holder));
        EXPECT_EQ(lock.File(), file);
    }
    {
        test::TFaultEnv env;
        env.FailCall(TSysOp::Open, 1, EIO);
        TSysEnvScope scope(env);
        TDataFileLock lock;
        EXPECT_FALSE(lock.Acquire(file, holder));
        EXPECT_EQ(lock.Error(), EIO);
        EXPECT_TRUE(holder.isEmpty());
        const QString text = LockFailedText(file, lock.Error());
        EXPECT_FALSE(text.contains(U("другой копии программы ("))) << text.toStdString();
        EXPECT_TRUE(text.endsWith("\r" + file));
    }
    EXPECT_TRUE(DataFileWritable(file));
    EXPECT_TRUE(ReadOnlyDataFileText(file).contains(U("«Сохранить как…»")));
}

// A full disk through the fault seam: the notice names the disk and the data
// file, the data file and its backup stay byte-identical, and closing asks
// once: stay, save elsewhere, or close without saving.
TEST_F(ZorbMainEnd, AFullDiskIsNamedAndClosingAsksOnce)
{
    const QString file = MakeDataFile("full.den", QString());
    {
        auto f = Start({file});
        AddAccount(*f, U("Вторая запись"));
        f->mSaveClick(f.get());
        f->mCloseNotSaveClick(f.get());
    }
    ASSERT_TRUE(QFileInfo::exists(File("full.bak")));
    const QByteArray data = TSandbox::Read(file), backup = TSandbox::Read(File("full.bak"));
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    AddAccount(*f, U("Не поместилось"));
    const QString question = U("Файл не может быть сохранён!\rСохранить данные в другой файл?");
    test::TFaultEnv env;
    env.FailCall(TSysOp::Write, 1, ENOSPC, true);
    {
        TSysEnvScope scope(env);
        TModalScript stay;
        stay.Press("Yes").Press("OK").Press("Cancel");
        EXPECT_FALSE(Close(*f));
        ASSERT_TRUE(stay.Finished()) << Texts(stay).join(" | ").toStdString();
        EXPECT_EQ(Texts(stay).value(1), DiskFullText(f->TempDir, file));
        EXPECT_TRUE(Texts(stay).value(1).startsWith(U("Недостаточно места на диске ")));
        EXPECT_FALSE(Texts(stay).value(1).contains("~~.bak"));
        EXPECT_TRUE(Texts(stay).value(2).startsWith(question));
        EXPECT_EQ(Texts(stay).size(), 3);
        EXPECT_TRUE(f->Dm->Modified());
        EXPECT_TRUE(HasAccount(*f, U("Не поместилось")));
    }
    EXPECT_EQ(TSandbox::Read(file), data);
    EXPECT_EQ(TSandbox::Read(File("full.bak")), backup);

    // Saved elsewhere: the disk there has room.
    {
        TSysEnvScope scope(env);
        env.FailCall(TSysOp::Write, 1, ENOSPC, true);
        TModalScript elsewhere;
        elsewhere.Press("Yes").Press("OK").Press("Yes");
        const QString target = File("elsewhere.den");
        f->ExecuteSaveDialog = [&](QString &name) {
            env.Heal();
            name = target;
            return true;
        };
        EXPECT_TRUE(Close(*f));
        EXPECT_TRUE(elsewhere.Finished()) << Texts(elsewhere).join(" | ").toStdString();
        EXPECT_EQ(Texts(elsewhere).size(), 3);
    }
    f.reset();
    EXPECT_EQ(TSandbox::Read(file), data);
    EXPECT_EQ(TSandbox::Read(File("full.bak")), backup);
    EXPECT_TRUE(Holds(File("elsewhere.den"), U("Не поместилось")));

    // Closing without saving: nothing is written.
    f = Start({file});
    AddAccount(*f, U("Брошено"));
    {
        TSysEnvScope scope(env);
        env.FailCall(TSysOp::Write, 1, ENOSPC, true);
        TModalScript leave;
        leave.Press("Yes").Press("OK").Press("No").Press("OK");
        EXPECT_TRUE(Close(*f));
        EXPECT_TRUE(leave.Finished());
        // The settings cannot be written on the full disk either; that is said once.
        EXPECT_EQ(Texts(leave).size(), 4) << Texts(leave).join(" | ").toStdString();
        EXPECT_TRUE(Texts(leave).value(3).startsWith(U("Настройки не могут быть сохранены!")));
    }
    f.reset();
    env.Heal();
    EXPECT_EQ(TSandbox::Read(file), data);
    EXPECT_EQ(TSandbox::Read(File("full.bak")), backup);
}

// A reserve copy that cannot be copied (a folder in its place) never stops a
// save: each Ctrl+S writes the data file and its backup, and the user is
// told once, naming the folder, that the reserve copies stay as they were.
TEST_F(ZorbMainEnd, ABrokenReserveCopyIsToldOnceAndTheFileIsSaved)
{
    const QString file = MakeDataFile("A.den", QString());
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    AddAccount(*f, U("Первая"));
    f->mSaveClick(f.get()); // the backup A.bak is made
    ASSERT_TRUE(QFileInfo::exists(File("A.bak")));
    const QString reserve = AbsoluteName(DefaultReserveFolder());
    ASSERT_TRUE(QDir().mkpath(reserve + "/1_A.bak"));
    {
        TModalScript told;
        told.Press("OK");
        AddAccount(*f, U("Вторая"));
        f->mSaveClick(f.get());
        ASSERT_TRUE(told.Finished()) << Texts(told).join(" | ").toStdString();
        ASSERT_EQ(Texts(told).size(), 1);
        EXPECT_TRUE(Texts(told)[0].startsWith(U("Файл данных сохранён, но резервные копии 1_A.bak, 2_A.bak")));
        EXPECT_TRUE(Texts(told)[0].contains(U("«") + reserve + U("»"))) << Texts(told)[0].toStdString();
        EXPECT_FALSE(f->Dm->Modified());
    }
    const QByteArray once = TSandbox::Read(file);
    {
        TModalScript quiet;
        AddAccount(*f, U("Третья"));
        f->mSaveClick(f.get());
        EXPECT_TRUE(quiet.Seen().empty()) << Texts(quiet).join(" | ").toStdString();
        EXPECT_FALSE(f->Dm->Modified());
        EXPECT_NE(TSandbox::Read(file), once);
        EXPECT_EQ(TSandbox::Read(File("A.bak")), once);
    }
    f->mCloseNotSaveClick(f.get());
    f.reset();
    EXPECT_TRUE(Holds(file, U("Третья")));
}

// Ctrl+S on a data file whose folder takes no new file (a read-only disk or
// share, another user's folder; here refused through the seam) offers a save
// into another file, which then becomes the data set's own; the file that
// could not be written stays as it was.
TEST_F(ZorbMainEnd, SavingWhereNoFileCanBeWrittenOffersAnotherFile)
{
    const QString file = MakeDataFile("ro.den", QString());
    const QByteArray data = TSandbox::Read(file);
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    AddAccount(*f, U("Только для чтения"));
    test::TFaultEnv env;
    env.FailPath(box.Path("files"), EACCES, true);
    TSysEnvScope scope(env);
    const QString question = U("Файл не может быть сохранён: в его папку нельзя записать.\r") + file +
                             U("\rСохранить данные в другой файл?");
    {
        TModalScript no;
        no.Press("No");
        f->mSaveClick(f.get());
        ASSERT_TRUE(no.Finished());
        EXPECT_EQ(Texts(no), QStringList{question});
        EXPECT_TRUE(f->Dm->Modified());
        EXPECT_EQ(f->Caption(), file);
    }
    const QString other = box.Path("program/copy.den");
    {
        TModalScript yes;
        yes.Press("Yes");
        saveAs = other;
        f->mSaveClick(f.get());
        saveAs.clear();
        ASSERT_TRUE(yes.Finished()) << Texts(yes).join(" | ").toStdString();
        EXPECT_EQ(Texts(yes), QStringList{question});
        EXPECT_FALSE(f->Dm->Modified());
        EXPECT_EQ(f->Caption(), other);
    }
    EXPECT_EQ(TSandbox::Read(file), data);
    env.Heal();
    f->mCloseNotSaveClick(f.get());
    f.reset();
    EXPECT_TRUE(Holds(other, U("Только для чтения")));
}

// The program's own folders that would lead elsewhere keep nothing, and a
// start says so once, naming the folder.
TEST_F(ZorbMainEnd, AStartNamesAProgramFolderThatLeadsElsewhere)
{
    const QString elsewhere = box.Path("files/elsewhere");
    const QString data = ProgramDataFolder(), sums = ProgramDataPath(QStringLiteral("sums"));
    struct TRow {
        const char *What;
        QString Link;  // made a link to elsewhere
        QString Named; // the folder the notice names
        QString Kept;  // what it says is not kept there
    };
    const TRow rows[] = {
        {"the kept sums' folder", sums, sums, U("итоги по дням")},
        {"the program's data folder", data, data, U("список проверенных файлов и итоги по дням")},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.What);
        QDir(data).removeRecursively();
        QFile::remove(data);
        QDir().mkpath(elsewhere);
        QDir().mkpath(AbsoluteFolderOf(row.Link));
        ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(row.Link).constData()), 0);
        TModalScript told;
        told.Press("OK");
        auto f = Start();
        ASSERT_TRUE(f->ReadyToRun());
        ASSERT_TRUE(told.Finished());
        ASSERT_EQ(Texts(told).size(), 1);
        EXPECT_EQ(Texts(told)[0], U("Папка «") + row.Named + U("» — ссылка на другую папку: программа не хранит там ") +
                                      row.Kept + U(".\rУдалите или переименуйте её — программа создаст свою папку."));
        f->mCloseNotSaveClick(f.get());
        QFile::remove(row.Link);
    }
}

// A forked copy of this test process runs the program until a notice box
// is up (the box waits as for a person), then is sent SIGTERM. Returns the
// milliseconds from the signal to the end (-1: it did not end within 3 s,
// longer in a sanitizer build, and it is killed), and in Status how it ended.
qint64 TerminateDuringNotice(const std::function<int()> &Run, int &Status)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        SetModalHandler([fd = fds[1]](TForm &) {
            const char up = 'n';
            [[maybe_unused]] const ssize_t n = ::write(fd, &up, 1);
            QEventLoop wait;
            wait.exec();
        });
        ::_exit(Run() + 100);
    }
    ::close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char up = 0;
    const bool shown = ::poll(&p, 1, 60000) == 1 && ::read(fds[0], &up, 1) == 1;
    ::close(fds[0]);
    QElapsedTimer clock;
    clock.start();
    ::kill(child, SIGTERM);
    while (clock.elapsed() < test::WallClockBound(3000)) {
        if (::waitpid(child, &Status, WNOHANG) == child)
            return shown ? clock.elapsed() : -1;
        ::usleep(5000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &Status, 0);
    return -1;
}

TEST_F(ZorbMainEnd, ATerminatingSignalDuringANoticeEndsTheProgramAtOnce)
{
    const QString good = MakeDataFile("good.den", QString());
    TSandbox::Write(File("bad.den"), "PK but no archive");

    // At start-up: the refused file's notice is up.
    int status = 0;
    qint64 ms = TerminateDuringNotice([&] { return ZorbelMain({File("bad.den")}, true); }, status);
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, test::WallClockBound(1000));
    EXPECT_TRUE(WIFEXITED(status));

    // Before the window: the notice that another copy runs.
    ms = TerminateDuringNotice(
        [] {
            TInstanceMutex running(QStringLiteral("Ventaro_Zorbel"));
            return ZorbelMain({}, true);
        },
        status);
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, test::WallClockBound(1000));
    EXPECT_TRUE(WIFEXITED(status));

    // Running with changes: another file's notice is up. The changes are
    // saved and the work copy is gone.
    const QString work = box.Path("runtime/zorbel/ZORB_DAT");
    ms = TerminateDuringNotice(
        [&] {
            QTimer::singleShot(0, [&] {
                auto *form = dynamic_cast<TFormMain *>(Application().MainForm());
                AddAccount(*form, U("До сигнала"));
                form->OpenPath(File("bad.den"));
            });
            return ZorbelMain({good}, true);
        },
        status);
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, test::WallClockBound(1000));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_FALSE(QFileInfo::exists(work + "/Zorbel.db"));
    EXPECT_TRUE(IsFolderEmpty(box.Path("runtime/zorbel/ZORB_NEW")));
    EXPECT_FALSE(QFileInfo::exists(File(".good.den.lock")));
    EXPECT_TRUE(Holds(good, U("До сигнала")));
}

// Neither the session folder nor the private temporary folder can be used:
// a start makes one fresh folder and removes it at its end, and a folder a
// killed run left (with its decrypted work copy) goes at the next start.
// A person being typed whose row cannot be posted: saving and closing say
// so and wait, the typed name stays, and once it posts it is saved.
TEST_F(ZorbMainEnd, AnEditThatCannotBePostedIsReportedNeverDropped)
{
    const QString file = MakeDataFile("edit.den", QString());
    const QByteArray saved = TSandbox::Read(file);
    auto f = Start({file});
    ASSERT_TRUE(f->ReadyToRun());
    TTable &people = f->Dm->Tb_Person;
    bool refuse = true;
    people.BeforePost = [&refuse](TDataSet *) {
        if (refuse)
            throw EDatabaseError(QStringLiteral("injected failure"));
    };
    people.Append();
    people.FieldByName("Name")->SetAsString(U("Сидоров"));
    const QString posting = U("Изменение не записано: injected failure");
    {
        TModalScript save;
        save.Press("OK").Press("OK");
        f->mSaveClick(f.get());
        ASSERT_GE(Texts(save).size(), 1);
        EXPECT_TRUE(Texts(save)[0].startsWith(posting)) << Texts(save).join(" | ").toStdString();
    }
    EXPECT_EQ(TSandbox::Read(file), saved);
    EXPECT_EQ(people.State(), dsInsert);
    EXPECT_EQ(people.FieldByName("Name")->AsString(), U("Сидоров"));
    {
        TModalScript close;
        close.Press("OK");
        EXPECT_FALSE(Close(*f));
        EXPECT_TRUE(close.Finished()) << Texts(close).join(" | ").toStdString();
        EXPECT_TRUE(Texts(close).value(0).startsWith(posting));
    }
    EXPECT_EQ(people.FieldByName("Name")->AsString(), U("Сидоров"));
    refuse = false;
    {
        TModalScript close;
        close.Press("Yes");
        EXPECT_TRUE(Close(*f));
    }
    f.reset();
    auto again = Start({file});
    ASSERT_TRUE(again->ReadyToRun());
    EXPECT_TRUE(again->Dm->Tb_Person.Locate("Name", Variant(U("Сидоров")), {}));
    // Closing without saving, the user's choice: told, and the program ends.
    TTable &theirs = again->Dm->Tb_Person;
    theirs.BeforePost = [](TDataSet *) { throw EDatabaseError(QStringLiteral("injected failure")); };
    theirs.Append();
    theirs.FieldByName("Name")->SetAsString(U("Петров"));
    TModalScript close;
    close.Press("OK").Press("Yes").Press("Yes");
    again->CloseNotSave = true;
    EXPECT_TRUE(Close(*again));
    EXPECT_TRUE(Texts(close).value(0).startsWith(posting)) << Texts(close).join(" | ").toStdString();
    theirs.BeforePost = nullptr;
}

TEST_F(ZorbMainEnd, NoStartLeavesATemporaryFolderBehind)
{
    qunsetenv("XDG_RUNTIME_DIR");
    const QString prefix = "zorbel-" + QString::number(::getuid());
    // Someone else's link where the private temporary folder would be.
    ASSERT_EQ(::symlink("/tmp", QFile::encodeName(box.Path("tmp/" + prefix)).constData()), 0);
    const QString killed = box.Path("tmp/" + prefix + "-Ab12Cd");
    QDir().mkpath(killed + "/ZORB_DAT");
    TSandbox::Write(killed + "/ZORB_DAT/Zorbel.db", "decrypted tables");
    TSandbox::Write(killed + "/Ventaro_Zorbel.lock", "");
    const auto fresh = [&] { return QDir(box.Path("tmp")).entryList({prefix + "-*"}, QDir::Dirs | QDir::Hidden); };
    ASSERT_EQ(fresh().size(), 1);
    for (int run = 0; run < 2; ++run) {
        TModalScript none;
        EXPECT_EQ(ZorbelMain({}, false), 0);
        EXPECT_TRUE(fresh().isEmpty()) << fresh().join(" ").toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(killed));
}

} // namespace
} // namespace zorbel
