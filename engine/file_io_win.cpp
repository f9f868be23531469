// The file operations on Windows. Share modes are mandatory here, and the
// program relies on them: the source is opened so that others may read it
// but not write it, the size probe and the new target share with nobody.

#include "file_io.h"

#include "job_error.h"
#include "printable_name.h"
#include "system_error_text.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace trezorka::file_io {

namespace {

// ReadFile and WriteFile take DWORD counts.
constexpr std::size_t max_io = std::size_t{1} << 30;

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                         0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                            nullptr, nullptr);
    return result;
}

std::string system_message(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", length);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    char code[32];
    std::snprintf(code, sizeof code, "chyba %lu", static_cast<unsigned long>(error));
    return message.empty() ? std::string(code) : utf8(message) + " (" + code + ")";
}

// The C library's number for the common system errors, so that they get
// the same Czech wording as on POSIX; 0 for the others.
int errno_of(DWORD error) noexcept
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return error == ERROR_ACCESS_DENIED ? EACCES : EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
        return EIO;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return 0;
    }
}

std::string cause(DWORD error)
{
    const int number = errno_of(error);
    return number ? system_error_text(number) : system_message(error);
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, DWORD error)
{
    throw_failure(what, path, cause(error));
}

[[noreturn]] void fail(const std::string& what, DWORD error)
{
    fail(what, {}, error);
}

bool valid(HANDLE handle) noexcept
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

bool is_directory_path(const std::filesystem::path& path) noexcept
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FileInfo info_of_handle(HANDLE handle, bool& ok) noexcept
{
    FileInfo info;
    ok = true;
    const DWORD type = GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
        // A pipe or a console: no identity worth comparing, no size. An
        // unknown type with an error set means the handle is bad.
        if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR)
            ok = false;
        return info;
    }
    BY_HANDLE_FILE_INFORMATION data{};
    if (!GetFileInformationByHandle(handle, &data)) {
        // Wine's standard handles on redirected Unix files answer only the
        // narrower queries (no volume); take what they give. The volume
        // serial then stays 0, which matches no file opened by name.
        FILE_STANDARD_INFO standard{};
        FILE_ID_INFO id{};
        if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)
            || !GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
            ok = false;
            return info;
        }
        std::uint64_t index = 0;
        std::memcpy(&index, id.FileId.Identifier, sizeof index);
        info.id.device = id.VolumeSerialNumber;
        info.id.index = index;
        info.directory = standard.Directory != FALSE;
        info.regular = !info.directory;
        if (info.regular)
            info.size = static_cast<std::uint64_t>(std::max<LONGLONG>(standard.EndOfFile.QuadPart, 0));
        FILE_BASIC_INFO basic{};
        if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
            info.modified = basic.LastWriteTime.QuadPart;
            info.changed = basic.ChangeTime.QuadPart;
            info.attributes = basic.FileAttributes;
        }
        return info;
    }
    info.id.device = data.dwVolumeSerialNumber;
    info.id.index = (static_cast<std::uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
    info.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.regular = !info.directory;
    info.attributes = data.dwFileAttributes;
    if (info.regular)
        info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32)
                                              | data.ftLastWriteTime.dwLowDateTime);
    return info;
}

// Closes a handle this layer opened only for a query.
struct QueryHandle {
    HANDLE handle;
    ~QueryHandle()
    {
        if (valid(handle))
            CloseHandle(handle);
    }
};

} // namespace

void File::release() noexcept
{
    if (owned_ && valid(handle_))
        CloseHandle(handle_);
}

bool File::is_open() const noexcept
{
    return valid(handle_);
}

FileInfo File::info() const
{
    bool ok = false;
    const FileInfo info = info_of_handle(handle_, ok);
    if (!ok)
        fail("nelze zjistit údaje o souboru", GetLastError());
    return info;
}

std::size_t File::read(void* data, std::size_t size)
{
    DWORD count = 0;
    if (!ReadFile(handle_, data, static_cast<DWORD>(std::min(size, max_io)), &count, nullptr)) {
        const DWORD error = GetLastError();
        // The writing end of a pipe has gone away: that is the end of the data.
        if (error == ERROR_BROKEN_PIPE)
            return 0;
        fail("chyba při čtení zdroje", error);
    }
    return count;
}

void File::write_all(const void* data, std::size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD count = 0;
        if (!WriteFile(handle_, p, static_cast<DWORD>(std::min(size, max_io)), &count, nullptr))
            fail("chyba při zápisu cíle", GetLastError());
        if (count == 0)
            fail("chyba při zápisu cíle", ERROR_WRITE_FAULT);
        p += count;
        size -= count;
    }
}

void File::advise_sequential() noexcept
{
    // The source is opened with FILE_FLAG_SEQUENTIAL_SCAN instead.
}

