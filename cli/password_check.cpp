#include "password_check.h"

#include "naming.h"
#include "native_path.h"
#include "plausibility.h"
#include "refusal.h"
#include "terminal.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace trezorka::cli {
namespace {

// The name the decrypted file will have: the target's, or, written to
// standard output, the one the source's name proposes. Empty: no name.
std::string judged_name(const Plan& plan)
{
    if (!plan.target_is_stdout)
        return plan.target_shown;
    if (plan.source_is_stdin)
        return {};
    const std::u16string source16 = from_native_path(plan.source);
    if (!is_decrypt_source(source16))
        return {};
    return native_bytes_from_utf16(name_of(propose_target(source16).target));
}

// Up to plausibility_window bytes from the descriptor; `all` tells whether
// its end came within them.
std::vector<std::uint8_t> read_start(int fd, bool& all)
{
    std::vector<std::uint8_t> start(plausibility_window);
    std::size_t used = 0;
    all = false;
    while (used < start.size()) {
        const long long got = read_some(fd, start.data() + used, static_cast<unsigned>(start.size() - used));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw EarlyFailure{std::string("chyba čtení standardního vstupu: ") + std::strerror(errno)};
        if (got == 0) {
            all = true;
            break;
        }
        used += static_cast<std::size_t>(got);
    }
    start.resize(used);
    return start;
}

} // namespace

std::vector<std::uint8_t> check_password_before_decrypting(const Plan& plan, const Streams& s,
                                                           std::u16string_view password, KeyRule rule)
{
    const std::string name = judged_name(plan);
    // A name of no known kind gives no verdict: nothing to read for it.
    if (name.empty() || plausibility_kind(name).empty())
        return {};
    std::vector<std::uint8_t> start;
    Plausibility verdict = Plausibility::NoVerdict;
    if (plan.source_is_stdin) {
        bool all = false;
        start = read_start(s.input_fd, all);
        verdict = judge_encrypted_start(name, start, all, password, rule);
    } else {
        verdict = check_password(plan.source, to_native_path(utf16_from_native_bytes(name)), password, rule);
    }
    if (verdict == Plausibility::ProbablyWrongPassword)
        throw Refusal{"Heslo je nejspíš chybné: dešifrovaný začátek souboru nevypadá jako soubor druhu " +
                      std::string(plausibility_kind(name)) + ", jaký ohlašuje jméno cíle \"" + name +
                      "\". Nic nebylo zapsáno.\nJe-li heslo správné (třeba u přejmenovaného souboru), "
                      "použijte --no-check."};
    return start;
}

} // namespace trezorka::cli
