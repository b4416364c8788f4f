// ListenerList: the ordered listeners that hear the host window's messages.
//
// Each listener is held at most once, in the order it was added. Every member
// may be called from any thread. The lock is never held while a listener runs,
// so a listener may add or remove listeners, itself included.
//
// A walk goes by identity, not by position, and calls each listener function at
// most once, however the list changes while it runs:
//   - one present at the start and not removed before its turn: called once;
//   - one added during the walk: called once, after the others;
//   - one removed and added again before its turn counts as present;
//   - one removed before its turn and not added again: not called.
// So removing the listener being called, or one already called, never makes
// the walk pass over the next one, and a listener that removes and adds itself
// again is not called a second time. A fan-out on one thread may still call a
// listener that another thread removes at the same moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/seam.h"
#include "vellumdb.h"

namespace vellum {

class ListenerList {
public:
    // Appends the listener unless it is already there. A null listener is ignored.
    void Add(VellumListener listener);
    // Removes the listener if it is there; the others keep their order.
    void Remove(VellumListener listener);
    // Calls every listener with the message, in list order, ignoring results.
    void FanOut(VellumWindow window, unsigned message, VellumWParam wParam, VellumLParam lParam);
    // The listeners now held, in order.
    std::vector<VellumListener> Snapshot() const;

private:
    // A walk's set of listeners, on the stack while it is short.
    class WalkSet;
    // The walk's next listener, in list order: first one of `present` (those
    // held when the walk began), then any other, never one of `called`. Null
    // when every listener held has been called. While the list is as it was at
    // `version` (the walk's start), that is simply the entry at `step`.
    VellumListener NextToCall(const WalkSet& present, const WalkSet& called, std::uint64_t version,
                              std::size_t step) const;

    mutable platform::RecursiveLock lock_;
    std::vector<VellumListener> entries_;
    // Rises with every change to the list.
    std::uint64_t version_ = 0;
};

}  // namespace vellum
