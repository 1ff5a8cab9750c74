#include "report/RepPreview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <cmath>

namespace zorbel {

namespace {
int Round(double v) { return int(std::lround(v)); }
// The page shown without a printer: a US letter taken as pixels.
constexpr double kDefaultWidth = 215.9, kDefaultLength = 279.4;
} // namespace

// ---- page image ----

TRepPreviewImage::TRepPreviewImage(QWidget *parent) : QWidget(parent)
{
    resize(100, 50);
    setMouseTracking(true);
}

void TRepPreviewImage::LoadPage(int n)
{
    PageNumber = n;
    metafile_.reset();
    if (Printer)
        metafile_ = Printer->GetPageMetafile(n);
    update();
}

void TRepPreviewImage::PaintPage(QPainter &painter, const QRect &rect) const
{
    PaintRepPage(painter, rect, metafile_.get());
}

void PaintRepPage(QPainter &painter, const QRect &rect, const TMetafile *page)
{
    const int l = rect.left(), t = rect.top(), r = rect.right() + 1, b = rect.bottom() + 1;
    // 1. The sheet.
    painter.setPen(Qt::white);
    painter.setBrush(Qt::white);
    painter.drawRect(QRect(QPoint(l + 1, t + 1), QPoint(r - 4, b - 4)));
    // 2. The page.
    if (page) {
        try {
            PlayMetafile(painter, page->Data(), QRectF(rect));
        } catch (const EMetafileError &) {
            // A damaged page shows as a blank sheet.
        }
    }
    // 3. The outline.
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygon({QPoint(l, t), QPoint(l, b - 3), QPoint(r - 3, b - 3), QPoint(r - 3, t), QPoint(l, t)}));
    // 4. The shadow.
    painter.fillRect(QRect(QPoint(r - 2, t + 2), QPoint(r - 1, b - 1)), Qt::black);
    painter.fillRect(QRect(QPoint(l + 2, b - 2), QPoint(r - 1, b - 1)), Qt::black);
}

void TRepPreviewImage::paintEvent(QPaintEvent *)
{
    if (!metafile_)
        return;
    QPainter painter(this);
    PaintPage(painter, rect());
}

const TRepPreviewImage::TLinkArea *TRepPreviewImage::LinkAt(QPoint p) const
{
    const QPoint at(Round(p.x() / double(Zoom) * 100), Round(p.y() / double(Zoom) * 100));
    for (const TLinkArea &a : Links)
        if (at.x() >= a.Area.left() && at.x() <= a.Area.right() && at.y() >= a.Area.top() && at.y() <= a.Area.bottom())
            return &a;
    return nullptr;
}

void TRepPreviewImage::mouseMoveEvent(QMouseEvent *event)
{
    const TLinkArea *a = LinkAt(event->position().toPoint());
    setCursor(a ? Qt::PointingHandCursor : Qt::ArrowCursor);
    bool handled = false;
    if (a && (!overLink_ || a->Link != link_)) {
        overLink_ = true;
        link_ = a->Link;
        if (OnHyperlink)
            OnHyperlink(TRepHyperlinkEventType::Enter, link_, handled);
    } else if (!a && overLink_) {
        overLink_ = false;
        link_.clear();
        if (OnHyperlink)
            OnHyperlink(TRepHyperlinkEventType::Leave, QString(), handled);
    }
    QWidget::mouseMoveEvent(event);
}

void TRepPreviewImage::mousePressEvent(QMouseEvent *event)
{
    if (const TLinkArea *a = LinkAt(event->position().toPoint()); a && OnHyperlink) {
        bool handled = false;
        OnHyperlink(TRepHyperlinkEventType::Click, a->Link, handled);
        if (!handled && Printer)
            Printer->FollowLink(a->Link);
    }
    QWidget::mousePressEvent(event);
}

// ---- preview ----

TRepPreview::TRepPreview(QWidget *parent) : QScrollArea(parent), image_(new TRepPreviewImage)
{
    resize(250, 250);
    setWidgetResizable(false);
    setAlignment(Qt::AlignCenter); // a page smaller than the window sits in its middle
    setWidget(image_);
    verticalScrollBar()->setSingleStep(5);
    setBackgroundRole(QPalette::Dark);
}

