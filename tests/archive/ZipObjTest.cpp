// Zip header records: names in OEM with slashes, skipped extras, refusals and size limits.
#include "archive/ZipObj.h"

#include "ZipRecordSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <random>

using namespace zorbel;
using namespace ziptest;

namespace {

// A central header with the given name bytes, extra field and comment.
QByteArray Central(const QByteArray &Name, int Extra, const QByteArray &Comment, uint32_t Offset,
                   uint32_t Size = 10)
{
    QByteArray b;
    Add32(b, CentralHeaderSig);
    Add16(b, 20);        // made by
    Add16(b, 20);        // needed
    Add16(b, 0);         // flags
    Add16(b, 8);         // method
    Add32(b, 0x5A216C00); // 2025-01-01 13:32:00
    Add32(b, 0xDEADBEEF); // CRC
    Add32(b, Size);      // compressed
    Add32(b, Size * 2);  // uncompressed
    Add16(b, uint16_t(Name.size()));
    Add16(b, uint16_t(Extra));
    Add16(b, uint16_t(Comment.size()));
    Add16(b, 0);          // disk
    Add16(b, 1);          // internal
    Add32(b, 0x20);       // external
    Add32(b, Offset);
    b += Name;
    b += QByteArray(Extra, 'x');
    b += Comment;
    return b;
}

QByteArray EndRecord(uint16_t Total, uint32_t Offset, const QByteArray &Comment = {})
{
    QByteArray b;
    Add32(b, EndCentralSig);
    Add16(b, 0);
    Add16(b, 0);
    Add16(b, Total);
    Add16(b, Total);
    Add32(b, 0);
    Add32(b, Offset);
    Add16(b, uint16_t(Comment.size()));
    return b + Comment;
}

TMemoryStream *StreamOf(TMemoryStream &s, const QByteArray &b)
{
    s.Clear();
    s.WriteBuffer(b.constData(), b.size());
    s.SetPosition(0);
    return &s;
}

} // namespace

TEST(ZipHeaderInfo, NameIsWrittenWithSlashesInOemAndReadBack)
{
    TZipHeaderInfo h;
    h.SetDirectory("a\\Папка");
    h.SetFileName("Счёт.db");
    EXPECT_EQ(h.Directory(), "a\\Папка\\");
    EXPECT_EQ(h.FileNameLength, 15);
    TMemoryStream s;
    h.WriteCentral(s);
    h.WriteLocal(s);
    const QByteArray bytes(reinterpret_cast<const char *>(s.Memory()), int(s.Size()));
    // "Папка" and "Счёт" in code page 866.
    EXPECT_EQ(bytes.mid(46, 15), QByteArray("a/\x8F\xA0\xAF\xAA\xA0/\x91\xE7\xF1\xE2.db"));
    EXPECT_EQ(h.RelativeOffset, 46 + 15);

    s.SetPosition(0);
    TStream *p = &s;
    TZipHeaderInfo c, l;
    ASSERT_TRUE(c.ReadCentral(p));
    ASSERT_TRUE(l.ReadLocal(s));
    for (TZipHeaderInfo *r : {&c, &l}) {
        EXPECT_EQ(r->Directory(), "a\\Папка\\");
        EXPECT_EQ(r->FileName(), "Счёт.db");
        EXPECT_EQ(r->FileNameLength, 15);
    }
    EXPECT_EQ(c.CentralOffset, 0u);
    EXPECT_EQ(l.RelativeOffset, 61);
    EXPECT_EQ(s.Position(), s.Size());
}

