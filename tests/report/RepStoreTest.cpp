// Page store: the coder against known codes and a reference coder, the
// spilling stream, page round trips in memory, spilled and compressed, report
// files old and new, damaged files, saving over the open file, the outline.
#include "report/RepStore.h"

#include "platform/system/SysFiles.h"
#include "support/FaultEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <gtest/gtest.h>
#include <array>
#include <cstring>
#include <random>
#include <thread>

namespace zorbel {
namespace {

// ---- a reference coder, written from the rules without the class's shortcuts ----

struct ReferenceTree {
    std::array<int, 256> Left{}, Right{};
    std::array<int, 513> Up{};
    ReferenceTree()
    {
        for (int i = 0; i < 256; ++i) {
            Left[i] = 2 * i + 1;
            Right[i] = 2 * i + 2;
        }
        for (int i = 1; i <= 512; ++i)
            Up[i] = (i - 1) / 2;
    }
    // The path from the root to a node, found by searching down the tree.
    bool PathTo(int from, int target, std::vector<bool> &path) const
    {
        if (from == target)
            return true;
        if (from >= 256)
            return false;
        path.push_back(false);
        if (PathTo(Left[from], target, path))
            return true;
        path.back() = true;
        if (PathTo(Right[from], target, path))
            return true;
        path.pop_back();
        return false;
    }
    void Splay(int a)
    {
        while (a != 0) {
            int c = Up[a];
            if (c == 0) {
                a = 0;
                continue;
            }
            int d = Up[c];
            int b = Left[d];
            if (c == b) {
                b = Right[d];
                Right[d] = a;
            } else {
                Left[d] = a;
            }
            (a == Left[c] ? Left[c] : Right[c]) = b;
            Up[a] = d;
            Up[b] = c;
            a = d;
        }
    }
};

QByteArray ReferenceEncode(const QByteArray &input)
{
    ReferenceTree tree;
    std::vector<bool> bits;
    for (char ch : input) {
        const int leaf = 256 + uint8_t(ch);
        std::vector<bool> path;
        tree.PathTo(0, leaf, path);
        bits.insert(bits.end(), path.begin(), path.end());
        tree.Splay(leaf);
    }
    QByteArray out((qsizetype(bits.size()) + 7) / 8, '\0');
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            out[qsizetype(i / 8)] = char(out[qsizetype(i / 8)] | (1 << (i % 8)));
    return out;
}

QByteArray Encode(const QByteArray &input)
{
    TMemoryStream out;
    {
        TRepCompress coder(out, true);
        for (char c : input)
            coder.Expand(uint8_t(c));
    }
    return QByteArray(reinterpret_cast<const char *>(out.Memory()), out.Size());
}

QByteArray Decode(const QByteArray &coded, int count)
{
    TMemoryStream in;
    in.WriteBuffer(coded.constData(), coded.size());
    in.SetPosition(0);
    TRepCompress decoder(in, false);
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out.append(char(decoder.Contract()));
    return out;
}

TEST(RepCompress, KnownCodes)
{
    EXPECT_EQ(Encode(QByteArray(1, '\0')), QByteArray::fromHex("80"));
    EXPECT_EQ(Encode("abc"), QByteArray::fromHex("463D01"));
    EXPECT_EQ(Decode(QByteArray::fromHex("463D01"), 3), QByteArray("abc"));
    // "abc" takes 17 bits: the last byte holds one bit, its seven high bits are 0.
    EXPECT_EQ(uint8_t(Encode("abc").back()) & 0xFE, 0);
}

TEST(RepCompress, AgreesWithReferenceAndDecodesItsOwnOutput)
{
    std::mt19937 random(7);
    for (int round = 0; round < 30; ++round) {
        QByteArray input;
        const int size = int(random() % 5000);
        const int alphabet = round % 3 == 0 ? 256 : round % 3 == 1 ? 16 : 3;
        for (int i = 0; i < size; ++i)
            input.append(char(random() % alphabet));
        const QByteArray coded = Encode(input);
        ASSERT_EQ(coded, ReferenceEncode(input)) << "round " << round;
        ASSERT_EQ(Decode(coded, int(input.size())), input);
        if (alphabet == 3 && size > 1000) {
            EXPECT_LT(coded.size(), input.size() / 2); // recurring bytes get short codes
        }
    }
}

TEST(RepCompress, DecodingPastTheCodedBytesFails)
{
    const QByteArray coded = Encode("hello");
    EXPECT_THROW(Decode(coded, 50), EReadError);
}

// ---- stream ----

TEST(RepStream, SpillsPastTheLimitIntoAPrivateTemporaryFileRemovedWithIt)
{
    auto stream = TRepStream::CreateInMemory();
    QByteArray block(250000, 'x');
    stream->WriteBuffer(block.constData(), block.size());
    EXPECT_TRUE(stream->Resident());
    stream->WriteBuffer("y", 1);
    ASSERT_FALSE(stream->Resident());
    const QString path = stream->TempPath();
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral("REP")));
    EXPECT_EQ(QFileInfo(path).absolutePath() + QLatin1Char('/'), UserTempFolder());
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(stream->Size(), 250001);
    EXPECT_EQ(stream->Position(), 250001);
    stream->SetPosition(249999);
    char tail[2];
    stream->ReadBuffer(tail, 2);
    EXPECT_EQ(std::string(tail, 2), "xy");
    stream.reset();
    EXPECT_FALSE(QFile::exists(path));
}

