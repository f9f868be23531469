#include "sifra.h"

#include "SharedJob.h"
#include "native_path.h"
#include "secure_text.h"
#include "stream_job.h"

#include <chrono>
#include <string>
#include <string_view>


sifra::sifra(SharedJob& job, CloseRequest close_request) : job_(job), close_request_(std::move(close_request)) {}

sifra::~sifra()
{
    wait();
}

void sifra::start()
{
    thread_ = std::thread([this] {
        trezorka::worker_thread::become_worker("sifra");
        Execute();
    });
}

void sifra::wait()
{
    if (thread_.joinable())
        thread_.join();
}

void sifra::Execute()
{
    bool failed = false;
    std::string cause;
    try {
        const std::filesystem::path source = trezorka::to_native_path(job_.job_source);
        const std::filesystem::path target = trezorka::to_native_path(job_.job_target);

        // Taken from the shared record, which holds it no more; the job
        // wipes it as soon as the key exists.
        trezorka::SecureText password = job_.take_password();

        trezorka::StreamJob job;
        job.source = trezorka::Endpoint::file(source);
        job.target = trezorka::Endpoint::file(target);
        job.encrypt = job_.job_encrypt;
        trezorka::run_stream_job(job, password);
    } catch (const std::exception& e) {
        // The engine's own words, as the tool prints them.
        failed = true;
        cause = e.what();
    } catch (...) {
        failed = true;
    }
    job_.wipe_password(); // an exception before the copy was made

    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    // Written before the request: the UI thread reads them once the dialog has closed.
    job_.job_cause = trezorka::utf16_from_native_bytes(cause);
    if (failed)
        job_.job_failed = true;
    if (close_request_)
        close_request_();
}
