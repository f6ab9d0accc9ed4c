#include "convert/writer/output_file.h"

#include <filesystem>
#include <system_error>

#include "app/output.h"
#include "platform/paths.h"

namespace {

// Where the extension starts: the last "." after the last separator, or npos.
std::size_t extension_start(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos) return std::string::npos;
    const std::size_t sep = path.find_last_of("/\\");
    if (sep != std::string::npos && dot < sep) return std::string::npos;
    return dot;
}

}  // namespace

const char* null_device_path() {
#ifdef _WIN32
    return "NUL";
#else
    return "/dev/null";
#endif
}

std::string project_output_name(const std::string& output_path, const std::string& session_path) {
    if (!output_path.empty()) return output_path;
    const std::size_t dot = extension_start(session_path);
    return session_path.substr(0, dot) + ".rpp";
}

std::string numbered_output_name(const std::string& path, int n) {
    const std::size_t dot = extension_start(path);
    const std::string stem = path.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : path.substr(dot);
    return stem + " (" + std::to_string(n) + ")" + extension;
}

bool output_path_taken(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(native_path(path), ec));
}

std::optional<std::string> free_output_name(const std::string& path, int last) {
    for (int n = 1; n <= last; ++n) {
        std::string candidate = numbered_output_name(path, n);
        if (!output_path_taken(candidate)) return candidate;
    }
    return std::nullopt;
}

void FileCloser::operator()(std::FILE* file) const {
    if (file) std::fclose(file);
}

namespace {

// The project text goes out in large writes: a project of many megabytes in a few hundred calls.
constexpr std::size_t kProjectBufferSize = std::size_t{1} << 20;

// The buffer is the program's own: given none, glibc keeps its block-sized one whatever size is
// asked for, and a project of many megabytes would go out in thousands of 4 KiB writes.
ProjectFile open_buffered(const char* path) {
    ProjectFile file(std::fopen(path, "wb"));
    if (file) {
        file.get_deleter().buffer = std::make_unique_for_overwrite<char[]>(kProjectBufferSize);
        std::setvbuf(file.get(), file.get_deleter().buffer.get(), _IOFBF, kProjectBufferSize);
    }
    return file;
}

// Makes the folders of the path that do not exist yet: a user naming "Mixes/x.rpp" wants the
// project there. Says what it made, or why the project cannot be written.
bool make_missing_folders(const std::string& path) {
    const std::size_t sep = path.find_last_of("/\\");
    if (sep == std::string::npos || sep == 0) return true;
    const std::string folder = path.substr(0, sep);
    std::error_code ec;
    const std::filesystem::path native = native_path(folder);
    if (std::filesystem::is_directory(native, ec)) return true;
    if (!std::filesystem::create_directories(native, ec) || ec) {
        say("\nCould not write %s\n  (its folder %s is missing and could not be made)\n",
            path.c_str(), folder.c_str());
        return false;
    }
    say("\n  %s did not exist - made it for the project\n", folder.c_str());
    return true;
}

}  // namespace

ProjectFile open_project_output(std::string& path, bool check, bool overwrite, int last) {
    if (check) {
        ProjectFile sink = open_buffered(null_device_path());
        if (!sink) say("\nCould not write %s\n", null_device_path());
        return sink;
    }
    if (!overwrite && output_path_taken(path)) {
        std::optional<std::string> free_name = free_output_name(path, last);
        if (!free_name) {
            // Every numbered name is taken: refuse rather than replace a file unasked.
            say("\nCould not write %s\n", path.c_str());
            return nullptr;
        }
        say("\n  %s already exists - writing %s instead\n  (--overwrite to replace it)\n",
            path.c_str(), free_name->c_str());
        path = *free_name;
    }
    if (!make_missing_folders(path)) return nullptr;
    ProjectFile file = open_buffered(path.c_str());
    if (!file) say("\nCould not write %s\n", path.c_str());
    return file;
}