TEST(RepStream, TemporaryFileIsRemovedWhenAFailureUnwindsTheStore)
{
    QString path;
    try {
        TRepPageList list;
        list.SetStore(TRepStream::CreateInMemory(10));
        QByteArray block(100, 'x');
        list.Store()->WriteBuffer(block.constData(), block.size());
        path = list.Store()->TempPath();
        ASSERT_TRUE(QFile::exists(path));
        throw EAbort(QString());
    } catch (const EAbort &) {
    }
    EXPECT_FALSE(path.isEmpty());
    EXPECT_FALSE(QFile::exists(path));
}

TEST(RepStream, AFileStoreCannotBeWritten)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("x.rep"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("abc");
    f.close();
    auto stream = TRepStream::CreateOnFile(dir.filePath("x.rep"));
    EXPECT_THROW(stream->WriteBuffer("d", 1), EWriteError);
    EXPECT_TRUE(stream->TempPath().isEmpty());
    EXPECT_THROW(TRepStream::CreateOnFile(dir.filePath("missing.rep")), EFOpenError);
}

// ---- pages ----

TMetafile NumberedPage(int n)
{
    TMetafileRecorder recorder(794, 1123);
    TCanvas canvas;
    canvas.BeginRecording(&recorder);
    canvas.Font = QFont(QStringLiteral("Liberation Sans"));
    canvas.Font.setPixelSize(12);
    canvas.Brush.Style = TBrushStyle::bsClear;
    for (int line = 0; line < 10; ++line)
        canvas.TextOut(40, 40 + line * 16, QStringLiteral("Страница %1, строка %2").arg(n).arg(line));
    return recorder.Finish();
}

