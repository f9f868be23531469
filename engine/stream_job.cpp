#include "stream_job.h"

#include "file_io.h"
#include "printable_name.h"
#include "target_check.h"
#include "temporary_target.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace trezorka {

namespace {

// The pipeline: the job's own thread reads and writes, a second thread runs
// the cipher, so that the cipher (the slowest part) overlaps the file work
// on two cores. A few slots of a fixed size go round between them: memory
// does not depend on the file's size.
constexpr std::size_t slot_target_size = 256 * 1024;
constexpr std::size_t slot_count = 4;
// How often the progress callback and the early flush happen.
constexpr std::uint64_t progress_step = 4 * 1024 * 1024;
constexpr std::uint64_t writeback_step = 8 * 1024 * 1024;

// The cipher thread and the slots it shares with the job's thread. A slot
// is free, waiting for the cipher, or done and waiting to be written.
class CipherStage {
public:
    CipherStage(CipherKey& key, bool encrypt, std::size_t block_size)
        : key_(key), encrypt_(encrypt),
          // a whole number of blocks per slot, so every read asks for block_size bytes
          slot_size_(block_size * std::max<std::size_t>(1, slot_target_size / block_size))
    {
        for (std::size_t i = 0; i < slot_count; ++i) {
            slots_.push_back({std::make_unique<std::uint8_t[]>(slot_size_), 0});
            free_.push_back(i);
        }
        thread_ = std::thread([this] { cipher_loop(); });
    }

    ~CipherStage()
    {
        {
            std::lock_guard guard(lock_);
            stopping_ = true;
        }
        wake_cipher_.notify_all();
        thread_.join();
    }

    std::size_t slot_size() const { return slot_size_; }
    std::uint8_t* data(std::size_t index) { return slots_[index].data.get(); }

    // A free slot, if there is one now.
    std::optional<std::size_t> try_take_free()
    {
        std::lock_guard guard(lock_);
        if (free_.empty())
            return std::nullopt;
        const std::size_t index = free_.front();
        free_.pop_front();
        return index;
    }

    void give_back(std::size_t index)
    {
        std::lock_guard guard(lock_);
        free_.push_back(index);
    }

    void submit(std::size_t index, std::size_t used)
    {
        {
            std::lock_guard guard(lock_);
            slots_[index].used = used;
            waiting_.push_back(index);
        }
        wake_cipher_.notify_one();
    }

    // The next slot the cipher is done with, in order; rethrows its failure.
    std::size_t take_done(std::size_t& used)
    {
        std::unique_lock guard(lock_);
        wake_job_.wait(guard, [&] { return !done_.empty() || error_; });
        if (error_)
            std::rethrow_exception(error_);
        const std::size_t index = done_.front();
        done_.pop_front();
        used = slots_[index].used;
        return index;
    }

private:
    struct Slot {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t used;
    };

    void cipher_loop() noexcept
    {
        for (;;) {
            std::size_t index;
            {
                std::unique_lock guard(lock_);
                wake_cipher_.wait(guard, [&] { return !waiting_.empty() || stopping_; });
                if (stopping_)
                    return;
                index = waiting_.front();
                waiting_.pop_front();
            }
            try {
                // The keystream runs on across calls, so one call per slot
                // gives the same bytes as one per block.
                std::span<std::uint8_t> bytes(slots_[index].data.get(), slots_[index].used);
                if (encrypt_)
                    key_.encrypt(bytes);
                else
                    key_.decrypt(bytes);
            } catch (...) {
                std::lock_guard guard(lock_);
                error_ = std::current_exception();
                wake_job_.notify_all();
                return;
            }
            {
                std::lock_guard guard(lock_);
                done_.push_back(index);
            }
            wake_job_.notify_one();
        }
    }

    CipherKey& key_;
    const bool encrypt_;
    const std::size_t slot_size_;
    std::vector<Slot> slots_;

    std::mutex lock_;
    std::condition_variable wake_cipher_;
    std::condition_variable wake_job_;
    std::deque<std::size_t> free_;
    std::deque<std::size_t> waiting_;
    std::deque<std::size_t> done_;
    bool stopping_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

// Follows a file target's writes from a thread of its own, flushing them to
// disk a step at a time while the cipher runs, then letting their pages leave
// the page cache. The job's thread never waits for the disk, the final flush
// finds little more than a step left, and a big target does not push
// everything else out of memory.
class WriteBehind {
public:
    explicit WriteBehind(file_io::File& file) : file_(file), thread_([this] { follow(); }) {}

