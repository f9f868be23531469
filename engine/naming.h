#pragma once

// How the program names what it writes, and how a path is taken apart.
// Paths are UTF-16 text here; on POSIX a file name that is not valid UTF-8
// arrives with its stray bytes escaped (see native_path.h) and survives
// these rules unchanged.

#include <string>
#include <string_view>

namespace trezorka {

// The characters that end a folder in a path.
struct PathSyntax {
    std::u16string_view separators;
};
inline constexpr PathSyntax windows_paths{u"\\/:"};
inline constexpr PathSyntax posix_paths{u"/"};
#ifdef _WIN32
inline constexpr PathSyntax native_paths = windows_paths;
#else
inline constexpr PathSyntax native_paths = posix_paths;
#endif

inline constexpr std::u16string_view encrypted_ext = u".t2k";
inline constexpr std::u16string_view old_encrypted_ext = u".t1k";

// The text from the last "." after the last separator, the dot included; empty
// when the name has no dot.
std::u16string extension_of(std::u16string_view path, PathSyntax syntax = native_paths);
// Everything up to and including the last separator.
std::u16string folder_of(std::u16string_view path, PathSyntax syntax = native_paths);
// Everything after the last separator.
std::u16string name_of(std::u16string_view path, PathSyntax syntax = native_paths);
// Replaces the name's extension (dot included) by ext, or appends ext when it has none.
std::u16string change_extension(std::u16string_view name, std::u16string_view ext,
                                 PathSyntax syntax = native_paths);

// A source with the ".t2k" extension (exact, case-sensitive) is decrypted.
bool is_decrypt_source(std::u16string_view source, PathSyntax syntax = native_paths);
bool is_old_format(std::u16string_view source, PathSyntax syntax = native_paths);

struct TargetProposal {
    std::u16string target;           // the proposed target path
    std::u16string save_dialog_name; // the save dialog's initial file name
    int save_filter_index;           // 1: ".t2k" files, 2: all files
};

TargetProposal propose_target(std::u16string_view source, PathSyntax syntax = native_paths);

// The target after the user confirmed `chosen` in the save dialog.
std::u16string recompose_target(std::u16string_view chosen, std::u16string_view source,
                                std::u16string_view current_target,
                                PathSyntax syntax = native_paths);

} // namespace trezorka
