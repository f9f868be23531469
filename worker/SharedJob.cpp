#include "SharedJob.h"

void SharedJob::set_password(const char16_t* units, std::size_t size)
{
    job_password_ = trezorka::SecureText(std::u16string_view(units, size));
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
    job_cause = std::move(other.job_cause);
    job_password_ = other.take_password();
    return *this;
}
