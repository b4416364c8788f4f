// ListenerList: the ordered listeners that hear the host window's messages.
#pragma once

#include <vector>

#include "platform/seam.h"
#include "vellumdb.h"

namespace vellum {

class ListenerList {
public:
    void Add(VellumListener listener);
    void Remove(VellumListener listener);
    // Calls every listener with the message, in list order.
    void FanOut(void* window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    mutable platform::RecursiveLock lock_;
    std::vector<VellumListener> entries_;
};

}  // namespace vellum
