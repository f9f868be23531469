#pragma once

// A password as UTF-16 text, the way the cipher takes it, in memory that is
// kept out of swap and dumps where possible and wiped when it goes. The one
// type both faces hold a typed password in.

#include "secure_buffer.h"

#include <cstring>
#include <string>
#include <string_view>

namespace trezorka {

class SecureText {
public:
    SecureText() = default;
    // Room for `units` UTF-16 code units, zeroed, to be filled through data().
    explicit SecureText(std::size_t units) : units_(units) {}
    explicit SecureText(std::u16string_view text) : units_(text.size())
    {
        if (!text.empty())
            std::memcpy(units_.data(), text.data(), text.size() * sizeof(char16_t));
    }
    // Copies `text` and wipes the original, which the caller can no longer leak.
    static SecureText take(std::u16string& text)
    {
        SecureText copy{std::u16string_view(text)};
        secure_wipe(text.data(), text.size() * sizeof(char16_t));
        text.clear();
        return copy;
    }

    SecureText(SecureText&&) noexcept = default;
    SecureText& operator=(SecureText&&) noexcept = default;

    char16_t* data() noexcept { return units_.data(); }
    std::u16string_view view() const noexcept { return {units_.data(), units_.size()}; }
    std::size_t size() const noexcept { return units_.size(); }
    bool empty() const noexcept { return units_.empty(); }
    // Wipes the text now; it is empty afterwards.
    void clear() noexcept { units_.clear(); }

private:
    SecureArray<char16_t> units_;
};

} // namespace trezorka
