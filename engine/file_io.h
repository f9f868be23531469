#pragma once

// The operating system's file operations as the stream job needs them. One
// implementation per platform (file_io_posix.cpp, file_io_win.cpp); everything
// above this layer is portable. Failures throw JobError; the system's error
// numbers stay in the platform's file, and what leaves it is Czech text. A
// "no" that is an answer (the name is taken, nothing stands there) is a
// return value.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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
    std::uint32_t attributes = 0; // Windows file attributes; 0 elsewhere
    bool has_owner = false; // POSIX owner and group, where there are such
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    // When the contents last changed and when the file's status last changed
    // (nanoseconds on POSIX, 100 ns units on Windows; 0 where unknown): a
    // rewrite at the same size shows only here.
    std::int64_t modified = 0;
    std::int64_t changed = 0;
};

class TargetFolder;

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
    // Puts everything written so far on disk, the device's own cache
    // included, so that the final sync has little left to do; then lets the
    // pages of the given range leave the page cache. A failure must reach
    // the job: the system reports a failed write once, so the final sync
    // would not see it again.
    void flush_early(std::uint64_t drop_offset, std::uint64_t drop_size);
    // The permissions of a new target: those of the file it replaces (and
    // its owner and group where we may; on Windows its attributes), else no
    // more than the source has, less the umask. Set once the file has the
    // target's name: until then it stays readable by its owner alone.
    void set_target_permissions(const std::optional<FileInfo>& replaced, const FileInfo& source);
    void sync();
    // Closes an owned handle, reporting a failure (a delayed write error).
    void close();

private:
    friend class TargetFolder;
    // Closes an owned handle, quietly; the one part of the moves and the
    // destructor that each platform does its own way.
    void release() noexcept;
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
// system can enforce that. Anything but a regular file (a folder, a pipe, a
// device, a file of /proc) is refused without blocking.
File open_source(const std::filesystem::path& path);

// Uses an already open descriptor (standard input or output); never closes it.
File borrow_descriptor(int fd);

// The identity of the file a path names, links followed; nothing when the
// path names no file (`why` then gets the reason, in Czech).
std::optional<FileInfo> info_of_path(const std::filesystem::path& path, std::string* why = nullptr);

// Whether two infos are the same file, as far as the system lets us tell.
bool same_file(const FileInfo& a, const FileInfo& b) noexcept;

// Why this process may not read (or write and create entries in, for a
// folder) what the path names, in Czech; empty when it may, and where only
// an attempt would tell.
std::string access_refusal(const std::filesystem::path& path, bool write);

// The longest file name the folder's file system takes, and the longest path
// the system takes.
std::size_t max_name_length(const std::filesystem::path& folder) noexcept;
std::size_t max_path_length() noexcept;

// Whether anything (a dangling link included) stands at the path.
bool entry_exists(const std::filesystem::path& path);

// A fresh hidden name for a temporary file: ".trezorka-<16 hex digits>.tmp".
std::string hidden_temp_name();
// Whether a name has exactly that form.
bool is_hidden_temp_name(std::string_view name) noexcept;

// Whether the path is a symbolic link that the kernel's guard of shared
// folders (fs.protected_symlinks) would refuse to follow: a link in a sticky,
// world-writable folder, owned by neither us nor the folder's owner. Such a
// link may have been planted by another user to turn our write elsewhere.
bool foreign_link_in_shared_folder(const std::filesystem::path& path);

// The folder a target is written into, held open for the whole job, so that
// every step happens in this one folder: when its path is moved or replaced
// meanwhile, nothing is created or left through the new meaning of the path
// (on Windows, the open folder cannot be moved at all).
class TargetFolder {
public:
    explicit TargetFolder(const std::filesystem::path& folder);
    TargetFolder(const TargetFolder&) = delete;
    TargetFolder& operator=(const TargetFolder&) = delete;
    ~TargetFolder();

    // Whether the path still names this folder.
    bool still_at(const std::filesystem::path& folder) const noexcept;

    // What stands under `name` in this folder, a link not followed; nothing
    // when the name is free.
    std::optional<FileInfo> entry(const std::filesystem::path& name) const;

    // Removes the hidden temporary files (hidden_temp_name()) that a killed
    // job left here: only regular files of ours that no running job holds
    // (every job keeps its temporary file locked while it lives). Best effort.
    void remove_orphans() noexcept;

    // A new temporary file that has no name at all, so that a killed
    // process leaves nothing; nothing when the file system offers none.
    std::optional<File> create_nameless();
    // A new temporary file under `name`, exclusively, readable and writable
    // by the owner only, held locked; nothing when the name is taken. Where
    // the system allows, it is gone by itself if the process dies before
    // place().
    std::optional<File> create_named(const std::string& name);

    // Gives the flushed temporary file (`temp_name` empty when nameless) the
    // name `target` in this folder, atomically: replacing what is there, or
    // only when nothing is there (false, and nothing placed, when there is).
    // The file stays open. On failure the caller removes the temporary name,
    // if any.
    bool place(File& temp, const std::string& temp_name, const std::filesystem::path& target, bool replace);

    void remove(const std::string& name) noexcept;
    // Flushes the folder's entries to disk; best effort.
    void sync() noexcept;

private:
    NativeHandle handle_;
    std::filesystem::path path_;
};

// Throws the layer's failure: JobError("what: name: cause"), the name left
// out when the path is empty. For the platform files, which give the cause.
[[noreturn]] void throw_failure(const std::string& what, const std::filesystem::path& path, const std::string& cause);

// The size of a regular file opened to read with no sharing, or -1.
std::int64_t probe_size(const std::filesystem::path& path) noexcept;

} // namespace trezorka::file_io
