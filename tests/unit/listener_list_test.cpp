// The listener list: membership, order, and walks whose listeners change the list.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

#include "api/listener_list.h"

namespace vellum {
namespace {

// Listeners are plain functions, so the list they change, what each does when
// called and what they heard are globals. Each appends its letter, then runs
// its script: "-B+B" removes B and adds it again.
ListenerList* g_list = nullptr;
std::string g_heard;
std::map<char, std::string> g_scripts;

template <char Letter>
intptr_t __stdcall Hear(void*, std::uint32_t, std::uintptr_t, std::intptr_t);

VellumListener ListenerFor(char letter) {
    static const std::map<char, VellumListener> listeners = {
        {'A', Hear<'A'>}, {'B', Hear<'B'>}, {'C', Hear<'C'>}, {'D', Hear<'D'>}, {'E', Hear<'E'>}};
    return listeners.at(letter);
}

template <char Letter>
intptr_t __stdcall Hear(void*, std::uint32_t, std::uintptr_t, std::intptr_t) {
    g_heard += Letter;
    // A walk that never ends must still let the test fail rather than hang:
    // a correct walk calls each of the five listeners once at most.
    constexpr std::size_t kRunawayWalk = 40;
    if (g_heard.size() > kRunawayWalk) return 0;
    const auto found = g_scripts.find(Letter);
    const std::string script = found != g_scripts.end() ? found->second : std::string();
    for (std::size_t i = 0; i + 1 < script.size(); i += 2) {
        if (script[i] == '+') g_list->Add(ListenerFor(script[i + 1]));
        if (script[i] == '-') g_list->Remove(ListenerFor(script[i + 1]));
    }
    return 0;
}

class ListenerListTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_list = &list_;
        g_scripts.clear();
    }
    void Add(const std::string& letters) {
        for (char letter : letters) list_.Add(ListenerFor(letter));
    }
    std::string Walk() {
        g_heard.clear();
        list_.FanOut(nullptr, 0, 0, 0);
        return g_heard;
    }
    ListenerList list_;
};

TEST_F(ListenerListTest, HoldsEachListenerOnceInInsertionOrder) {
    Add("BCB");
    list_.Add(nullptr);
    list_.Remove(Hear<'E'>);  // never added: nothing changes
    EXPECT_EQ(Walk(), "BC");
    list_.Remove(Hear<'B'>);
    EXPECT_EQ(Walk(), "C");
    list_.Remove(Hear<'C'>);
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

// A listener changes the list while it is being called: itself or another,
// before or after that one's turn; removing, adding, or both. Each function is
// called at most once per walk; the second walk shows the order left behind.
struct WalkCase {
    const char* what;
    const char* list;
    std::map<char, std::string> scripts;
    const char* firstWalk;
    const char* secondWalk;
};

TEST_F(ListenerListTest, ChangesDuringAWalkCallEachListenerAtMostOnce) {
    const WalkCase cases[] = {
        {"self removed", "ABC", {{'B', "-B"}}, "ABC", "AC"},
        {"self removed and added again", "ABC", {{'B', "-B+B"}}, "ABC", "ACB"},
        {"self added again while held", "ABC", {{'B', "+B"}}, "ABC", "ABC"},
        {"other removed after its turn", "ABC", {{'B', "-A"}}, "ABC", "BC"},
        {"other removed before its turn", "ABC", {{'A', "-B"}}, "AC", "AC"},
        {"other removed and added again after its turn", "ABC", {{'B', "-A+A"}}, "ABC", "BCA"},
        {"other removed and added again before its turn", "ABC", {{'A', "-B+B"}}, "ACB", "ACB"},
        {"other removed, then added again by a third", "ABC", {{'A', "-C"}, {'B', "+C"}}, "ABC", "ABC"},
        {"new one added", "AB", {{'A', "+D"}}, "ABD", "ABD"},
        {"new one added runs after a re-added one", "ABC", {{'A', "+D-B+B"}}, "ACBD", "ACDB"},
        {"new one removes and adds itself again", "AB", {{'A', "+E"}, {'E', "-E+E"}}, "ABE", "ABE"},
        {"new one added, then removed before its turn", "AB", {{'A', "+D"}, {'B', "-D"}}, "AB", "AB"},
        {"every listener removes every listener", "ABC", {{'A', "-A-B-C"}}, "A", ""},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (VellumListener listener : list_.Snapshot()) list_.Remove(listener);
        g_scripts = c.scripts;
        Add(c.list);
        EXPECT_EQ(Walk(), c.firstWalk);
        EXPECT_EQ(Walk(), c.secondWalk);
    }
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
