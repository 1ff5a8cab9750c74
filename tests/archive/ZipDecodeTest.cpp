// The decoding context as the reader drives it: blocks in and out, the size
// limit, premature ends, spanned input, the encryption header; and every
// entry of archives made by Info-ZIP zip.
#include "archive/ZipDecode.h"

#include "archive/ZipTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zorbel {
namespace {

using test::Bytes;

// A decoder wired to an "archive" in memory, recording each output block.
struct Harness {
    TZipDecoder decoder;
    Bytes archive;
    size_t pos = 0;
    std::vector<Bytes> blocks;

    explicit Harness(Bytes data, size_t start = 0) : archive(std::move(data)), pos(start)
    {
        decoder.ReadArchive = [this](uint8_t *buffer, int64_t count) {
            const size_t n = std::min(archive.size() - pos, static_cast<size_t>(count));
            std::copy_n(archive.begin() + static_cast<long>(pos), n, buffer);
            pos += n;
            return static_cast<int64_t>(n);
        };
        decoder.WriteOutput = [this](const uint8_t *buffer, int64_t count) { blocks.emplace_back(buffer, buffer + count); };
    }
    Bytes Output() const
    {
        Bytes all;
        for (const Bytes &b : blocks)
            all.insert(all.end(), b.begin(), b.end());
        return all;
    }
};

TEST(ZipDecodeTest, StoredEntryIsCopiedInBlocksOf16000)
{
    for (size_t size : {16000u, 16001u}) {
        const Bytes data = test::SampleRandom(size);
        Harness h(data);
        h.decoder.Begin(static_cast<int64_t>(size), static_cast<int64_t>(size), false);
        ASSERT_TRUE(h.decoder.Decode(0, 0));
        EXPECT_EQ(h.blocks.size(), size == 16000 ? 1u : 2u);
        EXPECT_TRUE(h.Output() == data);
        EXPECT_EQ(h.decoder.Crc(), Crc32Of(data.data(), data.size()));
        EXPECT_FALSE(h.decoder.Failed());
    }
}

TEST(ZipDecodeTest, BlockPastTheStatedSizeIsNotWritten)
{
    const Bytes data = test::SampleRandom(20000);
    Harness h(data);
    h.decoder.Begin(20000, 19999, false);
    EXPECT_THROW(h.decoder.Decode(0, 0), EBiggerThanUncompressed);
    ASSERT_EQ(h.blocks.size(), 1u); // the first block; nothing of the second
    EXPECT_EQ(h.decoder.BytesWritten(), 16000);

    // The same through inflate.
    Harness d(test::ZlibDeflate(data, 6, 0));
    d.decoder.Begin(static_cast<int64_t>(d.archive.size()), 19999, false);
    EXPECT_THROW(d.decoder.Decode(8, 0), EBiggerThanUncompressed);
    EXPECT_EQ(d.decoder.BytesWritten(), 16000);
}

TEST(ZipDecodeTest, ArchiveEndingInsideTheEntryIsFatal)
{
    const Bytes data = test::SampleText(30000);
    for (int method : {0, 8}) {
        Bytes stream = method == 0 ? data : test::ZlibDeflate(data, 6, 0);
        const int64_t size = static_cast<int64_t>(stream.size());
        stream.resize(stream.size() - 10);
        Harness h(stream);
        h.decoder.Begin(size, 30000, false);
        try {
            h.decoder.Decode(method, 0);
            ADD_FAILURE() << "no exception, method " << method;
        } catch (const EFatalUnzipError &e) {
            EXPECT_EQ(e.Message(), "Premature end of file reached");
        }
    }
}

TEST(ZipDecodeTest, SpannedInputContinuesOnTheNextVolume)
{
    const Bytes data = test::SampleText(50000);
    const Bytes stream = test::ZlibDeflate(data, 9, 0);
    const size_t cut = stream.size() / 3;
    Harness h(Bytes(stream.begin(), stream.begin() + static_cast<long>(cut)));
    int volumes = 0;
    h.decoder.NextVolume = [&] {
        ++volumes;
        h.archive.assign(stream.begin() + static_cast<long>(cut), stream.end());
        h.pos = 0;
        return true;
    };
    h.decoder.Begin(static_cast<int64_t>(stream.size()), 50000, false);
    ASSERT_TRUE(h.decoder.Decode(8, 0));
    EXPECT_EQ(volumes, 1);
    EXPECT_TRUE(h.Output() == data);
}

TEST(ZipDecodeTest, ProgressIsReportedPerBlock)
{
    const Bytes data = test::SampleRandom(40000);
    Harness h(data);
    std::vector<int> file, total;
    h.decoder.OnFilePercentDone = [&](int p) { file.push_back(p); };
    h.decoder.OnTotalPercentDone = [&](int p) { total.push_back(p); };
    h.decoder.BeginSelection(80000);
    h.decoder.Begin(40000, 40000, false);
    h.decoder.Decode(0, 0);
    EXPECT_EQ(file, (std::vector<int>{40, 80, 100}));
    EXPECT_EQ(total, (std::vector<int>{20, 40, 50}));
}

// An encryption header (check byte last) and Data, encrypted with Password
// as the zip writer does: each byte XOR the key stream, keys advanced by the
// plain byte.
Bytes Encrypt(const Bytes &Data, const QByteArray &Password, uint8_t Check)
{
    TZipKeys keys;
    keys.InitKeys(Password);
    Bytes out(12, 0x5A);
    out[11] = Check;
    out.insert(out.end(), Data.begin(), Data.end());
    for (uint8_t &b : out) {
        const uint8_t plain = b;
        b ^= keys.DecryptByte();
        keys.UpdateKeys(plain);
    }
    return out;
}

// Long encrypted entries are decrypted ahead on a second thread: sizes on
// both sides of where that starts and of the chunk edges, stored (the output
// blocks keep their 16000 bytes) and deflated.
TEST(ZipDecodeTest, LongEncryptedEntriesDecodeAcrossChunkEdges)
{
    const int64_t from = TZipDecoder::DecryptAheadFrom;
    const int64_t chunk = static_cast<int64_t>(TZipDecoder::DecryptChunk);
    const QByteArray password = "пароль";
    for (int64_t size : {from - 1, from, from + 1, 5 * chunk - 1, 5 * chunk, 5 * chunk + 1, 9 * chunk + 16000}) {
        SCOPED_TRACE(size);
        const Bytes data = test::SampleRandom(static_cast<size_t>(size), static_cast<uint32_t>(size));
        Harness h(Encrypt(data, password, 0xA7));
        EXPECT_EQ(h.decoder.DecryptHeader(password), 0xA7);
        h.decoder.Begin(size, size, true);
        ASSERT_TRUE(h.decoder.Decode(0, 0));
        EXPECT_TRUE(h.Output() == data);
        EXPECT_EQ(h.decoder.Crc(), Crc32Of(data.data(), data.size()));
        for (size_t i = 0; i + 1 < h.blocks.size(); ++i)
            ASSERT_EQ(h.blocks[i].size(), 16000u);
    }
    for (size_t size : {size_t(900000), size_t(3000000)}) {
        SCOPED_TRACE(size);
        Bytes data = test::SampleText(size, 3);
        const Bytes noise = test::SampleRandom(size / 3, 4);
        std::copy(noise.begin(), noise.end(), data.begin() + static_cast<long>(size / 3));
        const Bytes packed = test::ZlibDeflate(data, 6, 0);
        ASSERT_GE(static_cast<int64_t>(packed.size()), from);
        Harness h(Encrypt(packed, password, 0x11));
        EXPECT_EQ(h.decoder.DecryptHeader(password), 0x11);
        h.decoder.Begin(static_cast<int64_t>(packed.size()), static_cast<int64_t>(size), true);
        ASSERT_TRUE(h.decoder.Decode(8, 0));
        EXPECT_FALSE(h.decoder.Failed()) << h.decoder.FailReason();
        EXPECT_TRUE(h.Output() == data);
    }
}

// A wrong password whose check byte happens to match: the data decrypt to
// noise, the entry fails (corrupt or a wrong CRC) and the decoder, its
// decrypting thread stopped, goes on to the next entry.
TEST(ZipDecodeTest, WrongPasswordOnALongEntryFailsAndTheNextEntryDecodes)
{
    const Bytes data = test::SampleText(2000000, 6);
    const Bytes packed = test::ZlibDeflate(data, 6, 0);
    Harness h(Encrypt(packed, "right", 0));
    TZipKeys wrong;
    wrong.InitKeys("wrong");
    Bytes header(h.archive.begin(), h.archive.begin() + 12);
    wrong.DecryptBuffer(header.data(), 12);
    h.archive[11] ^= header[11]; // makes the check byte match under "wrong"
    // (the changed header byte only changes the keys after the header)
    EXPECT_EQ(h.decoder.DecryptHeader(QByteArray("wrong")), 0);
    h.decoder.Begin(static_cast<int64_t>(packed.size()), static_cast<int64_t>(data.size()), true);
    try {
        h.decoder.Decode(8, 0);
        EXPECT_TRUE(h.decoder.Failed() || h.decoder.Crc() != Crc32Of(data.data(), data.size()));
    } catch (const EBiggerThanUncompressed &) {
    }

    Harness next(Encrypt(packed, "right", 0x33));
    EXPECT_EQ(next.decoder.DecryptHeader(QByteArray("right")), 0x33);
    next.decoder.Begin(static_cast<int64_t>(packed.size()), static_cast<int64_t>(data.size()), true);
    ASSERT_TRUE(next.decoder.Decode(8, 0));
    EXPECT_TRUE(next.Output() == data);
}

// The archive ending inside a long encrypted entry, or the output failing
// half-way: the error reaches the caller as it does without the second
// thread, and the same decoder then decodes the next entry.
TEST(ZipDecodeTest, FailuresInsideALongEncryptedEntryReachTheCaller)
{
    const int64_t size = 2 * TZipDecoder::DecryptAheadFrom;
    const Bytes data = test::SampleRandom(static_cast<size_t>(size), 8);
    Bytes archive = Encrypt(data, "p", 1);
    archive.resize(archive.size() - 70000);
    Harness h(archive);
    h.decoder.DecryptHeader(QByteArray("p"));
    h.decoder.Begin(size, size, true);
    try {
        h.decoder.Decode(0, 0);
        ADD_FAILURE() << "no exception";
    } catch (const EFatalUnzipError &e) {
        EXPECT_EQ(e.Message(), "Premature end of file reached");
    }
    // Everything before the last whole chunk read was handed on, in order.
    const Bytes out = h.Output();
    EXPECT_GT(out.size(), 0u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));

