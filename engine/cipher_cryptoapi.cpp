// The cipher layer over the Windows CryptoAPI (advapi32): the platform's own
// cipher service, so the bytes are the platform's by construction. Unlike the
// program this layer keeps compatible with, every call's result is checked: a
// failing service must never let plain text reach a ".t2k" file.

#include <windows.h>
#include <wincrypt.h>

#include "cipher.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>

namespace trezorka {

namespace {

[[noreturn]] void fail(const char* call)
{
    const DWORD code = GetLastError();
    char text[128];
    std::snprintf(text, sizeof text, "šifrovací služba: %s selhalo (chyba 0x%08lX)", call,
                  static_cast<unsigned long>(code));
    throw CipherError(text);
}

// The three kinds of CryptoAPI handle, each given back in its own way.
void release_provider(ULONG_PTR h) noexcept
{
    CryptReleaseContext(h, 0);
}
void destroy_hash(ULONG_PTR h) noexcept
{
    CryptDestroyHash(h);
}
void destroy_key(ULONG_PTR h) noexcept
{
    CryptDestroyKey(h);
}

// The owner of one CryptoAPI handle.
template <void (*release)(ULONG_PTR) noexcept>
class CryptHandle {
public:
    CryptHandle() = default;
    explicit CryptHandle(ULONG_PTR h) noexcept : h_(h) {}
    CryptHandle(CryptHandle&& o) noexcept : h_(std::exchange(o.h_, 0)) {}
    CryptHandle& operator=(CryptHandle&& o) noexcept
    {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, 0);
        }
        return *this;
    }
    ~CryptHandle() { reset(); }
    void reset() noexcept
    {
        if (h_)
            release(std::exchange(h_, 0));
    }
    ULONG_PTR get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != 0; }

private:
    ULONG_PTR h_ = 0;
};

using Provider = CryptHandle<release_provider>;
using Hash = CryptHandle<destroy_hash>;
using Key = CryptHandle<destroy_key>;

// nullptr names the platform's default provider for the type.
Provider acquire_provider(const wchar_t* provider_name)
{
    HCRYPTPROV h = 0;
    if (!CryptAcquireContextW(&h, nullptr, provider_name, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        fail("CryptAcquireContextW");
    return Provider(h);
}

Hash create_sha1(const Provider& provider)
{
    HCRYPTHASH h = 0;
    if (!CryptCreateHash(provider.get(), CALG_SHA1, 0, 0, &h))
        fail("CryptCreateHash");
    return Hash(h);
}

// CryptHashData and CryptEncrypt take DWORD lengths; big spans go in slices.
constexpr std::size_t max_slice = std::size_t{1} << 30;

void hash_bytes(const Hash& hash, std::span<const std::uint8_t> data)
{
    while (!data.empty()) {
        const std::size_t n = std::min(data.size(), max_slice);
        if (!CryptHashData(hash.get(), data.data(), static_cast<DWORD>(n), 0))
            fail("CryptHashData");
        data = data.subspan(n);
    }
}

Key derive_rc4(const Provider& provider, const Hash& hash, DWORD expected_bits, DWORD flags = 0)
{
    HCRYPTKEY h = 0;
    if (!CryptDeriveKey(provider.get(), CALG_RC4, hash.get(), flags, &h))
        fail("CryptDeriveKey");
    Key key(h);
    // Flags 0 take the provider's default RC4 key length. Which provider is the
    // default is a machine setting, so check what we got instead of trusting
    // it: a key of another length would write files nobody else can read.
    DWORD bits = 0;
    DWORD size = sizeof bits;
    if (!CryptGetKeyParam(key.get(), KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0))
        fail("CryptGetKeyParam");
    if (bits != expected_bits) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "šifrovací služba: klíč RC4 má %lu bitů místo očekávaných %lu",
                      static_cast<unsigned long>(bits), static_cast<unsigned long>(expected_bits));
        throw CipherError(text);
    }
    return key;
}

// A key as CryptImportKey takes it and CryptExportKey gives it: in plain text.
struct PlainKeyBlob {
    BLOBHEADER header;
    DWORD size;
    BYTE key[rc4_key_size];
};

const wchar_t* provider_for(KeyRule rule)
{
    return rule == KeyRule::Strong128 ? nullptr : MS_DEF_PROV_W;
}

DWORD key_bits_for(KeyRule rule)
{
    return rule == KeyRule::Strong128 ? 128 : 40;
}

} // namespace

