// REAPER cache files and plug-in tables as the tests write them, and a test environment whose
// HOME, APPDATA and current folder are empty temporary folders.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace plugin_fixtures {

// One line of REAPER's VST cache: "file=TIMESTAMP,ID,NAME".
inline std::string vst_line(const std::string& file, const std::string& id,
                            const std::string& name) {
    return file + "=00A1B2C3D4E5F601," + id + "," + name + "\n";
}

inline std::string vst_cache(const std::vector<std::string>& lines) {
    std::string text = "[vstcache]\n";
    for (const std::string& line : lines) text += line;
    return text;
}

// A CLAP cache section: "[file]", the timestamp line, then "id=FLAGS|NAME" lines.
inline std::string clap_section(const std::string& file, const std::vector<std::string>& lines) {
    std::string text = "[" + file + "]\n_=00A1B2C3D4E5F601\n";
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// REAPER's own plug-ins, as its cache lists them.
inline const std::string kReaEq = vst_line("reaeq.dll", "1919247729", "ReaEQ (Cockos)");
inline const std::string kReaComp = vst_line("reacomp.dll", "1919247213", "ReaComp (Cockos)");
inline const std::string kReaGate = vst_line("reagate.dll", "1919248244", "ReaGate (Cockos)");

// "VST" followed by the 4 bytes of `code` and `tail`, as 32 hex digits.
inline std::string class_id(const std::string& code, const std::string& tail = "") {
    std::string bytes = "VST" + code + tail;
    bytes.resize(16, '\0');
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// HOME, APPDATA and the current folder point at empty temporary folders for the test's life.
class HermeticFolders {
  public:
    HermeticFolders() {
        std::filesystem::create_directory(home.path() / "h");
        save("HOME", home.path() / "h");
        std::filesystem::create_directory(home.path() / "a");
        save("APPDATA", home.path() / "a");
        previous_dir_ = std::filesystem::current_path();
        std::filesystem::current_path(current.path());
    }
    ~HermeticFolders() {
        std::filesystem::current_path(previous_dir_);
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    std::string home_dir() const { return (home.path() / "h").string(); }
    std::string appdata_dir() const { return (home.path() / "a").string(); }

    test_support::TempDir home;
    test_support::TempDir current;

  private:
    void save(const std::string& name, const std::filesystem::path& value) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name.c_str(), value.string().c_str(), 1);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    std::filesystem::path previous_dir_;
};

}  // namespace plugin_fixtures
