#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace trezorka {

// Overwrites memory in a way the optimiser may not drop.
void secure_wipe(void* data, std::size_t size) noexcept;

// Memory for passwords and keys: whole pages of their own, kept out of swap
// and out of core dumps where the system lets us (best effort: a refusal,
// such as a low locked-memory limit, still gives ordinary memory). Zeroed.
// Throws std::bad_alloc when there is no memory at all.
void* secure_allocate(std::size_t size);
// Wipes and gives back what secure_allocate gave for `size` bytes.
void secure_release(void* data, std::size_t size) noexcept;

// Forbids core dumps of this process from now on, and with them reading its
// memory through /proc or a debugger by other processes of the same user.
// Called by a face before it asks for a password; there is no way back,
// because the key stays in memory until the job ends. False when the system
// refused (nothing else changes then).
bool forbid_core_dumps() noexcept;

// Storage that wipes itself when it goes, in secure_allocate's memory.
template <typename T>
class SecureArray {
public:
    SecureArray() = default;
    explicit SecureArray(std::size_t size)
        : data_(size ? static_cast<T*>(secure_allocate(size * sizeof(T))) : nullptr), size_(size)
    {
    }
    SecureArray(const SecureArray&) = delete;
    SecureArray& operator=(const SecureArray&) = delete;
    SecureArray(SecureArray&& other) noexcept : data_(other.data_), size_(other.size_)
    {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    SecureArray& operator=(SecureArray&& other) noexcept
    {
        if (this != &other) {
            clear();
            data_ = other.data_;
            size_ = other.size_;
            other.data_ = nullptr;
            other.size_ = 0;
        }
        return *this;
    }
    ~SecureArray() { clear(); }

    void clear() noexcept
    {
        if (data_)
            secure_release(data_, size_ * sizeof(T));
        data_ = nullptr;
        size_ = 0;
    }
    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    std::span<const T> span() const noexcept { return {data_, size_}; }
    std::span<T> span() noexcept { return {data_, size_}; }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
};

// A byte buffer for passwords and keys.
using SecureBytes = SecureArray<std::uint8_t>;

} // namespace trezorka
