#pragma once

// The temporary file a running job is writing, known process-wide so that an
// abort from another thread (the progress dialog's abort, a signal) can remove
// it before the process ends. Creating the file and renaming it over the
// target happen under the same lock that the abort takes, so an abort either
// removes a temporary file or finds the job done. The file is recorded by the
// folder the job holds open and its name there, so that it is found also when
// the folder has been moved meanwhile.

#include <functional>
#include <string>

namespace trezorka::file_io {
class TargetFolder;
}

namespace trezorka::pending_file {

// Runs `create` (which creates `name` in `folder`, or finds the name taken)
// under the lock and, when it created the file, records it; an empty name for
// a file with no name, which needs no removing. The folder must stay open
// until the file is finished or forgotten. Throws JobError if an abort has
// begun; nothing is created then.
bool create(file_io::TargetFolder& folder, const std::string& name, const std::function<bool()>& create);

// Runs `commit` (which renames or removes the recorded file) under the lock,
// then forgets the file. Throws JobError if an abort has begun.
void finish(const std::function<void()>& commit);

// Forgets the file without touching it (after the job removed it itself).
// When an abort has begun, first waits until it has removed the file, so
// that the folder may be closed afterwards.
void forget() noexcept;

// Removes the recorded temporary file, if any, and blocks every later create
// or finish. Returns with the lock held for good: the caller ends the process.
void abort_and_remove() noexcept;

} // namespace trezorka::pending_file
