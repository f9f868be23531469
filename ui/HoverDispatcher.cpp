#include "HoverDispatcher.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

HoverDispatcher::HoverDispatcher(QWidget* window) : QObject(window), window_(window) {}

void HoverDispatcher::onMove(QWidget* control, Handler handler)
{
    move_.insert(control, std::move(handler));
}

void HoverDispatcher::onClick(QWidget* control, Handler handler)
{
    click_.insert(control, std::move(handler));
}

void HoverDispatcher::attach()
{
    window_->setMouseTracking(true);
    window_->installEventFilter(this);
    const auto widgets = window_->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
}

QWidget* HoverDispatcher::targetAt(QPoint pos) const
{
    // children() lists siblings from the bottom of the stacking order to the top.
    const QObjectList& children = window_->children();
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        if (!(*it)->isWidgetType())
            continue;
        auto* w = static_cast<QWidget*>(*it);
        if (w->isWindow() || w->isHidden() || !w->isEnabled())
            continue;
        if (w->geometry().contains(pos))
            return w;
    }
    return window_;
}

bool HoverDispatcher::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);
    // The whole window is disabled while a job runs: nothing reaches the controls.
    if (!window_->isEnabled())
        return false;

    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = window_->mapFromGlobal(mouse->globalPosition()).toPoint();
    // An event that Qt passes up from a child to the window is seen once per
    // level; the handlers are idempotent and the click is taken only once.
    if (type == QEvent::MouseMove) {
        if (!window_->rect().contains(pos))
            return false;
        QWidget* target = targetAt(pos);
        const auto handler = move_.constFind(target);
        if (handler != move_.cend())
            (*handler)();
    } else if (mouse->button() == Qt::LeftButton) {
        if (!window_->rect().contains(pos)) {
            pressed_.clear();
            return false;
        }
        QWidget* target = targetAt(pos);
        if (type == QEvent::MouseButtonPress) {
            pressed_ = target;
        } else if (pressed_) {
            const bool same = pressed_ == target;
            pressed_.clear();
            const auto handler = click_.constFind(target);
            if (same && handler != click_.cend()) {
                // The handler may run a modal dialog; keep a copy in case it rebinds.
                const Handler run = *handler;
                run();
            }
        }
    }
    return false;
}
