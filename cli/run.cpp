#include "cli.h"

#include "cipher.h"
#include "native_path.h"
#include "options.h"
#include "password.h"
#include "password_check.h"
#include "plan.h"
#include "printable_name.h"
#include "progress_line.h"
#include "refusal.h"
#include "secure_buffer.h"
#include "secure_text.h"
#include "stream_job.h"
#include "texts.h"

#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#ifndef TREZORKA_VERSION
#define TREZORKA_VERSION "2.0"
#endif

namespace trezorka::cli {
namespace {

// The window's failure text, then the cause when there is one.
int report_failure(const Streams& s, bool encrypt, std::string_view cause)
{
    s.err << texts::plain_newlines(texts::job_texts(encrypt).failure) << '\n';
    if (!cause.empty())
        s.err << cause << '\n';
    return exit_job_failed;
}

// The password as the cipher takes it, in the engine's secure text; the
// bytes it came from are wiped at once.
SecureText password_text(SecureBytes bytes)
{
    std::u16string text =
        utf16_from_native_bytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    bytes.clear();
    return SecureText::take(text);
}

// The format hashes only the first half of a password's UTF-16 bytes (see
// counted_characters). A warning, not a refusal: the password may be the one
// an existing correspondent uses. Not silenced by --quiet, which is about
// progress and reports, not about the strength of what is written.
void warn_of_password_weight(const Streams& s, std::u16string_view password)
{
    constexpr std::size_t enough = 8;
    const std::size_t counted = counted_characters(password);
    if (counted < enough)
        s.err << "Varování: u tohoto formátu se počítá jen prvních " << counted << " znaků hesla.\n";
}

int run(const Options& o, const Streams& s)
{
    const Plan plan = make_plan(o, s);
    try {
        refuse_early(plan, o, s);
    } catch (const EarlyFailure& e) {
        return report_failure(s, plan.encrypt, e.cause);
    }

    // A dump of the process would hold the password and the key.
    forbid_core_dumps();
    // Wiped by the job as soon as the key exists.
    SecureText password = password_text(obtain_password(o, plan.encrypt, s, plan.source_is_stdin));
    if (plan.encrypt)
        warn_of_password_weight(s, password.view());

    std::vector<std::uint8_t> start; // taken from standard input to judge it
    const KeyRule key_rule = o.key40 ? KeyRule::Base40 : KeyRule::Strong128;
    if (!plan.encrypt && !o.no_check) {
        try {
            start = check_password_before_decrypting(plan, s, password.view(), key_rule);
        } catch (const EarlyFailure& e) {
            return report_failure(s, plan.encrypt, e.cause);
        } catch (const CipherError& e) {
            return report_failure(s, plan.encrypt, e.what());
        }
    }

    StreamJob job;
    job.source = plan.source_is_stdin ? Endpoint::descriptor(s.input_fd) : Endpoint::file(plan.source);
    job.target = plan.target_is_stdout ? Endpoint::descriptor(s.output_fd) : Endpoint::file(plan.target);
    job.encrypt = plan.encrypt;
    job.key_rule = key_rule;
    job.source_prefix = start;
    job.replace_existing = o.force;
    ProgressLine progress(s.err);
    if (s.err_is_terminal && !o.quiet)
        job.progress = [&progress](std::uint64_t done, std::uint64_t total) { progress.update(done, total); };

    try {
        run_stream_job(job, password);
    } catch (const TargetExistsError&) {
        progress.clear();
        throw Refusal{existing_target_text(plan)};
    } catch (const std::bad_alloc&) {
        progress.clear();
        return report_failure(s, plan.encrypt, "nedostatek paměti");
    } catch (const std::exception& e) {
        // JobError, CipherError or anything else the file work raised.
        progress.clear();
        return report_failure(s, plan.encrypt, e.what());
    }
    progress.clear();

    if (!o.quiet) {
        // The window's report; without a named target, its first line alone.
        const std::string done = texts::plain_newlines(texts::job_texts(plan.encrypt).success);
        if (plan.target_is_stdout)
            s.err << done.substr(0, done.find('\n') + 1);
        else
            s.err << done << printable_name(plan.target_shown) << ".\n";
    }
    return exit_done;
}

} // namespace

int run_cli(std::span<const std::string> args, const Streams& streams)
{
    try {
        Options options = parse_options(args);
        if (options.help) {
            streams.out << help_text << std::flush;
            return exit_done;
        }
        if (options.version) {
            streams.out << "trezorka-cli " TREZORKA_VERSION " (Trezorka 2.0 Portable)\n" << std::flush;
            return exit_done;
        }
        if (!options.source)
            throw UsageError{"chybí ZDROJ"};
        return run(options, streams);
    } catch (const UsageError& e) {
        streams.err << "trezorka-cli: " << e.message << "\nNápovědu vypíše: trezorka-cli --help\n";
        return exit_refused;
    } catch (const Refusal& e) {
        streams.err << e.message << '\n';
        return exit_refused;
    }
}

} // namespace trezorka::cli
