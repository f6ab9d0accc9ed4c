#include "tests/rpp_grammar.h"

#include <cctype>
#include <utility>

namespace rpp_grammar {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_quote(char c) {
    return c == '"' || c == '\'' || c == '`';
}

bool is_control(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

Result fail(std::size_t line, std::string message) {
    return Result{false, line, std::move(message)};
}

bool is_block_name(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

}  // namespace

bool split_tokens(std::string_view line, std::vector<std::string>& tokens, std::string& error) {
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i])) ++i;
        if (i >= line.size()) break;
        if (is_quote(line[i])) {
            const char quote = line[i];
            const std::size_t close = line.find(quote, i + 1);
            if (close == std::string_view::npos) {
                error = "unclosed quote";
                return false;
            }
            if (close + 1 < line.size() && !is_blank(line[close + 1])) {
                error = "text right after a closing quote";
                return false;
            }
            tokens.emplace_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        const std::size_t start = i;
        while (i < line.size() && !is_blank(line[i])) {
            if (is_quote(line[i])) {
                error = "quote character inside an unquoted token";
                return false;
            }
            if (is_control(line[i])) {
                error = "control byte outside a quoted token";
                return false;
            }
            ++i;
        }
        tokens.emplace_back(line.substr(start, i - start));
    }
    return true;
}

namespace {

bool is_fx_list(const std::string& name) {
    return name == "FXCHAIN" || name == "MASTERFXLIST" || name == "TAKEFX";
}

// Tokens after the keyword of the lines of an effect list, as REAPER saves them.
int fx_line_tokens(const std::string& keyword) {
    static const std::pair<const char*, int> counts[] = {
        {"WNDRECT", 4}, {"SHOW", 1},     {"LASTSEL", 1}, {"DOCKED", 1},     {"BYPASS", 3},
        {"<VST", 6},    {"<CLAP", 3},    {"<JS", 2},     {"PRESETNAME", 1}, {"FLOATPOS", 4},
        {"FXID", 1},    {"PINFLAGS", 1}, {"WAK", 2}};
    for (const auto& [word, count] : counts)
        if (keyword == word) return count;
    return -1;
}

bool is_base64_line(std::string_view body) {
    if (body.empty() || body.size() % 4 != 0) return false;
    for (char c : body)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/' && c != '=')
            return false;
    return true;
}

// The effect-list rules for one line inside `parent`; empty when the line keeps them.
std::string check_fx_line(const std::string& parent, bool opens, std::string_view body,
                          const std::vector<std::string>& tokens) {
    if (is_fx_list(parent)) {
        // A parameter envelope: its index, three numbers, then its name (REAPER may leave the
        // name out).
        if (opens && tokens.front() == "PARMENV")
            return tokens.size() == 5 || tokens.size() == 6
                       ? std::string()
                       : "PARMENV with " + std::to_string(tokens.size() - 1) + " tokens";
        const int want = fx_line_tokens((opens ? "<" : "") + tokens.front());
        if (want >= 0 && static_cast<int>(tokens.size()) - 1 != want)
            return "effect line " + tokens.front() + " with " + std::to_string(tokens.size() - 1) +
                   " tokens";
    } else if (parent == "VST" && !opens) {
        if (!is_base64_line(body)) return "a <VST line that is not whole base64";
    } else if (parent == "STATE" && !opens) {
        if (!is_base64_line(body) || body.size() > 128) return "a <STATE line that is not base64";
    } else if (parent == "JS" && !opens) {
        if (tokens.size() != 64)
            return "a <JS parameter line of " + std::to_string(tokens.size()) + " tokens";
    } else if (parent == "PARMENV") {
        // Points: time, value, shape, and REAPER's optional tension and selection.
        static const std::pair<const char*, std::size_t> counts[] = {
            {"EGUID", 1}, {"ACT", 2}, {"VIS", 3}, {"LANEHEIGHT", 2}, {"ARM", 1}, {"DEFSHAPE", 3}};
        const std::size_t n = tokens.size() - 1;
        if (tokens.front() == "PT" && (n < 3 || n > 6))
            return "envelope point with " + std::to_string(n) + " tokens";
        for (const auto& [word, count] : counts)
            if (tokens.front() == word && n != count)
                return "envelope line " + tokens.front() + " with " + std::to_string(n) + " tokens";
    } else if (parent == "CLAP" && !opens && tokens.front() == "CFG") {
        if (tokens.size() != 5) return "CFG with " + std::to_string(tokens.size() - 1) + " tokens";
    }
    return {};
}

}  // namespace

Result check_project(std::string_view text) {
    if (text.empty()) return fail(0, "empty text");
    if (text.back() != '\n') return fail(0, "no final newline");

    int depth = 0;
    bool root_closed = false;
    std::size_t number = 0;
    std::size_t pos = 0;
    std::vector<std::string> tokens;
    std::vector<std::string> open_blocks;
    std::string error;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;

        if (line.find('\r') != std::string_view::npos) return fail(number, "carriage return");
        if (line.find('\0') != std::string_view::npos) return fail(number, "NUL byte");
        if (root_closed) return fail(number, "text after the root block");
        std::size_t lead = 0;
        while (lead < line.size() && is_blank(line[lead])) ++lead;
        std::string_view body = line.substr(lead);
        if (body.empty()) return fail(number, "empty line");
        if (number == 1 && !body.starts_with("<REAPER_PROJECT"))
            return fail(number, "the text does not open with <REAPER_PROJECT");

        if (body.front() == '|') {
            if (depth == 0) return fail(number, "raw line outside a block");
            continue;
        }
        if (body.front() == '>') {
            if (body.size() != 1) return fail(number, "text after a closing >");
            if (depth == 0) return fail(number, "> without an open block");
            if (--depth == 0) root_closed = true;
            open_blocks.pop_back();
            continue;
        }
        const bool opens = body.front() == '<';
        if (opens) body.remove_prefix(1);
        if (!split_tokens(body, tokens, error)) return fail(number, error);
        if (tokens.empty()) return fail(number, "no token");
        if (!open_blocks.empty()) {
            const std::string fault = check_fx_line(open_blocks.back(), opens, body, tokens);
            if (!fault.empty()) return fail(number, fault);
        }
        if (opens) {
            if (!is_block_name(tokens.front())) return fail(number, "bad block name");
            ++depth;
            open_blocks.push_back(tokens.front());
        } else if (depth == 0) {
            return fail(number, "line outside the root block");
        }
    }
    if (depth != 0) return fail(number, "unclosed block");
    return Result{};
}

}  // namespace rpp_grammar
