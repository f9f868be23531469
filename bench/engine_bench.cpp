// Times one stream job on a file, without the command-line tool around it:
//   engine_bench SOURCE TARGET|- [BLOCK_SIZE]
// The password is "benchmark", the key rule the default one.

#include "stream_job.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SOURCE TARGET [BLOCK_SIZE]\n", argv[0]);
        return 2;
    }
    trezorka::StreamJob job;
    job.source = trezorka::Endpoint::file(argv[1]);
    // "-" writes to standard output, e.g. /dev/null, to time the job without the disk
    job.target = std::string_view(argv[2]) == "-" ? trezorka::Endpoint::descriptor(1)
                                                   : trezorka::Endpoint::file(argv[2]);
    if (argc > 3)
        job.block_size = std::strtoull(argv[3], nullptr, 10);
    std::uint64_t bytes = 0;
    job.progress = [&](std::uint64_t done, std::uint64_t) { bytes = done; };

    const auto start = std::chrono::steady_clock::now();
    try {
        trezorka::run_stream_job(job, u"benchmark");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "engine_bench: %s\n", e.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%llu bytes in %.3f s: %.1f MB/s\n", static_cast<unsigned long long>(bytes), seconds,
                seconds > 0 ? bytes / seconds / 1e6 : 0.0);
    return 0;
}
