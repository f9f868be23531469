#include "stream_job.h"

#include "file_io.h"
#include "pending_file.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

namespace trezorka {

namespace {

// The pipeline: a reader thread reads and runs the cipher, the job's own
// thread writes, so that reading, the cipher and writing overlap on two
// cores. A few slots of a fixed size go round between them: memory does not
// depend on the file's size.
constexpr std::size_t slot_target_size = 256 * 1024;
constexpr std::size_t slot_count = 4;
// How often the progress callback and early write-back happen.
constexpr std::uint64_t progress_step = 4 * 1024 * 1024;
constexpr std::uint64_t writeback_step = 16 * 1024 * 1024;

CipherKey make_key(std::u16string_view password, KeyRule rule, CipherContext& context)
{
    CipherHash hash = context.create_sha1_hash();
    const SecureBytes bytes = password_hash_bytes(password);
    hash.hash_data(bytes.span());
    return hash.derive_rc4_key(rule);
    // the hash object is destroyed here, as soon as the key exists
}

class Pipeline {
public:
    Pipeline(file_io::File& source, CipherKey& key, bool encrypt, std::size_t block_size)
        : source_(source), key_(key), encrypt_(encrypt), block_size_(block_size),
          // a whole number of blocks per slot, so every read asks for block_size bytes
          slot_size_(block_size * std::max<std::size_t>(1, slot_target_size / block_size))
    {
        for (std::size_t i = 0; i < slot_count; ++i) {
            slots_.push_back({std::make_unique<std::uint8_t[]>(slot_size_), 0});
            free_.push_back(i);
        }
    }

    ~Pipeline() { stop(); }

    void start() { reader_ = std::thread([this] { read_loop(); }); }

    // Gives the next filled slot to `consume`, until the source ends. Throws
    // what the reader ran into.
    template <typename Consume>
    void drain(Consume&& consume)
    {
        for (;;) {
            std::size_t index;
            {
                std::unique_lock guard(lock_);
                ready_.wait(guard, [&] { return !filled_.empty() || reader_done_; });
                if (filled_.empty()) {
                    if (reader_error_)
                        std::rethrow_exception(reader_error_);
                    return;
                }
                index = filled_.front();
                filled_.pop_front();
            }
            Slot& slot = slots_[index];
            consume(slot.data.get(), slot.used);
            {
                std::lock_guard guard(lock_);
                free_.push_back(index);
            }
            ready_.notify_all();
        }
    }

    void stop() noexcept
    {
        {
            std::lock_guard guard(lock_);
            stopping_ = true;
        }
        ready_.notify_all();
        if (reader_.joinable())
            reader_.join();
    }

    std::uint64_t bytes_read() const { return bytes_read_; } // after drain() returned

private:
    struct Slot {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t used;
    };

    void read_loop() noexcept
    {
        try {
            bool at_end = false;
            while (!at_end) {
                std::size_t index;
                {
                    std::unique_lock guard(lock_);
                    ready_.wait(guard, [&] { return !free_.empty() || stopping_; });
                    if (stopping_)
                        break;
                    index = free_.front();
                    free_.pop_front();
                }
                Slot& slot = slots_[index];
                slot.used = 0;
                while (slot.used < slot_size_) {
                    std::uint8_t* p = slot.data.get() + slot.used;
                    const std::size_t n = source_.read(p, std::min(block_size_, slot_size_ - slot.used));
                    if (n == 0) {
                        at_end = true;
                        break;
                    }
                    std::span<std::uint8_t> block(p, n);
                    if (encrypt_)
                        key_.encrypt(block);
                    else
                        key_.decrypt(block);
                    slot.used += n;
                    bytes_read_ += n;
                }
                {
                    std::lock_guard guard(lock_);
                    if (slot.used > 0)
                        filled_.push_back(index);
                    else
                        free_.push_back(index);
                }
                ready_.notify_all();
            }
        } catch (...) {
            std::lock_guard guard(lock_);
            reader_error_ = std::current_exception();
        }
        {
            std::lock_guard guard(lock_);
            reader_done_ = true;
        }
        ready_.notify_all();
    }

