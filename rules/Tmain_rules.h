#pragma once

// The main window's rules, without any toolkit: what each event does to the
// window's state, which control an event reaches, the blink schedule, the
// steps of the two commands, and the tables of its commands and fields. Every
// face of the main window (the Qt window `Tmain`, the native Windows window)
// holds one TmainRules and does four things:
//
// 1. It builds the controls from layout.h (main_layout(), in that order, which
//    is also the stacking order) and implements MainView over them. Each call
//    names a control by its `Control` value. "Shown" and "enabled" are the
//    control's own state, kept also while the window is hidden, minimised or
//    disabled as a whole; the rules read them back as the window's state.
//    Screen readers hear of the controls as commands() and fields() say.
// 2. It implements WindowPort (the window as a whole, the progress dialog,
//    the end of the message loop), DesktopPort (ApplicationWindows.h: the
//    application's window states), and a UiPlatform (UiPlatform.h) for the
//    system's dialogs, shell services and what its desktop can do.
// 3. It forwards its events, on the UI thread, to the handlers below under
//    the names the system gives them:
//    - the pointer: mouse_moved(x, y) and clicked(x, y) in 96-dpi window
//      coordinates (a click is a left-button press and release on the same
//      control); the rules find the receiving control (hover_target) and run
//      its handler;
//    - the timers' ticks (periods.h): cryptblinkTimer, decryptblinkTimer,
//      stopperTimer;
//    - every change of the password fields' text: pwChange, pwagainChange;
//    - Enter in a password field: password_entered;
//    - a file dropped on the window: file_dropped (a face offers to take a
//      drag only while accepting_input());
//    - the tray icon's click: trayClick (once per click; a double click is
//      one click);
//    - the window states its window system reports, to application();
//    - once, after the window is built: FormCreate.
// 4. It hands application() to the progress dialog as its StatusPort.
// Handlers may run modal dialogs through the port; they return when done.

#include "ApplicationWindows.h"
#include "SharedJob.h"
#include "UiPlatform.h"
#include "layout.h"
#include "periods.h"
#include "sifra.h"
#include "window_texts.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace trezorka::rules {

// The controls of the main window, as the rules see them.
class MainView {
public:
    virtual ~MainView() = default;

    virtual bool shown(Control c) const = 0;
    virtual void set_shown(Control c, bool shown) = 0;
    virtual bool enabled(Control c) const = 0;
    virtual void set_enabled(Control c, bool enabled) = 0;
    // The text of a label or of the two path fields, never of a password field.
    virtual std::u16string text(Control c) const = 0;
    // Sets the text; an edit box then shows it from its start.
    virtual void set_text(Control c, std::u16string_view text) = 0;
    // The password fields, read without copying their text.
    virtual bool empty(Control c) const = 0;
    virtual bool same_text(Control a, Control b) const = 0;
    // Copies a password field's text into the job record (SharedJob::set_password).
    virtual void copy_password(Control c, SharedJob& job) const = 0;
    // An edit box that is not used gets the unused field colour; else its own.
    virtual void set_unused_look(Control c, bool unused) = 0;
    virtual void set_focus(Control c) = 0;

    // The face's timers: start (from the beginning of a period), stop, ask.
    // The rules start a timer only when it is not running, so that a running
    // one keeps its schedule.
    virtual bool timer_running(Timer t) const = 0;
    virtual void start_timer(Timer t) = 0;
    virtual void stop_timer(Timer t) = 0;

    // The notification-area icon: shown (and animated) or not, its hint and
    // its balloon.
    virtual void set_tray_shown(bool shown) = 0;
    virtual void set_tray_hint(std::u16string_view hint) = 0;
    virtual void show_tray_balloon(std::u16string_view title, std::u16string_view text) = 0;
};

// What the main window does as a whole, with the progress dialog.
class WindowPort {
public:
    virtual ~WindowPort() = default;

    // The whole window (all controls) enabled or not.
    virtual void set_window_enabled(bool enabled) = 0;
    virtual bool window_enabled() const = 0;

    // How the worker's close request reaches the progress dialog on the UI
    // thread. Called on the worker's thread; it must only hand over.
    virtual sifra::CloseRequest close_request() = 0;
    // Shows the progress dialog modally with these texts; returns when the
    // worker's close request has ended the showing. May throw.
    virtual void show_progress(const texts::CommandTexts& texts, std::u16string_view from,
                               std::u16string_view to) = 0;
    // After an error around the showing: ends the dialog's showing if it is shown.
    virtual void close_progress_if_shown() = 0;

    // Ends the message loop; the program then ends.
    virtual void quit() = 0;
};

