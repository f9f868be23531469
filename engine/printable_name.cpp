#include "printable_name.h"

#include "native_path.h"

#include <cstdio>

namespace trezorka {

namespace {

// The code point of a well-formed two- or three-byte UTF-8 sequence at `i`,
// with its length; 0 length when there is none.
char32_t decode_at(std::string_view text, std::size_t i, std::size_t& length)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const auto continuation = [&](std::size_t k) { return k < text.size() && (byte(k) & 0xC0) == 0x80; };
    length = 0;
    if ((byte(i) & 0xE0) == 0xC0 && continuation(i + 1)) {
        length = 2;
        return static_cast<char32_t>(((byte(i) & 0x1F) << 6) | (byte(i + 1) & 0x3F));
    }
    if ((byte(i) & 0xF0) == 0xE0 && continuation(i + 1) && continuation(i + 2)) {
        length = 3;
        return static_cast<char32_t>(((byte(i) & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F));
    }
    return 0;
}

bool hidden_format(char32_t c)
{
    return (c >= 0x80 && c <= 0x9F)        // C1 controls, CSI among them
        || (c >= 0x202A && c <= 0x202E)    // embeddings and overrides
        || (c >= 0x2066 && c <= 0x2069)    // isolates
        || c == 0x200E || c == 0x200F      // direction marks
        || c == 0x2028 || c == 0x2029;     // line and paragraph separators
}

} // namespace

std::string printable_name(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    char escape[16];
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
            ++i;
            continue;
        }
        std::size_t length = 0;
        const char32_t c = byte >= 0x80 ? decode_at(text, i, length) : 0;
        if (length != 0 && hidden_format(c)) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
            i += length;
            continue;
        }
        const std::size_t keep = length != 0 ? length : 1;
        out.append(text.substr(i, keep));
        i += keep;
    }
    return out;
}

std::u16string printable_name(std::u16string_view text)
{
    return utf16_from_native_bytes(printable_name(native_bytes_from_utf16(text)));
}

} // namespace trezorka
