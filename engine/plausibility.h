#pragma once

// Is the password probably wrong? A ".t2k" file carries no check value, so a
// mistyped password would "decrypt" into garbage of the right length. But a
// wrong key turns the start of the file into bytes that look random, while the
// right key gives back a file that looks like what the target's name says: a
// PDF starts with "%PDF-", a PNG with its signature, a text file is text. This
// check decrypts only the start of the source, in memory, and compares.
//
// It never raises an alarm it cannot stand behind: an unknown kind of name, an
// empty or very short file, a signature that lies beyond the bytes read, or a
// kind whose real files may start with anything (binary STL, old tar, raw
// streams) gives no verdict. Every kind it judges accepts all the forms its
// real files take (tools/gen_mime_table.py says which and why). Text is
// always accepted, whatever the name says, as random bytes never pass for it.

#include "cipher.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace trezorka {

enum class Plausibility {
    Plausible,             // the start looks like the named kind of file
    ProbablyWrongPassword, // it does not; a wrong password is the likely cause
    NoVerdict,             // nothing can be said either way
};

// How much of the source the check reads and decrypts at most.
inline constexpr std::size_t plausibility_window = 64 * 1024;

// Judges an already decrypted start. `target_name` is the target's file name
// or path in UTF-8 (only the last component counts; '/' and '\' both
// separate). `whole_file`: `plain_start` is the whole file, not just its start.
Plausibility judge_start(std::string_view target_name, std::span<const std::uint8_t> plain_start,
                         bool whole_file);

// Decrypts a copy of the source's first bytes (at most plausibility_window are
// used) with the password and judges them; the copy is wiped afterwards. For
// bytes already read, such as those peeked from standard input.
// CipherError when the cipher service fails.
Plausibility judge_encrypted_start(std::string_view target_name, std::span<const std::uint8_t> encrypted_start,
                                   bool whole_file, std::u16string_view password, KeyRule rule);

// Reads up to plausibility_window bytes of the source file and judges them for
// the target's name. A source that cannot be read gives no verdict: the job
// itself reports why. CipherError when the cipher service fails.
Plausibility check_password(const std::filesystem::path& source, const std::filesystem::path& target,
                            std::u16string_view password, KeyRule rule);

// The media type the check takes a name for ("application/pdf"), or empty
// when the name matches no known pattern; with several equally good matches,
// the first. For messages and diagnostics.
std::string_view plausibility_kind(std::string_view target_name);

} // namespace trezorka
