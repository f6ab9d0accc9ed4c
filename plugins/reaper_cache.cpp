#include "plugins/reaper_cache.h"

#include <algorithm>
#include <cstdlib>

#include "platform/paths.h"
#include "plugins/table_lines.h"
#include "util/codecs.h"
#include "util/names.h"

namespace {

// REAPER's cache lines are read into a buffer of this size.
constexpr std::size_t kCacheLineBuffer = 4096;

constexpr const char* kVstCacheNames[] = {"reaper-vstplugins_arm64.ini",
                                          "reaper-vstplugins_aarch64.ini",
                                          "reaper-vstplugins64.ini", "reaper-vstplugins.ini"};
constexpr const char* kClapCacheNames[] = {
    "reaper-clap-win64.ini",        "reaper-clap-win32.ini",
    "reaper-clap-macos-arm64.ini",  "reaper-clap-macos-x86_64.ini",
    "reaper-clap-linux-x86_64.ini", "reaper-clap-linux-aarch64.ini"};
// REAPER's resource folders below APPDATA and HOME, their parts separated by "/" here.
constexpr const char* kReaperFolders[] = {"REAPER", "Library/Application Support/REAPER",
                                          ".config/REAPER"};

constexpr std::string_view kInstrumentMark = "!!!VSTi";

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool all_digits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// `relative` (parts separated by "/") below `root`, joined with the system's separator.
std::string below(std::string path, std::string_view relative) {
    for (std::size_t at = 0; at <= relative.size();) {
        const std::size_t slash = std::min(relative.find('/', at), relative.size());
        path = join_path(path, relative.substr(at, slash - at));
        at = slash + 1;
    }
    return path;
}

bool ends_with(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

void finish_entry(ReaperPluginEntry& entry) {
    entry.is_vst3 = ends_with(to_lower_copy(entry.file), ".vst3") ? 1 : 0;
    entry.bare_name = cut_before_paren(entry.name);
}

}  // namespace

bool parse_vst_cache_line(std::string_view line, std::vector<ReaperPluginEntry>& out) {
    if (line.empty() || line.front() == ';' || line.front() == '[') return false;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    const std::size_t comma1 = value.find(',');
    if (comma1 == std::string_view::npos) return false;
    const std::size_t comma2 = value.find(',', comma1 + 1);
    if (comma2 == std::string_view::npos) return false;
    const std::string_view id_field = value.substr(comma1 + 1, comma2 - comma1 - 1);

    ReaperPluginEntry entry;
    // An id beyond 32 bits names no plug-in REAPER could load; it is not wrapped.
    if (!leading_u32(id_field, entry.vst2_id) || entry.vst2_id == 0) return false;
    std::string_view name = value.substr(comma2 + 1);
    if (name.size() > kInstrumentMark.size() && ends_with(name, kInstrumentMark)) {
        name.remove_suffix(kInstrumentMark.size());
        entry.is_instrument = 1;
    }
    if (name.empty()) return false;
    entry.name = std::string(name);

    const std::size_t open = key.find('<');
    if (open != std::string_view::npos && key.back() == '>' && key.size() > open + 1) {
        entry.vst3_class_id = std::string(key.substr(open + 1, key.size() - open - 2));
        entry.file = std::string(key.substr(0, open));
    } else if (open != std::string_view::npos && all_digits(key.substr(open + 1))) {
        entry.file = std::string(key.substr(0, open));
    } else {
        entry.file = std::string(key);
    }
    if (entry.vst3_class_id.empty()) {
        const std::size_t brace = id_field.find('{');
        if (brace != std::string_view::npos) {
            std::string_view braced = id_field.substr(brace + 1);
            while (!braced.empty() && braced.back() == '}') braced.remove_suffix(1);
            if (!decode_class_id(braced).empty()) entry.vst3_class_id = std::string(braced);
        }
    }
    finish_entry(entry);
    out.push_back(std::move(entry));
    return true;
}

bool parse_clap_cache_line(std::string_view line, std::string& section,
                           std::vector<ReaperPluginEntry>& out) {
    if (line.empty() || line.front() == ';') return false;
    if (line.front() == '[') {
        // A section without ']' names no file: its entries are passed over.
        const std::size_t close = line.find(']');
        section = close == std::string_view::npos ? std::string()
                                                  : std::string(line.substr(1, close - 1));
        return false;
    }
    if (section.empty()) return false;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) return false;
    const std::string_view value = line.substr(equals + 1);
    if (value == "_") return false;
    const std::size_t bar = value.find('|');
    if (bar == std::string_view::npos) return false;
    std::uint32_t flags = 0;
    if (!leading_u32(value.substr(0, bar), flags)) return false;

    ReaperPluginEntry entry;
    entry.clap_id = std::string(line.substr(0, equals));
    entry.name = std::string(value.substr(bar + 1));
    if (entry.name.empty()) return false;
    entry.file = section;
    entry.is_clap = 1;
    entry.is_instrument = (flags & 1u) != 0 ? 1 : 0;
    finish_entry(entry);
    out.push_back(std::move(entry));
    return true;
}

std::vector<ReaperPluginEntry> read_vst_cache_file(const std::string& path) {
    std::vector<ReaperPluginEntry> entries;
    read_table_lines(path, kCacheLineBuffer,
                     [&](std::string_view line) { parse_vst_cache_line(line, entries); });
    return entries;
}

std::vector<ReaperPluginEntry> read_clap_cache_file(const std::string& path) {
    std::vector<ReaperPluginEntry> entries;
    std::string section;
    read_table_lines(path, kCacheLineBuffer,
                     [&](std::string_view line) { parse_clap_cache_line(line, section, entries); });
    return entries;
}

