#include "maintenance/batch_worker.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "library/track_path.h"
#include "library/work_entry.h"
#include "maintenance/register_file.h"
#include "platform/text.h"

namespace vellum {
namespace {

// The entry of one item, or null when there is nothing to write: a refused
// path, a track that cannot be opened, no memory.
std::unique_ptr<WorkEntry> EntryFor(const BatchJob& job, std::size_t index) noexcept {
    try {
        const std::u16string& path = job.paths.At(index);
        if (job.mode == BatchMode::Add) return MakeRegistrationOf(RecordOwner(ProbeFreshRecord(job.probe, 0, path, 0)));
        std::string key = platform::Utf16ToUtf8(path);
        if (!FitsPathBuffer(std::string_view(key))) return nullptr;
        return MakeRemoval(std::move(key));
    } catch (...) {
        return nullptr;
    }
}

void SubmitAlone(const BatchJob& job, std::unique_ptr<WorkEntry> entry) noexcept {
    if (entry == nullptr) return;
    try {
        job.connection.Submit(std::move(entry));
    } catch (...) {
        // No memory to hand it over: nothing was written.
    }
}

// Items [0, count) once more, each on its own: the batch's transaction was
// rolled back, so each lands now or waits in the connection's store.
void RedoAlone(const BatchJob& job, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) SubmitAlone(job, EntryFor(job, i));
}

// The items, in the batch's transaction while it lasts and then each on its
// own; committed (or redone) before this returns.
std::size_t ProcessItems(const BatchJob& job, BatchProgressSink& sink) {
    bool inTransaction = job.connection.BeginBatch();
    std::size_t done = 0;
    for (; done < job.paths.Size(); ++done) {
        if (!sink.ItemStarting(done)) break;
        std::unique_ptr<WorkEntry> entry = EntryFor(job, done);
        if (entry == nullptr) continue;
        if (inTransaction && job.connection.ApplyInBatch(entry)) continue;
        if (inTransaction) RedoAlone(job, done);
        inTransaction = false;
        SubmitAlone(job, std::move(entry));
    }
    if (inTransaction && !job.connection.EndBatch()) RedoAlone(job, done);
    return done;
}

}  // namespace

std::size_t RunBatch(const BatchJob& job, BatchProgressSink& sink) noexcept {
    std::size_t done = 0;
    try {
        done = ProcessItems(job, sink);
    } catch (...) {
        // Every step above keeps its own failures; the dialog still has to
        // hear that the batch is over.
    }
    try {
        sink.Finished();
    } catch (...) {
    }
    return done;
}

}  // namespace vellum