int32_t I32At(const QByteArray &bytes, qsizetype at)
{
    int32_t v;
    std::memcpy(&v, bytes.constData() + at, 4);
    return v;
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(RepPageList, ThreePagesChainForwardAndBackward)
{
    TRepPageList list;
    list.SetStore(TRepStream::CreateInMemory());
    for (int n = 1; n <= 3; ++n)
        list.AddPage(NumberedPage(n));
    list.WriteHeader();
    QTemporaryDir dir;
    list.SaveToFile(dir.filePath("three.rep"));
    const QByteArray file = ReadFile(dir.filePath("three.rep"));
    EXPECT_EQ(I32At(file, 0) & 0xFFFF, 3);
    EXPECT_EQ((I32At(file, 0) >> 16) & 0xFFFF, 404);
    EXPECT_EQ(I32At(file, 8), 3);
    const int32_t last = I32At(file, file.size() - 4);
    EXPECT_EQ(I32At(file, last), 3); // the last record is page 3's
    EXPECT_EQ(list.GetPage(3)->Data(), NumberedPage(3).Data());
    EXPECT_EQ(list.GetPage(2)->Data(), NumberedPage(2).Data());
    EXPECT_EQ(list.GetPage(1)->Data(), NumberedPage(1).Data());
    EXPECT_EQ(list.GetPage(2)->Data(), NumberedPage(2).Data());
    EXPECT_EQ(list.GetPage(4), nullptr);
    EXPECT_EQ(list.GetPage(0), nullptr);
}

struct StoreKind {
    const char *Name;
    int64_t SpillLimit;
    bool Compressed;
};

class RepPageListRoundTrip : public testing::TestWithParam<StoreKind> {};

TEST_P(RepPageListRoundTrip, PagesComeBackFromTheStoreAndFromTheSavedFile)
{
    QTemporaryDir dir;
    const StoreKind kind = GetParam();
    TRepPageList list;
    list.SetCompressed(kind.Compressed);
    list.SetStore(TRepStream::CreateInMemory(kind.SpillLimit));
    for (int n = 1; n <= 40; ++n)
        list.AddPage(NumberedPage(n));
    list.WriteHeader();
    EXPECT_EQ(list.Store()->Resident(), kind.SpillLimit > 10000000);
    for (int n : {40, 1, 17, 39, 2})
        ASSERT_EQ(list.GetPage(n)->Data(), NumberedPage(n).Data()) << n;
    list.SaveToFile(dir.filePath("pages.rep"));

    TRepPageList loaded; // a fresh list: compression comes from the file
    loaded.LoadFromFile(dir.filePath("pages.rep"));
    EXPECT_EQ(loaded.StoredPages(), 40);
    EXPECT_EQ(loaded.Compressed(), kind.Compressed);
    for (int n : {1, 40, 20, 3})
        ASSERT_EQ(loaded.GetPage(n)->Data(), NumberedPage(n).Data()) << n;
}

INSTANTIATE_TEST_SUITE_P(Stores, RepPageListRoundTrip,
                         testing::Values(StoreKind{"Memory", 1 << 30, false}, StoreKind{"Spilled", 5000, false},
                                         StoreKind{"Compressed", 1 << 30, true},
                                         StoreKind{"CompressedSpilled", 5000, true}),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST(RepPageList, FiveHundredPagesSavedAndLoaded)
{
    QTemporaryDir dir;
    TRepPageList list;
    list.SetStore(TRepStream::CreateInMemory());
    const TMetafile odd = NumberedPage(1), even = NumberedPage(2);
    for (int n = 1; n <= 500; ++n)
        list.AddPage(n % 2 ? odd : even);
    list.WriteHeader();
    list.SaveToFile(dir.filePath("big.rep"));
    TRepPageList loaded;
    loaded.LoadFromFile(dir.filePath("big.rep"));
    ASSERT_EQ(loaded.StoredPages(), 500);
    for (int n : {500, 1, 250, 251, 499})
        EXPECT_EQ(loaded.GetPage(n)->Data(), (n % 2 ? odd : even).Data()) << n;
}

TEST(RepPageList, OlderHeaderIsRecognisedByThePageSignature)
{
    // 124-byte header: count at 8; then page 1's record head and its EMF,
    // whose " EMF" signature (offset 40 of the EMF) lands at 172..175.
    const TMetafile page = NumberedPage(1);
    QByteArray file(124, '\0');
    file[0] = 3;
    const int32_t count = 1;
    std::memcpy(file.data() + 8, &count, 4);
    const int32_t start = 124, next = 124 + 8 + int32_t(page.Data().size()) + 4;
    file.append(reinterpret_cast<const char *>(&count), 4);
    file.append(reinterpret_cast<const char *>(&next), 4);
    file.append(page.Data());
    file.append(reinterpret_cast<const char *>(&start), 4);
    ASSERT_EQ(file.mid(173, 4), QByteArray("EMF\0", 4));
    QTemporaryDir dir;
    WriteFile(dir.filePath("old.rep"), file);
    TRepPageList list;
    list.LoadFromFile(dir.filePath("old.rep"));
    EXPECT_EQ(list.StoredPages(), 1);
    EXPECT_EQ(list.GetPage(1)->Data(), page.Data());
}

// ---- damaged files ----

QByteArray GoodFile(QTemporaryDir &dir, bool compressed)
{
    TRepPageList list;
    list.SetCompressed(compressed);
    list.SetStore(TRepStream::CreateInMemory());
    for (int n = 1; n <= 3; ++n)
        list.AddPage(NumberedPage(n));
    list.WriteHeader();
    list.SaveToFile(dir.filePath("good.rep"));
    return ReadFile(dir.filePath("good.rep"));
}

// Loads bytes and reads every page; true when all of it worked, false on a
// clear error. Anything else (a crash, another exception) fails the test.
// A failed load leaves the list empty; a damaged page leaves the others.
bool LoadsCleanly(QTemporaryDir &dir, const QByteArray &bytes)
{
    WriteFile(dir.filePath("bad.rep"), bytes);
    TRepPageList list;
    try {
        list.LoadFromFile(dir.filePath("bad.rep"));
    } catch (const ERepFileError &e) {
        EXPECT_FALSE(e.Message().isEmpty());
        EXPECT_EQ(list.StoredPages(), 0);
        EXPECT_EQ(list.Store(), nullptr);
        return false;
    }
    bool whole = true;
    for (int n = 1; n <= list.StoredPages(); ++n) {
        try {
            EXPECT_NE(list.GetPage(n), nullptr);
        } catch (const ERepFileError &e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("page %1").arg(n))) << e.Message().toStdString();
            whole = false;
        }
    }
    return whole;
}

