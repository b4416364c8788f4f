#include "api/library_interface.h"

#include <string>

#include "api/plugin_state.h"
#include "library/track_record.h"
#include "maintenance/pending_work.h"
#include "maintenance/register_file.h"
#include "platform/seam.h"
#include "platform/text.h"
#include "probe/probe_context.h"

namespace vellum::api {
namespace {

// A text field of the record by its getter's index, or null for a null record
// or an index out of range.
const char* TextAt(const TrackRecord* record, FieldGroup group, std::int32_t index) noexcept {
    const int column = ColumnOfField(group, index);
    return record == nullptr || column < 0 ? nullptr : TextField(*record, column);
}

// The track path of a caller's UTF-8 text in UTF-16.
std::u16string WidePath(const char* utf8Path) { return platform::Utf8ToUtf16(utf8Path); }

}  // namespace

sqlite3* __stdcall GetDatabaseHandle() {
    try {
        return State().connection.Handle();
    } catch (...) {
        return nullptr;
    }
}

const char* __stdcall GetDatabasePath() {
    try {
        return State().databasePath;
    } catch (...) {
        return nullptr;
    }
}

std::uint32_t __stdcall GetLastChangeTick() {
    try {
        return State().lastChangeTick.load();
    } catch (...) {
        return 0;
    }
}

std::int32_t __stdcall AddListener(VellumListener listener) {
    try {
        State().listeners.Add(listener);
    } catch (...) {
    }
    return 1;
}

std::int32_t __stdcall RemoveListener(VellumListener listener) {
    try {
        State().listeners.Remove(listener);
    } catch (...) {
    }
    return 1;
}

std::int32_t __stdcall AddFile(const char* utf8Path) {
    try {
        // Malformed UTF-8 would be stored under another name (U+FFFD in place of
        // the bad bytes) than the text the caller gave: write nothing instead.
        if (utf8Path == nullptr || !platform::IsValidUtf8(utf8Path)) return 1;
        const std::u16string path = WidePath(utf8Path);
        if (!IsUsableTrackPath(path)) return 1;
        PluginState& state = State();
        RegisterFile(state.Probe(), state.connection, 0, path, 0);
    } catch (...) {
    }
    return 1;
}

std::int32_t __stdcall RemoveFile(const char* utf8Path) {
    try {
        // The caller's text is the key as it stands: a conversion to UTF-16 and
        // back would turn bad bytes into U+FFFD and match another row.
        if (utf8Path == nullptr) return 1;
        RemoveTrack(State().connection, utf8Path);
    } catch (...) {
    }
    return 1;
}

VellumTrackRecord* __stdcall GetRecord(const char* utf8Path) {
    try {
        return ReadTrackRow(State().connection, utf8Path);
    } catch (...) {
        return nullptr;
    }
}

void __stdcall FreeRecord(VellumTrackRecord* record) { ReleaseTrackRecord(record); }

const char* __stdcall GetStringField(const VellumTrackRecord* record, std::int32_t index) {
    return TextAt(record, FieldGroup::File, index);
}

std::int32_t __stdcall GetNumberField(const VellumTrackRecord* record, std::int32_t index) {
    const int column = ColumnOfField(FieldGroup::Number, index);
    return record == nullptr || column < 0 ? 0 : NumberField(*record, column);
}

const char* __stdcall GetTagField(const VellumTrackRecord* record, std::int32_t index) {
    return TextAt(record, FieldGroup::Tag, index);
}

std::int32_t __stdcall GetTimeField(const VellumTrackRecord* record, std::int32_t selector, VellumSystemTime* out) {
    if (record == nullptr || out == nullptr) return 0;
    std::int32_t stored = 0;
    if (selector == VELLUMDB_TIME_LASTPLAYED) stored = record->lastplayed;
    else if (selector == VELLUMDB_TIME_MODIFY) stored = record->modify;
    else return 0;
    if (stored == 0) return 0;
    return SecondsToSystemTime(static_cast<std::uint32_t>(stored), *out) ? 1 : 0;
}

}  // namespace vellum::api

namespace vellum {

bool SecondsToSystemTime(std::uint32_t seconds, VellumSystemTime& out) noexcept {
    return platform::LocalTimeAt(static_cast<std::int64_t>(seconds), out);
}

// In slot order; the layout test pins each position.
const VellumLibraryInterface kLibraryInterface = {
    api::GetDatabaseHandle, api::GetDatabasePath, api::GetLastChangeTick, api::AddListener, api::RemoveListener,
    api::AddFile,           api::RemoveFile,      api::GetRecord,         api::FreeRecord,  api::GetStringField,
    api::GetNumberField,    api::GetTagField,     api::GetTimeField,
};

void FillLibraryInterface(VellumLibraryInterface& table) noexcept { table = kLibraryInterface; }

void NotifyListeners(VellumWindow window, unsigned message, VellumWParam wParam, VellumLParam lParam) noexcept {
    try {
        State().listeners.FanOut(window, message, wParam, lParam);
    } catch (...) {
    }
}

}  // namespace vellum
