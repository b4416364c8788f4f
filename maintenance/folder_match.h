// Folders the listener names on the tool's command line, matched against
// stored track paths the way Windows compares them: a whole-folder prefix,
// without regard to letter case, with or without a trailing backslash. "D:\Music"
// holds "D:\Music\a.flac" and the cue track "D:\Music\b.cue/3" (by its sheet),
// never "D:\Music2\a.flac".
#pragma once

#include <string>
#include <string_view>

namespace vellum {

class FolderPrefix {
public:
    // Forward slashes read as backslashes; trailing backslashes are dropped,
    // so "D:\" names the drive's root.
    explicit FolderPrefix(std::u16string_view folder);

    // False for a folder that is empty once trimmed.
    bool Valid() const noexcept { return !folder_.empty(); }
    const std::u16string& Text() const noexcept { return folder_; }

    // True when the stored path lies below the folder.
    bool Holds(std::u16string_view path) const noexcept;
    // The path with this folder replaced by `to`; call only when Holds(path).
    std::u16string MapTo(std::u16string_view path, const FolderPrefix& to) const;
    // True when `other` is this folder or lies below it.
    bool Encloses(const FolderPrefix& other) const noexcept;

private:
    std::u16string folder_;
};

// Case folding for path comparison: ASCII, Latin-1, Greek and Cyrillic
// letters compare equal to their capitals.
char16_t FoldPathUnit(char16_t unit) noexcept;

}  // namespace vellum
