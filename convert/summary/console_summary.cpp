#include "convert/summary/console_summary.h"

#include <algorithm>
#include <set>
#include <utility>

#include "app/output.h"
#include "convert/clips/clip_counts.h"
#include "convert/run_state.h"
#include "convert/summary/clip_conservation.h"
#include "convert/summary/colour_rows.h"
#include "convert/summary/plugin_track_rows.h"
#include "convert/summary/special_track_rows.h"
#include "convert/summary/track_stage_summary.h"
#include "convert/summary/wiring_rows.h"
#include "convert/tracks/midi_items.h"
#include "convert/writer/colors.h"
#include "convert/writer/item_writer.h"
#include "convert/writer/midi_item_writer.h"
#include "convert/writer/project_text.h"
#include "convert/writer/special_tracks.h"
#include "convert/writer/tempo_markers.h"
#include "convert/writer/video_tracks.h"
#include "convert/writer/writer_summary.h"
#include "effects/clip_effects.h"
#include "effects/fx_chain.h"
#include "effects/fx_summary.h"
#include "effects/reasurroundpan.h"
#include "effects/standin_summary.h"
#include "session/clip_lists.h"
#include "util/text_wrap.h"
#include "util/timecode.h"
#include "util/utf8_text.h"

namespace {

constexpr std::size_t kRowsShown = 8;
constexpr double kLongClipSeconds = 600.0;

std::string clip_rows(const std::vector<SkippedClip>& clips) {
    std::string text;
    for (std::size_t i = 0; i < clips.size() && i < kRowsShown; ++i)
        text += "      \"" + clips[i].clip + "\" on \"" + clips[i].track + "\"\n";
    if (clips.size() > kRowsShown)
        text += format_text("      ... and %d more\n", static_cast<int>(clips.size() - kRowsShown));
    return text;
}

void version_note(std::string& text, const SessionHeaderInfo& header) {
    if (header.major_version > 0 && !header.version.starts_with("12.5")) {
        text += format_text(
            "  NOTE: the sessions this tool is tested against were all saved\n"
            "      by Pro Tools 12.5. %s is outside that.\n"
            "      Anything it could not read is named above rather than\n"
            "      skipped silently, but please check the result against Pro\n"
            "      Tools before relying on it -- and send the session in\n"
            "      either way.\n",
            header.version.c_str());
    }
    text += "\n";
}

// `"name" (to "bus", ...)`: a stereo track and the buses its moved sends feed.
std::string stereo_send_row(const StereoSendTrack& track) {
    std::string buses;
    for (const std::string& bus : track.buses)
        buses += (buses.empty() ? "\"" : ", \"") + bus + "\"";
    return format_text("%s %s", ("\"" + track.track + "\"").c_str(),
                       ("(to " + buses + ")").c_str());
}

// MIDI controller and SysEx events, and controller data left out (rows 1 to 3).
void midi_event_paragraphs(std::string& text) {
    const MidiWriterState& w = midi_writer;
    if (w.controller_events != 0)
        text += format_text("  %d MIDI controller events (pitch bend, CC, aftertouch)\n",
                            w.controller_events);
    if (w.sysex_written + w.sysex_outside != 0) {
        text += format_text("  %d SysEx event(s)\n", w.sysex_written + w.sysex_outside);
        if (w.sysex_outside != 0)
            text += format_text(
                "      %d of them lie OUTSIDE their clip in Pro Tools and would not play\n",
                w.sysex_outside);
    }
    if (midi_counts.unmatched_chunks != 0)
        text += format_text(
            "  note: %d MIDI region(s) had controller data that did not\n"
            "        match their note chunk; it was left out\n",
            midi_counts.unmatched_chunks);
}

// Muted and outside MIDI events, notes past a clip edge, cut and shortened MIDI clips (rows 37
// to 44).
void midi_clip_paragraphs(std::string& text, const ConsoleSummaryInput& in) {
    const MidiStageCounts& c = midi_counts;
    const int muted = midi_writer.muted_notes + midi_writer.muted_other_events;
    if (muted != 0 && in.keep_inaudible_midi)
        text += format_text(
            "  %d MIDI note event(s) kept but muted: notes too short to exist at\n"
            "      REAPER's 960 ticks per quarter note.\n",
            muted);
    if (muted != 0 && !in.keep_inaudible_midi)
        text += format_text(
            "  %d MIDI event(s) kept but muted -- outside a Pro Tools clip\n"
            "      or too short to play; --keep-inaudible-midi writes the outside ones\n"
            "      unmuted.\n",
            muted);
    if (in.keep_inaudible_midi)
        text += format_text(
            "  --keep-inaudible-midi: %d MIDI event(s) outside a Pro Tools clip\n"
            "      written unmuted, though Pro Tools does not play them.\n",
            c.outside_events_kept);
    if (in.truncate_midi_to_clip && c.notes_past_edge == 0)
        text += "  --truncate-midi-to-clip: no note runs past a clip edge, so nothing is cut.\n";
    if (in.truncate_midi_to_clip && c.notes_past_edge != 0)
        text += format_text(
            "  --truncate-midi-to-clip: %d note(s) run past a clip edge and are CUT\n"
            "      there, where their item ends.\n",
            c.notes_past_edge);
    if (!in.truncate_midi_to_clip && c.notes_past_edge != 0)
        text += format_text(
            "  %d note(s) run past a clip edge; those items were lengthened so\n"
            "      the notes sound in full (--truncate-midi-to-clip cuts them).\n",
            c.notes_past_edge);
    if (c.truncated_clips != 0)
        text += format_text(
            "  %d MIDI clip(s) cut where a later clip on the same track takes over,\n"
            "      as Pro Tools plays them. The notes past the cut are kept, muted:\n"
            "      drag the clip edge in REAPER to see them.\n",
            c.truncated_clips);
    if (c.head_cut_clips != 0)
        text += format_text(
            "  %d MIDI clip(s) start later, where the clip Pro Tools draws on top of\n"
            "      them ends. Their covered start is kept, muted.\n",
            c.head_cut_clips);
}

// MIDI events, mixer strips, sends and MIDI mute and automation (rows 1 to 11).
void mix_paragraphs(std::string& text, const ConsoleSummaryInput& in) {
    const WriterSummary& s = writer_summary;
    midi_event_paragraphs(text);
    text += format_text("  %d mixer strips (faders, pans, mute)\n", in.mixer_strips);
    if (in.name_scan_found >= 0)
        text += format_text("  track list taken from the strip rows (name scan found %d of %d)\n",
                            in.name_scan_found, in.track_list_size);
    text += format_text("  %d sends into %d return tracks\n", s.sends_written, in.return_tracks);
    if (s.midi_muted_tracks != 0)
        text += format_text("  %d MIDI track(s) muted in Pro Tools arrive muted\n",
                            s.midi_muted_tracks);
    if (s.midi_mute_tracks != 0)
        text += format_text("  %d MIDI track(s) arrive with their mute automation\n",
                            s.midi_mute_tracks);
    if (s.midi_lanes_not_carried != 0)
        text += format_text("  %d MIDI track automation lane(s) other than mute are NOT carried\n",
                            s.midi_lanes_not_carried);
}

// The click track and the sends' pans and switches (rows 13 to 16).
void click_and_send_paragraphs(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (!s.click_track_name.empty()) {
        // Click II is Avid's own and AAX only: unless a rule gives it a REAPER plug-in, its slot
        // holds no click.
        bool carried = false;
        for (const FxReportRow& row : fx_chain_state.rows)
            if (row.track == s.click_track_name && row.slot == s.click_slot)
                carried = row.outcome == fx_carried || row.outcome == fx_without_settings;
        text += "  Pro Tools' click is on and \"" + s.click_track_name +
                "\" plays it. REAPER's metronome is left OFF;\n";
        text += carried ? "      that track carries the click, so REAPER's own would double it.\n"
                        : "      Click II cannot load in REAPER, so that track holds no click and\n"
                          "      nothing in the project clicks: switch REAPER's metronome on for\n"
                          "      one.\n";
    }
    if (s.sends_panned != 0)
        text += format_text("      %d send(s) panned off center, carried\n", s.sends_panned);
    if (s.sends_muted != 0)
        text += format_text("      %d send(s) switched off in Pro Tools, written muted\n",
                            s.sends_muted);
    if (!s.stereo_send_tracks.empty()) {
        text += format_text(
            "  %d stereo track(s) have a send whose two pan knobs are moved off\n"
            "      hard left and right; a REAPER send has one pan, so those sends\n"
            "      keep their full width:\n",
            static_cast<int>(s.stereo_send_tracks.size()));
        std::vector<std::string> rows;
        for (const StereoSendTrack& track : s.stereo_send_tracks)
            rows.push_back(stereo_send_row(track));
        text += name_rows(rows);
    }
}

// Plug-ins bypassed, on the master and inactive (rows 23 to 26).
void plugin_state_paragraphs(std::string& text) {
    const WriterSummary& s = writer_summary;
    text += fx_bypassed_paragraph();
    if (s.master_fx_slots != 0)
        text += format_text("  %d insert(s) on the Master Fader carried\n", s.master_fx_slots);
    text += fx_offline_paragraphs();
}

// Keyed tracks passing two channels on, and MIDI triggering switched off (rows 29, 30).
void keyed_track_paragraphs(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (s.mainsend_nch != 0)
        text += format_text(
            "      %d keyed track(s) pass only channels 1/2 on to their parent, so\n"
            "      no key reaches the mix even with the last plug-in offline\n",
            s.mainsend_nch);
    text += fx_midi_trigger_paragraph();
}

// Options on the plug-ins' key inputs (row 31).
void sidechain_option_rows(std::string& text, const ConsoleSummaryInput& in) {
    if (in.no_sidechain) text += "  --no-sidechain: key inputs left unwired\n";
}

// Send automation, the master fader and track automation (rows 34 to 36).
void automation_paragraphs(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (s.send_points != 0) text += format_text("  %d send automation points\n", s.send_points);
    if (!s.master_fader_name.empty())
        text += "  master fader \"" + s.master_fader_name + "\" carried onto the REAPER master\n";
    if (s.automation_points != 0)
        text += format_text("  %d automation points across %d tracks\n", s.automation_points,
                            s.automated_tracks);
}

// Dual-pan envelopes of stereo tracks (row 45).
void dual_pan_row(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (s.dual_pan_points != 0)
        text += format_text("  %d dual-pan point(s) on %d stereo track(s) (REAPER dual pan)\n",
                            s.dual_pan_points, s.dual_pan_tracks);
}

// Automated tracks set to Read and faders parked at unity (rows 53 and 54).
void automation_mode_paragraphs(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (s.automated_tracks_read != 0)
        text += format_text(
            "  %d automated track(s) set to Read (Trim/Read would\n"
            "      apply the fader on top of its own automation)\n",
            s.automated_tracks_read);
    const int parked = s.faders_parked + s.master_volume_automated;
    if (parked != 0)
        text += format_text(
            "  %d fader(s) parked at unity so the volume envelope alone\n"
            "      carries the level, not the fader times the envelope\n",
            parked);
}

// Soloed, muted tracks whose mute automation keeps their solo (row 133).
void soloed_muted_automated_row(std::string& text) {
    const int tracks = writer_summary.soloed_muted_automated;
    if (tracks != 0)
        text += format_text(
            "  %d soloed, muted track(s) with mute automation keep their solo: REAPER\n"
            "      plays a soloed track through its mute, Pro Tools does not.\n",
            tracks);
}

// Mono and stereo sources given a ReaSurroundPan (rows 167 and 168).
void reasurroundpan_source_rows(std::string& text) {
    const ReaSurroundPanState& st = reasurroundpan_state;
    if (st.mono_blocks != 0)
        text += format_text(
            "  %d mono track(s) panned into a surround bus arrive with\n"
            "      ReaSurroundPan set from Pro Tools' panner: position, divergence,\n"
            "      center %% and the LFE level (sessions from Pro Tools 2026 and\n"
            "      later; an older session's LFE level is not read).\n",
            st.mono_blocks);
    if (st.stereo_blocks != 0)
        text += format_text(
            "  %d stereo track(s) panned into a surround bus arrive with\n"
            "      ReaSurroundPan set from Pro Tools' left and right panners:\n"
            "      each channel's position and divergence, center %%, side %% and\n"
            "      the LFE level (Pro Tools 2026 sessions). Panner automation on a\n"
            "      stereo source is not carried yet.\n",
            st.stereo_blocks);
}

// Pitch, warps, stretched clips, fades, clip gain and loops (rows 56 to 68).
void clip_paragraphs(std::string& text, const ConsoleSummaryInput& in) {
    text += in.clip_stretch_lines;
    text +=
        format_text("  %d clips stretched, %d of them read from the session\n",
                    in.clips_stretched_read + in.clips_stretched_computed, in.clips_stretched_read);
    text += format_text("  %d fade-ins, %d fade-outs, %d crossfades\n", clip_counts.fade_ins,
                        clip_counts.fade_outs, clip_counts.crossfades);
    text += format_text("  %d clips given clip gain\n", item_writer.clips_with_gain);
    if (in.clip_group_gain_clips != 0)
        text += format_text(
            "  %d clip(s) inside a clip group given the group's own clip gain as well,\n"
            "      as Pro Tools plays it.\n",
            in.clip_group_gain_clips);
    if (!in.clip_group_lines_not_applied.empty()) {
        text += format_text(
            "  WARNING: %d clip(s) sit in a clip group whose own clip gain is a drawn\n"
            "      line, which is NOT carried (a fixed group gain is):\n",
            in.clip_group_line_clips);
        std::vector<std::string> groups;
        for (const std::string& group : in.clip_group_lines_not_applied)
            groups.push_back("\"" + group + "\"");
        text += name_rows(groups);
    }
    text += in.clip_loop_lines;
}

// --no-stand-ins with nothing withheld (row 69).
void stand_in_option_row(std::string& text) {
    if (settings.no_stand_ins && fx_chain_state.standins_withheld == 0 &&
        fx_chain_state.polarity_withheld == 0)
        text += "  --no-stand-ins: on; no Avid plug-in in this session had a REAPER stand-in.\n";
}

// --no-stand-ins: the tracks whose one-sided Trim stays (row 71).
void one_sided_trim_row(std::string& text) {
    if (settings.no_stand_ins && fx_chain_state.polarity_withheld != 0)
        text += format_text(
            "      %d track(s) where a Trim flips one side only play both sides\n"
            "      upright: the polarity flip of that one side is a stand-in too.\n",
            static_cast<int>(fx_chain_state.polarity_withheld));
}

// Colour options, track colours and the meter (rows 72 to 81).
void colour_option_and_meter_paragraphs(std::string& text, const ConsoleSummaryInput& in) {
    if (in.no_track_colors)
        text +=
            "  --no-track-colors: every track is in REAPER's default color; the\n"
            "      session's track colors were left out, as asked.\n";
    if (settings.no_clip_colors)
        text += format_text(
            "  --no-clip-colors: %d clip(s) that would carry a color are drawn\n"
            "      in their track's color instead.\n",
            color_counters.clips_left_uncolored);
    text += plugin_build_rows();  // 74, 75
    if (color_counters.tracks_colored != 0)
        text += format_text("  %d track(s) carried a color onto REAPER track colors\n",
                            color_counters.tracks_colored);
    if (color_counters.tracks_uncolored != 0)  // row 77
        text += format_text(
            "  %d track(s) have no color set. Pro Tools does not STORE a color\n"
            "      for those -- it draws them from a display setting, so the same\n"
            "      session shows different colors on a machine set up\n"
            "      differently. There is nothing to carry, so they keep REAPER's\n"
            "      own default rather than a color this tool guessed.\n",
            color_counters.tracks_uncolored);
    if (color_counters.off_palette_track_colours != 0 && !in.no_track_colors)  // row 78
        text += format_text(
            "  NOTE: %d track record(s) held a value where the color belongs\n"
            "      that is not on Pro Tools' track palette; those tracks keep\n"
            "      the color their coding gives, or REAPER's default.\n",
            color_counters.off_palette_track_colours);
    if (in.meters.empty()) {
        text += "  no meter map in this session: 4/4 throughout\n";
    } else {
        text += format_text("  meter %u/%u, read from the session\n", in.meters.front().numerator,
                            in.meters.front().denominator);
    }
    text += meter_change_summary(in.meters, tempo_marker_counts.signature_changes);
    text += meter_repeat_summary(in.meters, tempo_marker_counts.meter_repeats);
}

// Tracks coloured by the session's colour coding (row 88).
void track_coding_paragraph(std::string& text, const ConsoleSummaryInput& in) {
    if (color_counters.tracks_colored_by_coding != 0 && !in.track_color_coding.empty())
        text += format_text(
                    "  %d track(s) had NO color of their own and were given the one\n"
                    "      Pro Tools DISPLAYS for them, under this session's\n",
                    color_counters.tracks_colored_by_coding) +
                "      \"" + in.track_color_coding + "\" color coding.\n" +
                "      That scheme is stored IN THE SESSION, so the color is the\n"
                "      same everywhere and is not this machine's preference.\n";
}

// Clips without a colour of their own under the session's clip colour coding (rows 91 and 92).
void clip_coding_paragraphs(std::string& text) {
    if (settings.no_clip_colors) return;
    if (color_counters.fallback_clips_colored != 0)
        text += format_text(
            "      %d clip(s) with no color of their own were given the tint Pro\n"
            "      Tools shows for them under this coding: the color\n"
            "      of the row their track sits in.\n",
            color_counters.fallback_clips_colored);
    if (color_counters.fallback_clips_uncolored != 0)
        text += format_text(
            "      %d clip(s) sit in a row whose tint under this coding has not\n"
            "      been measured yet, and are left for REAPER to draw rather than\n"
            "      given a guessed shade.\n",
            color_counters.fallback_clips_uncolored);
}

// Pan law, clip colours, themes and clip-gain envelopes (rows 99 to 107).
// Clip gain lists read by their size where their stored count disagrees (row 108).
void gain_count_row(std::string& text) {
    if (clip_counts.gain_count_mismatches == 0) return;
    text += format_text(
        "  WARNING: %d clip gain entr(ies) state a point count that disagrees\n"
        "      with the size the session gives them. Each was read by its size,\n"
        "      so its clip keeps the points the entry really holds; check those\n"
        "      clips' gain lines in REAPER, and please send the session in: this\n"
        "      build has not seen such an entry in a real session.\n",
        clip_counts.gain_count_mismatches);
}

void pan_law_and_clip_colour_paragraphs(std::string& text, const ConsoleSummaryInput& in) {
    const WriterSummary& s = writer_summary;
    if (s.pan_law_known) {
        text +=
            format_text("  Pan law: %.1f dB, read from the session's Pan Depth\n", s.pan_law_db);
    } else if (s.pan_depth >= 0) {
        text += format_text(
            "  *** Pan Depth enum %d is not one this build knows.\n"
            "      PANLAW written as -3.0 dB.\n",
            s.pan_depth);
    }
    if (!settings.no_clip_colors && item_writer.clips_colored != 0) {
        text += format_text(
            "  %d clip(s) carried a color, %d distinct Pro Tools palette\n"
            "      index(es). Clips sharing an index share a REAPER color, so\n"
            "      the GROUPING is exact; the shade is as close as the palette\n"
            "      allows.\n",
            item_writer.clips_colored, static_cast<int>(item_writer.color_indices.size()));
        if (color_counters.clips_lightened != 0)
            text += format_text(
                "      %d of them carry a hand-picked palette color from the lower rows,\n"
                "      written as the palette swatch; Pro Tools draws a clip body paler\n"
                "      than its swatch, so these read stronger in REAPER than there.\n",
                color_counters.clips_lightened);
        if (color_counters.clips_off_palette != 0)
            text += format_text(
                "      WARNING: %d clip(s) carry a palette index off the known\n"
                "      grid. They are given a distinct color so the grouping still\n"
                "      transfers, but the shade is invented. Please send the\n"
                "      session in.\n",
                color_counters.clips_off_palette);
    }
    const int measured = color_counters.palette_hits;
    const int derived = color_counters.formula_fallbacks;
    if (in.theme == ClipColorTheme::dark && measured + derived != 0) {
        text += format_text(
            "  Clip colors follow Pro Tools' Dark theme, as chosen (%d measured,\n"
            "      %d derived).%s\n",
            measured, derived,
            // A session that records no version may be of any release: nothing is said of it.
            in.header.version.empty() || session_theme_is_dark(in.header.version)
                ? ""
                : " This session predates the Dark theme (2020.11).");
    } else if (in.theme == ClipColorTheme::follow_session && in.dark_theme &&
               !settings.no_clip_colors && measured + derived != 0) {
        text += format_text(
            "  Clip colors follow Pro Tools' Dark theme (%d measured, %d derived),\n"
            "      the theme of the release that saved this session.\n",
            measured, derived);
    } else if (in.theme == ClipColorTheme::classic) {
        text += "  Clip colors follow Pro Tools' Classic theme, as chosen.\n";
    }
    if (item_writer.gain_envelopes != 0)
        text += format_text(
            "  %d of them carried a clip gain ENVELOPE, written as REAPER\n"
            "      take volume envelopes. Points outside the clip are kept by\n"
            "      interpolating to its edge, as Pro Tools plays them.\n",
            item_writer.gain_envelopes);
}

// View state: hidden, heights, solo, MIDI fader and pan (rows 117 to 121).
void view_paragraphs(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (!s.hidden_tracks.empty())
        text += format_text(
                    "  %d track(s) are HIDDEN in Pro Tools and arrive hidden in both REAPER's\n"
                    "      track panel and its mixer:",
                    static_cast<int>(s.hidden_tracks.size())) +
                quoted_name_list(s.hidden_tracks) + "\n";
    if (s.tracks_with_height != 0)
        text += format_text(
            "  %d track(s) carry their Pro Tools track HEIGHT, in pixels as Pro Tools\n"
            "      stores it. REAPER raises anything below its own minimum.\n",
            s.tracks_with_height);
    if (!s.soloed_tracks.empty())
        text += format_text("  %d track(s) are SOLOED in the session and arrive soloed:",
                            static_cast<int>(s.soloed_tracks.size())) +
                quoted_name_list(s.soloed_tracks) + "\n";
    // Our own: the solo of a bus, video or alternate track is not written.
    if (!s.unsoloed_tracks.empty())
        text += format_text(
                    "  %d track(s) are SOLOED in the session but arrive with their solo\n"
                    "      off: bus, video and alternate tracks are written unsoloed:",
                    static_cast<int>(s.unsoloed_tracks.size())) +
                quoted_name_list(s.unsoloed_tracks) + "\n";
    if (!s.solo_safe_tracks.empty())
        text += format_text("  %d track(s) are SOLO SAFE and arrive solo-defeated:",
                            static_cast<int>(s.solo_safe_tracks.size())) +
                quoted_name_list(s.solo_safe_tracks) + "\n";
    if (midi_writer.fader_pan_tracks != 0)
        text += format_text(
            "  %d MIDI/instrument track(s) carry their MIDI fader and pan as a CC 7\n"
            "      and a CC 10 event at the start of each clip -- what Pro Tools\n"
            "      sends when playback starts. A clip that already streams one of\n"
            "      those controllers keeps its stream instead.\n",
            midi_writer.fader_pan_tracks);
}

// Tracks whose automation mode is Off (row 124).
void automation_off_paragraph(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (!s.automation_off_tracks.empty())
        text += format_text("  %d track(s) have automation mode OFF in Pro Tools:",
                            static_cast<int>(s.automation_off_tracks.size())) +
                quoted_name_list(s.automation_off_tracks) +
                "\n"
                "      Pro Tools ignores their automation. They arrive in Trim/Read with\n"
                "      every envelope written INACTIVE, so the moves are kept but not\n"
                "      played -- the same thing Pro Tools does.\n";
}

// Wide tracks folded from their mono legs (row 131).
void surround_fold_row(std::string& text, const ConsoleSummaryInput& in) {
    if (in.surround_folded != 0)
        text += format_text(
            "  %d surround track(s) folded from their Pro Tools legs into one\n"
            "      multichannel track each, the way a stereo pair is folded: one\n"
            "      track, one item, one insert chain, channels in the file's order.\n"
            "      A wide strip's own panner is not carried; a mono or stereo\n"
            "      source panned into a surround bus gets ReaSurroundPan (below).\n",
            in.surround_folded);
}

// Soloed and muted tracks, and the solo helper track added for them (row 132).
void soloed_muted_paragraph(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (s.soloed_and_muted != 0)
        text += format_text(
            "  %d track(s) were soloed AND muted in Pro Tools, which keeps them silent.\n"
            "      They arrive muted with their solo off: REAPER would play a soloed\n"
            "      track through its mute.\n",
            s.soloed_and_muted);
    if (!special_tracks.solo_helper.empty())
        text += "      Every soloed track was muted, so the track\n      \"" +
                special_tracks.solo_helper +
                "\" was added, soloed and\n      empty, to keep the rest silent.\n";
}

// Timebase, real-time properties, bit depth and timecode (rows 159 to 163).
void project_paragraphs(std::string& text) {
    const WriterSummary& s = writer_summary;
    const int time_tracks = s.timebase_time + s.midi_timebase_time;
    const int beat_tracks = s.timebase_beats + s.timebase_beats_position + s.midi_timebase_beats;
    if (time_tracks + beat_tracks != 0)
        text += format_text(
            "  Item timebase written per track: %d Time (sample-based), %d Beats\n"
            "      (tick-based), as each track kept its clips in Pro Tools.\n",
            time_tracks, beat_tracks);
    if (midi_writer.property_tracks != 0) {
        text += format_text(
            "  MIDI Real-Time Properties APPLIED to the notes on %d track(s): transpose,\n"
            "      velocity and delay, as Pro Tools plays them.\n",
            midi_writer.property_tracks);
        if (midi_writer.transposed_out_of_range != 0)
            text += format_text(
                "      %d note(s) transposed past the MIDI range are written MUTED, not lost.\n",
                midi_writer.transposed_out_of_range);
    }
    if (midi_writer.unapplied_switch_tracks != 0)
        text += format_text(
            "  %d track(s) carry Real-Time quantize or duration, which are NOT applied:\n"
            "      their grid and amount are not decoded yet.\n",
            midi_writer.unapplied_switch_tracks);
    if (s.record_format_written) {
        text += format_text(
            "  Bit depth: %d-bit%s written as REAPER's recording format, so new\n"
            "      recordings match the session's files.\n",
            settings.bit_depth, s.record_float ? " float" : "");
    } else if (s.aiff_session && settings.bit_depth != 24) {
        text += format_text(
            "  Bit depth: %d-bit AIFF session; REAPER's recording format is left at\n"
            "      its own default, which records WAV.\n",
            settings.bit_depth);
    }
    if (s.timecode_written) {
        const std::string start =
            format_timecode(s.start_frames, settings.timecode_fps, s.drop_frame ? 1 : 0);
        // 60 and 120 drop share 30 drop's base code; their own twin names them.
        const std::string& twin = s.frame_rate_twin_label;
        std::string note;
        if (!s.ruler_rate.empty()) {
            const std::string rate = s.frame_rate_long_label.empty()
                                         ? settings.timecode_rate_text + " fps"
                                         : s.frame_rate_long_label;
            note = format_text("      REAPER has no %s setting; the ruler runs at %s fps.\n",
                               rate.c_str(), s.ruler_rate.c_str());
        } else if (s.thirty_drop && (twin.empty() || twin == "30")) {
            note = "      REAPER has no 30 drop-frame setting; the ruler runs at 30 non-drop.\n";
        } else if (s.drop_frame && !twin.empty()) {
            note = format_text(
                "      REAPER has no %s drop-frame setting; the ruler runs at %s non-drop.\n",
                twin.c_str(), twin.c_str());
        }
        // The ruler reads as Pro Tools' only when REAPER runs it at the session's own rate, in a
        // setting REAPER's own projects were seen to hold, and the rate is known for certain.
        // Without a video track, 24 and 23.976 cannot be told apart here.
        const std::string& rate = settings.timecode_rate_text;
        const bool twenty_four = (rate == "24" || rate == "23.976") && video_tracks.tracks == 0;
        const bool seen = s.timemode_seen != 0;
        text += format_text(
            "  Timecode: %s fps, Session Start %s (%.4f s),\n"
            "      written as REAPER's project start%s\n",
            rate.c_str(), start.c_str(), s.offset_seconds,
            note.empty() && seen && !twenty_four ? ", so the ruler reads as Pro Tools' does."
                                                 : ".");
        text += note;
        if (twenty_four) {
            text +=
                "      Pro Tools stores 24 and 23.976 the same way, and with no video in\n"
                "      the session to tell them apart, check the rate in REAPER's\n"
                "      Project Settings against the picture before you lay it in.\n";
        } else if (!seen) {
            text += format_text(
                "      The frame rate is written too, in a form no project saved by REAPER\n"
                "      was seen to hold: check that Project Settings show %s fps there.\n",
                !s.ruler_rate.empty() ? s.ruler_rate.c_str()
                : !twin.empty()       ? twin.c_str()
                                      : rate.c_str());
        }
    }
}

// Surround panner lanes not written (row 170).
void surround_lane_paragraph(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (s.surround_pan_lanes_not_carried != 0)
        text += format_text(
            "  %d surround panner automation lane(s) not written: a stereo source's\n"
            "      panner, or a session older than Pro Tools 2026.\n",
            s.surround_pan_lanes_not_carried);
}

// Locked clips, the grid and MIDI clips on sample-based tracks (rows 175 to 178).
void lock_grid_paragraphs(std::string& text) {
    const WriterSummary& s = writer_summary;
    if (item_writer.locked_clips != 0)
        text += format_text(
            "  %d clip(s) were locked in Pro Tools and are LOCKED in REAPER. REAPER\n"
            "      has one item lock, so a clip that was only Time-locked (kept in\n"
            "      place but still editable) is locked for edits as well.\n",
            item_writer.locked_clips);
    if (s.grid_set) {
        text += format_text("  Edit grid written as REAPER's grid (%g of a quarter note).\n",
                            s.grid_quarter_notes);
        if (s.nudge_found)
            text += format_text(
                "      Nudge (%ld| %ld| %03ld) is not carried: REAPER keeps its nudge\n"
                "      in its own preferences, not in the project.\n",
                static_cast<long>(s.nudge.bars), static_cast<long>(s.nudge.beats),
                static_cast<long>(s.nudge.ticks));
    }
    if (midi_counts.sample_time_clips != 0) {
        text += format_text(
            "  %d MIDI clip(s) sit on a SAMPLE-BASED track, so their position and\n"
            "      length are read in samples rather than ticks. Read as ticks they\n"
            "      land days into the project once the session has a tempo change.\n",
            midi_counts.sample_time_clips);
        if (midi_counts.sample_time_overlaps != 0)
            text += format_text(
                "      %d of them overlap another clip. Pro Tools resolves an overlap by\n"
                "      comparing clip positions, and that comparison is not reliable in\n"
                "      this unit yet, so the clip keeps its full length and the overlap\n"
                "      SUMS rather than trimming. Trim the item edge in REAPER to match.\n",
                midi_counts.sample_time_overlaps);
    }
}

// MIDI clips no timebase record names: placed by their placement's own time base (row 184's
// continuation).
void unpaired_midi_rows(std::string& text) {
    const MidiStageCounts& m = midi_counts;
    if (m.unpaired_clips == 0) return;
    if (m.timebase_records == 0)
        text += format_text(
            "      %d of them: this session holds no timebase records at all, so\n"
            "      those MIDI clips are placed by their placement's own time base.\n",
            m.unpaired_clips);
    else if (m.records_time_base != kNoTimeBase)
        text += format_text(
            "      %d of them could not be paired with their own timebase record;\n"
            "      every record of this session is %s, and those MIDI clips are\n"
            "      placed by their placement's own time base.\n",
            m.unpaired_clips, m.records_time_base == kTickTimeBase ? "tick-based" : "sample-based");
    else
        text += format_text(
            "      %d of them could not be paired with their own timebase record, and\n"
            "      this session's records disagree; those MIDI clips are placed by\n"
            "      their placement's own time base. Check their positions.\n",
            m.unpaired_clips);
}

// MIDI clip groups on MIDI tracks, one row per MIDI playlist holding them (row 187).
void midi_clip_group_row(std::string& text) {
    int groups = 0;
    for (const auto& [list, count] : midi_counts.midi_clip_groups) groups += count;
    if (groups == 0) return;
    text += format_text(
        "  WARNING: %d MIDI clip group(s) sit on MIDI tracks, and MIDI clip groups\n"
        "      are not laid out as their clips here, as audio clip groups are:\n",
        groups);
    std::vector<std::string> rows;
    for (const auto& [list, count] : midi_counts.midi_clip_groups)
        if (count != 0)
            rows.push_back(
                format_text("%s %s (%d)", ("\"" + list + "\"").c_str(), "clip group(s)", count));
    text += name_rows(rows);
}

// Our own: clip lists that could not be read, and tracks no list was given to. Their clips still
// come from the placements, but what only the list holds does not reach them.
void clip_list_loss_paragraphs(std::string& text) {
    const ClipStageCounts& c = clip_counts;
    if (c.unreadable_lists != 0)
        text += format_text(
            "  WARNING: %d clip list(s) of this session could not be read (damaged, or\n"
            "      nested too deep to walk). The clips on their tracks are written where\n"
            "      the session places them, but WITHOUT what the list holds: clip locks,\n"
            "      clip colors, fades and clip groups, and the track's time base (ticks\n"
            "      or samples) is inferred. Check those tracks against Pro Tools.\n",
            c.unreadable_lists);
    if (!c.tracks_without_list.empty()) {
        std::vector<std::string> rows;
        for (const std::string& track : c.tracks_without_list) rows.push_back("\"" + track + "\"");
        text += format_text(
                    "  WARNING: %d track(s) matched none of the session's clip lists, so their\n"
                    "      clips are written WITHOUT clip locks, clip colors, fades and clip\n"
                    "      groups, and their time base (ticks or samples) is inferred:\n",
                    static_cast<int>(rows.size())) +
                name_rows(rows);
    }
}

// Our own: placements the walk refused with the playlist record that holds them. Nothing of
// them is written, so the clips are named by track for the user to place again.
void refused_placement_paragraph(std::string& text, const ConsoleSummaryInput& in) {
    if (in.refused.empty()) return;
    text += format_text(
                "  WARNING: %d clip placement(s) were NOT written: the session's record of\n"
                "      their playlist or its track is damaged (or the file ends inside it),\n"
                "      so where they lie cannot be read. Place them again from Pro Tools:\n",
                static_cast<int>(in.refused.size())) +
            name_rows(refused_placement_rows(in.refused, true));
}

// Our own: the clips of playlists whose placement container is damaged (or cut short). Nothing
// says where on their tracks they lie, so none of them is written.
void lost_container_paragraphs(std::string& text, const ConsoleSummaryInput& in) {
    const struct {
        int clips;
        const char* kind;
    } lost[] = {{in.lost_audio_clips, ""}, {in.lost_midi_clips, "MIDI "}};
    for (const auto& [clips, kind] : lost) {
        if (clips == 0) continue;
        text += format_text(
            "  WARNING: %d %sclip(s) on the session's playlists were NOT written: the\n"
            "      session's record of where its tracks' clips lie is damaged (or the\n"
            "      file ends inside it), so none of them can be placed. Place them again\n"
            "      from Pro Tools.\n",
            clips, kind);
    }
}

// Time bases, sync points and clip groups (rows 184 to 191), playlists, odd strips and lanes
// (to 197).
void clip_stage_paragraphs(std::string& text, const ConsoleSummaryInput& in) {
    const ClipStageCounts& c = clip_counts;
    // The tracks as written: MIDI tracks and folded split legs count as the one track they are.
    const WriterSummary& s = writer_summary;
    text += format_text("  %d tick-based tracks, %d sample-based\n",
                        s.timebase_beats + s.timebase_beats_position + s.midi_timebase_beats,
                        s.timebase_time + s.midi_timebase_time);
    unpaired_midi_rows(text);
    if (c.sync_point_clips != 0)
        text += format_text(
            "  %d clip(s) carry a sync point and are placed by it, as Pro Tools\n"
            "      places them: the clip starts that far before its stored position\n",
            c.sync_point_clips);
    if (c.unmatched_sync_points != 0)
        text +=
            "  WARNING: this session has clips with sync points that could not be\n"
            "      tied to their clips; those clips sit at their stored position,\n"
            "      which may be off by the sync offset. Please send the session in.\n";
    midi_clip_group_row(text);
    if (c.clip_groups != 0)
        text += format_text(
            "  %d clip group(s) laid out as the %d clip(s) they play -- REAPER has\n"
            "      no clip groups, so each one is written flat, same places, same audio\n",
            c.clip_groups, c.clip_group_clips);
    if (c.clip_group_fades != 0)
        text += format_text(
            "      %d fade(s) inside those groups: %d fade-in(s) and %d fade-out(s) carried\n"
            "      on the pieces (v202); %d could not be bound to an edge and were left off\n",
            c.clip_group_fades, c.clip_group_fade_ins, c.clip_group_fade_outs,
            c.clip_group_unmatched_fades);
    if (c.clip_group_skipped != 0) {
        text += format_text(
            "  WARNING: %d clip group piece(s) could not be read, so that audio is\n"
            "      missing on:",
            c.clip_group_skipped);
        const char* separator = "";
        for (const auto& [track, pieces] : c.clip_group_problem_tracks) {
            text += separator;
            text += format_text(" %s %s", ("\"" + track + "\"").c_str(),
                                format_text("(%d piece(s))", pieces).c_str());
            separator = ",";
        }
        text += "\n      Please send the session in.\n";
    }
    clip_list_loss_paragraphs(text);
    refused_placement_paragraph(text, in);
    lost_container_paragraphs(text, in);
    text += in.clip_rate_rows;
    text += in.playlist_lines.matched;                       // 192, 193
    text += one_channel_output_rows(in.one_channel_tracks);  // 194
    if (writer_summary.surround_pan_strips != 0)             // row 195
        text += format_text(
            "  %d surround/multichannel strip(s) carry PAN automation that is NOT\n"
            "      carried: their panner is written from its stored position only.\n"
            "      Please send the session to whoever gave you lanwick (its\n"
            "      maintainers) so that this panner's automation can be read.\n",
            writer_summary.surround_pan_strips);
    if (!in.odd_strips.empty())
        text += format_text(
                    "  WARNING: %d mixer strip(s) are neither mono nor stereo and were\n"
                    "      written as ordinary tracks; check their panning by hand:\n",
                    static_cast<int>(in.odd_strips.size())) +
                name_rows(in.odd_strips);
    if (item_writer.lanes_written != 0)
        text += format_text("  %d written as REAPER fixed lanes\n", item_writer.lanes_written);
}

// Covered clips, fades left out and deleted placements (rows 209 to 216).
void covered_clip_paragraphs(std::string& text, const ConsoleSummaryInput& in) {
    const ClipStageCounts& c = clip_counts;
    if (c.trimmed_heads != 0)
        text +=
            format_text("  %d clip head(s) start later, under the clip Pro Tools draws over them\n",
                        c.trimmed_heads);
    if (c.muted_covered != 0)
        text += format_text("  %d clip(s) muted, covered end to end by the clip drawn over them\n",
                            c.muted_covered);
    if (c.silenced_tails != 0)
        text += format_text(
            "  %d clip tail(s) silenced under a MUTED covering clip\n"
            "    (Pro Tools renders silence there; the mute does not reveal the tail)\n",
            c.silenced_tails);
    if (c.fade_clips != 0)
        text += format_text("  %d fade references dropped as clips\n", c.fade_clips);
    if (c.fade_clips_kept != 0)
        text += format_text("  %d fade reference(s) kept as items (--keep-fade-clips)\n",
                            c.fade_clips_kept);
    if (c.unmatched_fades != 0)
        text += format_text("  %d fades sat on no kept clip edge\n", c.unmatched_fades);
    if (c.bad_fades != 0) text += format_text("  %d fade records not understood\n", c.bad_fades);
    if (c.s_curve_fades != 0)
        text +=
            format_text("  %d S-curve fade(s) written as REAPER's S shape (5)\n", c.s_curve_fades);
    // Stacked placements under the clip that plays: with --recover-deleted they are written,
    // muted, on "[alt takes]" tracks; otherwise they are named as left out.
    if (c.alternate_clips != 0 && in.recover_deleted)
        text += format_text(
            "  %d deleted clip placement(s) RECOVERED: written as MUTED \"[alt takes]\"\n"
            "      track(s) beside the track they were stacked on.\n",
            c.alternate_clips);
    else if (c.alternate_clips != 0)
        text += format_text(
            "  %d deleted clip placement(s) are still in this session: edits or takes\n"
            "      Pro Tools no longer plays. They are left out of the project;\n"
            "      --recover-deleted would keep them.\n",
            c.alternate_clips);
}

// Unlinked multi-mono instances (row 219).
void multi_mono_paragraph(std::string& text, const ConsoleSummaryInput& in) {
    if (!in.multi_mono.empty())
        text += format_text(
                    "  WARNING: %d unlinked MULTI-MONO instance(s). Pro Tools stores a\n"
                    "      separate instance for each channel of an unlinked multi-mono\n"
                    "      plug-in, each with settings of its own; REAPER has no unlinked\n"
                    "      multi-mono mode, so the channels cannot keep their own settings.\n"
                    "      Check these by hand:\n",
                    static_cast<int>(in.multi_mono.size())) +
                name_rows(in.multi_mono);
}

std::vector<std::string> midi_region_rows(const std::vector<MidiRegionName>& regions) {
    std::vector<std::string> rows;
    for (const MidiRegionName& r : regions) rows.push_back(r.track + ": " + r.clip);
    return rows;
}

// MIDI clips and MIDI data left out or mended.
void midi_loss_paragraphs(std::string& text) {
    const MidiStageCounts& c = midi_counts;
    if (!c.empty_regions.empty())
        text += format_text(
                    "  %d MIDI clip(s) hold no notes and no controller data; no item was\n"
                    "      written for them:\n",
                    static_cast<int>(c.empty_regions.size())) +
                name_rows(midi_region_rows(c.empty_regions));
    if (!c.capped_regions.empty())
        text += format_text(
                    "  WARNING: %d MIDI clip(s) lost their %d controller and SysEx event(s):\n"
                    "      the project reached this build's limit of such events:\n",
                    static_cast<int>(c.capped_regions.size()), c.events_over_cap) +
                name_rows(midi_region_rows(c.capped_regions));
    if (c.events_before_chunk != 0)
        text += format_text(
            "  %d MIDI controller event(s) stored before their clip's data begins were\n"
            "      placed at the clip start.\n",
            c.events_before_chunk);
    if (midi_writer.clamped_data != 0)
        text += format_text(
            "  %d MIDI data byte(s) above 127, from damaged events, were written as 127.\n",
            midi_writer.clamped_data);
    if (midi_writer.empty_items != 0)
        text +=
            format_text("  %d MIDI clip(s) of no length were left out.\n", midi_writer.empty_items);
}

// Placements the walk could not place, clips no item could carry (their values cannot place one)
// and clips whose file the session's audio-file list does not hold.
void unplaced_clip_paragraphs(std::string& text, const ConsoleSummaryInput& in) {
    if (!in.unplaced.empty()) {
        text += format_text(
            "  WARNING: %d clip placement(s) name a region or track this session does\n"
            "      not hold (a damaged session?) and could not be placed:\n",
            static_cast<int>(in.unplaced.size()));
        std::vector<std::string> rows;
        for (const UnplacedPlacement& lost : in.unplaced) {
            const std::string track = lost.track_name.empty()
                                          ? format_text("track %u", lost.track_number)
                                          : "\"" + lost.track_name + "\"";
            rows.push_back(format_text("%sregion %u on %s", lost.midi ? "MIDI " : "",
                                       lost.region_number, track.c_str()));
        }
        text += name_rows(rows);
    }
    if (!item_writer.bad_length.empty())
        text += format_text(
                    "  WARNING: %d clip(s) have no usable length (zero, negative, longer\n"
                    "      than a day or unreadable) and were left out:\n",
                    static_cast<int>(item_writer.bad_length.size())) +
                clip_rows(item_writer.bad_length);
    if (!item_writer.past_a_day.empty())
        text += format_text(
                    "  WARNING: %d clip(s) start more than 24 hours in, past the end of any\n"
                    "      Pro Tools session, and were left out as misread placements:\n",
                    static_cast<int>(item_writer.past_a_day.size())) +
                clip_rows(item_writer.past_a_day);
    if (!item_writer.no_source.empty())
        text += format_text(
                    "  WARNING: %d clip(s) name no audio file the session lists (or have no\n"
                    "      audio file at all) and were left out:\n",
                    static_cast<int>(item_writer.no_source.size())) +
                clip_rows(item_writer.no_source);
    if (!clip_counts.outside_playlist.empty())
        text += format_text(
                    "  WARNING: %d clip(s) lie outside their track's playlist (the session's clip\n"
                    "      list for the track does not hold them) and were left out:\n",
                    static_cast<int>(clip_counts.outside_playlist.size())) +
                clip_rows(clip_counts.outside_playlist);
    // The clip balance: a difference either way is a fault of this build.
    if (in.clips_unaccounted > 0)
        text += format_text(
            "  WARNING: %d clip(s) read from the session are neither written nor named\n"
            "      above. That is a fault of this build: please send the session in.\n",
            in.clips_unaccounted);
    if (in.clips_unaccounted < 0)
        text += format_text(
            "  WARNING: %d clip(s) more were written or named than read from the session.\n"
            "      That is a fault of this build: please send the session in.\n",
            -in.clips_unaccounted);
    if (!item_writer.unlisted_sources.empty())
        text += format_text(
                    "  WARNING: %d clip(s) play an audio file the session's file list does\n"
                    "      not name; their items look for it in the media folder:\n",
                    static_cast<int>(item_writer.unlisted_sources.size())) +
                clip_rows(item_writer.unlisted_sources);
}

// Names the project text received that were not UTF-8, as the project holds them, and the tracks
// whose comments were not.
void repaired_name_paragraph(std::string& text) {
    const auto quoted = [](const std::set<std::string>& names) {
        std::vector<std::string> rows;
        for (const std::string& name : names) {
            // Built in place: "\"" + text + "\"" draws a false -Wrestrict from g++ 12 at -O2.
            std::string row = "\"";
            row += repair_utf8(name);
            row += '"';
            rows.push_back(std::move(row));
        }
        return rows;
    };
    if (!utf8_repairs.names.empty()) {
        const std::vector<std::string> rows = quoted(utf8_repairs.names);
        text += format_text(
                    "  %d name(s) were not valid UTF-8 (damaged bytes, or a path in another\n"
                    "      encoding): each bad byte sequence is written as U+FFFD, the "
                    "replacement\n"
                    "      character:\n",
                    static_cast<int>(rows.size())) +
                name_rows(rows);
    }
    if (!utf8_repairs.comments.empty()) {
        const std::vector<std::string> rows = quoted(utf8_repairs.comments);
        text += format_text(
                    "  %d track comment(s) were not valid UTF-8 (damaged bytes): each bad byte\n"
                    "      sequence is written as U+FFFD, the replacement character; the tracks:\n",
                    static_cast<int>(rows.size())) +
                name_rows(rows);
    }
}

}  // namespace

