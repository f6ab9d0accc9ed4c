#include "effects/stock_standins.h"

#include <algorithm>
#include <string>

#include "app/output.h"
#include "convert/run_state.h"
#include "convert/writer/writer_summary.h"
#include "effects/channel_strip_conversion.h"
#include "effects/dyn3_conversion.h"
#include "effects/eq3_conversion.h"
#include "effects/fx_blocks.h"
#include "session/elck_chunks.h"
#include "util/number_text.h"

StockStandInState stock_standin_state;

void reset_stock_standin_state() {
    stock_standin_state = StockStandInState{};
    reset_eq3_counters();
}

namespace {

const char* const kSixBlanks = "      ";

std::uint32_t seed_base(const SessionPluginInstance& instance) {
    return (static_cast<std::uint32_t>(instance.block_pos) & 0xFFFFFFu) ^ 0x53540000u;
}

// The EQ3 stand-in's blocks: polarity JS, one ReaEQ of every band, the first-order JS parts.
std::string eq3_text(const Eq3StandIn& eq, const std::string& name, const char* polarity_preset,
                     std::uint32_t base, std::uint32_t& counter) {
    std::string text;
    if (eq.polarity)
        text +=
            build_js_block(kEq3PolarityJs, "3", 1, 0, base + counter++,
                           join_name_parenthesised(name + " polarity", "Channel Polarity Control"),
                           polarity_preset);
    const std::uint32_t reaeq = counter++;
    text += build_reaeq_block(eq.bands, 0, base + reaeq, join_name_parenthesised(name, "ReaEQ"),
                              name, eq.output_gain_db);
    for (const Eq3OnePolePart& part : eq.one_pole_parts)
        text += build_js_block(
            kEq3OnePoleJs, eq3_one_pole_params(part), 4, 0, base + reaeq + part.seed_offset,
            one_pole_filter_name(name, part.high_pass != 0, part.order), part.preset);
    return text;
}

std::string effects_text(const std::vector<StandInEffect>& effects) {
    std::string text;
    for (const StandInEffect& effect : effects) text += standin_effect_block(effect);
    return text;
}

int track_channels() {
    return writer_state.current_track_channels > 0 ? writer_state.current_track_channels : 2;
}

// Replaces every whole line `from` (after the block indent) with `to`.
void replace_lines(std::string& text, const std::string& from, const std::string& to) {
    const std::string needle = std::string(kSixBlanks) + from + "\n";
    for (std::size_t at = 0; (at = text.find(needle, at)) != std::string::npos;) {
        if (at == 0 || text[at - 1] == '\n') {
            text.replace(at + 6, from.size(), to);
            at += needle.size();
        } else {
            ++at;
        }
    }
}

std::string dispatch(const SessionPluginInstance& instance, SessionBytes bytes, bool keyed,
                     std::set<std::string>& notes) {
    const std::string_view id = std::string_view(instance.aax_id).substr(0, 8);
    const std::uint32_t base = seed_base(instance);
    std::uint32_t counter = 0;
    const double rate = settings.sample_rate;
    if (id == "Digi47e3") {
        const Eq3StandIn eq = convert_eq3_7band(instance.values, rate);
        notes.insert(eq.notes.begin(), eq.notes.end());
        return eq3_text(eq, "EQ3 7-Band", "EQ3 input polarity", base, counter);
    }
    if (id == "Digi1be3") {
        const Eq3StandIn eq = convert_eq3_1band(instance.values, rate);
        notes.insert(eq.notes.begin(), eq.notes.end());
        return eq3_text(eq, "EQ3 1-Band", "EQ3 polarity", base, counter);
    }
    if (id == "Digidn3c")
        return effects_text(convert_dyn3_compressor(instance.values, keyed, track_channels(), base,
                                                    counter, notes));
    if (id == "Digidn3e")
        return effects_text(convert_dyn3_expander_gate(instance.values, keyed, track_channels(),
                                                       base, counter, notes));
    std::map<std::string, double> named;
    if (!read_elck_chunks(bytes, instance.block_pos, instance.settings_end, named) ||
        !channel_strip_document_usable(named))
        return {};
    std::set<std::string> carried;
    return effects_text(convert_channel_strip(read_channel_strip_params(named), false, keyed, rate,
                                              base, counter, notes, carried));
}

}  // namespace

