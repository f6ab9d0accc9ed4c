#include "convert/summary/track_stage_summary.h"

#include <algorithm>
#include <set>
#include <vector>

#include "app/output.h"
#include "convert/summary/console_summary.h"

namespace {

std::string quoted_rows(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += "        \"" + name + "\"\n";
    return text;
}

std::string member_name(const TrackStageState& state, std::uint32_t member) {
    return member < state.strips.size() ? state.strips[member] : "<out of range>";
}

}  // namespace

std::string track_coding_rows(const TrackStageState& state, bool no_track_colors) {
    const ColourCoding& c = state.coding;
    std::string text;
    if (!no_track_colors && c.midi_without_channel != 0)
        text += format_text(
            "  %d MIDI/instrument track(s) have no MIDI output assigned. Pro Tools\n"
            "      colors them by a channel or device they do not have, so they keep\n"
            "      REAPER's default color.\n",
            c.midi_without_channel);
    if (!no_track_colors && c.video_not_coloured != 0)
        text +=
            "  Pro Tools shows the video track in palette 27 under this scheme, on\n"
            "      a row REAPER has no video track for; it is not colored.\n";
    if (c.groups_without_slot != 0)
        text += format_text(
            "  %d group(s) had no readable slot number, so their tracks\n"
            "      keep REAPER's default rather than take a color picked\n"
            "      from a guess at which slot the group occupies.\n",
            c.groups_without_slot);
    return text;
}

std::string track_position_rows(const TrackStageState& state) {
    const ColourCoding& c = state.coding;
    std::string text;
    if (c.position_for_want_of_row != 0)
        text += format_text(
            "  %d track(s) had no stored display row, so their position in the\n"
            "      color sequence was taken from track order. That is right unless\n"
            "      a track above them shows its playlist lanes, which count as rows.\n",
            c.position_for_want_of_row);
    if (c.past_26 != 0)
        text += format_text(
            "  %d track(s) sit past position 26. Their color follows the 16-row\n"
            "      cycle measured on clip colors that far down; the track colors\n"
            "      themselves are not yet checked there against Pro Tools.\n",
            c.past_26);
    return text;
}

std::string group_rows(const TrackStageState& state) {
    const TrackGroups& g = state.groups;
    std::string text;
    // The Edit groups are named on a row of their own, below.
    std::vector<const SessionGroup*> mix_groups;
    for (const SessionGroup& group : g.kept)
        if (!g.edit_groups.contains(group.name)) mix_groups.push_back(&group);
    if (!mix_groups.empty()) {
        text += format_text("  %d mix/VCA group(s) decoded from the session:\n",
                            static_cast<int>(mix_groups.size()));
        for (const SessionGroup* listed : mix_groups) {
            const SessionGroup& group = *listed;
            text += "      \"" + group.name + "\"";
            if (group.extra_index >= 0)
                text +=
                    "  [VCA: " + member_name(state, static_cast<std::uint32_t>(group.extra_index)) +
                    "]";
            text += "  ->  ";
            for (std::size_t i = 0; i < group.members.size(); ++i)
                text += (i ? ", " : "") + member_name(state, group.members[i]);
            text += "\n";
        }
        if (g.written != 0)
            text += format_text(
                "      %d written as REAPER fader-link group(s).\n"
                "      Members move together in volume, mute and solo as the\n"
                "      group's attributes say; REAPER's group manager shows them.\n"
                "      Pro Tools' group ON/OFF state is not carried: each group\n"
                "      arrives linked.\n",
                g.written);
        if (g.vca_written != 0) {
            text += format_text(
                "      %d VCA group(s) written as REAPER VCA links. The master is\n"
                "      an empty track that carries no audio; its fader moves the\n"
                "      members' levels:\n",
                g.vca_written);
            for (const auto& [master, level] : g.vca_levels)
                text +=
                    "        VCA master \"" + master + "\"" + format_text(" at %+.1f dB\n", level);
        }
        if (!g.vca_master_not_strip.empty())
            text += format_text(
                        "      WARNING: %d VCA group(s) name a master this decoder could\n"
                        "      not find among the VCA strips; they are not linked:\n",
                        static_cast<int>(g.vca_master_not_strip.size())) +
                    quoted_rows(g.vca_master_not_strip);
        if (g.past_32 != 0)
            text += format_text(
                "      WARNING: %d group(s) past the first 32 were not written (REAPER\n"
                "      takes 64; groups 33 and up are not written yet).\n",
                g.past_32);
    }
    if (g.out_of_range_members != 0)
        text += format_text(
            "  WARNING: %d group member(s) point past the session's track list and\n"
            "      link nothing.\n",
            g.out_of_range_members);
    if (g.once_only_count != 0)
        text += format_text(
                    "  WARNING: %d group record(s) ignored -- they appeared only once,\n"
                    "      where a live group is stored in both the Mix and the Edit list:\n",
                    g.once_only_count) +
                quoted_rows(g.once_only);
    if (!g.master_fader_groups.empty())
        text += format_text("  WARNING: %d group(s) include the MASTER FADER as a member:\n",
                            static_cast<int>(g.master_fader_groups.size())) +
                quoted_rows(g.master_fader_groups) +
                "      REAPER's master track cannot join a group, so the master\n"
                "      fader was left out of them. Its level is not linked to\n"
                "      the other members; move it by hand where the group\n"
                "      moved it in Pro Tools.\n";
    if (state.master_faders > 1)
        text += format_text(
            "  WARNING: this session has %d MASTER FADERS. REAPER has exactly\n"
            "      one master track. The first master fader's level and\n"
            "      automation are written on it; the others are not written.\n"
            "      Tracks routed to the other masters' outputs play through\n"
            "      REAPER's one master. Where those masters set different\n"
            "      levels, set them by hand on the tracks they fed. Please\n"
            "      check the mix against Pro Tools.\n",
            state.master_faders);
    return text;
}

