#include "Tmain_rules.h"

#include "naming.h"
#include "native_path.h"
#include "plausibility.h"
#include "printable_name.h"
#include "stream_job.h"
#include "target_check.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace trezorka::rules {

namespace {

// Anything at the path, a dangling link included.
bool something_at(std::u16string_view path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(to_native_path(path), ec));
}

// Whether the password probably does not open this source: its decrypted
// start does not look like the kind of file the target's name announces.
// No verdict and any failure of the check count as plausible; the job itself
// reports what is wrong with the files.
bool probably_wrong_password(std::u16string_view source, std::u16string_view target, std::u16string_view password)
{
    try {
        return check_password(to_native_path(source), to_native_path(target), password, StreamJob{}.key_rule)
               == Plausibility::ProbablyWrongPassword;
    } catch (...) {
        return false;
    }
}

} // namespace

int hover_target(std::span<const HitBox> boxes, int x, int y)
{
    for (std::size_t i = boxes.size(); i-- > 0;) {
        const HitBox& b = boxes[i];
        if (b.shown && b.enabled && b.rect.contains(x, y))
            return static_cast<int>(i);
    }
    return -1;
}

TmainRules::TmainRules(SharedJob& job, MainView& view, WindowPort& port, DesktopPort& desktop, UiPlatform& platform,
                       std::u16string first_argument)
    : job_(job), view_(view), port_(port), platform_(platform), application_(desktop, platform, *this),
      first_argument_(std::move(first_argument))
{
    filechosedialog.filter = std::u16string(texts::open_filter);
    saveto.filter = std::u16string(texts::save_filter);
}

bool TmainRules::target_confirmed_in_save_dialog() const
{
    return !saveto_confirmed_.empty() && saveto_confirmed_ == view_.text(Control::finalfile);
}

// ---- the pointer ----

void TmainRules::mouse_moved(std::span<const HitBox> boxes, int x, int y)
{
    mouse_moved_over(hover_target(boxes, x, y));
}

void TmainRules::clicked(std::span<const HitBox> boxes, int x, int y)
{
    clicked_on(hover_target(boxes, x, y));
}

// A move over a command's label or bar lights it; its highlight is another
// control, over which nothing happens. The right-hand panel counts as the
// window's background.
void TmainRules::mouse_moved_over(int control)
{
    const auto c = static_cast<Control>(control);
    if (control < 0 || c == Control::Image3) {
        FormMouseMove();
        return;
    }
    for (const Command& command : commands())
        if (command.move && (c == command.label || c == command.bar)) {
            (this->*command.move)();
            return;
        }
    // other controls: nothing happens
}

void TmainRules::clicked_on(int control)
{
    const auto c = static_cast<Control>(control);
    for (const Command& command : commands())
        if (control >= 0 && (c == command.label || c == command.bar || c == command.highlight)) {
            (this->*command.click)();
            return;
        }
}

// ---- source and target ----

void TmainRules::FormCreate()
{
    if (first_argument_.empty())
        return;
    accept_argument(first_argument_);
}

void TmainRules::accept_argument(std::u16string_view path)
{
    if (accept_source(path, true))
        hide(Control::selectfile_act);
}

bool TmainRules::accepting_input() const
{
    return port_.window_enabled() && !job_.busy();
}

void TmainRules::file_dropped(std::u16string_view path)
{
    if (accepting_input())
        accept_argument(path);
}

void TmainRules::start_keeping_schedule(Timer t)
{
    if (!view_.timer_running(t))
        view_.start_timer(t);
}

bool TmainRules::accept_source(std::u16string_view path, bool from_command_line)
{
    view_.set_text(Control::filetocrypt, path);
    if (from_command_line)
        filechosedialog.file_name = std::u16string(path);
    job_.job_ext = extension_of(path);

    if (job_.job_ext == old_encrypted_ext) {
        view_.set_text(Control::filetocrypt, u"");
        platform_.warning(texts::old_format_warning);
        return false;
    }

    for (Control c : {Control::savetochose_label, Control::savetochose_act, Control::savetochose})
        view_.set_enabled(c, true);

    const bool encrypt = job_.job_ext != encrypted_ext;
    start_keeping_schedule(encrypt ? Timer::cryptblink : Timer::decryptblink);
    view_.stop_timer(encrypt ? Timer::decryptblink : Timer::cryptblink);
    start_keeping_schedule(Timer::stopper);
    for (Control c : {Control::crypt, Control::crypt_act, Control::cryptlabel})
        view_.set_enabled(c, encrypt);
    for (Control c : {Control::decrypt, Control::decrypt_act, Control::decryptlabel})
        view_.set_enabled(c, !encrypt);
    view_.set_enabled(Control::pwagainlabel, encrypt);
    view_.set_unused_look(Control::pwagain, !encrypt);
    view_.set_enabled(Control::pwagain, encrypt);
    if (encrypt) {
        if (shown(Control::pwok) || shown(Control::pwerr))
            apply_confirmation_rule();
    } else {
        hide(Control::pwagainok);
        hide(Control::pwagainerr);
    }

    const TargetProposal proposal = propose_target(path);
    view_.set_text(Control::finalfile, proposal.target);
    saveto.file_name = proposal.save_dialog_name;
    saveto.filter_index = proposal.save_filter_index;
    saveto_confirmed_.clear();
    return true;
}

