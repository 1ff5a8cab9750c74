// EMF records are read with bounds checks (a record's type and size, every
// field inside the record) and rewritten through libUEMF's WMF record
// builders. Objects: the WMF object table gives a new object the lowest
// free slot; nothing is ever deleted here, so the n-th object created sits
// in slot n, and EMF handles map to slots as they are created. The stock
// null pen and null brush of EMF have no WMF counterpart and are created as
// objects the first time they are selected.
//
// Output: the 22-byte placeable header (key 0x9AC6CDD7, bounding box in
// pixels, 96 units per inch, checksum), the 18-byte metafile header (size
// and largest record in 16-bit words, object count), the records, EOF.
#include "export/ExportWmf.h"

#include "platform/canvas/Metafile.h"
#include "platform/rtl/CodePages.h"

#include <QHash>
#include <QString>
#include <QtEndian>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <uemf.h>
#include <uwmf.h>
}

namespace zorbel {

namespace {

[[noreturn]] void Bad(const char *what)
{
    throw EMetafileError(QStringLiteral("Metafile conversion: %1").arg(QLatin1String(what)));
}

// One EMF record, read with every access checked against its size.
class TRecord {
public:
    TRecord(const char *data, uint32_t size) : data_(data), size_(size) {}
    uint32_t Size() const { return size_; }
    uint32_t U32(uint32_t at) const
    {
        Need(at, 4);
        return qFromLittleEndian<quint32>(data_ + at);
    }
    int32_t I32(uint32_t at) const { return int32_t(U32(at)); }
    const char *Bytes(uint32_t at, uint32_t count) const
    {
        Need(at, count);
        return data_ + at;
    }

private:
    void Need(uint32_t at, uint32_t count) const
    {
        if (at > size_ || count > size_ - at)
            Bad("record too short");
    }
    const char *data_;
    uint32_t size_;
};

int16_t Coord(int32_t v)
{
    if (v < -32768 || v > 32767)
        Bad("coordinate out of range");
    return int16_t(v);
}

U_POINT16 Point(const TRecord &r, uint32_t at) { return U_POINT16{Coord(r.I32(at)), Coord(r.I32(at + 4))}; }

U_RECT16 Rect(const TRecord &r, uint32_t at)
{
    U_RECT16 rect;
    rect.left = Coord(r.I32(at));
    rect.top = Coord(r.I32(at + 4));
    rect.right = Coord(r.I32(at + 8));
    rect.bottom = Coord(r.I32(at + 12));
    return rect;
}

U_COLORREF Color(uint32_t v)
{
    return U_COLORREF{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), 0};
}

class TWmfWriter {
public:
    // Takes a record libUEMF made (malloc'd, size in words at its start).
    void Add(char *record)
    {
        if (!record)
            Bad("record not made");
        const uint32_t words = qFromLittleEndian<quint32>(record);
        body_.append(record, qsizetype(words) * 2);
        std::free(record);
        maxRecord_ = std::max(maxRecord_, words);
    }
    uint16_t NewObject(char *record)
    {
        Add(record);
        return objects_++;
    }
    QByteArray Finish(int width, int height)
    {
        Add(U_WMREOF_set());
        QByteArray out;
        auto u16 = [&](int v) {
            const quint16 le = qToLittleEndian(quint16(v));
            out.append(reinterpret_cast<const char *>(&le), 2);
        };
        auto u32 = [&](quint32 v) {
            const quint32 le = qToLittleEndian(v);
            out.append(reinterpret_cast<const char *>(&le), 4);
        };
        u32(0x9AC6CDD7u);
        u16(0);
        u16(0);
        u16(0);
        u16(width);
        u16(height);
        u16(ScreenPixelsPerInch);
        u32(0);
        quint16 sum = 0;
        for (int i = 0; i < 20; i += 2)
            sum ^= qFromLittleEndian<quint16>(out.constData() + i);
        u16(sum);
        u16(1);      // in memory
        u16(9);      // header size in words
        u16(0x0300); // version
        u32(quint32(9 + body_.size() / 2));
        u16(objects_);
        u32(maxRecord_);
        u16(0);
        return out + body_;
    }

private:
    QByteArray body_;
    uint32_t maxRecord_ = 0;
    uint16_t objects_ = 0;
};

// EMF record types the recorder writes.
enum : uint32_t {
    EmrHeader = 1, EmrPolygon = 3, EmrPolyline = 4, EmrEof = 14, EmrSetBkMode = 18, EmrSetTextAlign = 22,
    EmrSetTextColor = 24, EmrSetBkColor = 25, EmrMoveToEx = 27, EmrSelectObject = 37, EmrCreatePen = 38,
    EmrCreateBrushIndirect = 39, EmrEllipse = 42, EmrRectangle = 43, EmrRoundRect = 44, EmrLineTo = 54,
    EmrStretchDIBits = 81, EmrExtCreateFontIndirectW = 82, EmrExtTextOutW = 84
};

class TConverter {
public:
    QByteArray Run(const QByteArray &emf)
    {
        if (emf.size() < 88)
            Bad("no header");
        const TRecord head(emf.constData(), uint32_t(std::min<qsizetype>(emf.size(), 88)));
        if (head.U32(0) != EmrHeader)
            Bad("no header");
        // The frame (0.01 mm, inclusive) gives the picture's size in pixels.
        const int width = int(std::lround((head.I32(32) - head.I32(24)) * ScreenPixelsPerInch / 2540.0)) + 1;
        const int height = int(std::lround((head.I32(36) - head.I32(28)) * ScreenPixelsPerInch / 2540.0)) + 1;
        if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
            Bad("picture size");
        out_.Add(U_WMRSETWINDOWORG_set(U_POINT16{0, 0}));
        out_.Add(U_WMRSETWINDOWEXT_set(U_POINT16{int16_t(width), int16_t(height)}));
        qsizetype at = 0;
        while (at < emf.size()) {
            if (emf.size() - at < 8)
                Bad("truncated record");
            const TRecord lead(emf.constData() + at, 8);
            const uint32_t type = lead.U32(0);
            const uint32_t size = lead.U32(4);
            if (size < 8 || size % 4 != 0 || size > uint64_t(emf.size() - at))
                Bad("bad record size");
            const TRecord r(emf.constData() + at, size);
            if (type == EmrEof)
                break;
            Convert(type, r);
            at += size;
        }
        return out_.Finish(width, height);
    }

private:
    void Convert(uint32_t type, const TRecord &r)
    {
        switch (type) {
        case EmrSetBkMode: out_.Add(U_WMRSETBKMODE_set(uint16_t(r.U32(8)))); break;
        case EmrSetTextAlign: out_.Add(U_WMRSETTEXTALIGN_set(uint16_t(r.U32(8)))); break;
        case EmrSetTextColor: out_.Add(U_WMRSETTEXTCOLOR_set(Color(r.U32(8)))); break;
        case EmrSetBkColor: out_.Add(U_WMRSETBKCOLOR_set(Color(r.U32(8)))); break;
        case EmrMoveToEx: out_.Add(U_WMRMOVETO_set(Point(r, 8))); break;
        case EmrLineTo: out_.Add(U_WMRLINETO_set(Point(r, 8))); break;
        case EmrRectangle: out_.Add(U_WMRRECTANGLE_set(Rect(r, 8))); break;
        case EmrEllipse: out_.Add(U_WMRELLIPSE_set(Rect(r, 8))); break;
        case EmrRoundRect:
            out_.Add(U_WMRROUNDRECT_set(Coord(r.I32(24)), Coord(r.I32(28)), Rect(r, 8)));
            break;
        case EmrPolygon:
        case EmrPolyline: Poly(type, r); break;
        case EmrCreatePen: {
            const U_PEN pen = U_PEN_set(uint16_t(r.U32(12)), uint16_t(r.I32(16)), Color(r.U32(24)));
            handles_.insert(r.U32(8), out_.NewObject(U_WMRCREATEPENINDIRECT_set(pen)));
            break;
        }
        case EmrCreateBrushIndirect: {
            const U_WLOGBRUSH brush = U_WLOGBRUSH_set(uint16_t(r.U32(12)), Color(r.U32(16)), uint16_t(r.U32(20)));
            handles_.insert(r.U32(8), out_.NewObject(U_WMRCREATEBRUSHINDIRECT_set(brush)));
            break;
        }
        case EmrExtCreateFontIndirectW: Font(r); break;
        case EmrSelectObject: Select(r.U32(8)); break;
        case EmrExtTextOutW: Text(r); break;
        case EmrStretchDIBits: Bitmap(r); break;
        default: break; // header and records the engine never writes
        }
    }

