// Focus tracking of composite controls; see FocusWithin.h.
#include "platform/widgets/FocusWithin.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace zorbel {

namespace {

// One filter on the application sees the focus leave the old widget before
// it enters the new one, and before either widget's own handlers: so every
// composite control that loses the focus hears of it before any control
// that gains it, as plain controls do with their own focus events.
class FocusTracker : public QObject {
public:
    struct TTracked {
        QPointer<QWidget> Widget;
        std::function<void(QEvent *)> ControlEvent;
        bool Inside = false;
    };

    static FocusTracker &Instance()
    {
        static FocusTracker *tracker = [] {
            auto *t = new FocusTracker;
            t->setParent(qApp);
            qApp->installEventFilter(t);
            return t;
        }();
        return *tracker;
    }

    void Add(QWidget *widget, const std::function<void(QEvent *)> &controlEvent)
    {
        tracked_.push_back({widget, controlEvent, widget->hasFocus() || widget->isAncestorOf(qApp->focusWidget())});
    }

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut)
            return false;
        auto *w = qobject_cast<QWidget *>(object);
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (!w || !w->isWidgetType())
            return false;
        tracked_.erase(std::remove_if(tracked_.begin(), tracked_.end(), [](const TTracked &t) { return !t.Widget; }),
                       tracked_.end());
        // Activation changes between windows are no entering or leaving.
        const bool counts = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
        const std::vector<TTracked *> all = [&] {
            std::vector<TTracked *> v;
            for (TTracked &t : tracked_)
                v.push_back(&t);
            return v;
        }();
        for (TTracked *t : all) {
            if (!t->Widget)
                continue;
            QWidget *c = t->Widget;
            const auto inside = [c](const QWidget *x) { return x && (x == c || c->isAncestorOf(x)); };
            if (event->type() == QEvent::FocusOut) {
                // The focus already stands on the widget that takes it.
                QWidget *now = QApplication::focusWidget();
                if (t->Inside && inside(w) && !inside(now)) {
                    t->Inside = false;
                    if (counts && now && now->window() == c->window()) {
                        QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
                        t->ControlEvent(&out);
                    }
                }
            } else if (!t->Inside && inside(w)) {
                t->Inside = true;
                // Entered from a control of the same window.
                if (counts && lastOut_ && !inside(lastOut_) && lastOut_->window() == c->window()) {
                    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
                    t->ControlEvent(&in);
                }
            }
        }
        if (event->type() == QEvent::FocusOut)
            lastOut_ = w;
        return false;
    }

private:
    std::vector<TTracked> tracked_;
    QPointer<QWidget> lastOut_; // the widget that lost the focus last
};

} // namespace

void TrackFocusWithin(QWidget *widget, const std::function<void(QEvent *)> &controlEvent)
{
    FocusTracker::Instance().Add(widget, controlEvent);
}

bool IsFocusEvent(const QEvent *event)
{
    return event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut;
}

} // namespace zorbel
