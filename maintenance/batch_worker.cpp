#include "maintenance/batch_worker.h"

#include "maintenance/pending_work.h"
#include "maintenance/register_file.h"
#include "platform/text.h"

namespace vellum {
namespace {

void ProcessItem(const BatchJob& job, const std::u16string& path) noexcept {
    try {
        if (job.mode == BatchMode::Add) RegisterFile(job.probe, job.connection, 0, path, 0);
        else RemoveTrack(job.connection, platform::Utf16ToUtf8(path));
    } catch (...) {
        // A failed item (an allocation while building its statement) is passed over.
    }
}

// The items, inside one transaction that is committed when this returns.
std::size_t ProcessItems(const BatchJob& job, BatchProgressSink& sink) {
    Transaction transaction(job.connection);
    std::size_t done = 0;
    for (std::size_t i = 0; i < job.paths.Size(); ++i) {
        if (!sink.ItemStarting(i)) break;
        ProcessItem(job, job.paths.At(i));
        ++done;
    }
    return done;
}

}  // namespace

std::size_t RunBatch(const BatchJob& job, BatchProgressSink& sink) noexcept {
    std::size_t done = 0;
    try {
        done = ProcessItems(job, sink);
    } catch (...) {
        // The transaction has been committed by its destructor; the dialog still
        // has to hear that the batch is over.
    }
    try {
        sink.Finished();
    } catch (...) {
    }
    return done;
}

}  // namespace vellum
