// Choosing the project file's name and opening it.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

// Where `--check` sends the project text.
const char* null_device_path();

// The -o path when given; otherwise the session path with its extension (the text from its last
// ".", when that dot lies after the last "/" or "\") replaced by ".rpp".
std::string project_output_name(const std::string& output_path, const std::string& session_path);

// The path with " (n)" put before its extension (at its end when it has none).
std::string numbered_output_name(const std::string& path, int n);

// Something already stands at the path: a file (readable or not), a folder or a link.
bool output_path_taken(const std::string& path);

// The first of "stem (1).ext" .. "stem (last).ext" that is free; none when all are taken.
std::optional<std::string> free_output_name(const std::string& path, int last = 9999);

// Closes the project file; holds the file's buffer, which must outlive it.
struct FileCloser {
    std::unique_ptr<char[]> buffer;
    void operator()(std::FILE* file) const;
};
using ProjectFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens the project file for writing. `--check` writes to the null device and probes no name.
// Without `--overwrite` an existing file is kept: the first free " (n)" name is taken instead,
// said on the console, and stored in `path`. The path's missing folders are made first (said
// on the console). On failure the console gets "Could not write" and the result is empty.
ProjectFile open_project_output(std::string& path, bool check, bool overwrite, int last = 9999);