TEST(ZipHeaderInfo, AUtf8NameReadBackIsWrittenInOemWithoutTheFlag)
{
    // A local header flagged UTF-8 (bit 11) naming "Счёт.db".
    const QByteArray utf8 = QStringLiteral("Счёт.db").toUtf8();
    QByteArray local(30, 0);
    Put32(local, 0, 0x04034B50);
    Put16(local, 6, 0x0800);
    Put16(local, 26, uint16_t(utf8.size()));
    TMemoryStream in;
    in.WriteBuffer((local + utf8).constData(), local.size() + utf8.size());
    in.SetPosition(0);
    TZipHeaderInfo h;
    ASSERT_TRUE(h.ReadLocal(in));
    EXPECT_EQ(h.FileName(), "Счёт.db");
    // Flagged but not valid UTF-8: read as code page 866 after all.
    QByteArray oem = local + QByteArray("\x91\xE7\xF1\xE2.db");
    Put16(oem, 26, 7);
    TMemoryStream in866;
    in866.WriteBuffer(oem.constData(), oem.size());
    in866.SetPosition(0);
    TZipHeaderInfo o;
    ASSERT_TRUE(o.ReadLocal(in866));
    EXPECT_EQ(o.FileName(), "Счёт.db");

    TMemoryStream out;
    h.WriteCentral(out);
    h.WriteLocal(out);
    const QByteArray bytes(reinterpret_cast<const char *>(out.Memory()), int(out.Size()));
    EXPECT_EQ(Get32(bytes, 8) & 0x0800, 0u);          // central flags
    EXPECT_EQ(Get32(bytes, 46 + 7 + 6) & 0x0800, 0u); // local flags
    EXPECT_EQ(bytes.mid(46, 7), QByteArray("\x91\xE7\xF1\xE2.db"));
}

TEST(ZipHeaderInfo, ExtraFieldAndCommentAreSkippedButTheirLengthsKept)
{
    TMemoryStream m;
    TStream *s = StreamOf(m, Central("one", 9, "hello", 0) + Central("two", 0, {}, 100));
    TZipHeaderInfo a, b;
    ASSERT_TRUE(a.ReadCentral(s));
    ASSERT_TRUE(b.ReadCentral(s));
    EXPECT_EQ(b.FileName(), "two");
    EXPECT_EQ(b.CentralOffset, uint32_t(46 + 3 + 9 + 5));
    EXPECT_EQ(a.ExtraFieldLength, 9);
    EXPECT_EQ(a.FileCommentLength, 5);
    EXPECT_FALSE(a.FileComment().has_value());
    EXPECT_EQ(a.CentralSize(), 46 + 3 + 9 + 5);

    a.SetComment("hello");
    TMemoryStream out;
    a.WriteCentral(out);
    const QByteArray w(reinterpret_cast<const char *>(out.Memory()), int(out.Size()));
    EXPECT_EQ(w.size(), 46 + 3 + 5);
    EXPECT_EQ(w[30], 0); // extra length written as 0
    EXPECT_EQ(w.right(5), "hello");
}

TEST(ZipHeaderInfo, RefusalsRestoreThePosition)
{
    TMemoryStream m;
    QByteArray bad = Central("x", 0, {}, 0);
    bad[0] = 'Q';
    TStream *s = StreamOf(m, "pad" + bad);
    s->SetPosition(3);
    TZipHeaderInfo h;
    EXPECT_FALSE(h.ReadCentral(s));
    EXPECT_EQ(s->Position(), 3);
    // Name running past the end.
    s = StreamOf(m, Central("abcdef", 0, {}, 0).left(48));
    EXPECT_FALSE(h.ReadCentral(s));
    EXPECT_EQ(s->Position(), 0);
    EXPECT_FALSE(h.ReadLocal(*s)); // a central header is not a local one
    EXPECT_EQ(s->Position(), 0);
}

TEST(ZipHeaderInfo, SizesOfTwoGibibytesAreRefused)
{
    TMemoryStream m;
    TStream *s = StreamOf(m, Central("big", 0, {}, 0, 0x80000000u));
    TZipHeaderInfo h;
    EXPECT_THROW(h.ReadCentral(s), EBadZipFile);
    s = StreamOf(m, Central("far", 0, {}, 0xFFFFFFFFu));
    EXPECT_THROW(h.ReadCentral(s), EBadZipFile);
}

