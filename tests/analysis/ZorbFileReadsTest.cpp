// Every file the program reads that it did not just write itself, met with
// something else under the file's name: a FIFO (whose open waits for a
// writer), a link to /dev/zero (which reads forever), a link to a FIFO and a
// folder. Each reader must turn it away at once, never open the FIFO, and,
// where a user's action caused the read, say why in Russian.
#include "ImportFixture.h"

#include "analysis/ZorbImp.h"
#include "archive/ZipErrors.h"
#include "core/ZorbFile.h"
#include "core/ZorbKnown.h"
#include "core/ZorbRates.h"
#include "core/ZorbSumsStore.h"
#include "platform/system/Registry.h"
#include "platform/widgets/ModalScript.h"
#include "report/RepPreviewForm.h"
#include "report/RepPrinter.h"

#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zorbel::test {
namespace {

class TNoHost : public TImportHost {
public:
    TDateTime EntryDate() const override { return EncodeDate(2024, 6, 15); }
    void UpdateBalances(bool, int64_t) override {}
    void BuildCategoryTree(bool) override {}
};

// Watches the FIFOs of a test: a reader that opens one (and would wait there
// for good) is let go by a writer that opens and closes it at once, and the
// FIFO is noted. Nothing that refuses FIFOs ever shows up here.
class TFifoWatch {
public:
    TFifoWatch()
        : thread_([this] {
              while (!stop_) {
                  {
                      std::lock_guard lock(mutex_);
                      for (const QByteArray &fifo : fifos_) {
                          // Succeeds only while a reader has the FIFO open.
                          const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
                          struct stat st {};
                          if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode))
                              opened_ << QString::fromUtf8(fifo);
                          if (fd >= 0)
                              ::close(fd);
                      }
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          })
    {
    }
    ~TFifoWatch()
    {
        stop_ = true;
        thread_.join();
    }
    void Add(const QByteArray &fifo)
    {
        std::lock_guard lock(mutex_);
        fifos_ << fifo;
    }
    // Forgets the FIFOs (they are gone) and what was seen of them.
    void Clear()
    {
        std::lock_guard lock(mutex_);
        fifos_.clear();
        opened_.clear();
    }
    QStringList Opened()
    {
        std::lock_guard lock(mutex_);
        return opened_;
    }

private:
    std::mutex mutex_;
    QList<QByteArray> fifos_;
    QStringList opened_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// What may stand under a file's name, and what the user is told of it.
struct THostile {
    const char *Kind;
    const char *Words; // the reason a notice gives
};
const THostile Hostiles[] = {
    // kind                words in the notice
    {"a FIFO", "Это не обычный файл"},
    {"a link to /dev/zero", "Это не обычный файл"},
    {"a link to a FIFO", "Это не обычный файл"},
    {"a folder", "Это папка"},
};

class FileReadsTest : public ::testing::Test {
protected:
    // Puts the hostile kind at path (its folder made first).
    void Plant(const THostile &h, const QString &path)
    {
        const QByteArray native = QFile::encodeName(path);
        QDir().mkpath(QFileInfo(path).absolutePath());
        const std::string kind = h.Kind;
        if (kind == "a FIFO") {
            ASSERT_EQ(::mkfifo(native.constData(), 0600), 0) << path.toStdString();
            watch.Add(native);
        } else if (kind == "a link to /dev/zero") {
            ASSERT_EQ(::symlink("/dev/zero", native.constData()), 0);
        } else if (kind == "a link to a FIFO") {
            const QByteArray fifo = native + ".fifo";
            ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
            watch.Add(fifo);
            ASSERT_EQ(::symlink(fifo.constData(), native.constData()), 0);
        } else {
            ASSERT_TRUE(QDir().mkpath(path));
        }
    }
    QString At(const QString &name) const { return dir.path() + u'/' + name; }

    // The one notice a step shows, answered with OK.
    static QString NoticeOf(const std::function<void()> &step)
    {
        TModalScript script;
        script.Press(QStringLiteral("OK"));
        step();
        EXPECT_EQ(script.Seen().size(), 1u);
        return script.Seen().empty() ? QString() : script.Seen()[0].Text;
    }

