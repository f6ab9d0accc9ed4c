#include "effects/fx_summary.h"

#include <map>

#include "app/output.h"
#include "convert/run_state.h"
#include "convert/writer/writer_summary.h"
#include "effects/fx_chain.h"
#include "effects/param_envelopes.h"
#include "plugins/state_conversion.h"

namespace {

std::string count_rows(const std::map<std::string, std::uint32_t>& counts) {
    std::string text;
    for (const auto& [name, count] : counts)
        text += format_text("      %-24s x%d\n", name.c_str(), static_cast<int>(count));
    return text;
}

std::string needs_rows(const std::map<std::string, std::string>& types) {
    std::string text;
    for (const auto& [name, type] : types)
        text += format_text("      %-24s needs %s\n", name.c_str(), type.c_str());
    return text;
}

// Rows of slots not recognised, each with the key `--learn` takes to teach it.
std::string keyed_count_rows(const std::map<std::string, std::uint32_t>& counts,
                             const std::map<std::string, std::string>& keys) {
    std::string text;
    for (const auto& [name, count] : counts) {
        const auto key = keys.find(name);
        if (key == keys.end() || key->second.empty())
            text += format_text("      %-24s x%d\n", name.c_str(), static_cast<int>(count));
        else
            text += format_text("      %-24s x%d   %s\n", name.c_str(), static_cast<int>(count),
                                key->second.c_str());
    }
    return text;
}

template <typename Key>
int total(const std::map<Key, std::uint32_t>& counts) {
    int n = 0;
    for (const auto& entry : counts) n += static_cast<int>(entry.second);
    return n;
}

// A lane paragraph: its opening lines (with the total), then one `"track" plug-in (lanes)` row
// per track and plug-in.
std::string lane_rows(const char* opening, const std::map<TrackPlugin, std::uint32_t>& counts) {
    if (counts.empty()) return {};
    std::string text = format_text(opening, total(counts));
    for (const auto& [key, count] : counts)
        text += format_text("      %s %s (%d)\n", ("\"" + key.first + "\"").c_str(),
                            key.second.c_str(), static_cast<int>(count));
    return text;
}

}  // namespace

std::string fx_bypassed_paragraph() {
    if (fx_chain_state.bypassed == 0) return {};
    return format_text("  %d plug-in(s) carried across bypassed\n",
                       static_cast<int>(fx_chain_state.bypassed));
}

std::string fx_offline_paragraphs() {
    const FxChainState& st = fx_chain_state;
    std::string text;
    if (st.inactive != 0)
        text += format_text(
            "  %d plug-in(s) were INACTIVE in Pro Tools, written offline\n"
            "    (not instantiated, exactly as Pro Tools had them)\n",
            static_cast<int>(st.inactive));
    if (st.offline != 0)
        text += format_text("  %d of them written OFFLINE - no DSP, no RAM, one click to restore\n",
                            static_cast<int>(st.offline));
    return text;
}

std::string fx_midi_trigger_paragraph() {
    const FxChainState& st = fx_chain_state;
    if (st.midi_trigger_off.empty()) return {};
    std::string text =
        format_text("  %d plug-in(s) on MIDI tracks had MIDI triggering switched off:\n",
                    static_cast<int>(st.midi_trigger_off.size()));
    for (const std::string& row : st.midi_trigger_off) text += "      " + row + "\n";
    text +=
        "      Pro Tools leaves this on but routes nothing to it, so it does\n"
        "      not react there; in REAPER the track's own notes would trigger it.\n";
    return text;
}