void TmainRules::chosefilelabelClick()
{
    const std::optional<std::u16string> picked = platform_.open_file(filechosedialog);
    if (picked) {
        filechosedialog.file_name = *picked;
        if (!accept_source(*picked, false))
            return;
    }
    hide(Control::selectfile_act);
}

// The save dialog asks before overwriting and before creating a new file;
// what it returns has been confirmed, and the command asks nothing more.
void TmainRules::savetochose_labelClick()
{
    const std::optional<std::u16string> chosen = platform_.save_file(saveto);
    if (!chosen)
        return;
    saveto.file_name = *chosen;
    view_.set_text(Control::finalfile, recompose_target(*chosen, view_.text(Control::filetocrypt),
                                                        view_.text(Control::finalfile)));
    saveto_confirmed_ = *chosen;
}

// ---- password fields ----

void TmainRules::apply_password_rule()
{
    const bool given = !view_.empty(Control::pw);
    view_.set_shown(Control::pwerr, !given);
    view_.set_shown(Control::pwok, given);
}

void TmainRules::apply_confirmation_rule()
{
    const bool same = !view_.empty(Control::pwagain) && view_.same_text(Control::pwagain, Control::pw);
    view_.set_shown(Control::pwagainerr, !same);
    view_.set_shown(Control::pwagainok, same);
}

void TmainRules::pwChange()
{
    apply_password_rule();
    // The label's own state: the whole window is disabled while a job runs.
    if (view_.enabled(Control::pwagainlabel))
        apply_confirmation_rule();
}

void TmainRules::pwagainChange()
{
    apply_confirmation_rule();
}

void TmainRules::password_entered()
{
    if (!accepting_input())
        return;
    if (view_.enabled(Control::cryptlabel))
        crypt_actClick();
    else if (view_.enabled(Control::decryptlabel))
        decryptlabelClick();
}

// ---- hover highlight and blinking ----

void TmainRules::FormMouseMove()
{
    for (const Command& command : commands())
        if (command.highlight)
            hide(*command.highlight);
}

void TmainRules::light(Control highlight)
{
    if (!shown(highlight))
        show(highlight);
}

void TmainRules::cryptMouseMove()
{
    light(Control::crypt_act);
}

void TmainRules::decryptMouseMove()
{
    light(Control::decrypt_act);
}

void TmainRules::selectfileMouseMove()
{
    light(Control::selectfile_act);
}

void TmainRules::savetochoseMouseMove()
{
    light(Control::savetochose_act);
}

void TmainRules::offMouseMove()
{
    light(Control::off_act);
}

void TmainRules::cryptblinkTimer()
{
    view_.set_shown(Control::crypt_act, !shown(Control::crypt_act));
}

void TmainRules::decryptblinkTimer()
{
    view_.set_shown(Control::decrypt_act, !shown(Control::decrypt_act));
}

void TmainRules::stopperTimer()
{
    view_.stop_timer(Timer::cryptblink);
    view_.stop_timer(Timer::decryptblink);
    view_.stop_timer(Timer::stopper);
    hide(Control::crypt_act);
    hide(Control::decrypt_act);
}

// ---- the two commands ----

void TmainRules::crypt_actClick()
{
    run_command(true);
}

void TmainRules::decryptlabelClick()
{
    run_command(false);
}

