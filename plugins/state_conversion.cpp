#include "plugins/state_conversion.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "convert/run_state.h"
#include "plugins/plugin_state.h"
#include "plugins/state_layouts.h"
#include "util/bytes.h"
#include "util/codecs.h"
#include "util/names.h"

PluginStateCounts plugin_state_counts;

void reset_plugin_state_counts() {
    plugin_state_counts = PluginStateCounts{};
}

namespace {

constexpr std::uint32_t kKindFabFilter = 1;
constexpr std::uint32_t kKindTagged = 2;
constexpr std::uint32_t kKindHxmc = 4;
constexpr std::uint32_t kKindValues = 5;
constexpr std::uint32_t kKindScript = 6;
constexpr std::uint32_t kKindTagged7 = 7;
constexpr std::uint32_t kKindZlib = 8;
constexpr std::uint32_t kKindWaves = 9;
constexpr std::uint32_t kKindBraces = 10;
constexpr std::uint32_t kKindArchive = 11;
constexpr std::uint32_t kKindKontakt = 12;
constexpr std::uint32_t kKindChunk = 13;

constexpr const char* kElckLabel = "AAX chunk after elck";
constexpr std::uint32_t kStoredBeforeChunk = 0x0610D6DB;
constexpr std::string_view kJuceClassPrefix = "ABCDEF019182FAEB";
constexpr std::string_view kDoubledChunkClass = "{F2AEE70D00DE4F4E";
constexpr std::string_view kWavesBypass = "<Bypass Version=\"1\" Bypass=\"0\" />\n";
constexpr std::uint32_t kDefaultValueCount = 20;
constexpr int kMaxLine6Sections = 32;

// JUCE's VST2 builds take their chunk inside an fxb bank (juce_vst2_state_blob), but no state
// REAPER wrote for such a build has confirmed the filler: until one does, nothing is guessed.
constexpr bool kJuceVst2Confirmed = false;

enum class Target { vst2, vst3, clap };

Target target_of(const PluginRuleRow& row) {
    if (starts_with(row.type_text ? row.type_text : "", "CLAP")) return Target::clap;
    if (row.id_text != nullptr && std::strchr(row.id_text, '{') != nullptr) return Target::vst3;
    return Target::vst2;
}

PluginState made(std::string bytes) {
    PluginState state;
    state.gap = bytes.empty() ? StateGap::not_carried : StateGap::none;
    state.bytes = std::move(bytes);
    return state;
}

PluginState gap(StateGap why) {
    PluginState state;
    state.gap = why;
    return state;
}

std::string u32(std::uint32_t value) {
    std::string out;
    append_u32le(out, value);
    return out;
}

std::string u32be(std::uint32_t value) {
    std::string out;
    append_u32be(out, value);
    return out;
}

std::string f32(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return u32(bits);
}

// [u32 |a|][u32 1] a [u32 |b|][u32 0] b: the two blocks of a VST3 state.
std::string two_blocks(std::string_view a, std::string_view b) {
    std::string out = u32(static_cast<std::uint32_t>(a.size())) + u32(1);
    out += a;
    out += u32(static_cast<std::uint32_t>(b.size())) + u32(0);
    out += b;
    return out;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// One slot's conversion: what every step reads.
struct Conversion {
    const SessionPluginInstance& in;
    const PluginRuleRow& row;
    SessionBytes bytes;
    std::string key;
    Target target;
    bool midi_track;
    std::uint32_t midi_changes = 0;

    // Kinds 1, 2 and 13 have no CLAP framing of their own: CLAP builds take the VST2 one.
    bool vst3() const { return target == Target::vst3; }
    std::size_t end() const { return static_cast<std::size_t>(in.settings_end); }

    // [offset, offset + length) inside the settings area.
    bool fits(std::uint64_t offset, std::uint64_t length) const {
        return offset >= in.block_pos && offset <= in.settings_end &&
               length <= in.settings_end - offset;
    }
    std::string_view view(std::uint64_t offset, std::uint64_t length) const {
        return {reinterpret_cast<const char*>(bytes.data()) + offset,
                static_cast<std::size_t>(length)};
    }
    std::string_view payload() const { return view(in.payload_offset, in.payload_length); }
    bool text_at(std::uint64_t pos, std::string_view text) const {
        return pos >= in.block_pos && fits(pos, text.size()) && view(pos, text.size()) == text;
    }
    bool release_midi() const { return midi_track && settings.keep_plugin_midi == 0; }
};

// The JUCE VST2 state of a chunk (see kJuceVst2Confirmed).
PluginState juce_vst2_state(const Conversion& c, std::string_view chunk) {
    if (!kJuceVst2Confirmed) return gap(StateGap::layout_unknown);
    std::string body(chunk);
    if (c.in.aax_id == "AntrSlce") body.append(8, '\0');
    const std::string code = aax_product_code_for_state(c.row, c.in);
    const std::uint32_t id = read_u32be_checked(
        SessionBytes(reinterpret_cast<const std::uint8_t*>(code.data()), code.size()), 0);
    return made(juce_vst2_state_blob(id, parse_chunk_version(chunk), body));
}

// XML states: Antares' parameter rewrite, then the bank of programs.
PluginState xml_steps(const Conversion& c, std::string state) {
    if (!std::string_view(state).starts_with("<?xml")) return made(std::move(state));
    if (needs_antares_param_rows(c.in.aax_id)) {
        const auto rows = antares_param_rows(c.in.aax_id);
        // The raw XML holds the session's parameter ids, which the REAPER build does not read.
        if (rows.empty()) return gap(StateGap::layout_unknown);
        state = rewrite_antares_params(state, c.in.aax_id, rows);
    }
    return made(wrap_xml_bank(state));
}

// "VC2!", u32 XML length - 1, the XML and its zero byte, then whatever follows.
bool vc2_xml(std::string_view payload, std::uint64_t& xml_length) {
    if (payload.size() < 8) return false;
    xml_length = std::uint64_t{read_u32le_checked(payload, 4)} + 1;
    return xml_length <= payload.size() - 8;
}

PluginState raw_path(const Conversion& c) {
    if (c.row.header_template != nullptr && c.row.wrap_flag != 0) return gap(StateGap::not_carried);
    std::string state(c.payload());
    if (c.row.payload_limit != 0) {
        if (state.size() < c.row.payload_limit) return gap(StateGap::not_carried);
        state.resize(c.row.payload_limit);
    }
    if (c.in.aax_id == "AntrAPan" && c.in.payload_kind == kKindTagged) {
        std::uint64_t length = 0;
        if (!vc2_xml(state, length)) return gap(StateGap::not_carried);
        const std::string xml = remap_xml_param_ids(std::string_view(state).substr(8, length));
        std::string out = state.substr(0, 4) + u32(static_cast<std::uint32_t>(xml.size() - 1));
        out += xml;
        out += std::string_view(state).substr(8 + length);
        state = std::move(out);
    }
    return xml_steps(c, std::move(state));
}

// Line 6's sections from "DHSH" on: a 4-character tag of upper-case letters and digits, a BE
// 64-bit data length at +8, the data from +24.
PluginState line6_state(const Conversion& c) {
    const std::size_t end = c.end();
    std::size_t cms6 = std::string_view::npos;
    const std::string_view area = c.view(c.in.block_pos, end - c.in.block_pos);
    const std::size_t found = area.find("CMS6", 1);
    if (found != std::string_view::npos) cms6 = static_cast<std::size_t>(c.in.block_pos) + found;
    if (cms6 == std::string_view::npos || end - cms6 < 60 || !c.text_at(cms6 + 36, "DHSH"))
        return gap(StateGap::not_carried);

    const std::size_t start = cms6 + 36;
    std::size_t pos = start;
    std::size_t lgsh_data = 0;
    bool apsh = false;
    for (int section = 0; section < kMaxLine6Sections && end - pos >= 24; ++section) {
        const std::string_view tag = c.view(pos, 4);
        bool is_tag = true;
        for (char ch : tag)
            is_tag = is_tag && ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9'));
        if (!is_tag) break;
        const std::uint64_t length = read_u64be_checked(c.bytes, pos + 8);
        if (length > end - pos - 24) return gap(StateGap::not_carried);
        if (tag == "LGSH" && length > 0 && lgsh_data == 0) lgsh_data = pos + 24;
        if (tag == "APSH") apsh = true;
        pos += 24 + static_cast<std::size_t>(length);
    }
    if (lgsh_data == 0 || !apsh) return gap(StateGap::not_carried);
    std::string sections(c.view(start, pos - start));
    sections[lgsh_data - start] = '\0';
    const auto length = static_cast<std::uint32_t>(sections.size());
    std::string out = u32(length + 8) + u32(1) + "CMS6" + u32(length);
    out += sections;
    out.append(8, '\0');
    return made(std::move(out));
}

// Rows with a header template and a wrap flag: an "HXMC" payload whose "RHCP" record stands at
// +32, framed by the template when its "DPCP" record stands at +116, else as a "CMXH" block.
PluginState template_state(const Conversion& c) {
    if (c.in.payload_kind != kKindHxmc) return gap(StateGap::not_carried);
    const std::uint64_t p = c.in.payload_offset;
    const std::size_t end = c.end();
    if (!c.text_at(p + 32, "RHCP")) return gap(StateGap::not_carried);
    const std::string_view records = c.view(p + 32, end - (p + 32));
    const std::size_t dpcp = find_cp_subchunk(records, "DPCP");
    if (dpcp == 0) return gap(StateGap::not_carried);
    if (dpcp == 116 - 32 && p + 208 < end) {
        if (c.row.header_template_len < 16) return gap(StateGap::not_carried);
        std::string out(reinterpret_cast<const char*>(c.row.header_template),
                        c.row.header_template_len);
        const auto size = static_cast<std::uint32_t>(end - (p + 208) + 184);
        put_u32le_at(out, 0, size);
        put_u32le_at(out, 12, size);
        out += c.view(p + 208, end - (p + 208));
        if (c.row.trailing_block != nullptr)
            out.append(reinterpret_cast<const char*>(c.row.trailing_block),
                       c.row.trailing_block_len);
        return made(std::move(out));
    }
    std::string copied(records);
    if (const std::size_t vgcp = find_cp_subchunk(records, "VGCP"); vgcp != 0) {
        const std::uint32_t length = read_u32le_checked(records, vgcp + 8);
        const std::uint64_t at = std::uint64_t{vgcp} + 12 + length;
        if (length > 3 && at < copied.size()) copied[static_cast<std::size_t>(at)] = '\0';
    }
    const auto size = static_cast<std::uint32_t>(copied.size());
    std::string out = u32(size + 8) + u32(1) + "CMXH" + u32(size);
    out += copied;
    out.append(8, '\0');
    return made(std::move(out));
}

// A chunk at [offset, offset + length) of the settings area (kind 13, or the "elck" section the
// parameter path found).
PluginState chunk_state(const Conversion& c, std::uint64_t offset, std::uint32_t length,
                        const char* label, std::uint32_t container_match) {
    if (length == 0 || !c.fits(offset, length)) return gap(StateGap::not_carried);
    const std::string_view chunk = c.view(offset, length);
    if (!c.vst3()) return xml_steps(c, std::string(chunk));

    const std::string_view id = c.row.id_text ? c.row.id_text : "";
    const std::size_t brace = id.find('{');
    const std::string class_id = upper(brace == std::string_view::npos ? "" : id.substr(brace + 1));
    const std::string juce_class = std::string(kJuceClassPrefix) + bytes_to_hex_upper(c.key);
    if (c.key.size() == kAaxIdLength && class_id.starts_with(juce_class) && offset >= 36 &&
        c.text_at(offset - 36, "juce"))
        return made(juce_vst3_state_blob(chunk));
    // The "elck" section's own framing for other builds is not known.
    if (label != nullptr && std::strcmp(label, kElckLabel) == 0)
        return gap(StateGap::layout_unknown);
    if (offset >= 12 && c.fits(offset - 12, 12) &&
        read_u32le_checked(c.bytes, offset - 12) == kStoredBeforeChunk &&
        read_u32le_checked(c.bytes, offset - 4) == length)
        return made(two_blocks(c.view(offset - 12, length + 12), c.view(offset - 12, length + 12)));
    if (upper(id).find(kDoubledChunkClass) == std::string::npos) {
        if (container_match == 2) return made(two_blocks(chunk, chunk));
        return made(two_blocks(chunk, ""));
    }
    const std::string inner = u32(length) + std::string(chunk) + u32(0);
    return made(two_blocks(inner, inner));
}

// The "elck" section, when the parameter path takes it as the plug-in's chunk.
PluginState elck_chunk_state(const Conversion& c) {
    const std::uint64_t offset = c.in.elck_offset;
    if (c.target == Target::vst2 && offset >= 36 && c.text_at(offset - 36, "juce")) {
        if (!c.fits(offset, c.in.elck_length) || c.in.elck_length == 0)
            return gap(StateGap::not_carried);
        return juce_vst2_state(c, c.view(offset, c.in.elck_length));
    }
    return chunk_state(c, offset, c.in.elck_length, kElckLabel, 1);
}

// The value a FabFilter instrument stores for "MIDI triggering" (0.0 off), or -1.
int midi_trigger_index(std::string_view aax_id) {
    if (aax_id == "FabFFC2p") return 42;
    if (aax_id == "FabFFS2a") return 699;
    return -1;
}

PluginState fabfilter_values(Conversion& c) {
    std::vector<float> values = c.in.values;
    const int index = midi_trigger_index(c.in.aax_id);
    if (c.release_midi() && index >= 0 && static_cast<std::size_t>(index) < values.size() &&
        values[static_cast<std::size_t>(index)] == 0.0f) {
        values[static_cast<std::size_t>(index)] = 1.0f;
        ++c.midi_changes;
    }
    const std::string preset = c.row.preset_name;
    const auto count = static_cast<std::uint32_t>(values.size());
    std::string floats;
    for (float v : values) floats += f32(v);

    if (c.target == Target::clap) {
        if (c.key.size() < kAaxIdLength) return gap(StateGap::not_carried);
        std::string out = "FFBS" + u32(1) + u32(count) + floats + c.key.substr(4, 4) + u32(3);
        out += u32(static_cast<std::uint32_t>(preset.size())) + preset;
        out += u32(0xFFFFFFFFu) + u32(1) + u32(0) + u32(0) + "CuSV" + u32(1) + u32(0);
        return made(std::move(out));
    }
    std::string v = "FabF" + u32(2) + u32(static_cast<std::uint32_t>(preset.size())) + preset;
    v += u32(0) + u32(count) + floats;
    const std::string tail = u32(1) + u32(1) + u32(12) + u32(0) + "FFed" + u32(0) + f32(1.0f);
    if (c.vst3()) return made(u32(static_cast<std::uint32_t>(v.size() + 8)) + u32(1) + v + tail);
    return made(v + tail);
}

// Rows of mode 1: a fixed number of values after a run of zero bytes. (A build that reads a
// stepped control as a fraction of its steps would need the value divided by steps - 1; no row
// of that kind is known yet.)
PluginState value_list_state(const Conversion& c) {
    const std::uint32_t n = c.row.value_count != 0 ? c.row.value_count : kDefaultValueCount;
    const std::uint32_t z = c.row.zero_prefix;
    std::string body(z, '\0');
    for (std::uint32_t i = 0; i < n; ++i)
        body += f32(i < c.in.values.size() ? c.in.values[i] : 0.0f);
    return made(two_blocks(body, ""));
}

PluginState parameter_path(Conversion& c) {
    const bool elck = c.in.elck_found != 0;
    const bool one_section = elck && c.in.elck_binary_sections == 1;
    if (c.in.aax_id == "xlnAxaAK" && one_section && c.vst3()) {
        if (c.in.elck_length == 0 || !c.fits(c.in.elck_offset, c.in.elck_length))
            return gap(StateGap::not_carried);
        return made(juce_vst3_state_blob(c.view(c.in.elck_offset, c.in.elck_length)));
    }
    if (c.in.values.empty()) return elck ? elck_chunk_state(c) : gap(StateGap::not_carried);
    const bool preset = c.row.preset_name != nullptr && c.row.preset_name[0] != '\0';
    // The "FabF" framing is FabFilter's: a preset row of another maker does not take it.
    if (preset && c.key.starts_with("FabF")) return fabfilter_values(c);
    if (one_section) return elck_chunk_state(c);
    if (c.row.mode == 1) return value_list_state(c);
    // Two or more binary sections after "elck": which one the build takes is not known.
    return gap(elck ? StateGap::layout_unknown : StateGap::not_carried);
}

PluginState by_kind(Conversion& c) {
    const std::uint32_t kind = c.in.payload_kind;
    const std::string_view payload = c.payload();
    const auto length = static_cast<std::uint32_t>(payload.size());
    switch (kind) {
        case kKindFabFilter: {
            if (!c.vst3()) return raw_path(c);
            if (payload.size() < 12) return gap(StateGap::not_carried);
            const std::uint64_t a_length = 4 * std::uint64_t{read_u32le_checked(payload, 8)} + 12;
            if (a_length > payload.size()) return gap(StateGap::not_carried);
            const std::string a =
                std::string(payload.substr(0, a_length)) + "FFpr" + u32(1) + u32(0);
            std::string_view rest = payload.substr(a_length);
            if (const std::size_t ffex = rest.rfind("FFEx"); ffex != std::string_view::npos)
                rest = rest.substr(0, ffex);
            return made(two_blocks(a, std::string(rest) + "FFed" + u32(0) + u32(0)));
        }
        case kKindValues:
            return parameter_path(c);
        case kKindScript: {
            if (!c.vst3()) return made("#pgm=From Pro Tools\n" + std::string(payload));
            const std::string block = u32(length) + std::string(payload);
            return made(two_blocks(block, block));
        }
        case kKindTagged7:
            return made(u32(length) + std::string(payload) + u32(7) + "Default");
        case kKindZlib: {
            if (length == 0) return gap(StateGap::not_carried);
            std::string words;
            for (std::uint32_t w : c.in.zlib_words) words += u32(w);
            const std::string block = words + std::string(payload);
            if (c.vst3()) return made(two_blocks(block, block));
            return made(u32(length + 16) + block + u32(7) + "Default");
        }
        case kKindWaves: {
            if (c.in.subcomponent_code.size() != 4) return gap(StateGap::not_carried);
            const std::string setup = c.in.active_setup.size() == 4 ? c.in.active_setup : "setA";
            std::string body = u32be(length + 28) + u32be(3) + u32be(1) + c.in.subcomponent_code +
                               setup + u32be(length) + "XPst";
            body += payload;
            body += kWavesBypass;
            return made(two_blocks(body, ""));
        }
        case kKindBraces:
            if (!c.vst3()) return made(std::string(payload));
            return made(two_blocks(payload, ""));
        case kKindArchive:
            return made(two_blocks(payload, payload));
        case kKindKontakt: {
            if (settings.kontakt_state_enabled == 0) return gap(StateGap::left_out);
            if (!row_has_target(c.row)) return gap(StateGap::not_carried);
            const std::string body = u32(length + 12) + u32(0) + u32(1) + std::string(payload);
            if (c.vst3()) return made(two_blocks(body, ""));
            return made(body);
        }
        case kKindChunk:
            return chunk_state(c, c.in.payload_offset, length, c.in.container_label,
                               c.in.container_match);
        case 0:
            return gap(StateGap::not_carried);
        default:
            return raw_path(c);
    }
}

// May a CLAP build take these settings? Only values (kind 5) of a FabFilter preset row, or an
// "elck" section alone: otherwise the CLAP build's layout is not known.
bool clap_takes(const Conversion& c) {
    const SessionPluginInstance& in = c.in;
    const bool preset = c.row.preset_name != nullptr && c.row.preset_name[0] != '\0';
    if (in.payload_kind != kKindValues) return false;
    if (c.key.starts_with("FabF") && !in.values.empty() && preset && c.row.mode == 0) return true;
    return in.elck_found != 0 && in.elck_binary_sections == 1 &&
           (in.values.empty() || (c.row.mode != 1 && !preset));
}

PluginState convert(Conversion& c) {
    const SessionPluginInstance& in = c.in;
    const std::uint32_t kind = in.payload_kind;
    if (plugin_knowledge.prefer_vst2_keys.count(c.key) != 0 && kind != kKindFabFilter &&
        kind != kKindBraces)
        return gap(StateGap::not_carried);
    // Every span read below lies inside the settings area, which lies inside the session.
    if (in.settings_end > c.bytes.size() || in.block_pos > in.settings_end ||
        (kind != kKindValues && !c.fits(in.payload_offset, in.payload_length)))
        return gap(StateGap::not_carried);
    const bool template_row = c.row.header_template != nullptr && c.row.wrap_flag != 0;
    if (c.target == Target::clap && kind != kKindFabFilter && kind != kKindTagged &&
        kind != kKindChunk) {
        // The settings are there; how the CLAP build takes them is not known.
        if (!clap_takes(c))
            return gap(kind == 0 ? StateGap::not_carried : StateGap::layout_unknown);
        if (template_row) return gap(StateGap::not_carried);
        return parameter_path(c);
    }
    if (in.aax_id == "Lin66SAX") return line6_state(c);
    if (template_row) return template_state(c);
    if (kind == kKindTagged && c.vst3()) {
        std::uint64_t length = 0;
        if (!vc2_xml(c.payload(), length)) return gap(StateGap::not_carried);
        // The builds' layouts differ by class id; only Antares' Auto-Tune is known, and it takes
        // JUCE's VST2 framing.
        if (in.aax_id == "AntrAPan")
            return juce_vst2_state(c, remap_xml_param_ids(c.payload().substr(8, length)));
        return gap(StateGap::layout_unknown);
    }
    return by_kind(c);
}

}  // namespace

std::uint32_t release_midi_trigger(std::string& state, std::string_view aax_id) {
    const int index = midi_trigger_index(aax_id);
    if (index < 0) return 0;
    const std::size_t p = state.find("FFBS");
    if (p == std::string::npos || state.size() < p + 12) return 0;
    const std::uint64_t count = read_u32le_checked(state, p + 8);
    const auto n = static_cast<std::uint64_t>(index);
    if (n >= count || state.size() < p + 4 * n + 16) return 0;
    const std::size_t at = static_cast<std::size_t>(p + 12 + 4 * n);
    float value = 0.0f;
    std::memcpy(&value, state.data() + at, sizeof value);
    if (value != 0.0f) return 0;
    put_u32le_at(state, at, 0x3F800000u);
    return 1;
}

PluginState convert_plugin_state(const SessionPluginInstance& instance, const PluginRuleRow& row,
                                 SessionBytes bytes, bool midi_track, bool write) {
    Conversion c{instance, row, bytes, plugin_key(instance), target_of(row), midi_track};
    PluginState state = convert(c);
    // The parameter path has set the value in its list already; other FabFilter states hold it
    // in their value list.
    if (!state.bytes.empty() && c.release_midi() && c.midi_changes == 0)
        c.midi_changes = release_midi_trigger(state.bytes, instance.aax_id);
    state.midi_trigger_changes = c.midi_changes;
    if (write) plugin_state_counts.midi_trigger_off_count += c.midi_changes;
    return state;
}
