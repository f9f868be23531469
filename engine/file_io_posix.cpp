#include "file_io.h"

#include "job_error.h"
#include "printable_name.h"
#include "system_error_text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace trezorka::file_io {

namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error)
{
    throw_failure(what, path, system_error_text(error));
}

[[noreturn]] void fail(const std::string& what, int error)
{
    fail(what, {}, error);
}

std::int64_t nanoseconds(const timespec& t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The files of /proc, /sys and their kin claim to be regular files of size
// 0 (or 4096) and give whatever they like when read.
bool pseudo_file_system(const struct statfs& fs)
{
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

FileInfo info_from(const struct stat& st, bool pseudo)
{
    FileInfo info;
    info.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    info.regular = S_ISREG(st.st_mode) && !pseudo;
    info.directory = S_ISDIR(st.st_mode);
    info.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    info.permissions = st.st_mode & 07777;
    info.has_owner = true;
    info.owner = st.st_uid;
    info.group = st.st_gid;
    info.modified = nanoseconds(st.st_mtim);
    info.changed = nanoseconds(st.st_ctim);
    return info;
}

FileInfo info_of_fd(int fd, const struct stat& st)
{
    struct statfs fs {};
    return info_from(st, S_ISREG(st.st_mode) && ::fstatfs(fd, &fs) == 0 && pseudo_file_system(fs));
}

// The process's umask without changing it (umask() would, for every thread).
mode_t current_umask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

} // namespace

void File::release() noexcept
{
    if (owned_ && handle_ >= 0)
        ::close(handle_);
}

bool File::is_open() const noexcept
{
    return handle_ >= 0;
}

FileInfo File::info() const
{
    struct stat st {};
    if (::fstat(handle_, &st) != 0)
        fail("nelze zjistit údaje o souboru", errno);
    return info_of_fd(handle_, st);
}

std::size_t File::read(void* data, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(handle_, data, size);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            fail("chyba při čtení zdroje", errno);
    }
}

