#include "plugins/table_lines.h"

#include <cstdio>
#include <cstring>

namespace {

void take_line(std::string_view line, std::size_t buffer_size,
               const std::function<void(std::string_view)>& take) {
    // The newline (or the end of the file) and the terminating NUL must fit in the buffer.
    if (line.size() + 2 > buffer_size) return;
    if (line.find('\0') != std::string_view::npos) return;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    take(line);
}

}  // namespace

bool read_table_lines(const std::string& path, std::size_t buffer_size,
                      const std::function<void(std::string_view)>& take) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::string text;
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    std::fclose(file);

    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) {
            take_line(rest, buffer_size, take);
            break;
        }
        take_line(rest.substr(0, end), buffer_size, take);
        rest.remove_prefix(end + 1);
    }
    return true;
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool leading_u32(std::string_view text, std::uint32_t& value) {
    std::uint64_t number = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        number = number * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (number > 0xFFFFFFFFull) return false;
    }
    if (i == 0) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}
