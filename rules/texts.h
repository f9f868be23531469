#pragma once

// The windows' own texts, exactly as the program shows them.

#include <string_view>

namespace trezorka::rules::texts {

inline constexpr std::u16string_view open_filter =
    u"Všechny soubory [*.*]|*.*|Soubory šifrované aplikací Trezorka 2 [*.t2k]|*.t2k";
inline constexpr std::u16string_view save_filter =
    u"Soubor šifrovaný aplikací Trezorka 2 [*.t2k]|*.t2k|Všechny soubor [*.*]|*.*";
inline constexpr std::u16string_view old_format_warning =
    u"VAROVÁNÍ: starší format šifrovaného souboru (*.t1k) není v této verzi podporován.";
inline constexpr std::u16string_view source_prompt = u"Vyberte prosím soubor         ==>";
inline constexpr std::u16string_view overwrite_question = u"Cílový soubor již existuje. Přepsat jej?";
inline constexpr std::u16string_view wrong_password_question =
    u"Heslo je pravděpodobně chybné: začátek odšifrovaného souboru nevypadá jako soubor očekávaného typu.\r\n"
    u"Přesto odšifrovat?";

inline constexpr std::u16string_view error_title = u"Trezorka - chyba";
inline constexpr std::u16string_view success_title = u"Trezorka - dokončeno";
inline constexpr std::u16string_view password_missing = u"Vložte prosím heslo.";
inline constexpr std::u16string_view password_mismatch = u"Hesla se neshodují, prosím opravte.";
inline constexpr std::u16string_view tray_title = u"Trezorka";
inline constexpr std::u16string_view abort_question =
    u"Přeřušit probíhající proces a ponechat cílový soubor v nekonzistentním stavu?";

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
    u"Šifrování souboru dokončeno.\r\nSoubor uložen do: ",
    u"Nelze provést šifrování souboru.\r\n(chyba při načítání/ukládání)",
};
inline constexpr CommandTexts decrypting{
    u"Probíhá dešifrování..",
    u"Trezorka - probíhá dešifrování",
    u"Trezorka - dešifrování",
    u"Dešifrování dle hesla (SHA RC4).",
    u"Dešifrování souboru dokončeno.\r\nSoubor uložen do: ",
    u"Nelze provést dešifrování souboru.\r\n(chyba při načítání/ukládání)",
};

} // namespace trezorka::rules::texts
