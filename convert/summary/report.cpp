#include "convert/summary/report.h"

#include <cstdio>
#include <memory>

#include "app/output.h"
#include "convert/writer/project_text.h"
#include "convert/writer/special_tracks.h"
#include "convert/writer/video_tracks.h"
#include "platform/new_file.h"
#include "util/names.h"
#include "util/timecode.h"
#include "util/version.h"

namespace {

constexpr std::size_t kTrackColumnBytes = 34;
constexpr std::size_t kPluginColumnBytes = 26;

// A session name for one row: no control byte may break or end the line.
std::string row_name(const std::string& name, std::size_t max_bytes) {
    return utf8_prefix(single_line_text(name), max_bytes);
}

std::string row_name(const std::string& name) {
    return single_line_text(name);
}

void head(const ReportInput& in) {
    report_printf("lanwick conversion report\n=========================\n\n");
    const std::string version = display_version();
    report_printf("made with   lanwick %s\n", version.empty() ? "(unreleased)" : version.c_str());
    report_printf("conversion  Pro Tools session (.ptx) to REAPER project (.rpp)\n");
    report_printf("converter   build %s\n", program_build);
    if (!in.problem_kind.empty())
        report_printf("problem     %s: %s\n", row_name(in.problem_kind).c_str(),
                      row_name(in.problem_detail).c_str());
    report_printf("\n");
    report_printf("source   %s\n", row_name(in.session_path).c_str());
    if (in.check)
        report_printf("output   (not written: %s)\n", "this was a check");
    else
        report_printf("output   %s\n", row_name(in.written_path).c_str());
    const std::string depth =
        in.bit_depth > 0 ? format_text(", %d-bit%s", in.bit_depth, in.bit_float ? " float" : "")
                         : std::string();
    const std::string rate = in.timecode_rate.empty() ? std::string() : ", " + in.timecode_rate;
    report_printf("session  Pro Tools %d%s, %lld Hz%s%s, %g BPM%s\n", in.library_major,
                  in.library_major == 12 && in.header_major != 12 ? " or later" : "",
                  in.sample_rate, depth.c_str(), rate.c_str(), in.tempo,
                  in.tempo_map ? " (tempo map)" : "");
    if (in.file_format == 3) report_printf("audio    WAV files\n");
    if (in.file_format == 4) report_printf("audio    AIFF files\n");
    if (!in.timecode_rate.empty()) {
        report_printf(
            "start    %s\n",
            format_timecode(in.start_frames, in.timecode_fps, in.drop_frame ? 1 : 0).c_str());
        if (!in.ruler_rate.empty())
            report_printf(
                "         (REAPER has no %s fps ruler: the project's ruler\n"
                "         runs at %s fps)\n",
                in.timecode_rate.c_str(), in.ruler_rate.c_str());
        else if (!in.drop_rate_missing.empty())
            report_printf(
                "         (REAPER has no %s drop-frame ruler: the project's ruler\n"
                "         runs at %s non-drop)\n",
                in.drop_rate_missing.c_str(), in.drop_rate_missing.c_str());
    }
    report_printf("\n");
}

void stand_in_lines(const ReportInput& in) {
    if (in.no_stand_ins && (in.standins_withheld != 0 || in.polarity_withheld != 0))
        report_printf(
            "\"Replace Avid plug-ins with REAPER's\" is off: %d Avid plug-in(s) left\n"
            "as named, switched-off slots instead of REAPER's own%s\n",
            in.standins_withheld,
            in.polarity_withheld != 0 ? ";\none-sided Trim polarity not carried" : "");
    else if (in.no_stand_ins)
        report_printf(
            "\"Replace Avid plug-ins with REAPER's\" is off; no Avid plug-in in this\n"
            "session had a REAPER stand-in\n");
    if (in.standins_written == 0) return;
    report_printf(
        "%d Avid plug-in(s) written as REAPER's own equivalents (stand-ins;\n"
        "EQ exact in design, dynamics close, not identical)\n",
        in.standins_written);
    if (in.eq3_one_pole_filters != 0)
        report_printf(
            "%d EQ3 high-pass or low-pass filter(s) set to 6 or 18 dB/oct use\n"
            "REAPER's Simple 1-Pole Filter (JS) for their first-order part,\n"
            "in the slot after the ReaEQ, which carries the rest of their\n"
            "slope\n",
            in.eq3_one_pole_filters);
    report_printf("%s", in.eq3_fit_lines.c_str());
    if (in.eq3_held_controls.empty()) return;
    report_printf("EQ3 controls held to the EQ3's range (damaged values):\n");
    for (const auto& [held, count] : in.eq3_held_controls)
        report_printf("  %s (%d plug-in(s))\n", held.c_str(), static_cast<int>(count));
}

// --prefer-vst2 plug-ins kept on VST3, and the Kontakt the session's instances were written for.
void plugin_build_lines(const ReportInput& in) {
    if (!in.kept_on_vst3.empty()) {
        std::string list;
        int sum = 0;
        for (const auto& [name, count] : in.kept_on_vst3) {
            list += format_text("%s%s x%d", list.empty() ? "" : ", ", row_name(name).c_str(),
                                static_cast<int>(count));
            sum += static_cast<int>(count);
        }
        report_printf(
            "--prefer-vst2: %d plug-in(s) kept on their VST3 build so their\n"
            "settings carry: %s.\n"
            "Their VST2 builds keep settings in a form this version cannot\n"
            "write yet\n",
            sum, list.c_str());
    }
    if (in.kontakt_instances == 0 || in.kontakt_name.empty()) return;
    const std::string kontakt = row_name(strip_paren_suffixes(in.kontakt_name));
    report_printf("Kontakt: %d instance(s) written for %s, the Kontakt installed\n",
                  in.kontakt_instances, kontakt.c_str());
    if (in.kontakt_predicted)
        report_printf(
            "here. Pro Tools saved their settings with Kontakt 6; they are\n"
            "written the way Kontakt 7 takes them, but %s itself is\n"
            "untested: check each instrument\n",
            kontakt.c_str());
    else
        report_printf(
            "here. Pro Tools saved their settings with Kontakt 6, and %s\n"
            "plays those settings unchanged\n",
            kontakt.c_str());
}

void counts(const ReportInput& in) {
    report_printf("%d tracks (%d audio/aux, %d instrument), %d clips, %d MIDI notes\n", in.tracks,
                  in.tracks - in.instrument_tracks, in.instrument_tracks, in.clips, in.notes);
    if (in.bus_tracks != 0) report_printf("plus %d send-return bus track(s)\n", in.bus_tracks);
    if (in.frozen_delivered != 0)
        report_printf(
            "%d frozen track(s) delivered FROZEN (--keep-frozen); Track > Unfreeze\n"
            "in REAPER restores the source and plug-ins\n",
            in.frozen_delivered);
    if (in.soloed_and_muted != 0) {
        report_printf(
            "%d track(s) soloed AND muted in Pro Tools arrive muted with their solo off\n"
            "(REAPER would play a soloed track through its mute)%s\n",
            in.soloed_and_muted, in.solo_helper ? "." : "");
        if (in.solo_helper)
            report_printf(
                "An empty soloed helper track, \"%s\",\n"
                "keeps the other tracks silent\n",
                kSoloHelperName);
    }
    if (in.freeze_records_left_out != 0 && in.frozen_delivered == 0)
        report_printf(
            "frozen track(s) converted UNFROZEN - original audio with the\n"
            "plug-ins live and editable (%d internal freeze record(s) left out)\n",
            in.freeze_records_left_out);
    if (in.clip_effects_clips != 0)
        report_printf(
            "Clip Effects on %d clip(s) written as take FX with REAPER's own\n"
            "plug-ins (EQ and filters exact; dynamics close, not identical)\n",
            in.clip_effects_clips);
    if (in.keep_inaudible_midi)
        report_printf(
            "\"Play MIDI notes Pro Tools silences\" is on: %d MIDI event(s) Pro\n"
            "Tools does not play (outside a clip's boundary) written unmuted\n",
            in.inaudible_events_kept);
    if (in.truncate_midi_to_clip)
        report_printf(
            "\"Cut MIDI notes at clip edge\" is on: %d note(s) Pro Tools plays past\n"
            "a clip edge are cut there\n",
            in.notes_cut_at_edge);
    stand_in_lines(in);
    if (in.no_track_colors)
        report_printf("\"Leave out track colors\" is on: tracks in REAPER's default color\n");
    if (in.no_clip_colors)
        report_printf(
            "\"Leave out clip colors\" is on: %d clip(s) that would carry a color\n"
            "are in their track's color instead\n",
            in.clips_left_uncolored);
    plugin_build_lines(in);
    if (!in.master_fader_name.empty())
        report_printf("master fader \"%s\" carried onto the REAPER master\n",
                      row_name(in.master_fader_name).c_str());
}

void track_list(const ReportInput& in) {
    report_printf("\nTRACK LIST (Pro Tools edit-window order)\n");
    report_printf("  %-3s %-34s %5s %5s %3s\n", "#", "name", "clips", "notes", "fx");
    int position = 0;
    for (const ReportTrackRow& row : in.track_rows) {
        ++position;
        const bool empty = row.clips == 0 && row.notes == 0 && row.fx == 0;
        report_printf("  %-3d %-34s %5d %5d %3d%s\n", position,
                      row_name(row.name, kTrackColumnBytes).c_str(), row.clips, row.notes, row.fx,
                      empty ? "   (empty)" : "");
    }
}

// Returns the instances found: the console's count, so that the two never disagree.
int plugin_list(const ReportPlugins& plugins) {
    report_printf("\nPLUG-INS\n");
    report_printf("  %d instance(s) found, %d written with their settings\n",
                  plugins.instances_found, count_fx_rows_carried(plugins.rows));
    for (const auto& [name, count] : plugins.counts)
        report_printf("    %-24s x%d\n", row_name(name).c_str(), static_cast<int>(count));
    if (plugins.counts.empty()) return plugins.instances_found;
    report_printf(
        "\n  WHAT REAPER NEEDS INSTALLED, AND WHAT IT DOES NOT\n"
        "    Nothing of Pro Tools needs to be installed: the project opens in\n"
        "    REAPER alone. Every plug-in listed above must exist for REAPER\n"
        "    as a VST, VST2, VST3 or CLAP plug-in, from its maker's installer.\n"
        "    To check one that shows as missing: in REAPER open the FX browser\n"
        "    (View > FX browser), search for its name, and if it is not there\n"
        "    install it and let REAPER rescan (Options > Preferences > Plug-ins).\n");
    if (!plugins.reaper_list_found)
        report_printf(
            "    This run could not check which of them you have: REAPER's\n"
            "    plug-in list was not found on this computer. Open REAPER once\n"
            "    so that it scans your plug-ins, then convert again: the report\n"
            "    then names every plug-in REAPER does not have.\n"
            "    Until then, treat the list above as what to look for.\n");
    return plugins.instances_found;
}

void counted_rows(const std::map<std::string, std::uint32_t>& rows) {
    for (const auto& [name, count] : rows)
        report_printf("    %-24s x%d\n", row_name(name).c_str(), static_cast<int>(count));
}

void build_rows(const std::map<std::string, std::string>& rows) {
    for (const auto& [name, build] : rows)
        report_printf("    %-24s needs %s\n", row_name(name).c_str(), row_name(build).c_str());
}

void text_rows(const std::vector<std::string>& rows) {
    for (const std::string& row : rows) report_printf("    %s\n", row_name(row).c_str());
}

int needs_a_look(const ReportInput& in) {
    const ReportPlugins& p = in.plugins;
    int sections = 0;
    report_printf("\nNEEDS A LOOK\n");
    if (!p.aax_only.empty()) {
        report_printf(
            "  AAX ONLY - no VST/VST3 version of these exists, so no converter\n"
            "  can move them. Print or commit these tracks in Pro Tools:\n");
        for (const auto& [name, count] : p.aax_only) {
            const auto label = p.aax_only_labels.find(name);
            if (label == p.aax_only_labels.end() || label->second.empty())
                report_printf("    %-24s x%d\n", row_name(name).c_str(), static_cast<int>(count));
            else
                report_printf("    %-24s x%d   %s\n", row_name(name).c_str(),
                              static_cast<int>(count), row_name(label->second).c_str());
        }
        int all = 0;
        int processing = 0;
        for (const auto& [name, count] : p.aax_only) {
            all += static_cast<int>(count);
            const auto flag = p.aax_processes_audio.find(name);
            if (flag != p.aax_processes_audio.end() && flag->second != 0)
                processing += static_cast<int>(count);
        }
        if (processing != 0)
            report_printf(
                "    %d of these processed audio, so that much of the mix\n"
                "    is not carried.%s\n",
                processing, processing < all ? " The rest did not touch the sound." : "");
        else
            report_printf("    None of these processed audio: the mix is unaffected.\n");
        sections = 1;
    }
    if (!p.unrecognised.empty()) {
        report_printf(
            "  not recognized. An Avid stock plug-in is AAX only and cannot\n"
            "  be transferred by any tool; anything else can be added - send\n"
            "  this report to whoever gave you lanwick and say which one:\n");
        counted_rows(p.unrecognised);
        ++sections;
    }
    if (!p.offline.empty()) {
        report_printf("  placed OFFLINE - named, settings not carried (reasons above):\n");
        counted_rows(p.offline);
        ++sections;
    }
    if (!p.no_state.empty()) {
        report_printf("  no transferable state stored by Pro Tools:\n");
        counted_rows(p.no_state);
        ++sections;
    }
    if (!p.not_installed.empty()) {
        report_printf(
            "  installed in Pro Tools but NOT for REAPER on this machine\n"
            "  (settings were written; install these and they load):\n");
        build_rows(p.not_installed);
        ++sections;
    }
    if (!p.not_installed_left_out.empty()) {
        report_printf(
            "  NOT installed for REAPER on this machine, and LEFT OUT as asked\n"
            "  (install these and convert again to keep them):\n");
        build_rows(p.not_installed_left_out);
        ++sections;
    }
    if (!in.odd_strips.empty()) {
        report_printf("  %d mixer strip(s) of an unrecognized width (pan not converted):\n",
                      static_cast<int>(in.odd_strips.size()));
        text_rows(in.odd_strips);
        ++sections;
    }
    if (!in.multi_mono.empty()) {
        report_printf(
            "  %d unlinked multi-mono instance(s) - only channel 1's settings\n"
            "  were written; check these by hand:\n",
            static_cast<int>(in.multi_mono.size()));
        text_rows(in.multi_mono);
        ++sections;
    }
    if (in.unresolved_keys != 0) {
        report_printf("  %d sidechain key input(s) could not be resolved\n", in.unresolved_keys);
        ++sections;
    }
    if (in.bad_fades != 0) {
        report_printf("  %d fade record(s) not understood\n", in.bad_fades);
        ++sections;
    }
    if (in.unreadable_clip_lists != 0) {
        report_printf(
            "  %d clip list(s) could not be read: the clips on their tracks lack\n"
            "  their clip locks, clip colors, fades and clip groups\n",
            in.unreadable_clip_lists);
        ++sections;
    }
    if (!in.tracks_without_list.empty()) {
        report_printf(
            "  %d track(s) matched no clip list: their clips lack their clip locks,\n"
            "  clip colors, fades and clip groups:\n",
            static_cast<int>(in.tracks_without_list.size()));
        text_rows(in.tracks_without_list);
        ++sections;
    }
    if (in.refused_placements_count != 0) {
        report_printf(
            "  %d clip placement(s) NOT written: the session's record of their\n"
            "  playlist or its track is damaged; place them again from Pro Tools:\n",
            in.refused_placements_count);
        text_rows(in.refused_placements);
        ++sections;
    }
    if (in.lost_audio_clips != 0) {
        report_printf(
            "  %d clip(s) on the session's playlists NOT written: the session's record\n"
            "  of where its tracks' clips lie is damaged; place them again from Pro Tools\n",
            in.lost_audio_clips);
        ++sections;
    }
    if (in.lost_midi_clips != 0) {
        report_printf(
            "  %d MIDI clip(s) on the session's playlists NOT written: the session's\n"
            "  record of where its tracks' clips lie is damaged; place them again from\n"
            "  Pro Tools\n",
            in.lost_midi_clips);
        ++sections;
    }
    if (!in.clips_left_out.empty()) {
        report_printf("  %d clip(s) NOT written, each with the reason:\n",
                      static_cast<int>(in.clips_left_out.size()));
        text_rows(in.clips_left_out);
        ++sections;
    }
    if (in.unmatched_strip_tracks != 0) {
        report_printf("  %d track(s) matched no strip row (appended at the end)\n",
                      in.unmatched_strip_tracks);
        ++sections;
    }
    if (!in.missing_media.empty()) {
        report_printf("  %d referenced audio file(s) not in \"Audio Files\" or beside it:\n",
                      static_cast<int>(in.missing_media.size()));
        text_rows(in.missing_media);
        ++sections;
    }
    if (sections == 0) report_printf("  nothing - everything in this session was carried across\n");
    return sections;
}

void picture_and_wide(const ReportInput& in) {
    if (in.video_tracks == 0 && in.surround_folded == 0 && in.odd_strips.empty()) return;
    report_printf("\nPICTURE AND WIDE TRACKS\n");
    if (in.video_tracks != 0) {
        report_printf(
            "  %d video track(s), %d video item(s) written. Position, length,\n"
            "    the file and the item's offset into it are carried; check the\n"
            "    picture against the audio once in REAPER before you mix on\n"
            "    to it.\n",
            in.video_tracks, in.video_items);
        if (in.video_frame_rate > 0.0)
            report_printf(
                "    Frame rate %.3f fps, read from the session rather than\n"
                "    assumed: the items' positions and lengths, stored in frames,\n"
                "    were divided by it.\n",
                in.video_frame_rate);
        if (const char* quality = video_quality_word(in.video_quality))
            report_printf(
                "    The video track was set to %s, not Full Quality. REAPER's\n"
                "    video window plays at full quality: expect the picture to\n"
                "    look sharper, and to cost more to play, than it did in\n"
                "    Pro Tools.\n",
                quality);
        if (in.video_files_unrecognised != 0)
            report_printf(
                "    %d video track(s) hold a file this build does not recognize\n"
                "    as video: those tracks are written empty. Put the file on the\n"
                "    track in REAPER by hand.\n",
                in.video_files_unrecognised);
        if (in.video_files_missing != 0)
            report_printf(
                "    %d video file(s) were not found beside the session, so the\n"
                "    item(s) point where they would lie; REAPER shows them\n"
                "    offline until the file is put there.\n",
                in.video_files_missing);
        if (in.video_items_left_out != 0)
            report_printf(
                "    %d video placement(s) were left out, NO item written: no clip\n"
                "    entry gives their length, or their list names no video track.\n"
                "    Place that video by hand.\n",
                in.video_items_left_out);
        report_printf(
            "    Pro Tools' Video Sync Offset (Setup > Video Sync Offset) is a\n"
            "    setting of that computer, not of the session: it is not carried,\n"
            "    and a picture that ran early or late there runs on time here.\n"
            "    Set REAPER's own offset if the picture needs one.\n");
    }
    if (in.surround_folded != 0)
        report_printf(
            "  %d surround track(s) folded from their Pro Tools legs into one\n"
            "    multichannel REAPER track each. Check the channel order against\n"
            "    the session's speaker layout before mixing on.\n",
            in.surround_folded);
    if (in.surround_bus_widths != 0)
        report_printf(
            "  %d aux(es) taking a surround bus arrive as wide as that bus, and\n"
            "  every track feeding it sends all of its channels.\n",
            in.surround_bus_widths);
    if (in.mono_panner_widths != 0)
        report_printf(
            "  %d mono track(s) panned into a surround bus arrive with REAPER's\n"
            "    surround panner set from the Pro Tools pan position. Listen\n"
            "    to each once: the two panners place a source alike, not\n"
            "    identically.\n",
            in.mono_panner_widths);
    if (in.stereo_panner_widths != 0)
        report_printf(
            "  %d stereo track(s) panned into a surround bus arrive with\n"
            "    REAPER's surround panner, one source per channel, set from\n"
            "    the Pro Tools pan position.\n",
            in.stereo_panner_widths);
    if (in.unplaceable_surround != 0)
        report_printf(
            "  %d track(s) feed a surround bus whose speaker layout this build\n"
            "  cannot place, so they arrive without a surround panner.\n",
            in.unplaceable_surround);
    if (!in.odd_strips.empty())
        report_printf(
            "  %d mixer strip(s) are wider than stereo. Level, mute and their\n"
            "    plug-ins are carried; the surround pan is not. Pan these tracks\n"
            "    again in REAPER.\n",
            static_cast<int>(in.odd_strips.size()));
    if (in.surround_pan_lanes != 0)
        report_printf(
            "    %d of them %s PAN automation that is NOT written: which\n"
            "    REAPER panner parameter each Pro Tools pan lane drives is\n"
            "    not measured yet. Write the pan moves again in REAPER.\n",
            in.surround_pan_lanes, in.surround_pan_lanes == 1 ? "carries" : "carry");
    if (!in.odd_strips.empty() || in.surround_folded != 0)
        report_printf(
            "    A surround session is the one thing this converter has had\n"
            "    the fewest real sessions of: if anything here is wrong, send\n"
            "    this report to whoever gave you lanwick (its maintainers).\n");
}

void privacy(bool shared) {
    if (shared)
        report_printf(
            "\nPRIVACY\n"
            "  The converter that wrote this report has no network code. It\n"
            "  wrote an anonymous summary of this conversion (counts, and which\n"
            "  plug-ins converted how), which the app that ran lanwick sends\n"
            "  because usage summaries are on in its settings.\n"
            "  That summary holds no track, clip or file names, no paths and\n"
            "  no audio. Nothing else about this session was transmitted.\n"
            "  Turn usage summaries off in the app settings to send nothing.\n"
            "  This report itself was not sent.\n"
            "\n");
    else
        report_printf(
            "\nPRIVACY\n"
            "  This conversion sent nothing from this computer: the converter\n"
            "  that wrote this report has no network code, and there was no\n"
            "  upload, telemetry or usage reporting.\n\n");
    report_printf(
        "  This report is your property. It names your tracks, your\n"
        "  plug-ins and the paths to your files. No one receives it\n"
        "  unless you send it. Review its contents before providing it\n"
        "  to any third party.\n");
}

}  // namespace

