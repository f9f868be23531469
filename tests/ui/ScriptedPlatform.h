#pragma once

#include "UiPlatform.h"
#include "test_qt.h"
#include "window_texts.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <string_view>

// Answers the window's dialogs from a script and records what was asked.
class ScriptedPlatform : public trezorka::rules::UiPlatform {
public:
    struct Message {
        QString title;
        QString text;
        Icon icon;
    };
    struct Asked {
        QString filter;
        QString file_name;
        int filter_index = 1;
    };

    // The dialogs' answers in turn; a null string, or none left, is a cancel.
    QStringList openAnswers;
    QStringList saveAnswers;
    bool okCancelAnswer = true;
    bool systemTray = true;
    // Called as each message box would be shown, before it is recorded.
    std::function<void(const Message&)> onMessage;

    QList<Asked> openAsked;
    QList<Asked> saveAsked;
    QList<Message> messages;
    QStringList warnings;
    QStringList okCancelWarnings;
    QStringList urls;

    std::optional<std::u16string> open_file(const FileDialogRequest& request) override
    {
        openAsked.append(asked(request));
        return next(openAnswers);
    }
    std::optional<std::u16string> save_file(const FileDialogRequest& request) override
    {
        saveAsked.append(asked(request));
        return next(saveAnswers);
    }
    void message(std::u16string_view title, std::u16string_view text, Icon icon) override
    {
        const Message m{qs(title), qs(text), icon};
        if (onMessage)
            onMessage(m);
        messages.append(m);
    }
    void warning(std::u16string_view text) override { warnings.append(qs(text)); }
    bool warning_ok_cancel(std::u16string_view text, Button) override
    {
        okCancelWarnings.append(qs(text));
        return okCancelAnswer;
    }
    void open_url(std::u16string_view url) override { urls.append(qs(url)); }
    bool has_system_tray() override { return systemTray; }

private:
    static Asked asked(const FileDialogRequest& r) { return {qs(r.filter), qs(r.file_name), r.filter_index}; }
    static std::optional<std::u16string> next(QStringList& answers)
    {
        const QString a = answers.isEmpty() ? QString() : answers.takeFirst();
        if (a.isNull())
            return std::nullopt;
        return a.toStdU16String();
    }
};
