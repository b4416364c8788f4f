#include "api/listener_list.h"

#include <algorithm>

namespace vellum {
namespace {

// Lists hold a handful of listeners, so a linear search is the fast one.
bool Holds(const std::vector<VellumListener>& listeners, VellumListener listener) {
    return std::find(listeners.begin(), listeners.end(), listener) != listeners.end();
}

}  // namespace

void ListenerList::Add(VellumListener listener) {
    if (listener == nullptr) return;
    platform::ScopedLock hold(lock_);
    if (!Holds(entries_, listener)) entries_.push_back(listener);
}

void ListenerList::Remove(VellumListener listener) {
    platform::ScopedLock hold(lock_);
    auto found = std::find(entries_.begin(), entries_.end(), listener);
    if (found != entries_.end()) entries_.erase(found);
}

std::vector<VellumListener> ListenerList::Snapshot() const {
    platform::ScopedLock hold(lock_);
    return entries_;
}

VellumListener ListenerList::NextToCall(const std::vector<VellumListener>& present,
                                        const std::vector<VellumListener>& called) const {
    platform::ScopedLock hold(lock_);
    for (VellumListener listener : entries_)
        if (Holds(present, listener) && !Holds(called, listener)) return listener;
    for (VellumListener listener : entries_)
        if (!Holds(called, listener)) return listener;
    return nullptr;
}

void ListenerList::FanOut(void* window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    const std::vector<VellumListener> present = Snapshot();
    if (present.empty()) return;
    std::vector<VellumListener> called;
    called.reserve(present.size());
    // Each call adds one function to `called`, so the walk ends once every
    // function the list holds has run.
    while (VellumListener listener = NextToCall(present, called)) {
        called.push_back(listener);
        try {
            listener(window, message, wParam, lParam);
        } catch (...) {
            // A listener's failure is its own; the others still hear the message.
        }
    }
}

}  // namespace vellum
