// The whole life of a data file through one component, as the main window
// drives its single instance: save the work folder with a password, open it
// again with a wrong and then the right password through OnBadPassword,
// unpack over the existing work files, repack after a change, change the
// password, and unpack a template held in memory. The component is reset
// between uses exactly as the window resets it.
#include "archive/ZipWriter.h"

#include "archive/TestCorpus.h"
#include "archive/ZipTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <map>

using namespace zorbel;
using namespace zorbel::test;

namespace {

class DataFileCycleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp_.isValid());
        work_ = tmp_.filePath("work");
        QDir().mkpath(work_);
        // The instance's stored settings.
        vzp_.SetOverwriteMode(TUZOverwriteMode::Always);
        vzp_.SetDoAll(true);
        vzp_.SetDoProcessMessages(false);
        vzp_.SetRetainAttributes(false);
        vzp_.SetPackLevel(1);
        vzp_.SetZipAction(TZipAction::zaReplace);
        vzp_.SetExcludeList({"*.lck", "*.ini"});
        vzp_.SetRootDir(work_);
        vzp_.SetDestDir(work_);
        // The window's handler: a notice for the first entry only, and the
        // password forgotten; the new password is left as it is unless the
        // test supplies one.
        vzp_.OnBadPassword = [this](TZipReader *, int FileIndex, QString &NewPassword) {
            badCalls_.push_back({FileIndex, NewPassword});
            if (FileIndex <= 0)
                ++notices_;
            if (!retryWith_.isEmpty()) {
                NewPassword = retryWith_;
                retryWith_.clear();
            }
        };
    }

    void ResetZipper()
    {
        vzp_.SetZipName(QString());
        vzp_.CloseArchive();
        vzp_.SetKeepZipOpen(false);
        vzp_.SetDoProcessMessages(false);
        vzp_.SetPassword(QString());
        vzp_.FilesList().Clear();
    }

    // Saving: a fresh name, "*" and the data-file password.
    int Save(const QString &name, const QString &password)
    {
        ResetZipper();
        vzp_.SetZipName(name);
        vzp_.FilesList().Add("*");
        vzp_.SetPassword(password);
        const int n = vzp_.CompressFiles();
        ResetZipper();
        return n;
    }

    // Opening: read the directory, ask for the password when entry 0 is
    // encrypted, unpack into the work folder.
    int Open(const QString &name, const QString &typed)
    {
        ResetZipper();
        vzp_.SetZipName(name);
        vzp_.ReadDirectory();
        if (vzp_.IsEntryEncrypted(0))
            vzp_.SetPassword(typed);
        const int n = vzp_.ExtractFiles();
        ResetZipper();
        return n;
    }

    void MakeFile(const QString &name, const Bytes &data) { WriteFile(work_ + "/" + name, data); }

    std::map<QString, Bytes> WorkFiles() const
    {
        std::map<QString, Bytes> files;
        for (const QString &name : QDir(work_).entryList(QDir::Files))
            files[name] = ReadFile(work_ + "/" + name);
        return files;
    }

    QTemporaryDir tmp_;
    QString work_;
    TZipWriter vzp_;
    std::vector<std::pair<int, QString>> badCalls_;
    int notices_ = 0;
    QString retryWith_;
};