TEST(ZipHeaderInfo, DatesAreClampedOnRead)
{
    TMemoryStream m;
    QByteArray c = Central("d", 0, {}, 0);
    // 2020, month 0, day 0, 10:00:00.
    Put32(c, 12, uint32_t((2020 - 1980) << 9) << 16 | (10 << 11));
    TStream *s = StreamOf(m, c);
    TZipHeaderInfo h;
    ASSERT_TRUE(h.ReadCentral(s));
    EXPECT_EQ(h.LastModFileDateTime, (uint32_t((2020 - 1980) << 9 | 1 << 5 | 1) << 16) | (10 << 11));
    // A valid value keeps its exact bits, hour 24 included.
    const uint32_t h24 = (uint32_t((2001 - 1980) << 9 | 3 << 5 | 4) << 16) | (24 << 11) | 5;
    EXPECT_EQ(ClampDosDateTime(h24), h24);
    EXPECT_EQ(ClampDosDateTime(0), uint32_t(1 << 5 | 1) << 16);
}

TEST(ZipHeaderInfo, NameProblemsAreFlagged)
{
    TZipHeaderInfo h;
    auto problems = [&](const QString &dir, const QString &file) {
        h.SetDirectory(dir);
        h.SetFileName(file);
        return h.NameProblems();
    };
    EXPECT_EQ(problems("", ""), unsigned(NameEmpty));
    EXPECT_EQ(problems("a\\b", "c.txt"), unsigned(NameOk));
    EXPECT_EQ(problems("a..b\\", "..c"), unsigned(NameOk));
    EXPECT_EQ(problems("\\etc", "passwd"), unsigned(NameAbsolute));
    EXPECT_EQ(problems("C:\\x", "y"), unsigned(NameAbsolute));
    EXPECT_EQ(problems("a\\..\\..", "y"), unsigned(NameParentRef));
    EXPECT_EQ(problems("", ".."), unsigned(NameParentRef));
    EXPECT_EQ(problems("", QString("a") + QChar(0) + "b"), unsigned(NameControlChar));
    EXPECT_EQ(problems("", "a\nb"), unsigned(NameControlChar));
}

TEST(ZipHeaderInfo, AssignCopiesEveryFieldAndTheComment)
{
    TZipHeaderInfo a, b;
    a.SetDirectory("d");
    a.SetFileName("f");
    a.Crc32 = 7;
    a.RelativeOffset = 99;
    a.SetComment("note");
    b.Assign(a);
    EXPECT_EQ(b.FullName(), "d\\f");
    EXPECT_EQ(b.Crc32, 7u);
    EXPECT_EQ(b.RelativeOffset, 99);
    EXPECT_EQ(b.FileComment().value_or(""), "note");
    EXPECT_EQ(b.FileCommentLength, 4);
}

TEST(EndCentral, FoundOnlyWhereARecordFits)
{
    TMemoryStream m;
    TEndCentral e;
    EXPECT_FALSE(e.FindInStream(*StreamOf(m, EndRecord(0, 0).left(21))));
    ASSERT_TRUE(e.FindInStream(*StreamOf(m, EndRecord(0, 0))));
    EXPECT_EQ(e.TotalEntries, 0);
    // Two records: the later one is used.
    ASSERT_TRUE(e.FindInStream(*StreamOf(m, EndRecord(1, 11) + QByteArray(100, 'z') + EndRecord(2, 22))));
    EXPECT_EQ(e.TotalEntries, 2);
    EXPECT_EQ(e.CentralOffset, 22u);
}