    int writes = 0;
    h.decoder.WriteOutput = [&](const uint8_t *, int64_t) {
        if (++writes == 5)
            throw EWriteError(QStringLiteral("disk full"));
    };
    h.archive = Encrypt(data, "p", 1);
    h.pos = 0;
    h.decoder.DecryptHeader(QByteArray("p"));
    h.decoder.Begin(size, size, true);
    EXPECT_THROW(h.decoder.Decode(0, 0), EWriteError);

    h.blocks.clear();
    h.decoder.WriteOutput = [&](const uint8_t *buffer, int64_t count) { h.blocks.emplace_back(buffer, buffer + count); };
    h.pos = 0;
    h.decoder.DecryptHeader(QByteArray("p"));
    h.decoder.Begin(size, size, true);
    ASSERT_TRUE(h.decoder.Decode(0, 0));
    EXPECT_TRUE(h.Output() == data);
}

// Decoding straight into the caller's buffer hands on the same blocks as
// decoding through the window: the same sizes, the same bytes, the same
// failure when the data pass the stated size, at every size around the
// block edges, for stored and compressed blocks; a buffer without the slack
// falls back to the window.
TEST(ZipDecodeTest, OutputBufferGivesTheSameBlocksAsTheWindow)
{
    struct TRun {
        std::vector<size_t> sizes;
        Bytes out;
        bool tooLarge = false;
        int64_t written = 0;
        int outside = 0; // blocks that did not lie in the caller's buffer
    };
    auto run = [](const Bytes &stream, int64_t stated, Bytes *buffer) {
        TRun r;
        Harness h(stream);
        h.decoder.Begin(static_cast<int64_t>(stream.size()), stated, false);
        if (buffer)
            h.decoder.UseOutputBuffer(buffer->data(), buffer->size());
        h.decoder.WriteOutput = [&](const uint8_t *b, int64_t n) {
            r.sizes.push_back(static_cast<size_t>(n));
            r.out.insert(r.out.end(), b, b + n);
            if (buffer && (b < buffer->data() || b + n > buffer->data() + buffer->size()))
                ++r.outside;
        };
        try {
            h.decoder.Decode(8, 0);
        } catch (const EBiggerThanUncompressed &) {
            r.tooLarge = true;
        }
        EXPECT_FALSE(h.decoder.Failed()) << h.decoder.FailReason();
        r.written = h.decoder.BytesWritten();
        return r;
    };
    for (size_t size : {size_t(1), size_t(15999), size_t(16000), size_t(16001), size_t(48000), size_t(300001)}) {
        Bytes data = test::SampleText(size, 9);
        if (size > 40000) {
            const Bytes noise = test::SampleRandom(size / 4, 10);
            std::copy(noise.begin(), noise.end(), data.begin() + static_cast<long>(size / 2));
        }
        for (int level : {0, 6}) {
            const Bytes stream = test::ZlibDeflate(data, level, 0);
            for (int64_t stated : {int64_t(size), int64_t(size) - 1, int64_t(size) + 5}) {
                SCOPED_TRACE(testing::Message() << size << " level " << level << " stated " << stated);
                if (stated < 0)
                    continue;
                const TRun window = run(stream, stated, nullptr);
                Bytes buffer(static_cast<size_t>(stated) + TZipDecoder::OutputSlack, 0xEE);
                const TRun direct = run(stream, stated, &buffer);
                EXPECT_EQ(direct.sizes, window.sizes);
                EXPECT_TRUE(direct.out == window.out);
                EXPECT_EQ(direct.tooLarge, window.tooLarge);
                EXPECT_EQ(direct.tooLarge, stated < int64_t(size));
                EXPECT_EQ(direct.written, window.written);
                EXPECT_TRUE(direct.tooLarge || direct.out == data);
                // Whole blocks come straight from the buffer; only a last
                // partial one goes through the decoder's output buffer.
                if (!direct.tooLarge) {
                    EXPECT_LE(direct.outside, 1);
                }
                if (!direct.tooLarge && size >= 16000) {
                    EXPECT_LT(direct.outside, static_cast<int>(direct.sizes.size()));
                }
                Bytes small(static_cast<size_t>(stated) + TZipDecoder::OutputSlack - 1, 0xEE);
                const TRun fallback = run(stream, stated, &small);
                EXPECT_EQ(fallback.sizes, window.sizes);
                EXPECT_TRUE(fallback.out == window.out);
            }
        }
    }
}

