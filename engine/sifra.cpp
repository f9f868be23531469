#include "sifra.h"

#include "SharedJob.h"
#include "native_path.h"
#include "secure_buffer.h"
#include "stream_job.h"

#include <cstring>
#include <string_view>
#include <vector>

#ifdef __linux__
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// QThread's priorities have no effect under Linux's normal scheduling policy,
// so the thread also takes one nice step of its own (Linux keeps a nice value
// per thread). Failing to lower it is harmless.
void lower_own_priority()
{
    QThread::currentThread()->setPriority(QThread::LowPriority);
#ifdef __linux__
    const id_t tid = static_cast<id_t>(gettid());
    errno = 0;
    const int nice_now = getpriority(PRIO_PROCESS, tid);
    if (errno == 0)
        setpriority(PRIO_PROCESS, tid, nice_now + 1);
#endif
}

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

std::filesystem::path native_path_of(const QString& text)
{
    return trezorka::to_native_path(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

} // namespace

sifra::sifra(SharedJob& job, QObject* parent) : QThread(parent), job_(job) {}

void sifra::run()
{
    lower_own_priority();

    bool failed = false;
    try {
        const std::filesystem::path source = native_path_of(job_.job_source);
        const std::filesystem::path target = native_path_of(job_.job_target);

        // Our own copy of the password, in memory that is wiped when it goes;
        // the shared record forgets it at once.
        const std::size_t units = static_cast<std::size_t>(job_.job_password.size());
        WipedText password(units);
        if (units != 0)
            std::memcpy(password.data(), job_.job_password.utf16(), units * sizeof(char16_t));
        job_.wipe_password();

        trezorka::StreamJob job;
        job.source = trezorka::Endpoint::file(source);
        job.target = trezorka::Endpoint::file(target);
        job.encrypt = job_.job_encrypt;
        trezorka::run_stream_job(job, password.view());
    } catch (...) {
        failed = true;
    }
    if (!job_.job_password.isEmpty())
        job_.wipe_password(); // an exception before the copy was made

    QThread::msleep(pause_ms);
    // Written before the request: the UI thread reads it once the dialog has closed.
    if (failed)
        job_.job_failed = true;
    emit close_request();
}
