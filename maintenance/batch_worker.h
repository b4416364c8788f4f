// The batch worker: adds or removes every path of a BatchPathList inside one
// transaction of the plugin's own, reporting each item to a progress sink before it is processed;
// the sink's answer is whether to go on, so a cancel reaches the worker through
// the sink. Portable; the progress dialog is one sink, tests bring their own.
#pragma once

#include <cstddef>

#include "library/connection.h"
#include "maintenance/batch_path_list.h"
#include "probe/probe_context.h"

namespace vellum {

enum class BatchMode { Add = 1, Remove = 2 };

// Where the worker reports. Called on the worker's thread, never while it holds
// the connection's lock, so a sink may wait for another thread that needs it.
class BatchProgressSink {
public:
    virtual ~BatchProgressSink() = default;
    // Item `index` is about to be processed. True to go on with it; false
    // (the user has cancelled) ends the batch before it, keeping the items
    // already processed.
    virtual bool ItemStarting(std::size_t index) = 0;
    // The batch has ended: its work is committed, or waits in the
    // connection's store and lands once the library can be written
    // (library/connection.h).
    virtual void Finished() = 0;
};

struct BatchJob {
    BatchMode mode;
    const BatchPathList& paths;
    LibraryConnection& connection;
    const ProbeContext& probe;
};

// Runs the whole batch: one transaction around the items, item i reported
// before it is processed, the batch ended at the first item the sink
// declines, Finished reported after the commit. Add registers a path as a
// newly added file (channel 0, duration 0); Remove deletes its row. An item
// that fails is passed over. When the transaction cannot be had at once (a
// lock, another plugin's open transaction) or is lost (a full disk, a reader
// that outlasts the commit's wait), the items go to the connection one by
// one instead, so each lands now or waits durably; the batch itself never
// waits for more than the commit's busy timeout. Returns the number of items
// processed.
std::size_t RunBatch(const BatchJob& job, BatchProgressSink& sink) noexcept;

}  // namespace vellum
