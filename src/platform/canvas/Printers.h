// The printer device: the list of installed printers,
// the selected one, and a document of pages drawn through a TCanvas. It wraps
// QPrinter (CUPS here).
//
// With no printer installed the object still exists, Available() is false and
// documents do nothing. A PDF file may stand in for the device
// (SetOutputFile): it counts as an available printer, so a print can be
// checked without one; a machine without printers prints into PDF files.
//
// A document never replaces a file the user has not agreed to lose: when
// the output file exists, BeginDoc goes on only after the user agreed to
// replace it, in the print dialog that named it (AgreedToReplace) or in the
// ReplaceQuestion asked then; each agreement lets one document through.
#pragma once

#include "platform/canvas/Graphics.h"

#include <QPainter>
#include <QPrinter>
#include <QStringList>
#include <functional>
#include <memory>

namespace zorbel {

class TPrinter {
public:
    TPrinter();
    ~TPrinter();
    TPrinter(const TPrinter &) = delete;
    TPrinter &operator=(const TPrinter &) = delete;

    // Names of the installed printers (empty with a PDF file device).
    const QStringList &Printers() const { return printers_; }
    // The selected printer, -1 when none.
    int PrinterIndex() const { return index_; }
    // Selects printer i of Printers(); ignored when out of range.
    void SetPrinterIndex(int i);

    // Prints into this PDF file instead of a printer; empty returns to the
    // printers.
    void SetOutputFile(const QString &fileName);
    const QString &OutputFile() const { return outputFile_; }
    // Takes over what a system print dialog chose on Device(): a PDF file
    // becomes the output file (agreed to replace: the dialog asked), an
    // installed printer the selected one.
    void TakeDeviceChoice();
    // A printer (or a PDF file device) can take a document.
    bool Available() const { return index_ >= 0 || !outputFile_.isEmpty(); }
    // Whether the next document may begin: the device is available and its
    // output, when a file that exists, may be replaced (asked at most once:
    // after a yes, BeginDoc does not ask again).
    bool MayBeginDoc();
    // The user agreed to replace fileName in the dialog that named it (the
    // print dialog asks before it takes a file that exists): the next
    // document begun on it replaces it without a question.
    static void AgreedToReplace(const QString &fileName);
    // Asks the user whether the existing fileName may be replaced; true for
    // yes. Set by the program's windows; unset, no file is replaced.
    static std::function<bool(const QString &fileName)> &ReplaceQuestion();

    // The job title of the next document.
    QString Title;

    // Document: BeginDoc opens it and page 1; NewPage starts the next page;
    // EndDoc finishes it; Abort drops it. Without a device, or when the user
    // keeps an existing output file (MayBeginDoc), they do nothing.
    void BeginDoc();
    void NewPage();
    void EndDoc();
    void Abort();
    bool Printing() const { return painter_ != nullptr; }
    bool Aborted() const { return aborted_; }
    // Pages started in the current or last document.
    int PageCount() const { return pages_; }

    // The canvas of the page being printed (unbound outside a document).
    TCanvas &Canvas() { return canvas_; }

    // Device measures in device pixels: the printable page, the resolution,
    // the physical page and the unprintable offsets.
    int PageWidth() const;
    int PageHeight() const;
    int DpiX() const;
    int DpiY() const;
    int PhysicalWidth() const;
    int PhysicalHeight() const;
    int OffsetX() const;
    int OffsetY() const;

    // The Qt device: paper, orientation, copies, duplex and bin are set on it.
    QPrinter &Device() { return *device_; }

private:
    QStringList printers_;
    int index_ = -1;
    QString outputFile_;
    std::unique_ptr<QPrinter> device_;
    std::unique_ptr<QPainter> painter_;
    TCanvas canvas_;
    bool aborted_ = false;
    int pages_ = 0;
};

// The application's global printer object.
TPrinter &Printer();

} // namespace zorbel
