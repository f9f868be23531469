// What the two windows' layouts must satisfy, whatever their numbers: every
// control inside its window, nothing overlapping what it should not, each
// command's label on its bar, each field's marks side by side with it.

#include "Tmain_rules.h"
#include "layout.h"

#include <QtTest>

#include <algorithm>
#include <set>
#include <span>
#include <string_view>

namespace rules = trezorka::rules;
using rules::Control;
using rules::Rect;
using rules::TmainRules;

namespace {

bool overlap(const Rect& a, const Rect& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

bool inside(const Rect& inner, const Rect& outer)
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width
           && inner.y + inner.height <= outer.y + outer.height;
}

// A control sized by its text has no size in the layout.
bool sized(const rules::ControlLayout& c)
{
    return c.rect.width > 0 && c.rect.height > 0;
}

// The pictures that only decorate, such as the side panels, may lie under
// anything and be cut off by the window's edge.
bool panel(std::span<const rules::ControlLayout> layout, std::size_t i)
{
    if (layout.data() == rules::main_layout().data()) {
        const auto c = Control(i);
        const auto commands = TmainRules::commands();
        return TmainRules::decoration(c) && std::none_of(commands.begin(), commands.end(), [c](const auto& command) {
                   return command.bar == c || command.highlight == c;
               });
    }
    return layout[i].kind == rules::Kind::Picture && layout[i].name.starts_with("Image");
}

// The controls that stand for one thing on one spot: a command's label, bar
// and highlight; a field's two marks.
int group_of(std::span<const rules::ControlLayout> layout, std::size_t i)
{
    if (layout.data() != rules::main_layout().data())
        return -1;
    const auto c = Control(i);
    int group = 0;
    for (const TmainRules::Command& command : TmainRules::commands()) {
        if (c == command.label || c == command.bar || c == command.highlight)
            return group;
        ++group;
    }
    for (const TmainRules::Field& f : TmainRules::fields()) {
        if (f.ok && (c == *f.ok || c == *f.error))
            return group;
        ++group;
    }
    return -1;
}

// A path box borders its button by one shared column.
bool bordering(const Rect& edit, const Rect& bar)
{
    const Rect shared{std::max(edit.x, bar.x), std::max(edit.y, bar.y),
                      std::min(edit.x + edit.width, bar.x + bar.width) - std::max(edit.x, bar.x),
                      std::min(edit.y + edit.height, bar.y + bar.height) - std::max(edit.y, bar.y)};
    return shared.width == 1;
}

} // namespace

class tst_layout : public QObject {
    Q_OBJECT
private slots:
    void windows_data();
    void windows();
    void commandsOnTheirBars();
    void fieldsAndMarks();
};

void tst_layout::windows_data()
{
    QTest::addColumn<bool>("main");
    QTest::newRow("main window") << true;
    QTest::newRow("progress dialog") << false;
}

void tst_layout::windows()
{
    QFETCH(bool, main);
    const auto layout = main ? rules::main_layout() : rules::status_layout();
    const rules::WindowLayout& window = main ? rules::main_window : rules::status_window;
    const Rect client{0, 0, window.width, window.height};
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const rules::ControlLayout& c = layout[i];
        QVERIFY2(names.insert(c.name).second, c.name.data());
        if (!panel(layout, i))
            QVERIFY2(inside(c.rect, client) || (!sized(c) && c.rect.x >= 0 && c.rect.y >= 0), c.name.data());
        for (std::size_t j = 0; j < i; ++j) {
            const rules::ControlLayout& d = layout[j];
            if (!sized(c) || !sized(d) || !overlap(c.rect, d.rect) || panel(layout, i) || panel(layout, j))
                continue;
            const int group = group_of(layout, i);
            if (group >= 0 && group == group_of(layout, j))
                continue;
            // An edit box lies above the button it borders.
            const bool edge = c.kind == rules::Kind::Edit && d.hand && bordering(c.rect, d.rect);
            QVERIFY2(edge, qPrintable(QString::fromLatin1(c.name) + " overlaps " + QString::fromLatin1(d.name)));
        }
    }
}

// A label lies on its bar, above it and its highlight, which covers the bar
// exactly and is hidden until lit; all three take the pointing hand.
void tst_layout::commandsOnTheirBars()
{
    for (const TmainRules::Command& command : TmainRules::commands()) {
        const auto& label = rules::layout_of(command.label);
        QVERIFY(label.kind == rules::Kind::Label && label.hand);
        QVERIFY(command.click);
        if (!command.bar) {
            QVERIFY(!command.highlight && !command.move);
            continue;
        }
        const auto& bar = rules::layout_of(*command.bar);
        const auto& lit = rules::layout_of(*command.highlight);
        QVERIFY2(inside(label.rect, bar.rect), label.name.data());
        QCOMPARE(lit.rect.x, bar.rect.x);
        QCOMPARE(lit.rect.y, bar.rect.y);
        QCOMPARE(lit.rect.width, bar.rect.width);
        QCOMPARE(lit.rect.height, bar.rect.height);
        QVERIFY(bar.hand && lit.hand && bar.shown && !lit.shown);
        QVERIFY(int(command.label) > int(*command.highlight) && int(*command.highlight) > int(*command.bar));
        QVERIFY(command.move);
    }
}

// Each field's label lies above it on the left; its two marks share one spot
// to its right, hidden at the start.
void tst_layout::fieldsAndMarks()
{
    for (const TmainRules::Field& f : TmainRules::fields()) {
        const auto& field = rules::layout_of(f.field);
        const auto& label = rules::layout_of(f.label);
        QCOMPARE(field.kind, rules::Kind::Edit);
        QVERIFY2(label.rect.y + label.rect.height <= field.rect.y && label.rect.x <= field.rect.x, label.name.data());
        QVERIFY(label.text.ends_with(u':'));
        QCOMPARE(bool(f.ok), bool(f.error));
        if (!f.ok)
            continue;
        const auto& ok = rules::layout_of(*f.ok);
        const auto& error = rules::layout_of(*f.error);
        QVERIFY(ok.rect.x == error.rect.x && ok.rect.y == error.rect.y && !ok.shown && !error.shown);
        QVERIFY(ok.rect.x >= field.rect.x + field.rect.width && ok.rect.y == field.rect.y);
        QVERIFY(!f.ok_name.empty() && !f.error_name.empty());
    }
}

QTEST_GUILESS_MAIN(tst_layout)
#include "tst_layout.moc"