std::string quoted_name_list(std::span<const std::string> names, std::size_t shown) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i == shown) return out + ", ...";
        out += i == 0 ? " \"" : ", \"";
        out += names[i];
        out += "\"";
    }
    return out;
}

std::string name_rows(std::span<const std::string> rows) {
    std::string out;
    for (std::size_t i = 0; i < rows.size() && i < kRowsShown; ++i) out += wrapped_row(rows[i], 6);
    if (rows.size() > kRowsShown)
        out += format_text("      ... and %d more\n", static_cast<int>(rows.size() - kRowsShown));
    return out;
}

std::string console_summary_text(const ConsoleSummaryInput& in) {
    std::string text;
    const long long rate = static_cast<long long>(in.sample_rate);
    if (!in.header.version.empty()) {
        text += format_text("\n  Read:  %s %s, %lld Hz, %g BPM\n", in.header.product.c_str(),
                            in.header.version.c_str(), rate, in.tempo);
    } else {
        text += format_text(
            "\n  Read:  Pro Tools (this session does not record which version saved it),\n"
            "      %lld Hz, %g BPM\n",
            rate, in.tempo);
    }
    if (in.check) {
        text += "  Not written (--check).\n";
    } else {
        text += "  Wrote: " + in.written_path + "\n";
    }
    version_note(text, in.header);
    text += format_text("  %d tracks, %d clips, %d MIDI notes\n", in.tracks_written,
                        static_cast<int>(item_writer.items_written), in.midi_notes_written);

    // The paragraphs, in the one order of the summary's table; each call prints its rows.
    mix_paragraphs(text, in);                                         // 1-11
    text += no_output_rows();                                         // 12
    click_and_send_paragraphs(text);                                  // 13-16
    text += send_wiring_rows();                                       // 17, 19-22
    plugin_state_paragraphs(text);                                    // 23-26
    text += key_input_rows();                                         // 27, 28
    keyed_track_paragraphs(text);                                     // 29, 30
    sidechain_option_rows(text, in);                                  // 31
    text += unresolved_key_rows();                                    // 32, 33
    automation_paragraphs(text);                                      // 34-36
    midi_clip_paragraphs(text, in);                                   // 37-44
    dual_pan_row(text);                                               // 45
    text += fx_param_envelope_paragraphs();                           // 46-52
    automation_mode_paragraphs(text);                                 // 53, 54
    text += tempo_map_summary(tempo_marker_counts, in.tempo_ramps);   // 55
    clip_paragraphs(text, in);                                        // 56-68
    stand_in_option_row(text);                                        // 69
    text += fx_no_standins_paragraph();                               // 70
    one_sided_trim_row(text);                                         // 71
    colour_option_and_meter_paragraphs(text, in);                     // 72-81
    text += marker_summary(tempo_marker_counts);                      // 82-87
    track_coding_paragraph(text, in);                                 // 88
    clip_coding_paragraphs(text);                                     // 91, 92
    text += uncoded_clip_rows();                                      // 93, 94
    text += instrument_colour_row(in.no_track_colors);                // 95
    text += track_coding_rows(track_stage, in.no_track_colors);       // 96-98
    pan_law_and_clip_colour_paragraphs(text, in);                     // 99-107
    gain_count_row(text);                                             // 108
    text += group_rows(track_stage);                                  // 109-116
    view_paragraphs(text);                                            // 117-121
    text += midi_track_rows(track_stage);                             // 122, 123
    automation_off_paragraph(text);                                   // 124
    text += track_mode_rows(track_stage);                             // 125, 126
    text += in.playlist_lines.own_tracks;                             // 127
    text += track_comment_rows(track_stage, settings.comments_mode);  // 128
    text += trim_cancel_row(in.trims);                                // 129
    text += fx_trim_paragraph();                                      // 130
    surround_fold_row(text, in);                                      // 131
    soloed_muted_paragraph(text);                                     // 132
    soloed_muted_automated_row(text);                                 // 133
    text += folder_rows();                                            // 134-143
    text += group_attribute_rows(track_stage);                        // 144
    text += fx_one_sided_polarity_paragraph();                        // 145
    text += trim_mixed_polarity_row(in.trims);                        // 146
    text += in.clip_take_lines;                                       // 147
    text += clip_effects_paragraph();                                 // 148
    text += clip_effects_losses_paragraph();                          // 149
    melodyne_merge_paragraph(text);                                   // 150
    text += track_position_rows(track_stage);                         // 153, 154
    melodyne_left_paragraph(text);                                    // 155
    text += standin_paragraphs();                                     // 156-158
    project_paragraphs(text);                                         // 159-163
    text += clap_build_rows();                                        // 164, 165
    text += surround_bus_rows();                                      // 166
    reasurroundpan_source_rows(text);                                 // 167, 168
    text += reasurroundpan_paragraph();                               // 169
    surround_lane_paragraph(text);                                    // 170
    text += unplaceable_surround_rows();                              // 171
    text += trim_switched_off_row(in.trims);                          // 172
    melodyne_carried_paragraph(text, in.session_folder);              // 173
    text += trim_no_phase_switch_row();                               // 174
    lock_grid_paragraphs(text);                                       // 175-178
    video_track_paragraphs(text);                                     // 179
    text += group_warning_rows(track_stage);                          // 180-182
    text += hardware_insert_rows(track_stage);                        // 183
    clip_stage_paragraphs(text, in);                                  // 184-197
    text += track_order_rows(track_stage, special_tracks.bus_names);  // 198-201
    text += in.playlist_lines.unmatched;                              // 202
    frozen_track_paragraphs(text);                                    // 203-205
    // Our own: no freeze render is read, so the option cannot keep a track frozen.
    if (in.keep_frozen)
        text += "  --keep-frozen: no freeze render is read, so frozen tracks arrive unfrozen\n";
    text += inactive_track_rows(track_stage);          // 206-208
    covered_clip_paragraphs(text, in);                 // 209-216
    text += in.playlist_lines.lanes;                   // 217
    text += fx_plugin_paragraph(in.plugin_instances);  // 218
    multi_mono_paragraph(text, in);                    // 219
    // Our own: MIDI and clips left out, each at a fixed place after the table's rows.
    midi_loss_paragraphs(text);
    unplaced_clip_paragraphs(text, in);
    repaired_name_paragraph(text);
    // Names from the session are in it: made safe once, here, for every paragraph.
    return console_text(text);
}

