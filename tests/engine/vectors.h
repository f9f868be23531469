#pragma once

// Known answers and naming tables, in plain C++ so that a check program on
// Windows (against the CryptoAPI layer) can use the same rows.

#include <array>
#include <string_view>

namespace trezorka::vectors {

// The plaintext of every password row.
inline constexpr std::string_view known_plaintext = "Ahoj, svete!";

struct PasswordVector {
    const char* name;
    std::u16string_view password;
    std::string_view hashed_hex;     // the bytes that go into SHA-1
    std::string_view key_hex;        // the 16-byte RC4 key (Strong128)
    std::string_view ciphertext_hex; // known_plaintext encrypted
};

inline constexpr std::array password_vectors{
    PasswordVector{"Trezor", u"Trezor", "540072006500", "70dc8571df3ea371ce303f87093c8735",
                   "96dbba68328befd0f21dd74a"},
    PasswordVector{"zlutoucky", u"\u017elu\u0165ou\u010dk\u00fd", "7e016c00750065016f",
                   "b75d024060fa41f5cda4e57ad70a4824", "e04831b708f9168d8c7f5fe1"},
    PasswordVector{"x", u"x", "78", "11f6ad8ec52a2984abaafd7c3b516503", "76da214be3663a88475a8675"},
};

// The bytes hashed for passwords that stress the half-of-UTF-16 rule.
struct HashedBytesVector {
    const char* name;
    std::u16string_view password;
    std::string_view hashed_hex;
};

inline constexpr std::array hashed_bytes_vectors{
    HashedBytesVector{"one char", u"a", "61"},
    HashedBytesVector{"two chars", u"ab", "6100"},
    HashedBytesVector{"five chars", u"abcde", "6100620063"},
    HashedBytesVector{"non-ascii", u"\u00e9\u00e9", "e900"},
    // U+1F600 is the pair D83D DE00: two units, so two bytes: 3D D8.
    HashedBytesVector{"non-BMP alone", u"\U0001F600", "3dd8"},
    HashedBytesVector{"non-BMP then ascii", u"\U0001F600ab", "3dd800de"},
    HashedBytesVector{"ascii then non-BMP", u"ab\U0001F600", "61006200"},
};

// RC4 keystream from RFC 6229 (the first key of each length): 16 bytes at each offset.
struct Rc4Row {
    unsigned offset;
    std::string_view keystream_hex;
};
struct Rc4Vector {
    const char* name;
    std::string_view key_hex;
    std::array<Rc4Row, 18> rows;
};

inline constexpr std::array rc4_vectors{
    Rc4Vector{"40-bit", "0102030405",
              {{{0x0000, "b2396305f03dc027ccc3524a0a1118a8"}, {0x0010, "6982944f18fc82d589c403a47a0d0919"},
                {0x00f0, "28cb1132c96ce286421dcaadb8b69eae"}, {0x0100, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
                {0x01f0, "42b7d0cdd918a8a33dd51781c81f4041"}, {0x0200, "6459844432a7da923cfb3eb4980661f6"},
                {0x02f0, "ec10327bde2beefd18f9277680457e22"}, {0x0300, "eb62638d4f0ba1fe9fca20e05bf8ff2b"},
                {0x03f0, "45129048e6a0ed0b56b490338f078da5"}, {0x0400, "30abbcc7c20b01609f23ee2d5f6bb7df"},
                {0x05f0, "3294f744d8f9790507e70f62e5bbceea"}, {0x0600, "d8729db41882259bee4f825325f5a130"},
                {0x07f0, "1eb14a0c13b3bf47fa2a0ba93ad45b8b"}, {0x0800, "cc582f8ba9f265e2b1be9112e975d2d7"},
                {0x0bf0, "f2e30f9bd102ecbf75aaade9bc35c43c"}, {0x0c00, "ec0e11c479dc329dc8da7968fe965681"},
                {0x0ff0, "068326a2118416d21f9d04b2cd1ca050"}, {0x1000, "ff25b58995996707e51fbdf08b34d875"}}}},
    Rc4Vector{"128-bit", "0102030405060708090a0b0c0d0e0f10",
              {{{0x0000, "9ac7cc9a609d1ef7b2932899cde41b97"}, {0x0010, "5248c4959014126a6e8a84f11d1a9e1c"},
                {0x00f0, "065902e4b620f6cc36c8589f66432f2b"}, {0x0100, "d39d566bc6bce3010768151549f3873f"},
                {0x01f0, "b6d1e6c4a5e4771cad79538df295fb11"}, {0x0200, "c68c1d5c559a974123df1dbc52a43b89"},
                {0x02f0, "c5ecf88de897fd57fed301701b82a259"}, {0x0300, "eccbe13de1fcc91c11a0b26c0bc8fa4d"},
                {0x03f0, "e7a72574f8782ae26aabcf9ebcd66065"}, {0x0400, "bdf0324e6083dcc6d3cedd3ca8c53c16"},
                {0x05f0, "b40110c4190b5622a96116b0017ed297"}, {0x0600, "ffa0b514647ec04f6306b892ae661181"},
                {0x07f0, "d03d1bc03cd33d70dff9fa5d71963ebd"}, {0x0800, "8a44126411eaa78bd51e8d87a8879bf5"},
                {0x0bf0, "fabeb76028ade2d0e48722e46c4615a3"}, {0x0c00, "c05d88abd50357f935a63c59ee537623"},
                {0x0ff0, "ff38265c1642c1abe8d3c2fe5e572bf8"}, {0x1000, "a36a4c301ae8ac13610ccbc12256cacc"}}}},
    Rc4Vector{"256-bit", "0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20",
              {{{0x0000, "eaa6bd25880bf93d3f5d1e4ca2611d91"}, {0x0010, "cfa45c9f7e714b54bdfa80027cb14380"},
                {0x00f0, "114ae344ded71b35f2e60febad727fd8"}, {0x0100, "02e1e7056b0f623900496422943e97b6"},
                {0x01f0, "91cb93c787964e10d9527d999c6f936b"}, {0x0200, "49b18b42f8e8367cbeb5ef104ba1c7cd"},
                {0x02f0, "87084b3ba700bade955610672745b374"}, {0x0300, "e7a7b9e9ec540d5ff43bdb12792d1b35"},
                {0x03f0, "c799b596738f6b018c76c74b1759bd90"}, {0x0400, "7fec5bfd9f9b89ce6548309092d7e958"},
                {0x05f0, "40f250b26d1f096a4afd4c340a588815"}, {0x0600, "3e34135c79db010200767651cf263073"},
                {0x07f0, "f656abccf88dd827027b2ce917d464ec"}, {0x0800, "18b62503bfbc077fbabb98f20d98ab34"},
                {0x0bf0, "8aed95ee5b0dcbfbef4eb21d3a3f52f9"}, {0x0c00, "625a1ab00ee39a5327346bddb01a9c18"},
                {0x0ff0, "a13a7c79c7e119b5ab0296ab28c300b9"}, {0x1000, "f3e4c0a2e02d1d01f7f0a74618af2b48"}}}},
};

// The worked examples of the naming rules, with Windows paths.
struct NamingVector {
    const char* name;
    std::u16string_view source;
    bool decrypt;
    std::u16string_view proposed;
    std::u16string_view dialog_name;
    int filter_index;
    std::u16string_view chosen;
    std::u16string_view recomposed;
};

inline constexpr std::array naming_vectors{
    NamingVector{"encrypt, pick without extension", u"C:\\data\\report.pdf", false, u"C:\\data\\report.pdf.t2k",
                 u"C:\\data\\report.pdf", 1, u"D:\\out\\x", u"D:\\out\\x.pdf.t2k"},
    NamingVector{"encrypt, pick with .t2k", u"C:\\data\\report.pdf", false, u"C:\\data\\report.pdf.t2k",
                 u"C:\\data\\report.pdf", 1, u"D:\\out\\x.t2k", u"D:\\out\\x.pdf.t2k"},
    NamingVector{"encrypt, source without extension", u"C:\\data\\notes", false, u"C:\\data\\notes.t2k",
                 u"C:\\data\\notes", 1, u"D:\\out\\y.t2k", u"D:\\out\\y.t2k"},
    NamingVector{"decrypt, pick without extension", u"C:\\data\\report.pdf.t2k", true, u"C:\\data\\report.pdf",
                 u"C:\\data\\report.pdf", 2, u"D:\\out\\z", u"D:\\out\\z.pdf"},
    NamingVector{"decrypt, pick with another extension", u"C:\\data\\report.pdf.t2k", true,
                 u"C:\\data\\report.pdf", u"C:\\data\\report.pdf", 2, u"D:\\out\\z.txt", u"D:\\out\\z.pdf"},
    NamingVector{"decrypt, no plain extension", u"C:\\data\\archive.t2k", true, u"C:\\data\\archive",
                 u"C:\\data\\archive", 2, u"D:\\out\\w.bin", u"D:\\out\\w"},
    // edge cases
    NamingVector{"upper-case .T2K is plain", u"C:\\data\\x.T2K", false, u"C:\\data\\x.T2K.t2k", u"C:\\data\\x.T2K",
                 1, u"D:\\out\\y", u"D:\\out\\y.T2K.t2k"},
    NamingVector{"dot in the folder only", u"C:\\build.old\\readme", false, u"C:\\build.old\\readme.t2k",
                 u"C:\\build.old\\readme", 1, u"D:\\a.b\\c", u"D:\\a.b\\c.t2k"},
    NamingVector{"drive colon separates", u"C:report.pdf", false, u"C:report.pdf.t2k", u"C:report.pdf", 1,
                 u"D:x.t2k", u"D:x.pdf.t2k"},
    NamingVector{"forward slash separates", u"C:/data.d/notes", false, u"C:/data.d/notes.t2k", u"C:/data.d/notes",
                 1, u"D:/out/q.zip", u"D:/out/q.t2k"},
    NamingVector{".t1k is plain to the naming rules", u"C:\\data\\old.t1k", false, u"C:\\data\\old.t1k.t2k",
                 u"C:\\data\\old.t1k", 1, u"D:\\out\\n", u"D:\\out\\n.t1k.t2k"},
};

} // namespace trezorka::vectors
