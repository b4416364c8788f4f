// A fixture for tests that go through the plugin's process-wide state: the
// library opened in a fresh folder and the fake audio library bound, both
// undone after each test.
#pragma once

#include <gtest/gtest.h>

#include "api/plugin_state.h"
#include "probe_fakes.h"
#include "temp_folder.h"

namespace vellum {

class PluginLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        ASSERT_TRUE(State().connection.Open(folder_.path() + "/vellumdb.db"));
        testing::FakeAudio::Instance().Reset();
        State().audio = testing::FakeAudio::Instance().Bound();
    }
    void TearDown() override {
        State().connection.Close();
        State().audio = AudioLibrary{};
    }

    TempFolder folder_;
};

}  // namespace vellum
