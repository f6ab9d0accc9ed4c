// Shared by the tests: temporary folders, running the program, and the real sessions.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

struct RunResult {
    int exit_code = -1;
    std::string out;           // standard output
    std::string err;           // standard error
    double cpu_seconds = 0.0;  // processor time of the run (user and system, the shell's too)
};

// Where a run of the program happens. Every folder left empty is a fresh empty one, so a run
// never sees the machine's REAPER folders, the checkout or the build folder.
struct RunSetup {
    std::string env;            // "NAME=value" words set for the program only
    std::string current_dir;    // the current folder
    std::string home;           // HOME
    std::string appdata;        // APPDATA
    std::string program_dir;    // the folder the program copy runs from (its tables lie beside it)
    bool through_path = false;  // started by its bare name, found through PATH
    bool merge_err = false;     // standard error into the same file as standard output (out)
};

// Runs a copy of the built program with these arguments (each quoted for the shell), standard
// input empty.
RunResult run_lanwick(const std::vector<std::string>& args, const RunSetup& setup = {});

// The path of a real session, or empty when the sessions folder or the file is absent.
std::string real_session(const std::string& name);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

}  // namespace test_support

// Skips the current test, saying so, when the real session is absent.
#define REQUIRE_SESSION(var, name)                                                           \
    std::string var = test_support::real_session(name);                                      \
    if (var.empty())                                                                         \
    GTEST_SKIP() << "real session " << (name) << " not found under " << LANWICK_SESSIONS_DIR \
                 << "; skipped"
