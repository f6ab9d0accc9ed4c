#include "plugins/resolution.h"

#include <optional>
#include <set>

#include "app/output.h"
#include "plugins/identification.h"
#include "plugins/plugin_state.h"
#include "plugins/reaper_cache.h"
#include "plugins/table_lines.h"
#include "util/names.h"

namespace {

// Kontakt 6's AAX key; its VST2 id is the product code "Ni$D", and Kontakt 7's VST3 class id
// is "VST" + "NiK7" + "kontakt 7".
constexpr std::string_view kKontaktKey = "NiInNi$D";
constexpr std::uint32_t kKontaktVst2Id = 0x4E692444;
constexpr std::string_view kKontakt7ClassId = "5653544E694B376B6F6E74616B742037";
constexpr std::uint32_t kKontaktNewerThan = 7;

constexpr std::size_t kMinStoredNameLength = 3;

constexpr const char* kKeptOnVst3 = "kept on VST3: its VST2 build cannot take these settings";

bool is_vst3_build(const ReaperPluginEntry& e) {
    return !e.is_clap && (e.is_vst3 || !e.vst3_class_id.empty());
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && to_lower_copy(a) == to_lower_copy(b);
}

// The cache key writes blanks (and other signs) of a file name as '_'; the bare name shows
// which sign each '_' stands for when the two are as long.
std::string restored_file(const ReaperPluginEntry& e) {
    std::string file = e.file;
    const std::size_t separator = file.find_last_of("/\\");
    const std::size_t start = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t dot = file.rfind('.');
    const std::size_t end = dot == std::string::npos || dot < start ? file.size() : dot;
    if (end - start != e.bare_name.size()) return file;
    for (std::size_t i = start; i < end; ++i) {
        const char shown = e.bare_name[i - start];
        const bool alnum = (shown >= 'a' && shown <= 'z') || (shown >= 'A' && shown <= 'Z') ||
                           (shown >= '0' && shown <= '9');
        if (file[i] == '_' && !alnum) file[i] = shown;
    }
    return file;
}

bool is_instrument_type(std::string_view type_text) {
    return type_text.starts_with("VSTi: ") || type_text.starts_with("VST3i: ");
}

// The leading decimal number of `text`, moved past; none when it has no digit.
std::optional<std::uint32_t> take_number(std::string_view& text) {
    std::uint32_t n = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && n <= 100000; ++i)
        n = n * 10 + static_cast<std::uint32_t>(text[i] - '0');
    if (i == 0) return std::nullopt;
    text.remove_prefix(i);
    return n;
}

// The pins REAPER saves a plug-in with, where its type text tells them: the channel group
// REAPER adds to the name ("(32 out)" outputs; "(16ch)" inputs and outputs; "(2->6ch)" 2 in,
// 6 out), or an effect whose name ends in "Mono" (1 in, 1 out; 2 out for a VST3).
struct NamedPins {
    std::optional<std::uint32_t> input;
    std::optional<std::uint32_t> output;
};

NamedPins pins_in_name(std::string_view type_text) {
    NamedPins pins;
    const std::size_t colon = type_text.find(": ");
    const std::string_view name =
        colon == std::string_view::npos ? type_text : type_text.substr(colon + 2);
    // REAPER adds the channel group last: "(32 out)" counts outputs, "(16ch)" inputs and
    // outputs, "(2->6ch)" each.
    const std::size_t open = name.rfind(" (");
    if (name.ends_with(')') && open != std::string_view::npos) {
        std::string_view inner = name.substr(open + 2, name.size() - open - 3);
        if (const auto first = take_number(inner)) {
            if (inner == " out") {
                pins.output = first;
            } else if (inner == "ch") {
                pins.input = pins.output = first;
            } else if (inner.starts_with("->")) {
                inner.remove_prefix(2);
                const auto second = take_number(inner);
                if (second && inner == "ch") {
                    pins.input = first;
                    pins.output = second;
                }
            }
        }
    }
    // A mono build of an effect ("CLA-76 Mono (Waves)"): REAPER saves one input and one output,
    // two outputs for a VST3.
    const std::string_view plugin = name.substr(0, name.find(" ("));
    if (!is_instrument_type(type_text) && !pins.input &&
        (plugin == "Mono" || plugin.ends_with(" Mono"))) {
        pins.input = 1;
        pins.output = type_text.starts_with("VST3") ? 2 : 1;
    }
    return pins;
}

