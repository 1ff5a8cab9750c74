// The SHA-256 that names a data set's contents: the digest itself on known
// vectors and across the second thread's chunks, and the digests the reader
// and the writer take of what passes through them.
#include "archive/ZipDigest.h"
#include "archive/ZipWriter.h"
#include "ZipTestSupport.h"

#include <gtest/gtest.h>
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

using namespace zorbel;
using namespace zorbel::test;

namespace {

QByteArray Hex(const TSha256 &d) { return QByteArray(reinterpret_cast<const char *>(d.data()), qsizetype(d.size())).toHex(); }

TSha256 Streamed(const Bytes &data, size_t step)
{
    TDigestAhead digest;
    for (size_t at = 0; at < data.size(); at += step)
        digest.Add(data.data() + at, std::min(step, data.size() - at));
    return digest.Finish();
}

} // namespace

TEST(ZipDigest, KnownVectorsAndAnySplitAcrossChunks)
{
    // FIPS 180-2's examples.
    EXPECT_EQ(Hex(TDigestAhead::Of(reinterpret_cast<const uint8_t *>("abc"), 3)),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex(TDigestAhead().Finish()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const Bytes million(1000000, uint8_t('a'));
    EXPECT_EQ(Hex(Streamed(million, 4096)), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    // Past several chunks, in pieces that straddle their borders: the second
    // thread hashes them in order, whatever the caller's steps.
    const Bytes data = SampleRandom(3 * TDigestAhead::ChunkSize + 12345, 7);
    const TSha256 whole = TDigestAhead::Of(data.data(), data.size());
    for (size_t step : {size_t(1) << 20, size_t(16000), size_t(3 * TDigestAhead::ChunkSize + 99999), size_t(777)})
        EXPECT_EQ(Hex(Streamed(data, step)), Hex(whole)) << step;
    // One byte changed anywhere changes the digest.
    Bytes changed = data;
    changed[TDigestAhead::ChunkSize + 5] ^= 1;
    EXPECT_NE(Hex(Streamed(changed, 16000)), Hex(whole));
}

TEST(ZipDigest, ReaderAndWriterTakeTheDigestOfWhatPassesThrough)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString src = tmp.filePath("src"), out = tmp.filePath("out"), archive = tmp.filePath("a.zip");
    QDir().mkpath(src);
    const Bytes big = SampleText(2 * TDigestAhead::ChunkSize + 4321, 3);
    const Bytes small = SampleText(1000, 4);
    WriteFile(src + "/big.db", big);
    WriteFile(src + "/small.txt", small);

    for (const QString &password : {QString(), QStringLiteral("secret")}) {
        SCOPED_TRACE(password.toStdString());
        QFile::remove(archive);
        TZipWriter zip;
        zip.SetDoProcessMessages(false);
        zip.SetOverwriteMode(TUZOverwriteMode::Always);
        zip.SetDigestInput(true);
        zip.SetDigestOutput(true);
        zip.SetPackLevel(1);
        zip.SetRootDir(src);
        zip.SetZipName(archive);
        zip.SetPassword(password);
        zip.FilesList().Add("*");
        ASSERT_EQ(zip.CompressFiles(), 2);
        TSha256 d{};
        ASSERT_TRUE(zip.PackedDigest("big.db", d));
        EXPECT_EQ(Hex(d), Hex(TDigestAhead::Of(big.data(), big.size())));
        ASSERT_TRUE(zip.PackedDigest("small.txt", d));
        EXPECT_EQ(Hex(d), Hex(TDigestAhead::Of(small.data(), small.size())));
        EXPECT_FALSE(zip.PackedDigest("other", d));

        QDir(out).removeRecursively();
        TZipReader reader;
        reader.SetDoProcessMessages(false);
        reader.SetOverwriteMode(TUZOverwriteMode::Always);
        reader.SetDigestOutput(true);
        reader.SetPassword(password);
        reader.SetZipName(archive);
        reader.SetDestDir(out);
        reader.SetDoAll(true);
        ASSERT_EQ(reader.ExtractFiles(), 2);
        ASSERT_TRUE(reader.OutputDigest("big.db", d));
        EXPECT_EQ(Hex(d), Hex(TDigestAhead::Of(big.data(), big.size())));
        ASSERT_TRUE(reader.OutputDigest("small.txt", d));
        EXPECT_EQ(Hex(d), Hex(TDigestAhead::Of(small.data(), small.size())));
        // Without DigestOutput nothing is named.
        reader.SetDigestOutput(false);
        ASSERT_EQ(reader.ExtractFiles(), 2);
        EXPECT_FALSE(reader.OutputDigest("big.db", d));
    }
}
