// Drives the wrong-password check for the corpus and cost scripts:
//
//   plausibility_probe corpus WORKDIR < LIST
//       For each path on standard input (one a line): encrypts the file with a
//       random password into WORKDIR by a stream job, judges the result for
//       the file's own name with that password and with another random one,
//       and prints "kind<TAB>size<TAB>right<TAB>wrong<TAB>path". The
//       encrypted copy is removed at once.
//   plausibility_probe time FILE [ROUNDS]
//       Times check_password on FILE encrypted with "benchmark" (the file is
//       encrypted to FILE.t2k first and removed afterwards), and the judging
//       of its first 64 KiB already in memory.

#include "plausibility.h"
#include "stream_job.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

using namespace trezorka;
namespace fs = std::filesystem;

namespace {

const char* name_of(Plausibility p)
{
    switch (p) {
    case Plausibility::Plausible:
        return "plausible";
    case Plausibility::ProbablyWrongPassword:
        return "wrong";
    case Plausibility::NoVerdict:
        return "none";
    }
    return "?";
}

std::u16string random_password(std::mt19937_64& random)
{
    static const std::u16string alphabet = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                           u"ěščřžýáíéůúťďňĚŠČŘŽÝÁÍÉŮÚ !?-_.";
    std::u16string password;
    const std::size_t length = 8 + random() % 17;
    for (std::size_t i = 0; i < length; ++i)
        password += alphabet[random() % alphabet.size()];
    return password;
}

bool same_key(std::u16string_view a, std::u16string_view b)
{
    const SecureBytes ka = derive_key_bytes(a, KeyRule::Strong128);
    const SecureBytes kb = derive_key_bytes(b, KeyRule::Strong128);
    return std::equal(ka.span().begin(), ka.span().end(), kb.span().begin(), kb.span().end());
}

void encrypt(const fs::path& source, const fs::path& target, std::u16string_view password)
{
    StreamJob job;
    job.source = Endpoint::file(source);
    job.target = Endpoint::file(target);
    job.encrypt = true;
    run_stream_job(job, password);
}

int corpus(const fs::path& work)
{
    std::mt19937_64 random(std::random_device{}());
    const fs::path encrypted = work / "probe.t2k";
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty())
            continue;
        const fs::path source = fs::u8path(line);
        std::u16string right = random_password(random);
        std::u16string wrong = random_password(random);
        // A different password can still give the same key (only the first
        // half of its UTF-16 bytes is hashed); such a pair is not wrong.
        while (same_key(right, wrong))
            wrong = random_password(random);
        try {
            encrypt(source, encrypted, right);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "skipped %s: %s\n", line.c_str(), e.what());
            continue;
        }
        const Plausibility r = check_password(encrypted, source.filename(), right, KeyRule::Strong128);
        const Plausibility w = check_password(encrypted, source.filename(), wrong, KeyRule::Strong128);
        std::error_code ec;
        const auto size = fs::file_size(encrypted, ec);
        fs::remove(encrypted, ec);
        const std::string kind(plausibility_kind(source.filename().string()));
        std::printf("%s\t%llu\t%s\t%s\t%s\n", kind.empty() ? "-" : kind.c_str(), static_cast<unsigned long long>(size),
                    name_of(r), name_of(w), line.c_str());
    }
    return 0;
}

int time_check(const fs::path& file, int rounds)
{
    const fs::path encrypted = fs::path(file.native() + ".t2k");
    encrypt(file, encrypted, u"benchmark");
    using clock = std::chrono::steady_clock;
    Plausibility verdict = Plausibility::NoVerdict;
    auto start = clock::now();
    for (int i = 0; i < rounds; ++i)
        verdict = check_password(encrypted, file.filename(), u"benchmark", KeyRule::Strong128);
    const double check_us = std::chrono::duration<double, std::micro>(clock::now() - start).count() / rounds;

    std::vector<std::uint8_t> head(plausibility_window);
    {
        FILE* in = std::fopen(encrypted.c_str(), "rb");
        if (!in)
            return 1;
        head.resize(std::fread(head.data(), 1, head.size(), in));
        std::fclose(in);
    }
    const bool whole = head.size() < plausibility_window;
    start = clock::now();
    for (int i = 0; i < rounds; ++i)
        judge_encrypted_start(file.filename().string(), head, whole, u"benchmark", KeyRule::Strong128);
    const double memory_us = std::chrono::duration<double, std::micro>(clock::now() - start).count() / rounds;
    // The wrong-password path: every signature and the text scan run.
    start = clock::now();
    Plausibility wrong_verdict = Plausibility::NoVerdict;
    for (int i = 0; i < rounds; ++i)
        wrong_verdict = judge_encrypted_start(file.filename().string(), head, whole, u"not it", KeyRule::Strong128);
    const double wrong_us = std::chrono::duration<double, std::micro>(clock::now() - start).count() / rounds;
    std::error_code ec;
    fs::remove(encrypted, ec);
    std::printf("%s (%zu bytes judged): check_password %.1f us, in memory %.1f us (%s), "
                "wrong password %.1f us (%s)\n",
                file.filename().c_str(), head.size(), check_us, memory_us, name_of(verdict), wrong_us,
                name_of(wrong_verdict));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "corpus" && argc == 3)
            return corpus(argv[2]);
        if (command == "time" && argc >= 3)
            return time_check(argv[2], argc > 3 ? std::atoi(argv[3]) : 1000);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plausibility_probe: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: %s corpus WORKDIR < LIST | time FILE [ROUNDS]\n", argv[0]);
    return 2;
}
