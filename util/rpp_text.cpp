#include "util/rpp_text.h"

#include <array>
#include <cstring>

#include "util/utf8_text.h"

namespace {

// Plain ASCII with no double quote and nothing to blank out: copied whole between double quotes,
// as most names are.
bool quotes_as_it_stands(std::string_view text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 || b == '"' || b == '\t' || b == '\n' || b == '\r' || b == 0) return false;
    }
    return true;
}

}  // namespace

void append_rpp_quote(std::string& out, std::string_view text, bool nul_as_blank) {
    if (quotes_as_it_stands(text)) {
        // A short name with its quotes goes in with one append.
        char quoted[128];
        if (text.size() + 2 <= sizeof quoted) {
            quoted[0] = '"';
            std::memcpy(quoted + 1, text.data(), text.size());
            quoted[text.size() + 1] = '"';
            out.append(quoted, text.size() + 2);
            return;
        }
        out.reserve(out.size() + text.size() + 2);
        out += '"';
        out += text;
        out += '"';
        return;
    }
    std::string repaired;
    if (!is_valid_utf8(text)) {
        repaired = project_name_utf8(text);
        text = repaired;
    }
    char quote = '"';
    if (text.find('"') != std::string_view::npos) {
        if (text.find('\'') == std::string_view::npos) {
            quote = '\'';
        } else if (text.find('`') == std::string_view::npos) {
            quote = '`';
        }
    }
    out.reserve(out.size() + text.size() + 2);
    out.push_back(quote);
    for (char c : text) {
        if (c == quote) {
            out.push_back('_');
        } else if (c == '\t' || c == '\n' || c == '\r' || (nul_as_blank && c == '\0')) {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    out.push_back(quote);
}

std::string rpp_quote(std::string_view text) {
    std::string out;
    append_rpp_quote(out, text, false);
    return out;
}

std::string rpp_group_flags_line(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                                 std::uint32_t e, std::uint32_t f) {
    // REAPER's word order for the six kinds of group membership.
    std::array<std::uint32_t, 22> words{};
    words[0] = words[1] = a;
    words[4] = words[5] = d;
    words[6] = words[7] = e;
    words[12] = words[13] = f;
    words[20] = b;
    words[21] = c;

    std::size_t used = words.size();
    while (used > 0 && words[used - 1] == 0) --used;
    if (used == 0) return {};

    std::string line = "    GROUP_FLAGS";
    for (std::size_t i = 0; i < used; ++i) line += " " + std::to_string(words[i]);
    line += "\n";
    return line;
}

void rpp_write_group_flags(std::FILE* file, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                           std::uint32_t d, std::uint32_t e, std::uint32_t f) {
    std::string line = rpp_group_flags_line(a, b, c, d, e, f);
    if (!line.empty()) std::fputs(line.c_str(), file);
}
