// The decoder tests' helpers: bit writer, zlib reference, a minimal zip writer and walker, Info-ZIP runs.
#include "archive/ZipTestSupport.h"

#include "archive/ZipCrc.h"
#include "support/ChildProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <random>
#include <stdexcept>
#include <zlib.h>

namespace zorbel::test {

Bytes ZlibDeflate(const Bytes &data, int level, int strategy)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&z, data.size()) + 16);
    z.next_in = const_cast<Bytes::value_type *>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

Bytes SampleText(size_t size, uint32_t seed)
{
    static const char *const words[] = {"счёт ", "balance ", "the ", "income ", "expense ", "transfer ",
                                        "2024-01-31 ", "1234.56\r\n", "category ", "rate ", "и ", "plan "};
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size);
    while (out.size() < size) {
        const char *w = words[rng() % (sizeof words / sizeof *words)];
        for (; *w && out.size() < size; ++w)
            out.push_back(static_cast<uint8_t>(*w));
    }
    return out;
}

Bytes SampleRandom(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto &b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

Bytes ReadFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    const QByteArray all = f.readAll();
    return Bytes(all.begin(), all.end());
}

void WriteFile(const QString &path, const Bytes &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write " + path.toStdString());
    f.write(reinterpret_cast<const char *>(data.data()), static_cast<qint64>(data.size()));
}

namespace {

uint32_t Get16(const Bytes &b, size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
uint32_t Get32(const Bytes &b, size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }
void Put16(Bytes &b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes &b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

} // namespace

std::vector<ZipEntry> WalkZip(const Bytes &zip)
{
    size_t end = zip.size() - 22;
    while (Get32(zip, end) != 0x06054B50)
        --end; // throws through at() when there is none
    const uint32_t count = Get16(zip, end + 10);
    size_t at = Get32(zip, end + 16);
    std::vector<ZipEntry> entries;
    for (uint32_t i = 0; i < count; ++i) {
        if (Get32(zip, at) != 0x02014B50)
            throw std::runtime_error("bad central header");
        ZipEntry e;
        e.flags = static_cast<uint16_t>(Get16(zip, at + 8));
        e.method = static_cast<uint16_t>(Get16(zip, at + 10));
        e.dosTime = Get32(zip, at + 12);
        e.crc = Get32(zip, at + 16);
        e.compressedSize = Get32(zip, at + 20);
        e.uncompressedSize = Get32(zip, at + 24);
        const uint32_t nameLen = Get16(zip, at + 28);
        const uint32_t extraLen = Get16(zip, at + 30);
        const uint32_t commentLen = Get16(zip, at + 32);
        const uint32_t local = Get32(zip, at + 42);
        e.name = QString::fromLatin1(reinterpret_cast<const char *>(zip.data() + at + 46), nameLen);
        e.dataOffset = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
        entries.push_back(e);
        at += 46 + nameLen + extraLen + commentLen;
    }
    return entries;
}

Bytes MakeZip(const QString &name, uint16_t method, uint16_t flags, const Bytes &compressed, const Bytes &plain)
{
    const QByteArray n = name.toLatin1();
    const uint32_t crc = Crc32Of(plain.data(), plain.size());
    const uint32_t dosTime = (44u << 25) | (1u << 21) | (2u << 16) | (12u << 11); // 2024-01-02 12:00
    auto header = [&](Bytes &b, bool central) {
        Put32(b, central ? 0x02014B50 : 0x04034B50);
        if (central)
            Put16(b, 10); // version made by
        Put16(b, 10);     // version needed
        Put16(b, flags);
        Put16(b, method);
        Put32(b, dosTime);
        Put32(b, crc);
        Put32(b, static_cast<uint32_t>(compressed.size()));
        Put32(b, static_cast<uint32_t>(plain.size()));
        Put16(b, static_cast<uint32_t>(n.size()));
        Put16(b, 0); // extra field length
        if (central) {
            Put16(b, 0);  // comment length
            Put16(b, 0);  // disk
            Put16(b, 0);  // internal attributes
            Put32(b, 0);  // external attributes
            Put32(b, 0);  // local header offset
        }
        b.insert(b.end(), n.begin(), n.end());
    };
    Bytes zip;
    header(zip, false);
    zip.insert(zip.end(), compressed.begin(), compressed.end());
    const size_t central = zip.size();
    header(zip, true);
    const size_t centralSize = zip.size() - central;
    Put32(zip, 0x06054B50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 1);
    Put16(zip, 1);
    Put32(zip, static_cast<uint32_t>(centralSize));
    Put32(zip, static_cast<uint32_t>(central));
    Put16(zip, 0);
    return zip;
}

int RunTool(const QString &program, const QStringList &args, const QString &workDir, QString *Output)
{
    TChildOptions options;
    options.WorkDir = workDir;
    options.MergeErr = true;
    const TChildRun run = RunChild(program, args, options);
    if (Output)
        *Output = QString::fromLocal8Bit(run.Out);
    return run.ExitCode;
}

bool UnzipRefusesPassword(const QString &Archive, const QString &Password, const QString &WorkDir, QString *Output,
                          const QStringList &EmptyEntries)
{
    QString output;
    const int rc = RunTool("unzip", {"-t", "-P", Password, Archive}, WorkDir, &output);
    if (Output)
        *Output = output;
    // The traditional cipher checks one byte of its 12-byte header, so a wrong
    // password passes that check for about one entry in 256; unzip then fails
    // on the garbage the entry decrypts to; an empty entry has no data to fail
    // on and passes.
    static const QRegularExpression passed(QStringLiteral("testing: (.*\\S)\\s+OK\\s*$"),
                                           QRegularExpression::MultilineOption);
    for (auto it = passed.globalMatch(output); it.hasNext();)
        if (!EmptyEntries.contains(it.next().captured(1)))
            return false;
    if (rc != 0 && rc != 1 && rc != 2 && rc != 82)
        return false; // not run, or not unzip's answer
    const qsizetype refusedOrBroken = int(output.count(QStringLiteral("incorrect password")) + output.count(QStringLiteral("invalid compressed data")) +
                          output.count(QStringLiteral("bad CRC")));
    return refusedOrBroken > 0;
}

} // namespace zorbel::test
