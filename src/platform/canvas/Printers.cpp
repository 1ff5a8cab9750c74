// The printer device over QPrinter and the list of installed printers.
#include "platform/canvas/Printers.h"

#include "platform/system/SysPaths.h"

#include <QPrinterInfo>

namespace zorbel {

namespace {

// The one file the user last agreed to replace, until a document takes it.
QString &AgreedFile()
{
    static QString file;
    return file;
}

} // namespace

void TPrinter::AgreedToReplace(const QString &fileName) { AgreedFile() = fileName; }

std::function<bool(const QString &)> &TPrinter::ReplaceQuestion()
{
    static std::function<bool(const QString &)> question;
    return question;
}

bool TPrinter::MayBeginDoc()
{
    if (!Available())
        return false;
    if (outputFile_.isEmpty() || !PathExists(outputFile_) || AgreedFile() == outputFile_)
        return true;
    if (!ReplaceQuestion() || !ReplaceQuestion()(outputFile_))
        return false;
    AgreedFile() = outputFile_; // BeginDoc takes this yes
    return true;
}

TPrinter::TPrinter() : device_(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    // Drawing starts at the paper's corner; callers subtract the unprintable
    // offsets themselves.
    device_->setFullPage(true);
    printers_ = QPrinterInfo::availablePrinterNames();
    if (!printers_.isEmpty()) {
        const int def = int(printers_.indexOf(QPrinterInfo::defaultPrinterName()));
        SetPrinterIndex(def >= 0 ? def : 0);
    }
}

TPrinter::~TPrinter()
{
    if (painter_)
        Abort();
}

void TPrinter::SetPrinterIndex(int i)
{
    if (i < 0 || i >= printers_.size() || Printing())
        return;
    index_ = i;
    if (outputFile_.isEmpty())
        device_->setPrinterName(printers_[i]);
}

void TPrinter::SetOutputFile(const QString &fileName)
{
    outputFile_ = fileName;
    device_->setOutputFormat(fileName.isEmpty() ? QPrinter::NativeFormat : QPrinter::PdfFormat);
    device_->setOutputFileName(fileName);
    if (fileName.isEmpty() && index_ >= 0)
        device_->setPrinterName(printers_[index_]);
}

void TPrinter::TakeDeviceChoice()
{
    if (device_->outputFormat() == QPrinter::PdfFormat && !device_->outputFileName().isEmpty()) {
        SetOutputFile(device_->outputFileName());
        AgreedToReplace(outputFile_);
        return;
    }
    const int i = int(printers_.indexOf(device_->printerName()));
    if (i >= 0) {
        outputFile_.clear();
        SetPrinterIndex(i);
    }
}

void TPrinter::BeginDoc()
{
    if (painter_ || !MayBeginDoc())
        return;
    aborted_ = false;
    pages_ = 0;
    device_->setDocName(Title);
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(device_.get()))
        return;
    painter_ = std::move(painter);
    pages_ = 1;
    // The agreement is spent: a later document on the file asks again.
    if (!outputFile_.isEmpty() && AgreedFile() == outputFile_)
        AgreedFile().clear();
    canvas_.Begin(painter_.get());
}

void TPrinter::NewPage()
{
    if (!painter_)
        return;
    device_->newPage();
    ++pages_;
}

void TPrinter::EndDoc()
{
    if (!painter_)
        return;
    canvas_.Begin(nullptr);
    painter_->end();
    painter_.reset();
}

void TPrinter::Abort()
{
    if (!painter_)
        return;
    canvas_.Begin(nullptr);
    device_->abort();
    painter_->end();
    painter_.reset();
    aborted_ = true;
}

int TPrinter::PageWidth() const { return device_->width(); }
int TPrinter::PageHeight() const { return device_->height(); }
int TPrinter::DpiX() const { return device_->logicalDpiX(); }
int TPrinter::DpiY() const { return device_->logicalDpiY(); }

int TPrinter::PhysicalWidth() const
{
    return int(device_->paperRect(QPrinter::DevicePixel).width());
}

int TPrinter::PhysicalHeight() const
{
    return int(device_->paperRect(QPrinter::DevicePixel).height());
}

int TPrinter::OffsetX() const
{
    const QRectF paper = device_->paperRect(QPrinter::DevicePixel);
    return int(device_->pageRect(QPrinter::DevicePixel).left() - paper.left());
}

int TPrinter::OffsetY() const
{
    const QRectF paper = device_->paperRect(QPrinter::DevicePixel);
    return int(device_->pageRect(QPrinter::DevicePixel).top() - paper.top());
}

TPrinter &Printer()
{
    static TPrinter printer;
    return printer;
}

} // namespace zorbel
