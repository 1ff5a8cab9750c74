// The data file with 100,000 operations: save (pack the work folder at level
// 1) and open (unpack, then open the tables), beside Info-ZIP's zip -1 and
// unzip of the same folder in the same run. Best of five runs each.
#include "core/ZorbDm.h"
#include "core/ZorbFile.h"
#include "platform/rtl/DateTime.h"

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

using namespace zorbel;

namespace {

constexpr int Rows = 100000;
constexpr int Runs = 5;

void Check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// Adds Rows operations to the data set in folder (template tables).
void FillOperations(TDm &dm)
{
    sqlite3 *raw = dm.Db.Db().Handle();
    Check(sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr), raw);
    sqlite3_stmt *st = nullptr;
    Check(sqlite3_prepare_v2(raw,
                             "INSERT INTO Tb_Hist (Id_Account,Date_Real,Date_Create,Kind,Dt,Ct,Level1,Level2,"
                             "Price,Comment,Rate,Yr,Mn) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)",
                             -1, &st, nullptr),
          raw);
    const double day0 = EncodeDate(2020, 1, 1);
    for (int n = 0; n < Rows; ++n) {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        const int day = int(day0) + (n * 7919) % 1827;
        sqlite3_bind_int(st, 1, 1 + n % 3);
        sqlite3_bind_int(st, 2, day);
        sqlite3_bind_double(st, 3, std::round((day0 + n / 86400.0) * 86400000.0) / 86400000.0);
        sqlite3_bind_text(st, 4, n % 10 == 0 ? "2" : "1", 1, SQLITE_STATIC);
        if (n % 3 == 0)
            sqlite3_bind_double(st, 5, 100 + n % 1000);
        else
            sqlite3_bind_double(st, 6, 10 + (n * 31) % 500 + (n % 100) / 100.0);
        sqlite3_bind_int(st, 7, n % 5);
        sqlite3_bind_int(st, 8, 10 + n % 7);
        sqlite3_bind_double(st, 9, 12.5 + n % 17);
        sqlite3_bind_text(st, 10, n % 4 ? "Хлеб и молоко" : "Бензин", -1, SQLITE_STATIC);
        sqlite3_bind_double(st, 11, 1.0);
        sqlite3_bind_int(st, 12, 2020 + (day - int(day0)) / 366);
        sqlite3_bind_int(st, 13, 1 + n % 12);
        Check(sqlite3_step(st), raw);
    }
    sqlite3_finalize(st);
    Check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), raw);
}

double BestOf(const std::function<void()> &run)
{
    double best = 1e30;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        best = std::min(best, double(t.nsecsElapsed()) / 1e6);
    }
    return best;
}

bool Tool(const QString &program, const QStringList &args, const QString &folder)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, args);
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

qint64 FolderSize(const QString &folder)
{
    qint64 size = 0;
    for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files))
        size += f.size();
    return size;
}

void Report(const char *what, double ours, double ref)
{
    std::printf("%-28s %10.1f ms %10.1f ms %7.2fx   target <= 1.20x\n", what, ours, ref, ref > 0 ? ours / ref : 0.0);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString work = dir.filePath(QStringLiteral("work"));
    const QString open = dir.filePath(QStringLiteral("open"));
    const QString info = dir.filePath(QStringLiteral("info"));
    for (const QString &f : {work, open, info})
        QDir().mkpath(f);

    TDataZip zip;
    if (zip.ExtractTemplate(work) <= 0) {
        std::fprintf(stderr, "no template data set\n");
        return 1;
    }
    {
        TDm dm;
        dm.Db.SetParams({QStringLiteral("PATH=") + work});
        if (!dm.OpenDataSet({}).Opened) {
            std::fprintf(stderr, "template does not open\n");
            return 1;
        }
        dm.Tb_Hist.Close();
        FillOperations(dm);
        dm.CloseDataSet();
    }
    const QString archive = dir.filePath(QStringLiteral("data.den"));
    const QString infoArchive = dir.filePath(QStringLiteral("info.zip"));

    const double save = BestOf([&] {
        if (zip.PackFolder(work, archive, QString()) <= 0)
            std::exit(2);
    });
    const double zipSave = BestOf([&] {
        QFile::remove(infoArchive);
        if (!Tool(QStringLiteral("zip"), {QStringLiteral("-1"), QStringLiteral("-q"), QStringLiteral("-r"),
                                          infoArchive, QStringLiteral(".")},
                  work))
            std::exit(3);
    });
    int rows = 0;
    const double openTime = BestOf([&] {
        QDir(open).removeRecursively();
        QDir().mkpath(open);
        zip.Reset();
        zip.ReadDirectory(archive);
        int skipped = 0;
        if (zip.ExtractAll(open, skipped) <= 0 || skipped)
            std::exit(4);
        zip.Reset();
        TDm dm;
        dm.Db.SetParams({QStringLiteral("PATH=") + open});
        if (!dm.OpenDataSet({}).Opened)
            std::exit(5);
        rows = dm.Tb_Hist.RecordCount();
        dm.CloseDataSet();
    });
    const double unzipOpen = BestOf([&] {
        QDir(info).removeRecursively();
        QDir().mkpath(info);
        if (!Tool(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("-o"), infoArchive,
                                            QStringLiteral("-d"), info},
                  dir.path()))
            std::exit(6);
    });

    std::printf("data set: %d operations, %lld bytes in the work folder\n", rows,
                static_cast<long long>(FolderSize(work)));
    std::printf("data file size: ours %lld bytes, zip -1 %lld bytes\n",
                static_cast<long long>(QFileInfo(archive).size()), static_cast<long long>(QFileInfo(infoArchive).size()));
    std::printf("%-28s %13s %13s %8s\n", "", "Zorbel", "Info-ZIP", "ratio");
    Report("save (pack, level 1)", save, zipSave);
    Report("open (unpack + tables)", openTime, unzipOpen);
    return 0;
}
