#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class Picture;
class UiPlatform;

// The progress dialog, created once, hidden, and shown modally (exec()) for
// every job. The showing ends only through close_request(), which the worker
// queues to this object; the abort button ends the whole process instead.
//
// The dialog's parent is the main window: it is centred over it the first
// time and stays off the taskbar.
class TStatus_show : public QDialog {
    Q_OBJECT
public:
    TStatus_show(UiPlatform& platform, QWidget* main_window = nullptr);

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
    void close_request();

    void Timer1Timer();
    void Button1Click();
    void Button2Click();

    // Refused: only the worker's close request ends a showing.
    void reject() override;

signals:
    // "Minimise the application". When nothing is connected the dialog
    // minimises every visible top-level window itself.
    void minimise_application();
    // "Restore the application if it is minimised", emitted (directly) just
    // before an abort ends the process. When nothing is connected the dialog
    // restores every minimised top-level window itself.
    void restore_application();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void end_showing_if_requested();
    void place_first_time();

    UiPlatform& platform_;
    bool close_requested_ = false;
    bool question_open_ = false;
    bool placed_ = false;
};
