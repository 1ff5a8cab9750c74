// The file-name codec (see SysNames.h). Decoding follows the well-formed
// UTF-8 table (the lead byte fixes the length and the range of the first
// continuation byte), so every sequence it accepts is exactly what encoding
// the decoded character gives back.
#include "platform/system/SysNames.h"

namespace zorbel {

namespace {

constexpr char16_t KeptBase = 0xDC00;

// The length of the well-formed UTF-8 sequence at p[0..n), 0 when there is none.
// The first continuation byte's range by lead byte:
//   C2..DF  80..BF (2 bytes)     E0 A0..BF, E1..EC 80..BF, ED 80..9F, EE..EF 80..BF (3)
//   F0 90..BF, F1..F3 80..BF, F4 80..8F (4); the other continuation bytes 80..BF.
int SequenceLength(const unsigned char *p, qsizetype n)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int length;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        length = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0;
        else if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F;
    } else
        return 0;
    if (n < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return length;
}

void AppendUtf8(QByteArray &out, char32_t u)
{
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | (u >> 6));
        out += char(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += char(0xE0 | (u >> 12));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xF0 | (u >> 18));
        out += char(0x80 | ((u >> 12) & 0x3F));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

} // namespace

QString DecodeSystemName(const QByteArray &Bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(Bytes.constData());
    const qsizetype n = Bytes.size();
    QString name;
    name.reserve(n);
    for (qsizetype i = 0; i < n;) {
        const int length = SequenceLength(p + i, n - i);
        if (length == 0) {
            name += QChar(char16_t(KeptBase + p[i]));
            ++i;
            continue;
        }
        char32_t u = length == 1 ? p[i] : p[i] & (0x7F >> length);
        for (int k = 1; k < length; ++k)
            u = (u << 6) | (p[i + k] & 0x3F);
        if (u >= 0x10000) {
            name += QChar(QChar::highSurrogate(u));
            name += QChar(QChar::lowSurrogate(u));
        } else {
            name += QChar(char16_t(u));
        }
        i += length;
    }
    return name;
}

QByteArray EncodeSystemName(const QString &Name)
{
    QByteArray out;
    out.reserve(Name.size());
    const qsizetype n = Name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = Name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(Name[i + 1].unicode())) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, Name[i + 1].unicode()));
            ++i;
        } else if (c >= KeptBase + 0x80 && c <= KeptBase + 0xFF) {
            out += char(c - KeptBase);
        } else if (QChar::isSurrogate(c)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

bool NameHasLostBytes(const QString &Name)
{
    for (qsizetype i = 0; i < Name.size(); ++i) {
        if (Name[i].isHighSurrogate() && i + 1 < Name.size() && Name[i + 1].isLowSurrogate())
            ++i;
        else if (Name[i].isSurrogate())
            return true;
    }
    return false;
}

QString ShownName(const QString &Name)
{
    if (!NameHasLostBytes(Name))
        return Name;
    QString shown = Name;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown[i].isHighSurrogate() && i + 1 < shown.size() && shown[i + 1].isLowSurrogate())
            ++i;
        else if (shown[i].isSurrogate())
            shown[i] = QChar(0xFFFD);
    }
    return shown;
}

} // namespace zorbel
