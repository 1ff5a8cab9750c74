// The printables that put text and pictures on a band.
//
// Text: TRepCustomLabel wraps its text into lines that fit its width (in
// 0.1 mm, measured with the fonts actually drawn), prints them one under the
// other, grows its band line by line when AutoStretch is on and continues on
// the next page from the first line not printed (NextLineIndex), and hands
// every line to an attached export writer. TRepLabel shows a caption,
// TRepMemo fixed lines, TRepDBText a dataset field, TRepExpr an expression of
// the report's evaluator, TRepSysData the time, date, page, title or record
// numbers.
//
// Pictures: TRepImage shows a stored picture, TRepDBImage a picture read
// from a blob field (PNG, JPEG, BMP or anything Qt reads). TRepShape lives in
// RepReport.h because the run itself lends shapes to export writers.
#pragma once

#include "report/RepReport.h"

#include <QImage>
#include <QStringList>
#include <functional>

namespace zorbel {

class TField;

// A picture: a bitmap or an enhanced metafile (what rich text hands to
// export writers). Sizes are pixels of the screen (96 per inch).
class TRepPicture {
public:
    QImage Bitmap;
    TMetafile Metafile;
    bool Empty() const { return Bitmap.isNull() && Metafile.Empty(); }
    bool IsBitmap() const { return !Bitmap.isNull(); }
    int Width() const { return IsBitmap() ? Bitmap.width() : Metafile.Width(); }
    int Height() const { return IsBitmap() ? Bitmap.height() : Metafile.Height(); }
    void Clear() { *this = TRepPicture(); }
    // Reads any picture format Qt knows from bytes; false (and empty) when
    // the bytes hold no picture.
    bool LoadFromData(const QByteArray &bytes);
    // Draws the picture scaled into target; with clip non-empty only the
    // part inside clip is drawn.
    void Draw(TCanvas &canvas, const QRect &target, const QRect &clip = QRect()) const;
};

// ---- text ----

enum TRepSysDataType { qrsTime, qrsDate, qrsDateTime, qrsPageNumber, qrsReportTitle, qrsDetailCount, qrsDetailNo };

class TRepCustomLabel : public TRepPrintable {
public:
    using TRepLabelOnPrintEvent = std::function<void(TRepCustomLabel &sender, QString &value)>;
    TRepCustomLabel();

    QFont Font;
    TColor FontColor = clBlack;
    bool AutoSize = true, AutoStretch = false, WordWrap = true;
    bool RightToLeft = false; // BiDiMode bdRightToLeft
    QStringList Lines, WrappedLines;
    bool LinesValid = false;
    bool ResizeGuard = false;
    int FontSize = 0; // the streamed "FontSize"; 0 = none
    int NextLineIndex = 0;
    TRepLabelOnPrintEvent OnPrint;
    QString OutputText;

    QString Caption() const { return caption_; }
    // Sets the caption and the text printed, and wraps again.
    void SetCaption(const QString &caption);
    // The caption follows the name while it is empty or equal to the old name.
    void SetName(const QString &name);
    void SetFont(const QFont &font);
    // Applies a streamed font size above 0.
    void Loaded() override;
    void Paint(TCanvas &canvas) override;

    virtual bool UsesCaptionText() const { return true; }
    // Wraps the text into WrappedLines. A figure is never cut: no line breaks
    // inside a number, and a text holding a digit that would lose characters
    // to the box (word wrap off, a word wider than the box) is set on one line
    // per source line instead, printed in PrintFont.
    virtual void WrapText();
    // The font the lines print in: the label's font, or, where a figure is
    // wider than the box, that font reduced by whole points just enough for
    // the widest line and two blanks to fit, down to half its size (and not
    // below 4 pt), on the label's own baseline; what is still wider then
    // runs past the box on its aligned side.
    const QFont &PrintFont() const { return fitted_ ? fitFont_ : Font; }
    // Width of s in 0.1 mm in the label's font.
    double MeasureLine(const QString &s) const;
    // Height of a line (of "W") plus one unit, in 0.1 mm.
    double MinHeight() const;

