#include "api/listener_list.h"

#include <algorithm>

namespace vellum {
namespace {

template <typename Entries>
auto FindListener(Entries& entries, VellumListener listener) {
    return std::find_if(entries.begin(), entries.end(),
                        [listener](const auto& entry) { return entry.listener == listener; });
}

}  // namespace

void ListenerList::Add(VellumListener listener) {
    if (listener == nullptr) return;
    platform::ScopedLock hold(lock_);
    if (FindListener(entries_, listener) != entries_.end()) return;
    entries_.push_back(Entry{listener, nextSequence_++});
}

void ListenerList::Remove(VellumListener listener) {
    platform::ScopedLock hold(lock_);
    auto found = FindListener(entries_, listener);
    if (found != entries_.end()) entries_.erase(found);
}

std::vector<VellumListener> ListenerList::Snapshot() const {
    platform::ScopedLock hold(lock_);
    std::vector<VellumListener> listeners;
    listeners.reserve(entries_.size());
    for (const Entry& entry : entries_) listeners.push_back(entry.listener);
    return listeners;
}

VellumListener ListenerList::NextAfter(std::uint64_t& sequence) const {
    platform::ScopedLock hold(lock_);
    auto next = std::upper_bound(entries_.begin(), entries_.end(), sequence,
                                 [](std::uint64_t value, const Entry& entry) { return value < entry.sequence; });
    if (next == entries_.end()) return nullptr;
    sequence = next->sequence;
    return next->listener;
}

void ListenerList::FanOut(VellumWindow window, unsigned message, VellumWParam wParam, VellumLParam lParam) {
    std::uint64_t visited = 0;
    while (VellumListener listener = NextAfter(visited)) {
        try {
            listener(window, message, wParam, lParam);
        } catch (...) {
            // A listener's failure is its own; the others still hear the message.
        }
    }
}

}  // namespace vellum
