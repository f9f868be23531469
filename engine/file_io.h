#pragma once

// The operating system's file operations as the stream job needs them. One
// implementation per platform (file_io_posix.cpp, later file_io_win.cpp);
// everything above this layer is portable. Failures throw JobError.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace trezorka::file_io {

#ifdef _WIN32
using NativeHandle = void*;
#else
using NativeHandle = int;
#endif

// What makes two names the same file: device and inode (the volume serial
// number and file index on Windows).
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};

struct FileInfo {
    FileId id;
    bool regular = false;
    bool directory = false;
    std::uint64_t size = 0; // meaningful for a regular file only
    unsigned permissions = 0; // POSIX permission bits; 0 where unknown
};

class File {
public:
    File() = default;
    // owned: closed by the destructor (or close()); otherwise only used.
    File(NativeHandle handle, bool owned) noexcept : handle_(handle), owned_(owned) {}
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    bool is_open() const noexcept;
    FileInfo info() const;
    // Up to `size` bytes; 0 only at the end of the file.
    std::size_t read(void* data, std::size_t size);
    void write_all(const void* data, std::size_t size);
    // Tells the system the file is read once from start to end.
    void advise_sequential() noexcept;
    // Starts writing the given range to disk without waiting, so that the
    // final sync has less left to do.
    void start_writeback(std::uint64_t offset, std::uint64_t size) noexcept;
    // Gives the file the permissions a newly created file would get, or those
    // of `like` when given.
    void set_new_file_permissions(const std::optional<FileInfo>& like);
    void sync();
    // Closes an owned handle, reporting a failure (a delayed write error).
    void close();

private:
    NativeHandle handle_{invalid_handle()};
    bool owned_ = false;
    static constexpr NativeHandle invalid_handle() noexcept
    {
#ifdef _WIN32
        return nullptr;
#else
        return -1;
#endif
    }
};

// Opens the source to read, letting others read but not write it where the
// system can enforce that. A folder is refused.
File open_source(const std::filesystem::path& path);

// Uses an already open descriptor (standard input or output); never closes it.
File borrow_descriptor(int fd);

// The identity of the file a path names, links followed; nothing when the
// path names no file.
std::optional<FileInfo> info_of_path(const std::filesystem::path& path);

// Whether anything (a dangling link included) stands at the path.
bool entry_exists(const std::filesystem::path& path);

// Creates a new file exclusively, readable and writable by the owner only;
// false when the name is taken.
bool create_exclusive(const std::filesystem::path& path, File& file);

// Puts `from` in the place of `to`, replacing what is there, atomically.
void rename_over(const std::filesystem::path& from, const std::filesystem::path& to);

// Puts `from` in the place of `to` only when nothing is there; false (and
// `from` left in place) when `to` exists.
bool rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to);

// Flushes a folder's entries to disk; best effort.
void sync_folder(const std::filesystem::path& folder) noexcept;

void remove_file(const std::filesystem::path& path) noexcept;

// The size of a regular file opened to read with no sharing, or -1.
std::int64_t probe_size(const std::filesystem::path& path) noexcept;

} // namespace trezorka::file_io
