#include "report/RepDesignView.h"

#include "platform/widgets/Forms.h"
#include "report/RepReport.h"

#include <QPainter>
#include <QThread>

namespace zorbel {

TRepDesignSurface::TRepDesignSurface(TCustomBandReport &report, QWidget *parent) : QWidget(parent), report_(report)
{
    report_.OnRepaint = [this] { Refresh(); };
    report_.OnDesignMessage = [](const QString &message) { Application().ShowException(ERepError(message)); };
    report_.ArrangeBands();
    setFixedSize(report_.PixelSize());
}

TRepDesignSurface::~TRepDesignSurface()
{
    report_.OnRepaint = nullptr;
    report_.OnDesignMessage = nullptr;
}

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

void TRepDesignSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    TCanvas canvas;
    canvas.Begin(&painter);
    report_.PaintSurface(canvas);
}

} // namespace zorbel
