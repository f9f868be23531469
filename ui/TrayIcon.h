#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

class QSystemTrayIcon;
class QTimer;

// The notification-area icon: its three animation frames, stepped every
// tray_frame_ms while it is shown, its hint and its balloon.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent);

    QSystemTrayIcon* icon() const { return tray_; }
    const QList<QIcon>& frames() const { return anicons_; }

    // Shown, the icon goes on from the frame it showed last.
    void set_shown(bool shown);
    void set_hint(const QString& hint);
    void show_balloon(const QString& title, const QString& text);

signals:
    // One click (a double click is one click too: the system reports its
    // first half as a click already).
    void clicked();
    void balloon_shown(const QString& title, const QString& text);

private:
    void trayanimationTimer();

    QList<QIcon> anicons_;
    QSystemTrayIcon* tray_;
    QTimer* trayanimation_;
    int frame_ = 0;
};
