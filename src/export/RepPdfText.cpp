// Code-page tables built once per code page from the system's converters.
#include "export/RepPdfText.h"

#include <QStringDecoder>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace zorbel {

namespace {

constexpr uint16_t kNoByte = 0xFFFF;

struct TCodePageTable {
    char16_t ToUnicode[256] = {};
    std::vector<uint16_t> FromUnicode = std::vector<uint16_t>(65536, kNoByte);
};

const TCodePageTable &CodePageTable(int cp)
{
    static std::mutex lock;
    static std::map<int, std::unique_ptr<TCodePageTable>> tables;
    const std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<TCodePageTable> &t = tables[cp];
    if (!t) {
        t = std::make_unique<TCodePageTable>();
        QByteArray name = cp == 1 ? QByteArray("IBM866") : "windows-" + QByteArray::number(cp);
        // A code page the system cannot convert falls back to WinAnsi.
        if (!QStringDecoder(name.constData()).isValid())
            name = "windows-1252";
        for (int b = 0; b < 256; ++b) {
            QStringDecoder decoder(name.constData());
            const QString s = decoder.isValid() ? decoder(QByteArray(1, char(b))) : QString();
            const char16_t u = s.size() == 1 && !decoder.hasError() ? s[0].unicode() : char16_t(0xFFFD);
            t->ToUnicode[b] = u;
            if (u != 0xFFFD && t->FromUnicode[u] == kNoByte)
                t->FromUnicode[u] = uint16_t(b);
        }
    }
    return *t;
}

} // namespace

char16_t PdfCodePageUnicode(int cp, unsigned char byte) { return CodePageTable(cp).ToUnicode[byte]; }

bool PdfCanEncode(int cp, const QString &text)
{
    const TCodePageTable &t = CodePageTable(cp);
    for (QChar ch : text)
        if (t.FromUnicode[ch.unicode()] == kNoByte)
            return false;
    return true;
}

QByteArray PdfEncodeText(int cp, const QString &text)
{
    const TCodePageTable &t = CodePageTable(cp);
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i; // one "?" for the pair
        const uint16_t b = t.FromUnicode[u];
        out += b == kNoByte ? '?' : char(b);
    }
    return out;
}

} // namespace zorbel
