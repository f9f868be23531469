#include "pending_file.h"

#include "file_io.h"
#include "job_error.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace trezorka::pending_file {

namespace {

struct Registry {
    std::mutex lock;
    std::atomic<bool> aborted{false};
    std::atomic<bool> removed{false}; // the abort is done with the folder
    file_io::TargetFolder* folder = nullptr;
    std::string name;
};

Registry& registry()
{
    // Never destroyed: an abort keeps the lock held until the process ends,
    // and a locked mutex must not be destroyed by exit-time clean-up.
    static Registry* const instance = new Registry;
    return *instance;
}

// The registry's lock, unless an abort has begun. Checked before locking
// too, so that a job does not wait on a lock that an abort holds for good.
std::unique_lock<std::mutex> lock_unless_aborted(Registry& r)
{
    if (!r.aborted.load()) {
        std::unique_lock guard(r.lock);
        if (!r.aborted.load())
            return guard;
    }
    throw JobError("the job was aborted");
}

} // namespace

bool create(file_io::TargetFolder& folder, const std::string& name, const std::function<bool()>& create)
{
    Registry& r = registry();
    const auto guard = lock_unless_aborted(r);
    if (!create())
        return false;
    r.folder = &folder;
    r.name = name;
    return true;
}

void finish(const std::function<void()>& commit)
{
    Registry& r = registry();
    const auto guard = lock_unless_aborted(r);
    // When the commit fails the file is still ours to remove, so it stays recorded.
    commit();
    r.folder = nullptr;
    r.name.clear();
}

void forget() noexcept
{
    Registry& r = registry();
    if (r.aborted.load()) {
        // The abort may still be removing the file through the job's folder.
        while (!r.removed.load())
            std::this_thread::yield();
        return;
    }
    std::lock_guard guard(r.lock);
    r.folder = nullptr;
    r.name.clear();
}

void abort_and_remove() noexcept
{
    Registry& r = registry();
    r.aborted.store(true);
    r.lock.lock(); // never unlocked
    if (r.folder && !r.name.empty())
        r.folder->remove(r.name);
    r.folder = nullptr;
    r.removed.store(true);
}

} // namespace trezorka::pending_file
