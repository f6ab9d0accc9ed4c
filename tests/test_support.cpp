#include "tests/test_support.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace test_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    for (;;) {
        path_ = fs::temp_directory_path() / ("lanwick-test-" + std::to_string(rd()));
        if (fs::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

// Running the program needs a POSIX shell: the Windows build of the tests has none.
#ifndef _WIN32
namespace {

std::string shell_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

// The program placed in `folder`: a hard link to the build, or a copy where linking fails.
std::string place_program(const fs::path& folder) {
    const fs::path program = folder / fs::path(LANWICK_BINARY).filename();
    std::error_code ec;
    fs::remove(program, ec);
    fs::create_hard_link(LANWICK_BINARY, program, ec);
    if (ec) fs::copy_file(LANWICK_BINARY, program, fs::copy_options::overwrite_existing);
    return program.string();
}

}  // namespace

RunResult run_lanwick(const std::vector<std::string>& args, const RunSetup& setup) {
    TempDir dir;
    const auto folder = [&](const std::string& given, const char* name) {
        if (!given.empty()) return given;
        fs::create_directory(dir.path() / name);
        return (dir.path() / name).string();
    };
    const std::string program = place_program(folder(setup.program_dir, "program"));
    std::string out_file = dir.file("out"), err_file = dir.file("err");
    std::string cmd = "cd " + shell_quote(folder(setup.current_dir, "current")) +
                      " && export HOME=" + shell_quote(folder(setup.home, "home")) +
                      " APPDATA=" + shell_quote(folder(setup.appdata, "appdata"));
    const fs::path program_file(program);
    if (setup.through_path)
        cmd += " PATH=" + shell_quote(program_file.parent_path().string()) + ":\"$PATH\" && " +
               setup.env + " " + shell_quote(program_file.filename().string());
    else
        cmd += " && " + setup.env + " " + shell_quote(program);
    for (const std::string& a : args) cmd += " " + shell_quote(a);
    cmd += " </dev/null >" + shell_quote(out_file) + " 2>" + shell_quote(err_file);
    int status = std::system(cmd.c_str());
    RunResult r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_file(out_file);
    r.err = read_file(err_file);
    std::error_code ec;
    if (!setup.program_dir.empty()) fs::remove(fs::path(program), ec);
    return r;
}

#endif  // _WIN32

std::string real_session(const std::string& name) {
    fs::path p = fs::path(LANWICK_SESSIONS_DIR) / name;
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return {};
    return p.string();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

}  // namespace test_support

namespace {

// The real sessions' folder belongs to nobody's tests: fail any run that leaves a file there.
class SessionsFolderUntouched : public ::testing::Environment {
  public:
    void SetUp() override { before_ = listing(); }
    void TearDown() override {
        EXPECT_EQ(listing(), before_) << "a test wrote into " << LANWICK_SESSIONS_DIR;
    }

  private:
    static std::vector<std::string> listing() {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(LANWICK_SESSIONS_DIR, ec))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> before_;
};

const auto* const sessions_folder_guard =
    ::testing::AddGlobalTestEnvironment(new SessionsFolderUntouched);

}  // namespace
