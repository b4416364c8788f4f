// The listener list: membership, order, and walks whose listeners change the list.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "api/listener_list.h"

namespace vellum {
namespace {

// Listeners are plain functions, so the list they change and what they heard
// are globals. Each appends its letter; some change the list as well.
ListenerList* g_list = nullptr;
std::string g_heard;

template <char Letter>
intptr_t __stdcall Hear(void*, std::uint32_t, std::uintptr_t, std::intptr_t) {
    g_heard += Letter;
    if (Letter == 'X') g_list->Remove(Hear<'X'>);  // removes itself
    if (Letter == 'R') g_list->Remove(Hear<'Y'>);  // removes one already called
    if (Letter == 'A') g_list->Add(Hear<'W'>);     // adds one at the end
    if (Letter == 'D') g_list->Remove(Hear<'Z'>);  // removes one not yet called
    return 0;
}

class ListenerListTest : public ::testing::Test {
protected:
    void SetUp() override { g_list = &list_; }
    void Add(std::initializer_list<VellumListener> listeners) {
        for (VellumListener listener : listeners) list_.Add(listener);
    }
    std::string Walk() {
        g_heard.clear();
        list_.FanOut(nullptr, 0, 0, 0);
        return g_heard;
    }
    ListenerList list_;
};

TEST_F(ListenerListTest, HoldsEachListenerOnceInInsertionOrder) {
    Add({Hear<'Y'>, Hear<'Z'>, Hear<'Y'>, nullptr});
    list_.Remove(Hear<'W'>);  // never added: nothing changes
    EXPECT_EQ(Walk(), "YZ");
    list_.Remove(Hear<'Y'>);
    EXPECT_EQ(Walk(), "Z");
    list_.Remove(Hear<'Z'>);
    EXPECT_TRUE(list_.Snapshot().empty());
}

TEST_F(ListenerListTest, PassesTheMessageThrough) {
    static std::string seen;
    list_.Add([](void* window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) -> intptr_t {
        seen = std::to_string(reinterpret_cast<std::uintptr_t>(window)) + ',' + std::to_string(message) + ',' +
               std::to_string(wParam) + ',' + std::to_string(lParam);
        return 0;
    });
    list_.FanOut(reinterpret_cast<void*>(0x1234), 49200, 1, -7);
    EXPECT_EQ(seen, "4660,49200,1,-7");
}

TEST_F(ListenerListTest, RemovingTheCalledOrAnEarlierListenerSkipsNoOne) {
    Add({Hear<'X'>, Hear<'Y'>, Hear<'Z'>});
    EXPECT_EQ(Walk(), "XYZ");
    EXPECT_EQ(Walk(), "YZ");
    Add({Hear<'R'>, Hear<'W'>});
    EXPECT_EQ(Walk(), "YZRW");
    EXPECT_EQ(Walk(), "ZRW");
}

TEST_F(ListenerListTest, AddedListenersAreCalledAndRemovedOnesAreNotWithinTheWalk) {
    Add({Hear<'A'>, Hear<'Y'>});
    EXPECT_EQ(Walk(), "AYW");
    EXPECT_EQ(Walk(), "AYW");  // W is there once
    list_.Remove(Hear<'A'>);
    Add({Hear<'D'>, Hear<'Z'>});
    EXPECT_EQ(Walk(), "YWD");
}

// Another thread adds and removes listeners while fan-outs run; the walk holds
// no lock while a listener runs, and a listener present throughout hears all.
TEST_F(ListenerListTest, ChangesFromOtherThreadsDuringFanOutAreSafe) {
    static std::atomic<int> calls{0};
    VellumListener counts = [](void*, std::uint32_t, std::uintptr_t, std::intptr_t) -> intptr_t {
        calls.fetch_add(1, std::memory_order_relaxed);
        return 0;
    };
    calls = 0;
    list_.Add(counts);
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int round = 0; round < 2000; ++round) {
            list_.Add(counts);
            list_.Add(Hear<'Y'>);
            list_.Remove(Hear<'Y'>);
        }
        stop = true;
    });
    int walks = 0;
    for (; !stop || walks < 10; ++walks) list_.FanOut(nullptr, 0, 0, 0);
    changer.join();
    EXPECT_EQ(calls.load(), walks);
    EXPECT_EQ(list_.Snapshot(), std::vector<VellumListener>{counts});
}

}  // namespace
}  // namespace vellum
