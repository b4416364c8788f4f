// ListenerList: the ordered listeners that hear the host window's messages.
//
// Each listener is held at most once, in the order it was added. Every member
// may be called from any thread. The lock is never held while a listener runs,
// so a listener may add or remove listeners, itself included.
//
// A walk visits listeners by identity, not by position: removing the listener
// being called, or one already called, never makes the walk pass over the next
// one; a listener added during a walk is called in that walk; a listener
// removed before its turn is not called. A fan-out on one thread may still call
// a listener that another thread removes at the same moment.
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
    struct Entry {
        VellumListener listener;
        // Rises with every addition, so the entries are always in ascending order.
        std::uint64_t sequence;
    };
    // The first entry added after `sequence`, or null when there is none.
    VellumListener NextAfter(std::uint64_t& sequence) const;

    mutable platform::RecursiveLock lock_;
    std::vector<Entry> entries_;
    std::uint64_t nextSequence_ = 1;
};

}  // namespace vellum
