// Temporary folders for tests that write files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace vellum {

// A fresh folder, removed with everything in it at scope end. In memory
// (/dev/shm) where the system has it: the tests' many small commits then cost
// no disk syncs, which only slow a test down and prove nothing here.
class TempFolder {
public:
    TempFolder() {
        const bool inMemory = std::filesystem::is_directory("/dev/shm");
        char pattern[] = "/dev/shm/vellumdb-test-XXXXXX";
        char fallback[] = "/tmp/vellumdb-test-XXXXXX";
        char* made = mkdtemp(inMemory ? pattern : fallback);
        if (made == nullptr && inMemory) made = mkdtemp(fallback);
        if (made != nullptr) path_ = made;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A TempFolder that is the working folder for its lifetime. Cue-track paths
// end at their first "/", so natively a sheet is named relative to it.
class WorkingFolder {
public:
    WorkingFolder() : previous_(std::filesystem::current_path()) {
        if (!folder_.path().empty()) std::filesystem::current_path(folder_.path());
    }
    ~WorkingFolder() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    const std::string& path() const { return folder_.path(); }

private:
    std::filesystem::path previous_;
    TempFolder folder_;
};

}  // namespace vellum
