#pragma once

#include "SharedJob.h"
#include "Tmain_rules.h"
#include "UiPlatform.h"

#include <QIcon>
#include <QList>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>

class DesktopWindows;
class Picture;
class QLabel;
class QLineEdit;
class QSystemTrayIcon;
class QTimer;
class TStatus_show;
class TrayIcon;

// The main window `main`, the Qt face of the window rules (Tmain_rules.h): it
// builds the controls from the rules' layout, draws, forwards its events to
// the rules and carries out what they ask of the view and the port. The
// controls are public members under the names the rest of the program uses;
// their visible and enabled states are the window's state. "Shown" means the
// control's own visibility (!isHidden()), which holds also while the window
// itself is minimised or sits in the tray.
class Tmain : public QWidget, private trezorka::rules::MainView, private trezorka::rules::WindowPort {
    Q_OBJECT
public:
    using UiPlatform = trezorka::rules::UiPlatform;
    using Control = trezorka::rules::Control;

    Tmain(SharedJob& job, UiPlatform& platform, const QString& first_argument, QWidget* parent = nullptr);
    ~Tmain() override;

    // The progress dialog, created after this window. Its window-state changes
    // count as the application's own.
    void setStatus_show(TStatus_show* dialog);
    // The application's windows as one: the progress dialog's StatusPort.
    trezorka::rules::ApplicationWindows& application() { return rules_.application(); }

    QString saveto_confirmed_path() const;

    // Controls, in creation (stacking) order.
    Picture* Image3;
    Picture* off;
    Picture* Image2;
    Picture* Image1;
    Picture* selectfile;
    Picture* crypt;
    Picture* decrypt;
    Picture* crypt_act;
    Picture* decrypt_act;
    QLabel* Label1;
    QLabel* Label2;
    Picture* selectfile_act;
    QLabel* cryptlabel;
    QLabel* decryptlabel;
    QLabel* chosefilelabel;
    Picture* savetochose;
    Picture* savetochose_act;
    QLabel* savetochose_label;
    QLabel* Label4;
    QLabel* pwagainlabel;
    Picture* pwok;
    Picture* pwagainok;
    Picture* pwagainerr;
    Picture* pwerr;
    QLabel* Label3;
    QLabel* Label6;
    Picture* off_act;
    QLabel* offlabel;
    QLineEdit* filetocrypt;
    QLineEdit* finalfile;
    QLineEdit* pw;
    QLineEdit* pwagain;

    QTimer* decryptblink;
    QTimer* cryptblink;
    QTimer* stopper;

    // The notification-area icon and its three animation frames.
    QSystemTrayIcon* tray;
    QList<QIcon> anicons;
    TrayIcon* tray_icon() const { return tray_icon_; }

    // The open and save dialogs' settings (the rules').
    UiPlatform::FileDialogRequest& filechosedialog;
    UiPlatform::FileDialogRequest& saveto;

public slots:
    void FormMouseMove() { rules_.FormMouseMove(); }
    void cryptblinkTimer() { rules_.cryptblinkTimer(); }
    void decryptblinkTimer() { rules_.decryptblinkTimer(); }
    void stopperTimer() { rules_.stopperTimer(); }
    void crypt_actClick() { rules_.crypt_actClick(); }
    void decryptlabelClick() { rules_.decryptlabelClick(); }
    void chosefilelabelClick() { rules_.chosefilelabelClick(); }
    void savetochose_labelClick() { rules_.savetochose_labelClick(); }
    void off_actClick() { rules_.off_actClick(); }
    void Label6Click() { rules_.Label6Click(); }
    void pwChange() { rules_.pwChange(); }
    void pwagainChange() { rules_.pwagainChange(); }
    void trayClick() { rules_.trayClick(); }

signals:
    // The tray icon's balloon has been shown.
    void balloon_shown(const QString& title, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // MainView
    bool shown(Control c) const override;
    void set_shown(Control c, bool shown) override;
    bool enabled(Control c) const override;
    void set_enabled(Control c, bool enabled) override;
    std::u16string text(Control c) const override;
    void set_text(Control c, std::u16string_view text) override;
    bool empty(Control c) const override;
    bool same_text(Control a, Control b) const override;
    void copy_password(Control c, SharedJob& job) const override;
    void set_unused_look(Control c, bool unused) override;
    void set_focus(Control c) override;
    bool timer_running(trezorka::rules::Timer t) const override;
    void start_timer(trezorka::rules::Timer t) override;
    void stop_timer(trezorka::rules::Timer t) override;
    void set_tray_shown(bool shown) override;
    void set_tray_hint(std::u16string_view hint) override;
    void show_tray_balloon(std::u16string_view title, std::u16string_view text) override;

    // WindowPort
    void set_window_enabled(bool enabled) override;
    bool window_enabled() const override { return isEnabled(); }
    sifra::CloseRequest close_request() override;
    void show_progress(const trezorka::rules::texts::CommandTexts& texts, std::u16string_view from,
                       std::u16string_view to) override;
    void close_progress_if_shown() override;
    void quit() override;

    void create_controls();
    void create_timers();
    void bind_events();
    void setup_accessibility();
    // The password fields describe the mark that is shown beside them.
    void describe_marks();
    QWidget* control(Control c) const { return controls_[static_cast<std::size_t>(c)]; }
    QLineEdit* edit(Control c) const;
    QTimer* timer(trezorka::rules::Timer t) const;

    std::array<QWidget*, trezorka::rules::control_count> controls_{};
    TrayIcon* tray_icon_;
    DesktopWindows* windows_;
    trezorka::rules::TmainRules rules_;
    QPalette pwagain_palette_;
    QPointer<TStatus_show> status_show_;
};
