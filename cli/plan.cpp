#include "plan.h"

#include "file_io.h"
#include "naming.h"
#include "native_path.h"
#include "refusal.h"
#include "terminal.h"
#include "texts.h"

#include <optional>
#include <system_error>

namespace trezorka::cli {
namespace {

namespace fs = std::filesystem;

fs::path path_from_argument(const std::string& arg)
{
    return to_native_path(utf16_from_native_bytes(arg));
}

bool exists_as_entry(const fs::path& p)
{
    std::error_code ec;
    auto st = fs::symlink_status(p, ec);
    return !ec && st.type() != fs::file_type::not_found;
}

// A name as the messages show it.
std::string shown(const std::string& name)
{
    return "\"" + name + "\"";
}

} // namespace

Plan make_plan(const Options& o, const Streams& s)
{
    Plan plan;
    const std::string& source_arg = *o.source;
    if (source_arg.empty())
        throw UsageError{"ZDROJ je prázdný"};
    plan.source_is_stdin = source_arg == "-";
    std::u16string source16 = plan.source_is_stdin ? std::u16string() : utf16_from_native_bytes(source_arg);

    if (plan.source_is_stdin) {
        if (!o.encrypt)
            throw UsageError{"se zdrojem \"-\" je nutná volba --encrypt nebo --decrypt"};
        plan.encrypt = *o.encrypt;
    } else {
        plan.source = to_native_path(source16);
        bool old_format = is_old_format(source16);
        if (old_format && o.encrypt != std::optional<bool>(true))
            throw Refusal{std::string(texts::old_format_warning)};
        plan.encrypt = o.encrypt.value_or(!is_decrypt_source(source16));
    }

    if (o.output) {
        plan.target_is_stdout = *o.output == "-";
        if (!plan.target_is_stdout) {
            plan.target = path_from_argument(*o.output);
            plan.target_shown = *o.output;
        }
    } else if (plan.source_is_stdin) {
        plan.target_is_stdout = true;
    } else {
        std::u16string target16;
        if (plan.encrypt && is_decrypt_source(source16))
            target16 = source16 + std::u16string(encrypted_ext); // forced encryption of a ".t2k" file
        else if (!plan.encrypt && !is_decrypt_source(source16))
            throw UsageError{"zdroj bez přípony \".t2k\" lze dešifrovat jen s volbou -o"};
        else
            target16 = propose_target(source16).target;
        // ".t2k" alone leaves no name to decrypt into.
        if (name_of(target16).empty())
            throw Refusal{"Ze zdroje " + shown(source_arg) + " nelze odvodit jméno cíle; zadejte cíl volbou -o."};
        plan.target = to_native_path(target16);
        plan.target_shown = native_bytes_from_utf16(target16);
    }

    if (plan.source_is_stdin && is_terminal(s.input_fd))
        throw Refusal{"Data nečtu z terminálu; přesměrujte vstup nebo zadejte ZDROJ."};
    if (plan.target_is_stdout && is_terminal(s.output_fd))
        throw Refusal{"Binární data nezapisuji na terminál; přesměrujte výstup nebo použijte -o SOUBOR."};
    return plan;
}

namespace {

// The identity of a standard descriptor or of a named file; nothing when it
// cannot be learnt (the job itself then reports what is wrong).
std::optional<file_io::FileInfo> identity(bool is_descriptor, int fd, const fs::path& path)
{
    if (!is_descriptor)
        return file_io::info_of_path(path);
    try {
        return file_io::borrow_descriptor(fd).info();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool same_regular_file(const file_io::FileInfo& a, const file_io::FileInfo& b)
{
    if (!a.regular || !b.regular)
        return false;
#ifdef _WIN32
    // Wine tells only the file index, not the volume, of a standard handle
    // redirected to a file by a Unix shell; its volume then reads 0. An
    // unknown volume is taken as any volume: refusing a rare different file
    // beats writing into the source.
    if (a.id.device == 0 || b.id.device == 0)
        return a.id.index == b.id.index;
#endif
    return a.id == b.id;
}

// The target must never be the source, also when the shell hands one of them
// in as a descriptor: checked before any password is asked.
void refuse_same_file(const Plan& plan, const Streams& s)
{
    const auto in = identity(plan.source_is_stdin, s.input_fd, plan.source);
    const auto out = identity(plan.target_is_stdout, s.output_fd, plan.target);
    if (in && out && same_regular_file(*in, *out))
        throw Refusal{"Cíl je totožný se zdrojem."};
}

} // namespace

std::string existing_target_text(const Plan& plan)
{
    return "Cíl již existuje: " + plan.target_shown + "\nPro přepsání použijte --force.";
}

void refuse_early(const Plan& plan, const Options& o, const Streams& s)
{
    // A pipe with no writer would block the job forever and a device would
    // run until the disk is full: only a regular file is read by name.
    if (!plan.source_is_stdin) {
        if (const auto info = file_io::info_of_path(plan.source); info && !info->regular)
            throw EarlyFailure{info->directory ? "zdroj je složka"
                                               : "zdroj není obyčejný soubor; data z roury či zařízení "
                                                 "předejte na standardní vstup se ZDROJEM \"-\""};
    }
    refuse_same_file(plan, s);
    if (!plan.target_is_stdout && !o.force && exists_as_entry(plan.target))
        throw Refusal{existing_target_text(plan)};
}

} // namespace trezorka::cli
