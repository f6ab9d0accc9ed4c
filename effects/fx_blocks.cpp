#include "effects/fx_blocks.h"

#include <cmath>
#include <cstring>

#include "effects/channel_strip_settings.h"
#include "effects/fx_text.h"
#include "session/elck_chunks.h"
#include "util/bytes.h"
#include "util/codecs.h"
#include "util/guid.h"
#include "util/number_text.h"
#include "util/portable_math.h"

std::string fx_indent = "        ";
std::uint32_t fx_current_key_offset = 0;

void reset_fx_block_state() {
    fx_indent = "        ";
    fx_current_key_offset = 0;
}

std::string reaper_plugin_file(std::string_view stem) {
    return std::string(stem) + std::string(kReaperPluginFileSuffix);
}

namespace {

constexpr double kVolumeScale = 6.0 / 6.020599913279624;

void append_line(std::string& out, std::string_view text) {
    out += fx_indent;
    out += text;
    out += '\n';
}

// The closing lines every block shares: PRESETNAME when named, FLOATPOS, FXID, WAK.
void append_block_tail(std::string& out, std::string_view preset_name, std::uint32_t seed) {
    if (!preset_name.empty()) append_line(out, "PRESETNAME " + fx_token(preset_name));
    append_line(out, "FLOATPOS 0 0 0 0");
    append_line(out, "FXID " + guid_from_seed(seed));
    append_line(out, "WAK 0 0");
}

void append_f32_bits(std::string& bytes, std::uint32_t bits) {
    append_u32le(bytes, bits);
}

}  // namespace

std::string build_vst_block(std::string_view type_text, std::string_view file,
                            std::string_view id_text, std::string_view header,
                            std::string_view state, std::uint8_t bypass, std::uint32_t seed,
                            std::string_view custom_name, std::string_view preset_name) {
    std::string out;
    append_line(out, bypass ? "BYPASS 1 0 0" : "BYPASS 0 0 0");
    append_line(out, "<VST " + fx_token(type_text) + " " + fx_plain_token(file) + " 0 " +
                         fx_token(custom_name) + " " + fx_plain_token(id_text) + " \"\"");
    append_base64_lines(out, fx_indent + "  ", header, state,
                        vst_block_trailer("", vst_header_tail_word(header)));
    append_line(out, ">");
    append_block_tail(out, preset_name, seed);
    return out;
}

std::string build_js_block(std::string_view path, std::string_view parameters, int count,
                           std::uint8_t bypass, std::uint32_t seed, std::string_view description,
                           std::string_view preset_name) {
    std::string line(parameters);
    for (int i = count < 0 ? 0 : count; i < 64; ++i) line += " -";
    std::string out;
    append_line(out, bypass ? "BYPASS 1 0 0" : "BYPASS 0 0 0");
    append_line(out, "<JS " + fx_plain_token(path) + " " + fx_token(description));
    append_line(out, "  " + line);
    append_line(out, ">");
    append_block_tail(out, preset_name, seed);
    return out;
}

std::string volume_js_parameters(double gain_db) {
    std::string text;
    append_format(text, "%.6f 150", gain_db * kVolumeScale);
    return text;
}

std::string build_volume_trim_js(double gain_db, std::uint8_t bypass, std::uint32_t seed,
                                 std::string_view description, std::string_view preset_name) {
    return build_js_block("utility/volume", volume_js_parameters(gain_db), 2, bypass, seed,
                          description, preset_name);
}

std::string reaeq_state(const std::vector<ReaEqStateBand>& bands, double output_gain_db) {
    std::string state;
    append_u32le(state, 33);
    append_u32le(state, static_cast<std::uint32_t>(bands.size()));
    for (const ReaEqStateBand& band : bands) {
        append_u32le(state, band.type);
        append_u32le(state, band.enabled);
        append_f64le(state, band.freq_hz);
        append_f64le(state, portable::from_db(band.gain_db));
        append_f64le(state, band.value);
        state += '\x01';
    }
    append_u32le(state, 1);
    append_u32le(state, 1);
    append_f64le(state, portable::from_db(output_gain_db));
    // REAPER closes the state with a zero word, the editor's width and height (0: its own size)
    // and the word 2.
    append_u32le(state, 0);
    append_u32le(state, 0);
    append_u32le(state, 0);
    append_u32le(state, 2);
    return state;
}

std::string build_reaeq_block(const std::vector<ReaEqStateBand>& bands, std::uint8_t bypass,
                              std::uint32_t seed, std::string_view custom_name,
                              std::string_view preset_name, double output_gain_db) {
    const std::string state = reaeq_state(bands, output_gain_db);
    std::string header;
    append_u32le(header, 0x72656571u);
    append_u32le(header, 0xfeed5eeeu);
    for (int side = 0; side < 2; ++side) {
        append_u32le(header, 2);
        append_pin_mask64(header, 0);
        append_pin_mask64(header, 1);
    }
    append_u32le(header, static_cast<std::uint32_t>(state.size()));
    append_u32le(header, 1);
    append_u32le(header, 0x100000u);
    return build_vst_block("VST: ReaEQ (Cockos)", reaper_plugin_file("reaeq"),
                           "1919247729<56535472656571726561657100000000>", header, state, bypass,
                           seed, custom_name, preset_name);
}

