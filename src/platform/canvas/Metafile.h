// Enhanced metafiles: report pages kept as standard EMF bytes that other
// programs read, a recorder that writes them from a TCanvas, a player that
// draws them onto any QPainter, and enumeration of their text records.
//
// An EMF is a sequence of little-endian records, each starting with its type
// and its size in bytes (a multiple of 4). The first is EMR_HEADER: bounds in
// reference-device pixels, the picture frame in 0.01 mm, the total byte count
// (nBytes), record and handle counts, and the reference device's size in
// pixels and millimetres; the last is EMR_EOF. The records are built and
// checked with libUEMF; this layer decides which records a drawing becomes
// and what a record means on a QPainter.
//
// The recorder's reference device is the screen at ScreenPixelsPerInch, so
// a page recorded W x H pixels has a frame of W x H / ScreenPixelsPerInch
// inches; readers scale the picture by its frame.
#pragma once

#include "platform/canvas/Graphics.h"
#include "platform/rtl/Exceptions.h"

#include <QByteArray>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace zorbel {

class TStream;

ZORBEL_EXCEPTION(EMetafileError, Exception);

// The bytes of one enhanced metafile and the size of its picture.
class TMetafile {
public:
    TMetafile() = default;

    bool Empty() const { return data_.isEmpty(); }
    const QByteArray &Data() const { return data_; }
    // Takes EMF bytes after checking their header and every record's length
    // and layout. Raises EMetafileError on anything malformed.
    void SetData(const QByteArray &data);

    // Picture size in reference-device pixels (from the frame).
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Writes the EMF bytes as they are.
    void SaveToStream(TStream &stream) const;
    // Reads exactly one EMF from the stream's position (its header says how
    // long it is), never more than limit bytes. Raises EMetafileError on a
    // malformed or truncated metafile.
    void LoadFromStream(TStream &stream, int64_t limit = INT64_MAX);

private:
    friend class TMetafileRecorder;
    // The recorder's own output: well-formed by construction, not checked again.
    void TakeRecorded(const QByteArray &data, int width, int height)
    {
        data_ = data;
        width_ = width;
        height_ = height;
    }

    QByteArray data_;
    int width_ = 0;
    int height_ = 0;
};

// Writes EMF records for the drawing calls of a TCanvas bound to it. Objects
// (pens, brushes, fonts) are created once per distinct value and selected as
// the drawing needs them.
//
// Usage: TMetafileRecorder rec(w, h); canvas.BeginRecording(&rec); ...draw...;
// TMetafile page = rec.Finish();
class TMetafileRecorder {
public:
    // A picture of width x height reference-device pixels.
    TMetafileRecorder(int width, int height);
    ~TMetafileRecorder();
    TMetafileRecorder(const TMetafileRecorder &) = delete;
    TMetafileRecorder &operator=(const TMetafileRecorder &) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }

    void UsePen(const TCanvas::TPen &pen);
    void UseBrush(const TCanvas::TBrush &brush);
    void UseNullPen();
    // A font in the default character set is recorded as Cyrillic (204).
    void UseFont(const QFont &font, int charset, TColor color);
    void UseTextAlign(unsigned align);

    void Rectangle(const QRect &box);
    void Ellipse(const QRect &box);
    void RoundRect(const QRect &box, QSize corner);
    void MoveTo(QPoint p);
    void LineTo(QPoint p);
    void Polyline(const QList<QPoint> &points);
    void Polygon(const QList<QPoint> &points);
    // Text at the reference point p; advances holds each character's advance
    // in pixels. clipped clips the text to box; opaque fills box with
    // background first.
    void TextOut(QPoint p, const QString &text, const std::vector<int> &advances, const QRect &box,
                 bool clipped, bool opaque, TColor background);
    void StretchDraw(const QRect &target, const QImage &image);

    // Ends the picture (EMR_EOF, header counts) and returns it. The recorder
    // is empty afterwards.
    TMetafile Finish();

private:
    struct Objects;
    void Append(char *record); // takes the record libUEMF allocated
    void Select(uint32_t handle);
    uint32_t NewHandle();

    int width_;
    int height_;
    QByteArray data_;
    uint32_t records_ = 0;
    uint32_t nextHandle_ = 1;
    std::unique_ptr<Objects> objects_;
};

// Draws the EMF bytes so that the picture's frame fills target. Raises
// EMetafileError on malformed data (nothing more is drawn then); records the
// player does not know are skipped.
void PlayMetafile(QPainter &painter, const QByteArray &emf, const QRectF &target);

// One text record of a metafile: its characters and the reference point and
// box in the picture's reference-device pixels.
struct TMetafileText {
    QString Text;
    QPointF Origin;
    QRectF Box;
};

// Calls visit for every text record in picture order. Raises EMetafileError
// on malformed data.
void EnumMetafileTexts(const QByteArray &emf, const std::function<void(const TMetafileText &)> &visit);

} // namespace zorbel