void prepare_stock_standins(
    const std::map<std::string, std::vector<SessionPluginInstance>>& plugins_by_track) {
    if (settings.no_stand_ins) return;
    std::vector<Eq3Request> requests;
    for (const auto& [track, instances] : plugins_by_track) {
        for (const SessionPluginInstance& instance : instances) {
            const std::string_view id = std::string_view(instance.aax_id).substr(0, 8);
            if (id == "Digi47e3" || id == "Digi1be3")
                requests.push_back({id == "Digi47e3", instance.values, settings.sample_rate});
        }
    }
    const std::size_t count = eq3_stand_ins_to_make(requests);
    if (count == 0) return;
    // Even one extreme stand-in can take a while on a busy machine: the console says so first,
    // through to a pipe at once, and the progress reporter hears of each one made.
    say_now("Fitting %d EQ3 stand-in(s) onto ReaEQ's bands...\n", static_cast<int>(count));
    make_eq3_stand_ins(requests, [](std::size_t made, std::size_t total) {
        std::string text;
        append_format(text, "fit %d/%d", static_cast<int>(made), static_cast<int>(total));
        report_progress(2, text.c_str());
    });
}

bool stock_standin_built(const std::string& stock_name) {
    static const char* const kBuilt[] = {"EQ3 7-Band", "EQ3 1-Band", "Dyn3 Compressor/Limiter",
                                         "Dyn3 Expander/Gate", "Channel Strip"};
    return std::any_of(std::begin(kBuilt), std::end(kBuilt),
                       [&](const char* name) { return stock_name == name; });
}

std::string standin_effect_block(const StandInEffect& e) {
    switch (e.kind) {
        case StandInKind::js:
            return build_js_block(e.js_path, e.js_params, static_cast<int>(e.js_param_count),
                                  e.bypass, e.seed, e.name, e.preset);
        case StandInKind::reaeq:
            return build_reaeq_block(e.bands, e.bypass, e.seed, e.name, e.preset, e.output_gain_db);
        case StandInKind::reacomp:
        case StandInKind::reagate: {
            std::uint32_t words[kDynWordCount];
            std::copy(e.words.begin(), e.words.end(), words);
            return build_reagate_or_reacomp_block(e.kind == StandInKind::reagate, words, e.bypass,
                                                  e.seed, e.name, e.preset);
        }
    }
    return {};
}

std::string write_stock_standins(const SessionPluginInstance& instance, SessionBytes bytes,
                                 bool pinflags, const StandInKeys& keys) {
    const std::optional<std::string> stock = stock_plugin_name(instance);
    if (!stock || !stock_standin_built(*stock)) return {};
    const bool keyed = keys.keyed != nullptr && keys.keyed->count(instance.block_pos) != 0;
    fx_current_key_offset = 0;
    if (keyed && keys.key_source_index != nullptr) {
        const auto it = keys.key_source_index->find(instance.block_pos);
        if (it != keys.key_source_index->end() && it->second > 0)
            fx_current_key_offset = static_cast<std::uint32_t>(it->second);
    }
    fx_indent = kSixBlanks;
    std::set<std::string> notes;
    std::string text = dispatch(instance, bytes, keyed, notes);
    reset_fx_block_state();
    if (text.empty()) return text;

    const bool offline =
        instance.inactive != 0 ||
        (instance.bypassed != 0 && settings.fx_bypass_mode == BypassedFxMode::offline);
    if (offline || instance.bypassed != 0) replace_lines(text, "BYPASS 0 0 0", "BYPASS 1 0 0");
    if (offline) replace_lines(text, "BYPASS 1 0 0", "BYPASS 1 1 0");
    if (pinflags) insert_pinflags(text);
    for (const std::string& note : notes) ++stock_standin_state.notes[note];
    ++stock_standin_state.standin_counts[*stock];
    ++stock_standin_state.standin_total;
    return text;
}