void File::flush_early(std::uint64_t, std::uint64_t)
{
    // Left to the final flush.
}

// The attributes a replaced file hands on to the file that replaces it.
constexpr DWORD kept_attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
    | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

void File::set_target_permissions(const std::optional<FileInfo>& replaced, const FileInfo&)
{
    // A new file inherits its folder's access control list, which is what a
    // file created there in the ordinary way would get. A replaced file's
    // attributes stay: a read-only file stays read-only, as its mode does on
    // POSIX.
    const DWORD kept = replaced && replaced->regular ? replaced->attributes & kept_attributes : 0;
    if (kept == 0)
        return;
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(handle_, FileBasicInfo, &basic, sizeof basic))
        fail("nelze nastavit atributy cíle", GetLastError());
    basic.FileAttributes = (basic.FileAttributes & ~kept_attributes) | kept;
    // Zero: the times stay as the system keeps them.
    basic.CreationTime.QuadPart = 0;
    basic.LastAccessTime.QuadPart = 0;
    basic.LastWriteTime.QuadPart = 0;
    basic.ChangeTime.QuadPart = 0;
    if (!SetFileInformationByHandle(handle_, FileBasicInfo, &basic, sizeof basic))
        fail("nelze nastavit atributy cíle", GetLastError());
}

void File::sync()
{
    if (!FlushFileBuffers(handle_))
        fail("nelze zapsat cíl na disk", GetLastError());
}

void File::close()
{
    if (!owned_ || !valid(handle_))
        return;
    HANDLE handle = handle_;
    handle_ = invalid_handle();
    owned_ = false;
    if (!CloseHandle(handle))
        fail("chyba při zavírání souboru", GetLastError());
}

File open_source(const std::filesystem::path& path)
{
    // Others may read the source while the job runs, but nobody may write it.
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (is_directory_path(path))
            fail("zdroj je složka", path, error);
        fail("nelze otevřít zdroj", path, error);
    }
    File file(handle, true);
    const FileInfo info = file.info();
    if (info.directory)
        fail("zdroj je složka", path, ERROR_DIRECTORY);
    if (!info.regular)
        throw JobError("zdroj není obyčejný soubor: " + printable_name(path));
    return file;
}

File borrow_descriptor(int fd)
{
    const intptr_t handle = _get_osfhandle(fd);
    if (handle == -1 || handle == -2)
        fail("neplatný popisovač souboru", ERROR_INVALID_HANDLE);
    return File(reinterpret_cast<HANDLE>(handle), false);
}

