#include "SharedJob.h"

#include "secure_buffer.h"

void SharedJob::set_password(const char16_t* units, std::size_t size)
{
    wipe_password();
    std::u16string fresh;
    fresh.reserve(size);
    fresh.assign(units, size);
    job_password_.swap(fresh);
}

void SharedJob::wipe_password() noexcept
{
    // The whole buffer, also the short-string storage inside the object.
    trezorka::secure_wipe(job_password_.data(), job_password_.capacity() * sizeof(char16_t));
    job_password_.clear();
}

SharedJob& SharedJob::operator=(SharedJob&& other) noexcept
{
    if (this == &other)
        return *this;
    job_ext = std::move(other.job_ext);
    job_busy = std::move(other.job_busy);
    job_source = std::move(other.job_source);
    job_target = std::move(other.job_target);
    job_encrypt = other.job_encrypt;
    job_failed = other.job_failed;
    wipe_password();
    job_password_.swap(other.job_password_);
    return *this;
}
