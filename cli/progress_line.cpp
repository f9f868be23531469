#include "progress_line.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace trezorka::cli {
namespace {

std::string clock_text(std::uint64_t secs)
{
    char text[32];
    if (secs >= 3600)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(secs / 3600),
                      static_cast<unsigned long long>(secs / 60 % 60), static_cast<unsigned long long>(secs % 60));
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(secs / 60),
                      static_cast<unsigned long long>(secs % 60));
    return text;
}

} // namespace

void ProgressLine::update(std::uint64_t done, std::uint64_t total)
{
    // A job that ends within half a second needs no progress line.
    auto now = Clock::now();
    if (now - start_ < std::chrono::milliseconds(500) || (drawn_ && now - last_ < std::chrono::milliseconds(200)))
        return;
    last_ = now;
    double seconds = std::chrono::duration<double>(now - start_).count();
    double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0; // bytes/s
    char line[128];
    if (total > 0) {
        int percent = static_cast<int>(done * 100 / total);
        std::string left = "?";
        if (rate > 0) {
            auto secs = static_cast<std::uint64_t>(static_cast<double>(total - std::min(done, total)) / rate + 0.5);
            left = clock_text(secs);
        }
        std::snprintf(line, sizeof line, "\r%3d %%  %7.1f MB/s  zbývá %s", percent, rate / 1e6, left.c_str());
    } else {
        std::snprintf(line, sizeof line, "\r%9.1f MB  %7.1f MB/s", static_cast<double>(done) / 1e6, rate / 1e6);
    }
    err_ << line << "\033[K" << std::flush;
    drawn_ = true;
}

void ProgressLine::clear()
{
    if (drawn_)
        err_ << "\r\033[K" << std::flush;
    drawn_ = false;
}

} // namespace trezorka::cli
