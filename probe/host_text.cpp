#include "probe/host_text.h"

#include <cstring>
#include <string>

#include "platform/seam.h"
#include "probe/convert.h"
#include "probe/stream_properties.h"

namespace vellum {
namespace {

// The title the host returns, read at once while the path copy still exists.
char* ReadHostTitle(const void* title, bool wideText) {
    if (title == nullptr) return nullptr;
    if (wideText) return WideToUtf8(static_cast<const char16_t*>(title));
    return AnsiToUtf8(static_cast<const char*>(title));
}

}  // namespace

bool HostPathBuffer::Fill(std::u16string_view path, bool wideText) {
    wideText_ = wideText;
    if (!IsUsableTrackPath(path)) return false;
    if (wideText) {
        std::memcpy(wide_, path.data(), path.size() * sizeof(char16_t));
        wide_[path.size()] = u'\0';
        return true;
    }
    const std::string ansi = platform::WideToAnsi(path);
    if (ansi.size() > kMaxPathUnits || ansi.find('\0') != std::string::npos) return false;
    std::memcpy(ansi_, ansi.data(), ansi.size());
    ansi_[ansi.size()] = '\0';
    return true;
}

char* HostTitle(HostCue* hostCue, std::u16string_view path) {
    if (hostCue != nullptr) {
        const bool wideText = hostCue->WideText();
        HostPathBuffer copy;
        if (copy.Fill(path, wideText)) {
            char* title = ReadHostTitle(hostCue->Title(copy.Data()), wideText);
            if (title != nullptr) return title;
        }
    }
    return WideToUtf8(FileNameOf(path));
}

}  // namespace vellum
