#include "temporary_target.h"

#include "job_error.h"
#include "pending_file.h"

#include <optional>

namespace trezorka {

TemporaryTarget::TemporaryTarget(file_io::TargetFolder& folder) : folder_(folder)
{
    folder_.remove_orphans();
    const auto take = [this](std::optional<file_io::File> created) {
        if (created)
            file_ = std::move(*created);
        return created.has_value();
    };
    // Nothing to remove for a file with no name: it goes with its descriptor.
    if (pending_file::create(folder_, {}, [&] { return take(folder_.create_nameless()); }))
        return;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name_ = file_io::hidden_temp_name();
        if (pending_file::create(folder_, name_, [&] { return take(folder_.create_named(name_)); }))
            return;
    }
    throw JobError("nelze vytvořit dočasný soubor");
}

TemporaryTarget::~TemporaryTarget()
{
    if (placed_)
        return;
    // Closed first: on Windows the file is marked to go with its handle.
    file_ = file_io::File();
    folder_.remove(name_);
    pending_file::forget();
}

bool TemporaryTarget::place(const std::filesystem::path& target, bool replace)
{
    pending_file::finish([&] {
        placed_ = folder_.place(file_, name_, target, replace);
        // Under the lock still: once forgotten, an abort would not remove it.
        if (!placed_)
            folder_.remove(name_);
    });
    return placed_;
}

} // namespace trezorka
