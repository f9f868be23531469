#pragma once

// The checks of a job's source and target that can be made before anything
// is asked or written. The tool runs check_endpoints() before asking for the
// password, both windows' rules run check_target_link() before theirs, and
// the stream job runs check_endpoints() again when it starts, so there is one
// rule for what may be read and where it may be written.

#include "endpoint.h"

#include <filesystem>
#include <string>

namespace trezorka {

enum class EndpointProblem {
    None,
    NoSource,       // an empty source name
    NoTarget,       // an empty target name
    SourceUnusable, // missing, unreadable, a folder, a pipe, a device, a file of /proc
    SameFile,       // the target is the source under some name
    TargetExists,   // something stands at the target and it may not be replaced
    TargetUnusable, // a folder or device, no such folder, a folder we may not
                    // write in, a name too long for the file system
    ForeignLink,    // a link another user put in a shared folder
};

struct EndpointCheck {
    EndpointProblem problem = EndpointProblem::None;
    // Czech and ready to print, names escaped; empty when all is well.
    std::string message;
    explicit operator bool() const noexcept { return problem != EndpointProblem::None; }
};

// What a target path means: a link to a file is written where it points.
std::filesystem::path resolve_target(const std::filesystem::path& target);

// Checks the source and the target of a job. Only asks the system; never
// creates, opens for writing or blocks.
EndpointCheck check_endpoints(const Endpoint& source, const Endpoint& target, bool replace_existing);
// The same, also giving the target path as checked (a link resolved), which
// the job then writes without looking at the link again.
EndpointCheck check_endpoints(const Endpoint& source, const Endpoint& target, bool replace_existing,
                              std::filesystem::path& resolved_target);

// A target that is a link the kernel would not follow in a shared folder
// (see file_io::foreign_link_in_shared_folder) is refused: another user may
// have put it there to turn the write onto a file of ours. A user's own links
// are followed.
EndpointCheck check_target_link(const std::filesystem::path& target);

} // namespace trezorka
