// The preview control: one recorded page of a report printer shown on a
// white sheet with an outline and a drop shadow, at a zoom in percent, in a
// scrolling area. It is the printer's status window while attached, so the
// printer's page-available and progress messages reach it (posted, and so
// handled on the window thread even when a background run sends them) and
// it can show page 1 as soon as that page is stored and follow the page
// count while the run goes on.
//
// Sizes: a page is WidthToDevice(paper width) x HeightToDevice(paper length)
// device pixels of the printer at 100 %; the image holding it is that size
// scaled by the zoom plus 4 pixels for the shadow.
#pragma once

#include "platform/canvas/Metafile.h"
#include "report/RepPrinter.h"

#include <QScrollArea>
#include <functional>
#include <memory>
#include <vector>

namespace zorbel {

// 0 entering a link, 1 leaving it, 2 a click on it.
enum class TRepHyperlinkEventType : uint8_t { Enter, Leave, Click };

using TRepPreviewHyperlinkEvent = std::function<void(TRepHyperlinkEventType type, const QString &link, bool &handled)>;

// Paints a page into rect as the preview shows it: the white sheet, the page
// stretched over it (none when page is null), a black outline and a drop
// shadow in the last pixels.
void PaintRepPage(QPainter &painter, const QRect &rect, const TMetafile *page);

// The page inside the preview.
class TRepPreviewImage : public QWidget {
public:
    struct TLinkArea {
        QRect Area; // page pixels at 100 %
        QString Link;
    };
    explicit TRepPreviewImage(QWidget *parent = nullptr);

    TRepPrinter *Printer = nullptr;
    int PageNumber = 1;
    int Zoom = 100;
    std::vector<TLinkArea> Links;
    TRepPreviewHyperlinkEvent OnHyperlink;
    QString CurrentLink() const { return link_; }
    const TMetafile *Metafile() const { return metafile_.get(); }

    // Shows page n of the printer (nothing while it is not stored yet).
    void LoadPage(int n);
    // Paints the sheet, the page, the outline and the shadow into rect.
    void PaintPage(QPainter &painter, const QRect &rect) const;

protected:
    void paintEvent(QPaintEvent *) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    const TLinkArea *LinkAt(QPoint p) const;
    std::unique_ptr<TMetafile> metafile_;
    QString link_;
    bool overLink_ = false;
};

class TRepPreview : public QScrollArea, public TRepMessageTarget {
public:
    explicit TRepPreview(QWidget *parent = nullptr);
    ~TRepPreview() override;

    std::function<void(TRepPreview &sender, int pageNum)> OnPageAvailable;
    std::function<void(TRepPreview &sender, int progress)> OnProgressUpdate;

    TRepPrinter *Printer() const { return printer_; }
    // Detaches the old printer (its Client flag cleared) and attaches the
    // new one (this becomes its status window), showing its page 1.
    void SetPrinter(TRepPrinter *printer);
    int PageNumber() const { return pageNumber_; }
    // Ignored outside 1..RecordedPages, without a printer, or when n is
    // already shown.
    void SetPageNumber(int n);
    int Zoom() const { return zoom_; }
    // Ignored outside 2..2000.
    void SetZoom(int zoom);
    TRepZoomState ZoomState() const { return zoomState_; }
    void ZoomToFit();
    void ZoomToWidth();
    TRepOutlineNodes *Outline() const { return outline_; }
    void SetOutline(TRepOutlineNodes *outline);
    void SetOnHyperlink(TRepPreviewHyperlinkEvent handler) { image_->OnHyperlink = std::move(handler); }
    TRepPreviewImage &Image() const { return *image_; }

    // Printer messages: posted ones are handled on the window thread.
    void PostMessage(unsigned msg, intptr_t wParam, intptr_t lParam) override;
    void SendMessage(unsigned msg, intptr_t wParam, intptr_t lParam) override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void Handle(unsigned msg, intptr_t wParam);
    void ResizeImage();
    // The page's device size at 100 %.
    QSizeF PageSize() const;
    TRepPreviewImage *image_;
    TRepPrinter *printer_ = nullptr;
    TRepOutlineNodes *outline_ = nullptr;
    int pageNumber_ = 1;
    int zoom_ = 100;
    TRepZoomState zoomState_ = TRepZoomState::qrZoomOther;
};

} // namespace zorbel
