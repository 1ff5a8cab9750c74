// The main window on a large data set: 100,000 operations (or the number given
// as the first argument) over 10 accounts and 5 years, 2,000 expense
// categories, beside the same window on 10,000 operations (the reference,
// ZORBEL_BENCH_SMALL=n for another size) in the same run. Each data set is
// built once through the program (a new data set, rows written with raw
// inserts in one transaction, saved as a data file), then:
//   start-up      a child process opens the data file and paints the ledger
//                 and the trees (process start to painted, unpacking
//                 included): the large file this user's program saved, the
//                 same file new to the user (checked whole), the same file
//                 received and opened once before (remembered after its
//                 whole check) and the small file, round after round beside
//                 libdeflate unpacking the large file's database in process
//                 (inflate, CRC, write);
//   first click   a fresh window opened and painted, then one account
//                 switch sent through the event loop at once, and another
//                 while the window walks the day sums in slices: what the
//                 user waits for, slices included; then the time from the
//                 paint until the day sums are ready. Once for the large
//                 file this user's program saved (its day sums kept from an
//                 earlier session, as a user's own file has them), once for
//                 the same file new to the user (a data folder of its own,
//                 emptied before each round: checked whole and walked);
//   clicks        switching the account, the period kind (month <-> whole
//                 period) and one step back, each with the status-bar totals
//                 and a repaint of the grid, with the day sums in place;
//   routines      UpdateBalances(true, 0), BuildCategoryTree over 2,000
//                 categories, the first paint of the ledger, the day sums'
//                 whole walk in one call.
//   peak memory   of a child that starts, walks every account in both period
//                 kinds and a year of months.
// Targets: start-up of the large saved file <= 1.5 x (libdeflate's unpack +
// the small file's start-up); each click <= 16 ms and, on the large data
// set, within 1.3 x the same click on the small one; the first click within
// 1.3 x a click; a tree fill <= 50 ms; peak memory <= 150 MiB.
//
// ZORBEL_BENCH_NOCOVER=1 drops the data set's index over (Id_Account,
// Date_Real, Kind, Dt, Ct), to measure the sums reading the rows instead.
// ZORBEL_BENCH_PARTS=1 also prints the parts of one period change;
// ZORBEL_BENCH_CLICKS=1 times the large data set's clicks alone.
// ZORBEL_BENCH_FILE=path keeps the large data file there between runs; the
// start-up child alone runs as "bench_ledger --child FILE PROGRAM_FOLDER" (for
// a profiler).
//
// With "--shot FILE" it builds a small data set (a few hundred operations),
// shows the window on the current display and saves a picture of it.
#include "core/ZorbMain.h"

#include "ledger/LedgerDataSet.h"
#include "common/BenchMemory.h"
#include "common/BenchSize.h"
#include "common/RefPack.h"
#include "core/ZorbFile.h"
#include "core/ZorbSumsStore.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <sqlite3.h>
#include <vector>

using namespace zorbel;
using namespace zorbel::bench;

