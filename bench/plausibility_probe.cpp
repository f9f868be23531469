// Drives the wrong-password check for the corpus and cost scripts:
//
//   plausibility_probe corpus [SEED] < LIST
//       For each line of standard input, "PATH" or "PATH<TAB>NAME": encrypts
//       the file's start with a random password, in memory, judges it for
//       NAME (default: the file's own name) with that password and with
//       another random one, as the tools judge what they read, and prints
//       "kind<TAB>size<TAB>right<TAB>wrong<TAB>path<TAB>name". A SEED makes
//       the same passwords again.
//   plausibility_probe kind NAME...
//       The kind each name is taken for ("-": none).
//   plausibility_probe time ENCRYPTED TARGET_NAME [ROUNDS]
//       Times check_password on a file encrypted with the password
//       "benchmark" (as engine_bench makes it), with that password and a
//       wrong one.

#include "plausibility.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
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

// The file's first bytes, as many as the check reads, and whether that is all of it.
std::vector<std::uint8_t> start_of(const fs::path& source, bool& whole)
{
    std::ifstream in(source, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open");
    std::vector<std::uint8_t> start(plausibility_window + 1);
    in.read(reinterpret_cast<char*>(start.data()), static_cast<std::streamsize>(start.size()));
    if (in.bad())
        throw std::runtime_error("cannot read");
    start.resize(static_cast<std::size_t>(in.gcount()));
    whole = start.size() <= plausibility_window;
    return start;
}

int corpus(std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    CipherContext context = CipherContext::acquire();
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty())
            continue;
        const std::size_t tab = line.find('\t');
        const std::string path = line.substr(0, tab);
        const fs::path source = fs::u8path(path);
        const std::string name = tab == std::string::npos ? source.filename().string() : line.substr(tab + 1);
        std::u16string right = random_password(random);
        std::u16string wrong = random_password(random);
        // A different password can still give the same key (only the first
        // half of its UTF-16 bytes is hashed); such a pair is not wrong.
        while (same_key(right, wrong))
            wrong = random_password(random);
        bool whole = false;
        std::vector<std::uint8_t> start;
        std::error_code ec;
        const auto size = fs::file_size(source, ec);
        try {
            start = start_of(source, whole);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "skipped %s: %s\n", path.c_str(), e.what());
            continue;
        }
        context.import_rc4_key(derive_key_bytes(right, KeyRule::Strong128).span()).encrypt(start);
        const Plausibility r = judge_encrypted_start(name, start, whole, right, KeyRule::Strong128);
        const Plausibility w = judge_encrypted_start(name, start, whole, wrong, KeyRule::Strong128);
        const std::string kind(plausibility_kind(name));
        std::printf("%s\t%llu\t%s\t%s\t%s\t%s\n", kind.empty() ? "-" : kind.c_str(),
                    static_cast<unsigned long long>(ec ? 0 : size), name_of(r), name_of(w), path.c_str(), name.c_str());
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
        if (command == "corpus" && argc <= 3)
            return corpus(argc == 3 ? std::strtoull(argv[2], nullptr, 10) : std::random_device{}());
        if (command == "kind") {
            for (int i = 2; i < argc; ++i) {
                const std::string_view kind = plausibility_kind(argv[i]);
                std::printf("%s\t%s\n", argv[i], kind.empty() ? "-" : std::string(kind).c_str());
            }
            return 0;
        }
        if (command == "time" && argc >= 4)
            return time_check(argv[2], argv[3], argc > 4 ? std::max(1, std::atoi(argv[4])) : 1000);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plausibility_probe: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: %s corpus [SEED] < LIST | kind NAME... | time ENCRYPTED TARGET_NAME [ROUNDS]\n", argv[0]);
    return 2;
}