PluginResolution make_record(std::string_view key, std::string_view display_name,
                             const ReaperPluginEntry& entry) {
    PluginResolution record;
    record.key = std::string(key);
    record.display_name = std::string(display_name);
    record.file = restored_file(entry);
    describe_reaper_plugin(entry, record.id_text, record.type_text);
    record.id_known = entry.is_vst3 && entry.vst3_class_id.empty() && !entry.is_clap ? 0 : 1;
    return record;
}

// A row aimed at the record's build, copied from the row it replaces.
PluginRuleRow row_for(const PluginRuleRow& from, const PluginResolution& record) {
    PluginRuleRow row = from;
    point_row_at(row, record);
    return row;
}

void print_decision(std::string_view key, std::string_view type_text, std::string_view reason) {
    say("    %s -> %-46s [%.*s]\n", std::string(key).c_str(), std::string(type_text).c_str(),
        static_cast<int>(reason.size()), reason.data());
}

// A choice of the pass over a built-in row: the record joins the second list, its row the
// resolved rows.
void choose_entry(std::string_view key, const PluginRuleRow& builtin, const ReaperPluginEntry& e,
                  std::string_view reason) {
    plugin_knowledge.chosen.push_back(make_record(key, builtin.display_name, e));
    const PluginResolution& record = plugin_knowledge.chosen.back();
    PluginRuleRow row = row_for(builtin, record);
    row.tail_word = reaper_header_tail_word(record.id_text);
    const NamedPins pins = pins_in_name(record.type_text);
    if (pins.input) row.input_pins = *pins.input;
    if (pins.output) row.output_pins = *pins.output;
    plugin_knowledge.resolved_rows.push_back(row);
    print_decision(key, record.type_text, reason);
}

// Steps for a built-in row with a target: --prefer-vst2 may move it to a VST2 build.
void resolve_targeted_row(const CacheIndex& index, std::string_view key, const PluginRuleRow& row,
                          const std::vector<SessionPluginInstance>& instances, bool prefer_vst3,
                          int& added) {
    const std::vector<ReaperPluginEntry>& cache = *index.entries;
    if (prefer_vst3) return;
    const int alternative = find_vst2_alternative(index, key, row);
    if (alternative < 0) return;
    std::uint32_t count = 0;
    if (!count_instances_with_key(instances, key, count) && count != 0) {
        plugin_knowledge.kept_on_vst3[row.display_name ? row.display_name : ""] += count;
        print_decision(key, row.type_text ? row.type_text : "", kKeptOnVst3);
        return;
    }
    choose_entry(key, row, cache[static_cast<std::size_t>(alternative)],
                 "--prefer-vst2 over the table row");
    plugin_knowledge.prefer_vst2_keys.insert(std::string(key));
    ++added;
}

void resolve_kontakt(const CacheIndex& index, std::string_view key, const PluginRuleRow& row,
                     const std::vector<SessionPluginInstance>& instances, bool prefer_vst3,
                     int& added) {
    const std::vector<ReaperPluginEntry>& cache = *index.entries;
    int vst2 = -1, kontakt7 = -1, newest = -1;
    std::uint32_t newest_number = kKontaktNewerThan;
    for (std::size_t i = 0; i < cache.size(); ++i) {
        const ReaperPluginEntry& e = cache[i];
        if (vst2 < 0 && !e.is_clap && !e.is_vst3 && e.vst3_class_id.empty() &&
            e.vst2_id == kKontaktVst2Id && e.name.find("(x86)") == std::string::npos)
            vst2 = static_cast<int>(i);
        if (kontakt7 < 0 && e.is_vst3 && equals_ignoring_case(e.vst3_class_id, kKontakt7ClassId))
            kontakt7 = static_cast<int>(i);
        if (e.is_vst3 && !e.vst3_class_id.empty() &&
            e.name.find("Native Instruments") != std::string::npos) {
            const std::string& name = index.name_keys[i];
            const std::string_view digits =
                std::string_view(name).substr(std::min<std::size_t>(name.size(), 7));
            std::uint32_t number = 0;
            if (name.starts_with("kontakt") &&
                digits.find_first_not_of("0123456789") == std::string_view::npos &&
                leading_u32(digits, number) && number > newest_number) {
                newest_number = number;
                newest = static_cast<int>(i);
            }
        }
    }
    std::uint32_t count = 0;
    count_instances_with_key(instances, key, count);
    plugin_knowledge.kontakt.instance_count = count;

    if ((!prefer_vst3 && vst2 >= 0) || (kontakt7 < 0 && (vst2 >= 0 || newest < 0))) {
        resolve_targeted_row(index, key, row, instances, prefer_vst3, added);
        return;
    }
    const bool predicted = kontakt7 < 0;
    const ReaperPluginEntry& chosen =
        cache[static_cast<std::size_t>(predicted ? newest : kontakt7)];
    plugin_knowledge.kontakt.chosen_name = chosen.name;
    plugin_knowledge.kontakt.predicted = predicted ? 1 : 0;
    choose_entry(key, row, chosen,
                 predicted ? "predicted: written the way Kontakt 7 takes them"
                           : "Kontakt 7 takes Kontakt 6's settings, measured");
    ++added;
}

