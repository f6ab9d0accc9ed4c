#include "convert/summary/clip_conservation.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>

#include "app/output.h"

ClipBalance clip_balance(const SessionLayout& layout, const ClipStageCounts& clips,
                         const ItemWriterState& items) {
    ClipBalance b;
    const auto audio = [](const UnplacedPlacement& p) { return !p.midi; };
    const auto unplaced_audio =
        std::count_if(layout.unplaced.begin(), layout.unplaced.end(), audio) +
        std::count_if(layout.refused.begin(), layout.refused.end(), audio);
    b.read =
        static_cast<int>(layout.audio_track_regions.size() + layout.released_audio_track_regions +
                         static_cast<std::size_t>(unplaced_audio));
    b.group_pieces = clips.clip_group_clips + clips.loop_repeats + clips.fade_clips_taken_in;
    b.not_clips = clips.fade_clips + clips.group_references_dropped;
    b.written = static_cast<int>(items.items_written);
    b.left_out = static_cast<int>(unplaced_audio) +
                 static_cast<int>(items.bad_length.size() + items.past_a_day.size() +
                                  items.no_source.size() + clips.outside_playlist.size()) +
                 clips.set_aside_playlist_clips + clips.filtered_clips;
    b.alternates = clips.alternate_clips - clips.recovered_alternates;
    return b;
}

std::vector<std::string> refused_placement_rows(std::span<const UnplacedPlacement> refused,
                                                bool quoted) {
    // Per track, in the order the walk met them; each track's row found through its name.
    std::vector<std::pair<std::string, int>> tracks;
    std::unordered_map<std::string, std::size_t> row_of;
    for (const UnplacedPlacement& lost : refused) {
        std::string track = lost.track_name;
        if (track.empty())
            track = format_text("track %u", lost.track_number);
        else if (quoted)
            track = "\"" + track + "\"";
        if (lost.midi) track = "MIDI " + track;
        const auto [row, added] = row_of.try_emplace(track, tracks.size());
        if (added)
            tracks.emplace_back(std::move(track), 1);
        else
            ++tracks[row->second].second;
    }
    std::vector<std::string> rows;
    for (const auto& [track, count] : tracks)
        rows.push_back(format_text("%s: %d placement(s)", track.c_str(), count));
    return rows;
}

std::vector<std::string> left_out_clip_rows(const SessionLayout& layout,
                                            const ClipStageCounts& clips,
                                            const ItemWriterState& items) {
    std::vector<std::string> rows;
    for (const UnplacedPlacement& lost : layout.unplaced) {
        const std::string track = lost.track_name.empty()
                                      ? format_text("track %u", lost.track_number)
                                      : "\"" + lost.track_name + "\"";
        rows.push_back(
            format_text("%sregion %u on %s: names a region or track the session does "
                        "not hold",
                        lost.midi ? "MIDI " : "", lost.region_number, track.c_str()));
    }
    const auto add = [&](const std::vector<SkippedClip>& left_out, const char* reason) {
        for (const SkippedClip& c : left_out)
            rows.push_back("\"" + c.clip + "\" on \"" + c.track + "\": " + reason);
    };
    add(items.bad_length, "no usable length (zero, negative, longer than a day or unreadable)");
    add(items.past_a_day, "starts more than 24 hours in");
    add(items.no_source, "names no audio file the session lists");
    add(clips.outside_playlist, "outside its track's playlist");
    return rows;
}
