#pragma once

#include <functional>
#include <thread>

struct SharedJob;

// The worker of one job: takes everything from SharedJob, streams the source
// through the cipher into the target, pauses 800 ms, sets job_failed and
// job_cause on an error, and then makes its close request. It takes the password out of the
// record, which holds it no more, and the job wipes it as soon as the key exists.
//
// Plain C++ with a thread of its own, so that each face supplies only the way
// the close request reaches its UI thread: the Qt window queues a call to the
// progress dialog (QMetaObject::invokeMethod, Qt::QueuedConnection), the
// Windows window posts a message to it (PostMessageW). The request is made on
// the worker's thread and must only hand over; it must not touch the windows.
//
// Ownership: whoever starts the worker holds it; destroying it waits for the
// thread, so the SharedJob it reads (which must outlive it) cannot go first.
class sifra {
public:
    using CloseRequest = std::function<void()>;

    static constexpr unsigned pause_ms = 800;

    sifra(SharedJob& job, CloseRequest close_request);
    sifra(const sifra&) = delete;
    sifra& operator=(const sifra&) = delete;
    ~sifra();

    // Runs Execute on a thread of its own, named "sifra", one step below the
    // process's priority. Once per object.
    void start();
    // Waits until the thread has ended; harmless when it never started.
    void wait();

    // The whole job on the calling thread, close request included.
    void Execute();

private:
    SharedJob& job_;
    CloseRequest close_request_;
    std::thread thread_;
};

namespace trezorka::worker_thread {
// Gives the calling thread its name and lowers its priority by one step;
// failing to is harmless. One implementation per platform.
void become_worker(const char* name) noexcept;
} // namespace trezorka::worker_thread
