#include "convert/clips/clip_fades.h"

#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "convert/clips/clip_math.h"

namespace {

// The fade's position P, its whole length L and the part B before P, in seconds.
struct FadeSpan {
    double position = 0.0;
    double length = 0.0;
    double before = 0.0;
};

FadeSpan fade_span(const TimeContext& time, std::uint64_t stored, std::uint8_t time_base,
                   bool track_ticks, const SessionRange& range) {
    const bool ticks = time_base == kTickTimeBase || (time_base != kSampleTimeBase && track_ticks);
    FadeSpan span;
    if (ticks) {
        const double t = stored_ticks(stored, time_base == kTickTimeBase);
        span.position = tick_seconds(time, t);
        span.length = tick_seconds(time, t + range.end) - span.position;
        span.before = span.position - tick_seconds(time, t - range.start);
    } else {
        span.position = static_cast<double>(stored) / time.sample_rate;
        span.length = range.end / time.sample_rate;
        span.before = range.start / time.sample_rate;
    }
    return span;
}

// A track's clip starts and ends in time order, so that a fade finds the clips near it without a
// pass over all of them. The crossfades move edges as they are applied: `moved` keeps the order
// current. Clips laid out from clip groups have no edges here.
class ClipEdges {
  public:
    explicit ClipEdges(std::vector<ClipRecord>& clips)
        : clips_(clips), start_keys_(clips.size()), end_keys_(clips.size()) {
        for (std::size_t i = 0; i < clips.size(); ++i) {
            if (clips[i].raw_start == kClipGroupRawStart) continue;
            enter(starts_, start_keys_[i], clips[i].start, i);
            enter(ends_, end_keys_[i], clips[i].start + clips[i].length, i);
        }
    }

    // The clip whose end (or start) lies nearest the position, nearer than the fade edge
    // tolerance; of clips as near, the first.
    ClipRecord* nearest(double position, bool at_end) const {
        const std::multimap<double, std::size_t>& edges = at_end ? ends_ : starts_;
        // A window twice the tolerance wide: the distance itself decides, as computed below.
        constexpr double kWindow = 2.0 * kFadeEdgeSeconds;
        std::size_t best = clips_.size();
        double best_distance = kFadeEdgeSeconds;
        for (auto at = edges.lower_bound(position - kWindow);
             at != edges.end() && at->first <= position + kWindow; ++at) {
            const ClipRecord& clip = clips_[at->second];
            const double edge = at_end ? clip.start + clip.length : clip.start;
            const double distance = std::fabs(edge - position);
            if (distance < best_distance ||
                (distance == best_distance && best < clips_.size() && at->second < best)) {
                best = at->second;
                best_distance = distance;
            }
        }
        return best < clips_.size() ? &clips_[best] : nullptr;
    }

    // The clip's start or length changed.
    void moved(const ClipRecord* clip) {
        const auto i = static_cast<std::size_t>(clip - clips_.data());
        leave(starts_, start_keys_[i], i);
        leave(ends_, end_keys_[i], i);
        enter(starts_, start_keys_[i], clip->start, i);
        enter(ends_, end_keys_[i], clip->start + clip->length, i);
    }

  private:
    // An edge that is no number can be nearest to nothing: it is not entered.
    static void enter(std::multimap<double, std::size_t>& edges, std::optional<double>& key,
                      double edge, std::size_t i) {
        if (!std::isfinite(edge)) return;
        edges.emplace(edge, i);
        key = edge;
    }
    static void leave(std::multimap<double, std::size_t>& edges, std::optional<double>& key,
                      std::size_t i) {
        if (!key) return;
        auto [at, end] = edges.equal_range(*key);
        while (at != end && at->second != i) ++at;
        if (at != end) edges.erase(at);
        key.reset();
    }

    std::vector<ClipRecord>& clips_;
    std::multimap<double, std::size_t> starts_;
    std::multimap<double, std::size_t> ends_;
    std::vector<std::optional<double>> start_keys_;  // each clip's entry, if it has one
    std::vector<std::optional<double>> end_keys_;
};

void set_source_offset(ClipRecord& clip, double seconds, double rate) {
    clip.source_offset = seconds;
    const double samples = std::floor(seconds * rate + 0.5);
    clip.source_offset_samples = samples > 0.0 ? static_cast<std::uint64_t>(samples) : 0;
}

}  // namespace

void apply_list_fades(ClipModel& model, const TimeContext& time, ClipStageCounts& counts) {
    for (std::uint16_t track : model.track_order) {
        const std::int32_t li = model.list_index.count(track) ? model.list_index[track] : -1;
        if (li < 0) continue;
        const R10BlockRecord& list = model.list_records[static_cast<std::size_t>(li)];
        std::vector<ClipRecord>& clips = model.main_clips[track];
        const bool track_ticks = model.tick_based[track] != 0;
        ClipEdges edges(clips);

        for (std::size_t j = 0; j < list.ids.size(); ++j) {
            if (!list.fade_entry[j]) continue;
            const std::uint32_t id = list.ids[j];
            if (id >= model.fade_ranges.size() || model.fade_ranges[id].kind < 1 ||
                model.fade_ranges[id].kind > 3) {
                counts.bad_fades += 1;
                continue;
            }
            const SessionRange& range = model.fade_ranges[id];
            const FadeSpan span =
                fade_span(time, list.positions[j], list.time_bases[j], track_ticks, range);
            ClipRecord* outgoing = edges.nearest(span.position, true);
            ClipRecord* incoming = edges.nearest(span.position, false);
            const double shape = range.special_shape ? kSCurveFadeShape
                                 : range.shape == 1  ? 1.0
                                                     : 0.0;

            bool applied = true;
            if (range.kind == 3 && incoming) {
                incoming->fade_in_length = span.length;
                incoming->fade_in_shape = shape;
                counts.fade_ins += 1;
            } else if (range.kind == 2 && outgoing) {
                outgoing->fade_out_length = span.length;
                outgoing->fade_out_shape = shape;
                counts.fade_outs += 1;
            } else if (range.kind == 1 && outgoing && incoming && outgoing != incoming) {
                const double b = span.before;
                const double l = span.length;
                if (incoming->source_offset >= b && incoming->start >= b) {
                    outgoing->length += l - b;
                    outgoing->fade_out_length = l;
                    incoming->start -= b;
                    set_source_offset(*incoming, incoming->source_offset - b, time.sample_rate);
                    incoming->length += b;
                    incoming->fade_in_length = l;
                    edges.moved(outgoing);
                    edges.moved(incoming);
                } else {
                    // Too little source before the incoming clip: both stay, the fades shorten.
                    outgoing->fade_out_length = b > 0.0 ? b : l;
                    incoming->fade_in_length = l - b > 0.0 ? l - b : l;
                }
                outgoing->crossfaded = 1;
                outgoing->fade_out_shape = shape;
                incoming->fade_in_shape = shape;
                counts.crossfades += 1;
            } else {
                applied = false;
                counts.unmatched_fades += 1;
            }
            if (applied && range.special_shape) counts.s_curve_fades += 1;
        }
        sort_clips_by_start(clips);
    }
}
