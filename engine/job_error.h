#pragma once

// How a job fails: every failure of the file work, of the cipher service or
// of the job's own checks reaches the caller as one of these, its text Czech
// and ready to print, names escaped.

#include <stdexcept>

namespace trezorka {

struct JobError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The target already exists and the job was told not to replace it.
struct TargetExistsError : JobError {
    using JobError::JobError;
};

} // namespace trezorka
