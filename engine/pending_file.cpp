#include "pending_file.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace trezorka::pending_file {

namespace {

struct Registry {
    std::mutex lock;
    std::atomic<bool> aborted{false};
    std::optional<std::filesystem::path> path;
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
    throw std::runtime_error("the job was aborted");
}

} // namespace

void create(const std::filesystem::path& path, const std::function<void()>& create)
{
    Registry& r = registry();
    const auto guard = lock_unless_aborted(r);
    create();
    r.path = path;
}

void finish(const std::function<void()>& commit)
{
    Registry& r = registry();
    const auto guard = lock_unless_aborted(r);
    // When the commit fails the file is still ours to remove, so it stays recorded.
    commit();
    r.path.reset();
}

void forget() noexcept
{
    Registry& r = registry();
    if (r.aborted.load())
        return;
    std::lock_guard guard(r.lock);
    r.path.reset();
}

void abort_and_remove() noexcept
{
    Registry& r = registry();
    r.aborted.store(true);
    r.lock.lock(); // never unlocked
    if (r.path && !r.path->empty()) {
        std::error_code ignored;
        std::filesystem::remove(*r.path, ignored);
        r.path.reset();
    }
}

} // namespace trezorka::pending_file
