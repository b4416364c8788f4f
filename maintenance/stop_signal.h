// A request to stop long work, raised by one thread and seen by the thread
// that works, which may sleep on it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vellum {

class StopSignal {
public:
    void Raise() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            raised_ = true;
        }
        wake_.notify_all();
    }
    bool Raised() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return raised_;
    }
    // Sleeps up to `time`; true when the signal was raised meanwhile (or before).
    bool WaitFor(std::chrono::milliseconds time) const {
        std::unique_lock<std::mutex> hold(mutex_);
        return wake_.wait_for(hold, time, [this] { return raised_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
    bool raised_ = false;
};

}  // namespace vellum
