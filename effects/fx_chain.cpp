#include "effects/fx_chain.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "convert/run_state.h"
#include "effects/fx_blocks.h"
#include "effects/fx_lanes.h"
#include "effects/fx_text.h"
#include "effects/param_envelopes.h"
#include "plugins/corpus_dump.h"
#include "plugins/plugin_rules.h"
#include "plugins/plugin_state.h"
#include "plugins/reaper_cache.h"
#include "plugins/state_conversion.h"
#include "util/bytes.h"
#include "util/codecs.h"
#include "util/guid.h"
#include "util/number_text.h"

FxChainState fx_chain_state;

void reset_fx_chain_state() {
    fx_chain_state = FxChainState{};
    reset_param_envelope_state();
}

void set_fx_trim_counts(std::size_t instances, int unlinked_gain, int below_range) {
    fx_chain_state.trim_instances = static_cast<std::uint32_t>(instances);
    fx_chain_state.trim_unlinked_gain = static_cast<std::uint32_t>(std::max(unlinked_gain, 0));
    fx_chain_state.trim_below_range = static_cast<std::uint32_t>(std::max(below_range, 0));
}

namespace {

// REAPER's most channels on a track: a pin list longer than that is held to it.
constexpr std::uint32_t kMostPins = 128;

const char* const kSixBlanks = "      ";

enum class SlotKind { plugin_block, placeholder, trim_js, standin };

struct Slot {
    SlotKind kind;
    std::size_t row;
    const SessionPluginInstance* instance;
    const PluginRuleRow* rule;
    std::string text;  // a stand-in's blocks, made when the slot is classified
};

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool has_text(const char* text) {
    return text != nullptr && *text != '\0';
}

std::uint32_t fxid_seed(const SessionPluginInstance& instance) {
    return static_cast<std::uint32_t>(instance.block_pos);
}

// The slot's reason when its settings do not carry.
std::string no_settings_text(const SessionPluginInstance& instance, const PluginRuleRow& rule,
                             StateGap gap) {
    if (starts_with(rule.type_text ? rule.type_text : "", "CLAP") && instance.payload_kind != 0)
        return "tried: its settings ARE in the session, but how the CLAP build of this plug-in "
               "stores them is not measured yet. In REAPER, put the plug-in on a track, "
               "right-click the FX chain, Save chain as .RfxChain, and send that file with this "
               "report: one export is all it takes";
    if (gap == StateGap::left_out)
        return "its settings ARE in the session and were left out, as asked (--no-kontakt-state)";
    const bool nested =
        instance.elck_found != 0 || (instance.source_tag != nullptr &&
                                     std::strcmp(instance.source_tag, "AAX chunk after elck") == 0);
    if (nested || gap == StateGap::layout_unknown)
        return "tried: its settings ARE in the session, but how this build of the plug-in takes "
               "them is not known yet, and a wrong guess loads wrong settings silently - so "
               "nothing was guessed. Worth telling us about";
    if (instance.payload_kind == 5)
        return "tried: Pro Tools stored only its control values, in a layout not yet known for "
               "this plug-in's REAPER build";
    return "Pro Tools stored no transferable settings for it";
}

const AaxOnlyEntry* find_aax_only(std::string_view aax_id) {
    const std::size_t n = std::min<std::size_t>(8, aax_id.size());
    for (const AaxOnlyEntry* row = aax_only_table(); row->prefix != nullptr; ++row)
        if (std::strlen(row->prefix) == n && aax_id.substr(0, n) == row->prefix) return row;
    return nullptr;
}

const AaxOnlyEntry kAvidDefault = {"", "an Avid stock processor", 1};

// The reason of a stock processor whose stored settings did not give its stand-in.
const char* const kStandInNotRead =
    "tried: its settings ARE in the session, but they did not read as this stock processor's "
    "settings - nothing was guessed";

void write_frame_head(std::FILE* file, const FxChainTrack& track) {
    print_text(file,
               "    <%s\n      WNDRECT 0 0 0 0\n      SHOW 0\n      LASTSEL 0\n      DOCKED 0\n",
               track.tag);
}

bool is_track_chain(const FxChainTrack& track) {
    return std::strcmp(track.tag, "FXCHAIN") == 0;
}

void put_text(std::FILE* file, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file);
}

