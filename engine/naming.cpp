#include "naming.h"

namespace trezorka {

namespace {

// Where the name begins: just after the last separator, or 0.
std::size_t name_start(std::u16string_view path, PathSyntax syntax)
{
    const std::size_t sep = path.find_last_of(syntax.separators);
    return sep == std::u16string_view::npos ? 0 : sep + 1;
}

// Where the extension begins (its dot), or the path's size when the name has none.
std::size_t extension_start(std::u16string_view path, PathSyntax syntax)
{
    const std::size_t start = name_start(path, syntax);
    const std::size_t dot = path.rfind(u'.');
    return dot == std::u16string_view::npos || dot < start ? path.size() : dot;
}

} // namespace

std::u16string extension_of(std::u16string_view path, PathSyntax syntax)
{
    return std::u16string(path.substr(extension_start(path, syntax)));
}

std::u16string folder_of(std::u16string_view path, PathSyntax syntax)
{
    return std::u16string(path.substr(0, name_start(path, syntax)));
}

std::u16string name_of(std::u16string_view path, PathSyntax syntax)
{
    return std::u16string(path.substr(name_start(path, syntax)));
}

std::u16string change_extension(std::u16string_view name, std::u16string_view ext, PathSyntax syntax)
{
    std::u16string result(name.substr(0, extension_start(name, syntax)));
    result += ext;
    return result;
}

bool is_decrypt_source(std::u16string_view source, PathSyntax syntax)
{
    return extension_of(source, syntax) == encrypted_ext;
}

bool is_old_format(std::u16string_view source, PathSyntax syntax)
{
    return extension_of(source, syntax) == old_encrypted_ext;
}

TargetProposal propose_target(std::u16string_view source, PathSyntax syntax)
{
    if (is_decrypt_source(source, syntax)) {
        std::u16string target = folder_of(source, syntax) + change_extension(name_of(source, syntax), u"", syntax);
        return {target, target, 2};
    }
    std::u16string target = folder_of(source, syntax) + name_of(source, syntax);
    target += encrypted_ext;
    return {std::move(target), std::u16string(source), 1};
}

std::u16string recompose_target(std::u16string_view chosen, std::u16string_view source,
                                std::u16string_view current_target, PathSyntax syntax)
{
    const std::u16string folder = folder_of(chosen, syntax);
    const std::u16string name = name_of(chosen, syntax);
    if (is_decrypt_source(source, syntax))
        return folder + change_extension(name, extension_of(current_target, syntax), syntax);
    std::u16string target = folder + change_extension(name, extension_of(source, syntax), syntax);
    target += encrypted_ext;
    return target;
}

} // namespace trezorka
