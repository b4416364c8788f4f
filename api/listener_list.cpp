#include "api/listener_list.h"

#include <algorithm>

namespace vellum {
namespace {

// Lists hold a handful of listeners, so a linear search is the fast one.
bool Holds(const std::vector<VellumListener>& listeners, VellumListener listener) {
    return std::find(listeners.begin(), listeners.end(), listener) != listeners.end();
}

}  // namespace

// Every message of the host window is walked, so a walk over a few listeners
// must not reach for the heap: the first eight members are kept in place.
class ListenerList::WalkSet {
public:
    void Add(VellumListener listener) {
        if (inPlace_ < kInPlace) first_[inPlace_++] = listener;
        else rest_.push_back(listener);
    }
    bool Holds(VellumListener listener) const {
        return std::find(first_, first_ + inPlace_, listener) != first_ + inPlace_ || vellum::Holds(rest_, listener);
    }
    bool Empty() const { return inPlace_ == 0; }

private:
    static constexpr std::size_t kInPlace = 8;
    VellumListener first_[kInPlace] = {};
    std::size_t inPlace_ = 0;
    std::vector<VellumListener> rest_;
};

void ListenerList::Add(VellumListener listener) {
    if (listener == nullptr) return;
    platform::ScopedLock hold(lock_);
    if (Holds(entries_, listener)) return;
    entries_.push_back(listener);
    ++version_;
}

void ListenerList::Remove(VellumListener listener) {
    platform::ScopedLock hold(lock_);
    auto found = std::find(entries_.begin(), entries_.end(), listener);
    if (found == entries_.end()) return;
    entries_.erase(found);
    ++version_;
}

std::vector<VellumListener> ListenerList::Snapshot() const {
    platform::ScopedLock hold(lock_);
    return entries_;
}

VellumListener ListenerList::NextToCall(const WalkSet& present, const WalkSet& called, std::uint64_t version,
                                        std::size_t step) const {
    platform::ScopedLock hold(lock_);
    if (version == version_) return step < entries_.size() ? entries_[step] : nullptr;
    for (VellumListener listener : entries_)
        if (present.Holds(listener) && !called.Holds(listener)) return listener;
    for (VellumListener listener : entries_)
        if (!called.Holds(listener)) return listener;
    return nullptr;
}

void ListenerList::FanOut(VellumWindow window, unsigned message, VellumWParam wParam, VellumLParam lParam) {
    WalkSet present;
    std::uint64_t version = 0;
    {
        platform::ScopedLock hold(lock_);
        for (VellumListener listener : entries_) present.Add(listener);
        version = version_;
    }
    if (present.Empty()) return;
    WalkSet called;
    // Each call adds one function to `called`, so the walk ends once every
    // function the list holds has run.
    for (std::size_t step = 0;; ++step) {
        const VellumListener listener = NextToCall(present, called, version, step);
        if (listener == nullptr) break;
        called.Add(listener);
        try {
            listener(window, message, wParam, lParam);
        } catch (...) {
            // A listener's failure is its own; the others still hear the message.
        }
    }
}

}  // namespace vellum
