#include "convert/writer/output_file.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "app/output.h"
#include "platform/new_file.h"
#include "platform/paths.h"
#include "util/files.h"

namespace {

// Where the extension starts: the last "." after the last "/" or "\\", or npos. No extension
// holds a "\\", on any system.
std::size_t extension_start(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos) return std::string::npos;
    const std::size_t sep = path.find_last_of("/\\");
    if (sep != std::string::npos && dot < sep) return std::string::npos;
    return dot;
}

bool ends_with_separator(const std::string& path) {
    return !path.empty() && path_separators.find(path.back()) != std::string_view::npos;
}

// An -o path that names a folder: one ending in a separator, or a folder that exists.
bool names_a_folder(const std::string& path) {
    return ends_with_separator(path) || is_folder(path);
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
    const std::string beside = session_path.substr(0, extension_start(session_path)) + ".rpp";
    if (output_path.empty()) return beside;
    if (!names_a_folder(output_path)) return output_path;
    // The session's own name, in the folder named.
    const std::size_t sep = last_path_separator(beside);
    const std::string name = sep == std::string::npos ? beside : beside.substr(sep + 1);
    std::string folder = output_path;
    while (folder.size() > 1 && ends_with_separator(folder)) folder.pop_back();
    return join_path(folder, name);
}

std::string numbered_output_name(const std::string& path, int n) {
    const std::size_t dot = extension_start(path);
    const std::string stem = path.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : path.substr(dot);
    return stem + " (" + std::to_string(n) + ")" + extension;
}

void FileCloser::operator()(std::FILE* file) const {
    if (file) std::fclose(file);
}

namespace {

// The project text goes out in large writes: a project of many megabytes in a few hundred calls.
constexpr std::size_t kProjectBufferSize = std::size_t{1} << 20;

// The buffer is the program's own: given none, glibc keeps its block-sized one whatever size is
// asked for, and a project of many megabytes would go out in thousands of 4 KiB writes.
ProjectFile buffered(std::FILE* opened) {
    ProjectFile file(opened);
    if (file) {
        file.get_deleter().buffer = std::make_unique_for_overwrite<char[]>(kProjectBufferSize);
        std::setvbuf(file.get(), file.get_deleter().buffer.get(), _IOFBF, kProjectBufferSize);
    }
    return file;
}

// The folders made for one project, deepest last, so that they can be taken away again when the
// project cannot be written into them after all.
struct MadeFolders {
    std::vector<std::filesystem::path> folders;
    // Removes the folders made, deepest first; one that holds anything by now stays.
    void take_back() const {
        std::error_code ec;
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            std::filesystem::remove(*it, ec);
    }
};

// Makes the folders of the path that do not exist yet: a user naming "Mixes/x.rpp" wants the
// project there. Says what it made, or why the project cannot be written.
bool make_missing_folders(const std::string& path, MadeFolders& made) {
    const std::size_t sep = last_path_separator(path);
    if (sep == std::string::npos || sep == 0) return true;
    const std::string folder = path.substr(0, sep);
    std::error_code ec;
    const std::filesystem::path native = native_path(folder);
    if (std::filesystem::is_directory(native, ec)) return true;
    // The folders that are missing, from the deepest up to the first that stands.
    std::vector<std::filesystem::path> missing;
    std::filesystem::path at = native;
    while (!at.empty() && !std::filesystem::exists(std::filesystem::symlink_status(at, ec))) {
        missing.push_back(at);
        if (at == at.parent_path() || !at.has_relative_path()) break;
        at = at.parent_path();
    }
    if (!at.empty() && std::filesystem::exists(std::filesystem::symlink_status(at, ec)) &&
        !std::filesystem::is_directory(at, ec)) {
        say("\nCould not write %s\n  (%s is a file, not a folder)\n", path.c_str(),
            path_text(at).c_str());
        return false;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!std::filesystem::create_directory(*it, ec) && !std::filesystem::is_directory(*it)) {
            made.take_back();
            say("\nCould not write %s\n  (its folder %s is missing and could not be made)\n",
                path.c_str(), folder.c_str());
            return false;
        }
        made.folders.push_back(*it);
    }
    if (!made.folders.empty())
        say("\n  %s did not exist - made it for the project\n", folder.c_str());
    return true;
}

// The path itself when nothing stands there, else the first free " (n)" name, each created
// exclusively: another conversion that chose the same name at the same moment keeps its file.
ProjectFile create_first_free(std::string& path, int last) {
    for (int n = 0; n <= last; ++n) {
        const std::string candidate = n == 0 ? path : numbered_output_name(path, n);
        std::FILE* file = nullptr;
        const NewFileResult result = create_new_file(candidate, file);
        if (result == NewFileResult::taken) continue;
        if (result == NewFileResult::failed) break;
        if (n != 0) {
            say("\n  %s already exists - writing %s instead\n  (--overwrite to replace it)\n",
                path.c_str(), candidate.c_str());
            path = candidate;
        }
        return buffered(file);
    }
    // A name that cannot be created, or every numbered name taken: refuse rather than replace a
    // file unasked.
    say("\nCould not write %s\n", path.c_str());
    return nullptr;
}

}  // namespace

ProjectFile open_project_output(std::string& path, bool check, bool overwrite, int last) {
    if (check) {
        ProjectFile sink = buffered(std::fopen(null_device_path(), "wb"));
        if (!sink) say("\nCould not write %s\n", null_device_path());
        return sink;
    }
    MadeFolders made;
    if (!make_missing_folders(path, made)) return nullptr;
    ProjectFile file;
    if (overwrite) {
        file = buffered(std::fopen(path.c_str(), "wb"));
        if (!file) say("\nCould not write %s\n", path.c_str());
    } else {
        file = create_first_free(path, last);
    }
    if (!file) made.take_back();
    return file;
}