// The pin header of a plug-in block: the row's magic with the flag REAPER pairs it with, the pins,
// the state's length and the row's tail word.
std::string vst_header(const PluginRuleRow& rule, const std::string& state, std::uint32_t key,
                       int channels) {
    const char* id = rule.id_text ? rule.id_text : "";
    std::uint32_t vst2_id = 0;
    for (const char* c = id; *c >= '0' && *c <= '9'; ++c) vst2_id = vst2_id * 10 + (*c - '0');
    const std::uint32_t nin = std::min(rule.input_pins, kMostPins);
    const std::uint32_t nout = std::min(rule.output_pins, kMostPins);
    const bool mono_helix = channels == 1 && nin >= 2 && rule.signature != nullptr &&
                            (std::strcmp(rule.signature, "Lin6Helx") == 0 ||
                             std::strcmp(rule.signature, "Lin66SAX") == 0);
    std::string header;
    append_u32le(header, vst2_id);
    append_u32le(header, rule.header_magic);
    append_u32le(header, nin);
    for (std::uint32_t i = 0; i < nin; ++i) {
        if (mono_helix && i == 1) {
            append_u32le(header, 0);
            append_u32le(header, 0);
            continue;
        }
        std::uint64_t channel = i;
        if (key >= 1 && nin > 3 && (i == 2 || i == 3)) channel += 2ull * key;
        append_pin_mask64(header, static_cast<unsigned>(std::min<std::uint64_t>(channel, 64)));
    }
    append_u32le(header, nout);
    for (std::uint32_t i = 0; i < nout; ++i) {
        // A plug-in of one input: REAPER sends its first output to both channels.
        if (i == 0 && nin == 1) {
            append_u32le(header, 3);
            append_u32le(header, 0);
            continue;
        }
        append_pin_mask64(header, i);
    }
    append_u32le(header, static_cast<std::uint32_t>(state.size()));
    append_u32le(header, vst_header_flag(rule.header_magic));
    append_u32le(header, rule.tail_word);
    return header;
}

bool has_program_bank(const std::string& state) {
    return state.size() > 44 && !starts_with(state, "<?xml") &&
           state.find("<Bank>") != std::string::npos;
}

// Whether REAPER's cache lists a Waves shell's plug-ins as .vst3 entries without class ids, as
// REAPER 6 does.
bool cache_lists_waves_shell_by_name() {
    for (const ReaperPluginEntry& e : plugin_knowledge.cache)
        if (is_waves_shell_entry_without_class_id(e)) return true;
    return false;
}

// An offline slot whose plug-in REAPER's cache lists by a .vst3 entry without a class id.
void count_offline_without_class_id(const SessionPluginInstance& instance) {
    if (plugin_knowledge.marker_only_keys.count(plugin_key(instance)) != 0)
        ++fx_chain_state.offline_without_class_id;
}

