#include "platform/rtl/Streams.h"

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
    // Reading the start of a process's own memory file fails with an I/O
    // error (the page at address 0 is never mapped).
    TFileStream f(QStringLiteral("/proc/self/mem"), fmOpenRead);
    char buf[16];
    EXPECT_THROW(f.Read(buf, sizeof buf), EReadError);
}
