#include "effects/fx_summary.h"

#include <map>

#include "app/output.h"
#include "effects/fx_chain.h"

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

int total(const std::map<std::string, std::uint32_t>& counts) {
    int n = 0;
    for (const auto& entry : counts) n += static_cast<int>(entry.second);
    return n;
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
    text += "      Pro Tools leaves this on but routes nothing to it, so it does\n";
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
                "      not carried. The rest did not touch the sound.\n",
                processed);
        else
            text += "      None of these processed audio: the mix is unaffected.\n";
        text += "      Avid ships these with Pro Tools in AAX form only. No converter\n";
        if (st.aax_slots != 0)
            text +=
                format_text("      %d empty slot(s) were left in place, named and BYPASSED, so\n",
                            static_cast<int>(st.aax_slots));
    }
    if (!st.unrecognised_counts.empty()) {
        text += format_text("    %d not recognized:\n", total(st.unrecognised_counts));
        text += count_rows(st.unrecognised_counts);
    }
    if (!st.no_settings_counts.empty()) {
        text += format_text("    %d skipped - Pro Tools stored no transferable state:\n",
                            total(st.no_settings_counts));
        text += count_rows(st.no_settings_counts);
    }
    if (!st.offline_counts.empty()) {
        text += format_text("    %d placed OFFLINE - the plug-in is named but its\n",
                            total(st.offline_counts));
        text += count_rows(st.offline_counts);
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
    text += "    WHAT REAPER NEEDS INSTALLED, AND WHAT IT DOES NOT:\n";
    return text;
}