// Kind 0: the plug-in block with its state, or offline without one.
void write_plugin_slot(std::FILE* file, const FxSession& session, const FxChainTrack& track,
                       const Slot& slot, bool pinflags) {
    const SessionPluginInstance& instance = *slot.instance;
    const PluginRuleRow& rule = *slot.rule;
    FxReportRow& row = fx_chain_state.rows[slot.row];
    const PluginState converted =
        convert_plugin_state(instance, rule, session.bytes, track.midi, true);
    std::string state = converted.bytes;
    dump_corpus_entry(instance, &rule, session.bytes, state, session.session_name);
    for (std::uint32_t i = 0; i < converted.midi_trigger_changes; ++i)
        fx_chain_state.midi_trigger_off.push_back(
            track.name + " / " +
            (has_text(rule.display_name) ? rule.display_name : instance.aax_id));

    int bypass = 0;
    int offline = 0;
    if (state.empty()) {
        bypass = offline = 1;
    } else if (instance.inactive) {
        bypass = offline = 1;
        ++fx_chain_state.inactive;
        ++fx_chain_state.offline;
        if (instance.bypassed) ++fx_chain_state.bypassed;
    } else if (instance.bypassed) {
        bypass = 1;
        ++fx_chain_state.bypassed;
        if (settings.fx_bypass_mode == BypassedFxMode::offline) {
            offline = 1;
            ++fx_chain_state.offline;
        }
    }
    const std::string preset = has_program_bank(state) ? "Program 0" : "";
    std::uint32_t key = 0;
    if (session.key_source_index_by_instance) {
        const auto key_it = session.key_source_index_by_instance->find(instance.block_pos);
        if (key_it != session.key_source_index_by_instance->end() && key_it->second > 0)
            key = static_cast<std::uint32_t>(key_it->second);
    }

    const std::string type_text = rule.type_text ? rule.type_text : "";
    const std::string id_text = rule.id_text ? rule.id_text : "";
    std::string text;
    append_format(text, "      BYPASS %d %d 0\n", bypass, offline);
    if (starts_with(type_text, "CLAP")) {
        text += "      <CLAP " + fx_token(type_text) + " " + fx_plain_token(id_text) + " \"\"\n";
        // REAPER's CLAP configuration: 0, then the editor's width and height (0: its own size).
        text += "        CFG 0 0 0 \"\"\n";
        if (!state.empty()) {
            text += "        <STATE\n";
            const std::string encoded = base64_encode(state);
            for (std::size_t at = 0; at < encoded.size(); at += 128)
                text += "          " + encoded.substr(at, 128) + "\n";
            text += "        >\n";
        }
        text += "      >\n";
    } else {
        text += "      <VST " + fx_token(type_text) + " " +
                fx_plain_token(rule.file ? rule.file : "") + " 0 \"\" " + fx_plain_token(id_text) +
                " \"\"\n";
        append_base64_lines(text, "        ", vst_header(rule, state, key, track.channels), state,
                            vst_block_trailer(preset, rule.tail_word));
        text += "      >\n";
    }
    if (pinflags) text += "      PINFLAGS 1\n";
    if (!preset.empty()) text += "      PRESETNAME " + fx_token(preset) + "\n";
    if (state.empty()) text += "      PRESETNAME \"** Pro Tools settings not transferred **\"\n";
    text += "      FLOATPOS 0 0 0 0\n";
    text += "      FXID " + guid_from_seed(fxid_seed(instance)) + "\n";
    put_text(file, text);
    if (!state.empty()) {
        row.automation_points = write_param_envelopes(file, instance, &rule, row.track);
    } else {
        count_unwritten_lanes_by_fx(instance, &rule, row.track);
        if (row.outcome == fx_carried) {
            row.outcome = fx_without_settings;
            row.text = "Pro Tools stored no transferable settings for it";
            ++fx_chain_state.offline_counts[row.name];
            count_offline_without_class_id(instance);
        }
    }
    std::fputs("      WAK 0 0\n", file);
}

void write_trim_slot(std::FILE* file, const Slot& slot, double gain_db, bool pinflags) {
    const SessionPluginInstance& instance = *slot.instance;
    count_unwritten_lanes_by_key(instance, "Trim", fx_chain_state.rows[slot.row].track);
    std::string preset;
    append_format(preset, "Avid Trim %+.2f dB", gain_db);
    const std::string saved_indent = fx_indent;
    fx_indent = kSixBlanks;
    std::string block = build_volume_trim_js(
        gain_db, instance.bypassed ? 1 : instance.inactive, fxid_seed(instance),
        join_name_parenthesised("Trim", "Volume Adjustment"), preset);
    fx_indent = saved_indent;
    if (pinflags) insert_pinflags(block);
    put_text(file, block);
    ++fx_chain_state.trim_js;
}

}  // namespace

const AaxOnlyEntry* aax_only_table() {
    static const AaxOnlyEntry rows[] = {
        // Avid's Trim: its gain and polarity are carried by the volume JS and the polarity
        // block when they can be; a Trim left as a placeholder changed the level.
        {"DigiTrim", "Avid's gain utility", 1},
        {nullptr, nullptr, 0},
    };
    return rows;
}

