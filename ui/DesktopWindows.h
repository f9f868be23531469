#pragma once

#include "ApplicationWindows.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class QTimer;

// The application's windows in Qt, for the rules' ApplicationWindows: it
// reports the main window's and the dialog's state changes to them and
// carries out their calls. The window states themselves are the widgets'.
class DesktopWindows : public QObject, public trezorka::rules::DesktopPort {
    Q_OBJECT
public:
    using AppWindow = trezorka::rules::AppWindow;

    explicit DesktopWindows(QWidget* main_window);

    // The rules that hear of the windows' state changes.
    void attach(trezorka::rules::ApplicationWindows& application) { application_ = &application; }
    // The progress dialog, whose window states count as the application's own.
    void set_dialog(QWidget* dialog);

    bool shown(AppWindow w) const override;
    bool minimised(AppWindow w) const override;
    void minimise(AppWindow w) override;
    void unminimise(AppWindow w) override;
    void show(AppWindow w) override;
    void hide(AppWindow w) override;
    void raise(AppWindow w) override;
    trezorka::rules::Rect desktop_area() const override;
    trezorka::rules::Rect work_area() const override;
    trezorka::rules::Rect frame(AppWindow w) const override;
    void move(AppWindow w, int x, int y) override;
    void start_settling() override;
    bool settling() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window(AppWindow w) const;
    void exposureTimer();

    QWidget* main_;
    QPointer<QWidget> dialog_;
    trezorka::rules::ApplicationWindows* application_ = nullptr;
    QTimer* settle_;
    // Polls until the dialog is on the screen, to minimise it then.
    QTimer* exposure_;
    int exposure_tries_ = 0;
};
