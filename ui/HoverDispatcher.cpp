#include "HoverDispatcher.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

namespace {
constexpr int no_press = -2;
}

HoverDispatcher::HoverDispatcher(QWidget* window, QList<QWidget*> controls, std::function<void(int)> moved,
                                 std::function<void(int)> clicked)
    : QObject(window), window_(window), controls_(std::move(controls)), moved_(std::move(moved)),
      clicked_(std::move(clicked))
{
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

int HoverDispatcher::index_at(QPoint pos) const
{
    std::vector<trezorka::rules::HitBox> boxes;
    boxes.reserve(std::size_t(controls_.size()));
    for (const QWidget* w : controls_) {
        const QRect r = w->geometry();
        boxes.push_back({{r.x(), r.y(), r.width(), r.height()}, !w->isHidden(), w->isEnabled()});
    }
    return trezorka::rules::hover_target(boxes, pos.x(), pos.y());
}

bool HoverDispatcher::eventFilter(QObject*, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease)
        return false;
    // The whole window is disabled while a job runs: nothing reaches the controls.
    if (!window_->isEnabled())
        return false;

    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint pos = window_->mapFromGlobal(mouse->globalPosition()).toPoint();
    // An event that Qt passes up from a child to the window is seen once per
    // level; the move handlers are idempotent and the click is taken only once.
    if (type == QEvent::MouseMove) {
        if (window_->rect().contains(pos))
            moved_(index_at(pos));
    } else if (mouse->button() == Qt::LeftButton) {
        if (!window_->rect().contains(pos)) {
            pressed_ = no_press;
            return false;
        }
        const int target = index_at(pos);
        if (type == QEvent::MouseButtonPress) {
            pressed_ = target;
        } else if (pressed_ != no_press) {
            const bool same = pressed_ == target;
            pressed_ = no_press;
            if (same)
                clicked_(target); // may run a modal dialog
        }
    }
    return false;
}
