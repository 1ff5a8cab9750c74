// Pictures of windows for a look by eye (tests save them when asked to by an
// environment variable). On the offscreen platform the window's own
// rendering; under a window manager (the xcb platform) the whole screen once
// the window is framed, so the frame and title show as a user sees them.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWidget>

namespace zorbel::test {

inline QPixmap WindowPicture(QWidget &w)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return w.grab();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 700) { // the window manager maps and frames it meanwhile
        QApplication::processEvents();
        QThread::msleep(20);
    }
    return w.screen()->grabWindow(0);
}

} // namespace zorbel::test
