#include "target_check.h"

#include "file_io.h"
#include "printable_name.h"

#include <optional>
#include <system_error>

namespace trezorka {

namespace {

EndpointCheck problem(EndpointProblem kind, std::string message)
{
    return {kind, std::move(message)};
}

std::optional<file_io::FileInfo> identity(const Endpoint& endpoint)
{
    if (!endpoint.is_descriptor())
        return file_io::info_of_path(endpoint.path);
    try {
        return file_io::borrow_descriptor(endpoint.fd).info();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::filesystem::path resolve_target(const std::filesystem::path& target)
{
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) {
        std::filesystem::path resolved = std::filesystem::canonical(target, ec);
        if (!ec)
            return resolved;
    }
    return target;
}

EndpointCheck check_target_link(const std::filesystem::path& target)
{
    if (!target.empty() && file_io::foreign_link_in_shared_folder(target))
        return problem(EndpointProblem::ForeignLink,
                       "cíl je symbolický odkaz jiného uživatele ve sdílené složce: " + printable_name(target));
    return {};
}

EndpointCheck check_endpoints(const Endpoint& source, const Endpoint& target, bool replace_existing)
{
    std::filesystem::path ignored;
    return check_endpoints(source, target, replace_existing, ignored);
}

EndpointCheck check_endpoints(const Endpoint& source, const Endpoint& target, bool replace_existing,
                              std::filesystem::path& resolved_target)
{
    if (!source.is_descriptor() && source.path.empty())
        return problem(EndpointProblem::NoSource, "chybí zdroj");
    if (!target.is_descriptor() && target.path.empty())
        return problem(EndpointProblem::NoTarget, "chybí cíl");

    std::optional<file_io::FileInfo> source_info;
    if (source.is_descriptor()) {
        source_info = identity(source);
        if (source_info && source_info->directory)
            return problem(EndpointProblem::SourceUnusable, "zdroj je složka");
    } else {
        std::string why;
        source_info = file_io::info_of_path(source.path, &why);
        const std::string name = printable_name(source.path);
        if (!source_info)
            return problem(EndpointProblem::SourceUnusable, "nelze otevřít zdroj: " + name + ": " + why);
        if (source_info->directory)
            return problem(EndpointProblem::SourceUnusable, "zdroj je složka: " + name);
        if (!source_info->regular)
            return problem(EndpointProblem::SourceUnusable, "zdroj není obyčejný soubor: " + name);
        if (const std::string denied = file_io::access_refusal(source.path, false); !denied.empty())
            return problem(EndpointProblem::SourceUnusable, "nelze otevřít zdroj: " + name + ": " + denied);
    }

    if (!target.is_descriptor()) {
        if (EndpointCheck link = check_target_link(target.path))
            return link;
    }
    const Endpoint resolved = target.is_descriptor() ? target : Endpoint::file(resolve_target(target.path));
    resolved_target = resolved.path;
    const std::optional<file_io::FileInfo> target_info = identity(resolved);
    // The same file is refused even with a descriptor on one side; two pipes
    // or terminals are not the same file.
    if (source_info && target_info && (source_info->regular || target_info->regular)
        && file_io::same_file(*source_info, *target_info))
        return problem(EndpointProblem::SameFile, "cíl je týž soubor jako zdroj");
    if (target.is_descriptor())
        return {};

    const std::string name = printable_name(target.path);
    if (target_info && target_info->directory)
        return problem(EndpointProblem::TargetUnusable, "cíl je složka: " + name);
    // Renaming over a device or a pipe would replace the node itself.
    if (target_info && !target_info->regular)
        return problem(EndpointProblem::TargetUnusable, "cíl není obyčejný soubor: " + name);
    if (!replace_existing && file_io::entry_exists(resolved.path))
        return problem(EndpointProblem::TargetExists, "cíl už existuje: " + name);

    std::filesystem::path folder = resolved.path.parent_path();
    if (folder.empty())
        folder = ".";
    std::string why;
    const std::optional<file_io::FileInfo> folder_info = file_io::info_of_path(folder, &why);
    if (!folder_info || !folder_info->directory)
        return problem(EndpointProblem::TargetUnusable,
                       "cílová složka neexistuje: " + printable_name(folder) + (folder_info ? "" : ": " + why));
    if (const std::string denied = file_io::access_refusal(folder, true); !denied.empty())
        return problem(EndpointProblem::TargetUnusable,
                       "do cílové složky nelze zapisovat: " + printable_name(folder) + ": " + denied);
    const std::size_t name_length = resolved.path.filename().native().size();
    std::error_code ec;
    const std::filesystem::path whole = std::filesystem::absolute(resolved.path, ec);
    if (name_length > file_io::max_name_length(folder) || (!ec && whole.native().size() >= file_io::max_path_length()))
        return problem(EndpointProblem::TargetUnusable, "název cíle je příliš dlouhý: " + name);
    return {};
}

} // namespace trezorka
