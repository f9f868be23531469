#pragma once

#include "SharedJob.h"
#include "UiPlatform.h"

#include <QIcon>
#include <QList>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

class HoverDispatcher;
class Picture;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QMimeData;
class QSystemTrayIcon;
class QTimer;
class TStatus_show;

// The main window `main`. The controls are public members under the names the
// rest of the program uses for them; their visible and enabled states are the
// window's state (which mark is shown, whether confirmation is required), so
// handlers read them back rather than keeping flags of their own. "Shown" means
// the control's own visibility (!isHidden()), which holds also while the
// window itself is minimised or sits in the tray.
class Tmain : public QWidget {
    Q_OBJECT
public:
    Tmain(SharedJob& job, UiPlatform& platform, const QString& firstArgument, QWidget* parent = nullptr);

    // The first command-line argument as text. On POSIX the raw bytes are
    // decoded with stray bytes kept (see native_path.h), so a file name that is
    // not valid UTF-8 still names the same file; QCoreApplication::arguments()
    // would replace those bytes.
    static QString first_argument(int argc, char** argv);

    // Makes Debian's copy of Wine's Tahoma (regular and bold) known to Qt
    // when it is installed; elsewhere Qt substitutes the system's sans-serif.
    static void register_tahoma();

    // The progress dialog, created after this window. Its minimise button and
    // its abort's restore come here, and its window-state changes count as
    // the application's own.
    void setStatus_show(TStatus_show* dialog);
    TStatus_show* Status_show() const;

    // A source larger than this (bytes, decimal) sends the application to the
    // tray as soon as its job is set up.
    static constexpr std::int64_t LARGE_FILE_THRESHOLD = 8'000'000;

    static const QString filechosedialogFilter;
    static const QString savetoFilter;
    static const QString oldFormatWarning;
    static const QString sourcePrompt;
    static const QString overwriteQuestion;

    // The path the user last confirmed in the save dialog, and whether the
    // target field still holds exactly that path. Cleared by every accepted source.
    QString savetoConfirmedPath() const { return saveto_confirmed_; }
    bool targetConfirmedInSaveDialog() const;

    static bool shown(const QWidget* w);

    // The file a drag brings, as a command-line argument would name it: the
    // first local one that is not a folder; empty when there is none.
    static QString dropped_file(const QMimeData* data);

    // The accessible names of the four marks.
    static const QString pwokName;
    static const QString pwerrName;
    static const QString pwagainokName;
    static const QString pwagainerrName;

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
    QTimer* aborter;

    // The notification-area icon, its three animation frames and the timer
    // that steps through them while it is shown.
    QSystemTrayIcon* tray;
    QList<QIcon> anicons;
    QTimer* trayanimation;
    QString trayBalloonTitle;
    QString trayBalloonText;
    int trayFrame() const { return tray_frame_; }

    // The open and save dialogs' settings, kept between uses as the dialogs
    // themselves would keep them.
    UiPlatform::FileDialogRequest filechosedialog;
    UiPlatform::FileDialogRequest saveto;

    HoverDispatcher* dispatcher() const { return dispatcher_; }

public slots:
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
    void ApplicationEvents1Minimize();
    void ApplicationEvents1Restore();

    // "Minimise the application": every visible window of it is minimised.
    void minimise_application();
    // "Restore the application": back from the tray or the taskbar, every
    // window in its normal state, the main window in front.
    void restore_application();

signals:
    // The tray icon's balloon has been shown.
    void balloon_shown(const QString& title, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    SharedJob& job;
    UiPlatform& platform;

    // The two rules of the password fields, each applied as a unit.
    void applyPasswordRule();
    void applyConfirmationRule();

private:
    // Accepting a source path; false when the old format was refused.
    bool acceptSource(const QString& path, bool fromCommandLine);
    // A path given from outside the window: the command line or a drop.
    void acceptArgument(const QString& path);
    // Whether a drag may drop here now, and the action it would take.
    bool takeDrag(QDropEvent* event) const;
    bool handleFileDrag(QEvent* event);
    // Enter in a password field: the command that is enabled, as its click.
    void passwordEntered();
    void setupAccessibility();
    // The password fields describe the mark that is shown beside them.
    void describeMarks();
    void createControls();
    void bindEvents();
    void placeOnDesktop();
    void createTray();
    void setTrayShown(bool shown);
    void trayanimationTimer();
    // The encrypt and decrypt commands, one run of a job.
    void runCommand(bool encrypt);
    void showTaskbarEntryAndRestore();
    void bringToFront();
    void settleTimer();
    void applicationWindowStateChanged(QWidget* window, Qt::WindowStates old_state);

    QString first_argument_;
    QString saveto_confirmed_;
    QPalette pwagain_palette_;
    HoverDispatcher* dispatcher_ = nullptr;
    QPointer<TStatus_show> status_show_;
    int tray_frame_ = 0;
    bool application_minimised_ = false;
    bool in_application_event_ = false;
    bool hidden_for_tray_ = false;
    bool minimise_dialog_when_shown_ = false;
    QTimer* settle_ = nullptr;
    bool requested_ = false;
};