std::string build_reagate_or_reacomp_block(bool gate, const std::uint32_t (&words)[21],
                                           std::uint8_t bypass, std::uint32_t seed,
                                           std::string_view custom_name,
                                           std::string_view preset_name) {
    std::string state;
    append_u32le(state, 0xdeadbeefu);
    append_u32le(state, 0xdeadf00du);
    for (std::uint32_t word : words) append_f32_bits(state, word);
    // Past 31 key sources the key pins would leave the 64-bit mask: they get no channel.
    const unsigned shift = fx_current_key_offset < 31 ? 2 * fx_current_key_offset : 64;
    std::string header;
    append_u32le(header, gate ? 0x72656774u : 0x7265636du);
    append_u32le(header, 0xfeed5eefu);
    append_u32le(header, 4);
    append_pin_mask64(header, 0);
    append_pin_mask64(header, 1);
    append_pin_mask64(header, 2 + shift);
    append_pin_mask64(header, 3 + shift);
    append_u32le(header, 2);
    append_pin_mask64(header, 0);
    append_pin_mask64(header, 1);
    append_u32le(header, static_cast<std::uint32_t>(state.size()));
    append_u32le(header, 0);
    append_u32le(header, 0x100000u);
    return gate ? build_vst_block("VST: ReaGate (Cockos)", reaper_plugin_file("reagate"),
                                  "1919248244<56535472656774726561676174650000>", header, state,
                                  bypass, seed, custom_name, preset_name)
                : build_vst_block("VST: ReaComp (Cockos)", reaper_plugin_file("reacomp"),
                                  "1919247213<5653547265636D726561636F6D700000>", header, state,
                                  bypass, seed, custom_name, preset_name);
}

namespace {

struct StockId {
    const char* id;
    const char* name;
    std::size_t values;  // control values its stand-in needs
};
constexpr StockId kStockIds[] = {
    {"Digi47e3", "EQ3 7-Band", 38},
    {"Digi1be3", "EQ3 1-Band", 8},
    {"Digidn3c", "Dyn3 Compressor/Limiter", 14},
    {"Digidn3e", "Dyn3 Expander/Gate", 15},
};
constexpr const char* kChannelStripId = "AVIDChSt";
constexpr std::uint32_t kControlValues = 5;  // the settings' layout: a run of control values

}  // namespace

std::optional<std::string> stock_plugin_name(const SessionPluginInstance& instance) {
    const std::string_view id = instance.aax_id;
    if (id.size() < 8) return std::nullopt;
    for (const StockId& stock : kStockIds)
        if (id.substr(0, 8) == stock.id) return std::string(stock.name);
    if (id.substr(0, 8) == kChannelStripId) return std::string("Channel Strip");
    return std::nullopt;
}

bool standin_chunk_ok(const SessionPluginInstance& instance, SessionBytes bytes) {
    const std::string_view id = instance.aax_id;
    if (id.size() < 8) return false;
    for (const StockId& stock : kStockIds)
        if (id.substr(0, 8) == stock.id)
            return instance.payload_kind == kControlValues &&
                   instance.values.size() == stock.values;
    if (id.substr(0, 8) != kChannelStripId) return false;
    std::map<std::string, double> named;
    return read_elck_chunks(bytes, instance.block_pos, instance.settings_end, named) &&
           channel_strip_document_usable(named);
}

void insert_pinflags(std::string& text) {
    // The last line whose first word is WAK closes the last block; the ">" line before it ends
    // that block's body, and REAPER writes PINFLAGS right after it.
    for (std::size_t at = text.rfind("WAK "); at != std::string::npos;
         at = at == 0 ? std::string::npos : text.rfind("WAK ", at - 1)) {
        const std::size_t line = text.rfind('\n', at);
        const std::size_t start = line == std::string::npos ? 0 : line + 1;
        if (text.find_first_not_of(' ', start) != at) continue;
        const std::string indent = text.substr(start, at - start);
        const std::size_t close = text.rfind("\n" + indent + ">\n", start);
        const std::size_t where = close == std::string::npos ? start : close + indent.size() + 3;
        text.insert(where, indent + "PINFLAGS 1\n");
        return;
    }
}

std::string join_name_parenthesised(std::string_view a, std::string_view b) {
    std::string text(a);
    text += " (";
    text += b;
    text += ')';
    return text;
}

std::string one_pole_filter_name(std::string_view name, bool high_pass, int order) {
    std::string text(name);
    text += high_pass ? " high-pass " : " low-pass ";
    text += order == 3 ? "6 of 18 dB/oct" : "6 dB/oct";
    return join_name_parenthesised(text, "Simple 1-Pole Filter");
}
