#include "TStatus_show_rules.h"

#include "pending_file.h"
#include "window_texts.h"

#include <cstdlib>

namespace trezorka::rules {

TStatus_showRules::TStatus_showRules(StatusView& view, StatusPort& port, UiPlatform& platform)
    : view_(view), port_(port), platform_(platform)
{
}

void TStatus_showRules::close_request()
{
    close_requested_ = true;
    end_showing_if_requested();
}

void TStatus_showRules::end_showing_if_requested()
{
    // Not while the abort question is open: its answer comes first.
    if (!close_requested_ || question_open_ || !view_.showing())
        return;
    close_requested_ = false;
    view_.end_showing();
}

void TStatus_showRules::Timer1Timer()
{
    // The dialog's own state, not whether it is on the screen: the rhythm
    // goes on while it is hidden.
    view_.set_shown(StatusControl::hoursimage, !view_.shown(StatusControl::hoursimage));
}

void TStatus_showRules::Button1Click()
{
    question_open_ = true;
    const bool abort = platform_.warning_ok_cancel(texts::abort_question, UiPlatform::Button::Ok);
    question_open_ = false;
    if (!abort) {
        end_showing_if_requested();
        return;
    }
    port_.restore_application();
    port_.end_process();
}

void TStatus_showRules::Button2Click()
{
    port_.minimise_application();
}

void abort_process(int status) noexcept
{
    pending_file::abort_and_remove();
    std::_Exit(status);
}

} // namespace trezorka::rules
