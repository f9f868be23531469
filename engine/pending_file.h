#pragma once

// The temporary file a running job is writing, known process-wide so that an
// abort from another thread (the progress dialog's abort, a signal in the
// command-line tool) can remove it before the process ends. Creating the file
// and renaming it over the target happen under the same lock that the abort
// takes, so an abort either removes a temporary file or finds the job done.

#include <filesystem>
#include <functional>

namespace trezorka::pending_file {

// Runs `create` (which creates `path`) under the lock and records `path`;
// an empty path for a file with no name, which needs no removing.
// Throws if an abort has begun; nothing is created then.
void create(const std::filesystem::path& path, const std::function<void()>& create);

// Runs `commit` (which renames or removes the recorded file) under the lock,
// then forgets the file. Throws if an abort has begun.
void finish(const std::function<void()>& commit);

// Forgets the file without touching it (after the job removed it itself).
void forget() noexcept;

// Removes the recorded temporary file, if any, and blocks every later create
// or finish. Returns with the lock held for good: the caller ends the process.
void abort_and_remove() noexcept;

} // namespace trezorka::pending_file
