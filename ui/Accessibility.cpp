#include "Accessibility.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QSet>
#include <QWidget>

namespace trezorka::accessibility {

namespace {

struct Command {
    QAccessible::Role role;
    QPointer<QWidget> area;
    QString description;
    Handler press;
};

// Keyed by the object; an entry goes with its object, so an address reused
// by a later widget never finds a stale one.
QHash<const QObject*, Command>& commands()
{
    static QHash<const QObject*, Command> c;
    return c;
}

QHash<const QObject*, QSet<const QObject*>>& decorations()
{
    static QHash<const QObject*, QSet<const QObject*>> d;
    return d;
}

class CommandAccessible : public QAccessibleWidget {
public:
    CommandAccessible(QWidget* w, const Command& command)
        : QAccessibleWidget(w, command.role), area_(command.area), description_(command.description),
          press_(command.press)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            if (const auto* label = qobject_cast<const QLabel*>(widget()))
                return label->text();
        if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty())
            return description_;
        return QAccessibleWidget::text(t);
    }

    // The bar beneath the label takes the clicks as well: a pointer-based
    // review finds the command over all of it.
    QRect rect() const override
    {
        QRect r = QAccessibleWidget::rect();
        if (area_ && area_->isVisible())
            r = r.united(QRect(area_->mapToGlobal(QPoint(0, 0)), area_->size()));
        return r;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (press_)
            names.prepend(pressAction());
        return names;
    }

    // Queued: the request comes from the screen reader's connection, which
    // must not wait for a dialog or a whole job to end.
    void doAction(const QString& action) override
    {
        if (action != pressAction() || !press_) {
            QAccessibleWidget::doAction(action);
            return;
        }
        QWidget* w = widget();
        QMetaObject::invokeMethod(
            w,
            [w, press = press_] {
                if (w->isEnabled() && !w->isHidden() && press)
                    press();
            },
            Qt::QueuedConnection);
    }

private:
    QPointer<QWidget> area_;
    QString description_;
    Handler press_;
};

class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Window) {}

    int childCount() const override { return int(shownChildren().size()); }

    QAccessibleInterface* child(int index) const override
    {
        const QList<QWidget*> children = shownChildren();
        if (index < 0 || index >= children.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        return int(shownChildren().indexOf(qobject_cast<QWidget*>(child->object())));
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        // Topmost first: children() runs from the bottom of the stacking order.
        const QList<QWidget*> children = shownChildren();
        for (auto it = children.crbegin(); it != children.crend(); ++it) {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(*it);
            if (iface && !iface->state().invisible && iface->rect().contains(x, y))
                return iface;
        }
        return nullptr;
    }

private:
    QList<QWidget*> shownChildren() const
    {
        const QSet<const QObject*> skip = decorations().value(widget());
        QList<QWidget*> list;
        for (QObject* o : widget()->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && !w->isWindow() && !skip.contains(w))
                list << w;
        }
        return list;
    }
};

QAccessibleInterface* factory(const QString&, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* w = static_cast<QWidget*>(object);
    const auto command = commands().constFind(object);
    if (command != commands().cend())
        return new CommandAccessible(w, *command);
    if (decorations().contains(object))
        return new WindowAccessible(w);
    return nullptr;
}

void install_once()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

// Qt makes a widget's interface the first time anything asks, even a text
// set while the widget is being built, and keeps it; one made before the
// widget was registered here is dropped so that the next request gets ours.
template <typename Ours>
void renew(QWidget* w)
{
    QAccessibleInterface* old = QAccessible::queryAccessibleInterface(w);
    if (old && !dynamic_cast<Ours*>(old))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(old));
}

// The tables live as long as the application, which is the connection's
// context.
template <typename Table>
void forget_with(QObject* object, Table& table)
{
    QObject::connect(object, &QObject::destroyed, QCoreApplication::instance(),
                     [&table, object] { table.remove(object); });
}

} // namespace

void set_command(QWidget* control, QAccessible::Role role, QWidget* area, const QString& description,
                 Handler press)
{
    install_once();
    const bool fresh = !commands().contains(control);
    commands().insert(control, Command{role, area, description, std::move(press)});
    if (fresh)
        forget_with(control, commands());
    renew<CommandAccessible>(control);
}

void set_decorations(QWidget* window, const QList<QWidget*>& list)
{
    install_once();
    const bool fresh = !decorations().contains(window);
    QSet<const QObject*>& set = decorations()[window];
    for (QWidget* w : list)
        set.insert(w);
    if (fresh)
        forget_with(window, decorations());
    renew<WindowAccessible>(window);
}

} // namespace trezorka::accessibility
