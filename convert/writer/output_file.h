// Choosing the project file's name and opening it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

// Where `--check` sends the project text.
const char* null_device_path();

// The -o path when given; an -o path that names a folder (it ends with a separator, or a folder
// stands there) gets the session's name with ".rpp" in it. Without -o, the session path with its
// extension (the text from its last ".", when that dot lies after the last separator) replaced by
// ".rpp". The folders are parted by the system's separators: "\\" parts them on Windows only.
std::string project_output_name(const std::string& output_path, const std::string& session_path);

// The path with " (n)" put before its extension (at its end when it has none).
std::string numbered_output_name(const std::string& path, int n);

// Closes the project file; holds the file's buffer, which must outlive it.
struct FileCloser {
    std::unique_ptr<char[]> buffer;
    void operator()(std::FILE* file) const;
};
using ProjectFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens the project file for writing. `--check` writes to the null device and probes no name.
// Without `--overwrite` the file is created only where nothing stands, exclusively, so that an
// existing file (or one another conversion made a moment ago) is kept: the first free " (n)"
// name is taken instead, said on the console, and stored in `path`. The path's missing folders
// are made first (said on the console), and taken away again when the project cannot be
// written into them. On failure the console gets "Could not write" and the result is empty.
ProjectFile open_project_output(std::string& path, bool check, bool overwrite, int last = 9999);
