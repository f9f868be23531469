#pragma once

#include <string>

// The process-wide record of the current job. The UI thread writes the inputs
// before it starts the worker and does not touch them until the worker's close
// request has been handled; the worker writes job_failed before that request.
// Plain C++, so that every face (the Qt window, the Windows window) shares it.
struct SharedJob {
    std::u16string job_ext;    // extension, with the dot, of the last accepted source
    std::u16string job_busy;   // u"true" while a command runs, u"false" after; empty at start
    std::u16string job_source; // source path for the worker
    std::u16string job_target; // target path for the worker
    bool job_encrypt = true;
    bool job_failed = false;

    bool busy() const { return job_busy == u"true"; }

    // The password for the worker, which wipes it as soon as it has its own copy.
    // Set only through set_password, which allocates once for exactly this text
    // so that no reallocation leaves a copy behind in freed memory.
    void set_password(const char16_t* units, std::size_t size);
    const std::u16string& password() const { return job_password_; }
    // Overwrites the password's characters, then empties it.
    void wipe_password() noexcept;

    SharedJob() = default;
    SharedJob(const SharedJob&) = delete;
    SharedJob& operator=(const SharedJob&) = delete;
    // A fresh record in place of this one; the password is wiped, not copied.
    SharedJob& operator=(SharedJob&& other) noexcept;
    ~SharedJob() { wipe_password(); }

private:
    std::u16string job_password_;
};
