// Reading enhanced metafiles: checking them (TMetafile), drawing them on a
// QPainter (PlayMetafile) and listing their texts (EnumMetafileTexts).
//
// Every record is checked before use: its size is at least 8, a multiple of
// 4 and within the bytes left; libUEMF's U_emf_record_safe checks the
// record's inner offsets and counts against its size. The walk stops at
// EMR_EOF or at the header's nBytes, whichever comes first.
//
// Coordinates: a record's logical point goes through the world transform
// (SETWORLDTRANSFORM, MODIFYWORLDTRANSFORM), then the window-to-viewport
// mapping of the map mode (window and viewport origins and extents), giving
// reference-device pixels; the picture's frame (0.01 mm, converted with the
// header's device size in pixels and millimetres) is then stretched onto the
// target rectangle.
#include "platform/canvas/Metafile.h"

#include "platform/rtl/Streams.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <cmath>
#include <cstring>
#include <map>

extern "C" {
#include <uemf.h>
#include <uemf_safe.h>
}

namespace zorbel {

namespace {

[[noreturn]] void Bad(const QString &what) { throw EMetafileError(QStringLiteral("Invalid metafile: ") + what); }

template <typename T> T Field(const char *record, size_t offset)
{
    T value;
    std::memcpy(&value, record + offset, sizeof(T));
    return value;
}

QColor FromColorRef(U_COLORREF c) { return QColor(c.Red, c.Green, c.Blue); }

// The header's numbers the player needs; checked by ReadHeader.
struct Header {
    U_RECTL Bounds;
    U_RECTL Frame;
    uint32_t Bytes;
    double PxPerMmX, PxPerMmY;
    QRectF FramePx; // the frame in reference-device pixels
};

Header ReadHeader(const QByteArray &emf)
{
    if (emf.size() < qsizetype(88))
        Bad(QStringLiteral("too short"));
    const char *d = emf.constData();
    if (Field<uint32_t>(d, 0) != U_EMR_HEADER)
        Bad(QStringLiteral("no header record"));
    const uint32_t headerSize = Field<uint32_t>(d, 4);
    if (headerSize < 88 || headerSize % 4 || headerSize > uint32_t(emf.size()))
        Bad(QStringLiteral("bad header size"));
    if (Field<uint32_t>(d, 40) != U_ENHMETA_SIGNATURE)
        Bad(QStringLiteral("no EMF signature"));
    Header h;
    h.Bounds = Field<U_RECTL>(d, 8);
    h.Frame = Field<U_RECTL>(d, 24);
    h.Bytes = Field<uint32_t>(d, 48);
    if (h.Bytes < headerSize || h.Bytes > uint32_t(emf.size()) || h.Bytes % 4)
        Bad(QStringLiteral("bad length"));
    const U_SIZEL device = Field<U_SIZEL>(d, 72);
    U_SIZEL mm = Field<U_SIZEL>(d, 80);
    double mmScale = 1;
    if (headerSize >= 108) {
        // The device size in micrometres is the more precise one when present.
        const U_SIZEL um = Field<U_SIZEL>(d, 100);
        if (um.cx > 0 && um.cy > 0) {
            mm = um;
            mmScale = 1000;
        }
    }
    const double dpmm = ScreenPixelsPerInch / 25.4;
    h.PxPerMmX = device.cx > 0 && mm.cx > 0 ? device.cx * mmScale / mm.cx : dpmm;
    h.PxPerMmY = device.cy > 0 && mm.cy > 0 ? device.cy * mmScale / mm.cy : dpmm;
    const double fl = h.Frame.left / 100.0 * h.PxPerMmX, ft = h.Frame.top / 100.0 * h.PxPerMmY;
    const double fr = h.Frame.right / 100.0 * h.PxPerMmX, fb = h.Frame.bottom / 100.0 * h.PxPerMmY;
    if (fr > fl && fb > ft)
        h.FramePx = QRectF(fl, ft, fr - fl + 1, fb - ft + 1);
    else if (h.Bounds.right >= h.Bounds.left && h.Bounds.bottom >= h.Bounds.top)
        h.FramePx = QRectF(h.Bounds.left, h.Bounds.top, double(h.Bounds.right) - h.Bounds.left + 1,
                           double(h.Bounds.bottom) - h.Bounds.top + 1);
    else
        h.FramePx = QRectF(0, 0, 1, 1);
    return h;
}

// Calls visit(record, size, type) for every record after checking it.
template <typename Visit> void WalkRecords(const QByteArray &emf, const Header &h, Visit visit)
{
    const char *d = emf.constData();
    uint32_t pos = 0;
    while (pos < h.Bytes) {
        if (h.Bytes - pos < 8)
            Bad(QStringLiteral("truncated record"));
        const uint32_t type = Field<uint32_t>(d, pos);
        const uint32_t size = Field<uint32_t>(d, pos + 4);
        if (size < 8 || size % 4 || size > h.Bytes - pos)
            Bad(QStringLiteral("bad record size at %1").arg(pos));
        if (type >= U_EMR_MIN && type <= U_EMR_MAX && !U_emf_record_safe(d + pos))
            Bad(QStringLiteral("damaged record %1 at %2").arg(type).arg(pos));
        visit(d + pos, size, type);
        pos += size;
        if (type == U_EMR_EOF)
            return;
    }
}

// Graphic objects of the object table.
struct Object {
    enum Kind { None, Pen, Brush, Font } Kind = None;
    QPen PenValue;
    bool NullPen = false;
    QBrush BrushValue;
    QFont FontValue;
    double Ascent = 0, Descent = 0;
    double Escapement = 0; // degrees, counter-clockwise
};

// Device-context state that SAVEDC keeps and RESTOREDC brings back.
struct DcState {
    Object PenObj, BrushObj, FontObj;
    QColor TextColor = Qt::black, BkColor = Qt::white;
    bool BkOpaque = true;
    uint32_t TextAlign = 0;
    uint32_t MapMode = U_MM_TEXT;
    QPointF WinOrg, ViewOrg;
    QSizeF WinExt{1, 1}, ViewExt{1, 1};
    QTransform World;
    QPointF Pos;
    Qt::FillRule Fill = Qt::OddEvenFill;
};

Object DefaultFont()
{
    Object f;
    f.Kind = Object::Font;
    f.FontValue = QFont(QStringLiteral("Liberation Sans"));
    f.FontValue.setPixelSize(12);
    const QFontMetricsF m(f.FontValue);
    f.Ascent = m.ascent();
    f.Descent = m.descent();
    return f;
}

// How a text is drawn under the device transform: Qt's glyph cache renders
// each glyph as a bitmap under the transform and fails (it crashed) on
// glyphs of absurd device size or on transforms that squash one direction
// (a nearly singular matrix, as damaged records give): such text is filled
// as outlines. Text under a transform that is not finite, too small to see,
// or wholly off the page is not drawn at all.
enum class TTextRendering { Glyphs, Outlines, None };

TTextRendering TextRendering(const QTransform &device, int pixelSize, const QRectF &box, const QRectF &page)
{
    const double m[] = {device.m11(), device.m12(), device.m13(), device.m21(), device.m22(),
                        device.m23(), device.m31(), device.m32(), device.m33()};
    for (double v : m)
        if (!std::isfinite(v))
            return TTextRendering::None;
    // The singular values of the linear part: how much the transform
    // stretches the text in its most and its least stretched direction.
    const double a = device.m11(), b = device.m12(), c = device.m21(), d = device.m22();
    const double sum = a * a + b * b + c * c + d * d, det = std::abs(a * d - b * c);
    const double spread = std::sqrt(std::max(0.0, sum * sum - 4 * det * det));
    const double most = std::sqrt((sum + spread) / 2), least = det / std::max(most, 1e-300);
    const double glyph = pixelSize * std::sqrt(det);
    if (!std::isfinite(glyph) || glyph < 0.5 || least <= 0)
        return TTextRendering::None;
    const QRectF onDevice = device.mapRect(box);
    if (!std::isfinite(onDevice.left()) || !std::isfinite(onDevice.top()) || !std::isfinite(onDevice.width()) ||
        !std::isfinite(onDevice.height()) || (!page.isNull() && !onDevice.intersects(page)))
        return TTextRendering::None;
    if (pixelSize * most > 1000 || most / least > 8 || !device.isAffine())
        return TTextRendering::Outlines;
    return TTextRendering::Glyphs;
}

class Player {
public:
    Player(QPainter *painter, const Header &header, const QRectF &target,
           const std::function<void(const TMetafileText &)> *texts)
        : painter_(painter), header_(header), texts_(texts)
    {
        if (target.isValid())
            base_ = QTransform::fromTranslate(-header.FramePx.left(), -header.FramePx.top()) *
                    QTransform::fromScale(target.width() / header.FramePx.width(),
                                          target.height() / header.FramePx.height()) *
                    QTransform::fromTranslate(target.left(), target.top());
        if (painter_) {
            // The target is in device pixels. The page's records draw inside
            // it alone, whatever their coordinates say: the preview paints
            // its shadow and the thumbnails their neighbours around it. The
            // clip in force now is the one a record's "no clip region"
            // brings back.
            painter_->setTransform(QTransform());
            painter_->setClipRect(target, Qt::IntersectClip);
            pageClip_ = painter_->clipPath();
        }
        dc_.PenObj.Kind = Object::Pen;
        dc_.PenObj.PenValue = QPen(Qt::black, 0);
        dc_.BrushObj.Kind = Object::Brush;
        dc_.BrushObj.BrushValue = QBrush(Qt::white);
        dc_.FontObj = DefaultFont();
    }

