#include "platform/paths.h"

#include <vector>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(__APPLE__)
#include <mach-o/dyld.h>

#include <cstdint>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32

std::wstring wide_from_utf8(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring out(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), wide);
    return out;
}

std::string utf8_from_wide(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string own_program_file() {
    // The module name is cut without an error when the buffer is short: grow until it fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int tries = 0; tries < 8; ++tries) {
        const DWORD got =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0) return {};
        if (got < buffer.size()) return utf8_from_wide(std::wstring_view(buffer.data(), got));
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

#elif defined(__APPLE__)

std::string own_program_file() {
    std::uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);  // tells the size the path needs
    std::vector<char> buffer(size + 1, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0) return {};
    return std::string(buffer.data());
}

#else

std::string own_program_file() {
    // readlink does not say when it cut the link text: a result that fills the buffer may be cut.
    std::vector<char> buffer(4096);
    for (int tries = 0; tries < 8; ++tries) {
        const ssize_t got = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (got <= 0) return {};
        if (static_cast<std::size_t>(got) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(got));
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

#endif

}  // namespace

std::string join_path(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += path_separator;
    path += name;
    return path;
}

std::filesystem::path native_path(const std::string& text) {
#ifdef _WIN32
    return std::filesystem::path(wide_from_utf8(text));
#else
    return std::filesystem::path(text);
#endif
}

std::string path_text(const std::filesystem::path& path) {
#ifdef _WIN32
    return utf8_from_wide(path.native());
#else
    return path.native();
#endif
}

std::string program_file_path(const char* argv0) {
    std::string own = own_program_file();
    if (!own.empty()) return own;
    return argv0 ? std::string(argv0) : std::string();
}