TEST(ZipDecodeTest, UnknownMethodTouchesNothing)
{
    Harness h(Bytes(100, 1));
    h.decoder.Begin(100, 100, false);
    EXPECT_FALSE(h.decoder.Decode(12, 0));
    EXPECT_FALSE(h.decoder.Decode(7, 0));
    EXPECT_EQ(h.pos, 0u);
    EXPECT_TRUE(h.blocks.empty());
}

// ---- archives made by Info-ZIP zip -------------------------------------------

class InfoZipArchiveTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.path();
        QDir(root).mkpath("in/sub/empty");
        files["in/text.txt"] = test::SampleText(120000, 5);
        files["in/random.bin"] = test::SampleRandom(40000, 6);
        files["in/empty.txt"] = Bytes{};
        files["in/sub/one.txt"] = Bytes{'x'};
        Bytes mix = test::SampleText(70000, 8);
        const Bytes noise = test::SampleRandom(5000, 9);
        mix.insert(mix.begin() + 30000, noise.begin(), noise.end());
        files["in/sub/mix.dat"] = mix;
        for (const auto &[name, data] : files)
            test::WriteFile(root + "/" + name, data);
    }

    // Zips in/ with the options and checks every entry: data and CRC, and
    // for encrypted entries the password check byte.
    void CheckArchive(const QStringList &options, const QByteArray &password = QByteArray())
    {
        const QString zipName = root + "/out.zip";
        QFile::remove(zipName);
        QString output;
        ASSERT_EQ(test::RunTool("zip", QStringList(options) << "-r" << zipName << "in", root, &output), 0) << output.toStdString();
        const Bytes zip = test::ReadFile(zipName);
        const std::vector<test::ZipEntry> entries = test::WalkZip(zip);
        size_t checked = 0;
        for (const test::ZipEntry &e : entries) {
            SCOPED_TRACE(options.join(' ').toStdString() + " " + e.name.toStdString());
            if (e.name.endsWith('/')) {
                EXPECT_EQ(e.uncompressedSize, 0u);
                continue;
            }
            ASSERT_TRUE(files.count(e.name));
            const Bytes &plain = files[e.name];
            Harness h(zip, e.dataOffset);
            const bool encrypted = e.flags & 1;
            EXPECT_EQ(encrypted, !password.isEmpty());
            int64_t compressed = e.compressedSize;
            if (encrypted) {
                const uint8_t check = (e.flags & 8) ? static_cast<uint8_t>(e.dosTime >> 8) : static_cast<uint8_t>(e.crc >> 24);
                EXPECT_EQ(h.decoder.DecryptHeader(password), check);
                compressed -= 12;
            }
            h.decoder.Begin(compressed, e.uncompressedSize, encrypted);
            ASSERT_TRUE(h.decoder.Decode(e.method, e.flags));
            EXPECT_FALSE(h.decoder.Failed()) << h.decoder.FailReason();
            EXPECT_TRUE(h.Output() == plain);
            EXPECT_EQ(h.decoder.Crc(), e.crc);
            ++checked;
        }
        EXPECT_EQ(checked, files.size());
    }

    QTemporaryDir dir;
    QString root;
    std::map<QString, Bytes> files;
};