std::vector<std::string> vst_cache_candidates(const std::string& vstini,
                                              const std::string& session_folder,
                                              const std::string& program_folder) {
    std::vector<std::string> paths;
    if (!vstini.empty()) paths.push_back(vstini);
    const char* appdata = std::getenv("APPDATA");
    const char* home = std::getenv("HOME");
    for (const char* name : kVstCacheNames) {
        if (!session_folder.empty()) paths.push_back(join_path(session_folder, name));
        if (!program_folder.empty()) paths.push_back(join_path(program_folder, name));
        paths.push_back(join_path(".", name));
        for (const char* root : {appdata, home}) {
            if (root == nullptr || root[0] == '\0') continue;  // unset or empty: no folder
            for (const char* folder : kReaperFolders)
                paths.push_back(join_path(below(root, folder), name));
        }
    }
    return paths;
}

int read_reaper_plugin_cache(const std::string& vstini, const std::string& session_folder,
                             const std::string& program_folder,
                             std::vector<ReaperPluginEntry>& entries, std::string& path_used) {
    entries.clear();
    path_used.clear();
    for (const std::string& path : vst_cache_candidates(vstini, session_folder, program_folder)) {
        entries = read_vst_cache_file(path);
        if (entries.empty()) continue;
        path_used = path;
        break;
    }
    if (entries.empty()) return 0;

    const std::size_t separator = path_used.find_last_of("/\\");
    const std::string folder =
        separator == std::string::npos ? std::string() : path_used.substr(0, separator + 1);
    for (const char* name : kClapCacheNames) {
        std::vector<ReaperPluginEntry> clap = read_clap_cache_file(folder + name);
        if (clap.empty()) continue;
        entries.insert(entries.end(), clap.begin(), clap.end());
        break;
    }
    return static_cast<int>(entries.size());
}

namespace {

// The effect's own name: REAPER's name without its channel groups and its maker.
std::string_view effect_name(std::string_view name, std::string_view* maker = nullptr) {
    std::string_view effect = cut_channel_groups(name);
    if (!effect.empty() && effect.back() == ')')
        if (const std::size_t open = effect.rfind(" ("); open != std::string_view::npos) {
            if (maker) *maker = effect.substr(open + 2, effect.size() - open - 3);
            effect = effect.substr(0, open);
        }
    return effect;
}

// "VST", the code's bytes from the most significant, then the name's first 9 bytes, zero-padded
// to 16 bytes; 32 upper-case hex digits.
std::string class_id_hex(std::uint32_t code, std::string_view name) {
    std::string bytes = "VST";
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>((code >> shift) & 0xFF));
    bytes += name.substr(0, 9);
    bytes.resize(16, '\0');
    return bytes_to_hex_upper(bytes);
}

}  // namespace

std::string vst3_compat_uid_hex(std::uint32_t id, std::string_view name) {
    return class_id_hex(id, normalize_alnum_lower(effect_name(name)));
}

std::string vst3_class_id_from_name(std::uint32_t code, std::string_view name) {
    std::string_view maker;
    const std::string_view effect = effect_name(name, &maker);
    return class_id_hex(code,
                        maker.starts_with("iZotope") ? std::string(effect) : to_lower_copy(effect));
}

bool is_waves_shell_entry_without_class_id(const ReaperPluginEntry& entry) {
    return entry.is_vst3 && !entry.is_clap && entry.vst3_class_id.empty() &&
           to_lower_copy(entry.file).find("waveshell") != std::string::npos;
}

void describe_reaper_plugin(const ReaperPluginEntry& entry, std::string& id_text,
                            std::string& type_text) {
    const char* word;
    if (entry.is_clap) {
        word = "CLAP";
        id_text = entry.clap_id;
    } else if (!entry.vst3_class_id.empty()) {
        word = "VST3";
        id_text = std::to_string(entry.vst2_id) + "{" + entry.vst3_class_id + "}";
    } else if (entry.is_vst3) {
        word = "VST3";
        id_text = std::to_string(entry.vst2_id) + "{" +
                  vst3_class_id_from_name(entry.vst2_id, entry.name) + "}";
    } else {
        word = "VST";
        id_text = std::to_string(entry.vst2_id) + "<" +
                  vst3_compat_uid_hex(entry.vst2_id, entry.name) + ">";
    }
    type_text = std::string(word) + (entry.is_instrument ? "i" : "") + ": " + entry.name;
}

bool cache_has_plugin_id(const std::vector<ReaperPluginEntry>& entries, std::string_view id_text) {
    if (entries.empty() || id_text.empty()) return true;
    std::uint32_t id = 0;
    if (!leading_u32(id_text, id)) id = 0;
    std::string_view braced;
    const std::size_t open = id_text.find('{');
    if (open != std::string_view::npos) {
        const std::size_t close = id_text.find('}', open + 1);
        if (close != std::string_view::npos) braced = id_text.substr(open + 1, close - open - 1);
    }
    for (const ReaperPluginEntry& e : entries) {
        if (e.is_clap) {
            if (e.clap_id == id_text) return true;
            continue;
        }
        if (id != 0 && e.vst2_id == id) return true;
        if (!braced.empty() && e.vst3_class_id == braced) return true;
    }
    return false;
}

std::string decode_class_id(std::string_view hex) {
    if (hex.size() != 32) return {};
    for (char c : hex)
        if (!is_hex_digit(c)) return {};
    return hex_to_bytes(hex);
}