TEST(EndCentral, LongestCommentStillFindsTheRecord)
{
    TMemoryStream m;
    TEndCentral e;
    const QByteArray comment(65535, 'c');
    ASSERT_TRUE(e.FindInStream(*StreamOf(m, QByteArray(1000, 'j') + EndRecord(3, 1000, comment))));
    EXPECT_EQ(e.CommentLength, 65535);
    EXPECT_EQ(e.CommentPosition, 1000u + 22u);
    EXPECT_EQ(e.Size(), 22 + 65535);

    e.SetComment("Zip!");
    TMemoryStream out;
    e.WriteToStream(out);
    TEndCentral back;
    ASSERT_TRUE(back.FindInStream(out));
    EXPECT_EQ(back.TotalEntries, 3);
    EXPECT_EQ(back.CommentLength, 4);
}

TEST(SortedZip, OrdersAndDuplicateOffsets)
{
    std::vector<std::unique_ptr<TZipHeaderInfo>> items;
    auto make = [&](const QString &name, int offset, uint32_t date, int csize, int usize) {
        auto h = std::make_unique<TZipHeaderInfo>();
        h->SetFileName(name);
        h->RelativeOffset = offset;
        h->LastModFileDateTime = date;
        h->CompressedSize = csize;
        h->UncompressedSize = usize;
        items.push_back(std::move(h));
    };
    const uint32_t day1 = uint32_t(40 << 9 | 1 << 5 | 1) << 16;
    make("b", 300, day1, 50, 100);
    make("A", 100, day1 + (1 << 16), 10, 100);
    make("c", 200, day1, 90, 100);
    make("d", 400, day1, 0, 0);

    TSortedZip physical(TDuplicates::dupError, false);
    for (auto &h : items)
        physical.Add(h.get());
    EXPECT_EQ(physical[0]->FileName(), "A");
    EXPECT_EQ(physical[3]->FileName(), "d");
    TZipHeaderInfo same;
    same.RelativeOffset = 200;
    EXPECT_THROW(physical.Add(&same), EListError);

    auto order = [&](TZipSortMode mode) {
        TSortedZip view(TDuplicates::dupAccept, false);
        view.SortMode = mode;
        for (auto &h : items)
            view.Add(h.get());
        QString names;
        for (int i = 0; i < view.Count(); ++i)
            names += view[i]->FileName();
        return names;
    };
    EXPECT_EQ(order(TZipSortMode::ByName), "Abcd");
    EXPECT_EQ(order(TZipSortMode::ByCompressedSize), "cbAd");
    EXPECT_EQ(order(TZipSortMode::ByRate), "cbAd");
    EXPECT_EQ(order(TZipSortMode::ByDate).at(0), u'A'); // newest first

    TSortedZip byDate(TDuplicates::dupAccept, false);
    byDate.SortMode = TZipSortMode::ByDate;
    EXPECT_NE(byDate.Compare(items[0].get(), items[2].get()), 0);
}

TEST(ZipHeaderInfo, ReadsInfoZipCentralDirectory)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(WriteFile(dir.filePath("one.txt"), QByteArray(1000, 'a')));
    QDir(dir.path()).mkpath("sub/deeper");
    ASSERT_TRUE(WriteFile(dir.filePath("sub/deeper/two.bin"), QByteArray(5, '\x01')));
    ASSERT_EQ(RunTool("zip", {"-q", "-r", "t.zip", "one.txt", "sub"}, dir.path()), 0);
    TFileStream f(dir.filePath("t.zip"), fmOpenRead);
    TEndCentral e;
    ASSERT_TRUE(e.FindInStream(f));
    ASSERT_EQ(e.TotalEntries, 4);
    f.SetPosition(e.CentralOffset);
    TStream *s = &f;
    QStringList names;
    for (int i = 0; i < e.TotalEntries; ++i) {
        TZipHeaderInfo h;
        ASSERT_TRUE(h.ReadCentral(s));
        names << h.FullName();
        if (h.FileName() == "one.txt") {
            EXPECT_EQ(h.UncompressedSize, 1000);
        }
    }
    TZipHeaderInfo none;
    EXPECT_FALSE(none.ReadCentral(s)); // the end record follows
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (QStringList{"one.txt", "sub\\", "sub\\deeper\\", "sub\\deeper\\two.bin"}));
}
