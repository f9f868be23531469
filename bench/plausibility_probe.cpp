// Drives the wrong-password check for the corpus and cost scripts:
//
//   plausibility_probe corpus WORKDIR < LIST
//       For each path on standard input (one a line): encrypts the file with a
//       random password into WORKDIR by a stream job, judges the result for
//       the file's own name with that password and with another random one,
//       and prints "kind<TAB>size<TAB>right<TAB>wrong<TAB>path". The
//       encrypted copy is removed at once.
//   plausibility_probe time ENCRYPTED TARGET_NAME [ROUNDS]
//       Times check_password on a file encrypted with the password
//       "benchmark" (as engine_bench makes it), with that password and a
//       wrong one.

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

int time_check(const fs::path& encrypted, const std::string& target_name, int rounds)
{
    using clock = std::chrono::steady_clock;
    const fs::path target = fs::u8path(target_name);
    auto start = clock::now();
    const Plausibility first = check_password(encrypted, target, u"benchmark", KeyRule::Strong128);
    const double first_us = std::chrono::duration<double, std::micro>(clock::now() - start).count();
    start = clock::now();
    for (int i = 0; i < rounds; ++i)
        check_password(encrypted, target, u"benchmark", KeyRule::Strong128);
    const double right_us = std::chrono::duration<double, std::micro>(clock::now() - start).count() / rounds;
    // The wrong-password path: every signature of the kind and the text scan run.
    start = clock::now();
    Plausibility wrong = Plausibility::NoVerdict;
    for (int i = 0; i < rounds; ++i)
        wrong = check_password(encrypted, target, u"not it", KeyRule::Strong128);
    const double wrong_us = std::chrono::duration<double, std::micro>(clock::now() - start).count() / rounds;
    std::printf("check_password on %s as \"%s\": first call %.0f us (%s); then %.1f us a call with the right "
                "password, %.1f us with a wrong one (%s); %d rounds\n",
                encrypted.filename().string().c_str(), target_name.c_str(), first_us, name_of(first), right_us,
                wrong_us, name_of(wrong), rounds);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "corpus" && argc == 3)
            return corpus(argv[2]);
        if (command == "time" && argc >= 4)
            return time_check(argv[2], argv[3], argc > 4 ? std::max(1, std::atoi(argv[4])) : 1000);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plausibility_probe: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: %s corpus WORKDIR < LIST | time ENCRYPTED TARGET_NAME [ROUNDS]\n", argv[0]);
    return 2;
}
