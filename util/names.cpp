#include "util/names.h"

#include <cstring>

#include "platform/paths.h"

namespace {

char lower_ascii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t last_separator(std::string_view path) {
    return path.find_last_of("/\\");
}

}  // namespace

std::string to_lower_copy(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower_ascii(c);
    return out;
}

std::string normalize_alnum_lower(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        char l = lower_ascii(c);
        if ((l >= 'a' && l <= 'z') || is_digit(l)) out.push_back(l);
    }
    return out;
}

std::string file_stem_alnum(std::string_view path) {
    std::string_view name = path;
    std::size_t sep = last_separator(name);
    if (sep != std::string_view::npos) name = name.substr(sep + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return normalize_alnum_lower(name);
}

std::string path_basename(std::string_view path) {
    std::size_t sep = last_separator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string cut_before_paren(std::string_view text) {
    std::size_t at = text.rfind(" (");
    return std::string(at == std::string_view::npos ? text : text.substr(0, at));
}

std::string cut_after_colon_space(std::string_view text) {
    std::size_t at = text.rfind(": ");
    return std::string(at == std::string_view::npos ? text : text.substr(at + 2));
}

std::string strip_paren_suffixes(std::string_view text) {
    while (!text.empty() && text.back() == ')') {
        std::size_t at = text.rfind(" (");
        if (at == std::string_view::npos) break;
        text = text.substr(0, at);
    }
    return std::string(text);
}

namespace {

std::size_t leading_digits(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && text[n] >= '0' && text[n] <= '9') ++n;
    return n;
}

// "8ch", "2->6ch", "32 out".
bool is_channel_group(std::string_view inner) {
    std::size_t digits = leading_digits(inner);
    if (digits == 0) return false;
    std::string_view rest = inner.substr(digits);
    if (rest.starts_with("->")) {
        digits = leading_digits(rest.substr(2));
        if (digits == 0) return false;
        rest = rest.substr(2 + digits);
    }
    return rest == "ch" || rest == " out";
}

}  // namespace

std::string_view cut_channel_groups(std::string_view name) {
    while (!name.empty() && name.back() == ')') {
        const std::size_t open = name.rfind(" (");
        if (open == std::string_view::npos ||
            !is_channel_group(name.substr(open + 2, name.size() - open - 3)))
            break;
        name = name.substr(0, open);
    }
    return name;
}

bool starts_with(std::string_view text, const char* prefix) {
    if (prefix == nullptr) return false;
    return text.substr(0, std::strlen(prefix)) == prefix;
}

bool ends_with_dash_digits(std::string_view text) {
    std::size_t i = text.size();
    while (i > 0 && is_digit(text[i - 1])) --i;
    return i < text.size() && i > 0 && text[i - 1] == '-';
}

std::string plugin_table_path(std::string_view program_path) {
    std::size_t sep = last_separator(program_path);
    std::string dir =
        sep == std::string_view::npos ? std::string(".") : std::string(program_path.substr(0, sep));
    return join_path(dir, "lanwick-plugins.txt");
}

std::string utf8_prefix(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return std::string(text);
    std::size_t cut = max_bytes;
    // A continuation byte (10xxxxxx) at the cut means the character began before it.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut));
}
