// The single-instance lock between processes, after crashes and in unusable folders.
#include "platform/system/InstanceMutex.h"

#include "ChildProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

using namespace zorbel;

namespace {

const QString Name = QStringLiteral("Ventaro_Zorbel");

class InstanceMutexTest : public testing::Test {
protected:
    // Exit code of a second process asking for the mutex: 1 when it learns
    // that the mutex exists, 0 when it gets it, 2 for anything else.
    int AskInAnotherProcess() const
    {
        return test::RunInChild([this] {
            TInstanceMutex mutex(Name, dir_.path());
            return mutex.AlreadyExists() ? 1 : mutex.Owned() ? 0 : 2;
        });
    }

    QTemporaryDir dir_;
};

} // namespace

TEST_F(InstanceMutexTest, SecondProcessLearnsAtOnceWhileTheFirstRuns)
{
    {
        TInstanceMutex first(Name, dir_.path());
        ASSERT_TRUE(first.Owned());
        EXPECT_FALSE(first.AlreadyExists());

        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(AskInAnotherProcess(), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

        TInstanceMutex second(Name, dir_.path()); // a second holder in this process too
        EXPECT_TRUE(second.AlreadyExists());
        EXPECT_FALSE(second.Owned());
        EXPECT_EQ(AskInAnotherProcess(), 1); // the failed attempt released nothing
    }
    EXPECT_EQ(AskInAnotherProcess(), 0); // released with the object
}

TEST_F(InstanceMutexTest, LockOfACrashedProcessDoesNotBlock)
{
    test::WaitingChild crashed([this] {
        static TInstanceMutex *held = nullptr; // kept until the kill
        held = new TInstanceMutex(Name, dir_.path());
        return held->Owned() ? 'y' : 'n';
    });
    ASSERT_EQ(crashed.Report(), 'y');
    EXPECT_TRUE(TInstanceMutex(Name, dir_.path()).AlreadyExists());

    crashed.Kill();
    EXPECT_TRUE(QFile::exists(dir_.filePath(Name + QStringLiteral(".lock")))); // the stale lock file
    TInstanceMutex next(Name, dir_.path());
    EXPECT_TRUE(next.Owned());
    EXPECT_FALSE(next.AlreadyExists());
}

TEST_F(InstanceMutexTest, ProgramsStartedByTheHolderDoNotKeepIt)
{
    QProcess started; // say, a browser opened from the program, still running after it
    {
        TInstanceMutex mutex(Name, dir_.path());
        ASSERT_TRUE(mutex.Owned());
        started.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(started.waitForStarted());
    }
    EXPECT_EQ(AskInAnotherProcess(), 0);
    started.kill();
    started.waitForFinished();
}

TEST_F(InstanceMutexTest, UnusableFolderRunsUnguarded)
{
    TInstanceMutex mutex(Name, dir_.filePath(QStringLiteral("missing")));
    EXPECT_FALSE(mutex.Owned());
    EXPECT_FALSE(mutex.AlreadyExists());
}

// Copies started with different temporary folders still meet: the lock lives
// in the session folder, else in the configuration folder.
TEST(InstanceMutexFolder, CopiesWithDifferentTemporaryFoldersMeet)
{
    QTemporaryDir home;
    const QByteArray savedTmp = qgetenv("TMPDIR"), savedRuntime = qgetenv("XDG_RUNTIME_DIR"),
                     savedConfig = qgetenv("XDG_CONFIG_HOME");
    QDir(home.path()).mkpath("runtime");
    QFile::setPermissions(home.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(home.path()).mkpath("config");
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    for (const bool session : {true, false}) {
        if (session)
            qputenv("XDG_RUNTIME_DIR", (home.path() + "/runtime").toUtf8());
        else
            qunsetenv("XDG_RUNTIME_DIR");
        EXPECT_TRUE(UserLockFolder().startsWith(home.path() + (session ? "/runtime/" : "/config/")))
            << UserLockFolder().toStdString();
        qputenv("TMPDIR", (home.path() + "/a").toUtf8());
        TInstanceMutex first(Name);
        ASSERT_TRUE(first.Owned());
        qputenv("TMPDIR", (home.path() + "/b").toUtf8());
        TInstanceMutex second(Name);
        EXPECT_TRUE(second.AlreadyExists());
    }
    for (const auto &[name, value] : {std::pair{"TMPDIR", savedTmp}, std::pair{"XDG_RUNTIME_DIR", savedRuntime},
                                      std::pair{"XDG_CONFIG_HOME", savedConfig}}) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
}
