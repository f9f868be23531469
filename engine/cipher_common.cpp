// The parts of the cipher layer that do not depend on the cipher service.

#include "cipher.h"

#include <algorithm>

namespace trezorka {

SecureBytes password_hash_bytes(std::u16string_view password)
{
    // Only the first half of the UTF-16LE text is hashed: L bytes for L code
    // units. Existing files were made this way, so it stays.
    const std::size_t length = password.size();
    SecureBytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t unit = password[i / 2];
        bytes.data()[i] = static_cast<std::uint8_t>(i % 2 == 0 ? unit & 0xFF : unit >> 8);
    }
    return bytes;
}

std::size_t counted_characters(std::u16string_view password)
{
    const std::size_t reached = (password.size() + 1) / 2;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < reached; ++i) {
        const bool continues_pair = i > 0 && password[i] >= 0xDC00 && password[i] <= 0xDFFF &&
                                    password[i - 1] >= 0xD800 && password[i - 1] <= 0xDBFF;
        if (!continues_pair)
            ++characters;
    }
    return characters;
}

SecureBytes rc4_key_from_digest(std::span<const std::uint8_t> digest, KeyRule rule)
{
    if (digest.size() < rc4_key_size)
        throw CipherError("SHA-1 digest too short");
    SecureBytes key(rc4_key_size); // zero-filled: the base rule's salt bytes
    const std::size_t taken = rule == KeyRule::Base40 ? 5 : rc4_key_size;
    std::copy_n(digest.begin(), taken, key.data());
    return key;
}

CipherKey password_key(CipherContext& context, std::u16string_view password, KeyRule rule)
{
    CipherHash hash = context.create_sha1_hash();
    hash.hash_data(password_hash_bytes(password).span());
    return hash.derive_rc4_key(rule);
}

} // namespace trezorka
