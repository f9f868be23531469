#pragma once

#include "secure_text.h"

#include <string>
#include <string_view>

// The process-wide record of the current job. The UI thread writes the inputs
// before it starts the worker and does not touch them until the worker's close
// request has been handled; the worker writes job_failed and job_cause before
// that request.
// Plain C++, so that every face (the Qt window, the Windows window) shares it.
struct SharedJob {
    std::u16string job_ext;    // extension, with the dot, of the last accepted source
    std::u16string job_busy;   // u"true" while a command runs, u"false" after; empty at start
    std::u16string job_source; // source path for the worker
    std::u16string job_target; // target path for the worker
    bool job_encrypt = true;
    bool job_failed = false;
    // Why the last job failed, in Czech, names escaped, as the command-line
    // tool prints it under the failure text; empty after a job that did not fail.
    std::u16string job_cause;

    bool busy() const { return job_busy == u"true"; }

    // The password for the worker, in memory kept out of swap and dumps. The
    // worker takes it (the record is empty afterwards) and wipes it as soon
    // as the key exists.
    void set_password(const char16_t* units, std::size_t size);
    std::u16string_view password() const { return job_password_.view(); }
    trezorka::SecureText take_password() noexcept { return std::move(job_password_); }
    // Wipes the password now.
    void wipe_password() noexcept { job_password_.clear(); }

    SharedJob() = default;
    SharedJob(const SharedJob&) = delete;
    SharedJob& operator=(const SharedJob&) = delete;
    // A fresh record in place of this one; the password is wiped, not copied.
    SharedJob& operator=(SharedJob&& other) noexcept;
    ~SharedJob() = default;

private:
    trezorka::SecureText job_password_;
};