int count_fx_rows_carried(std::span<const FxReportRow> rows) {
    int carried = 0;
    for (const FxReportRow& row : rows)
        if (row.outcome == 0) ++carried;
    return carried;
}

std::string report_path_for(const std::string& output_path) {
    const std::size_t dot = output_path.rfind('.');
    const std::size_t slash = output_path.find_last_of("/\\");
    std::string stem = output_path;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        stem = output_path.substr(0, dot);
    return stem + "-vantrel-report.txt";
}

std::string fx_report_table(const ReportPlugins& plugins) {
    if (plugins.rows.empty()) return std::string();
    std::string text;
    int carried = 0, defaults = 0, dropped = 0, missing = 0, left_out = 0;
    for (const FxReportRow& row : plugins.rows) {
        if (row.outcome == 0)
            ++carried;
        else if (row.outcome == 1)
            ++defaults;
        else
            ++dropped;
        if (row.outcome == 6)
            ++left_out;
        else if (row.missing)
            ++missing;
    }
    text += "\nEVERY PLUG-IN, AND WHAT HAPPENED TO IT\n";
    text += format_text(
        "  %d instance(s): %d arrived with Pro Tools settings, %d inserted at\n"
        "  the plug-in's own defaults, %d could not be inserted.\n",
        static_cast<int>(plugins.rows.size()), carried, defaults, dropped);
    if (missing == 1)
        text +=
            "  1 is marked (not installed): its settings WERE written, and it\n"
            "  loads as soon as that plug-in is installed for REAPER.\n";
    else if (missing > 1)
        text += format_text(
            "  %d are marked (not installed): the settings WERE written, and\n"
            "  they load as soon as those plug-ins are installed for REAPER.\n",
            missing);
    if (left_out == 1)
        text += "  1 is not installed for REAPER here and was left out, as asked.\n";
    else if (left_out > 1)
        text += format_text("  %d are not installed for REAPER here and were left out, as asked.\n",
                            left_out);
    text +=
        "\n  key:  [settings]  arrived with its Pro Tools settings\n"
        "        [defaults]  inserted without its Pro Tools settings; the line says why\n"
        "        [dropped ]  not inserted; the line says why\n\n";
    const std::string* previous = nullptr;
    for (const FxReportRow& row : plugins.rows) {
        if (!previous || *previous != row.track) text += "  " + row_name(row.track) + "\n";
        previous = &row.track;
        const char* tag = row.outcome == 0   ? "[settings]"
                          : row.outcome == 1 ? "[defaults]"
                                             : "[dropped ]";
        text += format_text("    %2d %s %-26s", static_cast<int>(row.slot), tag,
                            row_name(row.name, kPluginColumnBytes).c_str());
        if (row.automation_points != 0)
            text +=
                format_text("  %d automation point(s)", static_cast<int>(row.automation_points));
        if (row.missing && row.outcome != 6) text += "  (not installed for REAPER here)";
        if (!row.text.empty() && row.outcome != 0) text += "  - " + row_name(row.text);
        text += "\n";
    }
    return text;
}

