// The metafile recorder: canvas calls become EMF records built by libUEMF.
//
// Record choice: pens EMR_CREATEPEN, brushes EMR_CREATEBRUSHINDIRECT (a clear
// brush is the stock NULL_BRUSH), fonts EMR_EXTCREATEFONTINDIRECTW with the
// character height as a negative lfHeight; text EMR_EXTTEXTOUTW with one
// advance per character; pictures EMR_STRETCHDIBITS of a 24-bit bottom-up
// DIB. Each distinct pen, brush and font is created once and kept for the
// whole picture; only a change of the selected one writes a record.
#include "platform/canvas/Metafile.h"

#include "platform/rtl/Streams.h"

#include <QHash>
#include <QImage>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <cstring>

extern "C" {
#include <uemf.h>
}

namespace zorbel {

namespace {

U_COLORREF ColorRef(TColor color)
{
    const QColor c = ColorToQColor(color);
    return colorref3_set(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
}

U_RECTL RectL(const QRect &r)
{
    U_RECTL out;
    out.left = r.left();
    out.top = r.top();
    out.right = r.left() + r.width();
    out.bottom = r.top() + r.height();
    return out;
}

U_RECTL BoundsOf(const QList<QPoint> &points)
{
    U_RECTL b{0, 0, 0, 0};
    if (points.isEmpty())
        return b;
    b.left = b.right = points[0].x();
    b.top = b.bottom = points[0].y();
    for (const QPoint &p : points) {
        b.left = std::min<int32_t>(b.left, p.x());
        b.right = std::max<int32_t>(b.right, p.x());
        b.top = std::min<int32_t>(b.top, p.y());
        b.bottom = std::max<int32_t>(b.bottom, p.y());
    }
    return b;
}

std::vector<U_POINTL> PointsL(const QList<QPoint> &points)
{
    std::vector<U_POINTL> out;
    out.reserve(points.size());
    for (const QPoint &p : points)
        out.push_back(point32_set(p.x(), p.y()));
    return out;
}

} // namespace

// Handles of the objects created so far, by the value they stand for.
struct TMetafileRecorder::Objects {
    QHash<QString, uint32_t> Pens, Brushes, Fonts;
    uint32_t Pen = U_BLACK_PEN, Brush = U_WHITE_BRUSH, Font = 0;
    int TextColor = -1;
    int TextAlign = -1;
    bool BkTransparent = false;
    QFont LastFont; // the font selected last, to skip the lookup when it repeats
    int LastCharset = -1;
};

TMetafileRecorder::TMetafileRecorder(int width, int height)
    : width_(std::max(1, width)), height_(std::max(1, height)), objects_(std::make_unique<Objects>())
{
    data_.reserve(16384);
    const U_RECTL bounds{0, 0, width_ - 1, height_ - 1};
    // Frame in 0.01 mm, reference device of ScreenPixelsPerInch.
    const U_RECTL frame{0, 0, int32_t(std::lround((width_ - 1) * 2540.0 / ScreenPixelsPerInch)),
                        int32_t(std::lround((height_ - 1) * 2540.0 / ScreenPixelsPerInch))};
    const U_SIZEL device = sizel_set(width_, height_);
    const U_SIZEL millimetres = sizel_set(int32_t(std::lround(width_ * 25.4 / ScreenPixelsPerInch)),
                                          int32_t(std::lround(height_ * 25.4 / ScreenPixelsPerInch)));
    Append(U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, device, millimetres, 0));
}

TMetafileRecorder::~TMetafileRecorder() = default;

void TMetafileRecorder::Append(char *record)
{
    if (!record)
        throw EOutOfMemory(QStringLiteral("Недостаточно памяти для страницы отчёта"));
    const uint32_t size = reinterpret_cast<const U_EMR *>(record)->nSize;
    data_.append(record, qsizetype(size));
    std::free(record);
    ++records_;
}

uint32_t TMetafileRecorder::NewHandle() { return nextHandle_++; }

void TMetafileRecorder::Select(uint32_t handle) { Append(U_EMRSELECTOBJECT_set(handle)); }

void TMetafileRecorder::UsePen(const TCanvas::TPen &pen)
{
    uint32_t handle;
    if (pen.Style == TPenStyle::psClear) {
        handle = U_NULL_PEN;
    } else {
        const QString key = QStringLiteral("%1/%2/%3").arg(pen.Color).arg(pen.Width).arg(int(pen.Style));
        auto it = objects_->Pens.find(key);
        if (it == objects_->Pens.end()) {
            const uint32_t style = pen.Style == TPenStyle::psDash  ? U_PS_DASH
                                   : pen.Style == TPenStyle::psDot ? U_PS_DOT
                                                                   : U_PS_SOLID;
            handle = NewHandle();
            U_POINT width{pen.Width, 0};
            Append(U_EMRCREATEPEN_set(handle, logpen_set(style, width, ColorRef(pen.Color))));
            objects_->Pens.insert(key, handle);
        } else {
            handle = *it;
        }
    }
    if (handle != objects_->Pen) {
        Select(handle);
        objects_->Pen = handle;
    }
}

void TMetafileRecorder::UseNullPen()
{
    if (objects_->Pen != U_NULL_PEN) {
        Select(U_NULL_PEN);
        objects_->Pen = U_NULL_PEN;
    }
}

void TMetafileRecorder::UseBrush(const TCanvas::TBrush &brush)
{
    uint32_t handle;
    if (brush.Style == TBrushStyle::bsClear) {
        handle = U_NULL_BRUSH;
    } else {
        const QString key = QString::number(brush.Color);
        auto it = objects_->Brushes.find(key);
        if (it == objects_->Brushes.end()) {
            handle = NewHandle();
            Append(U_EMRCREATEBRUSHINDIRECT_set(handle, logbrush_set(U_BS_SOLID, ColorRef(brush.Color), 0)));
            objects_->Brushes.insert(key, handle);
        } else {
            handle = *it;
        }
    }
    if (handle != objects_->Brush) {
        Select(handle);
        objects_->Brush = handle;
    }
}

void TMetafileRecorder::UseFont(const QFont &font, int charset, TColor color)
{
    // The default character set is the one of the program's texts: Cyrillic.
    // A reader that honours the field would show them as Latin-1 otherwise.
    if (charset == DEFAULT_CHARSET)
        charset = RUSSIAN_CHARSET;
    if (objects_->Font != 0 && charset == objects_->LastCharset && color == objects_->TextColor &&
        font == objects_->LastFont)
        return;
    objects_->LastFont = font;
    objects_->LastCharset = charset;
    const int height = FontPixelHeight(font);
    const QString key = QStringLiteral("%1/%2/%3/%4%5%6%7")
                            .arg(font.family())
                            .arg(height)
                            .arg(charset)
                            .arg(font.bold())
                            .arg(font.italic())
                            .arg(font.underline())
                            .arg(font.strikeOut());
    auto it = objects_->Fonts.find(key);
    uint32_t handle;
    if (it == objects_->Fonts.end()) {
        handle = NewHandle();
        uint16_t face[U_LF_FACESIZE] = {};
        const QString family = font.family().left(U_LF_FACESIZE - 1);
        for (int i = 0; i < family.size(); ++i)
            face[i] = family[i].unicode();
        const U_LOGFONT lf = logfont_set(-height, 0, 0, 0, font.bold() ? U_FW_BOLD : U_FW_NORMAL,
                                         font.italic() ? 1 : 0, font.underline() ? 1 : 0,
                                         font.strikeOut() ? 1 : 0, uint8_t(charset), U_OUT_DEFAULT_PRECIS,
                                         U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY,
                                         U_DEFAULT_PITCH | U_FF_DONTCARE, face);
        Append(U_EMREXTCREATEFONTINDIRECTW_set(handle, reinterpret_cast<const char *>(&lf), nullptr));
        objects_->Fonts.insert(key, handle);
    } else {
        handle = *it;
    }
    if (handle != objects_->Font) {
        Select(handle);
        objects_->Font = handle;
    }
    if (objects_->TextColor != color) {
        Append(U_EMRSETTEXTCOLOR_set(ColorRef(color)));
        objects_->TextColor = color;
    }
    if (!objects_->BkTransparent) {
        Append(U_EMRSETBKMODE_set(U_TRANSPARENT));
        objects_->BkTransparent = true;
    }
}

void TMetafileRecorder::UseTextAlign(unsigned align)
{
    if (objects_->TextAlign != int(align)) {
        Append(U_EMRSETTEXTALIGN_set(align));
        objects_->TextAlign = int(align);
    }
}

void TMetafileRecorder::Rectangle(const QRect &box) { Append(U_EMRRECTANGLE_set(RectL(box))); }

void TMetafileRecorder::Ellipse(const QRect &box) { Append(U_EMRELLIPSE_set(RectL(box))); }

void TMetafileRecorder::RoundRect(const QRect &box, QSize corner)
{
    Append(U_EMRROUNDRECT_set(RectL(box), sizel_set(corner.width(), corner.height())));
}

void TMetafileRecorder::MoveTo(QPoint p) { Append(U_EMRMOVETOEX_set(point32_set(p.x(), p.y()))); }

void TMetafileRecorder::LineTo(QPoint p) { Append(U_EMRLINETO_set(point32_set(p.x(), p.y()))); }

void TMetafileRecorder::Polyline(const QList<QPoint> &points)
{
    if (points.size() < 2)
        return;
    const std::vector<U_POINTL> pts = PointsL(points);
    Append(U_EMRPOLYLINE_set(BoundsOf(points), uint32_t(pts.size()), pts.data()));
}

void TMetafileRecorder::Polygon(const QList<QPoint> &points)
{
    if (points.size() < 3)
        return;
    const std::vector<U_POINTL> pts = PointsL(points);
    Append(U_EMRPOLYGON_set(BoundsOf(points), uint32_t(pts.size()), pts.data()));
}

void TMetafileRecorder::TextOut(QPoint p, const QString &text, const std::vector<int> &advances,
                                const QRect &box, bool clipped, bool opaque, TColor background)
{
    if (text.isEmpty())
        return;
    uint32_t options = 0;
    if (opaque) {
        Append(U_EMRSETBKCOLOR_set(ColorRef(background)));
        options |= U_ETO_OPAQUE;
    }
    if (clipped)
        options |= U_ETO_CLIPPED;
    std::vector<uint32_t> dx(advances.begin(), advances.end());
    dx.resize(size_t(text.size()), 0);
    char *emrtext = emrtext_set(point32_set(p.x(), p.y()), U_NUM_STR(text.size()), 2,
                                const_cast<char16_t *>(reinterpret_cast<const char16_t *>(text.utf16())),
                                options, RectL(box), dx.data());
    if (!emrtext)
        throw EOutOfMemory(QStringLiteral("Недостаточно памяти для страницы отчёта"));
    // Bounds: the text box as far as it is known.
    const int width = std::accumulate(advances.begin(), advances.end(), 0);
    const U_RECTL bounds{p.x(), p.y(), p.x() + width, p.y()};
    char *record = U_EMREXTTEXTOUTW_set(bounds, U_GM_COMPATIBLE, 1.0f, 1.0f,
                                        reinterpret_cast<PU_EMRTEXT>(emrtext));
    std::free(emrtext);
    Append(record);
}

void TMetafileRecorder::StretchDraw(const QRect &target, const QImage &image)
{
    if (image.isNull() || target.isEmpty())
        return;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const int w = rgb.width(), h = rgb.height();
    const int stride = (w * 3 + 3) & ~3;
    QByteArray pixels(qsizetype(stride) * h, '\0');
    // A DIB is bottom-up BGR with rows padded to four bytes.
    for (int y = 0; y < h; ++y) {
        const uchar *src = rgb.constScanLine(h - 1 - y);
        char *dst = pixels.data() + qsizetype(y) * stride;
        for (int x = 0; x < w; ++x) {
            dst[3 * x] = char(src[3 * x + 2]);
            dst[3 * x + 1] = char(src[3 * x + 1]);
            dst[3 * x + 2] = char(src[3 * x]);
        }
    }
    const U_BITMAPINFOHEADER header =
        bitmapinfoheader_set(w, h, 1, U_BCBM_COLOR24, U_BI_RGB, uint32_t(pixels.size()), 3780, 3780, 0, 0);
    PU_BITMAPINFO info = bitmapinfo_set(header, nullptr);
    char *record = U_EMRSTRETCHDIBITS_set(RectL(target), point32_set(target.left(), target.top()),
                                          point32_set(target.width(), target.height()), point32_set(0, 0),
                                          point32_set(w, h), U_DIB_RGB_COLORS, U_SRCCOPY, info,
                                          uint32_t(pixels.size()), pixels.data());
    std::free(info);
    Append(record);
}

TMetafile TMetafileRecorder::Finish()
{
    EMFTRACK track;
    std::memset(&track, 0, sizeof track);
    Append(U_EMREOF_set(0, nullptr, &track));
    auto *header = reinterpret_cast<U_EMRHEADER *>(data_.data());
    header->nBytes = uint32_t(data_.size());
    header->nRecords = records_;
    header->nHandles = uint16_t(nextHandle_);
    header->szlMicrometers = sizel_set(int32_t(std::lround(width_ * 25400.0 / ScreenPixelsPerInch)),
                                       int32_t(std::lround(height_ * 25400.0 / ScreenPixelsPerInch)));
    TMetafile out;
    out.TakeRecorded(data_, width_, height_);
    data_.clear();
    records_ = 0;
    return out;
}

} // namespace zorbel
