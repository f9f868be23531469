#include "file_io.h"

#include "stream_job.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trezorka::file_io {

namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error)
{
    std::string message = what;
    if (!path.empty())
        message += ": " + path.string();
    message += ": ";
    message += std::strerror(error);
    throw JobError(message);
}

[[noreturn]] void fail(const std::string& what, int error)
{
    fail(what, {}, error);
}

FileInfo info_from(const struct stat& st)
{
    FileInfo info;
    info.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    info.regular = S_ISREG(st.st_mode);
    info.directory = S_ISDIR(st.st_mode);
    info.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    info.permissions = st.st_mode & 07777;
    return info;
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

File::File(File&& other) noexcept : handle_(other.handle_), owned_(other.owned_)
{
    other.handle_ = invalid_handle();
    other.owned_ = false;
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        if (owned_ && handle_ >= 0)
            ::close(handle_);
        handle_ = other.handle_;
        owned_ = other.owned_;
        other.handle_ = invalid_handle();
        other.owned_ = false;
    }
    return *this;
}

File::~File()
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
    return info_from(st);
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

void File::start_writeback(std::uint64_t offset, std::uint64_t size) noexcept
{
#ifdef SYNC_FILE_RANGE_WRITE
    (void)::sync_file_range(handle_, static_cast<off_t>(offset), static_cast<off_t>(size),
                            SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)size;
#endif
}

void File::set_new_file_permissions(const std::optional<FileInfo>& like)
{
    const mode_t mode = like && like->regular ? static_cast<mode_t>(like->permissions & 0777)
                                              : static_cast<mode_t>(0666 & ~current_umask());
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        fail("nelze otevřít zdroj", path, errno);
    File file(fd, true);
    if (file.info().directory)
        fail("zdroj je složka", path, EISDIR);
    return file;
}

File borrow_descriptor(int fd)
{
    return File(fd, false);
}

std::optional<FileInfo> info_of_path(const std::filesystem::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return info_from(st);
}

bool entry_exists(const std::filesystem::path& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool create_exclusive(const std::filesystem::path& path, File& file)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) {
        if (errno == EEXIST)
            return false;
        fail("nelze vytvořit cílový soubor", path, errno);
    }
    file = File(fd, true);
    return true;
}

void rename_over(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        fail("nelze uložit cíl", to, errno);
}

bool rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        fail("nelze uložit cíl", to, errno);
#endif
    // A second name for the file, then the temporary one goes: link() never
    // replaces an existing name.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK)
        fail("nelze uložit cíl", to, errno);
    // A file system without hard links: check, then rename. Not atomic, but
    // the last resort on such file systems.
    if (entry_exists(to))
        return false;
    rename_over(from, to);
    return true;
}

void sync_folder(const std::filesystem::path& folder) noexcept
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)::fsync(fd);
    ::close(fd);
}

void remove_file(const std::filesystem::path& path) noexcept
{
    (void)::unlink(path.c_str());
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