// "the name Pro Tools stores": the one build, VST3 before VST2 before CLAP, whose name is the
// name Pro Tools shows; none when builds of that name come from different makers.
int find_by_stored_name(const CacheIndex& index, std::string_view key,
                        const std::map<std::string, std::string>& stored_names) {
    const std::vector<ReaperPluginEntry>& cache = *index.entries;
    if (key.size() != kAaxIdLength || is_avid_maker_id(key)) return -1;
    const auto stored = stored_names.find(std::string(key));
    if (stored == stored_names.end()) return -1;
    const std::string wanted = normalize_alnum_lower(stored->second);
    if (wanted.size() < kMinStoredNameLength) return -1;
    int chosen = -1;
    std::string maker;
    for (std::size_t i = 0; i < cache.size(); ++i) {
        const ReaperPluginEntry& e = cache[i];
        if (index.name_keys[i] != wanted) continue;
        if (chosen < 0) {
            chosen = static_cast<int>(i);
            maker = last_parenthesised_text(e.name);
            continue;
        }
        if (last_parenthesised_text(e.name) != maker) return -1;
        const ReaperPluginEntry& c = cache[static_cast<std::size_t>(chosen)];
        if ((c.is_clap && !e.is_clap) || (e.is_vst3 && !c.is_vst3 && !c.is_clap))
            chosen = static_cast<int>(i);
    }
    return chosen;
}

// REAPER 6 caches list the plug-ins of a Waves shell as .vst3 entries of the shell's file without
// class ids ("WaveShell1-VST3 12.7_x64.vst3<1303613859=...,CLA-76 Mono (Waves)"): the one whose
// name is the name the session stores for the Waves plug-in stands for it.
int find_waves_shell_entry(const CacheIndex& index, std::string_view key,
                           const std::vector<SessionPluginInstance>& instances) {
    std::string wanted;
    for (const SessionPluginInstance& instance : instances)
        if (!instance.plugin_name.empty() && plugin_key(instance) == key) {
            wanted = normalize_alnum_lower(strip_paren_suffixes(instance.plugin_name));
            break;
        }
    if (wanted.empty()) return -1;
    const std::vector<ReaperPluginEntry>& cache = *index.entries;
    for (std::size_t i = 0; i < cache.size(); ++i) {
        if (is_waves_shell_entry_without_class_id(cache[i]) && index.name_keys[i] == wanted)
            return static_cast<int>(i);
    }
    return -1;
}

bool learned_table_matches(std::string_view key) {
    for (std::size_t i = 0; i < plugin_knowledge.learned_table_rows; ++i)
        if (signature_matches(plugin_knowledge.learned_rows[i].signature, key)) return true;
    return false;
}

