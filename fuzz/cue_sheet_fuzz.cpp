// libFuzzer target for the cue-sheet parser. Arbitrary bytes go through
// encoding detection, line reading, tokenizing and a whole track read; the
// sanitizers catch overflows and the checks below catch broken bounds.
//
// Input layout: byte 0 picks the ANSI code page (bit 0: 932, else 1252),
// byte 1 the wanted track, byte 2 the chunk size the sheet is handed out in
// (0: all at once); the rest is the sheet.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "library/track_record.h"
#include "platform/test_hooks.h"
#include "probe/cue_sheet.h"

namespace {

using namespace vellum;

void Check(bool condition) {
    if (!condition) std::abort();
}

// Hands out the sheet a few bytes at a time, so block refills are exercised.
class ChunkedSource final : public SheetByteSource {
public:
    ChunkedSource(const std::uint8_t* data, std::size_t size, std::size_t chunk) noexcept
        : data_(data), size_(size), chunk_(chunk == 0 ? size + 1 : chunk) {}
    std::size_t Read(unsigned char* buffer, std::size_t bytes) noexcept override {
        const std::size_t count = std::min({bytes, chunk_, size_ - position_});
        if (count > 0) std::memcpy(buffer, data_ + position_, count);
        position_ += count;
        return count;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t chunk_;
    std::size_t position_ = 0;
};

void CheckTokens(std::u16string_view line) {
    std::size_t position = 0;
    for (;;) {
        const std::size_t before = position;
        const std::u16string_view token = NextSheetToken(line, position);
        Check(position >= before && position <= line.size());
        Check(token.data() >= line.data() && token.data() + token.size() <= line.data() + line.size());
        if (token.empty()) break;
    }
    Check(position == line.size());
}

void WalkLines(const std::uint8_t* data, std::size_t size, std::size_t chunk) {
    ChunkedSource source(data, size, chunk);
    SheetUnitReader reader(source);
    const bool wide = reader.Encoding() == SheetEncoding::Utf16Le || reader.Encoding() == SheetEncoding::Utf16Be;
    const std::size_t longest = (wide ? kMaxSheetLineUnits16 : kMaxSheetLineBytes) - 1;
    SheetLine line;
    while (ReadSheetLine(reader, line) == SheetLineStatus::Line) {
        Check(line.length <= longest && line.text[line.length] == u'\0');
        Check(line.View().find(u'\0') == std::u16string_view::npos);
        CheckTokens(line.View());
    }
}

void ReadTrack(const std::uint8_t* data, std::size_t size, std::size_t chunk, std::int32_t wanted) {
    RecordOwner record(NewTrackRecord());
    if (!record) return;
    ChunkedSource source(data, size, chunk);
    ParseCueSheet(source, wanted, *record);
    for (int column = 0; column < kColumnCount; ++column) {
        if (kColumns[column].kind == FieldKind::Number) {
            Check(NumberField(*record, column) == 0);
            continue;
        }
        const char* text = TextField(*record, column);
        // No value outgrows the line it came from: 519 units, 3 UTF-8 bytes each.
        if (text != nullptr) Check(column >= 13 && std::strlen(text) <= 3 * (kSheetTextUnits - 1));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    vellum::platform::SetAnsiCodePageForTesting((data[0] & 1) != 0 ? 932 : 1252);
    const std::int32_t wanted = data[1] % 100;
    const std::size_t chunk = data[2];
    WalkLines(data + 3, size - 3, chunk);
    ReadTrack(data + 3, size - 3, chunk, wanted);
    return 0;
}
