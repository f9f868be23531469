#pragma once

// Bytes and files for the tests of every layer. Plain C++: the Windows check
// program, built without Qt, takes it too. A helper that cannot do its part
// throws, and the test fails there.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace test_util {

using Bytes = std::vector<std::uint8_t>;

// Hex digits to bytes; anything else between them (spaces, as the RFCs print
// them) is skipped.
inline Bytes from_hex(std::string_view hex)
{
    Bytes bytes;
    int high = -1;
    for (const char c : hex) {
        const int v = c >= '0' && c <= '9' ? c - '0'
            : c >= 'a' && c <= 'f'         ? c - 'a' + 10
            : c >= 'A' && c <= 'F'         ? c - 'A' + 10
                                           : -1;
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return bytes;
}

inline std::string hex(std::span<const std::uint8_t> bytes)
{
    std::string text;
    char two[3];
    for (const auto b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        text += two;
    }
    return text;
}

// Any container of bytes with data(), size() and resize(): Bytes, std::string,
// QByteArray.
template <typename B = Bytes>
B random_bytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    B bytes;
    bytes.resize(size);
    for (auto& b : bytes)
        b = static_cast<std::remove_reference_t<decltype(b)>>(random());
    return bytes;
}

// A string literal goes in as text, without its closing NUL.
template <typename B, typename = std::enable_if_t<!std::is_array_v<B> && !std::is_pointer_v<B>>>
void write_file(const std::filesystem::path& path, const B& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(std::data(bytes)), static_cast<std::streamsize>(std::size(bytes)));
    if (!out)
        throw std::runtime_error("test: cannot write " + path.string());
}

inline void write_file(const std::filesystem::path& path, std::string_view text)
{
    write_file<std::string_view>(path, text);
}

template <typename B = Bytes>
B read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("test: cannot read " + path.string());
    const std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    B bytes;
    bytes.resize(all.size());
    std::copy(all.begin(), all.end(), reinterpret_cast<char*>(std::data(bytes)));
    return bytes;
}

// The names in a folder (UTF-8), to see that nothing was left behind.
inline std::set<std::string> entries(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::u8string name = entry.path().filename().u8string();
        names.emplace(name.begin(), name.end());
    }
    return names;
}

// Everything under a folder: names, kinds and contents, to compare before and after.
using Snapshot = std::map<std::string, std::string>;

inline Snapshot snapshot(const std::filesystem::path& folder)
{
    Snapshot state;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = std::filesystem::relative(entry.path(), folder).string();
        if (entry.is_symlink())
            state[name] = "link to " + std::filesystem::read_symlink(entry.path()).string();
        else if (entry.is_directory())
            state[name] = "folder";
        else if (!entry.is_regular_file())
            state[name] = "special file";
        else
            state[name] = read_file<std::string>(entry.path());
    }
    return state;
}

// A snapshot in a line, for a failure message: names and sizes.
inline std::string describe(const Snapshot& state)
{
    std::string text;
    for (const auto& [name, content] : state)
        text += name + " (" + std::to_string(content.size()) + " B) ";
    return text;
}

} // namespace test_util
