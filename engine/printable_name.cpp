#include "printable_name.h"

#include "native_path.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace trezorka {

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// The Unicode format characters (general category Cf) of Unicode 14.0:
// invisible, yet they hide, join or reorder the text around them.
constexpr Range format_characters[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x13438}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

bool hidden(char32_t c)
{
    if ((c >= 0x80 && c <= 0x9F) // C1 controls, CSI among them
        || c == 0x2028 || c == 0x2029) // line and paragraph separators
        return true;
    const auto* range = std::lower_bound(std::begin(format_characters), std::end(format_characters), c,
                                         [](const Range& r, char32_t value) { return r.last < value; });
    return range != std::end(format_characters) && range->first <= c;
}

// The code point of a well-formed UTF-8 sequence of two to four bytes at `i`
// (no overlong form, no surrogate, nothing past U+10FFFF), with its length;
// 0 length when there is none.
char32_t decode_at(std::string_view text, std::size_t i, std::size_t& length)
{
    const auto byte = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    const unsigned lead = byte(i);
    std::size_t size = 0;
    char32_t c = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        size = 2;
        c = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        size = 3;
        c = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        size = 4;
        c = lead & 0x07;
        smallest = 0x10000;
    }
    length = 0;
    for (std::size_t k = 1; k < size; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (size == 0 || c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    length = size;
    return c;
}

} // namespace

std::string printable_name(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    char escape[16];
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        const char32_t c = byte >= 0x80 ? decode_at(text, i, length) : byte;
        if (byte < 0x20 || byte == 0x7F || (length == 0 && byte >= 0x80 && byte <= 0x9F)) {
            // A control, or a raw byte that an 8-bit terminal takes for one
            // (0x9B is its CSI).
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
            ++i;
            continue;
        }
        if (length != 0 && hidden(c)) {
            std::snprintf(escape, sizeof escape, c > 0xFFFF ? "\\U%08x" : "\\u%04x", static_cast<unsigned>(c));
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