TEST_F(InfoZipArchiveTest, EveryLevelDecodes)
{
    for (int level = 0; level <= 9; ++level)
        CheckArchive({QString("-%1").arg(level)});
}

TEST_F(InfoZipArchiveTest, EncryptedEntriesDecodeWithTheirPassword)
{
    // zip sets flag bit 3 for encrypted entries, so the time byte is checked.
    CheckArchive({"-P", "пароль1"}, QString("пароль1").toUtf8());
    CheckArchive({"-0", "-P", "secret"}, "secret");
    CheckArchive({"-9", "-P", "secret"}, "secret");
}

TEST_F(InfoZipArchiveTest, Bzip2EntryIsAnUnknownMethod)
{
    QString output;
    ASSERT_EQ(test::RunTool("zip", {"-Z", "bzip2", "out.zip", "in/text.txt"}, root, &output), 0) << output.toStdString();
    const Bytes zip = test::ReadFile(root + "/out.zip");
    const test::ZipEntry e = test::WalkZip(zip).at(0);
    EXPECT_EQ(e.method, 12);
    Harness h(zip, e.dataOffset);
    h.decoder.Begin(e.compressedSize, e.uncompressedSize, false);
    EXPECT_FALSE(h.decoder.Decode(e.method, e.flags));
}

} // namespace
} // namespace zorbel
