#include "convert/summary/special_track_rows.h"

#include <set>

#include "app/output.h"
#include "convert/summary/console_summary.h"
#include "convert/writer/ara_transfer.h"
#include "convert/writer/special_tracks.h"
#include "convert/writer/video_tracks.h"

namespace {

// The ARA plug-in the clips without a take have attached: its name when they all name the same
// one, else "an ARA plug-in".
std::string ara_plugin_left(const AraTransfer& t) {
    std::set<std::string> names;
    for (const std::int32_t record : t.records_without_take)
        names.insert(record >= 0 && static_cast<std::size_t>(record) < t.record_plugins.size()
                         ? t.record_plugins[static_cast<std::size_t>(record)]
                         : std::string());
    return names.size() == 1 && !names.begin()->empty() ? *names.begin() : "an ARA plug-in";
}

}  // namespace

void melodyne_merge_paragraph(std::string& text) {
    const AraTransfer& t = ara_transfer;
    const std::vector<std::string> messages = ara_merge_messages();
    if (!messages.empty()) {
        const std::string cause = !t.error.empty() ? t.error
                                                   : format_text("%d source(s) left out",
                                                                 static_cast<int>(messages.size()));
        text += format_text(
            "  The Melodyne (ARA) data could not be merged (%s): those clips arrive\n"
            "      with Melodyne on the item but without their edits.\n",
            cause.c_str());
        for (const std::string& m : messages) text += "      Melodyne: " + m + "\n";
    }
}

void melodyne_left_paragraph(std::string& text) {
    const AraTransfer& t = ara_transfer;
    if (t.clips_without_take != 0) {
        text += format_text(
            "  %d clip(s) have %s (ARA) attached. What was edited there is NOT\n"
            "      carried: the clips arrive as plain audio.\n",
            t.clips_without_take, ara_plugin_left(t).c_str());
        text += name_rows(t.notes);
        if (t.records_on_no_clip != 0)
            text += format_text(
                "      (%d edit set(s) the session declares were not found on a clip.)\n",
                t.records_on_no_clip);
    }
}

void melodyne_carried_paragraph(std::string& text, const std::string& session_folder) {
    const AraTransfer& t = ara_transfer;
    if (t.takes_written != 0 && t.blocks_written != 0)
        text += format_text(
            "  %d clip(s) carry their Melodyne (ARA) edits into REAPER: Melodyne sits on\n"
            "      each item as take FX, and Pro Tools' Melodyne data (the session's\n"
            "      \"ARA Data\" folder, \"%sARA Data\") is written into the project so\n"
            "      that REAPER's Melodyne opens with the same notes. Melodyne must be\n"
            "      installed and authorized for REAPER.\n",
            t.takes_written, session_folder.c_str());
}

void melodyne_paragraphs(std::string& text, const std::string& session_folder) {
    melodyne_merge_paragraph(text);
    melodyne_left_paragraph(text);
    melodyne_carried_paragraph(text, session_folder);
}

void frozen_track_paragraphs(std::string& text) {
    const SpecialTrackSummary& s = special_tracks;
    text += freeze_records_row(s);
    if (s.frozen_delivered != 0)
        text += format_text(
            "  %d frozen track(s) delivered FROZEN (--keep-frozen): Pro Tools' own\n"
            "      freeze render plays, locked, so it sounds as it did even where a\n"
            "      plug-in cannot load. Track > Unfreeze in REAPER brings back the\n"
            "      source clips with the plug-ins live.\n",
            s.frozen_delivered);
    if (!s.frozen_unfrozen.empty()) {
        text += format_text("  %d frozen track(s) converted UNFROZEN even with --keep-frozen:\n",
                            static_cast<int>(s.frozen_unfrozen.size()));
        for (const auto& [track, reason] : s.frozen_unfrozen)
            text += "      " + track + ": " + reason + "\n";
    }
}

void video_track_paragraphs(std::string& text) {
    const VideoTrackSummary& v = video_tracks;
    if (v.tracks == 0) return;
    text += format_text(
        "  %d video track(s), %d video item(s) written. REAPER carries video on\n"
        "      ordinary tracks; each item's length and offset come from the\n"
        "      session's video clip entries.\n",
        v.tracks, v.items);
    if (const char* quality = video_quality_word(v.quality))
        text += format_text(
            "      The video track was set to %s, not Full Quality. REAPER's\n"
            "      video window plays at full quality.\n",
            quality);
    if (v.files_missing != 0)
        text += format_text(
            "      %d video file(s) were not found next to the session, so the\n"
            "      items name the bare file: point REAPER at the file to play it.\n",
            v.files_missing);
    if (v.rate_from_session)
        text += format_text(
            "      Frame rate %.3f fps, read from the session rather than assumed:\n"
            "      video positions stored in frames were divided by it.\n",
            v.frame_rate);
    if (v.items_colored != 0)
        text += format_text("      %d video clip(s) carried a clip color.\n", v.items_colored);
    if (v.files_unrecognised != 0)
        text += format_text(
            "      %d video track(s) hold a file this build does not recognize as\n"
            "      video: those tracks are written empty. Put the file on the track\n"
            "      in REAPER by hand.\n",
            v.files_unrecognised);
    // Our own: placements no item could be written for.
    if (v.items_without_length != 0)
        text += format_text(
            "      WARNING: %d video placement(s) have no clip entry that gives their\n"
            "      length, so NO item was written for them: place that video by hand.\n",
            v.items_without_length);
    if (v.placements_on_no_track != 0)
        text += format_text(
            "      WARNING: %d video placement(s) sit in a list that names none of the\n"
            "      session's video tracks, so NO item was written for them.\n",
            v.placements_on_no_track);
}
