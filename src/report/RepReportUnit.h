// Internal links between the sources of RepReport (not for other units).
#pragma once

#include "report/RepReport.h"

#include <QCoreApplication>
#include <QThread>

namespace zorbel {

// True on the window thread; a background run's events go through it.
inline bool OnMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// A refused link, parent or master: false, and the designer hears why when
// the report is on its design surface.
inline bool RefuseCircularLink(const TCustomBandReport *report)
{
    if (report && report->OnDesignMessage)
        report->OnDesignMessage(SCircularLinking);
    return false;
}

} // namespace zorbel
