#pragma once

// The Czech texts both faces print, as the window shows them: UTF-8, with the
// window's CR LF line breaks. A terminal takes them through plain_newlines().

#include <string>
#include <string_view>

namespace trezorka::texts {

inline constexpr std::string_view old_format_warning =
    "VAROVÁNÍ: starší format šifrovaného souboru (*.t1k) není v této verzi podporován.";
inline constexpr std::string_view password_missing = "Vložte prosím heslo.";
inline constexpr std::string_view password_mismatch = "Hesla se neshodují, prosím opravte.";

// Heads a target refused before anything is asked or written, followed by
// the reason (a link another user planted, a folder that is missing, ...).
inline constexpr std::string_view target_refused = "Cíl nelze použít: ";

// What a job of one direction reports at its end.
struct JobTexts {
    std::string_view success; // followed by the target's path
    std::string_view failure;
};

inline constexpr JobTexts encrypt_job{
    "Šifrování souboru dokončeno.\r\nSoubor uložen do: ",
    "Nelze provést šifrování souboru.\r\n(chyba při načítání/ukládání)",
};
inline constexpr JobTexts decrypt_job{
    "Dešifrování souboru dokončeno.\r\nSoubor uložen do: ",
    "Nelze provést dešifrování souboru.\r\n(chyba při načítání/ukládání)",
};

inline constexpr const JobTexts& job_texts(bool encrypt)
{
    return encrypt ? encrypt_job : decrypt_job;
}

// The text with every CR LF as a single newline.
inline std::string plain_newlines(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        result += text[i];
    }
    return result;
}

} // namespace trezorka::texts
