#include "maintenance/purge.h"

#include <sqlite3.h>

#include <unordered_map>
#include <vector>

#include "platform/text.h"
#include "platform/volume_root.h"
#include "probe/probe_context.h"
#include "probe/track_source.h"

namespace vellum {
namespace {

constexpr char kStoredNamesSql[] = "SELECT file_name FROM list";

// Every stored name in query order, NULL ones left out. Read in one go under
// the lock; the slow existence tests run afterwards without it.
std::vector<std::string> ReadStoredNames(LibraryConnection& connection) {
    std::vector<std::string> names;
    connection.ReadWith([&names](sqlite3* database) {
        names.clear();
        Statement statement(database, kStoredNamesSql);
        if (statement.Get() == nullptr) return sqlite3_errcode(database);
        int rc;
        while ((rc = sqlite3_step(statement.Get())) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement.Get(), 0);
            if (text == nullptr) continue;
            const int bytes = sqlite3_column_bytes(statement.Get(), 0);
            names.emplace_back(reinterpret_cast<const char*>(text), static_cast<std::size_t>(bytes));
        }
        return rc;
    });
    return names;
}

// ASCII case folding: drive letters and share names compare without case.
std::u16string FoldCase(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& unit : folded)
        if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
    return folded;
}

// Names the scan leaves alone without asking the file system: stream URLs, and
// names the removal could not address exactly. Those are names that no path
// buffer holds, and malformed UTF-8, whose UTF-16 form turns back into the
// UTF-8 of another name.
bool AlwaysKept(const std::string& name, std::u16string_view path) {
    if (!FitsPathBuffer(path) || !platform::IsValidUtf8(name)) return true;
    return ClassifyTrackPath(path) == TrackPathKind::Url;
}

}  // namespace

// Answers for the scan, asking the tester once per sheet and once per volume.
class LinkJudge::Cache {
public:
    explicit Cache(ExistenceTester& tester) : tester_(tester) {}

    LinkVerdict Judge(std::u16string_view path) {
        const std::u16string_view text = ExistenceTestText(path);
        // "/x" or "//server/share/x": nothing before the slash to judge by.
        if (text.empty() && !path.empty()) return LinkVerdict::Kept;
        if (Exists(text, text.size() != path.size())) return LinkVerdict::Present;
        return Reachable(platform::VolumeRoot(text)) ? LinkVerdict::Missing : LinkVerdict::Offline;
    }

private:
    using Answers = std::unordered_map<std::u16string, bool>;

    bool Exists(std::u16string_view text, bool shared) {
        // Plain paths are unique keys; only a sheet's text recurs.
        if (!shared) return tester_.PathExists(text);
        return Ask(sheets_, text, &ExistenceTester::PathExists);
    }

    bool Reachable(const std::u16string& root) {
        if (root.empty()) return true;
        return Ask(volumes_, root, &ExistenceTester::VolumeReachable);
    }

    // The tester's answer for `text`, asked once per case-folded text.
    bool Ask(Answers& answers, std::u16string_view text, bool (ExistenceTester::*question)(std::u16string_view)) {
        std::u16string key = FoldCase(text);
        auto found = answers.find(key);
        if (found != answers.end()) return found->second;
        const bool answer = (tester_.*question)(text);
        answers.emplace(std::move(key), answer);
        return answer;
    }

    ExistenceTester& tester_;
    Answers sheets_;
    Answers volumes_;
};

LinkJudge::LinkJudge(ExistenceTester& tester) : cache_(std::make_unique<Cache>(tester)) {}

LinkJudge::~LinkJudge() = default;

LinkVerdict LinkJudge::Judge(const std::string& name) {
    const std::u16string path = platform::Utf8ToUtf16(name);
    if (AlwaysKept(name, path)) return LinkVerdict::Kept;
    return cache_->Judge(path);
}

std::u16string_view ExistenceTestText(std::u16string_view path) { return path.substr(0, path.find(u'/')); }

std::size_t CollectBrokenLinks(LibraryConnection& connection, ExistenceTester& tester, BatchPathList& out) {
    const std::vector<std::string> names = ReadStoredNames(connection);
    LinkJudge judge(tester);
    std::size_t collected = 0;
    for (const std::string& name : names) {
        if (judge.Judge(name) != LinkVerdict::Missing) continue;
        out.Append(platform::Utf8ToUtf16(name));
        ++collected;
    }
    return collected;
}

}  // namespace vellum