// The topmost control at (x, y) that is shown and enabled, or nothing
// (the window itself). `boxes` in creation order.
struct HitBox {
    Rect rect;
    bool shown = true;
    bool enabled = true;
};
int hover_target(std::span<const HitBox> boxes, int x, int y);

class TmainRules : private ApplicationEvents {
public:
    using Handler = void (TmainRules::*)();

    // A command of the window: a label on a bar. A move over either lights
    // the bar's highlight; a click on the label, the bar or the highlight
    // runs the command. To a screen reader each command is one button, the
    // label, over the bar's area. The link is a label alone: no bar, no
    // highlight, no move handler.
    struct Command {
        Control label;
        std::optional<Control> bar;
        std::optional<Control> highlight;
        Handler click;
        Handler move;
        std::u16string_view description; // what a screen reader says it does
    };
    static std::span<const Command> commands();

    // An edit box, its label (whose text without the colon is the field's
    // name to a screen reader) and the marks beside it, which the field
    // describes since a hidden mark is not announced.
    struct Field {
        Control field;
        Control label;
        std::optional<Control> ok;
        std::optional<Control> error;
        std::u16string_view ok_name;
        std::u16string_view error_name;
    };
    static std::span<const Field> fields();
    static std::u16string field_name(const Field& f);
    // What the field says of the mark shown beside it; empty when none is.
    std::u16string_view described(const Field& f) const;

    // The pictures that only decorate: the panels, and the commands' bars and
    // highlights, whose commands their labels carry.
    static bool decoration(Control c);

    // A source larger than this (bytes, decimal) sends the application to the
    // tray as soon as its job is set up.
    static constexpr std::int64_t LARGE_FILE_THRESHOLD = 8'000'000;

    TmainRules(SharedJob& job, MainView& view, WindowPort& port, DesktopPort& desktop, UiPlatform& platform,
               std::u16string first_argument);

    // The application's windows as one; the progress dialog's StatusPort.
    ApplicationWindows& application() { return application_; }

    // The open and save dialogs' settings, kept between uses as the dialogs
    // themselves would keep them.
    UiPlatform::FileDialogRequest filechosedialog;
    UiPlatform::FileDialogRequest saveto;

    // The path the user last confirmed in the save dialog, and whether the
    // target field still holds exactly that path. Cleared by every accepted source.
    const std::u16string& saveto_confirmed_path() const { return saveto_confirmed_; }
    bool target_confirmed_in_save_dialog() const;

    // Pointer events in window coordinates, delivered by the hover rule. The
    // face gives the controls' current rectangles (its own, in case text
    // made a label grow) through `boxes`, in creation order.
    void mouse_moved(std::span<const HitBox> boxes, int x, int y);
    void clicked(std::span<const HitBox> boxes, int x, int y);
    // The same, for a control already found (or none: -1, the window).
    void mouse_moved_over(int control);
    void clicked_on(int control);

    void FormCreate();
    void FormMouseMove();
    void cryptMouseMove();
    void decryptMouseMove();
    void selectfileMouseMove();
    void savetochoseMouseMove();
    void offMouseMove();
    void cryptblinkTimer();
    void decryptblinkTimer();
    void stopperTimer();
    void crypt_actClick();
    void decryptlabelClick();
    void chosefilelabelClick();
    void savetochose_labelClick();
    void off_actClick();
    void Label6Click();
    void pwChange();
    void pwagainChange();
    void trayClick();
    void ApplicationEvents1Minimize() override;
    void ApplicationEvents1Restore() override;
    bool busy() const override { return job_.busy(); }

    // Input from outside the pointer (a drop, Enter) is taken only while the
    // window is enabled and no job runs.
    bool accepting_input() const;
    // A path from the command line: taken as a chosen source.
    void accept_argument(std::u16string_view path);
    // A file dropped on the window: as a path from the command line, if
    // input is accepted when the drop is over.
    void file_dropped(std::u16string_view path);
    // Enter in a password field: the enabled command, as its click.
    void password_entered();

    // The two rules of the password fields, each applied as a unit.
    void apply_password_rule();
    void apply_confirmation_rule();

private:
    bool accept_source(std::u16string_view path, bool from_command_line);
    void run_command(bool encrypt);
    void light(Control highlight);
    void start_keeping_schedule(Timer t);
    void hide(Control c) { view_.set_shown(c, false); }
    void show(Control c) { view_.set_shown(c, true); }
    bool shown(Control c) const { return view_.shown(c); }

    SharedJob& job_;
    MainView& view_;
    WindowPort& port_;
    UiPlatform& platform_;
    ApplicationWindows application_;
    std::u16string first_argument_;
    std::u16string saveto_confirmed_;
    std::u16string balloon_text_{texts::tray_title};
};

} // namespace trezorka::rules