std::optional<FileInfo> info_of_path(const std::filesystem::path& path, std::string* why)
{
    // No access asked and everything shared: this works even on a file that
    // is open with no sharing, such as the job's own source. Links are
    // followed; FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened too.
    QueryHandle query{CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (query.handle == INVALID_HANDLE_VALUE) {
        const int error = errno_of(GetLastError());
        if (why)
            *why = system_error_text(error ? error : EIO);
        return std::nullopt;
    }
    bool ok = false;
    const FileInfo info = info_of_handle(query.handle, ok);
    if (!ok) {
        if (why)
            *why = system_error_text(EIO);
        return std::nullopt;
    }
    return info;
}

bool same_file(const FileInfo& a, const FileInfo& b) noexcept
{
    // Wine tells only the file index, not the volume, of a standard handle
    // redirected to a file by a Unix shell; its volume then reads 0. An
    // unknown volume is taken as any volume: refusing a rare different file
    // beats writing into the source.
    if (a.regular && b.regular && (a.id.device == 0 || b.id.device == 0))
        return a.id.index == b.id.index;
    return a.id == b.id;
}

std::string access_refusal(const std::filesystem::path&, bool)
{
    // Access control lists answer only to an attempt; the job makes it.
    return {};
}

std::size_t max_name_length(const std::filesystem::path&) noexcept
{
    return 255;
}

std::size_t max_path_length() noexcept
{
    return 32767;
}

bool entry_exists(const std::filesystem::path& path)
{
    // GetFileAttributesW does not follow a symbolic link, so a dangling one
    // counts as there.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = GetLastError();
    // Anything but a plain "no such name" (a file in use, no access) means
    // something may well stand there; the careful answer is yes.
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME;
}

bool foreign_link_in_shared_folder(const std::filesystem::path&)
{
    // Windows has no sticky folders shared by all.
    return false;
}

namespace {

bool mark_for_deletion(HANDLE handle, bool mark) noexcept
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = mark ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

} // namespace

TargetFolder::TargetFolder(const std::filesystem::path& folder) : path_(folder.empty() ? "." : folder)
{
    // Held open without FILE_SHARE_DELETE, the folder cannot be renamed or
    // moved until the job is over.
    handle_ = CreateFileW(path_.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
        fail("nelze otevřít cílovou složku", path_, GetLastError());
}

TargetFolder::~TargetFolder()
{
    CloseHandle(handle_);
}

bool TargetFolder::still_at(const std::filesystem::path& folder) const noexcept
{
    const std::optional<FileInfo> now = info_of_path(folder);
    bool ok = false;
    const FileInfo held = info_of_handle(handle_, ok);
    return now && ok && now->id == held.id;
}

std::optional<FileInfo> TargetFolder::entry(const std::filesystem::path& name) const
{
    const std::filesystem::path path = path_ / name;
    // The entry itself, a link not followed.
    QueryHandle query{CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (query.handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return std::nullopt;
        // Something stands there that we may not look at (in use, no access):
        // taken as a file to replace, which the move then tries.
        FileInfo unknown;
        unknown.regular = true;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES)
            unknown.attributes = attributes;
        return unknown;
    }
    bool ok = false;
    FileInfo info = info_of_handle(query.handle, ok);
    if (!ok)
        fail("nelze zjistit údaje o cíli", path, GetLastError());
    return info;
}

void TargetFolder::remove_orphans() noexcept
{
    // A temporary file is marked for deletion while its job writes it, and
    // goes with the job's handle; only a job killed between taking the mark
    // back and the move leaves one. A live job's handle shares nothing but
    // deleting, so an open that shares nothing proves the file orphaned.
    try {
        std::vector<std::filesystem::path> names;
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((path_ / L".trezorka-*.tmp").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return;
        do {
            if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
                continue;
            const std::u8string name = std::filesystem::path(found.cFileName).u8string();
            if (is_hidden_temp_name(std::string_view(reinterpret_cast<const char*>(name.data()), name.size())))
                names.emplace_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        for (const auto& name : names) {
            QueryHandle orphan{CreateFileW((path_ / name).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
            if (orphan.handle == INVALID_HANDLE_VALUE)
                continue;
            bool ok = false;
            const FileInfo info = info_of_handle(orphan.handle, ok);
            if (ok && info.regular && (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                (void)mark_for_deletion(orphan.handle, true);
        }
    } catch (...) {
        // out of memory: the orphans wait for the next job
    }
}

std::optional<File> TargetFolder::create_nameless()
{
    return std::nullopt;
}

std::optional<File> TargetFolder::create_named(const std::string& name)
{
    const std::filesystem::path path = path_ / name;
    // Nobody else may read or write it while it is written. Deleting is
    // allowed, so that an abort (Ctrl+C, the progress dialog's abort button)
    // can remove it from another thread while the job still holds it open.
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            return std::nullopt;
        fail("nelze vytvořit cílový soubor", path, error);
    }
    // Deleted when the handle goes, which a killed process's handles do too,
    // until place() takes the mark back. Best effort: some file systems
    // refuse, and the abort still removes the file by name.
    (void)mark_for_deletion(handle, true);
    return File(handle, true);
}

bool TargetFolder::place(File& temp, const std::string& temp_name, const std::filesystem::path& target, bool replace)
{
    if (!mark_for_deletion(temp.handle_, false))
        fail("nelze uložit cíl", path_ / target, GetLastError());
    // The file stays open: it shares deleting, which a move needs, and its
    // attributes are set through it once it has its name.
    const std::filesystem::path from = path_ / temp_name;
    const std::filesystem::path to = path_ / target;
    if (replace) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD error = GetLastError();
        // Windows refuses to replace a read-only file, which POSIX replaces
        // in a folder we may write in: the mark comes off for the move, and
        // back on if the move fails anyway. The new file gets it from
        // set_target_permissions.
        const DWORD attributes = GetFileAttributesW(to.c_str());
        if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES
            && (attributes & FILE_ATTRIBUTE_READONLY) != 0
            && SetFileAttributesW(to.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
            if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return true;
            error = GetLastError();
            SetFileAttributesW(to.c_str(), attributes);
        }
        fail("nelze uložit cíl", to, error);
    }
    // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name,
    // in one step.
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return false;
    fail("nelze uložit cíl", to, error);
}

void TargetFolder::remove(const std::string& name) noexcept
{
    if (!name.empty())
        (void)DeleteFileW((path_ / name).c_str());
}

void TargetFolder::sync() noexcept
{
    // MOVEFILE_WRITE_THROUGH has already put the new name on disk.
}

std::int64_t probe_size(const std::filesystem::path& path) noexcept
{
    // Share mode 0: a file another program holds open gives -1.
    QueryHandle probe{CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr)};
    if (probe.handle == INVALID_HANDLE_VALUE || GetFileType(probe.handle) != FILE_TYPE_DISK)
        return -1;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(probe.handle, &size))
        return -1;
    return size.QuadPart;
}

} // namespace trezorka::file_io
