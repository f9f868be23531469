#pragma once

// What a command line asks for: the direction, the source and the target,
// with every refusal that needs no password made before one is asked.

#include "cli.h"
#include "options.h"

#include <filesystem>
#include <string>

namespace trezorka::cli {

struct Plan {
    bool encrypt = true;
    bool source_is_stdin = false;
    bool target_is_stdout = false;
    std::filesystem::path source;
    std::filesystem::path target;
    std::string target_shown; // the target as the user's own bytes
};

// Throws UsageError or Refusal.
Plan make_plan(const Options& o, const Streams& s);

// What can be found wrong before the password is asked: a source that cannot
// be read or is not a regular file (EarlyFailure); a target that cannot or
// must not be written, the source under another name as the target, an
// existing target without --force (Refusal).
void refuse_early(const Plan& plan, const Options& o, const Streams& s);

// The refusal of an existing target, also when the job finds it at its end.
std::string existing_target_text(const Plan& plan);

} // namespace trezorka::cli