std::string midi_track_rows(const TrackStageState& state) {
    std::string text;
    if (state.properties.count != 0)
        text += format_text("  WARNING: %d MIDI/instrument track(s) carry REAL-TIME PROPERTIES:",
                            state.properties.count) +
                state.properties.text +
                "\n      Pro Tools applies these on playback, not to the stored notes.\n"
                "      Which of them are applied here is said below.\n";
    if (state.instrument_routes.count != 0)
        text += format_text("  WARNING: %d MIDI track(s) play an instrument on another track:",
                            state.instrument_routes.count) +
                state.instrument_routes.text +
                "\n      Not carried yet. In REAPER those notes stay on the MIDI track,\n"
                "      which has no instrument, so they are silent. To hear them, add a\n"
                "      send from the MIDI track to the instrument's track in REAPER,\n"
                "      MIDI only (Audio: None).\n";
    return text;
}

std::string track_mode_rows(const TrackStageState& state) {
    std::string text;
    if (state.automation_modes.count != 0)
        text +=
            format_text("  %d track(s) use an automation mode other than Read and arrive in it:",
                        state.automation_modes.count) +
            state.automation_modes.text +
            "\n      (Touch/Latch has no REAPER equivalent and lands on Latch.)\n";
    if (state.programs.count != 0)
        text += format_text(
                    "  %d track(s) have a PATCH selected and send it as a program change\n"
                    "      at the start of each clip:",
                    state.programs.count) +
                state.programs.text + "\n";
    return text;
}

std::string track_comment_rows(const TrackStageState& state, CommentsMode comments_mode) {
    std::string text;
    if (!state.comments.empty()) {
        std::vector<std::string> names;
        for (const TrackComment& c : state.comments) names.push_back(c.track_name);
        text += format_text("  %d track(s) carry a COMMENT in Pro Tools:",
                            static_cast<int>(state.comments.size())) +
                quoted_name_list(names) + "\n";
        if (comments_mode == CommentsMode::item)
            text +=
                "      Each arrives as the notes of a small empty item at the start of\n"
                "      its track.\n";
        else if (comments_mode == CommentsMode::none)
            text += "      NOT WRITTEN (--comments none).\n";
        else
            text +=
                "      Each is a line of the project notes window (File > Project\n"
                "      settings > Notes).\n";
    }
    return text;
}

std::string group_warning_rows(const TrackStageState& state) {
    const TrackGroups& g = state.groups;
    std::string text;
    if (g.membership_off)
        text += format_text(
            "  WARNING: group membership NOT written. Pro Tools says this session\n"
            "      holds %d tracks, but %d were decoded from its track list, so the\n"
            "      group member positions cannot be trusted to name the right\n"
            "      tracks. The groups are listed above; no track is linked.\n"
            "      Rebuild the groups in REAPER, and please send the session\n"
            "      in.\n",
            g.membership_bound, g.strip_count);
    if (!g.edit_groups.empty())
        text += format_text("  %d group(s) are EDIT groups and were deliberately not linked:\n",
                            static_cast<int>(g.edit_groups.size())) +
                quoted_rows(g.edit_groups) +
                "      An Edit group links selection and editing, which REAPER\n"
                "      does not tie to fader groups. Linking them would move\n"
                "      faders Pro Tools leaves alone. Select the tracks together\n"
                "      in REAPER to edit them as one.\n";
    if (!g.unknown_type_groups.empty())
        text += format_text(
                    "  WARNING: %d group(s) have a type this decoder has not seen and\n"
                    "      were not linked:\n",
                    static_cast<int>(g.unknown_type_groups.size())) +
                quoted_rows(g.unknown_type_groups) +
                "      They are neither Mix nor Edit groups as far as this\n"
                "      build can tell. Rather than guess what they link, they\n"
                "      are left unlinked. Please send the session in so the\n"
                "      type can be learned.\n";
    return text;
}

