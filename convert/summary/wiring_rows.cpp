#include "convert/summary/wiring_rows.h"

#include "app/output.h"
#include "convert/summary/console_summary.h"
#include "convert/tracks/track_wiring_state.h"
#include "convert/writer/writer_summary.h"

namespace {

// The NO OUTPUT list shows this many names, then ", ...".
constexpr std::size_t kNoOutputNamesShown = 12;

}  // namespace

std::string no_output_rows() {
    const std::vector<std::string>& names = track_wiring.no_output_tracks;
    if (names.empty()) return {};
    return format_text(
               "  %d track(s) have NO OUTPUT in Pro Tools, so they reach the mix only through\n"
               "      their sends (or not at all); REAPER's master send is off on them:",
               static_cast<int>(names.size())) +
           quoted_name_list(names, kNoOutputNamesShown) + "\n";
}

std::string send_wiring_rows() {
    const TrackWiringCounts& c = track_wiring.counts;
    std::string text;
    if (c.send_pan_lanes != 0)
        text += format_text(
            "  %d send pan automation lane(s) NOT carried: the send keeps its\n"
            "      static pan\n",
            c.send_pan_lanes);
    if (c.outputs_routed != 0)
        text += format_text("  %d track output(s) routed into the aux that takes their bus\n",
                            c.outputs_routed);
    if (c.bus_by_input_routes != 0)
        text += format_text("  %d of them routed bus -> aux by the aux's input\n",
                            c.bus_by_input_routes);
    if (c.mono_leg_matches != 0)
        text += format_text("  %d of those matched a mono leg to its stereo pair\n",
                            c.mono_leg_matches);
    if (c.split_leg_sends != 0)
        text += format_text(
            "  NOTE: %d send(s) target a stereo bus whose two legs are taken by\n"
            "    DIFFERENT aux tracks. Pro Tools feeds both, one leg each; this\n"
            "    converts to the first. Please send the session in.\n",
            c.split_leg_sends);
    return text;
}

std::string key_input_rows() {
    const TrackWiringCounts& c = track_wiring.counts;
    std::string text;
    if (c.first_keys != 0)
        text += format_text("  %d sidechain key inputs wired to channels 3/4\n", c.first_keys);
    if (c.further_keys != 0)
        text += format_text(
            "  %d more key input(s) wired to channels 5/6 and up, for a second\n"
            "      plug-in on the same track keyed off another source (v256)\n",
            c.further_keys);
    return text;
}

std::string unresolved_key_rows() {
    const TrackWiringCounts& c = track_wiring.counts;
    std::string text;
    if (c.unresolved_keys != 0)
        text += format_text("  %d sidechain key inputs could not be resolved\n", c.unresolved_keys);
    if (c.keyed_elsewhere != 0) {
        text += format_text(
            "  %d sidechained plug-in(s) key off a different source than the key\n"
            "      their track takes first; each hears its own key on further channels:\n",
            c.keyed_elsewhere);
        for (const auto& [track, count] : c.keyed_elsewhere_by_track)
            text += format_text("      %s %s (%d)\n", ("\"" + track + "\"").c_str(), "plug-in(s)",
                                count);
    }
    return text;
}

std::string folder_rows() {
    const TrackWiringState& w = track_wiring;
    const TrackWiringCounts& c = w.counts;
    std::string text;
    const int written = c.routing_folders + c.other_folders;
    if (written != 0)
        text += format_text(
            "  %d folder track(s): %d Routing folder(s) written as REAPER folders whose\n"
            "      members play through them, %d Basic folder(s) as folders that only\n"
            "      group their tracks.\n",
            written, c.routing_folders, c.other_folders);
    if (c.empty_folders != 0)
        text += format_text("      %d empty folder(s) arrive as plain tracks.\n", c.empty_folders);
    if (c.folders_moved_out != 0)
        text += format_text(
            "      %d Routing folder(s) arrive as plain tracks: nothing is routed into\n"
            "      them (every member plays to the main output, listed below).\n",
            c.folders_moved_out);
    if (c.folders_after_folder != 0)
        text += format_text(
            "      %d folder(s) sit inside another folder, nested the same way in REAPER\n"
            "      (read from the session's folder table, v206).\n",
            c.folders_after_folder);
    if (!c.moved_folder_rows.empty())
        text +=
            format_text(
                "      %d Basic folder(s) sat inside a Routing folder in Pro Tools, where their\n"
                "      tracks play through the Routing folder; they are written outside it:\n",
                static_cast<int>(c.moved_folder_rows.size())) +
            name_rows(c.moved_folder_rows);
    if (!c.moved_rows.empty())
        text += format_text(
                    "      %d track(s) sat inside a Routing folder in Pro Tools but play to the\n"
                    "      main output there, so they are written outside it:\n",
                    static_cast<int>(c.moved_rows.size())) +
                name_rows(c.moved_rows);
    if (!c.unmoved_rows.empty())
        text += format_text(
                    "      %d track(s) or Basic folder(s) inside a Routing folder could not be\n"
                    "      moved out of it, though Pro Tools plays them to the main output:\n",
                    static_cast<int>(c.unmoved_rows.size())) +
                name_rows(c.unmoved_rows);
    if (w.folder_mode == 0 && written != 0)
        text +=
            "      The session's folder table could not be read, so folder members are\n"
            "      taken from track order: the tracks right below a folder.\n";
    if (c.nested_unplaced != 0)
        text += format_text(
            "      A folder inside a folder could not be placed: %d folder(s) that may\n"
            "      have been nested arrive beside the other folder, not inside it.\n",
            c.nested_unplaced);
    if (!w.unwritten_folders.empty())
        text += format_text(
                    "      %d folder(s) could not be written as folders because their members\n"
                    "      do not follow them in track order; they arrive as plain tracks:\n",
                    static_cast<int>(w.unwritten_folders.size())) +
                name_rows(w.unwritten_folders);
    return text;
}

std::string surround_bus_rows() {
    const int widened = writer_summary.surround_bus_widths;
    if (widened == 0) return {};
    return format_text(
        "  %d aux(es) taking a surround bus written as wide as that bus, and\n"
        "      the tracks feeding it send every channel, not just the first two.\n",
        widened);
}

std::string unplaceable_surround_rows() {
    const int tracks = track_wiring.counts.unplaceable_surround;
    if (tracks == 0) return {};
    return format_text(
        "  %d track(s) feed a surround bus whose layout this build cannot\n"
        "      place; they arrive without a surround panner.\n",
        tracks);
}
