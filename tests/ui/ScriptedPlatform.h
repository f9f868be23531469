#pragma once

#include "UiPlatform.h"

#include <QList>
#include <QStringList>

#include <functional>

// Answers the window's dialogs from a script and records what was asked.
class ScriptedPlatform : public UiPlatform {
public:
    struct Message {
        QString title;
        QString text;
        Icon icon;
    };

    // The dialogs' answers in turn; a null string, or none left, is a cancel.
    QStringList openAnswers;
    QStringList saveAnswers;
    bool okCancelAnswer = true;
    bool systemTray = true;
    // Called as each message box would be shown, before it is recorded.
    std::function<void(const Message&)> onMessage;

    QList<FileDialogRequest> openAsked;
    QList<FileDialogRequest> saveAsked;
    QList<Message> messages;
    QStringList warnings;
    QStringList okCancelWarnings;
    QStringList urls;

    std::optional<QString> openFile(const FileDialogRequest& request) override
    {
        openAsked.append(request);
        return next(openAnswers);
    }
    std::optional<QString> saveFile(const FileDialogRequest& request) override
    {
        saveAsked.append(request);
        return next(saveAnswers);
    }
    void message(const QString& title, const QString& text, Icon icon) override
    {
        const Message m{title, text, icon};
        if (onMessage)
            onMessage(m);
        messages.append(m);
    }
    void warning(const QString& text) override { warnings.append(text); }
    bool warningOkCancel(const QString& text) override
    {
        okCancelWarnings.append(text);
        return okCancelAnswer;
    }
    void openUrl(const QString& url, QWidget*) override { urls.append(url); }
    bool hasSystemTray() override { return systemTray; }

private:
    static std::optional<QString> next(QStringList& answers)
    {
        const QString a = answers.isEmpty() ? QString() : answers.takeFirst();
        if (a.isNull())
            return std::nullopt;
        return std::optional<QString>(std::in_place, a);
    }
};
