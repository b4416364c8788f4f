// Adapts the host's cue interface record (32-bit words) to the portable HostCue.
#pragma once

#include <cstdint>

#include "probe/host_cue.h"

namespace vellum {

class Win32HostCue final : public HostCue {
public:
    // The version word the plugin understands.
    static constexpr std::uint32_t kVersion = 39;

    // Takes the host's record when its version word is 39; false otherwise.
    bool Attach(const void* record) noexcept;

    bool WideText() const noexcept override;
    const void* OpenTrack(void* path) noexcept override;
    void ReleaseTrack(const void* record) noexcept override;
    const void* Title(void* path) noexcept override;
    CueTrackInfo ReadTrack(const void* record) const noexcept override;

private:
    std::uint32_t Word(int index) const noexcept;
    const std::uint32_t* words_ = nullptr;
};

}  // namespace vellum