std::string fx_plugin_paragraph(int instances) {
    if (instances <= 0) return {};
    const FxChainState& st = fx_chain_state;
    std::string text = format_text("  %d plug-in instances found, %d written with their settings\n",
                                   instances, static_cast<int>(count_fx_rows_carried()));
    if (!st.aax_only_counts.empty()) {
        text += format_text("    %d cannot transfer - AAX only, no VST/VST3 version exists:\n",
                            total(st.aax_only_counts));
        text += count_rows(st.aax_only_counts);
        int processed = 0;
        for (const auto& [name, flag] : st.aax_only_flags)
            if (flag)
                processed += static_cast<int>(
                    st.aax_only_counts.count(name) ? st.aax_only_counts.at(name) : 0);
        if (processed != 0)
            text += format_text(
                "      %d of these processed audio, so that much of the mix is\n"
                "      not carried.%s\n",
                processed,
                processed < total(st.aax_only_counts) ? " The rest did not touch the sound." : "");
        else
            text += "      None of these processed audio: the mix is unaffected.\n";
        text +=
            "      Avid ships these with Pro Tools in AAX form only. No converter\n"
            "      can carry them; their settings stay in the Pro Tools session.\n";
        if (st.aax_slots != 0)
            text += format_text(
                "      %d empty slot(s) were left in place, named and BYPASSED, so\n"
                "      each chain keeps its order and shows where they stood.\n",
                static_cast<int>(st.aax_slots));
    }
    if (!st.unrecognised_counts.empty()) {
        text += format_text("    %d not recognized:\n", total(st.unrecognised_counts));
        text += keyed_count_rows(st.unrecognised_counts, st.unrecognised_keys);
        text += stock_processors_paragraph();
    }
    if (!st.no_settings_counts.empty()) {
        text += format_text("    %d skipped - Pro Tools stored no transferable state:\n",
                            total(st.no_settings_counts));
        text += count_rows(st.no_settings_counts);
    }
    if (!st.offline_counts.empty()) {
        text += format_text(
            "    %d placed OFFLINE - the plug-in is named but its\n"
            "      settings did not transfer: it waits, offline, at its defaults:\n",
            total(st.offline_counts));
        text += count_rows(st.offline_counts);
        if (st.offline_without_class_id != 0)
            text += format_text(
                "      (%d of these were named from a .vst3 entry, whose class\n"
                "      id REAPER's cache does not list: the slot carries the id the\n"
                "      plug-in's name gives, which REAPER may not match)\n",
                static_cast<int>(st.offline_without_class_id));
    }
    if (st.left_out_bypassed != 0)
        text += format_text(
            "    %d left out - bypassed or inactive in Pro Tools (--skip-bypassed-fx)\n",
            static_cast<int>(st.left_out_bypassed));
    if (!st.missing_fx.empty()) {
        text += format_text("    %d written but NOT INSTALLED for REAPER on this machine:\n",
                            static_cast<int>(st.missing_fx.size()));
        text += needs_rows(st.missing_fx);
    }
    if (!st.missing_fx_left_out.empty()) {
        text += format_text(
            "    %d NOT INSTALLED for REAPER on this machine and LEFT OUT (as asked):\n",
            static_cast<int>(st.missing_fx_left_out.size()));
        text += needs_rows(st.missing_fx_left_out);
    }
    text +=
        "    WHAT REAPER NEEDS INSTALLED, AND WHAT IT DOES NOT:\n"
        "      Nothing of Pro Tools needs to be installed: no AAX plug-in and no\n"
        "      Avid software. Every plug-in named above must exist for REAPER as\n"
        "      VST, VST2 or VST3 on the machine that opens the project.\n";
    return text;
}

