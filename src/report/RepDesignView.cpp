#include "report/RepDesignView.h"

#include "report/RepReport.h"

#include <QImage>
#include <QPainter>
#include <QThread>

namespace zorbel {

TRepDesignSurface::TRepDesignSurface(TCustomBandReport &report, QWidget *parent) : QWidget(parent), report_(report)
{
    report_.OnRepaint = [this] { Refresh(); };
    report_.ArrangeBands();
    setFixedSize(report_.PixelSize());
}

TRepDesignSurface::~TRepDesignSurface() { report_.OnRepaint = nullptr; }

void TRepDesignSurface::Refresh()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
        return;
    }
    if (size() != report_.PixelSize())
        setFixedSize(report_.PixelSize());
    update();
}

QImage TRepDesignSurface::Render() const
{
    QImage image(report_.PixelSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TCanvas canvas;
    canvas.Begin(&painter);
    report_.PaintSurface(canvas);
    return image;
}

void TRepDesignSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    TCanvas canvas;
    canvas.Begin(&painter);
    report_.PaintSurface(canvas);
}

} // namespace zorbel
