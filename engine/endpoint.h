#pragma once

#include <filesystem>

namespace trezorka {

// Where the bytes come from or go to: a path, or an already open descriptor
// (standard input or output of the command-line tool), used as it is.
struct Endpoint {
    std::filesystem::path path;
    int fd = -1;
    static Endpoint file(std::filesystem::path p) { return {std::move(p), -1}; }
    static Endpoint descriptor(int fd) { return {{}, fd}; }
    bool is_descriptor() const { return fd >= 0; }
};

} // namespace trezorka