    ~Player()
    {
        if (painter_)
            for (; saved_ > 0; --saved_)
                painter_->restore();
    }

    void Play(const char *r, uint32_t size, uint32_t type);

private:
    QPainter *painter_;
    Header header_;
    const std::function<void(const TMetafileText &)> *texts_;
    QTransform base_;        // the picture's frame to the target, in device pixels
    QPainterPath pageClip_;  // the target, within the caller's clip, in device pixels
    DcState dc_;
    std::vector<DcState> stack_;
    std::map<uint32_t, Object> objects_;
    int saved_ = 0;
    bool inPath_ = false;
    QPainterPath path_;

    // Logical units to reference-device pixels.
    QTransform Mapping() const
    {
        double sx = 1, sy = 1;
        QPointF wo = dc_.WinOrg, vo = dc_.ViewOrg;
        switch (dc_.MapMode) {
        case U_MM_ANISOTROPIC:
        case U_MM_ISOTROPIC:
            sx = dc_.WinExt.width() ? dc_.ViewExt.width() / dc_.WinExt.width() : 1;
            sy = dc_.WinExt.height() ? dc_.ViewExt.height() / dc_.WinExt.height() : 1;
            if (dc_.MapMode == U_MM_ISOTROPIC) {
                const double s = std::min(std::abs(sx), std::abs(sy));
                sx = std::copysign(s, sx);
                sy = std::copysign(s, sy);
            }
            break;
        case U_MM_LOMETRIC: sx = header_.PxPerMmX / 10; sy = -header_.PxPerMmY / 10; break;
        case U_MM_HIMETRIC: sx = header_.PxPerMmX / 100; sy = -header_.PxPerMmY / 100; break;
        case U_MM_LOENGLISH: sx = header_.PxPerMmX * 0.254; sy = -header_.PxPerMmY * 0.254; break;
        case U_MM_HIENGLISH: sx = header_.PxPerMmX * 0.0254; sy = -header_.PxPerMmY * 0.0254; break;
        case U_MM_TWIPS: sx = header_.PxPerMmX * 25.4 / 1440; sy = -header_.PxPerMmY * 25.4 / 1440; break;
        default: break;
        }
        return dc_.World * QTransform::fromTranslate(-wo.x(), -wo.y()) * QTransform::fromScale(sx, sy) *
               QTransform::fromTranslate(vo.x(), vo.y());
    }

