#pragma once

#include <string>

// The process-wide record of the current job, as the Windows program keeps
// it. The UI thread writes the inputs before it starts the worker and does not
// touch them until the worker's close request has been handled; the worker
// writes job_failed before that request.
struct SharedJob {
    std::wstring job_ext;
    std::wstring job_busy; // "true" while a command runs, "false" after; empty at start
    std::wstring job_source;
    std::wstring job_target;
    std::wstring job_password; // wiped by the worker once it has its own copy
    bool job_encrypt = true;
    bool job_failed = false;

    void wipe_password() noexcept
    {
        volatile wchar_t* units = job_password.data();
        for (std::size_t i = 0; i < job_password.size(); ++i)
            units[i] = L'\0';
        job_password.clear();
        job_password.shrink_to_fit();
    }
};
