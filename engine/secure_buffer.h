#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace trezorka {

// Overwrites memory in a way the optimiser may not drop.
void secure_wipe(void* data, std::size_t size) noexcept;

// A byte buffer for passwords and keys that wipes itself when it goes away.
class SecureBytes {
public:
    SecureBytes() = default;
    explicit SecureBytes(std::size_t size) : bytes_(size) {}
    SecureBytes(const SecureBytes&) = delete;
    SecureBytes& operator=(const SecureBytes&) = delete;
    SecureBytes(SecureBytes&& other) noexcept : bytes_(std::move(other.bytes_)) {}
    SecureBytes& operator=(SecureBytes&& other) noexcept
    {
        if (this != &other) {
            clear();
            bytes_ = std::move(other.bytes_);
        }
        return *this;
    }
    ~SecureBytes() { clear(); }

    void clear() noexcept
    {
        secure_wipe(bytes_.data(), bytes_.size());
        bytes_.clear();
    }
    std::uint8_t* data() noexcept { return bytes_.data(); }
    const std::uint8_t* data() const noexcept { return bytes_.data(); }
    std::size_t size() const noexcept { return bytes_.size(); }
    bool empty() const noexcept { return bytes_.empty(); }
    std::span<const std::uint8_t> span() const noexcept { return bytes_; }
    std::span<std::uint8_t> span() noexcept { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace trezorka
