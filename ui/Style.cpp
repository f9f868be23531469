#include "Style.h"

#include <QPalette>
#include <QWidget>

namespace trezorka::ui {

QFont tahoma(int pixels, bool bold, bool underline)
{
    QFont f(qs(rules::font_family));
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

QFont font_of(const rules::Font& font)
{
    return tahoma(font.pixels, font.bold, font.underline);
}

QColor colour_of(std::uint32_t rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

void apply_window_look(QWidget* window, const rules::WindowLayout& layout)
{
    QPalette pal = window->palette();
    pal.setColor(QPalette::Window, colour_of(layout.background));
    window->setPalette(pal);
    window->setAutoFillBackground(true);
    window->setFont(font_of(layout.font));
}

} // namespace trezorka::ui
