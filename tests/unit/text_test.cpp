#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <thread>

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
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong form
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("ab\xE3\x81"), u"ab\uFFFD\uFFFD");        // cut sequence
}

TEST(AnsiCodePage, ConvertsShiftJisWhenCodePage932IsInForce) {
    SetAnsiCodePageForTesting(932);
    EXPECT_EQ(AnsiToWide("\x89\xb9\x8a\x79"), u"音楽");
    EXPECT_EQ(WideToAnsi(u"音楽"), "\x89\xb9\x8a\x79");
    SetAnsiCodePageForTesting(1252);
    EXPECT_EQ(WideToAnsi(u"音"), "?");
    EXPECT_EQ(AnsiToWide("caf\xe9"), u"café");
}

TEST(HeapFaultInjection, FailsExactlyTheChosenAllocationOfEveryAllocatorOnTheArmingThreadOnly) {
    FailHeapAllocationAfter(1);
    void* first = HeapAllocZeroed(8);
    void* second = HeapAllocZeroed(8);
    void* third = HeapAllocZeroed(8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_TRUE(HeapFaultInjected());
    HeapRelease(first);
    HeapRelease(third);

    // operator new and SQLite's allocator share the countdown. (Results are
    // checked unarmed: GoogleTest allocates too.)
    ASSERT_EQ(sqlite3_initialize(), SQLITE_OK);
    bool threw = false;
    FailHeapAllocationAfter(0);
    try {
        std::string text(100, 'x');
        EXPECT_EQ(text.size(), 0u);  // not reached
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    FailHeapAllocationAfter(0);
    void* sqliteBlock = sqlite3_malloc(16);
    // Persistent: the chosen allocation and every later one fail.
    FailHeapAllocationAfter(1, true);
    void* kept = sqlite3_malloc(16);
    void* refused = sqlite3_malloc(16);
    void* heapRefused = HeapAllocZeroed(8);
    FailHeapAllocationAfter(-1);
    EXPECT_TRUE(threw);
    EXPECT_EQ(sqliteBlock, nullptr);
    EXPECT_NE(kept, nullptr);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(heapRefused, nullptr);
    sqlite3_free(kept);

    // Another thread is never failed by this thread's arming.
    std::atomic<int> step{0};
    bool otherFailed = true;
    std::thread other([&] {
        while (step.load() == 0) std::this_thread::yield();
        void* block = HeapAllocZeroed(8);
        otherFailed = block == nullptr;
        HeapRelease(block);
        step = 2;
    });
    FailHeapAllocationAfter(0, true);
    step = 1;
    while (step.load() != 2) std::this_thread::yield();
    FailHeapAllocationAfter(-1);
    other.join();
    EXPECT_FALSE(otherFailed);
    EXPECT_FALSE(HeapFaultInjected());
}

TEST(HeapFaultInjection, OutstandingBlocksFollowTheSeamAndOperatorNew) {
    const long before = HeapBlocksOutstanding();
    void* block = HeapAllocZeroed(8);
    auto number = std::make_unique<int>(1);
    EXPECT_EQ(HeapBlocksOutstanding(), before + 2);
    HeapRelease(block);
    number.reset();
    EXPECT_EQ(HeapBlocksOutstanding(), before);
}

}  // namespace
}  // namespace vellum::platform
