#include "util/files.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"

bool file_opens_for_reading(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(native_path(path), ec)) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

bool is_folder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(native_path(path), ec);
}