    void Poly(uint32_t type, const TRecord &r)
    {
        const uint32_t count = r.U32(24);
        if (count > 0x7FFF)
            Bad("too many points");
        std::vector<U_POINT16> points(count);
        for (uint32_t i = 0; i < count; ++i)
            points[i] = Point(r, 28 + 8 * i);
        out_.Add(type == EmrPolygon ? U_WMRPOLYGON_set(uint16_t(count), points.data())
                                    : U_WMRPOLYLINE_set(uint16_t(count), points.data()));
    }

    void Font(const TRecord &r)
    {
        // LOGFONTW at 12: height, width, escapement, orientation, weight,
        // italic, underline, strike-out, charset, 4 more bytes, 32 UTF-16 face.
        QString face;
        const char *name = r.Bytes(12 + 28, 64);
        for (int i = 0; i < 32; ++i) {
            const char16_t c = qFromLittleEndian<quint16>(name + 2 * i);
            if (!c)
                break;
            face += QChar(c);
        }
        QByteArray face8 = UnicodeToWin1251(face).left(31);
        const char *b = r.Bytes(12 + 20, 8);
        U_FONT *font = U_FONT_set(int16_t(r.I32(12)), int16_t(r.I32(16)), 0, 0, int16_t(r.I32(28)), uint8_t(b[0]),
                                  uint8_t(b[1]), uint8_t(b[2]), U_RUSSIAN_CHARSET, 0, 0, 0, 0, face8.data());
        if (!font)
            Bad("font");
        char *record = U_WMRCREATEFONTINDIRECT_set(font);
        std::free(font);
        handles_.insert(r.U32(8), out_.NewObject(record));
    }