TEST(RepFileChecks, DamagedHeadersAndChainsGiveAClearError)
{
    QTemporaryDir dir;
    const QByteArray good = GoodFile(dir, false);
    ASSERT_TRUE(LoadsCleanly(dir, good));

    auto with = [&](qsizetype at, int32_t value) {
        QByteArray bad = good;
        std::memcpy(bad.data() + at, &value, 4);
        return bad;
    };
    EXPECT_FALSE(LoadsCleanly(dir, QByteArray()));
    EXPECT_FALSE(LoadsCleanly(dir, QByteArray(300, 'A')));                 // foreign
    EXPECT_FALSE(LoadsCleanly(dir, with(0, 0x01940004)));                  // wrong marker
    EXPECT_FALSE(LoadsCleanly(dir, with(8, 4)));                           // more pages than records
    EXPECT_FALSE(LoadsCleanly(dir, with(8, -1)));                          // negative count
    EXPECT_FALSE(LoadsCleanly(dir, with(8, 0x7FFFFFFF)));                  // huge count
    EXPECT_FALSE(LoadsCleanly(dir, with(128, 2)));                         // page 1 numbered 2
    EXPECT_FALSE(LoadsCleanly(dir, with(132, 0x7FFFFFF0)));                // next record beyond the file
    EXPECT_FALSE(LoadsCleanly(dir, with(132, 100)));                       // next record backwards
    EXPECT_FALSE(LoadsCleanly(dir, with(I32At(good, 132) - 4, 12345)));    // broken back link
    EXPECT_FALSE(LoadsCleanly(dir, with(136 + 48, 0x7FFFFFF0)));           // EMF longer than its record
    for (qsizetype cut = 124; cut < good.size(); cut += 97)
        EXPECT_FALSE(LoadsCleanly(dir, good.left(cut))) << "cut at " << cut;
}

TEST(RepFileChecks, DamagedCompressedPagesGiveAClearError)
{
    QTemporaryDir dir;
    const QByteArray good = GoodFile(dir, true);
    ASSERT_TRUE(LoadsCleanly(dir, good));
    QByteArray longer = good;
    const int32_t huge = 0x40000000;
    std::memcpy(longer.data() + 136, &huge, 4); // page 1's EMF length
    EXPECT_FALSE(LoadsCleanly(dir, longer));
    QByteArray garbled = good;
    for (qsizetype i = 150; i < 400; ++i)
        garbled[i] = char(garbled[i] ^ 0x5A);
    EXPECT_FALSE(LoadsCleanly(dir, garbled));
}

