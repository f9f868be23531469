#pragma once

#include <QString>

// The process-wide record of the current job. The UI thread writes the inputs
// before it starts the worker and does not touch them until the worker's close
// request has been handled; the worker writes job_failed before that request.
struct SharedJob {
    QString job_ext;      // extension, with the dot, of the last accepted source
    QString job_busy;     // "true" while a command runs, "false" after; empty at start
    QString job_source;   // source path for the worker
    QString job_target;   // target path for the worker
    QString job_password; // password for the worker; wiped by the worker once the key exists
    bool job_encrypt = true;
    bool job_failed = false;

    // Overwrites the password's characters, then empties it. Only a copy that
    // this record holds alone is overwritten: QString shares its data on
    // copying, and writing through shared data would change the other
    // holder's text as well (fill() would instead detach and wipe a fresh
    // copy, leaving the characters where they were). So whoever fills in
    // job_password gives it a copy of its own.
    void wipe_password()
    {
        if (job_password.isDetached()) {
            // volatile: the writes must happen although the buffer is freed next.
            auto* units = reinterpret_cast<volatile char16_t*>(job_password.data());
            for (qsizetype i = 0; i < job_password.size(); ++i)
                units[i] = u'\0';
        }
        job_password = QString();
    }

    // A copy of `text` that shares nothing with it, for job_password.
    static QString unshared_copy(const QString& text) { return QString(text.constData(), text.size()); }
};
