#pragma once

// The application's windows as one: where the application stands (normal,
// minimised, in the tray, hidden), the two application events, going to the
// tray and coming back, and where the windows first stand. The rules decide
// here, from what the desktop can do (UiPlatform::has_system_tray and
// UiPlatform::desktop()); a face only
// reports what its window system tells it and carries out the calls of its
// DesktopPort.
//
// The application counts as minimised from the moment one of its shown
// windows is minimised until one comes back; each of the two transitions
// raises its event once. Where the window system reports states late
// (Desktop::late_reports), reports within a settle period after an event are
// no new transitions unless the program asked for them, and once the period
// has passed the windows are put as the application's state wants them.

#include "TStatus_show_rules.h"
#include "UiPlatform.h"
#include "layout.h"

namespace trezorka::rules {

// The application's two windows.
enum class AppWindow { main, progress };

// Where the application stands as a whole.
enum class AppState {
    normal,    // the main window on the screen
    minimised, // its windows minimised, on the task bar
    in_tray,   // the main window and its task bar button hidden, the icon in the tray
    hidden,    // the main window hidden for another reason (not shown yet, say)
};

// The toolkit's calls for the application's windows.
class DesktopPort {
public:
    virtual ~DesktopPort() = default;

    // Shown: on the screen or minimised, not hidden. The progress dialog is
    // shown while it is being shown modally.
    virtual bool shown(AppWindow w) const = 0;
    virtual bool minimised(AppWindow w) const = 0;
    // Minimise may be asked before the window system has put the window on
    // the screen; the face then minimises it once it is there, unless
    // unminimise came first.
    virtual void minimise(AppWindow w) = 0;
    virtual void unminimise(AppWindow w) = 0;
    // The main window with its task bar button: shown in its normal state / hidden.
    virtual void show(AppWindow w) = 0;
    virtual void hide(AppWindow w) = 0;
    // In front and active.
    virtual void raise(AppWindow w) = 0;

    // Where windows may stand: the area all screens span together, and the
    // work area of the screen the main window is on. A window's frame is
    // where it stands (the main window: where it stands when not minimised);
    // move places the frame's top left corner.
    virtual Rect desktop_area() const = 0;
    virtual Rect work_area() const = 0;
    virtual Rect frame(AppWindow w) const = 0;
    virtual void move(AppWindow w, int x, int y) = 0;

    // The settle period (settle_ms): started anew by each call.
    virtual void start_settling() = 0;
    virtual bool settling() const = 0;
};

// The application events, as the main window's rules take them.
class ApplicationEvents {
public:
    virtual ~ApplicationEvents() = default;
    virtual void ApplicationEvents1Minimize() = 0;
    virtual void ApplicationEvents1Restore() = 0;
    // Whether a job is running.
    virtual bool busy() const = 0;
};

// The first places: the main window centred on the area all screens span
// together, the progress dialog centred over the main window; neither past
// the left or top edge of its area.
struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};
Point centred(const Rect& over, int width, int height, const Rect& area);

class ApplicationWindows : public StatusPort {
public:
    ApplicationWindows(DesktopPort& port, UiPlatform& platform, ApplicationEvents& events);

    AppState state() const;
    Desktop desktop() const { return platform_.desktop(); }

    // ---- from the face ----
    // A window's state changed from `was_minimised` to `minimised`, as the
    // window system reports it.
    void window_state_changed(AppWindow w, bool was_minimised, bool minimised);
    // The settle period has passed.
    void settled();
    // The main window is built: its first place.
    void main_created();

    // ---- from the rules (and StatusPort, for the progress dialog) ----
    // "Minimise the application": every shown window of it.
    void minimise_application() override;
    // "Restore the application": back from the tray or the task bar, every
    // window in its normal state.
    void restore_application() override;
    void end_process() override;
    void progress_showing() override;
    // The dialog minimised now, or as soon as it is shown.
    void minimise_progress();
    void restore_progress();
    // To the tray, if the desktop has one: the main window hidden with its
    // task bar button; true when it went. / Back, if it was there.
    bool to_tray();
    void show_from_tray();
    // The main window shown in its normal state if it is hidden for any reason.
    void show_main();
    // The main window in front, the progress dialog (if shown) before it.
    void bring_to_front();

private:
    void raise_event(bool minimised);
    void place(AppWindow w, const Rect& over, const Rect& area);

    DesktopPort& port_;
    UiPlatform& platform_;
    ApplicationEvents& events_;
    bool minimised_ = false;
    bool hidden_for_tray_ = false;
    bool minimise_progress_when_shown_ = false;
    bool progress_placed_ = false;
    bool in_event_ = false;
    int requested_ = 0; // inside the program's own requests
};

} // namespace trezorka::rules
