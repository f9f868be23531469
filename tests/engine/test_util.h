#pragma once

// Small helpers shared by the engine tests.

#include <QByteArray>
#include <QString>
#include <QTest>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace test_util {

using Bytes = std::vector<std::uint8_t>;

inline Bytes from_hex(std::string_view hex)
{
    const QByteArray raw = QByteArray::fromHex(QByteArray(hex.data(), static_cast<qsizetype>(hex.size())));
    return Bytes(raw.begin(), raw.end());
}

inline QByteArray to_hex(std::span<const std::uint8_t> bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())).toHex();
}

inline Bytes random_bytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

inline void write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        qFatal("cannot write a test file");
}

inline Bytes read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, to see that nothing was left behind.
inline std::set<std::string> entries(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().native());
    return names;
}

} // namespace test_util
