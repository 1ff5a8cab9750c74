// The data file with 100,000 operations (or the number given as the first
// argument), saved and opened as the program does, beside zlib and libdeflate
// doing the same compression work in the same process on the same files (no
// process start-up, no temporary files of other tools). Save: our pack of the
// work folder at level 1 with a password (as a protected data set is saved)
// and without one; the references read each file, compute its CRC-32, deflate
// it at level 1 and write it to one output file. Open: our extraction of that
// data file, timed apart from opening the tables; the references read their
// output back, inflate each file, check its CRC and write it. "libdeflate +
// cipher" does the steps of a protected data file: its pack encrypts the
// deflated bytes with the zip cipher (TZipKeys) and its unpack decrypts them
// before inflating, as ours does; "zlib + cipher, two threads" decrypts on a
// second thread while zlib inflates what is ready, as our extraction splits
// the work. Contenders run interleaved, round after round; the figures are
// the minimum and the median.
#include "archive/ZipCrc.h"
#include "archive/ZipDigest.h"
#include "archive/ZipReader.h"
#include "platform/rtl/CodePages.h"
#include "core/ZorbDm.h"
#include "core/ZorbFile.h"
#include "platform/rtl/DateTime.h"

#include "BenchSize.h"
#include "BenchTiming.h"
#include "RefPack.h"

#include <libdeflate.h>
#include <sqlite3.h>
#include <zlib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

using namespace zorbel;
using namespace zorbel::bench;

namespace {

int Rows = 100000; // or the first argument
constexpr int Rounds = 7;
const QString Password = QStringLiteral("Пароль7");

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

void EmptyFolder(const QString &folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

qint64 FolderSize(const QString &folder)
{
    qint64 size = 0;
    for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files))
        size += f.size();
    return size;
}

void Report(const char *what, const TContender &c, double reference)
{
    std::printf("%-30s %9.1f ms %9.1f ms %8.2fx\n", what, c.Min() * 1e3, c.Median() * 1e3, c.Median() / reference);
}

} // namespace

