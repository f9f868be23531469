#pragma once

#include <QHash>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>

class QWidget;

// Delivers the window's mouse movements and clicks the way the window's
// handlers expect: to the topmost control under the pointer that is both shown
// and enabled, else to the window itself. Hidden and disabled controls are
// passed over as if they were not there, so a disabled command never lights up
// and moving over it counts as moving over the background.
//
// Qt hands a mouse event to the topmost shown widget whatever its enabled
// state, and a disabled widget passes it to its parent rather than to the
// sibling beneath, so the rule is reproduced here, once, from the pointer's
// position: the dispatcher watches the window and every control on it and does
// its own hit test among the window's direct children.
class HoverDispatcher : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void()>;

    explicit HoverDispatcher(QWidget* window);

    // `control` may be the window itself (movement over the background).
    void onMove(QWidget* control, Handler handler);
    void onClick(QWidget* control, Handler handler);

    // Starts watching the window and all controls that exist now: turns mouse
    // tracking on and installs the filter on each of them.
    void attach();

    // The control that receives an event at `pos` (window coordinates): the
    // topmost shown and enabled child containing it, else the window.
    QWidget* targetAt(QPoint pos) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    QHash<QWidget*, Handler> move_;
    QHash<QWidget*, Handler> click_;
    QPointer<QWidget> pressed_; // target of the left-button press, until its release
};
