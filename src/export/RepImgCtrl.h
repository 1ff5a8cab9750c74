// Extra printables: a horizontal rule, a shape the PDF writer draws as
// vectors, a picture, a picture from a dataset's blob field, and a one-line
// label that the HTML writer turns into a link. Each draws itself on the
// report's page and hands itself to the writers that know it.
//
// Sizes and positions are 0.1 mm like every printable's; a new control's
// default size is given in screen pixels (a rule 100 x 10, a picture
// 105 x 105) and converted at 96 pixels per inch. What a writer
// receives through PutGraphic is a stand-in of the control whose Size holds
// its device-pixel bounds (left, top, width, height) for the one call.
#pragma once

#include "export/ExportHtml.h"
#include "report/RepCtrls.h"
#include "report/RepReport.h"

#include <QStringList>
#include <functional>

namespace zorbel {

class TDataSet;
class TField;

using TRepShapeType = TRepShape::TShapeType;

class TRepHRule : public TRepPrintable, public TRepHTMLRuleSource {
public:
    TRepHRule();
    TCanvas::TBrush Brush{clWhite, TBrushStyle::bsSolid};
    TCanvas::TPen Pen;
    int VertAdjust = 0; // stored only

    void Print(double x, double y) override;
    void Paint(TCanvas &canvas) override;
    int RulePenWidth() const override { return Pen.Width; }
    TColor RuleColor() const override { return Pen.Color; }
};

class TRepPDFShape : public TRepPrintable {
public:
    TRepPDFShape();
    TCanvas::TBrush Brush{clWhite, TBrushStyle::bsSolid};
    TCanvas::TPen Pen;
    int VertAdjust = 0; // stored only
    TRepShapeType ShapeType = TRepShape::qrsRectangle;

    void Print(double x, double y) override;
    void Paint(TCanvas &canvas) override;
};

class TRepGrImage : public TRepPrintable {
public:
    TRepGrImage();
    TRepPicture Picture;
    bool Stretch = false, Center = false, ClipImage = false;

    // The control is opaque only when the picture is a bitmap covering it.
    void SetPicture(const TRepPicture &picture);
    void Print(double x, double y) override;
    void Paint(TCanvas &canvas) override;
    void StretchPicture(TCanvas &canvas, const QRect &rect) override { Picture.Draw(canvas, rect); }
};

enum class TFitMode : uint8_t { fmProportional, fmKeepWidth, fmKeepHeight, fmInsideProp };

class TRepGrDBImage : public TRepPrintable {
public:
    TRepGrDBImage();
    TDataSet *DataSet = nullptr;
    QString DataField;
    bool Stretch = false, Center = true, ClipImage = false;
    TFitMode FitMode = TFitMode::fmProportional;
    TField *Field = nullptr; // found by Prepare

    void Prepare() override;
    void Unprepare() override;
    void Print(double x, double y) override;
    void Paint(TCanvas &canvas) override;
    // The dataset is going away: the image forgets it.
    void DataSetRemoved(TDataSet *dataSet);
    // The picture of the current record; empty without a blob field or
    // when the field holds no picture.
    TRepPicture LoadPicture() const;
    void StretchPicture(TCanvas &canvas, const QRect &rect) override { LoadPicture().Draw(canvas, rect); }
};

enum class TLinkDef : uint8_t { ldHTTPJump, ldNameJump, ldNameLabel };

class TRepCustomHTMLLabel : public TRepPrintable, public TRepHTMLLinkSource {
public:
    using TRepLabelOnPrintEvent = std::function<void(TRepCustomHTMLLabel &sender, QString &value)>;
    TRepCustomHTMLLabel();

    QString LinkText;
    TLinkDef LinkType = TLinkDef::ldHTTPJump;
    TColor Flashcolor = 0; // stored only
    bool AutoSize = true, AutoStretch = false, WordWrap = true, ShowOnDocs = true;
    QFont Font;
    TColor FontColor = clBlack;
    bool RightToLeft = false;
    TRepLabelOnPrintEvent OnPrint; // stored only
    int StoredFontSize = 0;        // the stored form's "FontSize"

    const QString &Caption() const { return caption_; }
    void SetCaption(const QString &caption);
    void SetName(const QString &name);
    void SetFont(const QFont &font);
    // Applies the stored "FontSize" after loading when it is above 0.
    void Loaded() override;
    // The formatted lines (see FormatLines).
    const QStringList &Lines() const { return lines_; }
    // Breaks the caption into lines (only while the label lies on a band or
    // a report): every carriage return starts a paragraph, line feeds are
    // dropped; with AutoSize each paragraph is one line, else paragraphs are
    // wrapped at blanks and hyphens within the width. With AutoSize on a
    // report the width follows the widest line.
    void FormatLines();

    void Prepare() override;
    void Unprepare() override;
    void Print(double x, double y) override;
    void Paint(TCanvas &canvas) override;

    // What the HTML writer shows in place of the label's placeholder.
    QString LinkCaption() const override { return caption_; }
    QString LinkTarget() const override { return LinkText; }
    int LinkKind() const override { return int(LinkType); }

protected:
    virtual bool CaptionDriven() const { return true; }
    virtual void PrintLines(double x, double y) { (void)x, (void)y; }

private:
    double TextWidth(const QString &text) const; // 0.1 mm
    QString caption_;
    QStringList lines_;
    bool formatting_ = false;
};

class TRepHTMLLabel : public TRepCustomHTMLLabel {
protected:
    void PrintLines(double x, double y) override;
};

} // namespace zorbel