    TFifoWatch watch;
    QTemporaryDir dir;
    TImportDataSet data;
    TNoHost host;
};

TEST_F(FileReadsTest, WhatIsNotARegularFileIsRefusedAtOnceWhereverAFileIsRead)
{
    TContentKey key;
    key.Digest.fill(0x5a);
    key.Size = 4096;
    // Each place the program reads a file: the name it reads, and what it
    // does with the hostile kind there.
    struct TReader {
        const char *Name;
        QString File;
        std::function<void(const THostile &, const QString &)> Read;
    };
    const std::vector<TReader> readers = {
        {"the settings", At(QStringLiteral("config/registry.json")),
         [](const THostile &, const QString &file) {
             TRegistry reg(file);
             // The defaults, and the name freed for the settings written at exit.
             EXPECT_FALSE(reg.OpenKey(QStringLiteral("Software\\Ventaro\\Zorbel"), false));
             EXPECT_FALSE(QFileInfo(file).exists() || QFileInfo(file).isSymLink());
             EXPECT_EQ(TRegistry::TakeDamagedCopies().size(), 1);
         }},
        {"the list of checked contents", At(QStringLiteral("data/checked")),
         [&](const THostile &, const QString &file) {
             EXPECT_FALSE(TKnownContents(file).Facts(key).Known);
         }},
        {"the kept day sums", TSumsStore(At(QStringLiteral("sums"))).FileFor(key),
         [&](const THostile &, const QString &) {
             data.Dm.HistSums.NameContents(key);
             EXPECT_FALSE(TSumsStore(At(QStringLiteral("sums"))).Load(data.Dm.HistSums));
         }},
        {"an import file", At(QStringLiteral("bank.csv")),
         [&](const THostile &h, const QString &file) {
             TFormImp form(data.Dm, host);
             bool loaded = true;
             const QString text = NoticeOf([&] { loaded = form.LoadFile(file); });
             EXPECT_FALSE(loaded);
             EXPECT_TRUE(text.startsWith(U("Не удалось прочитать файл ")) && text.contains(U(h.Words)))
                 << text.toStdString();
         }},
        {"a rates text", At(QStringLiteral("rates.txt")),
         [&](const THostile &h, const QString &file) {
             QString error;
             EXPECT_EQ(ImportRatesText(data.Dm, {1}, file, error), 0);
             EXPECT_TRUE(error.startsWith(U("Не удалось прочитать файл ")) && error.contains(U(h.Words)))
                 << error.toStdString();
         }},
        {"a rates table", At(QStringLiteral("rates.dbf")),
         [&](const THostile &h, const QString &file) {
             QString error;
             EXPECT_EQ(ImportRatesDbf(data.Dm, {1}, file, error), 0);
             EXPECT_TRUE(error.contains(U(h.Words))) << error.toStdString();
         }},
        {"a report file opened in the preview", At(QStringLiteral("year.REP")),
         [](const THostile &h, const QString &file) {
             TRepPrinter printer;
             TRepStandardPreview preview(printer);
             bool loaded = true;
             const QString text = NoticeOf([&] { loaded = preview.LoadFile(file); });
             EXPECT_FALSE(loaded);
             EXPECT_TRUE(text.startsWith(U("Не удаётся открыть файл")) && text.contains(U(h.Words)))
                 << text.toStdString();
         }},
        {"the data file", At(QStringLiteral("money.den")),
         [](const THostile &h, const QString &file) {
             const TDataFileState state = DataFileState(file);
             // A folder is no file at all; the others cannot be read.
             EXPECT_EQ(state, std::string(h.Kind) == "a folder" ? TDataFileState::Missing
                                                                : TDataFileState::NotReadable);
             TDataZip zip;
             EXPECT_THROW(zip.ReadDirectory(file), EFOpenError);
         }},
    };
    TRegistry::TakeDamagedCopies();
    for (const TReader &reader : readers)
        for (const THostile &h : Hostiles) {
            SCOPED_TRACE(std::string(reader.Name) + ", " + h.Kind);
            Plant(h, reader.File);
            QElapsedTimer clock;
            clock.start();
            try {
                reader.Read(h, reader.File);
            } catch (const std::exception &e) {
                ADD_FAILURE() << "raised: " << e.what();
            }
            EXPECT_LT(clock.elapsed(), 1000) << "the read waited";
            EXPECT_TRUE(watch.Opened().isEmpty()) << watch.Opened().join(u' ').toStdString();
            // Whatever was planted or set aside goes before the next kind.
            watch.Clear();
            ASSERT_TRUE(QDir(dir.path()).removeRecursively() && QDir().mkpath(dir.path()));
        }
}

} // namespace
} // namespace zorbel::test
