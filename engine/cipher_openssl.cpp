// The cipher layer on OpenSSL 3. The library context is our own, with the
// "legacy" provider (RC4) and the "default" provider (SHA-1) loaded into it,
// so neither the system's openssl.cnf nor its default context matter.

#include "cipher.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <climits>
#include <string>
#include <utility>

namespace trezorka {

namespace {

[[noreturn]] void fail(const char* what)
{
    std::string message = std::string("cipher service: ") + what;
    if (const unsigned long code = ERR_get_error(); code != 0) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        message += " (";
        message += text;
        message += ')';
    }
    ERR_clear_error();
    throw CipherError(message);
}

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const noexcept { Free(p); }
};
void free_provider(OSSL_PROVIDER* p) { OSSL_PROVIDER_unload(p); }

using LibCtxPtr = std::unique_ptr<OSSL_LIB_CTX, Deleter<OSSL_LIB_CTX, OSSL_LIB_CTX_free>>;
using ProviderPtr = std::unique_ptr<OSSL_PROVIDER, Deleter<OSSL_PROVIDER, free_provider>>;
using MdPtr = std::unique_ptr<EVP_MD, Deleter<EVP_MD, EVP_MD_free>>;
using CipherPtr = std::unique_ptr<EVP_CIPHER, Deleter<EVP_CIPHER, EVP_CIPHER_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, Deleter<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>>;

} // namespace

struct CipherContext::Impl {
    // Declaration order is destruction order reversed: algorithms go first,
    // then the providers, then the library context.
    LibCtxPtr libctx;
    ProviderPtr default_provider;
    ProviderPtr legacy_provider;
    MdPtr sha1;
    CipherPtr rc4;

    CipherKey import_key(std::span<const std::uint8_t> key) const;
};

struct CipherHash::Impl {
    const CipherContext::Impl* context;
    MdCtxPtr md;
};

struct CipherKey::Impl {
    CipherCtxPtr ctx;
};

// ---- CipherContext

namespace {
std::unique_ptr<CipherContext::Impl> make_context()
{
    auto impl = std::make_unique<CipherContext::Impl>();
    impl->libctx.reset(OSSL_LIB_CTX_new());
    if (!impl->libctx)
        fail("cannot create a library context");
    impl->default_provider.reset(OSSL_PROVIDER_load(impl->libctx.get(), "default"));
    if (!impl->default_provider)
        fail("cannot load the default provider");
    impl->legacy_provider.reset(OSSL_PROVIDER_load(impl->libctx.get(), "legacy"));
    if (!impl->legacy_provider)
        fail("cannot load the legacy provider");
    impl->sha1.reset(EVP_MD_fetch(impl->libctx.get(), "SHA1", nullptr));
    if (!impl->sha1)
        fail("SHA-1 is not available");
    impl->rc4.reset(EVP_CIPHER_fetch(impl->libctx.get(), "RC4", nullptr));
    if (!impl->rc4)
        fail("RC4 is not available");
    return impl;
}

MdCtxPtr start_sha1(const CipherContext::Impl& context)
{
    MdCtxPtr md(EVP_MD_CTX_new());
    if (!md)
        fail("cannot create a hash object");
    if (EVP_DigestInit_ex2(md.get(), context.sha1.get(), nullptr) != 1)
        fail("cannot start SHA-1");
    return md;
}

SecureBytes finish_sha1(EVP_MD_CTX* md)
{
    SecureBytes digest(EVP_MAX_MD_SIZE);
    unsigned int digest_size = 0;
    if (EVP_DigestFinal_ex(md, digest.data(), &digest_size) != 1)
        fail("SHA-1 failed");
    SecureBytes result(digest_size);
    std::copy_n(digest.data(), digest_size, result.data());
    return result;
}
} // namespace

CipherContext CipherContext::acquire()
{
    return CipherContext(make_context());
}

