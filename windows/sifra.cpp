#include "sifra.h"

#include "SharedJob.h"
#include "secure_buffer.h"
#include "stream_job.h"

#include <cstring>
#include <thread>
#include <vector>

namespace {

void Execute(SharedJob& shared, HWND dialog, UINT close_message)
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    bool failed = false;
    try {
        // Our own copy of the password, wiped when it goes; the shared record
        // forgets it at once.
        std::vector<char16_t> password(shared.job_password.size());
        struct Wipe {
            std::vector<char16_t>& units;
            ~Wipe() { trezorka::secure_wipe(units.data(), units.size() * sizeof(char16_t)); }
        } wipe{password};
        if (!password.empty())
            std::memcpy(password.data(), shared.job_password.data(), password.size() * sizeof(char16_t));
        shared.wipe_password();

        trezorka::StreamJob job;
        job.source = trezorka::Endpoint::file(shared.job_source);
        job.target = trezorka::Endpoint::file(shared.job_target);
        job.encrypt = shared.job_encrypt;
        trezorka::run_stream_job(job, std::u16string_view(password.data(), password.size()));
    } catch (...) {
        failed = true;
    }
    if (!shared.job_password.empty())
        shared.wipe_password();
    Sleep(sifra::pause_ms);
    if (failed)
        shared.job_failed = true;
    PostMessageW(dialog, close_message, 0, 0);
}

} // namespace

void sifra::launch(SharedJob& job, HWND dialog, UINT close_message)
{
    std::thread(Execute, std::ref(job), dialog, close_message).detach();
}
