// Track paths handed to the host's cue interface, and the titles it returns.
#pragma once

#include <string_view>

#include "probe/host_cue.h"
#include "probe/probe_context.h"

namespace vellum {

// A writable, zero-terminated copy of a track path in the encoding the host
// asks for: UTF-16 in 520 units, or the ANSI code page in 520 bytes. A path
// that does not fit is refused, never cut.
class HostPathBuffer {
public:
    // False when the path is unusable or its form does not fit the buffer.
    bool Fill(std::u16string_view path, bool wideText);
    void* Data() noexcept { return wideText_ ? static_cast<void*>(wide_) : static_cast<void*>(ansi_); }

private:
    bool wideText_ = true;
    char16_t wide_[kPathBufferUnits] = {};
    char ansi_[kPathBufferUnits] = {};
};

// The host's display title for the path as a new UTF-8 block; the path's file
// name when there is no host interface, the path does not fit its buffer or
// the host has no title. Null only when the block cannot be had.
char* HostTitle(HostCue* hostCue, std::u16string_view path);

}  // namespace vellum
