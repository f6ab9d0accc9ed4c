#include "convert/clips/clip_overlaps.h"

#include <algorithm>
#include <cmath>

#include "convert/clips/clip_math.h"

void cut_clip_head(ClipRecord& clip, double cut, double rate) {
    const ClipRareFields& rare = clip.rare.get();
    double source = clip.source_offset + cut * rare.playrate;
    if (!rare.stretch_markers.empty()) {
        std::vector<ValueAtPosition> points;
        for (const StretchMarker& m : rare.stretch_markers) {
            points.push_back({m.source_position, m.item_time});
        }
        const double at_cut = interp_piecewise_linear(points, cut);
        if (at_cut >= 0.0) source = at_cut;
        std::vector<StretchMarker> rebased = {{0.0, at_cut >= 0.0 ? at_cut : source}};
        for (const StretchMarker& m : rare.stretch_markers) {
            if (m.item_time > cut) rebased.push_back({m.item_time - cut, m.source_position});
        }
        clip.rare.edit().stretch_markers = std::move(rebased);
    }
    clip.start += cut;
    clip.length -= cut;
    clip.source_offset = source;
    const double samples = std::floor(source * rate + 0.5);
    clip.source_offset_samples = samples > 0.0 ? static_cast<std::uint64_t>(samples) : 0;
    clip.fade_in_length = std::max(0.0, clip.fade_in_length - cut);
    // Only a clip that holds a sync point has one to shrink.
    if (clip.rare.held()) {
        ClipRareFields& held = clip.rare.edit();
        held.snap_offset = std::max(0.0, held.snap_offset - cut);
    }
    clip.whole_file = 0;
}

void cut_clip_tail(ClipRecord& clip, double length) {
    clip.length = length;
    // Markers end at the cut; a clip without markers gains none.
    if (!clip.rare.get().stretch_markers.empty())
        curve_insert_point(clip.rare.edit().stretch_markers.edit(), length);
}

void resolve_clip_overlaps(ClipModel& model, ClipStageCounts& counts) {
    for (std::uint16_t track : model.track_order) {
        std::vector<ClipRecord>& clips = model.main_clips[track];
        for (std::size_t i = 1; i < clips.size(); ++i) {
            ClipRecord& previous = clips[i - 1];
            ClipRecord& current = clips[i];
            if (previous.crossfaded) continue;
            if (current.muted && !previous.muted && previous.over_next) continue;
            const double gap = current.start - previous.start;
            if (!(gap > kOverlapGap) || !(previous.length > gap)) continue;
            if (current.muted || current.over_previous || !previous.over_next) {
                cut_clip_tail(previous, gap);
                if (current.muted && !previous.muted) counts.silenced_tails += 1;
                continue;
            }
            const double covered = previous.start + previous.length - current.start;
            const bool room_before_next =
                i + 1 >= clips.size() ||
                covered < clips[i + 1].start - current.start - kOverlapSlack;
            if (covered <= kOverlapSlack) {
                cut_clip_tail(previous, gap);
            } else if (covered < current.length - kOverlapSlack && room_before_next) {
                cut_clip_head(current, covered, model.sample_rate);
                counts.trimmed_heads += 1;
            } else {
                current.muted = 1;
                counts.muted_covered += 1;
            }
        }
    }
    refresh_output_clips(model);
}
