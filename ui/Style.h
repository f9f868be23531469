#pragma once

#include "layout.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <string>
#include <string_view>

class QWidget;

// The look both windows share, from the window rules' layout data, and the
// conversions between Qt's text and the rules' UTF-16 text.
namespace trezorka::ui {

QFont tahoma(int pixels, bool bold = false, bool underline = false);
QFont font_of(const rules::Font& font);
QColor colour_of(std::uint32_t rgb);
// The window's background colour and default font.
void apply_window_look(QWidget* window, const rules::WindowLayout& layout);

// Makes Debian's copy of Wine's Tahoma (regular and bold) known to Qt when it
// is installed; elsewhere Qt substitutes the system's sans-serif. Once per process.
void register_tahoma();

inline QString qs(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::u16string u16(const QString& text)
{
    return text.toStdU16String();
}

// A layout's names (of controls, of pictures) are ASCII.
inline QString latin1(std::string_view name)
{
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

} // namespace trezorka::ui