TEST_F(DataFileCycleTest, SaveOpenRepackAndChangePassword)
{
    MakeFile("TB_ACCOUNT.db", SqliteFixture());
    MakeFile("TB_HIST.db", TextBytes(70000, 5));
    MakeFile("Счета.txt", CyrillicBytes(20000, 6));
    MakeFile("empty.dat", {});
    MakeFile("PDOXUSRS.LCK", {'l'});
    MakeFile("Zorbel.ini", {'[', ']'});
    const QString data = tmp_.filePath("Семья.den");
    const QString password = "Пароль";

    ASSERT_EQ(Save(data, password), 4);
    auto saved = WorkFiles();
    saved.erase("PDOXUSRS.LCK");
    saved.erase("Zorbel.ini");
    QString output;
    EXPECT_TRUE(UnzipRefusesPassword(data, "wrong", tmp_.path(), &output, {"empty.dat"})) << output.toStdString();

    // The work folder holds other data when the file is opened.
    MakeFile("TB_ACCOUNT.db", SampleRandom(500, 9));
    MakeFile("TB_HIST.db", {'x'});

    // A wrong password: every entry fails its check, each is offered to the
    // handler with the password typed, nothing is written.
    // The cipher checks one byte of its header, so a wrong password passes
    // that check for about one entry in 256; only the empty entry then has no
    // data to fail on. Every other entry is offered to the handler.
    const int wrongOpened = Open(data, "пароль");
    EXPECT_LE(wrongOpened, 1);
    ASSERT_EQ(badCalls_.size() + size_t(wrongOpened), 4u);
    for (size_t i = 0; i < badCalls_.size(); ++i) {
        EXPECT_TRUE(i == 0 || badCalls_[i].first > badCalls_[i - 1].first);
        EXPECT_EQ(badCalls_[i].second, "пароль");
    }
    EXPECT_EQ(notices_, 1);
    EXPECT_EQ(ReadFile(work_ + "/TB_HIST.db"), Bytes{'x'});

    // The right password supplied by the handler at the first entry.
    badCalls_.clear();
    retryWith_ = password;
    EXPECT_EQ(Open(data, "wrong"), 4);
    EXPECT_EQ(badCalls_.size(), 1u);
    for (const auto &[name, bytes] : saved)
        EXPECT_EQ(ReadFile(work_ + "/" + name), bytes) << name.toStdString();
    EXPECT_EQ(vzp_.Password(), QString());

    // Re-zipping the existing file after a change: same entries in the same
    // order, the changed one with its new data.
    MakeFile("TB_HIST.db", TextBytes(90000, 7));
    saved["TB_HIST.db"] = ReadFile(work_ + "/TB_HIST.db");
    vzp_.SetZipName(data);
    vzp_.ReadDirectory();
    QStringList order;
    for (int i = 0; i < vzp_.Count(); ++i)
        order << vzp_.GetFilename(i);
    ResetZipper();
    EXPECT_EQ(Save(data, password), 4);
    vzp_.SetZipName(data);
    vzp_.ReadDirectory();
    QStringList after;
    for (int i = 0; i < vzp_.Count(); ++i) {
        after << vzp_.GetFilename(i);
        EXPECT_TRUE(vzp_.IsEntryEncrypted(i));
        EXPECT_EQ(vzp_.Entry(i).VersionNeeded, 20);
        EXPECT_EQ(vzp_.Entry(i).VersionMadeBy, 20);
    }
    EXPECT_EQ(after, order);
    ResetZipper();
    EXPECT_TRUE(UnzipRefusesPassword(data, "wrong", tmp_.path(), &output, {"empty.dat"})) << output.toStdString();

    // Unpacked into a clean folder it is the work folder byte for byte.
    const QString check = tmp_.filePath("check");
    vzp_.SetDestDir(check);
    badCalls_.clear();
    EXPECT_EQ(Open(data, password), 4);
    EXPECT_TRUE(badCalls_.empty());
    for (const auto &[name, bytes] : saved)
        EXPECT_EQ(ReadFile(check + "/" + name), bytes) << name.toStdString();
    EXPECT_FALSE(QFileInfo::exists(check + "/Zorbel.ini"));

    // Changing the password: saved anew to a fresh name, then put in place.
    const QString fresh = tmp_.filePath("Z0001.tmp");
    EXPECT_EQ(Save(fresh, "new"), 4);
    ASSERT_TRUE(QFile::remove(data));
    ASSERT_TRUE(QFile::rename(fresh, data));
    EXPECT_EQ(RunTool("unzip", {"-t", "-P", "new", data}, tmp_.path(), &output), 0) << output.toStdString();
    QDir(check).removeRecursively();
    badCalls_.clear();
    const int oldOpened = Open(data, password); // at most the empty entry, as above
    EXPECT_LE(oldOpened, 1);
    EXPECT_EQ(badCalls_.size() + size_t(oldOpened), 4u);
    EXPECT_EQ(Open(data, "new"), 4);
    for (const auto &[name, bytes] : saved)
        EXPECT_EQ(ReadFile(check + "/" + name), bytes) << name.toStdString();

    // No password: nothing is encrypted and no password is asked.
    EXPECT_EQ(Save(fresh, QString()), 4);
    vzp_.SetZipName(fresh);
    vzp_.ReadDirectory();
    EXPECT_FALSE(vzp_.IsEntryEncrypted(0));
    ResetZipper();
    EXPECT_TRUE(QDir(tmp_.path()).entryList({"KPZ*"}, QDir::Files).isEmpty());
}

TEST_F(DataFileCycleTest, TemplateFromMemoryOverExistingFiles)
{
    MakeFile("TB_ACCOUNT.db", SqliteFixture());
    MakeFile("TB_PERSON.db", TextBytes(3000, 2));
    const QString tpl = tmp_.filePath("template.zip");
    ASSERT_EQ(Save(tpl, QString()), 2);
    const auto saved = WorkFiles();
    MakeFile("TB_ACCOUNT.db", {'o', 'l', 'd'});
    QDir(work_).remove("TB_PERSON.db");

    QFile f(tpl);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    auto *stream = new TMemoryStream;
    vzp_.SetSourceStream(stream);
    stream->WriteBuffer(bytes.constData(), bytes.size());
    EXPECT_EQ(vzp_.ExtractFiles(), 2);
    // The caller frees the stream, then lets go of it.
    delete stream;
    vzp_.SetSourceStream(nullptr);
    ResetZipper();
    EXPECT_EQ(WorkFiles(), saved);
}

} // namespace
