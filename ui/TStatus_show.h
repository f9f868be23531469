#pragma once

#include "TStatus_show_rules.h"
#include "UiPlatform.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class Picture;

// The progress dialog, the Qt face of its rules (TStatus_show_rules.h):
// created once, hidden, and shown modally (exec()) for every job. The showing
// ends only through close_request(), which the worker queues to this object;
// the abort button ends the whole process instead.
//
// The dialog's parent is the main window: it stays off the taskbar. Where it
// first stands and whether it comes minimised is the application's
// (StatusPort::progress_showing).
class TStatus_show : public QDialog, private trezorka::rules::StatusView {
    Q_OBJECT
public:
    // `application` minimises and restores the whole application and ends the
    // process (the main window does).
    TStatus_show(trezorka::rules::UiPlatform& platform, trezorka::rules::StatusPort& application,
                 QWidget* main_window = nullptr);

    // The texts the command puts in before each showing.
    void set_texts(const QString& caption, const QString& status, const QString& from, const QString& to);

    // Controls, in creation order.
    Picture* Image1;
    Picture* Image2;
    QLabel* statusinfo;
    QLabel* info;
    QLabel* info2;
    Picture* hoursimage;
    QLineEdit* fromfile;
    QLineEdit* tofile;
    QPushButton* Button1;
    QPushButton* Button2;
    QTimer* Timer1;

    void setVisible(bool visible) override;

public slots:
    // From the worker, queued: ends the modal showing, or the next one if it
    // has not begun yet, or the current one once the abort question is answered.
    void close_request() { rules_.close_request(); }

    void Timer1Timer() { rules_.Timer1Timer(); }
    void Button1Click() { rules_.Button1Click(); }
    void Button2Click() { rules_.Button2Click(); }

    // Refused: only the worker's close request ends a showing.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool shown(trezorka::rules::StatusControl c) const override;
    void set_shown(trezorka::rules::StatusControl c, bool shown) override;
    bool showing() const override;
    void end_showing() override;

    QWidget* control(trezorka::rules::StatusControl c) const;

    trezorka::rules::StatusPort& application_;
    trezorka::rules::TStatus_showRules rules_;
};
