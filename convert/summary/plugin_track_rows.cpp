#include "convert/summary/plugin_track_rows.h"

#include "app/output.h"
#include "convert/run_state.h"
#include "convert/summary/console_summary.h"
#include "convert/writer/writer_summary.h"
#include "plugins/plugin_state.h"

namespace {

// A cache entry's name without its trailing " (...)" groups: "Kontakt 8 (Native Instruments)
// (16 out)" is "Kontakt 8".
std::string bare_plugin_name(std::string name) {
    while (name.ends_with(")")) {
        const std::size_t open = name.rfind(" (");
        if (open == std::string::npos) break;
        name.erase(open);
    }
    return name;
}

}  // namespace

std::string plugin_build_rows() {
    const PluginKnowledge& k = plugin_knowledge;
    std::string text;
    if (!k.kept_on_vst3.empty()) {
        std::string entries;
        unsigned total = 0;
        for (const auto& [name, count] : k.kept_on_vst3) {
            entries += format_text("%s%s x%d", entries.empty() ? "" : ", ", name.c_str(),
                                   static_cast<int>(count));
            total += count;
        }
        text += format_text(
            "  --prefer-vst2: %d plug-in(s) kept on their VST3 build so their settings\n"
            "      carry over (their VST2 build cannot take them): %s\n",
            static_cast<int>(total), entries.c_str());
    }
    // The row speaks of the settings written: none are under --no-kontakt-state.
    if (settings.kontakt_state_enabled != 0 && !k.kontakt.chosen_name.empty() &&
        k.kontakt.instance_count != 0) {
        const std::string name = bare_plugin_name(k.kontakt.chosen_name);
        text +=
            format_text("  Kontakt: %d instance(s) written for %s, the Kontakt installed here.\n",
                        static_cast<int>(k.kontakt.instance_count), name.c_str());
        if (k.kontakt.predicted)
            text += format_text(
                "      Pro Tools saved them with Kontakt 6; they are written the way\n"
                "      Kontakt 7 takes them. %s itself is untested with them: check\n"
                "      each instrument.\n",
                name.c_str());
        else
            text += format_text(
                "      Pro Tools saved them with Kontakt 6; %s plays those settings\n"
                "      unchanged.\n",
                name.c_str());
    }
    return text;
}

std::string trim_cancel_row(const TrimCounts& trims) {
    if (trims.cancelling_tracks == 0) return "";
    return format_text(
        "  %d track(s) carry an EVEN number of inverting Trims, which cancel:\n"
        "      Pro Tools plays them in phase and so does the conversion.\n",
        trims.cancelling_tracks);
}

std::string trim_mixed_polarity_row(const TrimCounts& trims) {
    if (trims.mixed_polarity == 0) return "";
    return format_text(
        "  %d surround Trim(s) flip polarity on some channels but not others:\n"
        "      only the first two channels are carried. Check those by hand.\n",
        trims.mixed_polarity);
}

std::string trim_switched_off_row(const TrimCounts& trims) {
    if (trims.polarity_while_off == 0) return "";
    return format_text(
        "  %d Avid Trim(s) had polarity switched on but were BYPASSED or\n"
        "      INACTIVE, so Pro Tools did not invert anything and neither does\n"
        "      this project.\n",
        trims.polarity_while_off);
}

std::string trim_no_phase_switch_row() {
    const int strips = writer_summary.trim_flips_not_carried;
    if (strips == 0) return "";
    return format_text(
        "  %d strip(s) inverted by Avid Trim have no phase switch in REAPER\n"
        "      (the master is the usual one), so that inversion is NOT carried.\n"
        "      Insert a polarity flip there by hand.\n",
        strips);
}

std::string clap_build_rows() {
    const PluginKnowledge& k = plugin_knowledge;
    std::string text;
    if (k.clap_instances != 0)
        text += format_text(
            "  %d plug-in(s) written as their CLAP build (--prefer-clap), settings carried\n",
            static_cast<int>(k.clap_instances));
    if (!k.kept_off_clap.empty()) {
        std::vector<std::string> rows;
        unsigned total = 0;
        for (const auto& [name, count] : k.kept_off_clap) {
            rows.push_back(format_text("%s %s", name.c_str(),
                                       format_text("x%d", static_cast<int>(count)).c_str()));
            total += count;
        }
        text += format_text(
                    "  %d plug-in(s) kept on their VST build under --prefer-clap: how the CLAP\n"
                    "      build takes their settings is not known yet:\n",
                    static_cast<int>(total)) +
                name_rows(rows);
    }
    return text;
}

std::string one_channel_output_rows(std::span<const std::string> tracks) {
    if (tracks.empty()) return "";
    return format_text(
               "  %d track(s) output to ONE channel of a stereo output, so Pro Tools\n"
               "      plays them on that side only; they are written panned hard there:\n",
               static_cast<int>(tracks.size())) +
           name_rows(tracks);
}
