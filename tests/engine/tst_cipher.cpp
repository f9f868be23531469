// The cipher layer: what the password turns into, and RC4 itself.

#include "cipher.h"
#include "test_qt.h"
#include "vectors.h"

#include <QTest>

#include <algorithm>

using namespace trezorka;
using namespace test_util;

namespace {

Bytes encrypt_with_password(std::u16string_view password, KeyRule rule, Bytes data)
{
    CipherContext context = CipherContext::acquire();
    password_key(context, password, rule).encrypt(data);
    return data;
}

Bytes plaintext()
{
    return Bytes(vectors::known_plaintext.begin(), vectors::known_plaintext.end());
}

} // namespace

class TestCipher : public QObject {
    Q_OBJECT

private slots:
    void knownAnswers_data()
    {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < vectors::password_vectors.size(); ++i)
            QTest::newRow(vectors::password_vectors[i].name) << int(i);
    }
    void knownAnswers()
    {
        QFETCH(int, row);
        const auto& v = vectors::password_vectors[static_cast<std::size_t>(row)];
        QCOMPARE(to_hex(password_hash_bytes(v.password).span()), QByteArray(v.hashed_hex.data()));
        QCOMPARE(to_hex(derive_key_bytes(v.password, KeyRule::Strong128).span()), QByteArray(v.key_hex.data()));

        const Bytes ciphertext = encrypt_with_password(v.password, KeyRule::Strong128, plaintext());
        QCOMPARE(to_hex(ciphertext), QByteArray(v.ciphertext_hex.data()));

        CipherContext context = CipherContext::acquire();
        Bytes back = ciphertext;
        password_key(context, v.password, KeyRule::Strong128).decrypt(back);
        QCOMPARE(back, plaintext());
    }

    void hashedBytes_data()
    {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < vectors::hashed_bytes_vectors.size(); ++i)
            QTest::newRow(vectors::hashed_bytes_vectors[i].name) << int(i);
    }
    void hashedBytes()
    {
        QFETCH(int, row);
        const auto& v = vectors::hashed_bytes_vectors[static_cast<std::size_t>(row)];
        const SecureBytes bytes = password_hash_bytes(v.password);
        QCOMPARE(bytes.size(), v.password.size());
        QCOMPARE(to_hex(bytes.span()), QByteArray(v.hashed_hex.data()));
    }

    // The old base provider's key: 5 digest bytes and 11 zero bytes.
    void base40Key_data()
    {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < vectors::password_vectors.size(); ++i)
            QTest::newRow(vectors::password_vectors[i].name) << int(i);
    }
    void base40Key()
    {
        QFETCH(int, row);
        const auto& v = vectors::password_vectors[static_cast<std::size_t>(row)];
        Bytes expected = from_hex(v.key_hex);
        std::fill(expected.begin() + 5, expected.end(), 0);
        const SecureBytes key = derive_key_bytes(v.password, KeyRule::Base40);
        QCOMPARE(Bytes(key.span().begin(), key.span().end()), expected);

        // The key the hash derives under the rule is that key.
        CipherContext context = CipherContext::acquire();
        CipherKey reference = context.import_rc4_key(expected);
        Bytes data = plaintext();
        reference.encrypt(data);
        QCOMPARE(encrypt_with_password(v.password, KeyRule::Base40, plaintext()), data);
        QVERIFY(data != from_hex(v.ciphertext_hex));
    }

    void keyFromDigest()
    {
        const Bytes digest = from_hex("000102030405060708090a0b0c0d0e0f10111213");
        QCOMPARE(to_hex(rc4_key_from_digest(digest, KeyRule::Strong128).span()),
                 QByteArray("000102030405060708090a0b0c0d0e0f"));
        QCOMPARE(to_hex(rc4_key_from_digest(digest, KeyRule::Base40).span()),
                 QByteArray("00010203040000000000000000000000"));
        QVERIFY_THROWS_EXCEPTION(CipherError, rc4_key_from_digest(std::span(digest).first(10), KeyRule::Strong128));
    }

    // Only the first L bytes of UTF-16LE count: for six characters, the first three.
    void sharedPrefixSameKey_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("abcdef abcxyz") << "abcdef" << "abcxyz" << true;
        QTest::newRow("abcdef abdxyz") << "abcdef" << "abdxyz" << false;
        // five characters give five bytes: a, b and the low byte of c
        QTest::newRow("five chars, last two differ") << "abcde" << "abcQQ" << true;
        QTest::newRow("five chars, third differs") << "abcde" << "abQde" << false;
        QTest::newRow("length matters") << "abcd" << "abcdab" << false;
    }
    void sharedPrefixSameKey()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        const std::u16string_view pa(reinterpret_cast<const char16_t*>(a.utf16()), static_cast<std::size_t>(a.size()));
        const std::u16string_view pb(reinterpret_cast<const char16_t*>(b.utf16()), static_cast<std::size_t>(b.size()));
        const SecureBytes ka = derive_key_bytes(pa, KeyRule::Strong128);
        const SecureBytes kb = derive_key_bytes(pb, KeyRule::Strong128);
        QCOMPARE(std::equal(ka.span().begin(), ka.span().end(), kb.span().begin(), kb.span().end()), same);
        QCOMPARE(encrypt_with_password(pa, KeyRule::Strong128, plaintext())
                     == encrypt_with_password(pb, KeyRule::Strong128, plaintext()),
                 same);
    }

    // The characters counted are exactly those the key depends on: changing
    // anything after them keeps the key, changing the last of them does not.
    void countedCharacters_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("counted");
        QTest::newRow("even") << "password" << 4;
        QTest::newRow("odd: the middle one by its low byte") << "abcde" << 3;
        QTest::newRow("15 characters") << "abcdefghijklmno" << 8;
        QTest::newRow("Czech, odd") << "žluťoučký" << 5;
        QTest::newRow("non-BMP pair reached by its first unit") << "a😀" << 2;
        QTest::newRow("non-BMP pairs") << "😀😀😀😀" << 2;
        QTest::newRow("one character") << "x" << 1;
    }
    void countedCharacters()
    {
        QFETCH(QString, password);
        QFETCH(int, counted);
        std::u16string p(reinterpret_cast<const char16_t*>(password.utf16()), static_cast<std::size_t>(password.size()));
        QCOMPARE(counted_characters(p), std::size_t(counted));
        // The code units of the counted characters, and where the last one starts.
        std::size_t units = 0, last = 0;
        for (int c = 0; c < counted; ++c) {
            last = units;
            units += QChar::isHighSurrogate(p[units]) ? 2 : 1;
        }
        const SecureBytes key = derive_key_bytes(p, KeyRule::Strong128);
        const auto same = [&key](std::u16string_view other) {
            const SecureBytes k = derive_key_bytes(other, KeyRule::Strong128);
            return std::equal(key.span().begin(), key.span().end(), k.span().begin(), k.span().end());
        };
        std::u16string rest = p;
        for (std::size_t i = units; i < rest.size(); ++i)
            rest[i] = static_cast<char16_t>(rest[i] ^ 0x0101);
        QVERIFY(same(rest));
        std::u16string lastChanged = p;
        lastChanged[last] = static_cast<char16_t>(lastChanged[last] ^ 0x0001);
        QVERIFY(!same(lastChanged));
    }

    // RC4 itself against RFC 6229, whole and in uneven pieces (the keystream runs on).
    void rfc6229_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("piece");
        for (std::size_t i = 0; i < vectors::rc4_vectors.size(); ++i) {
            for (int piece : {0x1010, 1, 7, 512, 513}) {
                QTest::addRow("%s, pieces of %d", vectors::rc4_vectors[i].name, piece) << int(i) << piece;
            }
        }
    }
    void rfc6229()
    {
        QFETCH(int, row);
        QFETCH(int, piece);
        const auto& v = vectors::rc4_vectors[static_cast<std::size_t>(row)];
        CipherContext context = CipherContext::acquire();
        CipherKey key = context.import_rc4_key(from_hex(v.key_hex));
        Bytes stream(0x1010, 0);
        for (std::size_t at = 0; at < stream.size(); at += static_cast<std::size_t>(piece)) {
            const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(piece), stream.size() - at);
            key.encrypt(std::span(stream).subspan(at, n));
        }
        for (const auto& r : v.rows)
            QCOMPARE(to_hex(std::span(stream).subspan(r.offset, 16)), QByteArray(r.keystream_hex.data()));
    }

    void badKeyLengthsRefused()
    {
        CipherContext context = CipherContext::acquire();
        const Bytes four(4, 1);
        const Bytes long_key(33, 1);
        QVERIFY_THROWS_EXCEPTION(CipherError, context.import_rc4_key(four));
        QVERIFY_THROWS_EXCEPTION(CipherError, context.import_rc4_key(long_key));
    }

    // A moved-from hash or key reports a failure instead of passing data through.
    void usedUpObjectsFail()
    {
        CipherContext context = CipherContext::acquire();
        CipherHash hash = context.create_sha1_hash();
        hash.hash_data(password_hash_bytes(u"Trezor").span());
        CipherKey key = hash.derive_rc4_key(KeyRule::Strong128);
        QVERIFY_THROWS_EXCEPTION(CipherError, hash.derive_rc4_key(KeyRule::Strong128));
        CipherKey moved = std::move(key);
        Bytes data = plaintext();
        QVERIFY_THROWS_EXCEPTION(CipherError, key.encrypt(data)); // NOLINT(bugprone-use-after-move)
        QCOMPARE(data, plaintext());
        moved.encrypt(data);
        QCOMPARE(to_hex(data), QByteArray("96dbba68328befd0f21dd74a"));
    }
};

QTEST_GUILESS_MAIN(TestCipher)
#include "tst_cipher.moc"
