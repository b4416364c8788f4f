// A fixture for tests that go through the plugin's process-wide state: the
// library opened in a fresh folder and the fake audio library bound, both
// undone after each test.
#pragma once

#include <gtest/gtest.h>

#include "plugin/library_database.h"
#include "probe_fakes.h"
#include "temp_folder.h"

namespace vellum {

class PluginLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        ASSERT_TRUE(Library().database.Open(folder_.path() + "/vellumdb.db"));
        testing::FakeAudio::Instance().Reset();
        Library().audio = testing::FakeAudio::Instance().Bound();
    }
    void TearDown() override {
        Library().database.Close();
        Library().audio = AudioLibrary{};
    }

    TempFolder folder_;
};

}  // namespace vellum
