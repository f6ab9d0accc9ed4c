#include "util/version.h"

#include <algorithm>

SessionText session_text;

std::string display_version(std::string_view version) {
    std::size_t dash = version.find('-');
    std::string core(version.substr(0, dash));
    std::string tag =
        dash == std::string_view::npos ? std::string() : std::string(version.substr(dash + 1));

    if (std::count(core.begin(), core.end(), '.') == 2 && core.size() >= 2 &&
        core.compare(core.size() - 2, 2, ".0") == 0) {
        core.resize(core.size() - 2);
    }
    if (tag.empty()) return core;
    for (char& c : tag) {
        if (c == '-' || c == '.') c = ' ';
    }
    return core + " " + tag;
}

std::string display_version() {
    return display_version(program_version);
}

std::string pt_saved_by_token(std::string_view saved_by) {
    const std::string unstated = "unstated";
    if (saved_by.empty() || saved_by.size() > 40) return unstated;
    std::string token;
    token.reserve(saved_by.size());
    for (char c : saved_by) {
        char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        bool alnum = (l >= 'a' && l <= 'z') || (l >= '0' && l <= '9');
        if (!alnum && l != '.' && l != '+' && l != '-') return unstated;
        token.push_back(l);
    }
    char first = token.front();
    if (!((first >= 'a' && first <= 'z') || (first >= '0' && first <= '9'))) return unstated;
    return token;
}

std::string pt_saved_by_token() {
    return pt_saved_by_token(session_text.saved_by);
}
