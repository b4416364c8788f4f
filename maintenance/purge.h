// The broken-link purge's scan: which stored rows name a track whose file is
// gone. The removal itself is a Remove batch (maintenance/batch_worker.h).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "library/connection.h"
#include "maintenance/batch_path_list.h"

namespace vellum {

// The file system as the scan sees it; the plugin answers with Win32, tests
// with fakes.
class ExistenceTester {
public:
    virtual ~ExistenceTester() = default;
    // True when a file or folder exists at the path.
    virtual bool PathExists(std::u16string_view path) = 0;
    // True when the volume root ("X:" or "\\server\share", as
    // platform::VolumeRoot gives it) can be reached.
    virtual bool VolumeReachable(std::u16string_view root) = 0;
};

// The text whose existence decides a stored path: the path itself, or for a
// path holding "/" (a cue-sheet track, a host track) the text before its
// first "/".
std::u16string_view ExistenceTestText(std::u16string_view path);

// How the purge judges one stored name.
enum class LinkVerdict {
    Present,  // its file (or its cue sheet) exists
    Missing,  // gone: the purge removes it
    Offline,  // gone, but its volume cannot be reached: kept
    Kept      // never judged: a URL, a name the removal could not address, "/..."
};

// Judges stored names as the purge does, asking the tester once per sheet and
// once per volume, however many names share it.
class LinkJudge {
public:
    explicit LinkJudge(ExistenceTester& tester);
    ~LinkJudge();
    LinkJudge(const LinkJudge&) = delete;
    LinkJudge& operator=(const LinkJudge&) = delete;
    // `name` is the stored UTF-8 name.
    LinkVerdict Judge(const std::string& name);

private:
    class Cache;
    std::unique_ptr<Cache> cache_;
};

// Appends to `out`, in the order "SELECT file_name FROM list" returns them, the
// full stored path of every row whose file is missing. Kept regardless:
//   - stream URLs (paths holding "://");
//   - rows on a volume that cannot be reached (an unplugged drive, a share that
//     does not answer): their files may well come back;
//   - paths that start with "/", which leave nothing to test;
//   - names that no path buffer holds (over 519 units) or that hold a NUL or
//     are NULL, and names that are not well-formed UTF-8: the removal could
//     not address them exactly.
// An empty name never exists and is collected. Each sheet and each volume is
// asked about once, however many rows share it. Returns the number collected.
std::size_t CollectBrokenLinks(LibraryConnection& connection, ExistenceTester& tester, BatchPathList& out);

}  // namespace vellum
