#include "library/track_path.h"

#include "platform/text.h"

namespace vellum {

bool FitsPathBuffer(std::u16string_view path) noexcept {
    return path.size() <= kMaxPathUnits && path.find(u'\0') == std::u16string_view::npos;
}

bool IsUsableTrackPath(std::u16string_view path) noexcept { return !path.empty() && FitsPathBuffer(path); }

bool FitsPathBuffer(std::string_view utf8) noexcept {
    if (utf8.find('\0') != std::string_view::npos) return false;
    // Each unit takes at least one byte, so a short text needs no conversion.
    if (utf8.size() <= kMaxPathUnits) return true;
    try {
        return platform::Utf8ToUtf16(utf8).size() <= kMaxPathUnits;
    } catch (...) {
        return false;
    }
}

}  // namespace vellum
