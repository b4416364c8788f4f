#include "probe/convert.h"

#include <algorithm>

#include "library/track_record.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace vellum {

char* WideToUtf8(std::u16string_view wide) noexcept {
    try {
        const std::string utf8 = platform::Utf16ToUtf8(wide);
        return CopyText(utf8.data(), utf8.size());
    } catch (...) {
        NoteRecordAllocationFailure();
        return nullptr;
    }
}

char* AnsiToUtf8(std::string_view ansi) noexcept {
    // Below 0x80 every ANSI code page agrees with ASCII, which is its own UTF-8:
    // such text (every codec name, most titles) is copied as it is.
    if (std::all_of(ansi.begin(), ansi.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; }))
        return CopyText(ansi.data(), ansi.size());
    try {
        return WideToUtf8(platform::AnsiToWide(ansi));
    } catch (...) {
        NoteRecordAllocationFailure();
        return nullptr;
    }
}

}  // namespace vellum
