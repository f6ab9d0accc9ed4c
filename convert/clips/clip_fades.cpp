#include "convert/clips/clip_fades.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
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
// current, moving each changed edge the few places it travels. Clips laid out from clip groups
// have no edges here; an edge that is no number sorts last, where no fade finds it.
class ClipEdges {
  public:
    explicit ClipEdges(std::vector<ClipRecord>& clips) : clips_(clips) {
        for (std::size_t i = 0; i < clips.size(); ++i) {
            if (clips[i].raw_start == kClipGroupRawStart) continue;
            starts_.entries.push_back({key_of(clips[i].start), i});
            ends_.entries.push_back({key_of(clips[i].start + clips[i].length), i});
        }
        starts_.sort(clips.size());
        ends_.sort(clips.size());
    }

    // The clip whose end (or start) lies nearest the position, nearer than the fade edge
    // tolerance; of clips as near, the first.
    ClipRecord* nearest(double position, bool at_end) {
        Edges& kind = at_end ? ends_ : starts_;
        const std::vector<Entry>& edges = kind.entries;
        // A window twice the tolerance wide: the distance itself decides, as computed below.
        constexpr double kWindow = 2.0 * kFadeEdgeSeconds;
        std::size_t best = clips_.size();
        double best_distance = kFadeEdgeSeconds;
        kind.last = kind.first_not_below(position - kWindow);
        const auto first = edges.begin() + static_cast<std::ptrdiff_t>(kind.last);
        for (auto at = first; at != edges.end() && at->edge <= position + kWindow; ++at) {
            const ClipRecord& clip = clips_[at->clip];
            const double edge = at_end ? clip.start + clip.length : clip.start;
            const double distance = std::fabs(edge - position);
            if (distance < best_distance ||
                (distance == best_distance && best < clips_.size() && at->clip < best)) {
                best = at->clip;
                best_distance = distance;
            }
        }
        return best < clips_.size() ? &clips_[best] : nullptr;
    }

    // The clip's start or length changed.
    void moved(const ClipRecord* clip) {
        const auto i = static_cast<std::size_t>(clip - clips_.data());
        starts_.move(i, key_of(clip->start));
        ends_.move(i, key_of(clip->start + clip->length));
    }

  private:
    struct Entry {
        double edge;
        std::size_t clip;
    };
    // One kind of edge, ascending, and where each clip's entry stands.
    struct Edges {
        std::vector<Entry> entries;
        std::vector<std::size_t> slot_of;  // by clip; entries.size() for a clip without one
        std::size_t last = 0;              // where the last search ended

        // The first entry whose edge is not below `edge`. A list's fades mostly come in time
        // order, each a few edges on from the last: the search steps out from where the last
        // one ended, by doubling strides, and halves the span it brackets.
        std::size_t first_not_below(double edge) const {
            const auto below = [edge](const Entry& e) { return e.edge < edge; };
            const std::size_t n = entries.size();
            std::size_t low = 0;   // every entry before it is below
            std::size_t high = n;  // none from it on is
            const std::size_t from = std::min(last, n);
            if (from < n && below(entries[from])) {
                low = from + 1;
                for (std::size_t stride = 1; low < n; stride *= 2) {
                    const std::size_t probe = std::min(n - 1, low + stride - 1);
                    if (!below(entries[probe])) {
                        high = probe;
                        break;
                    }
                    low = probe + 1;
                }
            } else {
                high = from;
                for (std::size_t stride = 1; high > 0; stride *= 2) {
                    const std::size_t probe = high > stride ? high - stride : 0;
                    if (below(entries[probe])) {
                        low = probe + 1;
                        break;
                    }
                    high = probe;
                }
            }
            const auto at =
                std::partition_point(entries.begin() + static_cast<std::ptrdiff_t>(low),
                                     entries.begin() + static_cast<std::ptrdiff_t>(high), below);
            return static_cast<std::size_t>(at - entries.begin());
        }

        void sort(std::size_t clips) {
            // The clips come sorted by start, and abutting clips' ends mostly follow: such edges
            // are not sorted again. Edges alike may stand in any order: a fade takes the nearest
            // clip, the first of those as near, whatever their places here.
            const auto before = [](const Entry& a, const Entry& b) { return a.edge < b.edge; };
            if (!std::is_sorted(entries.begin(), entries.end(), before))
                std::sort(entries.begin(), entries.end(), before);
            slot_of.assign(clips, entries.size());
            for (std::size_t k = 0; k < entries.size(); ++k) slot_of[entries[k].clip] = k;
        }
        // The clip's edge is now `edge`: its entry moves to its place among its neighbours.
        void move(std::size_t clip, double edge) {
            std::size_t k = slot_of[clip];
            if (k >= entries.size()) return;
            entries[k].edge = edge;
            while (k > 0 && entries[k - 1].edge > edge) swap_with_next(--k);
            while (k + 1 < entries.size() && entries[k + 1].edge < edge) swap_with_next(k++);
        }
        void swap_with_next(std::size_t k) {
            std::swap(entries[k], entries[k + 1]);
            slot_of[entries[k].clip] = k;
            slot_of[entries[k + 1].clip] = k + 1;
        }
    };

    static double key_of(double edge) {
        return std::isfinite(edge) ? edge : std::numeric_limits<double>::infinity();
    }

    std::vector<ClipRecord>& clips_;
    Edges starts_;
    Edges ends_;
};

void set_source_offset(ClipRecord& clip, double seconds, double rate) {
    clip.source_offset = seconds;
    const double samples = std::floor(seconds * rate + 0.5);
    clip.source_offset_samples = samples > 0.0 ? static_cast<std::uint64_t>(samples) : 0;
}

}  // namespace

void apply_list_fades(ClipModel& model, std::span<const std::uint16_t> tracks,
                      const TimeContext& time, ClipStageCounts& counts) {
    for (std::uint16_t track : tracks) {
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
            const std::uint8_t shape = range.special_shape ? kSCurveFadeShape
                                       : range.shape == 1  ? 1
                                                           : 0;

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
