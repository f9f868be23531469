#pragma once

// One job: read the source, run it through RC4 keyed from the password, write
// the target. The target is written as a new temporary file in the target's
// folder, flushed to disk and renamed over the target only once the whole
// source has gone through; on any failure the temporary file is removed and
// whatever was at the target path is left as it was.

#include "cipher.h"
#include "endpoint.h"
#include "job_error.h"
#include "secure_text.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

namespace trezorka {

inline constexpr std::size_t legacy_block_size = 512;
inline constexpr std::size_t default_block_size = 64 * 1024;

struct StreamJob {
    Endpoint source;
    Endpoint target;
    bool encrypt = true;
    KeyRule key_rule = KeyRule::Strong128;
    std::size_t block_size = default_block_size;
    bool replace_existing = true; // false: an existing target is a TargetExistsError
    // Bytes the caller already read from a descriptor source (to look at its
    // start), taken before the rest of the descriptor; empty for a named
    // source. They must stay alive during the job.
    std::span<const std::uint8_t> source_prefix;
    // Called from the job's thread now and then with the bytes done and the
    // source's size (0 when unknown, as for a pipe).
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

// Throws JobError (or a subclass) on failure; the target path is then untouched,
// and no temporary file is left, even when the process is killed (where the
// file system offers files with no name). The source must be a regular file
// when named. A new target gets no more permissions than the source; a
// replaced one keeps its permissions and, where we may, its owner and group.
// When the target's folder is moved away or replaced during the job, the job
// fails and leaves nothing in either folder.
// Nothing is written when the target is the source under any name (a link,
// another spelling, a hard link, the same open file). A target that is a link
// is written where the link points. A source file whose size changes while it
// is read, or is written to at all (its modification or change time moves),
// fails the job. Any exception, also one thrown by `progress`, ends the job the
// same way and arrives as a JobError.
void run_stream_job(const StreamJob& job, std::u16string_view password);
// The same, wiping the password as soon as the key exists.
void run_stream_job(const StreamJob& job, SecureText& password);

// The size of the file, opened for reading with no sharing, or -1 when it
// cannot be opened (a missing file, or one another program holds open) or is
// not a plain file (a folder, a device). POSIX has no sharing modes, so there
// a file another program holds open still gives its size.
std::int64_t file_size_probe(const std::filesystem::path& path);

} // namespace trezorka