void print_console_summary(const ConsoleSummaryInput& in) {
    say("%s", console_summary_text(in).c_str());
}

bool long_clip(std::int64_t length, std::int64_t library_rate) {
    const double rate = library_rate > 0 ? static_cast<double>(library_rate) : 48000.0;
    return static_cast<double>(length) / rate > kLongClipSeconds;
}

std::string closing_block_text(const ClosingBlockInput& in) {
    std::string text;
    const double rate = in.library_rate > 0 ? static_cast<double>(in.library_rate) : 48000.0;
    int long_clips = 0;
    std::int64_t longest = 0;
    for (std::int64_t length : in.placement_lengths) {
        if (long_clip(length, in.library_rate)) ++long_clips;
        longest = std::max(longest, length);
    }
    if (long_clips != 0)
        text += format_text(
            "  note: %d clip(s) over 10 minutes (longest %.1f min, from a %.1f min\n"
            "        source). REAPER builds peaks for the whole file on first open --\n"
            "        it may sit on its loading message for a while; that is not a hang.\n",
            long_clips, static_cast<double>(longest) / rate / 60.0,
            static_cast<double>(in.longest_file) / rate / 60.0);
    if (in.bit_depth > 0)
        text += format_text(
            "  The session records at %d-bit%s. Existing audio is unaffected\n"
            "      (REAPER plays every file at its own depth); the depth only\n"
            "      matters for what you record next.\n",
            in.bit_depth, in.bit_float ? " float" : "");
    text += "  Media folder written into ";
    text += in.clips_in_sibling_folders ? "every other " : "every ";
    text += "FILE line:\n      " + in.audio_folder +
            "\n"
            "  If REAPER shows OFFLINE, that path is wrong - re-run with\n"
            "      --audio-dir \"<the folder the .wav files are really in>\"\n";
    if (in.usage_shared) {
        text +=
            "\n  PRIVACY: this program contains no network code. It wrote an\n"
            "      anonymous summary of this conversion -- counts, and which\n"
            "      plug-ins converted how -- that the app which ran lanwick sends\n"
            "      because usage summaries are on in its settings. It holds no\n"
            "      track, clip or file names, no paths and no audio. A report\n"
            "      reaches no one unless you send it yourself.\n";
    } else {
        text +=
            "\n  PRIVACY: this program contains no network code. No information\n"
            "      about this session was transmitted: no upload, no telemetry, no\n"
            "      usage reporting. A report reaches no one unless you send it\n"
            "      yourself.\n";
    }
    return text;
}

void print_closing_block(const ClosingBlockInput& in) {
    say("%s", closing_block_text(in).c_str());
}

void print_check_end(bool report_written) {
    if (report_written)
        say("\n  --check: nothing but the report was written. The lines above are\n"
            "      what a real conversion of this session would produce.\n");
    else
        say("\n  --check: nothing was written. The lines above are what a real\n"
            "      conversion of this session would produce.\n");
}
