#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <functional>
#include <vector>

#include "Tmain_rules.h"

class QWidget;

// Delivers the window's mouse movements and clicks by the window rules' hover
// rule (hover_target): to the topmost control under the pointer that is both
// shown and enabled, else to the window itself.
//
// Qt hands a mouse event to the topmost shown widget whatever its enabled
// state, and a disabled widget passes it to its parent rather than to the
// sibling beneath, so the dispatcher watches the window and every control on
// it and does its own hit test from the pointer's position.
class HoverDispatcher : public QObject {
    Q_OBJECT
public:
    // `controls` in creation order; the handlers get an index into it, -1 for the window.
    HoverDispatcher(QWidget* window, QList<QWidget*> controls, std::function<void(int)> moved,
                    std::function<void(int)> clicked);

    // Starts watching the window and its controls: turns mouse tracking on and
    // installs the filter on each of them.
    void attach();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The control that receives an event at `pos` (window coordinates).
    int index_at(QPoint pos) const;

    QWidget* window_;
    QList<QWidget*> controls_;
    std::function<void(int)> moved_;
    std::function<void(int)> clicked_;
    int pressed_ = -2; // target of the left-button press, until its release; -2: none
};
