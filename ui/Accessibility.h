#pragma once

#include <QAccessible>
#include <QList>
#include <QString>

#include <functional>

class QWidget;

// What a screen reader is told about the main window. Its commands are a
// picture with a label on it; to assistive technology each one is a single
// button, carried by the label, whose press runs the command's handler. The
// pictures that only decorate (the bars, their highlights, the panels) are
// left out of the window's list of children, so nothing is announced twice.
namespace trezorka::accessibility {

using Handler = std::function<void()>;

// `control` is announced with `role`, its accessible name (a label: its
// text) and `description`; `area` (may be null) is the whole clickable area
// it stands for. With a `press`, it offers the press action, which runs
// `press` once the event loop is back, and only while the control is enabled
// and shown; without one (a picture that only shows a state) it offers none.
void set_command(QWidget* control, QAccessible::Role role, QWidget* area, const QString& description,
                 Handler press);

// The window's children that are left out of its accessible children.
void set_decorations(QWidget* window, const QList<QWidget*>& decorations);

} // namespace trezorka::accessibility
