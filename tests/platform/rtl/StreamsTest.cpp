// Memory and file streams, and file failures injected through the system seam.
#include "platform/rtl/Streams.h"

#include "support/FaultEnv.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zorbel;

TEST(MemoryStream, SeekOriginsReadWriteAndGrowPastEnd)
{
    TMemoryStream s;
    s.WriteBuffer("hello", 5);
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Seek(-2, soFromEnd), 3);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2);
    EXPECT_EQ(QByteArray(buf, 2), "lo");
    EXPECT_EQ(s.Seek(2, soFromCurrent), 7); // past the end: a write fills the gap
    s.WriteBuffer("!", 1);
    EXPECT_EQ(s.Size(), 8);
    EXPECT_EQ(s.Memory()[5], 0);
    EXPECT_THROW(s.Seek(-1, soFromBeginning), EStreamError);
    s.SetPosition(6);
    EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
}

TEST(FileStream, CreateOpenCopyAndErrors)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("данные.bin"));
    {
        TFileStream f(path, fmCreate);
        TMemoryStream m;
        m.WriteBuffer("0123456789", 10);
        EXPECT_EQ(f.CopyFrom(m, 0), 10); // 0 copies the whole source from its start
        f.Flush();
    }
    {
        TFileStream f(path, fmOpenReadWrite);
        EXPECT_EQ(f.Size(), 10);
        f.Seek(4, soFromBeginning);
        f.WriteBuffer("xy", 2);
        f.SetSize(8);
        EXPECT_EQ(f.Size(), 8);
    }
    TMemoryStream back;
    back.LoadFromFile(path);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(back.Memory()), int(back.Size())), "0123xy67");
    EXPECT_THROW(TFileStream(dir.filePath("нет.bin"), fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir.filePath("нет/нет.bin"), fmCreate), EFCreateError);
}

TEST(FileStream, AFailingReadRaisesInsteadOfLookingLikeTheEnd)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.bin"));
    TFileStream(path, fmCreate).WriteBuffer("0123456789", 10);
    TFileStream f(path, fmOpenRead);
    test::TFaultEnv env;
    env.FailCall(TSysOp::Read, 1);
    TSysEnvScope scope(env);
    char buf[16];
    EXPECT_THROW(f.Read(buf, sizeof buf), EReadError);
    EXPECT_EQ(f.Read(buf, sizeof buf), 10); // the next read succeeds
}

TEST(FileStream, FailingOpenWriteFlushAndResizeRaise)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.bin"));
    test::TFaultEnv env;
    TSysEnvScope scope(env);
    env.FailCall(TSysOp::Open, 1, EACCES);
    EXPECT_THROW(TFileStream(path, fmCreate), EFCreateError);
    env.FailCall(TSysOp::Open, 2, EACCES);
    TFileStream f(path, fmCreate);
    EXPECT_THROW(TFileStream(path, fmOpenRead), EFOpenError);
    env.FailCall(TSysOp::Write, 1, ENOSPC);
    EXPECT_THROW(f.WriteBuffer("0123", 4), EWriteError);
    env.FailCall(TSysOp::Flush, 1);
    EXPECT_THROW(f.Flush(), EWriteError);
    env.FailCall(TSysOp::Truncate, 1);
    EXPECT_THROW(f.SetSize(2), EWriteError);
    EXPECT_EQ(f.Size(), 0); // nothing was written
    EXPECT_THROW(TFileStream(dir.path(), fmOpenRead), EFOpenError); // a folder
}
