#include "plan.h"

#include "file_io.h"
#include "naming.h"
#include "native_path.h"
#include "printable_name.h"
#include "refusal.h"
#include "target_check.h"
#include "terminal.h"
#include "texts.h"

#include <optional>
#include <string>

namespace trezorka::cli {
namespace {

// A source that is there but is no regular file may be meant as a stream.
std::string source_hint(const Plan& plan)
{
    const auto info = file_io::info_of_path(plan.source);
    if (!info || info->regular || info->directory)
        return {};
    return "\nData z roury či zařízení předejte na standardní vstup se ZDROJEM \"-\".";
}

// A name as the messages show it.
std::string shown(const std::string& name)
{
    return "\"" + printable_name(name) + "\"";
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
            plan.target = native_path_of(*o.output);
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

std::string existing_target_text(const Plan& plan)
{
    return "Cíl již existuje: " + printable_name(plan.target_shown) + "\nPro přepsání použijte --force.";
}

void refuse_early(const Plan& plan, const Options& o, const Streams& s)
{
    // The engine's one check, which the job repeats when it starts: a pipe
    // with no writer would block the job forever, a device would run until
    // the disk is full, a folder we may not write in would be found only at
    // the end.
    const Endpoint source = plan.source_is_stdin ? Endpoint::descriptor(s.input_fd) : Endpoint::file(plan.source);
    const Endpoint target = plan.target_is_stdout ? Endpoint::descriptor(s.output_fd) : Endpoint::file(plan.target);
    const EndpointCheck check = check_endpoints(source, target, o.force);
    switch (check.problem) {
    case EndpointProblem::None:
        return;
    case EndpointProblem::SourceUnusable:
        throw EarlyFailure{check.message + (plan.source_is_stdin ? "" : source_hint(plan))};
    case EndpointProblem::SameFile:
        throw Refusal{"Cíl je totožný se zdrojem."};
    case EndpointProblem::TargetExists:
        throw Refusal{existing_target_text(plan)};
    case EndpointProblem::NoSource:
    case EndpointProblem::NoTarget:
    case EndpointProblem::TargetUnusable:
    case EndpointProblem::ForeignLink:
        break;
    }
    // Nothing failed to load or save here: the target was turned down.
    throw Refusal{std::string(texts::target_refused) + check.message};
}

} // namespace trezorka::cli