TEST(RepFileChecks, RandomDamageNeverCrashesTheLoader)
{
    QTemporaryDir dir;
    for (bool compressed : {false, true}) {
        const QByteArray good = GoodFile(dir, compressed);
        std::mt19937 random(compressed ? 11 : 5);
        for (int round = 0; round < 150; ++round) {
            QByteArray bad = good;
            for (int k = 0; k < 1 + round % 6; ++k)
                bad[qsizetype(random() % uint32_t(bad.size()))] = char(random());
            LoadsCleanly(dir, bad);
        }
    }
}

TEST(RepFileChecks, PagesFoundByFuzzingPlayWithoutHarm)
{
    // A report whose damaged page asks for text of absurd size: the glyph
    // cache once crashed on it.
    TRepPageList list;
    list.LoadFromFile(QStringLiteral(ZORBEL_TEST_DATA "/report/huge-glyph.rep"));
    ASSERT_GT(list.StoredPages(), 0);
    QImage image(60, 80, QImage::Format_RGB32);
    for (int n = 1; n <= list.StoredPages(); ++n) {
        try {
            std::unique_ptr<TMetafile> page = list.GetPage(n);
            ASSERT_NE(page, nullptr);
            QPainter painter(&image);
            PlayMetafile(painter, page->Data(), QRectF(image.rect()));
        } catch (const ERepFileError &) {
        } catch (const EMetafileError &) {
        }
    }
}

// ---- saving ----

TEST(RepPageList, SavingOverTheOpenFileKeepsItWhole)
{
    QTemporaryDir dir;
    const QByteArray good = GoodFile(dir, false);
    TRepPageList list;
    list.LoadFromFile(dir.filePath("good.rep"));
    list.SaveToFile(dir.filePath("good.rep"));
    EXPECT_EQ(ReadFile(dir.filePath("good.rep")), good);
    EXPECT_EQ(list.GetPage(2)->Data(), NumberedPage(2).Data());
    TRepPageList again;
    again.LoadFromFile(dir.filePath("good.rep"));
    EXPECT_EQ(again.StoredPages(), 3);
}

TEST(RepPageList, AFailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    QTemporaryDir dir;
    const QByteArray good = GoodFile(dir, false);
    TRepPageList list;
    list.SetStore(TRepStream::CreateInMemory());
    for (int n = 1; n <= 5; ++n)
        list.AddPage(NumberedPage(n));
    for (TSysOp op : {TSysOp::Write, TSysOp::Flush, TSysOp::Rename, TSysOp::Open}) {
        test::TFaultEnv env;
        env.FailCall(op, op == TSysOp::Write ? 2 : 1, ENOSPC, true);
        TSysEnvScope scope(env);
        EXPECT_THROW(list.SaveToFile(dir.filePath("good.rep")), EStreamError) << int(op);
    }
    EXPECT_EQ(ReadFile(dir.filePath("good.rep")), good);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"good.rep"});
    // The store is still whole and saves once the disk works again.
    list.SaveToFile(dir.filePath("good.rep"));
    TRepPageList loaded;
    loaded.LoadFromFile(dir.filePath("good.rep"));
    ASSERT_EQ(loaded.StoredPages(), 5); // the header was brought up to date
    EXPECT_EQ(loaded.GetPage(5)->Data(), NumberedPage(5).Data());
}

TEST(RepPageList, HeaderCarriesTheTimeOfWriting)
{
    test::TFaultEnv env;
    env.SetNow(QDateTime(QDate(2024, 3, 15), QTime(12, 0)));
    TSysEnvScope scope(env);
    QTemporaryDir dir;
    const QByteArray file = GoodFile(dir, true);
    double written;
    std::memcpy(&written, file.constData() + 16, 8);
    EXPECT_DOUBLE_EQ(written, 45366.5); // 15.03.2024 12:00
    EXPECT_EQ(file[25], 1);             // compressed
}

