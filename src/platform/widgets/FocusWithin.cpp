// Focus tracking of composite controls; see FocusWithin.h.
#include "platform/widgets/FocusWithin.h"

#include <QApplication>
#include <QFocusEvent>

namespace zorbel {

void TrackFocusWithin(QWidget *widget, const std::function<void(QEvent *)> &controlEvent)
{
    QObject::connect(qApp, &QApplication::focusChanged, widget, [widget, controlEvent](QWidget *old, QWidget *now) {
        if (!old || !now || old->window() != now->window())
            return;
        auto inside = [widget](QWidget *w) { return w == widget || widget->isAncestorOf(w); };
        const bool was = inside(old), is = inside(now);
        if (was == is)
            return;
        QFocusEvent event(is ? QEvent::FocusIn : QEvent::FocusOut, Qt::OtherFocusReason);
        controlEvent(&event);
    });
}

bool IsFocusEvent(const QEvent *event)
{
    return event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut;
}

} // namespace zorbel