    void Prepare() override;
    void Print(double x, double y) override;

protected:
    // The alignment after right-to-left mirroring.
    TAlignment MirroredAlignment() const;
    virtual bool MirrorsAlignment() const { return true; }

private:
    void WrapSourceLine(const QString &line);
    void AddWord(QString word);
    void EmitLine(const QString &line) { WrappedLines << line; }
    void PrintLines(double x, double y, double width, double height);
    // The source lines the text wraps from (CR apart, LF dropped).
    QStringList SourceLines() const;
    // Whether the text was one line and the wrapping kept it whole.
    bool WhollyWrapped() const;
    // Sets the source lines unwrapped and picks the fitting font.
    void KeepFiguresWhole(const QStringList &sources);
    QString caption_;
    QString lineInProgress_;
    bool lineClosed_ = false;
    bool fitted_ = false;
    QFont fitFont_;
};

class TRepLabel : public TRepCustomLabel {};

class TRepMemo : public TRepCustomLabel {
public:
    bool UsesCaptionText() const override { return false; }
    void Paint(TCanvas &canvas) override;
    void Print(double x, double y) override;
    bool GetExpandedHeight(double &pixels) override;
};

class TRepDBText : public TRepCustomLabel {
public:
    TDataSet *DataSet = nullptr;
    QString Mask;
    TField *Field = nullptr;
    int FieldIndex = -1;
    bool FieldFound = false;
    bool IsMemo = false;

    QString DataField() const { return dataField_; }
    void SetDataField(const QString &name);
    bool UsesCaptionText() const override { return !IsMemo; }
    void Prepare() override;
    void Print(double x, double y) override;
    void Unprepare() override;
    bool GetExpandedHeight(double &pixels) override;
    // The text the field gives for the current record (the lines for a memo).
    QString GetFieldString();

protected:
    bool MirrorsAlignment() const override;

private:
    void FetchField();
    // Fills OutputText or Lines from the field; never throws.
    void LoadFieldText();
    QString dataField_;
};

class TRepExpr : public TRepCustomLabel {
public:
    TRepExpr();
    TRepEvaluator Evaluator;
    QString Mask;
    TRepCustomController *Master = nullptr; // null: the report's own controller when aggregating
    bool ResetAfterPrint = false;

    QString Expression() const { return expression_; }
    void SetExpression(const QString &expression);
    void Prepare() override;
    void Print(double x, double y) override;
    void Notify(TRepCustomController &controller, int code) override;
    void Unprepare() override;
    // The evaluated value formatted by Mask.
    QString ValueText();

private:
    QString expression_;
};

class TRepSysData : public TRepCustomLabel {
public:
    TRepSysData();
    TRepSysDataType Data() const { return data_; }
    void SetData(TRepSysDataType data);
    QString Text() const { return text_; }
    void SetText(const QString &text);
    void Print(double x, double y) override;

private:
    void ShowKind();
    TRepSysDataType data_ = qrsTime;
    QString text_;
};

// ---- pictures ----

class TRepImage : public TRepPrintable {
public:
    TRepImage();
    TRepPicture Picture;
    bool AutoSize = false, Center = false, Stretch = false;
    // Applies AutoSize and opacity after the picture or a switch changed.
    void PictureChanged();
    void Print(double x, double y) override;
    void Paint(TCanvas &canvas) override;
    void StretchPicture(TCanvas &canvas, const QRect &rect) override { Picture.Draw(canvas, rect); }
};

class TRepDBImage : public TRepPrintable {
public:
    TRepDBImage();
    TDataSet *DataSet = nullptr;
    QString DataField;
    bool Center = true, Stretch = false;
    TField *Field = nullptr;

    void Prepare() override;
    void Print(double x, double y) override;
    void Unprepare() override;
    bool GetExpandedHeight(double &pixels) override;
    void Paint(TCanvas &canvas) override;
    // The picture of the current record; empty when the field is missing,
    // not a blob, or holds no picture.
    TRepPicture LoadPicture() const;
};

// Draws picture at its natural size (screen pixels converted through the
// printer's scales) into rect, centred when center is on, clipped to rect.
void DrawNaturalPicture(TCanvas &canvas, const TRepPicture &picture, const QRect &rect, bool center,
                        double xScale, double yScale);

// A picture control's design view in a client area of size: a dashed
// outline, then the picture stretched over the area (stretch), centred at
// its own size (center) or at its own size in the corner, scaled by zoom.
void PaintDesignPicture(TCanvas &canvas, const TRepPicture &picture, QSize size, bool stretch, bool center,
                        int zoom);

// A shape's design view: its figure drawn in a client area of size with
// the canvas pen and brush.
void PaintShapeFigure(TCanvas &canvas, TRepShape::TShapeType shape, QSize size, int roundCorner);

} // namespace zorbel
