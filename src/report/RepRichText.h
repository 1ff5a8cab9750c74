// Rich text on a band: the printables that lay a QTextDocument (the rich
// edit control, filled by the reader of RepRtf.h) out page by page.
//
// Layout: the document is laid out at the printing rectangle's width in
// pixels of the screen (96 per inch) and drawn scaled to the device. A
// "format range" from character position p fits the lines starting at or
// after p whose bottoms lie within the rectangle's height; its result is the
// first character of the first line that does not fit (the text length when
// all do), where the next page continues.
#pragma once

#include "report/RepCtrls.h"
#include "report/RepRtf.h"

#include <QTextDocument>
#include <memory>

namespace zorbel {

// Lays out and draws a document part by part.
class TRepRichLayout {
public:
    explicit TRepRichLayout(QTextDocument &doc) : doc_(doc) {}
    // Characters of the document (without the final paragraph mark).
    int Length() const;
    // The first character at or after from that does not fit into a box of
    // width x height screen pixels; Length() when everything fits, -1 when
    // nothing is left.
    int Measure(int from, double width, double height);
    // Draws the lines that Measure fits into target (device pixels); scale is
    // device pixels per screen pixel. Returns the first character not drawn.
    int Draw(TCanvas &canvas, int from, const QRect &target, double scale);
    // Forgets the cached layout.
    void Release() { width_ = -1; }

private:
    void LayoutAt(double width);
    QTextDocument &doc_;
    double width_ = -1;
};

class TRepCustomRichText : public TRepPrintable {
public:
    TRepCustomRichText();
    ~TRepCustomRichText() override;
    bool AutoStretch = false;
    QFont Font;
    // The document printed: the linked one when set, else the internal one.
    QTextDocument *LinkedRichEdit = nullptr;
    QTextDocument &RichEdit() { return *richEdit_; }
    int NextChar = 0;

    // The control's lines: rich text when they start with "{\rtf", plain text otherwise.
    void SetLines(const QByteArray &bytes);
    void Print(double x, double y) override;

protected:
    QTextDocument &Printed() { return LinkedRichEdit ? *LinkedRichEdit : *richEdit_; }

private:
    std::unique_ptr<QTextDocument> richEdit_;
};

class TRepDBRichText : public TRepCustomRichText {
public:
    TDataSet *DataSet = nullptr;
    QString DataField;
    TField *Field = nullptr;

    void Prepare() override;
    void Unprepare() override;
    void Print(double x, double y) override;
    bool GetExpandedHeight(double &pixels) override;
    QString GetFieldString();

private:
    // Copies a memo or blob field into the lines; errors leave them empty.
    void LoadField();
};

} // namespace zorbel
