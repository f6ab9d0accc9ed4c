#include "convert/tracks/name_matching.h"

#include <algorithm>
#include <cctype>

#include "util/names.h"

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Characters of the alias before its first digit or ".", at least 2 (else min(length, 3)).
std::size_t alias_prefix_length(const std::string& alias) {
    std::size_t p = 0;
    while (p < alias.size() && !is_digit(alias[p]) && alias[p] != '.') ++p;
    if (p < 2) p = std::min<std::size_t>(alias.size(), 3);
    return p;
}

}  // namespace

std::string file_stem_key(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && name.size() - dot - 1 < 5) name = name.substr(0, dot);
    std::size_t end = name.size();
    while (end > 0 && is_digit(name[end - 1])) --end;
    if (end < name.size() && end > 0 && (name[end - 1] == '-' || name[end - 1] == '_')) {
        name = name.substr(0, end - 1);
    }
    return to_lower_copy(name);
}

void match_name_lists(const std::vector<std::string>& available, std::vector<std::string>& wanted,
                      const std::vector<std::string>& aliases,
                      std::vector<std::uint8_t>& unmatched) {
    std::vector<bool> used(available.size(), false);
    std::vector<bool> settled(wanted.size(), false);
    unmatched.assign(wanted.size(), 0);

    for (std::size_t w = 0; w < wanted.size(); ++w) {
        for (std::size_t a = 0; a < available.size(); ++a) {
            // Blank names are names already taken elsewhere.
            if (!used[a] && !available[a].empty() && available[a] == wanted[w]) {
                used[a] = true;
                settled[w] = true;
                break;
            }
        }
    }

    std::vector<std::string> lowered;
    for (const std::string& name : available) lowered.push_back(to_lower_copy(name));
    for (std::size_t w = 0; w < wanted.size(); ++w) {
        if (settled[w]) continue;
        const bool named = !wanted[w].empty() && std::find(available.begin(), available.end(),
                                                           wanted[w]) != available.end();
        const std::string alias = w < aliases.size() ? aliases[w] : std::string();
        bool found = false;
        if (!named && !alias.empty()) {
            const auto hit = std::find(lowered.begin(), lowered.end(), alias);
            if (hit != lowered.end()) {
                const std::size_t start = static_cast<std::size_t>(hit - lowered.begin());
                const std::size_t p = alias_prefix_length(alias);
                for (std::size_t a = start; a < available.size() && a <= start + 3; ++a) {
                    if (used[a] || lowered[a].size() < p) continue;
                    if (lowered[a].compare(0, p, alias, 0, p) != 0) continue;
                    wanted[w] = available[a];
                    used[a] = true;
                    found = true;
                    break;
                }
            }
        }
        if (!found) unmatched[w] = 1;
    }
}

std::vector<std::string> settle_midi_track_names(const std::vector<std::string>& session_names,
                                                 const std::set<std::string>& taken,
                                                 const std::vector<std::string>& midi_track_names,
                                                 const std::vector<std::string>& first_item_names) {
    std::vector<std::string> available = session_names;
    for (std::string& name : available) {
        if (taken.count(name)) name.clear();
    }
    std::vector<std::string> wanted = midi_track_names;
    std::vector<std::string> aliases;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const bool has_item = i < first_item_names.size() && !first_item_names[i].empty();
        aliases.push_back(has_item ? file_stem_key(first_item_names[i]) : std::string());
    }
    std::vector<std::uint8_t> unmatched;
    match_name_lists(available, wanted, aliases, unmatched);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (unmatched[i]) wanted[i].clear();
    }
    return wanted;
}

std::string resolve_name_via_index(const NameIndex& index, const std::string& key, int* count) {
    if (count) *count = 0;
    const auto override_name = index.override_by_key.find(key);
    if (override_name != index.override_by_key.end()) {
        if (count) *count = 1;
        return override_name->second;
    }
    const auto ids = index.ids_by_key.find(key);
    if (ids == index.ids_by_key.end()) return {};
    std::string first;
    std::set<std::string> distinct;
    for (std::uint32_t id : ids->second) {
        const auto name = index.name_by_id.find(id);
        if (name == index.name_by_id.end()) continue;
        if (distinct.empty()) first = name->second;
        distinct.insert(name->second);
    }
    if (count) *count = static_cast<int>(distinct.size());
    return first;
}
