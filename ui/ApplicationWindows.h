#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QTimer;

// The application's windows as one: minimising and restoring the whole
// application, hiding the main window (and with it the taskbar button) for the
// tray, and the two application events. The application counts as minimised
// from the moment one of its shown windows is minimised until one comes back;
// each of the two transitions raises its event once.
//
// X11 answers window-state requests asynchronously and may report older states
// right after the handlers changed them; for 300 ms after each event such
// reports are no new transitions, and once that time has passed the windows
// are put as the application's state wants them.
class ApplicationWindows : public QObject {
    Q_OBJECT
public:
    struct Events {
        std::function<void()> minimised; // ApplicationEvents1Minimize
        std::function<void()> restored;  // ApplicationEvents1Restore
        std::function<bool()> busy;      // a job is running
    };

    ApplicationWindows(QWidget* main_window, Events events);

    // The progress dialog, whose window states count as the application's own.
    void set_dialog(QWidget* dialog);
    QWidget* dialog() const { return dialog_.data(); }

    // "Minimise the application": every visible window of it is minimised.
    void minimise_application();
    // "Restore the application": back from the tray or the taskbar, every
    // window in its normal state.
    void restore_application();
    // The dialog minimised now, or as soon as it is on the screen.
    void minimise_progress();
    void restore_progress();
    void hide_for_tray();
    // The main window shown in its normal state if it was hidden for the tray
    // / if it was hidden for any reason.
    void show_from_tray();
    void show_main();
    // The dialog, while it is shown, stands before the main window.
    void bring_to_front();

    bool minimised() const { return application_minimised_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void window_state_changed(QWidget* window, Qt::WindowStates old_state);
    void raise_event(bool minimised);
    void minimise_dialog_once_exposed();
    void settleTimer();

    QWidget* main_;
    Events events_;
    QPointer<QWidget> dialog_;
    QTimer* settle_;
    bool application_minimised_ = false;
    bool in_application_event_ = false;
    bool hidden_for_tray_ = false;
    bool minimise_dialog_when_shown_ = false;
    bool requested_ = false;
};