void fx_format_and_maker(std::string_view type_text, std::string& format, std::string& maker) {
    format = starts_with(type_text, "VST3")   ? "vst3"
             : starts_with(type_text, "CLAP") ? "clap"
             : starts_with(type_text, "VST")  ? "vst2"
             : starts_with(type_text, "JS")   ? "reaper"
                                              : "none";
    maker.clear();
    std::string text(type_text);
    while (true) {
        const std::size_t open = text.rfind(" (");
        const std::size_t close = text.rfind(')');
        if (open == std::string::npos || close != text.size() - 1 || close <= open + 2) return;
        const std::string inner = text.substr(open + 2, close - open - 2);
        std::size_t digits = 0;
        while (digits < inner.size() && inner[digits] >= '0' && inner[digits] <= '9') ++digits;
        const std::string rest = inner.substr(digits);
        if (digits > 0 && (rest == " out" || rest == "ch")) {
            text.resize(open);
            continue;
        }
        maker = inner;
        return;
    }
}

std::uint32_t count_fx_rows_carried() {
    std::uint32_t n = 0;
    for (const FxReportRow& row : fx_chain_state.rows) n += row.outcome == fx_carried;
    return n;
}

std::string placeholder_id_text(std::string_view aax_id, std::uint32_t& vst2_id) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string digits;
    for (std::size_t i = 0; i < aax_id.size() && digits.size() < 16; ++i) {
        const unsigned char byte = static_cast<unsigned char>(aax_id[i]);
        digits += kHex[byte >> 4];
        digits += kHex[byte & 15];
    }
    std::uint32_t h = 0x811c9dc5u;
    for (char c : aax_id) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    std::uint32_t x = h;
    while (digits.size() < 32) {
        x = x * 1103515245u + 12345u;
        digits += kHex[x >> 28];
    }
    vst2_id = h | 1u;
    std::string text;
    append_format(text, "%u{%s}", vst2_id, digits.c_str());
    return text;
}

void write_placeholder_vst3(std::FILE* file, const std::string& name,
                            const SessionPluginInstance& instance, std::uint32_t seed,
                            int channels) {
    std::uint32_t vst2_id = 0;
    const std::string id_text = placeholder_id_text(instance.aax_id, vst2_id);
    const std::uint32_t n =
        static_cast<std::uint32_t>(std::clamp(channels, 1, static_cast<int>(kMostPins)));
    std::string header;
    append_u32le(header, vst2_id);
    append_u32le(header, kVstHeaderMagic);
    for (int side = 0; side < 2; ++side) {
        append_u32le(header, n);
        for (std::uint32_t i = 0; i < n; ++i) append_pin_mask64(header, i);
    }
    append_u32le(header, 0);
    append_u32le(header, 1);
    const std::uint32_t tail_word = reaper_header_tail_word(id_text);
    append_u32le(header, tail_word);
    std::string text = "      BYPASS 1 0 0\n";
    text += "      <VST " + fx_token("VST3: " + name) + " \"\" 0 \"\" " + fx_plain_token(id_text) +
            " \"\"\n";
    append_base64_lines(text, "        ", header, "", vst_block_trailer("", tail_word));
    text += "      >\n";
    text += "      PRESETNAME \"** Pro Tools only - no VST exists - replace me here\"\n";
    text += "      FLOATPOS 0 0 0 0\n";
    text += "      FXID " + guid_from_seed(seed) + "\n";
    text += "      WAK 0 0\n";
    put_text(file, text);
    ++fx_chain_state.aax_slots;
}

void write_trim_polarity_js(std::FILE* file, const FxChainTrack& track) {
    if (track.one_sided_polarity == 0 || settings.no_stand_ins) return;
    const bool left = track.one_sided_polarity == 1;
    const std::uint32_t first = track.name.empty() ? 0u : static_cast<unsigned char>(track.name[0]);
    const std::uint32_t seed =
        0x504F4C00u ^ (first << 16) ^ static_cast<std::uint32_t>(track.name.size());
    const std::string saved_indent = fx_indent;
    fx_indent = kSixBlanks;
    const std::string block =
        build_js_block("IX/StereoPhaseInvert", left ? "1" : "2", 1, 0, seed,
                       join_name_parenthesised(
                           left ? "Trim polarity, left channel" : "Trim polarity, right channel",
                           "Channel Polarity Control"),
                       "");
    fx_indent = saved_indent;
    put_text(file, block);
    ++fx_chain_state.polarity_js;
}

