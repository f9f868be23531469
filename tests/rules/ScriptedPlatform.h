#pragma once

// The system's dialogs and shell services from a script: every question is
// answered as the test says, and every call is recorded, in order in `calls`
// ("error TITLE|TEXT", "question TEXT", "open NAME|INDEX", ...) and by kind.

#include "UiPlatform.h"
#include "test_qt.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <string_view>

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
    // The answer to every OK/Cancel question, unless `answerOkCancel` gives it.
    bool okCancelAnswer = true;
    std::function<bool()> answerOkCancel;
    bool systemTray = true;
    trezorka::rules::Desktop abilities{.late_reports = true};
    // Called as each message box would be shown, before it is recorded.
    std::function<void(const Message&)> onMessage;

    QStringList calls;
    QList<Asked> openAsked;
    QList<Asked> saveAsked;
    QList<Message> messages;
    QStringList warnings;
    QStringList okCancelWarnings;
    QStringList urls;

    std::optional<std::u16string> open_file(const FileDialogRequest& request) override
    {
        openAsked.append(asked(request));
        calls << "open " + qs(request.file_name) + u'|' + QString::number(request.filter_index);
        return next(openAnswers);
    }
    std::optional<std::u16string> save_file(const FileDialogRequest& request) override
    {
        saveAsked.append(asked(request));
        calls << "save " + qs(request.file_name) + u'|' + QString::number(request.filter_index);
        return next(saveAnswers);
    }
    void message(std::u16string_view title, std::u16string_view text, Icon icon) override
    {
        const Message m{qs(title), qs(text), icon};
        if (onMessage)
            onMessage(m);
        messages.append(m);
        calls << QString(icon == Icon::Error ? "error " : "info ") + m.title + u'|' + m.text;
    }
    void warning(std::u16string_view text) override
    {
        warnings.append(qs(text));
        calls << "warning " + qs(text);
    }
    // "question " for the framework's "OK" default, "question, Cancel default: " else.
    bool warning_ok_cancel(std::u16string_view text, Button default_button) override
    {
        okCancelWarnings.append(qs(text));
        calls << (default_button == Button::Cancel ? "question, Cancel default: " : "question ") + qs(text);
        return answerOkCancel ? answerOkCancel() : okCancelAnswer;
    }
    void open_url(std::u16string_view url) override
    {
        urls.append(qs(url));
        calls << "url " + qs(url);
    }
    bool has_system_tray() override { return systemTray; }
    trezorka::rules::Desktop desktop() override { return abilities; }

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