TEST(RepStream, ASpillThatCannotCreateItsFileKeepsTheBytesInMemory)
{
    // A temporary folder of its own: other tests running beside this one
    // spill into the shared one.
    QTemporaryDir temp;
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.path().toUtf8());
    const auto restore = qScopeGuard([&] {
        if (savedTemp.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", savedTemp);
    });
    ASSERT_TRUE(UserTempFolder().startsWith(temp.path()));
    const QStringList before = QDir(UserTempFolder()).entryList({"REP*"}, QDir::Files);
    auto stream = TRepStream::CreateInMemory(100);
    QByteArray block(100, 'x');
    stream->WriteBuffer(block.constData(), block.size());
    {
        test::TFaultEnv env;
        env.FailCall(TSysOp::Open, 1, ENOSPC);
        TSysEnvScope scope(env);
        EXPECT_THROW(stream->WriteBuffer("y", 1), EFCreateError);
    }
    EXPECT_TRUE(stream->Resident());
    EXPECT_EQ(stream->Size(), 101);
    {
        test::TFaultEnv env;
        env.FailCall(TSysOp::Write, 1, ENOSPC);
        TSysEnvScope scope(env);
        EXPECT_THROW(stream->WriteBuffer("z", 1), EStreamError);
    }
    EXPECT_TRUE(stream->Resident());
    EXPECT_EQ(QDir(UserTempFolder()).entryList({"REP*"}, QDir::Files), before)
        << "no half-written temporary file is left";
    stream->WriteBuffer("w", 1);
    EXPECT_FALSE(stream->Resident());
}

TEST(RepPageList, PagesAddedOnOneThreadAreReadWholeOnAnother)
{
    TRepPageList list;
    list.SetStore(TRepStream::CreateInMemory(20000)); // spills while both run
    const TMetafile page = NumberedPage(5);
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int n = 0; n < 200; ++n)
            list.AddPage(page);
        done = true;
    });
    int reads = 0;
    while (!done || reads < 50) {
        const int have = list.StoredPages();
        if (have > 0) {
            std::unique_ptr<TMetafile> p = list.GetPage(1 + reads % have);
            ASSERT_NE(p, nullptr);
            ASSERT_EQ(p->Data(), page.Data());
        }
        ++reads;
    }
    writer.join();
    EXPECT_EQ(list.StoredPages(), 200);
}

// ---- outline ----

struct RecordingNodes : TRepOutlineNodes {
    struct Node {
        QString Title;
        int Key;
        void *Parent;
    };
    std::vector<std::unique_ptr<Node>> Nodes;
    int Updates = 0;
    void BeginUpdate() override { ++Updates; }
    void EndUpdate() override { ++Updates; }
    void Clear() override { Nodes.clear(); }
    void *Add(void *parent, const QString &title, int key) override
    {
        Nodes.push_back(std::make_unique<Node>(Node{title, key, parent}));
        return Nodes.back().get();
    }
};

TEST(RepOutline, EntriesNestByLevelAndAreFoundByKey)
{
    TRepOutline outline;
    outline.Items = {{"Итоги", 1, QRect(0, 0, 10, 10), 1, 100},
                     {"Январь", 2, QRect(0, 10, 10, 10), 1, 101},
                     {"Продукты", 3, QRect(0, 20, 10, 10), 2, 102},
                     {"Февраль", 2, QRect(0, 30, 10, 10), 3, 103},
                     {"Прочее", 1, QRect(0, 40, 10, 10), 4, 104}};
    RecordingNodes nodes;
    outline.SetTreeNodes(&nodes);
    ASSERT_EQ(nodes.Nodes.size(), 5u);
    EXPECT_EQ(nodes.Updates, 2);
    auto node = [&](size_t i) { return nodes.Nodes[i].get(); };
    EXPECT_EQ(node(0)->Parent, nullptr);
    EXPECT_EQ(node(1)->Parent, node(0));
    EXPECT_EQ(node(2)->Parent, node(1));
    EXPECT_EQ(node(3)->Parent, node(0));
    EXPECT_EQ(node(4)->Parent, nullptr);
    QRect area;
    int page = -1;
    EXPECT_TRUE(outline.FindNode(103, area, page));
    EXPECT_EQ(page, 3);
    EXPECT_EQ(area, QRect(0, 30, 10, 10));
    EXPECT_FALSE(outline.FindNode(999, area, page));
    EXPECT_EQ(page, 0);
    EXPECT_TRUE(area.isNull());
}

} // namespace
} // namespace zorbel
