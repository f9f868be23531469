#pragma once

// The progress dialog's rules, without any toolkit. A face of the dialog
// builds its controls from status_layout() (layout.h), implements StatusView,
// and forwards: the worker's close request, once it has reached the UI thread,
// to close_request; the hourglass timer's tick (every hourglass_ms, from start-up
// until the process ends, also while the dialog is hidden) to Timer1Timer;
// the two buttons' clicks to Button1Click and Button2Click; and a close asked
// by the window system (Alt+F4, Escape) to close_asked, which never ends the
// showing by itself.

#include "UiPlatform.h"
#include "layout.h"

namespace trezorka::rules {

class StatusView {
public:
    virtual ~StatusView() = default;

    virtual bool shown(StatusControl c) const = 0;
    virtual void set_shown(StatusControl c, bool shown) = 0;
    // Whether the dialog is being shown modally now / ends that showing.
    virtual bool showing() const = 0;
    virtual void end_showing() = 0;
};

// What the dialog asks of the application (ApplicationWindows.h).
class StatusPort {
public:
    virtual ~StatusPort() = default;

    virtual void minimise_application() = 0;
    // Restores the application if it is minimised.
    virtual void restore_application() = 0;
    // Removes the job's temporary file and ends the process at once, status 0.
    virtual void end_process() = 0;
    // Each showing is about to begin: the dialog is not on the screen yet.
    virtual void progress_showing() = 0;
};

class TStatus_showRules {
public:
    TStatus_showRules(StatusView& view, StatusPort& port, UiPlatform& platform);

    // From the worker: ends the modal showing, or the next one if it has not
    // begun yet, or the current one once the abort question is answered.
    void close_request();
    // The showing has begun: a request that came before it ends it now.
    // (A face may call this from its next turn of the message loop.)
    void showing_began() { end_showing_if_requested(); }
    void close_asked() { end_showing_if_requested(); }
    bool close_requested() const { return close_requested_; }

    void Timer1Timer();
    void Button1Click();
    void Button2Click();

private:
    void end_showing_if_requested();

    StatusView& view_;
    StatusPort& port_;
    UiPlatform& platform_;
    bool close_requested_ = false;
    bool question_open_ = false;
};

// Ends the process as the abort does: the job's half-written temporary file
// goes first, the target keeps whatever it held before the job.
[[noreturn]] void abort_process(int status) noexcept;

} // namespace trezorka::rules