    file_io::File& source_;
    CipherKey& key_;
    const bool encrypt_;
    const std::size_t block_size_;
    const std::size_t slot_size_;
    std::vector<Slot> slots_;
    std::uint64_t bytes_read_ = 0; // the reader's; read by the writer once the reader is done

    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<std::size_t> free_;
    std::deque<std::size_t> filled_;
    bool reader_done_ = false;
    bool stopping_ = false;
    std::exception_ptr reader_error_;
    std::thread reader_;
};

// Streams the whole source through the key into `target`; returns the bytes done.
std::uint64_t pump(const StreamJob& job, file_io::File& source, std::uint64_t total, CipherKey& key,
                   file_io::File& target, bool early_writeback)
{
    Pipeline pipeline(source, key, job.encrypt, job.block_size);
    pipeline.start();
    std::uint64_t done = 0;
    std::uint64_t next_progress = progress_step;
    std::uint64_t written_back = 0;
    if (job.progress)
        job.progress(0, total);
    pipeline.drain([&](const std::uint8_t* data, std::size_t size) {
        target.write_all(data, size);
        done += size;
        if (early_writeback && done - written_back >= writeback_step) {
            target.start_writeback(written_back, done - written_back);
            written_back = done;
        }
        if (job.progress && done >= next_progress) {
            job.progress(done, total);
            next_progress = done + progress_step;
        }
    });
    pipeline.stop();
    if (job.progress)
        job.progress(done, total);
    return done;
}

// A source that changed size while it was read may have given a mix of old
// and new bytes, or fewer than it had: the job fails rather than pass off a
// short or mixed target as done. The bytes read must be the size at the start
// and still the size at the end.
void check_source_unchanged(const StreamJob& job, const file_io::File& source,
                            const file_io::FileInfo& at_start, std::uint64_t done)
{
    // A descriptor may start part way into its file; only a named file's
    // size says what reading it must give.
    if (job.source.is_descriptor() || !at_start.regular)
        return;
    if (done != at_start.size || source.info().size != done)
        throw JobError("zdroj se během práce změnil");
}

std::filesystem::path temp_name_in(const std::filesystem::path& folder)
{
    static std::mutex lock;
    static std::mt19937_64 random{std::random_device{}()};
    std::uint64_t value;
    {
        std::lock_guard guard(lock);
        value = random();
    }
    char name[40];
    std::snprintf(name, sizeof name, ".trezorka-%016llx.tmp", static_cast<unsigned long long>(value));
    return folder / name;
}

void run(const StreamJob& job, std::u16string_view password)
{
    if (job.block_size == 0)
        throw JobError("nulová velikost bloku");
    if (!job.source.is_descriptor() && job.source.path.empty())
        throw JobError("chybí zdroj");
    if (!job.target.is_descriptor() && job.target.path.empty())
        throw JobError("chybí cíl");

    CipherContext context = CipherContext::acquire();
    CipherKey key = make_key(password, job.key_rule, context);

    file_io::File source = job.source.is_descriptor() ? file_io::borrow_descriptor(job.source.fd)
                                                       : file_io::open_source(job.source.path);
    const file_io::FileInfo source_info = source.info();
    if (source_info.directory)
        throw JobError("zdroj je složka");
    source.advise_sequential();
    const std::uint64_t total = source_info.regular ? source_info.size : 0;

    // A target that is a link to a file is written where the link points, as
    // opening it would have done; the link itself stays.
    std::filesystem::path target_path = job.target.path;
    if (!job.target.is_descriptor()) {
        std::error_code ec;
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(target_path, ec))) {
            std::filesystem::path resolved = std::filesystem::canonical(target_path, ec);
            if (!ec)
                target_path = std::move(resolved);
        }
    }

    // The target must not be the source under any name, checked before
    // anything is written.
    std::optional<file_io::FileInfo> target_info;
    if (job.target.is_descriptor())
        target_info = file_io::borrow_descriptor(job.target.fd).info();
    else
        target_info = file_io::info_of_path(target_path);
    if (target_info && target_info->id == source_info.id && (target_info->regular || source_info.regular))
        throw JobError("cíl je týž soubor jako zdroj");
    // Renaming over a device or a pipe would replace the node itself.
    if (!job.target.is_descriptor() && target_info && target_info->directory)
        throw JobError("cíl je složka");
    if (!job.target.is_descriptor() && target_info && !target_info->regular)
        throw JobError("cíl není obyčejný soubor");

    std::uint64_t done = 0;
    if (job.target.is_descriptor()) {
        file_io::File target = file_io::borrow_descriptor(job.target.fd);
        done = pump(job, source, total, key, target, false);
    } else {
        if (!job.replace_existing && file_io::entry_exists(target_path))
            throw TargetExistsError("cíl už existuje");

        std::filesystem::path folder = target_path.parent_path();
        if (folder.empty())
            folder = ".";
        file_io::File temp;
        std::filesystem::path temp_path;
        for (int attempt = 0; !temp.is_open(); ++attempt) {
            if (attempt == 100)
                throw JobError("nelze vytvořit dočasný soubor");
            temp_path = temp_name_in(folder);
            try {
                pending_file::create(temp_path, [&] {
                    if (!file_io::create_exclusive(temp_path, temp))
                        throw std::system_error(std::make_error_code(std::errc::file_exists));
                });
            } catch (const std::system_error& e) {
                if (e.code() != std::errc::file_exists)
                    throw;
            }
        }

        try {
            done = pump(job, source, total, key, temp, true);
            check_source_unchanged(job, source, source_info, done);
            temp.set_new_file_permissions(target_info);
            temp.sync();
            temp.close();
            bool placed = true;
            pending_file::finish([&] {
                if (job.replace_existing)
                    file_io::rename_over(temp_path, target_path);
                else if (!file_io::rename_no_replace(temp_path, target_path))
                    placed = false;
                if (!placed)
                    file_io::remove_file(temp_path);
            });
            if (!placed)
                throw TargetExistsError("cíl už existuje");
        } catch (...) {
            temp = file_io::File();
            file_io::remove_file(temp_path);
            pending_file::forget();
            throw;
        }
        // The new name is in place; a failure to flush the folder cannot undo
        // that, so it is not reported.
        file_io::sync_folder(folder);
        return;
    }
    check_source_unchanged(job, source, source_info, done);
}

} // namespace

void run_stream_job(const StreamJob& job, std::u16string_view password)
{
    try {
        run(job, password);
    } catch (const JobError&) {
        throw;
    } catch (const std::exception& e) {
        throw JobError(e.what());
    }
}

std::int64_t file_size_probe(const std::filesystem::path& path)
{
    return file_io::probe_size(path);
}

} // namespace trezorka
