#include "convert/summary/clip_conservation.h"

#include <algorithm>

ClipBalance clip_balance(const SessionLayout& layout, const ClipStageCounts& clips,
                         const ItemWriterState& items) {
    ClipBalance b;
    const auto unplaced_audio = std::count_if(layout.unplaced.begin(), layout.unplaced.end(),
                                              [](const UnplacedPlacement& p) { return !p.midi; });
    b.read = static_cast<int>(layout.audio_track_regions.size() +
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
