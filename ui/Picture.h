#pragma once

#include "layout.h"

#include <QPixmap>
#include <QString>
#include <QWidget>

// A picture control: shows one piece of artwork either at its own size from the
// top-left corner, cut to the control (the command bars, the panels), or scaled
// to fill the control (the password marks). Unlike a disabled QLabel it draws
// its picture unchanged when disabled, as the command bars need.
class Picture : public QWidget {
    Q_OBJECT
public:
    enum class Fit { Natural, Stretch };

    Picture(const QString& art, Fit fit, QWidget* parent);
    // The picture a layout row names, fitted as it says.
    Picture(const trezorka::rules::ControlLayout& c, QWidget* parent);

    QString art() const { return art_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString art_;
    Fit fit_;
    QPixmap cache_;
    qreal cache_dpr_ = 0;
    QSize cache_size_;
};