void File::write_all(const void* data, std::size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(handle_, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("chyba při zápisu cíle", errno);
        }
        if (n == 0)
            fail("chyba při zápisu cíle", EIO);
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void File::advise_sequential() noexcept
{
#ifdef POSIX_FADV_SEQUENTIAL
    (void)::posix_fadvise(handle_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

void File::flush_early(std::uint64_t drop_offset, std::uint64_t drop_size)
{
    // Flushing the device's cache here, while the cipher still runs, is what
    // counts: starting the write-back alone left the final sync waiting for
    // the device to take in nearly the whole file.
    if (::fdatasync(handle_) != 0)
        fail("nelze zapsat cíl na disk", errno);
#ifdef POSIX_FADV_DONTNEED
    (void)::posix_fadvise(handle_, static_cast<off_t>(drop_offset), static_cast<off_t>(drop_size),
                          POSIX_FADV_DONTNEED);
#endif
}

void File::set_target_permissions(const std::optional<FileInfo>& replaced, const FileInfo& source)
{
    mode_t mode;
    if (replaced && replaced->regular) {
        // The owner first: a change of owner clears the mode's special bits.
        // Only root may give a file away, so a refusal is expected; the
        // group alone is then tried, which a member of it may set.
        if (replaced->has_owner && ::fchown(handle_, replaced->owner, replaced->group) != 0) {
            if (errno != EPERM)
                fail("nelze nastavit vlastníka cíle", errno);
            (void)::fchown(handle_, static_cast<uid_t>(-1), replaced->group);
        }
        mode = static_cast<mode_t>(replaced->permissions & 0777);
    } else {
        // A decrypted copy must not be readable by more people than the
        // encrypted file it came from.
        const mode_t base = source.regular && source.has_owner ? static_cast<mode_t>(source.permissions & 0666) : 0666;
        mode = static_cast<mode_t>(base & ~current_umask());
    }
    if (::fchmod(handle_, mode) != 0)
        fail("nelze nastavit práva cíle", errno);
}

void File::sync()
{
    if (::fsync(handle_) != 0)
        fail("nelze zapsat cíl na disk", errno);
}

void File::close()
{
    if (!owned_ || handle_ < 0)
        return;
    const int handle = handle_;
    handle_ = invalid_handle();
    owned_ = false;
    // Linux releases the descriptor even when close() reports an error, so
    // it is never retried.
    if (::close(handle) != 0 && errno != EINTR)
        fail("chyba při zavírání souboru", errno);
}

File open_source(const std::filesystem::path& path)
{
    // POSIX has no mandatory share modes: others cannot be stopped from
    // writing. A source that changes size under the job is caught by the job.
    // O_NONBLOCK: a named pipe with no writer would block the open for good.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    // A regular file answers EWOULDBLOCK only while another program's lease
    // on it is being broken, which takes a bounded time: wait for that.
    if (fd < 0 && errno == EWOULDBLOCK)
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        fail("nelze otevřít zdroj", path, errno);
    File file(fd, true);
    const FileInfo info = file.info();
    if (info.directory)
        fail("zdroj je složka", path, EISDIR);
    if (!info.regular)
        throw JobError("zdroj není obyčejný soubor: " + printable_name(path));
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return file;
}

File borrow_descriptor(int fd)
{
    return File(fd, false);
}

std::optional<FileInfo> info_of_path(const std::filesystem::path& path, std::string* why)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (why)
            *why = system_error_text(errno);
        return std::nullopt;
    }
    struct statfs fs {};
    return info_from(st, S_ISREG(st.st_mode) && ::statfs(path.c_str(), &fs) == 0 && pseudo_file_system(fs));
}

bool same_file(const FileInfo& a, const FileInfo& b) noexcept
{
    return a.id == b.id;
}

std::string access_refusal(const std::filesystem::path& path, bool write)
{
    // The effective ids decide what open() may do, so they decide here too.
    const int mode = write ? W_OK | X_OK : R_OK;
    if (::faccessat(AT_FDCWD, path.empty() ? "." : path.c_str(), mode, AT_EACCESS) == 0)
        return {};
    return system_error_text(errno);
}

std::size_t max_name_length(const std::filesystem::path& folder) noexcept
{
    errno = 0;
    const long value = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return value > 0 ? static_cast<std::size_t>(value) : std::size_t{NAME_MAX};
}

std::size_t max_path_length() noexcept
{
    return PATH_MAX;
}

bool entry_exists(const std::filesystem::path& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool foreign_link_in_shared_folder(const std::filesystem::path& path)
{
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return false;
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    struct stat shared {};
    if (::stat(folder.c_str(), &shared) != 0)
        return false;
    constexpr mode_t sticky_for_all = S_ISVTX | S_IWOTH;
    return (shared.st_mode & sticky_for_all) == sticky_for_all && link.st_uid != ::geteuid()
        && link.st_uid != shared.st_uid;
}

namespace {

// Gives an open file with no name (or any other) the name `to` in `folder`,
// never replacing anything: false when the name is taken.
bool link_descriptor(int fd, int folder, const char* to)
{
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self, folder, to, AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    // Without /proc mounted, the same through the descriptor itself, which
    // needs a privilege.
    if (errno == ENOENT && ::linkat(fd, "", folder, to, AT_EMPTY_PATH) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    fail("nelze uložit cíl", errno);
}

// Every job holds its temporary file locked for as long as it lives, so a
// lock that can be had proves the file's job dead.
void lock_for_life(int fd) noexcept
{
    // A file system without such locks has none to prove anything by, and
    // an orphan there is left alone; the job goes on.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

bool same_inode(const struct stat& a, const struct stat& b) noexcept
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes `name` when it is a temporary file a killed job of ours left: a
// regular file (never followed through a link), ours, held by no live job,
// and still under that name when it goes.
void remove_orphan(int folder, const char* name, uid_t self) noexcept
{
    struct stat named {};
    if (::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode) || named.st_uid != self)
        return;
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat held {};
    if (::fstat(fd, &held) == 0 && same_inode(held, named) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
        && ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && same_inode(held, named))
        (void)::unlinkat(folder, name, 0);
    ::close(fd);
}

} // namespace

TargetFolder::TargetFolder(const std::filesystem::path& folder) : path_(folder.empty() ? "." : folder)
{
    handle_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder we may write in but not list still works through O_PATH; only
    // its final flush is lost.
    if (handle_ < 0 && errno == EACCES)
        handle_ = ::open(path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (handle_ < 0)
        fail("nelze otevřít cílovou složku", path_, errno);
}

TargetFolder::~TargetFolder()
{
    ::close(handle_);
}

bool TargetFolder::still_at(const std::filesystem::path& folder) const noexcept
{
    struct stat now {};
    struct stat held {};
    return ::stat(folder.empty() ? "." : folder.c_str(), &now) == 0 && ::fstat(handle_, &held) == 0
        && now.st_dev == held.st_dev && now.st_ino == held.st_ino;
}

std::optional<FileInfo> TargetFolder::entry(const std::filesystem::path& name) const
{
    struct stat st {};
    if (::fstatat(handle_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return info_from(st, false);
    if (errno != ENOENT)
        fail("nelze zjistit údaje o cíli", path_ / name, errno);
    return std::nullopt;
}

void TargetFolder::remove_orphans() noexcept
{
    // A folder we may write in but not list has no orphans we could find.
    const int listing = ::openat(handle_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* const folder = ::fdopendir(listing);
    if (!folder) {
        ::close(listing);
        return;
    }
    std::vector<std::string> names;
    try {
        while (const dirent* entry = ::readdir(folder)) {
            if (is_hidden_temp_name(entry->d_name))
                names.emplace_back(entry->d_name);
        }
    } catch (...) {
        // out of memory: the orphans wait for the next job
    }
    ::closedir(folder);
    const uid_t self = ::geteuid();
    for (const std::string& name : names)
        remove_orphan(handle_, name.c_str(), self);
}

std::optional<File> TargetFolder::create_nameless()
{
#ifdef O_TMPFILE
    const int fd = ::openat(handle_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd >= 0) {
        // Locked already now: place() may give it a hidden name for a moment.
        lock_for_life(fd);
        return File(fd, true);
    }
    // Refusals that only mean "not on this file system" (or kernel).
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        fail("nelze vytvořit cílový soubor", path_, errno);
#endif
    return std::nullopt;
}

std::optional<File> TargetFolder::create_named(const std::string& name)
{
    const int fd = ::openat(handle_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                            0600);
    if (fd < 0) {
        if (errno == EEXIST)
            return std::nullopt;
        fail("nelze vytvořit cílový soubor", path_ / name, errno);
    }
    File created(fd, true);
    // Between its creation and the lock another job may have taken the file
    // for an orphan and removed it: then the name is lost and another is tried.
    lock_for_life(fd);
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) != 0 || ::fstatat(handle_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0
        || !same_inode(held, named))
        return std::nullopt;
    return created;
}

bool TargetFolder::place(File& temp, const std::string& temp_name, const std::filesystem::path& target, bool replace)
{
    const char* to = target.c_str();
    if (temp_name.empty()) {
        // The first name it ever gets. Where nothing may be replaced, the
        // link itself is the atomic check.
        const int fd = temp.handle_;
        if (!replace)
            return link_descriptor(fd, handle_, to);
        // Otherwise a hidden name first, then over the target in one step.
        // Linux cannot link a file with no name over an existing one, so a
        // kill right here leaves the hidden name: it is readable by its
        // owner alone, and the next job in this folder removes it.
        std::string hidden;
        for (int attempt = 0;; ++attempt) {
            if (attempt == 100)
                fail("nelze uložit cíl", path_ / target, EEXIST);
            hidden = hidden_temp_name();
            if (link_descriptor(fd, handle_, hidden.c_str()))
                break;
        }
        if (::renameat(handle_, hidden.c_str(), handle_, to) != 0) {
            const int error = errno;
            ::unlinkat(handle_, hidden.c_str(), 0);
            fail("nelze uložit cíl", path_ / target, error);
        }
        return true;
    }

    const char* from = temp_name.c_str();
    if (replace) {
        if (::renameat(handle_, from, handle_, to) != 0)
            fail("nelze uložit cíl", path_ / target, errno);
        return true;
    }
#ifdef RENAME_NOREPLACE
    if (::renameat2(handle_, from, handle_, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        fail("nelze uložit cíl", path_ / target, errno);
#endif
    // A second name for the file, then the temporary one goes: link() never
    // replaces an existing name.
    if (::linkat(handle_, from, handle_, to, 0) == 0) {
        ::unlinkat(handle_, from, 0);
        return true;
    }
    if (errno == EEXIST)
        return false;
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK)
        fail("nelze uložit cíl", path_ / target, errno);
    // A file system without hard links: check, then rename. Not atomic, but
    // the last resort on such file systems.
    struct stat st {};
    if (::fstatat(handle_, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return false;
    if (::renameat(handle_, from, handle_, to) != 0)
        fail("nelze uložit cíl", path_ / target, errno);
    return true;
}

void TargetFolder::remove(const std::string& name) noexcept
{
    if (!name.empty())
        (void)::unlinkat(handle_, name.c_str(), 0);
}

void TargetFolder::sync() noexcept
{
    (void)::fsync(handle_);
}

std::int64_t probe_size(const std::filesystem::path& path) noexcept
{
    // POSIX cannot open a file with no sharing; reading it is the closest.
    // O_NONBLOCK keeps a named pipe from blocking the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return ok ? static_cast<std::int64_t>(st.st_size) : -1;
}

} // namespace trezorka::file_io
