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

    // Overwrites the password's characters, then empties it.
    void wipe_password()
    {
        job_password.fill(QChar(u'\0'));
        job_password.clear();
    }
};