TRepPreview::~TRepPreview() { SetPrinter(nullptr); }

void TRepPreview::SetPrinter(TRepPrinter *printer)
{
    if (printer_ && printer_->StatusWindow == this) {
        printer_->SetClient(false);
        printer_->StatusWindow = nullptr;
    }
    printer_ = printer;
    image_->Printer = printer;
    if (printer) {
        printer->StatusWindow = this;
        printer->SetClient(true);
        if (outline_)
            printer->SetOutlineView(outline_);
    }
    pageNumber_ = 1;
    image_->LoadPage(1);
    ResizeImage();
}

void TRepPreview::SetPageNumber(int n)
{
    if ((n == pageNumber_ && image_->Metafile()) || n <= 0 || !printer_ || n > printer_->RecordedPages())
        return;
    image_->LoadPage(n);
    pageNumber_ = n;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

void TRepPreview::SetZoom(int zoom)
{
    if (zoom < 2 || zoom > 2000)
        return;
    zoomState_ = TRepZoomState::qrZoomOther;
    zoom_ = zoom;
    ResizeImage();
}

QSizeF TRepPreview::PageSize() const
{
    if (!printer_)
        return {kDefaultWidth, kDefaultLength};
    return QSizeF(printer_->WidthToDevice(printer_->PaperWidthValue()),
                  printer_->HeightToDevice(printer_->PaperLengthValue()));
}

void TRepPreview::ResizeImage()
{
    int w, h;
    if (printer_) {
        w = Round(printer_->WidthToDevice(printer_->PaperWidthValue() / 100.0 * zoom_)) + 4;
        h = Round(printer_->HeightToDevice(printer_->PaperLengthValue() / 100.0 * zoom_)) + 4;
    } else {
        w = Round(kDefaultWidth / 100 * zoom_) + 4;
        h = Round(kDefaultLength / 100 * zoom_) + 4;
    }
    image_->resize(w, h);
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    image_->Zoom = zoom_;
    image_->update();
}

void TRepPreview::ZoomToFit()
{
    const QSizeF page = PageSize();
    const int a = Round(width() / page.width() * 95), b = Round(height() / page.height() * 95);
    SetZoom(std::min(a, b));
    ResizeImage();
    zoomState_ = TRepZoomState::qrZoomToFit;
}

void TRepPreview::ZoomToWidth()
{
    SetZoom(printer_ ? Round(width() / PageSize().width() * 90) : Round(width() / kDefaultWidth * 95));
    ResizeImage();
    zoomState_ = TRepZoomState::qrZoomToWidth;
}

void TRepPreview::SetOutline(TRepOutlineNodes *outline)
{
    outline_ = outline;
    if (printer_)
        printer_->SetOutlineView(outline);
}

void TRepPreview::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    if (zoomState_ == TRepZoomState::qrZoomToFit)
        ZoomToFit();
    else if (zoomState_ == TRepZoomState::qrZoomToWidth)
        ZoomToWidth();
    ResizeImage();
}

void TRepPreview::PostMessage(unsigned msg, intptr_t wParam, intptr_t)
{
    // May come from the run's thread: handled later on the window thread.
    QPointer<TRepPreview> self(this);
    QMetaObject::invokeMethod(
        this, [self, msg, wParam] {
            if (self)
                self->Handle(msg, wParam);
        },
        Qt::QueuedConnection);
}

void TRepPreview::SendMessage(unsigned msg, intptr_t wParam, intptr_t) { Handle(msg, wParam); }

void TRepPreview::Handle(unsigned msg, intptr_t wParam)
{
    const int value = int(wParam & 0xFFFF);
    if (msg == RP_AVAILABLEPAGES) {
        if (value == pageNumber_ && !image_->Metafile() && printer_ && printer_->AvailablePages() >= image_->PageNumber)
            image_->LoadPage(image_->PageNumber);
        if (OnPageAvailable)
            OnPageAvailable(*this, value);
    } else if (msg == WM_USER) {
        if (OnProgressUpdate)
            OnProgressUpdate(*this, value);
    }
}

} // namespace zorbel
