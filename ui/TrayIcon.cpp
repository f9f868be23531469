#include "TrayIcon.h"

#include "Artwork.h"
#include "Style.h"
#include "periods.h"
#include "window_texts.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

TrayIcon::TrayIcon(QObject* parent) : QObject(parent)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal screen_dpr = screen ? screen->devicePixelRatio() : 1.0;
    for (const char* frame : {"tray1", "tray2", "tray3"}) {
        QIcon icon;
        QList<qreal> ratios{1.0, 2.0};
        if (!ratios.contains(screen_dpr))
            ratios << screen_dpr;
        for (qreal dpr : ratios)
            icon.addPixmap(Artwork::pixmap(QString::fromLatin1(frame), QSize(16, 16), dpr));
        anicons_ << icon;
    }
    tray_ = new QSystemTrayIcon(anicons_.constFirst(), this);
    tray_->setObjectName(QStringLiteral("tray"));
    tray_->setToolTip(trezorka::ui::qs(trezorka::rules::texts::tray_title));
    trayanimation_ = new QTimer(this);
    trayanimation_->setObjectName(QStringLiteral("trayanimation"));
    trayanimation_->setInterval(trezorka::rules::tray_frame_ms);
    connect(trayanimation_, &QTimer::timeout, this, &TrayIcon::trayanimationTimer);
    // A double click arrives as Trigger and then DoubleClick: only the first
    // counts, or the application would be restored twice.
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit clicked();
    });
}

void TrayIcon::set_shown(bool shown)
{
    if (shown == tray_->isVisible())
        return;
    if (shown) {
        tray_->setIcon(anicons_.at(frame_));
        tray_->show();
        trayanimation_->start();
    } else {
        trayanimation_->stop();
        tray_->hide();
    }
}

void TrayIcon::set_hint(const QString& hint)
{
    tray_->setToolTip(hint);
}

void TrayIcon::show_balloon(const QString& title, const QString& text)
{
    tray_->showMessage(title, text, QSystemTrayIcon::Information);
    emit balloon_shown(title, text);
}

void TrayIcon::trayanimationTimer()
{
    frame_ = (frame_ + 1) % int(anicons_.size());
    tray_->setIcon(anicons_.at(frame_));
}
