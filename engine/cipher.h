#pragma once

// The cipher service the worker talks to: the same shape as the platform's
// cryptographic service (context, SHA-1 hash, RC4 key derived from the hash,
// in-place encrypt/decrypt with a running keystream). One implementation sits
// on OpenSSL 3, another on the Windows CryptoAPI; both give identical bytes.

#include "secure_buffer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string_view>

namespace trezorka {

struct CipherError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// How the RC4 key is formed from the 20-byte SHA-1 digest.
enum class KeyRule {
    Strong128, // today's default provider: the first 16 bytes of the digest
    Base40,    // the old base provider: the first 5 bytes, then 11 zero bytes of salt
};

// The bytes that are hashed for a password: the first L bytes of its UTF-16LE
// encoding, where L is its length in UTF-16 code units. Every existing file
// depends on this rule, so it must not be "fixed".
SecureBytes password_hash_bytes(std::u16string_view password);

// How many characters of a password reach the hash under that rule: those
// with at least one byte among the first L, i.e. the characters of the first
// ceil(L/2) code units, the last one possibly by its low byte alone. A
// surrogate pair is one character, counted when its first unit is reached.
std::size_t counted_characters(std::u16string_view password);

// Both rules give a 16-byte RC4 key.
inline constexpr std::size_t rc4_key_size = 16;

// The RC4 key bytes a rule forms from a SHA-1 digest.
SecureBytes rc4_key_from_digest(std::span<const std::uint8_t> digest, KeyRule rule);

// The RC4 key a password gives under a rule, computed through the cipher
// service (context, SHA-1, the rule). For checks and tools that need the raw
// key, such as comparing with another RC4 implementation.
SecureBytes derive_key_bytes(std::u16string_view password, KeyRule rule);

class CipherKey {
public:
    struct Impl;
    explicit CipherKey(std::unique_ptr<Impl> impl);
    CipherKey(CipherKey&&) noexcept;
    CipherKey& operator=(CipherKey&&) noexcept;
    ~CipherKey();

    // Transform in place; the keystream runs on from one call to the next.
    void encrypt(std::span<std::uint8_t> data);
    void decrypt(std::span<std::uint8_t> data);

private:
    std::unique_ptr<Impl> d_;
};

class CipherHash {
public:
    struct Impl;
    explicit CipherHash(std::unique_ptr<Impl> impl);
    CipherHash(CipherHash&&) noexcept;
    CipherHash& operator=(CipherHash&&) noexcept;
    ~CipherHash(); // destroys the hash object

    void hash_data(std::span<const std::uint8_t> data);
    CipherKey derive_rc4_key(KeyRule rule);

private:
    std::unique_ptr<Impl> d_;
};

// A context of the cipher service. Hashes and keys made from it must not
// outlive it. Every failure throws CipherError.
class CipherContext {
public:
    struct Impl;
    static CipherContext acquire();
    CipherContext(CipherContext&&) noexcept;
    CipherContext& operator=(CipherContext&&) noexcept;
    ~CipherContext(); // releases the context

    CipherHash create_sha1_hash();
    // An RC4 key from raw key bytes (5 to 32 bytes), for checks against
    // published RC4 vectors and other implementations.
    CipherKey import_rc4_key(std::span<const std::uint8_t> key_bytes);

private:
    explicit CipherContext(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d_;
};

// The RC4 key a password gives under a rule: its password_hash_bytes() through
// SHA-1, the rule applied to the digest. The hash object is gone by the time
// the key is returned.
CipherKey password_key(CipherContext& context, std::u16string_view password, KeyRule rule);

} // namespace trezorka
