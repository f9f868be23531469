#pragma once

// Before a decryption writes anything: does the decrypted start of the source
// look like what the target's name announces? A wrong password turns it into
// random bytes.

#include "cipher.h"
#include "cli.h"
#include "plan.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace trezorka::cli {

// Throws Refusal when the password is probably wrong, EarlyFailure when
// standard input cannot be read. Returns the bytes read from standard input
// to judge them (up to 64 KiB), which the job must take before the rest.
std::vector<std::uint8_t> check_password_before_decrypting(const Plan& plan, const Streams& s,
                                                           std::u16string_view password, KeyRule rule);

} // namespace trezorka::cli
