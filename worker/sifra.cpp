#include "sifra.h"

#include "SharedJob.h"
#include "native_path.h"
#include "secure_buffer.h"
#include "stream_job.h"

#include <chrono>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// UTF-16 text that wipes itself when it goes away.
class WipedText {
public:
    explicit WipedText(std::size_t units) : units_(units) {}
    WipedText(const WipedText&) = delete;
    WipedText& operator=(const WipedText&) = delete;
    ~WipedText() { trezorka::secure_wipe(units_.data(), units_.size() * sizeof(char16_t)); }
    char16_t* data() noexcept { return units_.data(); }
    std::u16string_view view() const noexcept { return {units_.data(), units_.size()}; }

private:
    std::vector<char16_t> units_;
};

} // namespace

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
    try {
        const std::filesystem::path source = trezorka::to_native_path(job_.job_source);
        const std::filesystem::path target = trezorka::to_native_path(job_.job_target);

        // Our own copy of the password, in memory that is wiped when it goes;
        // the shared record forgets it at once.
        const std::u16string& shared = job_.password();
        WipedText password(shared.size());
        if (!shared.empty())
            std::memcpy(password.data(), shared.data(), shared.size() * sizeof(char16_t));
        job_.wipe_password();

        trezorka::StreamJob job;
        job.source = trezorka::Endpoint::file(source);
        job.target = trezorka::Endpoint::file(target);
        job.encrypt = job_.job_encrypt;
        trezorka::run_stream_job(job, password.view());
    } catch (...) {
        failed = true;
    }
    job_.wipe_password(); // an exception before the copy was made

    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    // Written before the request: the UI thread reads it once the dialog has closed.
    if (failed)
        job_.job_failed = true;
    if (close_request_)
        close_request_();
}
