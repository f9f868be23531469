#pragma once

// The shared test helpers as the Qt tests take them: Qt's strings and paths.

#include "test_util.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace test_util {

// Hex text that a failed QCOMPARE prints.
inline QByteArray to_hex(std::span<const std::uint8_t> bytes)
{
    return QByteArray::fromStdString(hex(bytes));
}

inline std::filesystem::path fs_path(const QString& path)
{
    return std::filesystem::path(path.toStdU16String());
}

inline QByteArray read_file(const QString& path)
{
    return read_file<QByteArray>(fs_path(path));
}

template <typename B>
void write_file(const QString& path, const B& bytes)
{
    write_file(fs_path(path), bytes);
}

// The names in a folder, in order.
inline QStringList listing(const QString& folder)
{
    QStringList names;
    for (const std::string& name : entries(fs_path(folder)))
        names << QString::fromStdString(name);
    return names;
}

} // namespace test_util

inline QString qs(std::u16string_view text)
{
    return QString::fromStdU16String(std::u16string(text));
}