    ~WriteBehind() { stop(); }

    // The job has written this many bytes.
    void written(std::uint64_t end)
    {
        {
            std::lock_guard guard(lock_);
            end_ = end;
        }
        wake_.notify_one();
    }

    // Stops following; a flush that failed fails the job, since the final
    // flush would not hear of it again.
    void finish()
    {
        stop();
        if (error_)
            std::rethrow_exception(error_);
    }

private:
    void stop() noexcept
    {
        {
            std::lock_guard guard(lock_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

    void follow() noexcept
    {
        std::uint64_t flushed = 0;
        for (;;) {
            std::uint64_t end;
            {
                std::unique_lock guard(lock_);
                wake_.wait(guard, [&] { return stopping_ || end_ - flushed >= writeback_step; });
                if (stopping_)
                    return; // the final flush does the rest
                end = end_;
            }
            try {
                file_.flush_early(flushed, end - flushed);
            } catch (...) {
                error_ = std::current_exception();
                return;
            }
            flushed = end;
        }
    }

    file_io::File& file_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::uint64_t end_ = 0;
    bool stopping_ = false;
    std::exception_ptr error_; // set by the thread, read once it has ended
    std::thread thread_;
};

// The source as the job reads it: the bytes the caller has already read from
// it, then the file itself.
class SourceReader {
public:
    SourceReader(file_io::File& file, std::span<const std::uint8_t> prefix) : file_(file), prefix_(prefix) {}

    std::size_t read(std::uint8_t* data, std::size_t size)
    {
        if (prefix_.empty())
            return file_.read(data, size);
        const std::size_t n = std::min(size, prefix_.size());
        std::copy_n(prefix_.begin(), n, data);
        prefix_ = prefix_.subspan(n);
        return n;
    }

private:
    file_io::File& file_;
    std::span<const std::uint8_t> prefix_;
};

// Streams the whole source through the key into `target`; returns the bytes done.
std::uint64_t pump(const StreamJob& job, SourceReader& source, std::uint64_t total, CipherKey& key,
                   file_io::File& target, bool early_writeback)
{
    std::optional<WriteBehind> write_behind;
    if (early_writeback)
        write_behind.emplace(target);
    CipherStage stage(key, job.encrypt, job.block_size);
    std::uint64_t done = 0;
    std::uint64_t next_progress = progress_step;
    std::size_t in_flight = 0;
    bool at_end = false;
    if (job.progress)
        job.progress(0, total);
    for (;;) {
        // Keep the cipher fed: read into every free slot first...
        if (!at_end) {
            if (const auto index = stage.try_take_free()) {
                std::uint8_t* data = stage.data(*index);
                std::size_t used = 0;
                while (used < stage.slot_size()) {
                    const std::size_t n = source.read(data + used, std::min(job.block_size, stage.slot_size() - used));
                    if (n == 0) {
                        at_end = true;
                        break;
                    }
                    used += n;
                }
                if (used > 0) {
                    stage.submit(*index, used);
                    ++in_flight;
                } else {
                    stage.give_back(*index);
                }
                continue;
            }
        }
        if (in_flight == 0)
            break;
        // ...then write what the cipher has finished.
        std::size_t used = 0;
        const std::size_t index = stage.take_done(used);
        --in_flight;
        target.write_all(stage.data(index), used);
        stage.give_back(index);
        done += used;
        if (write_behind)
            write_behind->written(done);
        if (job.progress && done >= next_progress) {
            job.progress(done, total);
            next_progress = done + progress_step;
        }
    }
    if (write_behind)
        write_behind->finish();
    if (job.progress)
        job.progress(done, total);
    return done;
}

// A source that changed while it was read may have given a mix of old and
// new bytes, or fewer than it had: the job fails rather than pass off a short
// or mixed target as done. The bytes read must be the size at the start and
// still the size at the end, and the file must not have been written to
// (its modification and change times) meanwhile.
void check_source_unchanged(const StreamJob& job, const file_io::File& source,
                            const file_io::FileInfo& at_start, std::uint64_t done)
{
    // A descriptor may start part way into its file; only a named file's
    // size says what reading it must give.
    if (job.source.is_descriptor() || !at_start.regular)
        return;
    const file_io::FileInfo at_end = source.info();
    if (done != at_start.size || at_end.size != done || at_end.modified != at_start.modified
        || at_end.changed != at_start.changed)
        throw JobError("zdroj se během práce změnil");
}

void run(const StreamJob& job, std::u16string_view password, SecureText* wipe_after_key)
{
    if (job.block_size == 0)
        throw JobError("nulová velikost bloku");
    // The target as the check saw it: what a link there meant then is what
    // is written, whatever is put at the path meanwhile.
    std::filesystem::path target_path;
    const EndpointCheck check = check_endpoints(job.source, job.target, job.replace_existing, target_path);
    if (check.problem == EndpointProblem::TargetExists)
        throw TargetExistsError(check.message);
    if (check)
        throw JobError(check.message);
    if (!job.source.is_descriptor() && !job.source_prefix.empty())
        throw JobError("začátek zdroje patří jen k deskriptoru");

    CipherContext context = CipherContext::acquire();
    CipherKey key = password_key(context, password, job.key_rule);
    if (wipe_after_key)
        wipe_after_key->clear();

    file_io::File source = job.source.is_descriptor() ? file_io::borrow_descriptor(job.source.fd)
                                                       : file_io::open_source(job.source.path);
    const file_io::FileInfo source_info = source.info();
    if (source_info.directory)
        throw JobError("zdroj je složka");
    source.advise_sequential();
    const std::uint64_t total = source_info.regular ? source_info.size : 0;
    SourceReader reader(source, job.source_prefix);

    if (job.target.is_descriptor()) {
        file_io::File target = file_io::borrow_descriptor(job.target.fd);
        const std::uint64_t done = pump(job, reader, total, key, target, false);
        check_source_unchanged(job, source, source_info, done);
        return;
    }

    const std::filesystem::path target_name = target_path.filename();
    std::filesystem::path folder_path = target_path.parent_path();
    if (folder_path.empty())
        folder_path = ".";

    // Everything below happens in this folder, whatever its path comes to
    // mean meanwhile.
    file_io::TargetFolder folder(folder_path);
    // A name that is free now is only ever taken while it is still free: a
    // file someone puts there during the job is not replaced.
    const std::optional<file_io::FileInfo> replaced = folder.entry(target_name);
    const bool replace = job.replace_existing && replaced.has_value();
    TemporaryTarget temp(folder);
    file_io::File& target = temp.file();
    const std::uint64_t done = pump(job, reader, total, key, target, true);
    check_source_unchanged(job, source, source_info, done);
    target.sync();
    // A folder moved away meanwhile would get the target where the user no
    // longer looks for it, and a folder put in its place would not get it at
    // all: the job fails and leaves nothing instead.
    if (!folder.still_at(folder_path))
        throw JobError("cílová složka byla během práce přesunuta: " + printable_name(folder_path));
    if (!temp.place(target_name, replace))
        throw TargetExistsError("cíl už existuje: " + printable_name(target_path));
    // The target has its name and its bytes are on disk. Only now does it get
    // its final permissions (until now it was its owner's alone, also under a
    // hidden name a kill may leave), through the descriptor, which still
    // holds the very file that was placed. A failure cannot undo the
    // placing, and leaves the file no more open than it was: not reported.
    try {
        target.set_target_permissions(replaced, source_info);
        target.sync();
        target.close();
    } catch (const JobError&) {
    }
    folder.sync();
}

void run_guarded(const StreamJob& job, std::u16string_view password, SecureText* wipe_after_key)
{
    try {
        run(job, password, wipe_after_key);
    } catch (const JobError&) {
        throw;
    } catch (const std::exception& e) {
        throw JobError(e.what());
    }
}

} // namespace

void run_stream_job(const StreamJob& job, std::u16string_view password)
{
    run_guarded(job, password, nullptr);
}

void run_stream_job(const StreamJob& job, SecureText& password)
{
    run_guarded(job, password.view(), &password);
}

std::int64_t file_size_probe(const std::filesystem::path& path)
{
    return file_io::probe_size(path);
}

} // namespace trezorka