// A key no built-in row aims anywhere: found in the cache by its codes, then by name.
void identify_key(const CacheIndex& index, std::string_view key, const PluginRuleRow* named,
                  const std::vector<SessionPluginInstance>& instances,
                  const std::map<std::string, std::string>& stored_names, bool prefer_vst3,
                  int& added) {
    const std::vector<ReaperPluginEntry>& cache = *index.entries;
    const std::string display = named && named->display_name ? named->display_name : "";
    std::string rule_name;
    int found = -1;
    bool kept_on_vst3 = false;
    bool waves_shell_entry = false;
    if (key.size() == kShellKeyLength) {
        const std::string wanted = "VST" + std::string(key.substr(8));
        for (std::size_t i = 0; i < cache.size() && found < 0; ++i)
            if (index.class_bytes[i].starts_with(wanted)) found = static_cast<int>(i);
        if (found >= 0) {
            rule_name = "Waves PluginSubComp";
        } else if ((found = find_waves_shell_entry(index, key, instances)) >= 0) {
            rule_name = "Waves shell entry of that name";
            waves_shell_entry = true;
        }
    } else {
        found = identify_in_cache(index, key, display, prefer_vst3, rule_name);
        std::uint32_t count = 0;
        if (!prefer_vst3 && key.starts_with("FabF") &&
            !count_instances_with_key(instances, key, count)) {
            std::string vst3_rule;
            const int vst3 = identify_in_cache(index, key, display, true, vst3_rule);
            if (vst3 >= 0 && is_vst3_build(cache[static_cast<std::size_t>(vst3)]) && found >= 0 &&
                is_vst2_build(cache[static_cast<std::size_t>(found)])) {
                found = vst3;
                rule_name = kKeptOnVst3;
                kept_on_vst3 = true;
            }
        }
    }
    if (found < 0 && named != nullptr) return;
    if (found < 0) {
        found = find_by_stored_name(index, key, stored_names);
        if (found < 0) return;
        rule_name = "the name Pro Tools stores";
    }

    const ReaperPluginEntry& e = cache[static_cast<std::size_t>(found)];
    PluginResolution made =
        make_record(key, named ? std::string_view(display) : std::string_view(e.bare_name), e);
    if (waves_shell_entry) {
        // A Waves plug-in's class id is the compatibility id of its four-character code, which
        // ends the key, and its name.
        std::uint32_t code = 0;
        for (const char c : key.substr(kAaxIdLength))
            code = code << 8 | static_cast<unsigned char>(c);
        made.id_text =
            std::to_string(e.vst2_id) + "{" + vst3_class_id_from_name(code, e.name) + "}";
    }
    plugin_knowledge.resolutions.push_back(std::move(made));
    const PluginResolution& record = plugin_knowledge.resolutions.back();
    if (!record.id_known) plugin_knowledge.marker_only_keys.insert(record.key);
    if (kept_on_vst3) {
        std::uint32_t count = 0;
        count_instances_with_key(instances, key, count);
        const std::string name = e.bare_name.starts_with("FabFilter ")
                                     ? record.display_name
                                     : "FabFilter " + record.display_name;
        plugin_knowledge.kept_on_vst3[name] += count;
    }
    // Without the class id in the cache, the block carries the one the plug-in's name gives.
    say("    %s -> %-46s [%s%s]\n", record.key.c_str(), record.type_text.c_str(), rule_name.c_str(),
        record.id_known ? "" : ", VST3 class id unknown - written with the id its name gives");
    ++added;
}

std::set<std::string> distinct_keys(const std::vector<SessionPluginInstance>& instances) {
    std::set<std::string> keys;
    for (const SessionPluginInstance& instance : instances) keys.insert(plugin_key(instance));
    return keys;
}

}  // namespace

bool count_instances_with_key(const std::vector<SessionPluginInstance>& instances,
                              std::string_view key, std::uint32_t& count) {
    count = 0;
    bool all_take = true;
    for (const SessionPluginInstance& instance : instances) {
        if (plugin_key(instance) != key) continue;
        ++count;
        if (instance.payload_kind != 1 && instance.payload_kind != 10) all_take = false;
    }
    return all_take;
}

