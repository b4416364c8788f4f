#include "maintenance/folder_match.h"

namespace vellum {

char16_t FoldPathUnit(char16_t unit) noexcept {
    auto shifted = [unit](int by) { return static_cast<char16_t>(unit - by); };
    if (unit >= u'a' && unit <= u'z') return shifted(0x20);
    if (unit >= 0x00E0 && unit <= 0x00FE && unit != 0x00F7) return shifted(0x20);
    if (unit >= 0x03B1 && unit <= 0x03C9 && unit != 0x03C2) return shifted(0x20);
    if (unit >= 0x0430 && unit <= 0x044F) return shifted(0x20);
    if (unit >= 0x0450 && unit <= 0x045F) return shifted(0x50);
    return unit;
}

namespace {

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldPathUnit(a[i]) != FoldPathUnit(b[i])) return false;
    return true;
}

}  // namespace

FolderPrefix::FolderPrefix(std::u16string_view folder) : folder_(folder) {
    for (char16_t& unit : folder_)
        if (unit == u'/') unit = u'\\';
    while (!folder_.empty() && folder_.back() == u'\\') folder_.pop_back();
}

bool FolderPrefix::Holds(std::u16string_view path) const noexcept {
    const std::size_t length = folder_.size();
    if (!Valid() || path.size() <= length + 1 || path[length] != u'\\') return false;
    return SameIgnoringCase(path.substr(0, length), folder_);
}

std::u16string FolderPrefix::MapTo(std::u16string_view path, const FolderPrefix& to) const {
    return to.folder_ + std::u16string(path.substr(folder_.size()));
}

bool FolderPrefix::Encloses(const FolderPrefix& other) const noexcept {
    if (SameIgnoringCase(other.folder_, folder_)) return true;
    return Holds(other.folder_);
}

}  // namespace vellum
