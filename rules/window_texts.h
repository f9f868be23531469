#pragma once

// The windows' own texts, exactly as the program shows them, in UTF-16. Those
// the command-line tool prints too are the engine's (texts.h, UTF-8), turned
// into UTF-16 while compiling, so that both faces say the same.

#include "texts.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace trezorka::rules::texts {

namespace utf8 {

constexpr std::size_t utf16_length(std::string_view text)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        units += bytes == 4 ? 2 : 1;
        i += bytes;
    }
    return units;
}

template <std::size_t N>
constexpr std::array<char16_t, N> to_utf16(std::string_view text)
{
    std::array<char16_t, N> out{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = bytes == 1 ? lead : bytes == 2 ? lead & 0x1F : bytes == 3 ? lead & 0x0F : lead & 0x07;
        for (std::size_t k = 1; k < bytes; ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (c >= 0x10000) {
            out[n++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out[n++] = static_cast<char16_t>(c);
        }
        i += bytes;
    }
    return out;
}

// One of the engine's texts in UTF-16; `Text::value` is its UTF-8.
template <class Text>
struct Utf16 {
    static constexpr std::size_t size = utf16_length(Text::value);
    static constexpr std::array<char16_t, size> units = to_utf16<size>(Text::value);
    static constexpr std::u16string_view view{units.data(), size};
};

struct OldFormatWarning { static constexpr std::string_view value = trezorka::texts::old_format_warning; };
struct PasswordMissing { static constexpr std::string_view value = trezorka::texts::password_missing; };
struct PasswordMismatch { static constexpr std::string_view value = trezorka::texts::password_mismatch; };
struct EncryptSuccess { static constexpr std::string_view value = trezorka::texts::encrypt_job.success; };
struct EncryptFailure { static constexpr std::string_view value = trezorka::texts::encrypt_job.failure; };
struct DecryptSuccess { static constexpr std::string_view value = trezorka::texts::decrypt_job.success; };
struct DecryptFailure { static constexpr std::string_view value = trezorka::texts::decrypt_job.failure; };

} // namespace utf8

inline constexpr std::u16string_view open_filter =
    u"Všechny soubory [*.*]|*.*|Soubory šifrované aplikací Trezorka 2 [*.t2k]|*.t2k";
inline constexpr std::u16string_view save_filter =
    u"Soubor šifrovaný aplikací Trezorka 2 [*.t2k]|*.t2k|Všechny soubor [*.*]|*.*";
inline constexpr std::u16string_view old_format_warning = utf8::Utf16<utf8::OldFormatWarning>::view;
inline constexpr std::u16string_view source_prompt = u"Vyberte prosím soubor         ==>";
inline constexpr std::u16string_view overwrite_question = u"Cílový soubor již existuje. Přepsat jej?";
inline constexpr std::u16string_view wrong_password_question =
    u"Heslo je pravděpodobně chybné: začátek odšifrovaného souboru nevypadá jako soubor očekávaného typu.\r\n"
    u"Přesto odšifrovat?";

inline constexpr std::u16string_view error_title = u"Trezorka - chyba";
inline constexpr std::u16string_view success_title = u"Trezorka - dokončeno";
inline constexpr std::u16string_view password_missing = utf8::Utf16<utf8::PasswordMissing>::view;
inline constexpr std::u16string_view password_mismatch = utf8::Utf16<utf8::PasswordMismatch>::view;
inline constexpr std::u16string_view tray_title = u"Trezorka";
inline constexpr std::u16string_view abort_question =
    u"Přeřušit probíhající proces a ponechat cílový soubor v nekonzistentním stavu?";

// What a screen reader says the commands do.
inline constexpr std::u16string_view crypt_description = u"Zašifruje zvolený soubor heslem";
inline constexpr std::u16string_view decrypt_description = u"Odšifruje zvolený soubor heslem";
inline constexpr std::u16string_view selectfile_description = u"Vybere soubor k zašifrování nebo odšifrování";
inline constexpr std::u16string_view savetochose_description = u"Vybere, kam se uloží cílový soubor";
inline constexpr std::u16string_view off_description = u"Ukončí program";
inline constexpr std::u16string_view link_description = u"Otevře webové stránky v prohlížeči";

// What a screen reader says of the four marks.
inline constexpr std::u16string_view pwok_name = u"Heslo zadáno";
inline constexpr std::u16string_view pwerr_name = u"Heslo chybí";
inline constexpr std::u16string_view pwagainok_name = u"Hesla se shodují";
inline constexpr std::u16string_view pwagainerr_name = u"Hesla se neshodují";

// The texts of one direction of a job.
struct CommandTexts {
    std::u16string_view balloon;
    std::u16string_view hint;
    std::u16string_view caption;
    std::u16string_view status;
    std::u16string_view success; // followed by the target and "."
    std::u16string_view failure;
};

inline constexpr CommandTexts encrypting{
    u"Probíhá šifrování..",
    u"Trezorka - probíhá šifrování",
    u"Trezorka - šifrování",
    u"Šifrování dle hesla (SHA RC4).",
    utf8::Utf16<utf8::EncryptSuccess>::view,
    utf8::Utf16<utf8::EncryptFailure>::view,
};
inline constexpr CommandTexts decrypting{
    u"Probíhá dešifrování..",
    u"Trezorka - probíhá dešifrování",
    u"Trezorka - dešifrování",
    u"Dešifrování dle hesla (SHA RC4).",
    utf8::Utf16<utf8::DecryptSuccess>::view,
    utf8::Utf16<utf8::DecryptFailure>::view,
};

} // namespace trezorka::rules::texts