int main(int argc, char *argv[])
{
    Rows = OperationCount(argc, argv, Rows);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString work = dir.filePath(QStringLiteral("work"));
    const QString open = dir.filePath(QStringLiteral("open"));
    const QString viaZlib = dir.filePath(QStringLiteral("zlib"));
    const QString viaLibdeflate = dir.filePath(QStringLiteral("libdeflate"));
    const QString viaCipher = dir.filePath(QStringLiteral("cipher"));
    for (const QString &f : {work, open, viaZlib, viaLibdeflate, viaCipher})
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
    const QString plainArchive = dir.filePath(QStringLiteral("plain.den"));
    const QString zlibArchive = dir.filePath(QStringLiteral("zlib.pack"));
    const QString libdeflateArchive = dir.filePath(QStringLiteral("libdeflate.pack"));
    const QString cipherArchive = dir.filePath(QStringLiteral("cipher.pack"));
    // The files a save packs (the program leaves out the lock and settings files).
    QStringList files;
    for (const QFileInfo &f : QDir(work).entryInfoList(QDir::Files, QDir::Name))
        if (!f.fileName().endsWith(QLatin1String(".lck"), Qt::CaseInsensitive)
            && !f.fileName().endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
            files << f.absoluteFilePath();
    const TCodec zlib = ZlibCodec();
    const TCodec libdeflate = LibdeflateCodec();

    std::vector<TContender> saves{
        {"ours, with a password",
         [&] {
             if (zip.PackFolder(work, archive, Password) <= 0)
                 std::exit(2);
         }, {}},
        {"ours, without a password",
         [&] {
             if (zip.PackFolder(work, plainArchive, QString()) <= 0)
                 std::exit(2);
         }, {}},
        {"zlib", [&] { ReferencePack(zlib, files, zlibArchive); }, {}},
        {"libdeflate", [&] { ReferencePack(libdeflate, files, libdeflateArchive); }, {}},
        {"libdeflate + cipher", [&] { ReferencePack(libdeflate, files, cipherArchive, Password); }, {}}};
    RunInterleaved(saves, Rounds);

    // Our extraction of the data file (and of the one saved without a password).
    const auto extract = [&](const QString &file, const QString &password) {
        EmptyFolder(open);
        zip.Reset();
        zip.ReadDirectory(file);
        zip.SetPassword(password);
        int skipped = 0;
        if (zip.ExtractAll(open, skipped) != files.size() || skipped)
            std::exit(4);
        zip.Reset();
    };
    // The same extraction without the SHA-256 that names the contents in the
    // list of checked contents (a reader set up as TDataZip's, digest off).
    const auto extractNoDigest = [&](const QString &file) {
        EmptyFolder(open);
        TZipReader reader;
        reader.SetOverwriteMode(TUZOverwriteMode::Always);
        reader.SetDoProcessMessages(false);
        reader.SetRetainAttributes(false);
        reader.SetDigestOutput(false);
        reader.SetZipName(file);
        reader.SetDestDir(open);
        reader.SetDoAll(true);
        if (reader.ExtractFiles() != files.size())
            std::exit(4);
    };
    std::vector<TContender> extractions{
        {"ours, with a password", [&] { extract(archive, Password); }, {}},
        {"ours, without a password", [&] { extract(plainArchive, QString()); }, {}},
        {"ours, no password, no digest", [&] { extractNoDigest(plainArchive); }, {}},
        {"zlib",
         [&] {
             EmptyFolder(viaZlib);
             ReferenceUnpack(zlib, zlibArchive, viaZlib);
         }, {}},
        {"libdeflate",
         [&] {
             EmptyFolder(viaLibdeflate);
             ReferenceUnpack(libdeflate, libdeflateArchive, viaLibdeflate);
         }, {}},
        {"libdeflate + cipher",
         [&] {
             EmptyFolder(viaCipher);
             ReferenceUnpack(libdeflate, cipherArchive, viaCipher, Password);
         }, {}},
        {"zlib + cipher, two threads",
         [&] {
             EmptyFolder(viaCipher);
             ReferenceUnpack(zlib, cipherArchive, viaCipher, Password, TDecrypt::TwoThreads);
         }, {}}};
    RunInterleaved(extractions, Rounds);

    // SHA-256 alone over the unpacked database in memory, on the caller's
    // thread (what naming the contents would cost as a second pass).
    std::vector<uint8_t> database;
    {
        QFile db(QDir(open).filePath(QString::fromLatin1(TDatabase::DatabaseFileName)));
        if (!db.open(QIODevice::ReadOnly))
            std::exit(6);
        const QByteArray bytes = db.readAll();
        database.assign(bytes.begin(), bytes.end());
    }
    std::vector<TContender> digests{
        {"SHA-256 of the database alone", [&] { (void)TDigestAhead::Of(database.data(), database.size()); }, {}}};
    RunInterleaved(digests, Rounds);

    int rows = 0;
    std::vector<TContender> tables{{"open the tables", [&] {
                                        TDm dm;
                                        dm.Db.SetParams({QStringLiteral("PATH=") + open});
                                        if (!dm.OpenDataSet({}).Opened)
                                            std::exit(5);
                                        rows = dm.Tb_Hist.RecordCount();
                                        dm.CloseDataSet();
                                    }, {}}};
    RunInterleaved(tables, Rounds);

    std::printf("data set: %d operations, %d files, %lld bytes in the work folder\n", rows, int(files.size()),
                static_cast<long long>(FolderSize(work)));
    std::printf("data file size: ours %lld bytes (with a password), zlib %lld, libdeflate %lld bytes\n",
                static_cast<long long>(QFileInfo(archive).size()), static_cast<long long>(QFileInfo(zlibArchive).size()),
                static_cast<long long>(QFileInfo(libdeflateArchive).size()));
    std::printf("%d interleaved rounds\n%-30s %12s %12s %9s\n", Rounds, "", "min", "median", "vs zlib");
    std::printf("save (pack at level 1)\n");
    for (const TContender &c : saves)
        Report(c.Name.c_str(), c, saves[2].Median());
    std::printf("open: extraction\n");
    for (const TContender &c : extractions)
        Report(c.Name.c_str(), c, extractions[3].Median());
    std::printf("protected: ours against libdeflate + cipher, medians: save %.2fx, open %.2fx; open against the "
                "two-thread reference (zlib + cipher, decrypting on a second thread as ours does) %.2fx\n",
                saves[0].Median() / saves[4].Median(), extractions[0].Median() / extractions[5].Median(),
                extractions[0].Median() / extractions[6].Median());
    std::printf("digest while unpacking: with/without, medians %.3fx (%.1f ms)\n",
                extractions[1].Median() / extractions[2].Median(),
                (extractions[1].Median() - extractions[2].Median()) * 1e3);
    std::printf("%-30s %9.1f ms %9.1f ms  (%lld bytes)\n", digests[0].Name.c_str(), digests[0].Min() * 1e3,
                digests[0].Median() * 1e3, static_cast<long long>(database.size()));
    std::printf("open: tables (after extraction)\n");
    std::printf("%-30s %9.1f ms %9.1f ms\n", tables[0].Name.c_str(), tables[0].Min() * 1e3,
                tables[0].Median() * 1e3);
    return 0;
}
