// vellum_bench: runs in a work folder of its own, made under $VELLUM_BENCH_DIR
// (default: the system's temporary folder) and removed at the end. The data
// sets are built there on first use and shared by the benchmarks of one run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "library/sqlite_settings.h"

namespace {

namespace fs = std::filesystem;

class WorkFolder {
public:
    WorkFolder() {
        const char* parent = std::getenv("VELLUM_BENCH_DIR");
        std::string pattern =
            (parent != nullptr ? fs::path(parent) : fs::temp_directory_path()) / "vellum-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
            std::perror("vellum_bench: work folder");
            std::exit(2);
        }
        path_ = pattern;
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::current_path(path_.parent_path(), ignored);
        fs::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// Whether SQLite keeps memory statistics in this run: with them off, an open
// connection shows no memory in use.
const char* MemoryStatistics() {
    sqlite3* probe = nullptr;
    sqlite3_open(":memory:", &probe);
    const bool kept = sqlite3_memory_used() > 0;
    sqlite3_close(probe);
    return kept ? "on" : "off";
}

// --benchmark_out names a file relative to where the run started, not to the
// work folder it moves into.
std::vector<std::string> AbsoluteOutput(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    const std::string flag = "--benchmark_out=";
    for (std::string& argument : arguments)
        if (argument.compare(0, flag.size(), flag) == 0)
            argument = flag + fs::absolute(argument.substr(flag.size())).string();
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments = AbsoluteOutput(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    argc = static_cast<int>(pointers.size());
    pointers.push_back(nullptr);
    argv = pointers.data();
    // Static, so that a run that stops early through std::exit removes it too.
    static WorkFolder folder;
    // The plugin's SQLite settings, before any connection opens: the floors and
    // ceilings run on the same SQLite as the plugin's own statements.
    vellum::ApplySqliteSettings();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("sqlite", sqlite3_libversion());
    benchmark::AddCustomContext("sqlite_memory_statistics", MemoryStatistics());
    benchmark::AddCustomContext("work_folder", folder.Path().string());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