ReportText build_report(const ReportInput& in) {
    ReportText out;
    output_state.report_buffer = &out.text;
    head(in);
    counts(in);
    track_list(in);
    out.text += fx_report_table(in.plugins);  // long: appended, never cut
    out.plugin_instances = plugin_list(in.plugins);
    out.carried = count_fx_rows_carried(in.plugins.rows);
    out.needs_look = needs_a_look(in);
    picture_and_wide(in);
    privacy(in.usage_shared);
    output_state.report_buffer = nullptr;
    return out;
}

std::string report_summary_line(const ReportInput& in, const ReportText& report) {
    return format_text("summary tracks=%d clips=%d notes=%d fx=%d written=%d needs_look=%d%s",
                       in.tracks, in.clips, in.notes, report.plugin_instances, report.carried,
                       report.needs_look, in.problem_kind.empty() ? "" : " problem=1");
}

bool write_report_file(const std::string& path, const std::string& text, bool keep_existing) {
    std::FILE* file = nullptr;
    if (!keep_existing) {
        file = std::fopen(path.c_str(), "wb");
    } else if (create_new_file(path, file) == NewFileResult::taken) {
        say("  could not write report: %s\n  (it exists already, and --check replaces nothing)\n",
            path.c_str());
        return false;
    }
    bool ok = file != nullptr;
    if (ok) {
        ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        // A full disk may show only when the buffer goes out at the close.
        ok = std::fclose(file) == 0 && ok;
    }
    if (ok)
        say("  report written: %s\n", path.c_str());
    else
        say("  could not write report: %s\n", path.c_str());
    return ok;
}