namespace {


// Starts the program on a new data set, fills it and saves it as file.
void MakeDataFile(const QString &program, const QString &file, const TSize &size)
{
    TFormMain f(QStringList{}, program);
    Fill(f, size);
    f.ExecuteSaveDialog = [&](QString &name) {
        name = file;
        return true;
    };
    f.mSaveClick(&f);
    f.Dm->SetModified(false);
    f.mCloseNotSaveClick(&f);
}

void Paint(TFormMain &f)
{
    f.DBG->View()->viewport()->repaint();
    f.Sb->repaint();
}

struct TFigure {
    const char *Name;
    std::vector<double> Ms;
    double Target;
    std::vector<double> Cpu; // processor time of this thread, for a loaded machine
};

// Processor time of the calling thread in milliseconds.
double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One line of a figure; with a reference, the ratio of the medians and its
// target beside it.
void Print(const TFigure &fig, const TFigure *ref = nullptr, double ratioTarget = 0)
{
    if (fig.Ms.empty())
        return;
    const double worst = *std::max_element(fig.Ms.begin(), fig.Ms.end());
    const double least = *std::min_element(fig.Ms.begin(), fig.Ms.end());
    const double median = Median(fig.Ms);
    std::printf("%-44s %9.2f %9.2f %9.2f %9.2f %7.0f  %-4s", fig.Name, least, median, worst, Median(fig.Cpu),
                fig.Target, median <= fig.Target ? "ok" : "OVER");
    if (ref && !ref->Ms.empty()) {
        const double ratio = median / Median(ref->Ms);
        std::printf("  %5.2fx (target %.1fx) %s", ratio, ratioTarget, ratio <= ratioTarget ? "ok" : "OVER");
    }
    std::printf("\n");
}

// Times one run of Step into Fig (wall clock and thread processor time).
void Time(TFigure &Fig, const std::function<void()> &Step)
{
    QElapsedTimer t;
    const double cpu = CpuMs();
    t.start();
    Step();
    Fig.Ms.push_back(t.nsecsElapsed() / 1e6);
    Fig.Cpu.push_back(CpuMs() - cpu);
}

// The child of the start-up figure: open, show, paint, report.
int StartupChild(const QString &file, const QString &program)
{
    QElapsedTimer t;
    t.start();
    TFormMain f(QStringList{file}, program);
    if (!f.ReadyToRun())
        return 3;
    f.resize(1000, 650);
    f.Show();
    QApplication::processEvents();
    Paint(f);
    f.TvCt->viewport()->repaint();
    std::printf("painted %.2f sums %s\n", t.nsecsElapsed() / 1e6, f.Dm->HistSums.Ready() ? "ready" : "walked");
    std::fflush(stdout);
    if (qEnvironmentVariableIsSet("ZORBEL_BENCH_SESSION")) {
        // A session's walk: every account in both period kinds, a year of
        // month steps; then the process's peak memory. The day sums are in
        // place, as the window fills them when first idle.
        std::fprintf(stderr, "peak after the paint %.1f MiB\n", Resident().PeakMiB);
        f.Dm->HistSums.Build();
        std::fprintf(stderr, "peak after the day sums %.1f MiB\n", Resident().PeakMiB);
        for (int kind : {pkMonth, pkTotal}) {
            f.CbPer->SetItemIndex(kind);
            f.CbPerClick(f.CbPer);
            for (int a = 1; a <= f.Dm->Tb_Account.RecordCount(); ++a) {
                f.Dm->Tb_Account.Locate("Id_Account", Variant(a), {});
                f.ApplyLedgerPeriod();
                Paint(f);
            }
        }
        f.CbPer->SetItemIndex(pkMonth);
        f.CbPerClick(f.CbPer);
        for (int i = 0; i < 12; ++i) {
            f.ButPrevClick(f.mPerBefore);
            Paint(f);
        }
        std::printf("peak %.1f\n", Resident().PeakMiB);
        std::fflush(stdout);
    }
    f.Dm->SetModified(false);
    f.mCloseNotSaveClick(&f);
    return 0;
}

int Shot(const QString &out, const QString &program, const QString &folder)
{
    const QString file = folder + "/shot.den";
    MakeDataFile(program, file, {3, 400, 1, 6, 5});
    TFormMain f(QStringList{file}, program);
    f.resize(1000, 650);
    f.Show();
    f.EntryDate = EncodeDate(YearOfToday() - 1, 11, 15);
    f.ShowEntryDate();
    f.CbPer->SetItemIndex(pkMonth);
    f.CbPerClick(f.CbPer);
    f.mpExpandClick(f.mpExpand);
    f.TvCt->SetSelected(f.TvCt->Items().Item(3));
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
    const bool saved = f.grab().save(out);
    std::printf("%s %s\n", saved ? "saved" : "not saved", qPrintable(out));
    std::fflush(stdout);
    if (qEnvironmentVariableIsSet("ZORBEL_SHOT_WAIT"))
        QThread::sleep(qEnvironmentVariableIntValue("ZORBEL_SHOT_WAIT"));
    f.Dm->SetModified(false);
    f.mCloseNotSaveClick(&f);
    return saved ? 0 : 1;
}

// The clicks of one window with the day sums in place.
struct TClicks {
    TFigure Account{"switch the account (month view)", {}, 16, {}};
    TFigure AccountAll{"switch the account (whole period)", {}, 16, {}};
    TFigure Period{"period kind month <-> whole period", {}, 16, {}};
    TFigure Step{"one step of ButPrev (month view)", {}, 16, {}};
    TFigure Balances{"UpdateBalances(true, 0), whole period", {}, 16, {}};
    TFigure Tree{"BuildCategoryTree, 2,000 categories", {}, 50, {}};
    TFigure FirstPaint{"first paint of the ledger", {}, 16, {}};
    TFigure Sums{"day sums: the whole walk in one call", {}, 1000, {}};
    TFigure Kept{"day sums: taken back from the kept file", {}, 1000, {}};
};

// Opens file in a shown window, builds the day sums in one call and times
// every click.
void TimeClicks(const QString &file, const QString &program, int accounts, TClicks &c)
{
    TFormMain f(QStringList{file}, program);
    f.resize(1000, 650);
    f.Show();
    QApplication::processEvents();
    Time(c.FirstPaint, [&] { Paint(f); });
    // What the opening of a saved file spends on its kept day sums: read,
    // checked and adopted.
    for (int i = 0; i < 5; ++i) {
        f.Dm->HistSums.Drop();
        bool taken = false;
        Time(c.Kept, [&] { taken = TSumsStore().Load(f.Dm->HistSums); });
        if (!taken) {
            std::fprintf(stderr, "the kept day sums were not taken back\n");
            std::exit(1);
        }
    }
    f.Dm->HistSums.Drop();
    Time(c.Sums, [&] { f.Dm->HistSums.Build(); });
    if (!f.Dm->HistSums.Ready()) {
        std::fprintf(stderr, "the day sums were not built\n");
        std::exit(1);
    }
    f.EntryDate = EncodeDate(YearOfToday() - 2, 6, 15);
    for (int kind : {pkMonth, pkTotal}) {
        f.CbPer->SetItemIndex(kind);
        f.CbPerClick(f.CbPer);
        for (int round = 0; round < 2; ++round)
            for (int a = 1; a <= accounts; ++a)
                Time(kind == pkMonth ? c.Account : c.AccountAll, [&] {
                    f.Dm->Tb_Account.Locate("Id_Account", Variant(a), {});
                    f.ApplyLedgerPeriod();
                    Paint(f);
                });
    }
    for (int i = 0; i < 10; ++i) {
        for (int kind : {pkMonth, pkTotal})
            Time(c.Period, [&] {
                f.CbPer->SetItemIndex(kind);
                f.CbPerClick(f.CbPer);
                Paint(f);
            });
    }
    for (int i = 0; i < 20; ++i)
        Time(c.Balances, [&] {
            f.UpdateBalances(true, 0);
            f.Sb->repaint();
        });
    f.CbPer->SetItemIndex(pkMonth);
    f.CbPerClick(f.CbPer);
    for (int i = 0; i < 20; ++i)
        Time(c.Step, [&] {
            f.ButPrevClick(f.mPerBefore);
            Paint(f);
        });
    for (int i = 0; i < 10; ++i)
        Time(c.Tree, [&] {
            f.BuildCategoryTree(f.TvCt, false, true, false, true);
            f.TvCt->viewport()->repaint();
        });
    if (qEnvironmentVariableIsSet("ZORBEL_BENCH_PARTS")) {
        QElapsedTimer t;
        const auto part = [&](const char *name, const std::function<void()> &run) {
            t.restart();
            run();
            std::printf("  part %-30s %8.2f ms\n", name, t.nsecsElapsed() / 1e6);
        };
        // With the day sums in place, then without them (a click before
        // the walk has ended answers by the queries).
        for (const bool sums : {true, false}) {
            if (!sums) {
                f.Dm->HistSums.Drop();
                std::printf("  without the day sums:\n");
            }
            for (const int a : {3, 4}) {
                part("account locate", [&] { f.Dm->Tb_Account.Locate("Id_Account", Variant(a), {}); });
                part("apply period", [&] { f.ApplyLedgerPeriod(); });
                part("form repaint", [&] { f.Repaint(); });
                part("range", [&] { f.SetLedgerRange(f.Dm->Tb_Hist); });
                part("balances", [&] { f.UpdateBalances(true, 0); });
                part("record count", [&] { f.Dm->Tb_Hist.RecordCount(); });
                part("find range", [&] { f.SetFindRange(); });
                part("grid paint", [&] { Paint(f); });
                part("grid paint again", [&] { Paint(f); });
            }
        }
    }
    f.Dm->SetModified(false);
    f.mCloseNotSaveClick(&f);
}

// Runs Click from the event loop, as a click of the user's arrives, and
// times it from the moment it is sent: work the loop runs first (a slice of
// the day sums) is part of the wait.
void TimeThroughLoop(TFigure &Fig, const std::function<void()> &Click)
{
    QEventLoop loop;
    QElapsedTimer t;
    double cpu = 0;
    QTimer::singleShot(0, &loop, [&] {
        cpu = CpuMs();
        Click();
        Fig.Ms.push_back(t.nsecsElapsed() / 1e6);
        Fig.Cpu.push_back(CpuMs() - cpu);
        loop.quit();
    });
    t.start();
    loop.exec();
}

// The waits after opening, in fresh windows: the first click at once after
// the paint, one while the day sums are walked, and the time from the paint
// until they are ready.
struct TFirstClicks {
    TFigure AtOnce{"first click at once after the paint", {}, 16, {}};
    TFigure DuringWalk{"a click while the day sums are walked", {}, 16, {}};
    TFigure Walk{"paint to day sums ready (in slices)", {}, 5000, {}};
    int WalkingSeen = 0; // clicks that did fall within the walk
    int ReadyAtPaint = 0; // windows whose day sums were in place when painted
};

// With dataHome, each round opens the file as new to the user: the data
// folder (its list of checked contents and kept day sums) is dataHome,
// emptied before the round.
void TimeFirstClicks(const QString &file, const QString &program, int accounts, int rounds, TFirstClicks &c,
                     const QString &dataHome = QString())
{
    const QByteArray ownHome = qgetenv("XDG_DATA_HOME");
    for (int round = 0; round < rounds; ++round) {
        if (!dataHome.isEmpty()) {
            QDir(dataHome + "/zorbel").removeRecursively();
            qputenv("XDG_DATA_HOME", dataHome.toUtf8());
        }
        TFormMain f(QStringList{file}, program);
        f.resize(1000, 650);
        f.Show();
        QApplication::processEvents();
        Paint(f);
        QElapsedTimer sincePaint;
        sincePaint.start();
        const bool readyAtPaint = f.Dm->HistSums.Ready();
        c.ReadyAtPaint += readyAtPaint ? 1 : 0;
        const auto click = [&](int a) {
            f.Dm->Tb_Account.Locate("Id_Account", Variant(1 + a % accounts), {});
            f.ApplyLedgerPeriod();
            Paint(f);
        };
        TimeThroughLoop(c.AtOnce, [&] { click(round + 1); });
        // Past the delay before the first slice, into the walk.
        while (sincePaint.elapsed() < 130 + 10 * round)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        const bool walking = f.Dm->HistSums.Building();
        TimeThroughLoop(c.DuringWalk, [&] { click(round + 2); });
        c.WalkingSeen += walking ? 1 : 0;
        while (!f.Dm->HistSums.Ready() && sincePaint.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        c.Walk.Ms.push_back(readyAtPaint ? 0.0 : double(sincePaint.elapsed()));
        c.Walk.Cpu.push_back(0);
        if (!f.Dm->HistSums.Ready()) {
            std::fprintf(stderr, "the window did not build the day sums\n");
            std::exit(1);
        }
        f.Dm->SetModified(false);
        f.mCloseNotSaveClick(&f);
        qputenv("XDG_DATA_HOME", ownHome);
    }
}

// Opens file in a shown window and lets it walk the day sums to the end, so
// that known contents keep them for the next opening; false when none are kept.
bool KeepDaySums(const QString &file, const QString &program)
{
    TFormMain f(QStringList{file}, program);
    f.resize(1000, 650);
    f.Show();
    QElapsedTimer t;
    t.start();
    while (!f.Dm->HistSums.Ready() && t.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    QApplication::processEvents();
    f.Dm->SetModified(false);
    f.mCloseNotSaveClick(&f);
    return !QDir(TSumsStore::DefaultFolder()).entryList({"*.sums"}, QDir::Files).isEmpty();
}

// A child's start-up: process start to painted, in ms.
double StartChild(const QString &file, const QString &program, const QString &dataHome)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!dataHome.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dataHome);
        child.setProcessEnvironment(env);
    }
    QElapsedTimer t;
    t.start();
    child.start(QCoreApplication::applicationFilePath(), {"--child", file, program});
    child.waitForReadyRead(120000);
    const double ms = t.nsecsElapsed() / 1e6;
    const QByteArray line = child.readAllStandardOutput();
    child.waitForFinished(60000);
    if (!line.startsWith("painted")) {
        std::fprintf(stderr, "start-up child failed: %s\n", line.constData());
        std::exit(1);
    }
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    const QStringList args = [&] {
        QStringList a;
        for (int i = 1; i < argc; ++i)
            a << QString::fromLocal8Bit(argv[i]);
        return a;
    }();
    const bool shot = args.value(0) == "--shot";
    if (!shot && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (args.value(0) == "--child") {
        QApplication app(argc, argv);
        return StartupChild(args.value(1), args.value(2));
    }

    // A private home: settings, work folder and program folder of our own.
    QTemporaryDir home;
    for (const char *v : {"TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        qputenv(v, home.path().toUtf8());
    const QString program = home.path() + "/program";
    QDir().mkpath(program);
    QApplication app(argc, argv);
    if (shot)
        return Shot(args.value(1), program, home.path());
    // A data set of its own home (a window remembers the last data set of
    // its home): "--make FILE OPERATIONS".
    if (args.value(0) == "--make") {
        MakeDataFile(program, args.value(1), TSize{10, args.value(2).toInt(), 5, 40, 49});
        return 0;
    }

    // 40 groups + 1,960 items = 2,000 categories; the operations from the
    // first argument (100,000 by default), the reference 10,000.
    const TSize size{10, OperationCount(argc, argv, 100000), 5, 40, 49};
    const int smallCount = qEnvironmentVariableIsSet("ZORBEL_BENCH_SMALL")
                               ? qEnvironmentVariableIntValue("ZORBEL_BENCH_SMALL")
                               : 10000;
    const TSize smallSize{10, smallCount, 5, 40, 49};
    // ZORBEL_BENCH_FILE names a data file kept between runs (built when missing).
    const QString kept = qEnvironmentVariable("ZORBEL_BENCH_FILE");
    const QString file = kept.isEmpty() ? home.path() + "/big.den" : kept;
    const QString smallFile = home.path() + "/small.den";
    QElapsedTimer t;
    t.start();
    const bool built = kept.isEmpty() || !QFileInfo::exists(file);
    if (built)
        MakeDataFile(program, file, size);
    std::printf("data set: %d operations, %d accounts, %d categories, built in %.0f ms, file %lld bytes\n",
                size.Operations, size.Accounts, size.Groups * (1 + size.ItemsPerGroup), t.nsecsElapsed() / 1e6,
                QFileInfo(file).size());
    {
        QProcess maker;
        maker.setProcessChannelMode(QProcess::ForwardedChannels);
        maker.start(QCoreApplication::applicationFilePath(),
                    {"--make", smallFile, QString::number(smallSize.Operations)});
        if (!maker.waitForFinished(600000) || maker.exitCode() != 0 || !QFileInfo::exists(smallFile)) {
            std::fprintf(stderr, "the reference data set was not made\n");
            return 1;
        }
    }
    std::printf("reference data set: %d operations, file %lld bytes\n", smallSize.Operations,
                QFileInfo(smallFile).size());

    // Each file is opened and saved once by this home's program, as a user's
    // own file is after its first session: a file written by another run (an
    // earlier one, or the reference's maker) becomes known to this program,
    // and what the first opening writes (the default account's mark, which
    // raw inserts leave out) is saved, so later openings write nothing and
    // their day sums can be kept.
    for (const QString &f : {file, smallFile}) {
        TFormMain own(QStringList{f}, program);
        own.Dm->SetModified(true);
        own.mSaveClick(&own);
        own.mCloseNotSaveClick(&own);
    }

    // libdeflate's unpack of the same database: the large file's entries
    // packed at level 1 in the reference archive, inflated, checked and
    // written in process.
    const QString unpacked = home.path() + "/unpacked", refArchive = home.path() + "/ref.pack",
                  refOut = home.path() + "/refout";
    QDir().mkpath(unpacked);
    QDir().mkpath(refOut);
    {
        TDataZip zip;
        zip.ReadDirectory(file);
        int skipped = 0;
        if (zip.ExtractAll(unpacked, skipped) <= 0 || skipped) {
            std::fprintf(stderr, "the data file does not unpack\n");
            return 1;
        }
    }
    QStringList entries;
    for (const QFileInfo &fi : QDir(unpacked).entryInfoList(QDir::Files, QDir::Name))
        entries << fi.absoluteFilePath();
    const TCodec libdeflate = LibdeflateCodec();
    ReferencePack(libdeflate, entries, refArchive);

    // The files this user's program saved hold sums kept from a session
    // whose walk ended, as a user's own files do after their first session.
    if (!KeepDaySums(file, program) || !KeepDaySums(smallFile, program)) {
        std::fprintf(stderr, "the day sums of the saved files were not kept\n");
        return 1;
    }
    // ZORBEL_BENCH_CLICKS=1: the large data set's clicks alone (for a profiler),
    // once the saved files' day sums are kept, which the clicks take back.
    if (qEnvironmentVariableIsSet("ZORBEL_BENCH_CLICKS")) {
        TClicks only;
        for (int i = 0; i < 5; ++i)
            TimeClicks(file, program, size.Accounts, only);
        for (const TFigure *fig : {&only.Account, &only.AccountAll, &only.Period, &only.Step})
            Print(*fig);
        return 0;
    }

    // Start-up of the large file this user's program saved; of the same file
    // new to the user (another home whose list of checked contents is
    // emptied before each run: every row and page is checked); of it
    // received, opened once before in a third home (it passed the whole
    // check then, so it opens like a saved one); and of the small file,
    // beside libdeflate's unpack, round after round.
    const QString stranger = home.path() + "/stranger";
    const QString receiver = home.path() + "/receiver";
    QDir().mkpath(stranger);
    QDir().mkpath(receiver);
    TFigure startup{"start-up to ledger and trees painted", {}, 500, {}};
    TFigure startupNew{"start-up, file new to this user", {}, 500, {}};
    TFigure startupReceived{"start-up, received file opened before", {}, 500, {}};
    TFigure startupSmall{"start-up of the reference data set", {}, 500, {}};
    TFigure unpack{"libdeflate: unpack the same database", {}, 500, {}};
    TFigure startupRef{"reference: libdeflate unpack + small start-up", {}, 500, {}};
    StartChild(file, program, receiver); // primes the receiver's list
    if (!QFileInfo::exists(receiver + "/zorbel/checked")) {
        std::fprintf(stderr, "the received file was not remembered\n");
        return 1;
    }
    for (int i = 0; i < 5; ++i) {
        startup.Ms.push_back(StartChild(file, program, {}));
        QFile::remove(stranger + "/zorbel/checked");
        startupNew.Ms.push_back(StartChild(file, program, stranger));
        startupReceived.Ms.push_back(StartChild(file, program, receiver));
        startupSmall.Ms.push_back(StartChild(smallFile, program, {}));
        Time(unpack, [&] { ReferenceUnpack(libdeflate, refArchive, refOut); });
    }
    for (TFigure *fig : {&startup, &startupNew, &startupReceived, &startupSmall})
        fig->Cpu.assign(fig->Ms.size(), 0);
    for (size_t i = 0; i < unpack.Ms.size(); ++i) {
        startupRef.Ms.push_back(unpack.Ms[i] + startupSmall.Ms[i]);
        startupRef.Cpu.push_back(0);
    }

    // The program's peak memory over a session's walk (the parent built the
    // data set and holds more).
    double peak = 0;
    {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZORBEL_BENCH_SESSION", "1");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--child", file, program});
        child.waitForFinished(300000);
        for (const QByteArray &line : child.readAllStandardOutput().split('\n'))
            if (line.startsWith("peak "))
                peak = line.mid(5).toDouble();
    }

    TFirstClicks first, firstNew, firstSmall;
    TimeFirstClicks(file, program, size.Accounts, 5, first);
    TimeFirstClicks(file, program, size.Accounts, 5, firstNew, stranger);
    TimeFirstClicks(smallFile, program, smallSize.Accounts, 5, firstSmall);
    TClicks big, small;
    TimeClicks(smallFile, program, smallSize.Accounts, small);
    TimeClicks(file, program, size.Accounts, big);

    std::printf("%-44s %9s %9s %9s %9s %7s\n", "figure", "min ms", "median ms", "worst ms", "cpu ms", "target");
    std::printf("%-44s %9.1f MiB (target 150)\n", "peak memory of the program, session walk", peak);
    std::printf("start-up: the large saved file against libdeflate's unpack + the reference's start-up\n");
    Print(startup, &startupRef, 1.5);
    Print(startupNew, &startupRef, 1e9);
    Print(startupReceived, &startupRef, 1.5);
    Print(startupSmall);
    Print(unpack);
    Print(startupRef);
    std::printf("%d operations, the file this user saved: first clicks against a click with the day sums in "
                "place (%d of %d fell in the walk, %d ready at the paint)\n",
                size.Operations, first.WalkingSeen, int(first.DuringWalk.Ms.size()), first.ReadyAtPaint);
    Print(first.AtOnce, &big.Account, 1.3);
    Print(first.DuringWalk, &big.Account, 1.3);
    Print(first.Walk);
    std::printf("%d operations, the same file new to the user: first clicks against the same click (%d of %d fell "
                "in the walk, %d ready at the paint)\n",
                size.Operations, firstNew.WalkingSeen, int(firstNew.DuringWalk.Ms.size()), firstNew.ReadyAtPaint);
    Print(firstNew.AtOnce, &big.Account, 1e9);
    Print(firstNew.DuringWalk, &big.Account, 1e9);
    Print(firstNew.Walk);
    std::printf("%d operations: first clicks (%d of %d fell in the walk, %d ready at the paint)\n",
                smallSize.Operations, firstSmall.WalkingSeen, int(firstSmall.DuringWalk.Ms.size()),
                firstSmall.ReadyAtPaint);
    Print(firstSmall.AtOnce, &small.Account, 1.3);
    Print(firstSmall.DuringWalk, &small.Account, 1.3);
    Print(firstSmall.Walk);
    std::printf("%d operations, clicks against the same at %d operations\n", size.Operations, smallSize.Operations);
    Print(big.FirstPaint, &small.FirstPaint, 1.3);
    Print(big.Account, &small.Account, 1.3);
    Print(big.AccountAll, &small.AccountAll, 1.3);
    Print(big.Period, &small.Period, 1.3);
    Print(big.Step, &small.Step, 1.3);
    Print(big.Balances, &small.Balances, 1.3);
    Print(big.Tree, &small.Tree, 1.3);
    Print(big.Sums, &small.Sums, 1e9);
    Print(big.Kept, &small.Kept, 1e9);
    std::printf("%d operations\n", smallSize.Operations);
    for (const TFigure *fig : {&small.FirstPaint, &small.Account, &small.AccountAll, &small.Period, &small.Step,
                               &small.Balances, &small.Tree, &small.Sums, &small.Kept})
        Print(*fig);
    return 0;
}