    void Select(uint32_t handle)
    {
        auto it = handles_.constFind(handle);
        if (it == handles_.constEnd()) {
            if (handle == U_NULL_PEN)
                it = handles_.insert(handle, out_.NewObject(U_WMRCREATEPENINDIRECT_set(
                                                 U_PEN_set(U_PS_NULL, 0, Color(0)))));
            else if (handle == U_NULL_BRUSH)
                it = handles_.insert(handle, out_.NewObject(U_WMRCREATEBRUSHINDIRECT_set(
                                                 U_WLOGBRUSH_set(U_BS_NULL, Color(0), 0))));
            else
                return; // an object this drawing never made
        }
        out_.Add(U_WMRSELECTOBJECT_set(*it));
    }

    void Text(const TRecord &r)
    {
        // EMRTEXT at 36: reference point, count, string offset, options,
        // [rectangle unless U_ETO_NO_RECT], advance offset.
        const U_POINT16 at = Point(r, 36);
        const uint32_t count = r.U32(44), offString = r.U32(48), options = r.U32(52);
        const bool hasRect = !(options & U_ETO_NO_RECT);
        const uint32_t offDx = r.U32(hasRect ? 72 : 56);
        if (count > 0x7FFF)
            Bad("text too long");
        if (count == 0)
            return;
        const char *chars = r.Bytes(offString, count * 2);
        QString text(qsizetype(count), Qt::Uninitialized);
        for (uint32_t i = 0; i < count; ++i)
            text[i] = QChar(char16_t(qFromLittleEndian<quint16>(chars + 2 * i)));
        QByteArray bytes = UnicodeToWin1251(text);
        std::vector<int16_t> dx(count, 0);
        if (offDx != 0)
            for (uint32_t i = 0; i < count; ++i)
                dx[i] = int16_t(std::clamp(r.I32(offDx + 4 * i), -32768, 32767));
        U_RECT16 rect{0, 0, 0, 0};
        const uint16_t wmfOptions = uint16_t(options & (U_ETO_OPAQUE | U_ETO_CLIPPED));
        if (hasRect)
            rect = Rect(r, 56);
        out_.Add(U_WMREXTTEXTOUT_set(at, int16_t(count), wmfOptions, bytes.constData(), dx.data(), rect));
    }

    void Bitmap(const TRecord &r)
    {
        // rclBounds, xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmi, cbBmi,
        // offBits, cbBits, iUsage, dwRop, cxDest, cyDest.
        const U_POINT16 dest = Point(r, 24), src = Point(r, 32), cSrc = Point(r, 40);
        const uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
        const U_POINT16 cDest = Point(r, 72);
        if (cbBmi < 40)
            Bad("bitmap header");
        const auto *bmi = reinterpret_cast<const U_BITMAPINFO *>(r.Bytes(offBmi, cbBmi));
        // The record's size in words must fit its 32-bit field; pages are far smaller.
        out_.Add(U_WMRSTRETCHDIB_set(dest, cDest, src, cSrc, uint16_t(r.U32(64)), r.U32(68), bmi, cbBits,
                                     r.Bytes(offBits, cbBits)));
    }

    TWmfWriter out_;
    QHash<uint32_t, uint16_t> handles_;
};

} // namespace

QByteArray EmfToWmf(const QByteArray &emf)
{
    TConverter converter;
    return converter.Run(emf);
}

} // namespace zorbel