CipherContext::CipherContext(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
CipherContext::CipherContext(CipherContext&&) noexcept = default;
CipherContext& CipherContext::operator=(CipherContext&&) noexcept = default;
CipherContext::~CipherContext() = default;

CipherHash CipherContext::create_sha1_hash()
{
    if (!d_)
        throw CipherError("cipher service: no context");
    auto impl = std::make_unique<CipherHash::Impl>();
    impl->context = d_.get();
    impl->md = start_sha1(*d_);
    return CipherHash(std::move(impl));
}

// ---- CipherHash

CipherHash::CipherHash(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
CipherHash::CipherHash(CipherHash&&) noexcept = default;
CipherHash& CipherHash::operator=(CipherHash&&) noexcept = default;
CipherHash::~CipherHash() = default;

void CipherHash::hash_data(std::span<const std::uint8_t> data)
{
    if (!d_ || !d_->md)
        throw CipherError("cipher service: no hash object");
    if (EVP_DigestUpdate(d_->md.get(), data.data(), data.size()) != 1)
        fail("SHA-1 failed");
}

CipherKey CipherHash::derive_rc4_key(KeyRule rule)
{
    if (!d_ || !d_->md)
        throw CipherError("cipher service: no hash object");
    const SecureBytes digest = finish_sha1(d_->md.get());
    // A finished digest cannot take more data: the hash is used up.
    d_->md.reset();
    const SecureBytes key = rc4_key_from_digest(digest.span(), rule);

    return d_->context->import_key(key.span());
}

CipherKey CipherContext::Impl::import_key(std::span<const std::uint8_t> key) const
{
    if (key.size() < 5 || key.size() > 32)
        throw CipherError("cipher service: RC4 key of a wrong length");
    auto impl = std::make_unique<CipherKey::Impl>();
    impl->ctx.reset(EVP_CIPHER_CTX_new());
    if (!impl->ctx)
        fail("cannot create a cipher object");
    if (EVP_CipherInit_ex2(impl->ctx.get(), rc4.get(), nullptr, nullptr, 1, nullptr) != 1)
        fail("cannot start RC4");
    if (EVP_CIPHER_CTX_set_key_length(impl->ctx.get(), static_cast<int>(key.size())) != 1)
        fail("RC4 refuses the key length");
    if (EVP_CipherInit_ex2(impl->ctx.get(), nullptr, key.data(), nullptr, 1, nullptr) != 1)
        fail("cannot set the RC4 key");
    return CipherKey(std::move(impl));
}

CipherKey CipherContext::import_rc4_key(std::span<const std::uint8_t> key_bytes)
{
    if (!d_)
        throw CipherError("cipher service: no context");
    return d_->import_key(key_bytes);
}

// ---- CipherKey

CipherKey::CipherKey(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
CipherKey::CipherKey(CipherKey&&) noexcept = default;
CipherKey& CipherKey::operator=(CipherKey&&) noexcept = default;
CipherKey::~CipherKey() = default;

namespace {
void transform(CipherKey::Impl* d, std::span<std::uint8_t> data)
{
    if (!d || !d->ctx)
        throw CipherError("cipher service: no key");
    // RC4 is a stream cipher: the output has exactly the input's length, and
    // anything else means the service misbehaved.
    std::uint8_t* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const int chunk = left > static_cast<std::size_t>(INT_MAX / 2) ? INT_MAX / 2 : static_cast<int>(left);
        int out = 0;
        if (EVP_CipherUpdate(d->ctx.get(), p, &out, p, chunk) != 1 || out != chunk)
            fail("RC4 failed");
        p += chunk;
        left -= static_cast<std::size_t>(chunk);
    }
}
} // namespace

void CipherKey::encrypt(std::span<std::uint8_t> data) { transform(d_.get(), data); }
void CipherKey::decrypt(std::span<std::uint8_t> data) { transform(d_.get(), data); }

// ---- tools

SecureBytes derive_key_bytes(std::u16string_view password, KeyRule rule)
{
    const auto context = make_context();
    const MdCtxPtr md = start_sha1(*context);
    const SecureBytes bytes = password_hash_bytes(password);
    if (EVP_DigestUpdate(md.get(), bytes.data(), bytes.size()) != 1)
        fail("SHA-1 failed");
    return rc4_key_from_digest(finish_sha1(md.get()).span(), rule);
}

} // namespace trezorka
