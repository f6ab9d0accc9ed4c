// What differs between the systems the program runs on, for the paths it opens and builds.
//
// The program keeps every path as a byte string in UTF-8 and hands it to `fopen` as it is: on
// Windows the program's manifest makes UTF-8 the process's code page, so `fopen` and the
// command line speak UTF-8 there too. Only `std::filesystem` needs a word of conversion, because
// on Windows its narrow strings are not read as UTF-8: `native_path` and `path_text` carry a path
// across in both directions. Paths the program builds join their parts with the separator of
// the system it runs on, so that a Windows path is written with "\" throughout.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

// The bytes that part a path's folders on this system: "\" and "/" on Windows, "/" elsewhere,
// where a "\" is a byte of a name like any other.
#ifdef _WIN32
inline constexpr std::string_view path_separators = "\\/";
#else
inline constexpr std::string_view path_separators = "/";
#endif

// Where the path's last separator stands, or npos.
inline std::size_t last_path_separator(std::string_view path) {
    return path.find_last_of(path_separators);
}

// `folder`, the system's separator, then `name`.
std::string join_path(std::string_view folder, std::string_view name);

// The path a UTF-8 text names. Never throws: on Windows a byte that is not UTF-8 stands for
// U+FFFD, so the path then names no file that exists.
std::filesystem::path native_path(const std::string& text);

// A path as UTF-8 text.
std::string path_text(const std::filesystem::path& path);

// The program's own file as the system names it (Linux: the process's executable link; macOS:
// the executable path; Windows: the module file name), in UTF-8. `argv0` when the system cannot
// say, so a program started through PATH still finds the tables beside it where it can.
std::string program_file_path(const char* argv0);
