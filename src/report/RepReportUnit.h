// Internal links between the sources of RepReport (not for other units).
#pragma once

#include <QCoreApplication>
#include <QThread>

namespace zorbel {

// True on the window thread; a background run's events go through it.
inline bool OnMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace zorbel
