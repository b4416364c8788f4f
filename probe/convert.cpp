#include "probe/convert.h"

#include "library/track_record.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace vellum {

char* WideToUtf8(std::u16string_view wide) noexcept {
    try {
        const std::string utf8 = platform::Utf16ToUtf8(wide);
        return CopyText(utf8.data(), utf8.size());
    } catch (...) {
        return nullptr;
    }
}

char* AnsiToUtf8(std::string_view ansi) noexcept {
    try {
        return WideToUtf8(platform::AnsiToWide(ansi));
    } catch (...) {
        return nullptr;
    }
}

}  // namespace vellum
