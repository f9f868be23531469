#pragma once

// A face without any display: the view keeps the controls' states as the
// layout starts them, the window port and the desktop record every call in
// one log (the scripted platform's, so the order of all calls shows), and the
// desktop reports its windows' state changes back as a window system does.

#include "ApplicationWindows.h"
#include "ScriptedPlatform.h"
#include "TStatus_show_rules.h"
#include "Tmain_rules.h"
#include "test_qt.h"

#include <QString>
#include <QStringList>

#include <array>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>

using trezorka::rules::AppWindow;
using trezorka::rules::Control;
using trezorka::rules::Timer;

class FakeView : public trezorka::rules::MainView {
public:
    struct State {
        bool shown;
        bool enabled;
        std::u16string text;
        bool unused_look = false;
    };
    std::array<State, trezorka::rules::control_count> controls;
    std::map<Timer, bool> running;
    std::map<Timer, int> starts;
    bool tray_shown = false;
    std::u16string tray_hint;
    QStringList balloons;
    int focused = -1;

    FakeView()
    {
        for (int i = 0; i < trezorka::rules::control_count; ++i) {
            const auto& c = trezorka::rules::main_layout()[std::size_t(i)];
            controls[std::size_t(i)] = {c.shown, c.enabled, trezorka::rules::first_text(Control(i))};
        }
    }
    State& at(Control c) { return controls[std::size_t(c)]; }
    const State& at(Control c) const { return controls[std::size_t(c)]; }

    bool shown(Control c) const override { return at(c).shown; }
    void set_shown(Control c, bool s) override { at(c).shown = s; }
    bool enabled(Control c) const override { return at(c).enabled; }
    void set_enabled(Control c, bool e) override { at(c).enabled = e; }
    std::u16string text(Control c) const override { return at(c).text; }
    void set_text(Control c, std::u16string_view t) override { at(c).text = std::u16string(t); }
    bool empty(Control c) const override { return at(c).text.empty(); }
    bool same_text(Control a, Control b) const override { return at(a).text == at(b).text; }
    void copy_password(Control c, SharedJob& job) const override
    {
        job.set_password(at(c).text.data(), at(c).text.size());
    }
    void set_unused_look(Control c, bool unused) override { at(c).unused_look = unused; }
    void set_focus(Control c) override { focused = int(c); }
    bool timer_running(Timer t) const override { return running.count(t) && running.at(t); }
    void start_timer(Timer t) override
    {
        running[t] = true;
        ++starts[t];
    }
    void stop_timer(Timer t) override { running[t] = false; }
    void set_tray_shown(bool s) override { tray_shown = s; }
    void set_tray_hint(std::u16string_view h) override { tray_hint = std::u16string(h); }
    void show_tray_balloon(std::u16string_view title, std::u16string_view text) override
    {
        balloons << qs(title) + u'|' + qs(text);
    }

    // The controls' rectangles and states, as the hover rule takes them.
    std::vector<trezorka::rules::HitBox> boxes() const
    {
        std::vector<trezorka::rules::HitBox> out;
        for (int i = 0; i < trezorka::rules::control_count; ++i)
            out.push_back({trezorka::rules::main_layout()[std::size_t(i)].rect, controls[std::size_t(i)].shown,
                           controls[std::size_t(i)].enabled});
        return out;
    }
};

// The main window as a whole and the progress dialog.
class FakePort : public trezorka::rules::WindowPort {
public:
    QStringList& calls;
    bool enabled = true;
    // How the progress showing ends: by default, when the worker's close request comes.
    std::function<void()> during_progress;
    int close_requests = 0;

    explicit FakePort(QStringList& log) : calls(log) {}

    void set_window_enabled(bool e) override
    {
        calls << (e ? "enable" : "disable");
        enabled = e;
    }
    bool window_enabled() const override { return enabled; }
    sifra::CloseRequest close_request() override
    {
        return [this] {
            std::lock_guard lock(mutex_);
            ++close_requests;
            closed_.notify_all();
        };
    }
    void show_progress(const trezorka::rules::texts::CommandTexts& t, std::u16string_view from,
                       std::u16string_view to) override
    {
        calls << "progress " + qs(t.caption) + u'|' + qs(from) + u'|' + qs(to);
        if (during_progress) {
            during_progress();
            return;
        }
        std::unique_lock lock(mutex_);
        closed_.wait(lock, [this] { return close_requests > 0; });
    }
    void close_progress_if_shown() override { calls << "close progress"; }
    void quit() override { calls << "quit"; }

private:
    std::mutex mutex_;
    std::condition_variable closed_;
};

// The two windows as a window system keeps them; a state change is reported
// back to the rules at once, as Win32 does (late reports are the rules' own
// matter: `settling_now` stands for the settle period).
class FakeDesktop : public trezorka::rules::DesktopPort {
public:
    struct Window {
        bool shown = false;
        bool minimised = false;
        trezorka::rules::Rect frame;
    };
    QStringList& calls;
    trezorka::rules::ApplicationWindows* application = nullptr;
    std::map<AppWindow, Window> windows{{AppWindow::main, {true, false, {0, 0, 563, 375}}},
                                         {AppWindow::progress, {false, false, {0, 0, 508, 149}}}};
    trezorka::rules::Rect desktop{0, 0, 1280, 1024};
    trezorka::rules::Rect work{0, 0, 1280, 1000};
    bool settling_now = false;
    int settle_starts = 0;

    explicit FakeDesktop(QStringList& log) : calls(log) {}
    static QString name(AppWindow w) { return w == AppWindow::main ? "main" : "progress"; }

    bool shown(AppWindow w) const override { return windows.at(w).shown; }
    bool minimised(AppWindow w) const override { return windows.at(w).minimised; }
    void minimise(AppWindow w) override
    {
        calls << "minimise " + name(w);
        set_minimised(w, true);
    }
    void unminimise(AppWindow w) override
    {
        calls << "unminimise " + name(w);
        set_minimised(w, false);
    }
    void show(AppWindow w) override
    {
        calls << "show " + name(w);
        windows[w].shown = true;
        set_minimised(w, false);
    }
    void hide(AppWindow w) override
    {
        calls << "hide " + name(w);
        windows[w].shown = false;
    }
    void raise(AppWindow w) override { calls << "raise " + name(w); }
    trezorka::rules::Rect desktop_area() const override { return desktop; }
    trezorka::rules::Rect work_area() const override { return work; }
    trezorka::rules::Rect frame(AppWindow w) const override { return windows.at(w).frame; }
    void move(AppWindow w, int x, int y) override
    {
        calls << QString("move %1 %2,%3").arg(name(w)).arg(x).arg(y);
        windows[w].frame.x = x;
        windows[w].frame.y = y;
    }
    void start_settling() override { ++settle_starts; }
    bool settling() const override { return settling_now; }

    // The user's own minimise or restore, on the title bar or the task bar.
    void user_sets_minimised(AppWindow w, bool m) { set_minimised(w, m); }

private:
    void set_minimised(AppWindow w, bool m)
    {
        const bool was = windows[w].minimised;
        windows[w].minimised = m;
        if (application && was != m)
            application->window_state_changed(w, was, m);
    }
};