void write_fxchain_frame(std::FILE* file, const FxChainTrack& track) {
    if (!is_track_chain(track)) return;
    const bool polarity = track.one_sided_polarity != 0 && !settings.no_stand_ins;
    if (!polarity && track.extra_text.empty()) return;
    write_frame_head(file, track);
    write_trim_polarity_js(file, track);
    put_text(file, track.extra_text);
    std::fputs("    >\n", file);
}

int write_fx_chain(std::FILE* file, const FxSession& session, const FxChainTrack& track) {
    if (is_track_chain(track) && track.one_sided_polarity != 0 && settings.no_stand_ins)
        ++fx_chain_state.polarity_withheld;
    const std::vector<SessionPluginInstance>* list = nullptr;
    if (session.plugins_by_track) {
        const auto it = session.plugins_by_track->find(track.name);
        if (it != session.plugins_by_track->end()) list = &it->second;
    }
    if (list == nullptr || list->empty()) {
        write_fxchain_frame(file, track);
        return 0;
    }

    FxChainState& st = fx_chain_state;
    std::vector<Slot> slots;
    for (std::size_t position = 0; position < list->size(); ++position) {
        const SessionPluginInstance& instance = (*list)[position];
        const PluginRuleRow* rule = find_mapping_rule(plugin_key(instance));
        std::string name;
        if (rule && has_text(rule->display_name))
            name = rule->display_name;
        else if (!instance.plugin_name.empty())
            name = "Waves " + instance.plugin_name;
        else
            name = instance.aax_id;
        ++st.all_counts[name];

        FxReportRow row;
        row.format = "none";
        row.track = track.name;
        row.slot = static_cast<std::uint32_t>(position + 1);
        row.name = name;
        row.inactive = instance.inactive;
        const bool target = rule && has_text(rule->id_text) && has_text(rule->type_text);
        if (target)
            fx_format_and_maker(rule->type_text, row.format, row.maker);
        else if (is_avid_maker_id(instance.aax_id))
            row.maker = "Avid";

        std::optional<SlotKind> kind;
        std::string standin_text;
        auto settle = [&](std::uint32_t outcome, std::string text) {
            row.outcome = outcome;
            row.text = std::move(text);
        };
        bool settled = false;
        if (settings.fx_bypass_mode == BypassedFxMode::leave_out &&
            (instance.bypassed || instance.inactive)) {
            settle(fx_left_out_bypassed,
                   instance.inactive ? "was inactive in Pro Tools" : "was bypassed in Pro Tools");
            ++st.left_out_bypassed;
            settled = true;
        }
        if (!settled && rule && has_text(rule->id_text)) {
            const std::string type_text = rule->type_text ? rule->type_text : "";
            if (!cache_has_plugin_id(plugin_knowledge.cache, rule->id_text)) {
                row.missing = 1;
                if (settings.skip_missing_fx) {
                    st.missing_fx_left_out[name] = type_text;
                    settle(fx_left_out_not_installed, "not installed for REAPER here - left out");
                    settled = true;
                } else {
                    st.missing_fx[name] = type_text;
                }
            }
            if (!settled) {
                PluginState probe;
                if (instance.payload_kind != 0)
                    probe = convert_plugin_state(instance, *rule, session.bytes, track.midi, false);
                if (instance.payload_kind != 0 && !probe.bytes.empty()) {
                    kind = SlotKind::plugin_block;
                } else {
                    std::string reason = no_settings_text(instance, *rule, probe.gap);
                    if (settings.placeholders_enabled) {
                        settle(fx_without_settings, std::move(reason));
                        ++st.offline_counts[name];
                        count_offline_without_class_id(instance);
                        kind = SlotKind::plugin_block;
                    } else {
                        settle(fx_left_out_no_settings, std::move(reason));
                        ++st.no_settings_counts[name];
                    }
                }
                settled = true;
            }
        }
        if (!settled && starts_with(instance.aax_id, "DigiTrim") && session.trim_gain_by_instance &&
            session.trim_gain_by_instance->count(instance.block_pos)) {
            if (settings.no_stand_ins) {
                ++st.standins_withheld;
            } else if (track.channels >= 3) {
                ++st.trim_wide_tracks;
            } else {
                settle(fx_carried,
                       "gain carried as REAPER's Volume Adjustment (JS), in the same slot");
                row.format = "reaper";
                kind = SlotKind::trim_js;
                settled = true;
            }
        }
        if (!settled) {
            const std::optional<std::string> stock = stock_plugin_name(instance);
            if (stock && session.standin_built && session.standin_built(*stock) &&
                session.write_stock_standins && standin_chunk_ok(instance, session.bytes)) {
                if (settings.no_stand_ins) {
                    ++st.standins_withheld;
                } else {
                    // The text is made now, so a slot is only counted carried once it exists;
                    // PINFLAGS goes in when the chain's last pinned slot is known.
                    standin_text = session.write_stock_standins(instance, session.bytes);
                    if (!standin_text.empty()) {
                        const bool keyed =
                            session.keyed_standin_instances &&
                            session.keyed_standin_instances->count(instance.block_pos);
                        settle(fx_carried,
                               std::string("stand-in: REAPER's own plug-ins with the same "
                                           "settings") +
                                   (keyed ? ", keyed from the key input" : ""));
                        row.format = "reaper";
                        kind = SlotKind::standin;
                    } else if (settings.placeholders_enabled) {
                        settle(fx_without_settings, kStandInNotRead);
                        ++st.offline_counts[name];
                        kind = SlotKind::placeholder;
                    } else {
                        settle(fx_left_out_no_settings, kStandInNotRead);
                        ++st.no_settings_counts[name];
                    }
                    settled = true;
                }
            }
        }
        if (!settled) {
            const AaxOnlyEntry* entry = find_aax_only(instance.aax_id);
            if (entry == nullptr && is_avid_maker_id(instance.aax_id)) entry = &kAvidDefault;
            if (entry != nullptr) {
                ++st.aax_only_counts[name];
                st.aax_only_labels[name] = entry->label;
                if (entry->processes_audio) st.aax_only_flags[name] = 1;
                settle(fx_aax_only, "AAX only - no VST/VST3 version exists");
                if (settings.aax_slots_enabled) kind = SlotKind::placeholder;
                settled = true;
            }
        }
        if (!settled) {
            settle(fx_not_recognised,
                   instance.payload_kind != 9 ? "not recognized - we have not matched this one to "
                                                "a REAPER plug-in yet"
                   : cache_lists_waves_shell_by_name()
                       ? "REAPER's cache lists the Waves shell's plug-ins by name only, and none "
                         "by this one's name - rescan plug-ins in REAPER and convert again"
                       : "REAPER has not scanned this Waves plug-in - rescan plug-ins in REAPER "
                         "and convert again");
            ++st.unrecognised_counts[name];
            st.unrecognised_keys.emplace(name, plugin_key(instance));
        }
        st.rows.push_back(std::move(row));
        if (kind)
            slots.push_back(
                Slot{*kind, st.rows.size() - 1, &instance, rule, std::move(standin_text)});
    }

    if (slots.empty()) {
        write_fxchain_frame(file, track);
        return 0;
    }
    std::size_t pin_slot = slots.size();
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (slots[i].kind != SlotKind::placeholder) pin_slot = i;

    write_frame_head(file, track);
    if (is_track_chain(track)) write_trim_polarity_js(file, track);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const Slot& slot = slots[i];
        const bool pinflags = track.pinflags && i == pin_slot;
        switch (slot.kind) {
            case SlotKind::trim_js:
                write_trim_slot(file, slot,
                                session.trim_gain_by_instance->at(slot.instance->block_pos),
                                pinflags);
                break;
            case SlotKind::standin: {
                count_unwritten_lanes_by_key(*slot.instance, *stock_plugin_name(*slot.instance),
                                             st.rows[slot.row].track);
                std::string text = slot.text;
                if (pinflags) insert_pinflags(text);
                put_text(file, text);
                break;
            }
            case SlotKind::placeholder:
                write_placeholder_vst3(file, st.rows[slot.row].name, *slot.instance,
                                       fxid_seed(*slot.instance), track.channels);
                break;
            case SlotKind::plugin_block:
                write_plugin_slot(file, session, track, slot, pinflags);
                break;
        }
    }
    if (is_track_chain(track)) put_text(file, track.extra_text);
    std::fputs("    >\n", file);
    return static_cast<int>(slots.size());
}