    void Apply()
    {
        if (painter_)
            painter_->setTransform(Mapping() * base_);
    }

    void UsePenAndBrush(bool fill)
    {
        painter_->setPen(dc_.PenObj.NullPen ? QPen(Qt::NoPen) : dc_.PenObj.PenValue);
        painter_->setBrush(fill ? dc_.BrushObj.BrushValue : QBrush(Qt::NoBrush));
    }

    void DrawPath(const QPainterPath &p, bool fill)
    {
        if (inPath_) {
            path_.addPath(p);
            return;
        }
        if (!painter_)
            return;
        Apply();
        UsePenAndBrush(fill);
        painter_->drawPath(p);
    }

    void Select(uint32_t handle);
    void Text(const char *r, uint32_t size);
    void Bitmap(const char *r, uint32_t size);
    void Points(const char *r, uint32_t size, uint32_t type);
    void PolyPoints(const char *r, uint32_t size, uint32_t type);
};

void Player::Select(uint32_t handle)
{
    if (handle & U_STOCK_OBJECT) {
        const uint32_t stock = handle & 0x7FFFFFFF;
        if (stock <= 5) {
            static const Qt::GlobalColor greys[] = {Qt::white, Qt::lightGray, Qt::gray, Qt::darkGray, Qt::black};
            dc_.BrushObj.Kind = Object::Brush;
            dc_.BrushObj.BrushValue = stock == 5 ? QBrush(Qt::NoBrush) : QBrush(greys[stock]);
        } else if (stock <= 8) {
            dc_.PenObj.Kind = Object::Pen;
            dc_.PenObj.NullPen = stock == 8;
            dc_.PenObj.PenValue = QPen(stock == 6 ? Qt::white : Qt::black, 0);
        } else {
            dc_.FontObj = DefaultFont();
        }
        return;
    }
    auto it = objects_.find(handle);
    if (it == objects_.end())
        return;
    switch (it->second.Kind) {
    case Object::Pen: dc_.PenObj = it->second; break;
    case Object::Brush: dc_.BrushObj = it->second; break;
    case Object::Font: dc_.FontObj = it->second; break;
    default: break;
    }
}

QPen MakePen(uint32_t style, int32_t width, U_COLORREF color)
{
    QPen pen(FromColorRef(color), width <= 1 ? 0 : width);
    switch (style & U_PS_STYLE_MASK) {
    case U_PS_DASH: pen.setStyle(Qt::DashLine); break;
    case U_PS_DOT: pen.setStyle(Qt::DotLine); break;
    case U_PS_DASHDOT: pen.setStyle(Qt::DashDotLine); break;
    case U_PS_DASHDOTDOT: pen.setStyle(Qt::DashDotDotLine); break;
    default: break;
    }
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

Object MakeFont(const U_LOGFONT &lf)
{
    Object f;
    f.Kind = Object::Font;
    QString face;
    for (int i = 0; i < U_LF_FACESIZE && lf.lfFaceName[i]; ++i)
        face += QChar(lf.lfFaceName[i]);
    f.FontValue = QFont(face.isEmpty() ? QStringLiteral("Liberation Sans") : face);
    double em = lf.lfHeight < 0 ? -double(lf.lfHeight) : 0;
    if (lf.lfHeight > 0) {
        // A positive height is the cell height; find the em size that gives it.
        QFont probe = f.FontValue;
        probe.setPixelSize(100);
        em = lf.lfHeight * 100.0 / std::max(1.0, QFontMetricsF(probe).height());
    }
    if (em <= 0)
        em = 12;
    em = std::min(em, 4000.0);
    f.FontValue.setPixelSize(std::max(1, int(std::lround(em))));
    f.FontValue.setWeight(lf.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
    f.FontValue.setItalic(lf.lfItalic);
    f.FontValue.setUnderline(lf.lfUnderline);
    f.FontValue.setStrikeOut(lf.lfStrikeOut);
    const QFontMetricsF m(f.FontValue);
    f.Ascent = m.ascent();
    f.Descent = m.descent();
    f.Escapement = lf.lfEscapement / 10.0;
    return f;
}

void Player::Text(const char *r, uint32_t size)
{
    // EMREXTTEXTOUTW: emr, rclBounds, iGraphicsMode, exScale, eyScale, then
    // EMRTEXT: ptlReference, nChars, offString, fOptions, [rcl], offDx.
    constexpr size_t textAt = 36;
    if (size < textAt + 20)
        return;
    const U_POINTL ref = Field<U_POINTL>(r, textAt);
    const uint32_t count = Field<uint32_t>(r, textAt + 8);
    const uint32_t offString = Field<uint32_t>(r, textAt + 12);
    const uint32_t options = Field<uint32_t>(r, textAt + 16);
    if (count > size || offString > size || size - offString < uint64_t(count) * 2)
        Bad(QStringLiteral("text outside its record"));
    if (count == 0)
        return;
    QRectF rect;
    size_t next = textAt + 20;
    if (!(options & U_ETO_NO_RECT)) {
        if (size < next + 16)
            return;
        const U_RECTL rc = Field<U_RECTL>(r, next);
        rect = QRectF(QPointF(rc.left, rc.top), QPointF(rc.right, rc.bottom));
        next += 16;
    }
    std::vector<int32_t> dx;
    if (size >= next + 4) {
        const uint32_t offDx = Field<uint32_t>(r, next);
        if (offDx && offDx <= size && (size - offDx) / 4 >= count) {
            dx.resize(count);
            std::memcpy(dx.data(), r + offDx, size_t(count) * 4);
        }
    }
    QString text(qsizetype(count), Qt::Uninitialized);
    std::memcpy(text.data(), r + offString, size_t(count) * 2);

    const Object &font = dc_.FontObj;
    double width = 0;
    if (!dx.empty())
        for (int32_t a : dx)
            width += a;
    else
        width = QFontMetricsF(font.FontValue).horizontalAdvance(text);
    QPointF origin(ref.x, ref.y);
    if (dc_.TextAlign & U_TA_UPDATECP)
        origin = dc_.Pos;
    const uint32_t horizontal = dc_.TextAlign & U_TA_CENTER;
    double left = origin.x();
    if (horizontal == U_TA_CENTER)
        left -= width / 2;
    else if (horizontal == U_TA_RIGHT)
        left -= width;
    double baseline = origin.y();
    if ((dc_.TextAlign & U_TA_BASELINE) == U_TA_BASELINE)
        ;
    else if (dc_.TextAlign & U_TA_BOTTOM)
        baseline -= font.Descent;
    else
        baseline += font.Ascent;
    if (dc_.TextAlign & U_TA_UPDATECP)
        dc_.Pos = QPointF(horizontal == U_TA_RIGHT ? left : left + width, origin.y());

    const QTransform map = Mapping();
    if (texts_) {
        TMetafileText t;
        t.Text = text;
        t.Origin = map.map(origin);
        t.Box = map.mapRect(QRectF(left, baseline - font.Ascent, width, font.Ascent + font.Descent));
        (*texts_)(t);
    }
    if (!painter_)
        return;
    painter_->save();
    painter_->setTransform(map * base_);
    if ((options & U_ETO_OPAQUE) && rect.isValid())
        painter_->fillRect(rect, dc_.BkColor);
    else if (dc_.BkOpaque && !(options & U_ETO_OPAQUE))
        painter_->fillRect(QRectF(left, baseline - font.Ascent, width, font.Ascent + font.Descent), dc_.BkColor);
    if ((options & U_ETO_CLIPPED) && rect.isValid())
        painter_->setClipRect(rect, Qt::IntersectClip);
    painter_->setFont(font.FontValue);
    painter_->setPen(dc_.TextColor);
    if (font.Escapement != 0) {
        painter_->translate(origin);
        painter_->rotate(-font.Escapement);
        painter_->translate(-origin);
    }
    const double natural = QFontMetricsF(font.FontValue).horizontalAdvance(text);
    if (!dx.empty() && natural > 0 && std::abs(natural - width) > 0.02 * natural) {
        // Stretch the text to the span its writer measured.
        painter_->translate(left, 0);
        painter_->scale(width / natural, 1);
        painter_->translate(-left, 0);
    }
    // Drawn at the origin, so that the text engine's fixed-point positions
    // stay small whatever the record's coordinates.
    painter_->translate(left, baseline);
    const QRectF box(0, -font.Ascent, std::max(std::abs(width), natural), font.Ascent + font.Descent);
    switch (TextRendering(painter_->transform(), font.FontValue.pixelSize(), box, pageClip_.boundingRect())) {
    case TTextRendering::Glyphs: painter_->drawText(QPointF(0, 0), text); break;
    case TTextRendering::Outlines: {
        QPainterPath outline;
        outline.addText(QPointF(0, 0), font.FontValue, text);
        painter_->fillPath(outline, dc_.TextColor);
        break;
    }
    case TTextRendering::None: break;
    }
    painter_->restore();
}

void Player::Bitmap(const char *r, uint32_t size)
{
    if (!painter_ || size < sizeof(U_EMRSTRETCHDIBITS))
        return;
    U_EMRSTRETCHDIBITS rec;
    std::memcpy(&rec, r, sizeof rec);
    if (rec.cbBmiSrc < sizeof(U_BITMAPINFOHEADER) || rec.offBmiSrc > size || size - rec.offBmiSrc < rec.cbBmiSrc ||
        rec.offBitsSrc > size || size - rec.offBitsSrc < rec.cbBitsSrc)
        Bad(QStringLiteral("bitmap outside its record"));
    const U_BITMAPINFOHEADER bih = Field<U_BITMAPINFOHEADER>(r, rec.offBmiSrc);
    const int w = bih.biWidth, h = std::abs(bih.biHeight);
    if (w <= 0 || h <= 0 || w > 30000 || h > 30000 || bih.biCompression != U_BI_RGB)
        return;
    const int bits = bih.biBitCount;
    if (bits != 24 && bits != 32 && bits != 8 && bits != 1 && bits != 4)
        return;
    const uint64_t stride = ((uint64_t(w) * bits + 31) / 32) * 4;
    if (stride * h > rec.cbBitsSrc)
        Bad(QStringLiteral("bitmap shorter than its size"));
    const char *palette = r + rec.offBmiSrc + bih.biSize;
    uint32_t colours = bits <= 8 ? (bih.biClrUsed ? bih.biClrUsed : (1u << bits)) : 0;
    if (bih.biSize > rec.cbBmiSrc || colours > (rec.cbBmiSrc - bih.biSize) / 4)
        colours = 0;
    QImage image(w, h, QImage::Format_RGB32);
    const uchar *px = reinterpret_cast<const uchar *>(r + rec.offBitsSrc);
    for (int y = 0; y < h; ++y) {
        const uchar *row = px + stride * uint64_t(bih.biHeight > 0 ? h - 1 - y : y);
        QRgb *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (bits >= 24) {
                const uchar *p = row + x * (bits / 8);
                out[x] = qRgb(p[2], p[1], p[0]);
            } else {
                const int perByte = 8 / bits;
                const uint32_t index = (row[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & ((1u << bits) - 1);
                if (index < colours) {
                    const uchar *c = reinterpret_cast<const uchar *>(palette + index * 4);
                    out[x] = qRgb(c[2], c[1], c[0]);
                } else {
                    out[x] = index ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
                }
            }
        }
    }
    Apply();
    const QRectF dest(rec.Dest.x, rec.Dest.y, rec.cDest.x, rec.cDest.y);
    const QRectF src(rec.Src.x, rec.Src.y, rec.cSrc.x, rec.cSrc.y);
    painter_->drawImage(dest, image, src.isValid() ? src : QRectF(image.rect()));
}

// POLYGON/POLYLINE/POLYBEZIER and their TO and 16-bit forms: rclBounds, count, points.
void Player::Points(const char *r, uint32_t size, uint32_t type)
{
    const bool small = type >= U_EMR_POLYBEZIER16;
    const uint32_t count = Field<uint32_t>(r, 24);
    const size_t each = small ? 4 : 8;
    if (count > (size - 28) / each)
        Bad(QStringLiteral("points outside their record"));
    QPolygonF pts;
    pts.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (small) {
            const U_POINT16 p = Field<U_POINT16>(r, 28 + i * 4);
            pts << QPointF(p.x, p.y);
        } else {
            const U_POINTL p = Field<U_POINTL>(r, 28 + i * 8);
            pts << QPointF(p.x, p.y);
        }
    }
    if (pts.isEmpty())
        return;
    const uint32_t base = small ? type - U_EMR_POLYBEZIER16 + U_EMR_POLYBEZIER : type;
    const bool to = base == U_EMR_POLYBEZIERTO || base == U_EMR_POLYLINETO;
    const bool bezier = base == U_EMR_POLYBEZIER || base == U_EMR_POLYBEZIERTO;
    QPainterPath p;
    int first = 0;
    if (to)
        p.moveTo(dc_.Pos);
    else
        p.moveTo(pts[first++]);
    if (bezier) {
        for (int i = first; i + 2 < pts.size(); i += 3)
            p.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    } else {
        for (int i = first; i < pts.size(); ++i)
            p.lineTo(pts[i]);
    }
    if (to)
        dc_.Pos = pts.last();
    if (base == U_EMR_POLYGON) {
        p.closeSubpath();
        p.setFillRule(dc_.Fill);
    }
    if (inPath_ && to) {
        path_.lineTo(p.elementAt(0).x, p.elementAt(0).y);
        path_.connectPath(p);
        return;
    }
    DrawPath(p, base == U_EMR_POLYGON);
}

// POLYPOLYLINE/POLYPOLYGON (and 16-bit): rclBounds, nPolys, cpts, counts[], points[].
void Player::PolyPoints(const char *r, uint32_t size, uint32_t type)
{
    const bool small = type >= U_EMR_POLYBEZIER16;
    const uint32_t polys = Field<uint32_t>(r, 24);
    const uint32_t total = Field<uint32_t>(r, 28);
    const size_t each = small ? 4 : 8;
    if (polys > (size - 32) / 4 || total > (size - 32 - polys * 4) / each)
        Bad(QStringLiteral("points outside their record"));
    const size_t pointsAt = 32 + size_t(polys) * 4;
    QPainterPath p;
    p.setFillRule(dc_.Fill);
    uint64_t used = 0;
    for (uint32_t k = 0; k < polys; ++k) {
        const uint32_t n = Field<uint32_t>(r, 32 + k * 4);
        if (n > total - used)
            Bad(QStringLiteral("polygon counts exceed the points"));
        for (uint32_t i = 0; i < n; ++i) {
            QPointF pt;
            if (small) {
                const U_POINT16 q = Field<U_POINT16>(r, pointsAt + (used + i) * 4);
                pt = QPointF(q.x, q.y);
            } else {
                const U_POINTL q = Field<U_POINTL>(r, pointsAt + (used + i) * 8);
                pt = QPointF(q.x, q.y);
            }
            if (i == 0)
                p.moveTo(pt);
            else
                p.lineTo(pt);
        }
        const bool polygon = type == U_EMR_POLYPOLYGON || type == U_EMR_POLYPOLYGON16;
        if (polygon && n)
            p.closeSubpath();
        used += n;
    }
    DrawPath(p, type == U_EMR_POLYPOLYGON || type == U_EMR_POLYPOLYGON16);
}

void Player::Play(const char *r, uint32_t size, uint32_t type)
{
    switch (type) {
    case U_EMR_POLYBEZIER: case U_EMR_POLYGON: case U_EMR_POLYLINE: case U_EMR_POLYBEZIERTO:
    case U_EMR_POLYLINETO: case U_EMR_POLYBEZIER16: case U_EMR_POLYGON16: case U_EMR_POLYLINE16:
    case U_EMR_POLYBEZIERTO16: case U_EMR_POLYLINETO16:
        if (size >= 28)
            Points(r, size, type);
        break;
    case U_EMR_POLYPOLYLINE: case U_EMR_POLYPOLYGON: case U_EMR_POLYPOLYLINE16: case U_EMR_POLYPOLYGON16:
        if (size >= 32)
            PolyPoints(r, size, type);
        break;
    case U_EMR_SETWINDOWEXTEX: {
        const U_SIZEL s = Field<U_SIZEL>(r, 8);
        dc_.WinExt = QSizeF(s.cx, s.cy);
        break;
    }
    case U_EMR_SETWINDOWORGEX: {
        const U_POINTL p = Field<U_POINTL>(r, 8);
        dc_.WinOrg = QPointF(p.x, p.y);
        break;
    }
    case U_EMR_SETVIEWPORTEXTEX: {
        const U_SIZEL s = Field<U_SIZEL>(r, 8);
        dc_.ViewExt = QSizeF(s.cx, s.cy);
        break;
    }
    case U_EMR_SETVIEWPORTORGEX: {
        const U_POINTL p = Field<U_POINTL>(r, 8);
        dc_.ViewOrg = QPointF(p.x, p.y);
        break;
    }
    case U_EMR_SETMAPMODE: dc_.MapMode = Field<uint32_t>(r, 8); break;
    case U_EMR_SETBKMODE: dc_.BkOpaque = Field<uint32_t>(r, 8) == U_OPAQUE; break;
    case U_EMR_SETPOLYFILLMODE:
        dc_.Fill = Field<uint32_t>(r, 8) == U_WINDING ? Qt::WindingFill : Qt::OddEvenFill;
        break;
    case U_EMR_SETTEXTALIGN: dc_.TextAlign = Field<uint32_t>(r, 8); break;
    case U_EMR_SETTEXTCOLOR: dc_.TextColor = FromColorRef(Field<U_COLORREF>(r, 8)); break;
    case U_EMR_SETBKCOLOR: dc_.BkColor = FromColorRef(Field<U_COLORREF>(r, 8)); break;
    case U_EMR_MOVETOEX: {
        const U_POINTL p = Field<U_POINTL>(r, 8);
        dc_.Pos = QPointF(p.x, p.y);
        if (inPath_)
            path_.moveTo(dc_.Pos);
        break;
    }
    case U_EMR_LINETO: {
        const U_POINTL p = Field<U_POINTL>(r, 8);
        const QPointF to(p.x, p.y);
        if (inPath_) {
            path_.lineTo(to);
        } else if (painter_ && !dc_.PenObj.NullPen) {
            Apply();
            painter_->setPen(dc_.PenObj.PenValue);
            painter_->drawLine(dc_.Pos, to);
        }
        dc_.Pos = to;
        break;
    }
    case U_EMR_INTERSECTCLIPRECT:
        if (painter_) {
            const U_RECTL c = Field<U_RECTL>(r, 8);
            Apply();
            painter_->setClipRect(QRectF(QPointF(c.left, c.top), QPointF(c.right, c.bottom)), Qt::IntersectClip);
        }
        break;
    case U_EMR_EXTSELECTCLIPRGN:
        // Only "no region" (the page's clip) is understood; other regions keep the clip.
        if (painter_ && size >= 16 && Field<uint32_t>(r, 8) == 0 && Field<uint32_t>(r, 12) == U_RGN_COPY) {
            painter_->setTransform(QTransform());
            painter_->setClipPath(pageClip_, Qt::ReplaceClip);
        }
        break;
    case U_EMR_SAVEDC:
        stack_.push_back(dc_);
        if (painter_) {
            painter_->save();
            ++saved_;
        }
        break;
    case U_EMR_RESTOREDC: {
        const int32_t rel = Field<int32_t>(r, 8);
        for (int32_t i = 0; i < -rel && !stack_.empty(); ++i) {
            dc_ = stack_.back();
            stack_.pop_back();
            if (painter_ && saved_ > 0) {
                painter_->restore();
                --saved_;
            }
        }
        break;
    }
    case U_EMR_SETWORLDTRANSFORM: {
        const U_XFORM x = Field<U_XFORM>(r, 8);
        dc_.World = QTransform(x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy);
        break;
    }
    case U_EMR_MODIFYWORLDTRANSFORM: {
        const U_XFORM x = Field<U_XFORM>(r, 8);
        const QTransform t(x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy);
        const uint32_t mode = Field<uint32_t>(r, 32);
        if (mode == U_MWT_IDENTITY)
            dc_.World = QTransform();
        else if (mode == U_MWT_LEFTMULTIPLY)
            dc_.World = t * dc_.World;
        else if (mode == U_MWT_RIGHTMULTIPLY)
            dc_.World = dc_.World * t;
        else if (mode == 4) // MWT_SET
            dc_.World = t;
        break;
    }
    case U_EMR_SELECTOBJECT: Select(Field<uint32_t>(r, 8)); break;
    case U_EMR_CREATEPEN: {
        const uint32_t handle = Field<uint32_t>(r, 8);
        const U_LOGPEN lp = Field<U_LOGPEN>(r, 12);
        Object o;
        o.Kind = Object::Pen;
        o.NullPen = (lp.lopnStyle & U_PS_STYLE_MASK) == U_PS_NULL;
        o.PenValue = MakePen(lp.lopnStyle, lp.lopnWidth.x, lp.lopnColor);
        objects_[handle] = o;
        break;
    }
    case U_EMR_EXTCREATEPEN: {
        if (size < sizeof(U_EMREXTCREATEPEN))
            break;
        U_EMREXTCREATEPEN rec;
        std::memcpy(&rec, r, sizeof rec);
        Object o;
        o.Kind = Object::Pen;
        o.NullPen = (rec.elp.elpPenStyle & U_PS_STYLE_MASK) == U_PS_NULL;
        o.PenValue = MakePen(rec.elp.elpPenStyle, int32_t(rec.elp.elpWidth), rec.elp.elpColor);
        objects_[rec.ihPen] = o;
        break;
    }
    case U_EMR_CREATEBRUSHINDIRECT: {
        const uint32_t handle = Field<uint32_t>(r, 8);
        const U_LOGBRUSH lb = Field<U_LOGBRUSH>(r, 12);
        Object o;
        o.Kind = Object::Brush;
        o.BrushValue = lb.lbStyle == U_BS_NULL ? QBrush(Qt::NoBrush) : QBrush(FromColorRef(lb.lbColor));
        objects_[handle] = o;
        break;
    }
    case U_EMR_EXTCREATEFONTINDIRECTW:
        if (size >= 12 + sizeof(U_LOGFONT))
            objects_[Field<uint32_t>(r, 8)] = MakeFont(Field<U_LOGFONT>(r, 12));
        break;
    case U_EMR_DELETEOBJECT: objects_.erase(Field<uint32_t>(r, 8)); break;
    case U_EMR_RECTANGLE:
    case U_EMR_ELLIPSE:
    case U_EMR_ROUNDRECT: {
        const U_RECTL b = Field<U_RECTL>(r, 8);
        const QRectF box(QPointF(b.left, b.top), QPointF(b.right, b.bottom));
        QPainterPath p;
        if (type == U_EMR_ELLIPSE) {
            p.addEllipse(box);
        } else if (type == U_EMR_ROUNDRECT && size >= 32) {
            const U_SIZEL c = Field<U_SIZEL>(r, 24);
            p.addRoundedRect(box, c.cx / 2.0, c.cy / 2.0);
        } else {
            // The interior is filled over the whole box; the outline lies inside it.
            if (painter_ && !inPath_) {
                Apply();
                painter_->fillRect(box, dc_.BrushObj.BrushValue);
                if (!dc_.PenObj.NullPen) {
                    const double w = std::max(1.0, dc_.PenObj.PenValue.widthF());
                    painter_->setPen(dc_.PenObj.PenValue);
                    painter_->setBrush(Qt::NoBrush);
                    painter_->drawRect(box.adjusted(w / 2, w / 2, -w / 2, -w / 2));
                }
                break;
            }
            p.addRect(box);
        }
        DrawPath(p, true);
        break;
    }
    case U_EMR_BEGINPATH:
        inPath_ = true;
        path_ = QPainterPath();
        path_.setFillRule(dc_.Fill);
        break;
    case U_EMR_ENDPATH: inPath_ = false; break;
    case U_EMR_CLOSEFIGURE:
        if (inPath_)
            path_.closeSubpath();
        break;
    case U_EMR_ABORTPATH:
        inPath_ = false;
        path_ = QPainterPath();
        break;
    case U_EMR_FILLPATH:
    case U_EMR_STROKEANDFILLPATH:
    case U_EMR_STROKEPATH:
        if (painter_) {
            Apply();
            painter_->setPen(type == U_EMR_FILLPATH || dc_.PenObj.NullPen ? QPen(Qt::NoPen) : dc_.PenObj.PenValue);
            painter_->setBrush(type == U_EMR_STROKEPATH ? QBrush(Qt::NoBrush) : dc_.BrushObj.BrushValue);
            painter_->drawPath(path_);
        }
        path_ = QPainterPath();
        break;
    case U_EMR_SELECTCLIPPATH:
        if (painter_) {
            Apply();
            painter_->setClipPath(path_, Qt::IntersectClip);
        }
        path_ = QPainterPath();
        break;
    case U_EMR_STRETCHDIBITS: Bitmap(r, size); break;
    case U_EMR_EXTTEXTOUTW: Text(r, size); break;
    default: break; // records without a visible effect here
    }
}

} // namespace

void TMetafile::SetData(const QByteArray &data)
{
    const Header h = ReadHeader(data);
    bool ended = false;
    WalkRecords(data, h, [&](const char *, uint32_t, uint32_t type) {
        if (type == U_EMR_EOF)
            ended = true;
    });
    if (!ended)
        Bad(QStringLiteral("no end record"));
    data_ = data.left(qsizetype(h.Bytes));
    width_ = int(std::lround(h.FramePx.width()));
    height_ = int(std::lround(h.FramePx.height()));
}

void TMetafile::SaveToStream(TStream &stream) const { stream.WriteBuffer(data_.constData(), data_.size()); }

void TMetafile::LoadFromStream(TStream &stream, int64_t limit)
{
    char head[88];
    if (limit < int64_t(sizeof head) || stream.Read(head, sizeof head) != int64_t(sizeof head))
        Bad(QStringLiteral("truncated header"));
    const uint32_t bytes = Field<uint32_t>(head, 48);
    if (Field<uint32_t>(head, 0) != U_EMR_HEADER || Field<uint32_t>(head, 40) != U_ENHMETA_SIGNATURE)
        Bad(QStringLiteral("no EMF header"));
    if (bytes < sizeof head || bytes > limit || bytes > (1u << 30))
        Bad(QStringLiteral("bad length"));
    QByteArray data(qsizetype(bytes), Qt::Uninitialized);
    std::memcpy(data.data(), head, sizeof head);
    const int64_t rest = int64_t(bytes) - int64_t(sizeof head);
    if (stream.Read(data.data() + sizeof head, rest) != rest)
        Bad(QStringLiteral("truncated"));
    SetData(data);
}

void PlayMetafile(QPainter &painter, const QByteArray &emf, const QRectF &target)
{
    const Header h = ReadHeader(emf);
    painter.save();
    try {
        Player player(&painter, h, target, nullptr);
        WalkRecords(emf, h, [&](const char *r, uint32_t size, uint32_t type) { player.Play(r, size, type); });
    } catch (...) {
        painter.restore();
        throw;
    }
    painter.restore();
}

void EnumMetafileTexts(const QByteArray &emf, const std::function<void(const TMetafileText &)> &visit)
{
    const Header h = ReadHeader(emf);
    Player player(nullptr, h, QRectF(), &visit);
    WalkRecords(emf, h, [&](const char *r, uint32_t size, uint32_t type) {
        if (type == U_EMR_EXTTEXTOUTW || type == U_EMR_SETTEXTALIGN || type == U_EMR_SELECTOBJECT ||
            type == U_EMR_EXTCREATEFONTINDIRECTW || type == U_EMR_DELETEOBJECT || type == U_EMR_SETWINDOWEXTEX ||
            type == U_EMR_SETWINDOWORGEX || type == U_EMR_SETVIEWPORTEXTEX || type == U_EMR_SETVIEWPORTORGEX ||
            type == U_EMR_SETMAPMODE || type == U_EMR_SETWORLDTRANSFORM || type == U_EMR_MODIFYWORLDTRANSFORM ||
            type == U_EMR_SAVEDC || type == U_EMR_RESTOREDC || type == U_EMR_MOVETOEX)
            player.Play(r, size, type);
    });
}

} // namespace zorbel
