// The engine's checks on Windows, without Qt: the CryptoAPI cipher layer
// against the known answers, the stream job round trips, the share modes of
// the Windows file layer. Runs under Wine as on a real machine.
//
//   crosscheck                         run every check; exit status 1 on a failure
//   crosscheck transform encrypt|decrypt [--key-40] PASSWORD_FILE SOURCE TARGET
//                                      one job, for comparing files with another build

#include <windows.h>
#include <shellapi.h>

#include "cipher.h"
#include "file_io.h"
#include "naming.h"
#include "stream_job.h"
#include "test_util.h"
#include "vectors.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;
using namespace trezorka;
using namespace test_util;

namespace {

int failures = 0;
int passes = 0;

void check(bool ok, const std::string& what)
{
    if (ok) {
        ++passes;
    } else {
        ++failures;
        std::printf("FAIL %s\n", what.c_str());
    }
}

template <typename E, typename F>
bool throws(F&& f)
{
    try {
        f();
    } catch (const E&) {
        return true;
    } catch (...) {
        return false;
    }
    return false;
}

std::string ascii(std::u16string_view text)
{
    std::string out;
    for (const char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::vector<std::uint8_t> plaintext()
{
    return {vectors::known_plaintext.begin(), vectors::known_plaintext.end()};
}

// Whole-message encryption through the service, in blocks of `block` bytes.
std::vector<std::uint8_t> encrypt(std::u16string_view password, KeyRule rule, std::vector<std::uint8_t> data,
                                  std::size_t block)
{
    CipherContext context = CipherContext::acquire();
    CipherKey key = password_key(context, password, rule);
    for (std::size_t at = 0; at < data.size(); at += block)
        key.encrypt(std::span(data).subspan(at, std::min(block, data.size() - at)));
    return data;
}

// ---- the cipher layer ---------------------------------------------------

// The old base provider's rule (first 5 digest bytes, 11 zero bytes), worked
// out independently from SHA-1 and RC4 and so not from the code under test.
struct Base40Vector {
    std::u16string_view password;
    std::string_view ciphertext_hex;
};
constexpr Base40Vector base40_vectors[] = {
    {u"Trezor", "ae487164a0689c476da582a3"},
    {u"\u017elu\u0165ou\u010dk\u00fd", "70f3caffea3f2ffdaebaf4ed"},
    {u"x", "d701dceb4c7360da631927ea"},
};

void check_known_answers()
{
    for (const auto& v : vectors::password_vectors) {
        const std::string name = std::string("known answer ") + v.name;
        check(hex(password_hash_bytes(v.password).span()) == v.hashed_hex, name + ": bytes hashed");
        check(hex(derive_key_bytes(v.password, KeyRule::Strong128).span()) == v.key_hex, name + ": key");
        for (const std::size_t block : {std::size_t{1}, std::size_t{5}, std::size_t{512}}) {
            const auto out = encrypt(v.password, KeyRule::Strong128, plaintext(), block);
            check(hex(out) == v.ciphertext_hex,
                  name + ": ciphertext in blocks of " + std::to_string(block) + " = " + hex(out));
        }
        // Decrypting is the same keystream.
        CipherContext context = CipherContext::acquire();
        CipherKey key = password_key(context, v.password, KeyRule::Strong128);
        auto data = from_hex(v.ciphertext_hex);
        key.decrypt(data);
        check(data == plaintext(), name + ": decrypts back");

        // The base provider's key: the first five bytes, then zeros.
        std::string base_key(v.key_hex.substr(0, 10));
        base_key.append(22, '0');
        check(hex(derive_key_bytes(v.password, KeyRule::Base40).span()) == base_key, name + ": 40-bit key");
    }
    for (const auto& v : base40_vectors) {
        const auto out = encrypt(v.password, KeyRule::Base40, plaintext(), 512);
        check(hex(out) == v.ciphertext_hex, "40-bit ciphertext for " + ascii(v.password) + " = " + hex(out));
    }
    for (const auto& v : vectors::hashed_bytes_vectors)
        check(hex(password_hash_bytes(v.password).span()) == v.hashed_hex,
              std::string("bytes hashed: ") + v.name);
    check(hex(derive_key_bytes(u"abcdef", KeyRule::Strong128).span())
              == hex(derive_key_bytes(u"abcxyz", KeyRule::Strong128).span()),
          "abcdef and abcxyz give the same key");
    check(hex(derive_key_bytes(u"abcdef", KeyRule::Strong128).span())
              != hex(derive_key_bytes(u"abddef", KeyRule::Strong128).span()),
          "abcdef and abddef give different keys");
}

void check_rc4_vectors()
{
    for (const auto& v : vectors::rc4_vectors) {
        const auto key_bytes = from_hex(v.key_hex);
        CipherContext context = CipherContext::acquire();
        if (key_bytes.size() > rc4_key_size) {
            // CryptoAPI's RC4 stops at 128 bits; the layer must say so, not
            // quietly use a shorter key.
            check(throws<CipherError>([&] { context.import_rc4_key(key_bytes); }),
                  std::string("RFC 6229 ") + v.name + ": refused by CryptoAPI");
            continue;
        }
        CipherKey key = context.import_rc4_key(key_bytes);
        std::vector<std::uint8_t> stream(0x1010, 0);
        key.encrypt(stream);
        for (const auto& row : v.rows) {
            const std::span<const std::uint8_t> got(stream.data() + row.offset, 16);
            check(hex(got) == hex(from_hex(row.keystream_hex)),
                  std::string("RFC 6229 ") + v.name + " at " + std::to_string(row.offset));
        }
    }
}

// ---- files and jobs -----------------------------------------------------

struct TempDir {
    fs::path path;
    TempDir()
    {
        std::random_device random;
        path = fs::temp_directory_path() / ("trezorka-crosscheck-" + std::to_string(random()));
        fs::create_directories(path);
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

bool job_ok(const fs::path& source, const fs::path& target, bool encrypt, std::u16string_view password,
            std::size_t block = default_block_size, KeyRule rule = KeyRule::Strong128)
{
    StreamJob job;
    job.source = Endpoint::file(source);
    job.target = Endpoint::file(target);
    job.encrypt = encrypt;
    job.key_rule = rule;
    job.block_size = block;
    try {
        run_stream_job(job, password);
        return true;
    } catch (const std::exception& e) {
        std::printf("     (job: %s)\n", e.what());
        return false;
    }
}

// Only the expected files are in the folder: no temporary file left behind.
bool only_files(const fs::path& folder, const std::set<std::string>& names)
{
    const std::set<std::string> found = entries(folder);
    if (found != names) {
        std::printf("     (folder holds:");
        for (const auto& n : found)
            std::printf(" %s", n.c_str());
        std::printf(")\n");
    }
    return found == names;
}

void check_round_trips(const fs::path& dir)
{
    const std::u16string password = u"\u017elu\u0165ou\u010dk\u00fd k\u016f\u0148";
    for (const std::size_t size : {0, 1, 511, 512, 513, 1024, 65535, 65536, 65537, 100000, 1000003}) {
        const std::string n = std::to_string(size);
        const auto plain = random_bytes(size, static_cast<unsigned>(size));
        const fs::path source = dir / ("plain-" + n + ".bin");
        write_file(source, plain);
        const fs::path small = dir / ("small-" + n + ".t2k");
        const fs::path big = dir / ("big-" + n + ".t2k");
        const fs::path back = dir / ("back-" + n + ".bin");
        check(job_ok(source, small, true, password, legacy_block_size), "encrypt " + n + " in 512-byte blocks");
        check(job_ok(source, big, true, password), "encrypt " + n + " in large blocks");
        const auto a = read_file(small);
        check(a.size() == size, "ciphertext of " + n + " keeps its length");
        check(a == read_file(big), "block size does not change the output, " + n + " bytes");
        check(size < 16 || a != plain, "ciphertext of " + n + " differs from the plain text");
        // One-shot transform over the whole message gives the same bytes.
        check(encrypt(password, KeyRule::Strong128, plain, size ? size : 1) == a,
              "one-shot RC4 equals the job, " + n + " bytes");
        check(job_ok(big, back, false, password), "decrypt " + n);
        check(read_file(back) == plain, "round trip " + n);
        fs::remove(small);
        fs::remove(big);
        fs::remove(back);
        fs::remove(source);
    }
    const auto plain = random_bytes(4099, 7);
    write_file(dir / "p40", plain);
    check(job_ok(dir / "p40", dir / "c40", true, u"Trezor", 512, KeyRule::Base40), "40-bit encrypt");
    check(job_ok(dir / "c40", dir / "b40", false, u"Trezor", 4096, KeyRule::Base40), "40-bit decrypt");
    check(read_file(dir / "b40") == plain, "40-bit round trip");
    check(job_ok(dir / "p40", dir / "c128", true, u"Trezor"), "128-bit encrypt");
    check(read_file(dir / "c40") != read_file(dir / "c128"), "the two key rules give different files");
    for (const char* name : {"p40", "c40", "b40", "c128"})
        fs::remove(dir / name);
}

HANDLE open_raw(const fs::path& path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING)
{
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct Raw {
    HANDLE h;
    explicit Raw(HANDLE handle) : h(handle) {}
    ~Raw()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

void check_share_modes(const fs::path& dir)
{
    const fs::path file = dir / "shared.bin";
    const auto bytes = random_bytes(1000, 3);
    write_file(file, bytes);

    {
        file_io::File source = file_io::open_source(file);
        Raw reader(open_raw(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
        check(reader.ok(), "an open source can still be read by others");
        Raw writer(open_raw(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE));
        check(!writer.ok() && GetLastError() == ERROR_SHARING_VIOLATION,
              "an open source cannot be written by others");
        check(file_io::probe_size(file) == -1, "the size probe fails while the source is open");
    }
    {
        // A writer that got there first keeps the job away from the source.
        Raw writer(open_raw(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE));
        check(writer.ok(), "test set-up: a writer opens the file");
        check(throws<JobError>([&] { file_io::open_source(file); }), "a source open for writing is refused");
        check(!job_ok(file, dir / "x.t2k", true, u"pw"), "a job on a source being written fails");
        check(only_files(dir, {"shared.bin"}), "the failed job leaves nothing behind");
    }

    check(file_io::probe_size(file) == 1000, "the size probe gives the size");
    check(file_size_probe(file) == 1000, "file_size_probe gives the size");
    {
        Raw reader(open_raw(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
        check(file_size_probe(file) == -1, "file_size_probe is -1 while another program has the file open");
    }
    check(file_size_probe(dir / "missing") == -1, "file_size_probe of a missing file is -1");
    check(file_size_probe(dir) == -1, "file_size_probe of a folder is -1");
    {
        const fs::path huge = dir / "huge.bin";
        {
            Raw h(open_raw(huge, GENERIC_WRITE, 0, CREATE_NEW));
            LARGE_INTEGER at{};
            at.QuadPart = 5LL << 30;
            check(h.ok() && SetFilePointerEx(h.h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h.h),
                  "test set-up: a 5 GiB sparse file");
        }
        check(file_size_probe(huge) == (5LL << 30), "file_size_probe beyond 4 GiB");
        const auto info = file_io::info_of_path(huge);
        check(info && info->size == (5ULL << 30), "file size beyond 4 GiB");
        fs::remove(huge);
    }

    {
        // A temporary file whose job never finished (a killed process closes
        // its handles the same way) goes with its handle; one that is placed
        // stays, under its new name, and the folder could not move meanwhile.
        file_io::TargetFolder folder(dir);
        std::optional<file_io::File> abandoned = folder.create_named(".abandoned.tmp");
        check(abandoned.has_value(), "create a temporary file in the folder");
        Raw reader(open_raw(dir / ".abandoned.tmp", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
        check(!reader.ok(), "a file being written cannot be read by others");
        check(!folder.create_named("shared.bin"), "an existing name is not taken");
        check(!MoveFileExW(dir.c_str(), (dir.wstring() + L"-moved").c_str(), 0), "the folder held open cannot be moved");
        abandoned.reset();
        check(!fs::exists(dir / ".abandoned.tmp"), "an unfinished temporary file goes with its handle");
        std::optional<file_io::File> kept = folder.create_named(".kept.tmp");
        check(kept.has_value(), "create another temporary file");
        const std::uint8_t byte = 7;
        kept->write_all(&byte, 1);
        check(folder.place(*kept, ".kept.tmp", "kept.bin", false), "place it under its name");
        kept->close();
        check(read_file(dir / "kept.bin") == std::vector<std::uint8_t>{7}, "the placed file keeps its bytes");
        check(!fs::exists(dir / ".kept.tmp"), "no temporary name is left");
        fs::remove(dir / "kept.bin");
    }
    {
        // What a job killed just before its move leaves is removed by the
        // next job in the folder; a file a live job holds is not.
        const fs::path orphan = dir / ".trezorka-0123456789abcdef.tmp";
        const fs::path held = dir / ".trezorka-fedcba9876543210.tmp";
        write_file(orphan, Bytes{1});
        write_file(held, Bytes{2});
        Raw holder(open_raw(held, GENERIC_WRITE, FILE_SHARE_DELETE));
        check(holder.ok(), "test set-up: a live job holds its temporary file");
        check(job_ok(file, dir / "swept.t2k", true, u"pw"), "a job next to the leftovers");
        check(!fs::exists(orphan), "an orphaned temporary file is removed");
        check(fs::exists(held), "a temporary file a live job holds is kept");
        CloseHandle(holder.h);
        holder.h = INVALID_HANDLE_VALUE;
        fs::remove(held);
        fs::remove(dir / "swept.t2k");
    }

    // Same file under other spellings.
    const auto source_info = file_io::info_of_path(file);
    check(source_info.has_value(), "identity of a file");
    std::wstring other = (dir / "." / "shared.bin").wstring();
    for (auto& c : other)
        if (c == L'\\')
            c = L'/';
    const auto other_info = file_io::info_of_path(other);
    check(other_info && source_info && other_info->id == source_info->id, "identity is the same for another spelling");
    check(!job_ok(file, other, true, u"pw"), "a target that is the source under another spelling fails");
    check(read_file(file) == bytes, "the source is untouched");
    check(!job_ok(file, file, true, u"pw"), "a target that is the source fails");
    check(read_file(file) == bytes, "the source is untouched");
    check(only_files(dir, {"shared.bin"}), "nothing else was written");

    check(!job_ok(file, dir / "no such folder" / "x.t2k", true, u"pw"), "a target in a missing folder fails");
    check(!job_ok(dir / "missing", dir / "x.t2k", true, u"pw"), "a missing source fails");
    check(!job_ok(dir, dir / "x.t2k", true, u"pw"), "a folder as the source fails");
    check(only_files(dir, {"shared.bin"}), "nothing was written by the failures");

    // An existing target is replaced only when the job says so, and a target
    // that cannot be replaced is left as it was, with no temporary file.
    const fs::path target = dir / "target.t2k";
    write_file(target, Bytes{1, 2, 3});
    {
        StreamJob job;
        job.source = Endpoint::file(file);
        job.target = Endpoint::file(target);
        job.replace_existing = false;
        check(throws<TargetExistsError>([&] { run_stream_job(job, u"pw"); }), "an existing target is refused");
        check(read_file(target) == std::vector<std::uint8_t>{1, 2, 3}, "the refused target is untouched");
    }
    {
        Raw holder(open_raw(target, GENERIC_READ, 0));
        check(holder.ok(), "test set-up: another program holds the target");
        check(!job_ok(file, target, true, u"pw"), "a target held by another program fails");
    }
    check(read_file(target) == std::vector<std::uint8_t>{1, 2, 3}, "the held target is untouched");
    check(only_files(dir, {"shared.bin", "target.t2k"}), "the temporary file was removed");
    check(job_ok(file, target, true, u"pw"), "an existing target is replaced");
    check(read_file(target).size() == bytes.size(), "the replaced target has the new content");
    check(only_files(dir, {"shared.bin", "target.t2k"}), "replacing leaves no temporary file");
    // A read-only target replaced on request stays read-only, as its mode
    // stays on POSIX.
    const auto replaced_bytes = read_file(target);
    check(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN) != FALSE,
          "test set-up: a read-only, hidden target");
    check(job_ok(file, target, true, u"pw2"), "a read-only target is replaced");
    const DWORD kept = GetFileAttributesW(target.c_str());
    check(kept != INVALID_FILE_ATTRIBUTES && (kept & FILE_ATTRIBUTE_READONLY) && (kept & FILE_ATTRIBUTE_HIDDEN),
          "the replaced target keeps its read-only and hidden attributes");
    check(read_file(target) != replaced_bytes && read_file(target).size() == bytes.size(),
          "the read-only target has the new content");
    check(only_files(dir, {"shared.bin", "target.t2k"}), "replacing a read-only target leaves no temporary file");
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove(target);

    // Names outside the ANSI code page survive.
    const fs::path unicode = dir / L"\u0161ifra \u0416\u0443\u043a \U0001F600.bin";
    write_file(unicode, bytes);
    check(job_ok(unicode, dir / L"\u0161ifra.t2k", true, u"pw"), "paths outside the code page: encrypt");
    check(job_ok(dir / L"\u0161ifra.t2k", dir / L"zp\u011bt.bin", false, u"pw"), "paths outside the code page: decrypt");
    check(read_file(dir / L"zp\u011bt.bin") == bytes, "paths outside the code page: round trip");
}

void check_naming()
{
    for (const auto& v : vectors::naming_vectors) {
        const std::string name = std::string("naming: ") + v.name;
        const TargetProposal p = propose_target(v.source);
        check(p.target == v.proposed, name + ": proposed target");
        check(p.save_dialog_name == v.dialog_name, name + ": dialog name");
        check(p.save_filter_index == v.filter_index, name + ": filter index");
        check(is_decrypt_source(v.source) == v.decrypt, name + ": direction");
        check(recompose_target(v.chosen, v.source, p.target) == v.recomposed, name + ": recomposed");
    }
}

// ---- transform ------------------------------------------------------------

// The password file's first line, UTF-8, without its line ending.
bool read_password(const fs::path& path, std::u16string& password)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty())
        return false;
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(), static_cast<int>(line.size()),
                                          nullptr, 0);
    if (units <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(), static_cast<int>(line.size()), wide.data(), units);
    password.assign(wide.begin(), wide.end());
    secure_wipe(line.data(), line.size());
    secure_wipe(wide.data(), wide.size() * sizeof(wchar_t));
    return true;
}

int transform(const std::vector<std::wstring>& args)
{
    // transform encrypt|decrypt [--key-40] PASSWORD_FILE SOURCE TARGET
    std::size_t i = 1;
    if (args.size() < 5)
        return 2;
    const bool encrypt = args[i] == L"encrypt";
    if (!encrypt && args[i] != L"decrypt")
        return 2;
    ++i;
    KeyRule rule = KeyRule::Strong128;
    if (args[i] == L"--key-40") {
        rule = KeyRule::Base40;
        ++i;
    }
    if (args.size() - i != 3)
        return 2;
    std::u16string password;
    if (!read_password(args[i], password)) {
        std::fprintf(stderr, "crosscheck: cannot read a UTF-8 password\n");
        return 2;
    }
    StreamJob job;
    job.source = Endpoint::file(args[i + 1]);
    job.target = Endpoint::file(args[i + 2]);
    job.encrypt = encrypt;
    job.key_rule = rule;
    try {
        run_stream_job(job, password);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "crosscheck: %s\n", e.what());
        secure_wipe(password.data(), password.size() * sizeof(char16_t));
        return 1;
    }
    secure_wipe(password.data(), password.size() * sizeof(char16_t));
    return 0;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    LocalFree(argv);

    if (!args.empty() && args[0] == L"transform")
        return transform(args);
    if (!args.empty()) {
        std::fprintf(stderr, "usage: crosscheck [transform encrypt|decrypt [--key-40] PASSWORD_FILE SOURCE TARGET]\n");
        return 2;
    }

    const std::pair<const char*, std::function<void()>> groups[] = {
        {"known answers", check_known_answers},
        {"RFC 6229 keystreams", check_rc4_vectors},
        {"naming rules", check_naming},
        {"round trips", [] {
             TempDir dir;
             check_round_trips(dir.path);
         }},
        {"share modes and failures", [] {
             TempDir dir;
             check_share_modes(dir.path);
         }},
    };
    for (const auto& [name, run] : groups) {
        const int before = failures;
        const int passed_before = passes;
        try {
            run();
        } catch (const std::exception& e) {
            check(false, std::string(name) + ": unexpected exception: " + e.what());
        }
        std::printf("%-4s %s (%d checks)\n", failures == before ? "ok" : "FAIL", name,
                    passes - passed_before + failures - before);
    }
    std::printf("crosscheck: %d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}
