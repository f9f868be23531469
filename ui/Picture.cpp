#include "Picture.h"

#include "Artwork.h"
#include "Style.h"

#include <QPainter>

Picture::Picture(const QString& art, Fit fit, QWidget* parent)
    : QWidget(parent), art_(art), fit_(fit)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

Picture::Picture(const trezorka::rules::ControlLayout& c, QWidget* parent)
    : Picture(trezorka::ui::latin1(c.picture), c.stretch ? Fit::Stretch : Fit::Natural, parent)
{
}

void Picture::paintEvent(QPaintEvent*)
{
    const qreal dpr = devicePixelRatioF();
    const QSize want = fit_ == Fit::Stretch ? size() : Artwork::natural_size(art_);
    if (cache_.isNull() || cache_dpr_ != dpr || cache_size_ != want) {
        cache_ = Artwork::pixmap(art_, want, dpr);
        cache_dpr_ = dpr;
        cache_size_ = want;
    }
    QPainter p(this);
    p.drawPixmap(QPoint(0, 0), cache_);
}
