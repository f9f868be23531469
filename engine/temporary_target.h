#pragma once

// The file a job writes its target into until the whole target is there and
// on disk: a file with no name where the file system offers one, else one
// under a hidden name (file_io::hidden_temp_name()), readable by its owner
// alone either way. From its creation until it has the target's name an abort
// can find and remove it (pending_file), and however the job ends before
// then, it is removed when this object goes.

#include "file_io.h"

#include <filesystem>
#include <string>

namespace trezorka {

class TemporaryTarget {
public:
    // Clears what killed jobs left in the folder, then creates the file
    // there. The folder must outlive this object.
    explicit TemporaryTarget(file_io::TargetFolder& folder);
    TemporaryTarget(const TemporaryTarget&) = delete;
    TemporaryTarget& operator=(const TemporaryTarget&) = delete;
    ~TemporaryTarget();

    // Still open after place(), for the target's final permissions.
    file_io::File& file() noexcept { return file_; }

    // Gives the flushed file the name `target` in the folder, replacing what
    // is there or only when nothing is (see TargetFolder::place). False when
    // the name was taken and nothing was replaced: the file is gone then.
    bool place(const std::filesystem::path& target, bool replace);

private:
    file_io::TargetFolder& folder_;
    file_io::File file_;
    std::string name_; // empty for a file with no name
    bool placed_ = false;
};

} // namespace trezorka
