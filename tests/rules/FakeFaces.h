#pragma once

// A face without any display: the view keeps the controls' states as the
// layout starts them, the port runs scripted answers and records every call.

#include "TStatus_show_rules.h"
#include "Tmain_rules.h"
#include "test_qt.h"

#include <QString>
#include <QStringList>

#include <array>
#include <condition_variable>
#include <mutex>
#include <functional>
#include <map>
#include <memory>
#include <string>

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
        for (const auto& c : trezorka::rules::main_layout())
            controls[std::size_t(&c - trezorka::rules::main_layout().data())] = {c.shown, c.enabled,
                                                                                   std::u16string(c.text)};
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
};

// The window port and the system's dialogs in one, recording in order.
class ScriptedPort : public trezorka::rules::WindowPort, public trezorka::rules::UiPlatform {
public:
    QStringList calls;     // every call, in order, with its texts
    bool ok_cancel = true; // the answer to every OK/Cancel question
    bool tray = true;
    std::optional<std::u16string> open_answer;
    std::optional<std::u16string> save_answer;
    // How the progress showing ends: by default, when the worker's close request comes.
    std::function<void()> during_progress;
    int close_requests = 0;

    // WindowPort
    void set_window_enabled(bool e) override { calls << (e ? "enable" : "disable"); }
    void show_window() override { calls << "show window"; }
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
    void minimise_application() override { calls << "minimise application"; }
    void restore_application() override { calls << "restore application"; }
    void minimise_progress() override { calls << "minimise progress"; }
    void restore_progress() override { calls << "restore progress"; }
    void hide_for_tray() override { calls << "hide for tray"; }
    void show_from_tray() override { calls << "show from tray"; }
    void bring_to_front() override { calls << "front"; }
    void quit() override { calls << "quit"; }

    // UiPlatform
    std::optional<std::u16string> open_file(const FileDialogRequest& r) override
    {
        calls << "open " + qs(r.file_name) + u'|' + QString::number(r.filter_index);
        return open_answer;
    }
    std::optional<std::u16string> save_file(const FileDialogRequest& r) override
    {
        calls << "save " + qs(r.file_name) + u'|' + QString::number(r.filter_index);
        return save_answer;
    }
    void message(std::u16string_view title, std::u16string_view text, Icon icon) override
    {
        calls << QString(icon == Icon::Error ? "error " : "info ") + qs(title) + u'|' + qs(text);
    }
    void warning(std::u16string_view text) override { calls << "warning " + qs(text); }
    // "question " for the framework's "OK" default, "question, Cancel default: " else.
    bool warning_ok_cancel(std::u16string_view text, Button default_button) override
    {
        calls << (default_button == Button::Cancel ? "question, Cancel default: " : "question ") + qs(text);
        return ok_cancel;
    }
    void open_url(std::u16string_view url) override { calls << "url " + qs(url); }
    bool has_system_tray() override { return tray; }

private:
    std::mutex mutex_;
    std::condition_variable closed_;
};