std::string group_attribute_rows(const TrackStageState& state) {
    const TrackGroups& g = state.groups;
    std::string text;
    if (!g.unsupported_attributes.empty()) {
        text += format_text(
            "  %d group(s) link controls beyond volume, mute and solo that are not\n"
            "      carried:\n",
            static_cast<int>(g.unsupported_attributes.size()));
        for (const auto& [name, numbers] : g.unsupported_attributes)
            text += "      " + name + " attributes (" + cut_at_character(numbers, 15) + ")\n";
    }
    return text;
}

std::string hardware_insert_rows(const TrackStageState& state) {
    std::string text;
    if (!state.hardware_inserts.empty()) {
        text += format_text(
            "  %d hardware I/O insert(s) found. These route through a physical\n"
            "      interface path on your rig, so no converter can carry them:\n",
            static_cast<int>(state.hardware_inserts.size()));
        for (const auto& [insert, track] : state.hardware_inserts)
            text += format_text("        %-24s %s\n", track.c_str(), insert.c_str());
        text +=
            "      Whatever outboard sat on those inserts is NOT in the .rpp.\n"
            "      If it mattered to the sound, print those tracks before converting.\n";
    }
    return text;
}

std::string track_order_rows(const TrackStageState& state, std::span<const std::string> bus_names) {
    std::string text;
    if (state.written_empty != 0)
        text +=
            format_text("  %d track(s) had no clips and were written empty, mixer state intact\n",
                        state.written_empty);
    std::vector<std::string> left_out, as_bus;
    for (const std::string& name : state.clicks_left_out)
        (std::find(bus_names.begin(), bus_names.end(), name) != bus_names.end() ? as_bus : left_out)
            .push_back(name);
    if (!left_out.empty())
        text += format_text("  %d Click track(s) left out (--no-click):",
                            static_cast<int>(left_out.size())) +
                quoted_name_list(left_out) + "\n";
    for (const std::string& name : as_bus)
        text += "  \"" + name +
                "\" is a Click track, but other tracks send to it, so --no-click\n"
                "      keeps it: it is written as a bus track that takes those sends, with\n"
                "      its own fader, plug-ins and automation.\n";
    const auto list = [&](const std::vector<std::string>& names, const char* what) {
        if (!names.empty())
            text += format_text("  %d %s", static_cast<int>(names.size()), what) +
                    quoted_name_list(names) + "\n";
    };
    list(state.hidden_left_out, "hidden track(s) left out (--skip-hidden-tracks):");
    list(state.inactive_left_out, "inactive track(s) left out (--skip-inactive-tracks):");
    list(state.kept_for_needs,
         "hidden or inactive track(s) KEPT, because a written track needs them:");
    for (const std::string& name : state.click_with_more)
        text += "  \"" + name +
                "\" holds a Click II but also something else (inserts, sends, clips or\n"
                "      other tracks by its name), so --no-click leaves it in, whole.\n";
    if (!state.vca_masters_unlinked.empty())
        text += format_text(
                    "  %d VCA master(s) linked no member and get no track; their level is\n"
                    "      not carried:",
                    static_cast<int>(state.vca_masters_unlinked.size())) +
                quoted_name_list(state.vca_masters_unlinked) + "\n";
    return text;
}

std::string inactive_track_rows(const TrackStageState& state) {
    std::string text;
    if (state.inactive_marked != 0)
        text += format_text(
            "  %d track(s) were INACTIVE in Pro Tools and are written MUTED --\n"
            "      silent, as they were, with clips and plug-ins intact. Unmute\n"
            "      in REAPER to bring one back.\n",
            state.inactive_marked);
    if (state.voice_off_marked != 0)
        text += format_text(
            "  %d track(s) had VOICE set to OFF in Pro Tools and are\n"
            "      written MUTED -- silent, as they were, with clips and\n"
            "      plug-ins intact. REAPER has no voice limit, so unmute\n"
            "      to bring one back.\n",
            state.voice_off_marked);
    if (state.names_assigned == 0 && state.named_blocks != 0)
        text +=
            "  WARNING: this session holds a track type this build does not\n"
            "      recognise, so the track names could not be bound to the mix\n"
            "      window's rows; the original track names were kept.\n";
    return text;
}
