#include "file_io.h"

#include "job_error.h"
#include "printable_name.h"

#include <cstdio>
#include <mutex>
#include <random>
#include <utility>

namespace trezorka::file_io {

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, invalid_handle())), owned_(std::exchange(other.owned_, false))
{
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        release();
        handle_ = std::exchange(other.handle_, invalid_handle());
        owned_ = std::exchange(other.owned_, false);
    }
    return *this;
}

File::~File()
{
    release();
}

void throw_failure(const std::string& what, const std::filesystem::path& path, const std::string& cause)
{
    std::string message = what;
    if (!path.empty())
        message += ": " + printable_name(path);
    throw JobError(message + ": " + cause);
}

std::string hidden_temp_name()
{
    static std::mutex lock;
    static std::mt19937_64 random{std::random_device{}()};
    std::uint64_t value;
    {
        std::lock_guard guard(lock);
        value = random();
    }
    char name[40];
    std::snprintf(name, sizeof name, ".trezorka-%016llx.tmp", static_cast<unsigned long long>(value));
    return name;
}

bool is_hidden_temp_name(std::string_view name) noexcept
{
    constexpr std::string_view prefix = ".trezorka-";
    constexpr std::string_view suffix = ".tmp";
    constexpr std::size_t digits = 16;
    if (name.size() != prefix.size() + digits + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return false;
    for (const char c : name.substr(prefix.size(), digits)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

} // namespace trezorka::file_io
