#include "secure_buffer.h"

namespace trezorka {

void secure_wipe(void* data, std::size_t size) noexcept
{
    // Writes through a volatile pointer are observable behaviour, so the
    // compiler cannot drop them as dead stores before the memory is freed.
    auto* p = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

} // namespace trezorka
