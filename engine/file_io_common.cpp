#include "file_io.h"

#include <cstdio>
#include <mutex>
#include <random>

namespace trezorka::file_io {

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

} // namespace trezorka::file_io