void TmainRules::run_command(bool encrypt)
{
    const texts::CommandTexts& t = encrypt ? texts::encrypting : texts::decrypting;

    // The marks are the state: the password field is evaluated afresh, the
    // confirmation is taken as its mark shows it.
    apply_password_rule();
    if (shown(Control::pwerr)) {
        platform_.message(texts::error_title, texts::password_missing, UiPlatform::Icon::Error);
        return;
    }
    if (encrypt && shown(Control::pwagainerr)) {
        platform_.message(texts::error_title, texts::password_mismatch, UiPlatform::Icon::Error);
        return;
    }
    // A link another user put in a shared folder would turn the write onto
    // a file of ours: refused before the password is used or anything asked.
    if (const EndpointCheck link = check_target_link(to_native_path(view_.text(Control::finalfile)))) {
        platform_.message(texts::error_title,
                          utf16_from_native_bytes(std::string(trezorka::texts::target_refused) + link.message),
                          UiPlatform::Icon::Error);
        return;
    }
    const std::u16string source = view_.text(Control::filetocrypt);
    view_.copy_password(Control::pw, job_);
    // A ".t2k" file carries no check value: a mistyped password would write
    // garbage, perhaps over a good file. Asked before anything else.
    if (!encrypt && probably_wrong_password(source, view_.text(Control::finalfile), job_.password())
        && !platform_.warning_ok_cancel(texts::wrong_password_question, UiPlatform::Button::Cancel)) {
        job_.wipe_password();
        view_.set_focus(Control::pw);
        return;
    }
    // The target is proposed, not chosen: a file already there (the plain
    // file beside its .t2k, say) would be replaced without a word. Unless the
    // user picked exactly this path in the save dialog, which has asked
    // already, ask now, after the password checks (a refused password asks
    // nothing) and before anything changes; "Cancel" leaves all as it was.
    if (!target_confirmed_in_save_dialog() && something_at(view_.text(Control::finalfile))
        && !platform_.warning_ok_cancel(texts::overwrite_question, UiPlatform::Button::Cancel)) {
        job_.wipe_password();
        return;
    }

    job_.job_busy = u"true";
    view_.set_tray_hint(t.hint);
    balloon_text_ = std::u16string(t.balloon);

    try {
        if (file_size_probe(to_native_path(source)) > LARGE_FILE_THRESHOLD)
            application_.minimise_application();
    } catch (...) {
        // The size only decides whether to go to the tray.
    }

    port_.set_window_enabled(false);
    try {
        const std::u16string target = view_.text(Control::finalfile);
        job_.job_source = source;
        job_.job_target = target;
        job_.job_encrypt = encrypt;
        {
            // Held here and waited for before anything else happens, so the
            // job record is never left to a worker that is still running.
            sifra worker(job_, port_.close_request());
            worker.start();
            port_.show_progress(t, source, target);
            worker.wait();
        }
        application_.show_main();
        application_.restore_application();
        if (job_.job_failed) {
            // The window's two lines, then what went wrong and with which
            // file, as the tool says it.
            std::u16string text(t.failure);
            if (!job_.job_cause.empty())
                text += u"\r\n" + job_.job_cause;
            platform_.message(texts::error_title, text, UiPlatform::Icon::Error);
            job_.job_failed = false;
            job_.job_cause.clear();
        } else {
            std::u16string text(t.success);
            // As the tool prints it: a name must not forge the text around it.
            text += printable_name(view_.text(Control::finalfile));
            text += u'.';
            platform_.message(texts::success_title, text, UiPlatform::Icon::Information);
        }
    } catch (...) {
        job_.wipe_password();
        if (!encrypt)
            port_.close_progress_if_shown();
        application_.show_main();
        application_.restore_application();
        platform_.message(texts::error_title, t.failure, UiPlatform::Icon::Error);
    }

    hide(encrypt ? Control::crypt_act : Control::decrypt_act);
    port_.set_window_enabled(true);
    application_.show_main();
    job_.job_busy = u"false";
}

// ---- tray, application, exit, link ----

void TmainRules::trayClick()
{
    application_.restore_application();
    application_.bring_to_front();
}

void TmainRules::ApplicationEvents1Minimize()
{
    if (!job_.busy())
        return;
    application_.minimise_progress();
    if (!application_.to_tray())
        return;
    view_.set_tray_shown(true);
    view_.show_tray_balloon(texts::tray_title, balloon_text_);
}

void TmainRules::ApplicationEvents1Restore()
{
    view_.set_tray_shown(false);
    application_.restore_progress();
    application_.show_from_tray();
    application_.bring_to_front();
}

void TmainRules::off_actClick()
{
    port_.quit();
}

void TmainRules::Label6Click()
{
    platform_.open_url(web_address());
}

} // namespace trezorka::rules