std::string fx_param_envelope_paragraphs() {
    const ParamEnvelopeState& st = param_envelope_state;
    std::string text;
    if (st.points != 0)
        text +=
            format_text("  %d plug-in parameter automation points\n", static_cast<int>(st.points));
    if (st.by_number != 0)
        text += format_text(
            "      %d automated control(s) placed by the parameter number the\n"
            "      plug-in itself gave Pro Tools\n",
            static_cast<int>(st.by_number));
    if (st.by_name != 0)
        text += format_text(
            "      %d automated control(s) placed by matching their name in the\n"
            "      plug-in's own parameter list\n",
            static_cast<int>(st.by_name));
    if (st.unplaced_lanes != 0)
        text += format_text(
            "      %d automation lane(s) NOT carried: their parameter number lies outside\n"
            "      what REAPER can address, or another lane of the slot took it\n",
            static_cast<int>(st.unplaced_lanes));
    text += lane_rows(
        "  %d automation lane(s) written SWITCHED OFF, titled \"ASSIGN\": which\n"
        "      parameter each one drives is not known. Pick it in REAPER, or\n"
        "      export the plug-in's parameter list (--want-params names them):\n",
        st.assign_lanes);
    text += lane_rows(
        "  %d automation lane(s) NOT carried on plug-ins that arrive at their\n"
        "      default settings (their Pro Tools settings did not transfer):\n",
        st.lanes_by_fx);
    text += lane_rows(
        "  %d automation lane(s) NOT carried on Avid plug-ins written as REAPER's\n"
        "      own effects, whose parameters do not match Avid's:\n",
        st.lanes_by_key);
    if (st.bypass_lanes != 0)
        text += format_text(
            "  %d plug-in bypass automation lane(s) NOT carried -- the plug-in stays\n"
            "      in the bypass state the session saved\n",
            static_cast<int>(st.bypass_lanes));
    return text;
}

std::string fx_no_standins_paragraph() {
    const FxChainState& st = fx_chain_state;
    const std::size_t one_sided_tracks = writer_state.one_sided_polarity.size();
    if (!settings.no_stand_ins || (st.standins_withheld == 0 && one_sided_tracks == 0)) return {};
    return format_text(
        "  --no-stand-ins: %d Avid plug-in(s) left in their slot under their Pro\n"
        "      Tools name, not replaced by REAPER's own effects\n",
        static_cast<int>(st.standins_withheld));
}

std::string fx_trim_paragraph() {
    const FxChainState& st = fx_chain_state;
    if (st.trim_instances == 0) return {};
    std::string text = format_text(
        "  %d Avid Trim instance(s). Trim is AAX only and cannot load in REAPER,\n"
        "      so its gain is carried by REAPER's own means:\n",
        static_cast<int>(st.trim_instances));
    if (st.trim_unlinked_gain != 0)
        text += format_text(
            "      %d unlinked Trim(s) have a different gain per channel; the\n"
            "      first channel's gain is carried for every channel\n",
            static_cast<int>(st.trim_unlinked_gain));
    if (st.trim_wide_tracks != 0)
        text += format_text(
            "      %d Trim(s) on a track wider than stereo keep the Pro Tools-only\n"
            "      slot, named and bypassed: their gain is not carried\n",
            static_cast<int>(st.trim_wide_tracks));
    if (st.trim_below_range != 0)
        text += format_text(
            "      %d Trim gain(s) are below -12 dB, beyond the measured range:\n"
            "      their level is extended from it, check it by ear\n",
            static_cast<int>(st.trim_below_range));
    if (st.trim_js != 0)
        text += format_text(
            "      %d of them sit in their slot as REAPER's Volume Adjustment with\n"
            "      the same gain\n",
            static_cast<int>(st.trim_js));
    return text;
}

std::string fx_one_sided_polarity_paragraph() {
    const FxChainState& st = fx_chain_state;
    if (st.polarity_js == 0) return {};
    return format_text(
        "  %d track(s) have Avid Trim polarity on ONE channel only (an unlinked\n"
        "      multi-mono Trim): REAPER's track polarity flips both, so the track is\n"
        "      left upright, and REAPER's stock \"Channel Polarity Control\" effect\n"
        "      flips just that side, first in the chain\n",
        static_cast<int>(st.polarity_js));
}

std::string stock_processors_paragraph() {
    return "      Avid's own stock processors exist only as AAX and no tool can\n"
           "      transfer them; anything else can be added - send this report to\n"
           "      whoever gave you lanwick and say which one.\n";
}
