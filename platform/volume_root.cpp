#include "platform/volume_root.h"

namespace vellum::platform {
namespace {

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

bool IsDriveLetter(char16_t unit) { return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z'); }

}  // namespace

std::u16string VolumeRoot(std::u16string_view path) {
    if (path.size() >= 2 && path[1] == u':' && IsDriveLetter(path[0])) return std::u16string(path.substr(0, 2));
    if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        const std::size_t server = path.find_first_of(u"\\/", 2);
        if (server == std::u16string_view::npos) return std::u16string(path);
        const std::size_t share = path.find_first_of(u"\\/", server + 1);
        return std::u16string(path.substr(0, share));
    }
    return std::u16string();
}

}  // namespace vellum::platform