int resolve_session_plugins(const std::vector<SessionPluginInstance>& instances,
                            const std::map<std::string, std::string>& stored_names,
                            bool prefer_vst3, std::span<const PluginRuleRow> builtin_rows) {
    const std::vector<ReaperPluginEntry>& cache = plugin_knowledge.cache;
    if (cache.empty()) return 0;
    const CacheIndex index = index_cache(cache);
    const std::size_t first_identified = plugin_knowledge.resolutions.size();
    std::set<std::string> keyed;  // keys with a key input: their rows take 4 input pins
    for (const SessionPluginInstance& instance : instances)
        if (instance.channel_word >= 0) keyed.insert(plugin_key(instance));

    int added = 0;
    for (const std::string& key : distinct_keys(instances)) {
        const PluginRuleRow* builtin = find_builtin_row(builtin_rows, key);
        if (builtin != nullptr && row_has_target(*builtin)) {
            if (key == kKontaktKey)
                resolve_kontakt(index, key, *builtin, instances, prefer_vst3, added);
            else
                resolve_targeted_row(index, key, *builtin, instances, prefer_vst3, added);
            continue;
        }
        // A learned key keeps its learned row: finding it again would name another plug-in.
        if (learned_table_matches(key)) continue;
        // Avid's processors exist only as AAX: their rows keep the name, and the name rules
        // would only find some other plug-in whose name holds "Trim" or "EQ3".
        if (builtin != nullptr && is_avid_maker_id(key)) continue;
        identify_key(index, key, builtin, instances, stored_names, prefer_vst3, added);
    }

    for (std::size_t i = first_identified; i < plugin_knowledge.resolutions.size(); ++i) {
        const PluginResolution& record = plugin_knowledge.resolutions[i];
        PluginRuleRow row;
        point_row_at(row, record);
        // Instruments take no input in REAPER's saves unless their name counts inputs; a key
        // input takes four.
        const NamedPins pins = pins_in_name(record.type_text);
        row.input_pins = keyed.count(record.key)                ? 4
                         : pins.input                           ? *pins.input
                         : is_instrument_type(record.type_text) ? 0
                                                                : 2;
        row.output_pins = pins.output.value_or(2);
        row.tail_word = reaper_header_tail_word(record.id_text);
        if (record.key.starts_with("FabF")) row.preset_name = "Default Setting";
        plugin_knowledge.learned_rows.push_back(row);
    }
    return added;
}

int apply_prefer_clap(const std::vector<SessionPluginInstance>& instances,
                      const StateProbe& probe) {
    const std::vector<ReaperPluginEntry>& cache = plugin_knowledge.cache;
    if (cache.empty()) return 0;
    const CacheIndex index = index_cache(cache);
    int moved = 0;
    for (const std::string& key : distinct_keys(instances)) {
        const PluginRuleRow* found = find_mapping_rule(key);
        if (found == nullptr || !row_has_target(*found) || found->type_text == nullptr ||
            found->type_text[0] == '\0' || starts_with(found->type_text, "CLAP"))
            continue;
        const PluginRuleRow row = *found;
        std::vector<PluginRuleRow>& resolved = plugin_knowledge.resolved_rows;
        const bool replaces_resolved =
            found >= resolved.data() && found < resolved.data() + resolved.size();
        const std::size_t resolved_at =
            replaces_resolved ? static_cast<std::size_t>(found - resolved.data()) : 0;

        const std::string_view type_text = row.type_text;
        const std::size_t colon = type_text.find(": ");
        const std::string wanted = normalize_alnum_lower(
            colon == std::string_view::npos ? type_text : type_text.substr(colon + 2));
        int clap = -1;
        for (std::size_t i = 0; i < cache.size() && clap < 0; ++i)
            if (cache[i].is_clap && index.whole_name_keys[i] == wanted) clap = static_cast<int>(i);
        if (clap < 0 && row.file != nullptr && row.file[0] != '\0') {
            const std::string stem = file_stem_alnum(row.file);
            int matches = 0;
            for (std::size_t i = 0; i < cache.size(); ++i) {
                if (!cache[i].is_clap || index.file_stems[i] != stem) continue;
                if (++matches == 1) clap = static_cast<int>(i);
            }
            if (matches > 1) clap = -1;
        }
        if (clap < 0) continue;

        const SessionPluginInstance* first = nullptr;
        std::uint32_t count = 0;
        for (const SessionPluginInstance& instance : instances) {
            if (plugin_key(instance) != key) continue;
            if (first == nullptr) first = &instance;
            ++count;
        }
        if (first == nullptr) continue;

        plugin_knowledge.chosen.push_back(make_record(key, row.display_name ? row.display_name : "",
                                                      cache[static_cast<std::size_t>(clap)]));
        const PluginResolution& record = plugin_knowledge.chosen.back();
        const PluginRuleRow clap_row = row_for(row, record);
        if (probe && !probe(*first, clap_row).empty()) {
            // A resolved row the key had is replaced, not shadowed by the new one.
            if (replaces_resolved)
                resolved[resolved_at] = clap_row;
            else
                resolved.push_back(clap_row);
            say("    %s -> %-46s [--prefer-clap]\n", key.c_str(), record.type_text.c_str());
            ++moved;
            plugin_knowledge.clap_instances += count;
        } else {
            say("    %s stays on %s: its settings cannot be carried to the CLAP build yet\n",
                key.c_str(), row.type_text);
            plugin_knowledge.kept_off_clap[row.display_name ? row.display_name : ""] += count;
            plugin_knowledge.chosen.pop_back();
        }
    }
    return moved;
}
