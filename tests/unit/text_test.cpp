#include <gtest/gtest.h>

#include "platform/seam.h"
#include "platform/test_hooks.h"
#include "platform/text.h"

namespace vellum::platform {
namespace {

TEST(TextConversion, RoundTripsBmpAndSupplementaryCharacters) {
    const std::u16string wide = u"C:\\音楽\\Don't \U0001F3B5.flac";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(wide)), wide);
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F3B5"), "\xF0\x9F\x8E\xB5");
}

TEST(TextConversion, LoneSurrogatesAndMalformedUtf8BecomeReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");       // overlong form
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("ab\xE3\x81"), u"ab\uFFFD\uFFFD");   // cut sequence
}

TEST(AnsiCodePage, ConvertsShiftJisWhenCodePage932IsInForce) {
    SetAnsiCodePageForTesting(932);
    EXPECT_EQ(AnsiToWide("\x89\xb9\x8a\x79"), u"音楽");
    EXPECT_EQ(WideToAnsi(u"音楽"), "\x89\xb9\x8a\x79");
    SetAnsiCodePageForTesting(1252);
    EXPECT_EQ(WideToAnsi(u"音"), "?");
    EXPECT_EQ(AnsiToWide("caf\xe9"), u"café");
}

TEST(HeapFaultInjection, FailsExactlyTheChosenAllocation) {
    FailHeapAllocationAfter(1);
    void* first = HeapAllocZeroed(8);
    void* second = HeapAllocZeroed(8);
    void* third = HeapAllocZeroed(8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    HeapRelease(first);
    HeapRelease(third);
}

}  // namespace
}  // namespace vellum::platform