// ---- context ------------------------------------------------------------

struct CipherKey::Impl {
    Key key;
};

struct CipherContext::Impl {
    // The default provider for PROV_RSA_FULL, asked for by no name, as the
    // files this program reads were made. On current Windows that is the
    // Strong or the Enhanced provider (Wine: Enhanced), both deriving 128-bit
    // RC4 keys with no salt. Naming the Enhanced provider instead would hide a
    // machine whose default was changed; derive_rc4() checks the key length
    // and fails such a machine loudly rather than write 40-bit files.
    Provider provider;
    // The base provider, acquired only when a key by the old 40-bit rule is
    // asked for. Named explicitly: it is no longer anyone's default.
    Provider base;

    const Provider& base_provider()
    {
        if (!base)
            base = acquire_provider(MS_DEF_PROV_W);
        return base;
    }
};

CipherContext::CipherContext(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
CipherContext::CipherContext(CipherContext&&) noexcept = default;
CipherContext& CipherContext::operator=(CipherContext&&) noexcept = default;
CipherContext::~CipherContext() = default;

CipherContext CipherContext::acquire()
{
    auto impl = std::make_unique<Impl>();
    impl->provider = acquire_provider(nullptr);
    return CipherContext(std::move(impl));
}

CipherKey CipherContext::import_rc4_key(std::span<const std::uint8_t> key_bytes)
{
    // CryptoAPI's RC4 takes 40 to 128 bits; longer keys are refused by the
    // service itself, so they are refused here with a clear reason.
    if (key_bytes.size() < 5 || key_bytes.size() > rc4_key_size)
        throw CipherError("šifrovací služba: RC4 přijímá klíč jen o 5 až 16 bajtech");
    SecureBytes blob(sizeof(PlainKeyBlob));
    PlainKeyBlob fields{};
    fields.header.bType = PLAINTEXTKEYBLOB;
    fields.header.bVersion = CUR_BLOB_VERSION;
    fields.header.aiKeyAlg = CALG_RC4;
    fields.size = static_cast<DWORD>(key_bytes.size());
    std::copy_n(reinterpret_cast<const std::uint8_t*>(&fields), offsetof(PlainKeyBlob, key), blob.data());
    std::copy(key_bytes.begin(), key_bytes.end(), blob.data() + offsetof(PlainKeyBlob, key));
    const DWORD blob_size = static_cast<DWORD>(offsetof(PlainKeyBlob, key) + key_bytes.size());

    HCRYPTKEY h = 0;
    if (!CryptImportKey(d_->provider.get(), blob.data(), blob_size, 0, CRYPT_NO_SALT, &h))
        fail("CryptImportKey");
    auto impl = std::make_unique<CipherKey::Impl>();
    impl->key = Key(h);
    // A 40-bit key gets 11 bytes of salt unless told otherwise, and Wine does
    // not honour CRYPT_NO_SALT on import: clear the salt explicitly.
    DWORD salt_size = 0;
    if (!CryptGetKeyParam(impl->key.get(), KP_SALT, nullptr, &salt_size, 0))
        fail("CryptGetKeyParam");
    if (salt_size != 0) {
        BYTE none = 0;
        CRYPT_DATA_BLOB empty{0, &none};
        if (!CryptSetKeyParam(impl->key.get(), KP_SALT_EX, reinterpret_cast<BYTE*>(&empty), 0))
            fail("CryptSetKeyParam");
        salt_size = 0;
        if (!CryptGetKeyParam(impl->key.get(), KP_SALT, nullptr, &salt_size, 0))
            fail("CryptGetKeyParam");
        if (salt_size != 0)
            throw CipherError("šifrovací služba: sůl klíče nelze odstranit");
    }
    return CipherKey(std::move(impl));
}

// ---- hash ---------------------------------------------------------------

struct CipherHash::Impl {
    Impl(CipherContext::Impl& c, Hash h) : context(c), hash(std::move(h)) {}
    CipherContext::Impl& context;
    Hash hash;
    // A hash object belongs to one provider. The 40-bit rule needs the base
    // provider's own hash of the same bytes, so they are kept (and wiped).
    SecureBytes hashed;
};

CipherHash::CipherHash(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
CipherHash::CipherHash(CipherHash&&) noexcept = default;
CipherHash& CipherHash::operator=(CipherHash&&) noexcept = default;
CipherHash::~CipherHash() = default;

CipherHash CipherContext::create_sha1_hash()
{
    return CipherHash(std::make_unique<CipherHash::Impl>(*d_, create_sha1(d_->provider)));
}

void CipherHash::hash_data(std::span<const std::uint8_t> data)
{
    hash_bytes(d_->hash, data);
    SecureBytes all(d_->hashed.size() + data.size());
    std::copy(d_->hashed.span().begin(), d_->hashed.span().end(), all.data());
    std::copy(data.begin(), data.end(), all.data() + d_->hashed.size());
    d_->hashed = std::move(all);
}

// ---- key ----------------------------------------------------------------

CipherKey::CipherKey(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
CipherKey::CipherKey(CipherKey&&) noexcept = default;
CipherKey& CipherKey::operator=(CipherKey&&) noexcept = default;
CipherKey::~CipherKey() = default;

CipherKey CipherHash::derive_rc4_key(KeyRule rule)
{
    auto impl = std::make_unique<CipherKey::Impl>();
    if (rule == KeyRule::Strong128) {
        impl->key = derive_rc4(d_->context.provider, d_->hash, key_bits_for(rule));
    } else {
        const Provider& base = d_->context.base_provider();
        Hash hash = create_sha1(base);
        hash_bytes(hash, d_->hashed.span());
        // The base provider pads its 40-bit key with 11 zero bytes of salt.
        impl->key = derive_rc4(base, hash, key_bits_for(rule));
    }
    return CipherKey(std::move(impl));
}

void CipherKey::encrypt(std::span<std::uint8_t> data)
{
    while (!data.empty()) {
        const std::size_t n = std::min(data.size(), max_slice);
        DWORD len = static_cast<DWORD>(n);
        if (!CryptEncrypt(d_->key.get(), 0, FALSE, 0, data.data(), &len, static_cast<DWORD>(n)))
            fail("CryptEncrypt");
        if (len != n)
            throw CipherError("šifrovací služba: CryptEncrypt vrátilo jinou délku");
        data = data.subspan(n);
    }
}

void CipherKey::decrypt(std::span<std::uint8_t> data)
{
    while (!data.empty()) {
        const std::size_t n = std::min(data.size(), max_slice);
        DWORD len = static_cast<DWORD>(n);
        if (!CryptDecrypt(d_->key.get(), 0, FALSE, 0, data.data(), &len))
            fail("CryptDecrypt");
        if (len != n)
            throw CipherError("šifrovací služba: CryptDecrypt vrátilo jinou délku");
        data = data.subspan(n);
    }
}

// ---- tools

SecureBytes derive_key_bytes(std::u16string_view password, KeyRule rule)
{
    // The provider's own key bytes: derived exportable (the job's keys are
    // not), exported in plain text, followed by the provider's salt.
    const Provider provider = acquire_provider(provider_for(rule));
    const Hash hash = create_sha1(provider);
    hash_bytes(hash, password_hash_bytes(password).span());
    const Key key = derive_rc4(provider, hash, key_bits_for(rule), CRYPT_EXPORTABLE);

    SecureBytes blob(sizeof(PlainKeyBlob));
    DWORD blob_size = static_cast<DWORD>(blob.size());
    if (!CryptExportKey(key.get(), 0, PLAINTEXTKEYBLOB, 0, blob.data(), &blob_size))
        fail("CryptExportKey");
    DWORD key_size = 0;
    std::copy_n(blob.data() + offsetof(PlainKeyBlob, size), sizeof key_size,
                reinterpret_cast<std::uint8_t*>(&key_size));
    if (blob_size < offsetof(PlainKeyBlob, key) || key_size > rc4_key_size
        || blob_size - offsetof(PlainKeyBlob, key) < key_size)
        throw CipherError("šifrovací služba: nečekaný tvar exportovaného klíče");

    DWORD salt_size = 0;
    if (!CryptGetKeyParam(key.get(), KP_SALT, nullptr, &salt_size, 0))
        fail("CryptGetKeyParam");
    if (key_size + salt_size != rc4_key_size)
        throw CipherError("šifrovací služba: klíč a sůl nedávají 16 bajtů");
    SecureBytes result(rc4_key_size);
    std::copy_n(blob.data() + offsetof(PlainKeyBlob, key), key_size, result.data());
    if (salt_size > 0 && !CryptGetKeyParam(key.get(), KP_SALT, result.data() + key_size, &salt_size, 0))
        fail("CryptGetKeyParam");
    return result;
}

} // namespace trezorka
