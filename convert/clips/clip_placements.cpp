#include "convert/clips/clip_placements.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "convert/clips/clip_fades.h"
#include "convert/clips/clip_groups.h"
#include "convert/clips/clip_math.h"
#include "convert/clips/clip_time.h"
#include "convert/tracks/name_matching.h"
#include "session/control_slots.h"
#include "session/region_index.h"
#include "session/region_list.h"
#include "util/names.h"

namespace {

// A clip whose source starts at most this many samples into its file plays the whole file.
constexpr std::int64_t kWholeFileSamples = 63;
// Without a time-base byte, a raw start above this counts as a tick position.
constexpr std::uint64_t kTickLikeStart = 1'000'000'000;
// Stacked clips: starts within one millisecond, a clip may reach this far past the next one.
constexpr double kStackSlack = 0.01;
constexpr double kLastBucketGap = 1e12;

using Clips = std::vector<ClipRecord>;
// The tracks a step works on: steps 3 to 7 and the fades take one track at a time.
using Tracks = std::span<const std::uint16_t>;

struct Context {
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    const SessionLayout* layout = nullptr;
    TimeContext time;
    const ConvertOptions* options = nullptr;
    ClipStageCounts* counts = nullptr;
    RegionsByIndex regions;                                 // audio regions by index
    std::map<std::uint32_t, std::int64_t> sync_samples;     // regions' sync offsets
    bool sync_matched = false;
    // Each file's name without folders, made once and shared by the clips that play it.
    std::map<std::string, SharedText> file_names;
    // The same by the held text of the regions' file names, which the regions of one file share:
    // a clip finds its file's name without comparing paths.
    std::unordered_map<const std::string*, SharedText> file_names_by_text;
    // --keep-fade-clips: the fade placements taken in as clips, by track.
    std::map<std::uint16_t, std::multiset<PlacementKey>> taken_in;
};

bool makes_clip(const SessionRegion& region) {
    return region.length > 0 && !region.audio_file_name.empty();
}

std::int32_t list_of(const ClipModel& model, std::uint16_t track) {
    const auto found = model.list_index.find(track);
    return found == model.list_index.end() ? -1 : found->second;
}

// The trailing byte of a list entry marks fade placements; every other entry is one the track
// plays, whatever the byte.
bool entry_counts(const R10BlockRecord& list, std::size_t j) {
    return list.closed[j] || !list.fade_entry[j];
}

ClipRecord clip_from_region(Context& ctx, const SessionRegion& region, double rate) {
    ClipRecord clip;
    clip.region_index = region.region_index;
    clip.length = static_cast<double>(region.length) / rate;
    clip.source_offset = static_cast<double>(region.source_offset) / rate;
    clip.source_offset_samples =
        region.source_offset > 0 ? static_cast<std::uint64_t>(region.source_offset) : 0;
    clip.name = region.name;
    SharedText& held = ctx.file_names_by_text[&region.audio_file_name.str()];
    if (held.empty()) {
        SharedText& file = ctx.file_names[region.audio_file_name];
        if (file.empty()) file = path_basename(region.audio_file_name);
        held = file;
    }
    clip.file_name = held;
    clip.whole_file =
        region.source_offset <= kWholeFileSamples && !ends_with_dash_digits(region.name) ? 1 : 0;
    return clip;
}

// The clip of one placement that plays audio: its stored start (converted in step 3), its mute
// and its region's sync point.
ClipRecord clip_from_placement(Context& ctx, const TrackRegion& placed) {
    const SessionRegion& region = ctx.layout->audio_regions[placed.region];
    ClipRecord clip = clip_from_region(ctx, region, ctx.time.sample_rate);
    clip.raw_start = static_cast<std::uint64_t>(placed.start);
    clip.start = static_cast<double>(clip.raw_start);
    clip.muted = placed.flag;
    const auto sync = ctx.sync_samples.find(region.region_index);
    if (sync != ctx.sync_samples.end()) {
        clip.rare.edit().snap_offset = static_cast<double>(sync->second) / ctx.time.sample_rate;
    }
    return clip;
}

// The regions' sync points, when the control slots line up with the audio regions one to one.
void read_sync_points(Context& ctx) {
    std::vector<std::uint64_t> values;
    std::vector<std::string_view> names;
    read_control_slots(ctx.data, ctx.length, values, &names);
    const std::vector<SessionRegion>& regions = ctx.layout->audio_regions;
    bool matched = names.size() == regions.size();
    for (std::size_t i = 0; matched && i < regions.size(); ++i) {
        matched = regions[i].region_index == i && names[i] == regions[i].name;
    }
    const bool any = std::any_of(values.begin(), values.end(), [](std::uint64_t v) { return v; });
    if (!matched) {
        if (any) ctx.counts->unmatched_sync_points = 1;
        return;
    }
    ctx.sync_matched = true;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] != 0)
            ctx.sync_samples[static_cast<std::uint32_t>(i)] = static_cast<std::int64_t>(values[i]);
    }
}

// Step 1: one clip per track region that plays audio, one output track per track index.
void make_clips(Context& ctx, ClipModel& model) {
    // Room for each track's clips at once: grown by doubling, the lists would hold up to twice
    // the clips of the session. A track's regions stand together: each run is counted at once.
    std::map<std::uint16_t, std::size_t> clip_counts_of;
    const std::vector<SessionRegion>& regions = ctx.layout->audio_regions;
    const std::vector<TrackRegion>& placements = ctx.layout->audio_track_regions;
    for (std::size_t first = 0; first < placements.size();) {
        const std::uint16_t track = placements[first].track_index;
        std::size_t count = 0;
        std::size_t end = first;
        for (; end < placements.size() && placements[end].track_index == track; ++end)
            if (makes_clip(regions[placements[end].region])) ++count;
        if (count > 0) clip_counts_of[track] += count;
        first = end;
    }
    for (const auto& [track, count] : clip_counts_of) model.main_clips[track].reserve(count);
    // A track's regions stand together: its clip list is looked up when the track changes.
    Clips* track_clips = nullptr;
    std::uint16_t current = 0;
    for (const TrackRegion& placed : ctx.layout->audio_track_regions) {
        const std::uint16_t track = placed.track_index;
        if (track_clips == nullptr || track != current) {
            if (!model.output_tracks.count(track)) {
                model.output_tracks[track].name = placed.track_name;
                model.track_order.push_back(track);
            }
            track_clips = &model.main_clips[track];
            current = track;
        }
        const SessionRegion& region = regions[placed.region];
        if (!makes_clip(region)) continue;  // named by the item writer
        track_clips->push_back(clip_from_placement(ctx, placed));
    }
    std::sort(model.track_order.begin(), model.track_order.end());
}

// --keep-fade-clips: the walk's fade placements join their tracks' clips as the clips they
// would read as, once the lists are given to the tracks (they are not among a list's clip
// placements). Matching them to the lists then keeps them.
void take_in_fade_clips(Context& ctx, ClipModel& model) {
    const std::vector<SessionRegion>& regions = ctx.layout->audio_regions;
    for (const TrackRegion& placed : ctx.layout->fade_track_regions) {
        const auto clips = model.main_clips.find(placed.track_index);
        if (clips == model.main_clips.end() || !makes_clip(regions[placed.region])) continue;
        clips->second.push_back(clip_from_placement(ctx, placed));
        ctx.counts->fade_clips_taken_in += 1;
        const ClipRecord& taken = clips->second.back();
        ctx.taken_in[placed.track_index].insert({taken.region_index, taken.raw_start});
    }
}

// The placements of a list the walk turns into clips: those not marked as fades (byte +24 is 1)
// whose id names an audio region that plays.
std::size_t clip_placements_of(const Context& ctx, const R10BlockRecord& list) {
    std::size_t count = 0;
    for (std::size_t j = 0; j < list.ids.size(); ++j) {
        if (list.over_flag[j] == 1) continue;
        const SessionRegion* region = find_region(ctx.regions, list.ids[j]);
        if (region != nullptr && makes_clip(*region)) count += 1;
    }
    return count;
}

bool holds_group_entry(const R10BlockRecord& list) {
    return std::any_of(list.group_entry.begin(), list.group_entry.end(),
                       [](std::uint8_t flag) { return flag != 0; });
}

// Step 2: the lists are given to the tracks in order, each to the first track whose clip count
// equals the number of clips the list places.
void assign_lists(const Context& ctx, ClipModel& model) {
    std::vector<std::size_t> placed;
    for (const R10BlockRecord& list : model.list_records)
        placed.push_back(clip_placements_of(ctx, list));
    std::size_t search = 0;
    for (std::uint16_t track : model.track_order) {
        const std::size_t clips = model.main_clips[track].size();
        std::int32_t found = -1;
        for (std::size_t i = search; i < placed.size() && found < 0; ++i) {
            if (placed[i] == clips) found = static_cast<std::int32_t>(i);
        }
        if (found < 0 && model.lists.size() == model.list_records.size()) {
            for (std::size_t i = search; i < model.list_records.size() && found < 0; ++i) {
                if (holds_group_entry(model.list_records[i]) &&
                    model.lists[i].name == model.output_tracks[track].name) {
                    found = static_cast<std::int32_t>(i);
                }
            }
        }
        model.list_index[track] = found;
        if (found >= 0) {
            search = static_cast<std::size_t>(found) + 1;
        } else if (!model.list_records.empty()) {
            ctx.counts->tracks_without_list.push_back(model.output_tracks[track].name);
        }
    }
}

// The time base the placements of a list store, when they agree: 1 ticks, 0 samples, -1 unknown.
int stored_time_base(const R10BlockRecord& list) {
    bool ticks = false;
    bool samples = false;
    for (std::uint8_t base : list.time_bases) {
        ticks = ticks || base == kTickTimeBase;
        samples = samples || base == kSampleTimeBase;
    }
    if (ticks == samples) return -1;
    return ticks ? 1 : 0;
}

// Whether the session's lists all name a tick time base, or none does.
struct ListTimeBases {
    bool all_ticks = false;
    bool no_ticks = false;
};

ListTimeBases list_time_bases(const ClipModel& model) {
    const bool any_list = !model.lists.empty();
    const auto ticks = [](const ClipListName& l) { return l.second_kind != 0; };
    return {any_list && std::all_of(model.lists.begin(), model.lists.end(), ticks),
            any_list && std::none_of(model.lists.begin(), model.lists.end(), ticks)};
}

// Step 3: whether each track counts ticks, and every clip start in seconds.
void convert_starts(const Context& ctx, ClipModel& model, const ListTimeBases& bases,
                    Tracks tracks) {
    const bool all_ticks = bases.all_ticks;
    const bool no_ticks = bases.no_ticks;
    for (std::uint16_t track : tracks) {
        Clips& clips = model.main_clips[track];
        const std::int32_t li = list_of(model, track);
        const int stored = li >= 0 ? stored_time_base(model.list_records[li]) : -1;
        bool ticks = false;
        if (stored >= 0) {
            ticks = stored == 1;
        } else if (li >= 0 && !model.lists[li].name.empty()) {
            ticks = model.lists[li].second_kind != 0;
        } else if (no_ticks) {
            ticks = false;
        } else if (all_ticks) {
            ticks = true;
        } else {
            const auto tick_like =
                std::count_if(clips.begin(), clips.end(),
                              [](const ClipRecord& c) { return c.raw_start > kTickLikeStart; });
            ticks = 2 * static_cast<std::size_t>(tick_like) >= clips.size();
        }
        model.tick_based[track] = ticks ? 1 : 0;
        (ticks ? ctx.counts->tick_tracks : ctx.counts->sample_tracks) += 1;

        for (ClipRecord& clip : clips) {
            clip.start = stored_seconds(ctx.time, clip.raw_start, ticks, stored == 1);
            if (const double snap = clip.rare.get().snap_offset; snap > 0.0) {
                clip.start -= snap;
                if (clip.start < 0.0) clip.start = 0.0;
                ctx.counts->sync_point_clips += 1;
            }
        }
        sort_clips_by_start(clips);
    }
}

// Step 4: with clip groups on the list, placements the walk read as clips but that the list
// holds as group or fade placements are dropped.
void drop_off_playlist(const Context& ctx, ClipModel& model, Tracks tracks) {
    for (std::uint16_t track : tracks) {
        const std::int32_t li = list_of(model, track);
        if (li < 0) continue;
        const R10BlockRecord& list = model.list_records[li];
        // Most lists hold no clip group: they are passed over before any tree is built.
        if (!holds_group_entry(list)) continue;
        std::multiset<PlacementKey> groups;
        std::multiset<PlacementKey> fades;
        std::set<PlacementKey> others;
        for (std::size_t j = 0; j < list.ids.size(); ++j) {
            const PlacementKey key{list.ids[j], list.positions[j]};
            if (list.group_entry[j]) {
                groups.insert(key);
            } else if (list.fade_entry[j]) {
                fades.insert(key);
            } else {
                others.insert(key);
            }
        }
        if (groups.empty()) continue;
        Clips kept;
        for (ClipRecord& clip : model.main_clips[track]) {
            const PlacementKey key{clip.region_index, clip.raw_start};
            if (const auto g = groups.find(key); g != groups.end()) {
                groups.erase(g);
                ctx.counts->group_references_dropped += 1;
            } else if (const auto f = fades.find(key); f != fades.end() && !others.count(key)) {
                fades.erase(f);
                ctx.counts->fade_clips += 1;
            } else {
                kept.push_back(std::move(clip));
            }
        }
        model.main_clips[track] = std::move(kept);
    }
}

// What a track's list holds at one placement key: its fade entries, its other entries, those of
// them that count and are not yet taken by a clip, and the over flags, lock and colour of the
// counting ones.
struct ListedKey {
    PlacementKey key;
    int fades = 0;
    int plain = 0;
    int open = 0;
    std::int32_t colour = -2;  // the first counting entry's colour other than -2; -2: none
    std::uint32_t id_slot = 0;  // the key's id among the counting ones, once it has an entry open
    std::uint8_t over_next = 0;
    std::uint8_t over_previous = 0;
    std::uint8_t locked = 0;
};

// The counting entries of one id.
struct ListedId {
    std::uint32_t id = 0;
    int count = 0;
};

// The list's entries other than clip-group ones, merged by key in key order.
void list_keys(const R10BlockRecord& list, std::size_t fade_ranges, std::vector<ListedKey>& keys,
               std::vector<ListedId>& ids) {
    // Each entry as one 128-bit number, its id, position and place from the top bits down: in
    // key order, and in entry order within a key, sorted as two words.
    struct Entry {
        std::uint64_t high = 0;  // the id, the position's high half
        std::uint64_t low = 0;   // the position's low half, the entry's place
    };
    std::vector<Entry> order;
    order.reserve(list.ids.size());
    for (std::size_t j = 0; j < list.ids.size(); ++j)
        if (!list.group_entry[j])
            order.push_back({(std::uint64_t{list.ids[j]} << 32) | (list.positions[j] >> 32),
                             (list.positions[j] << 32) | static_cast<std::uint32_t>(j)});
    std::sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    });
    for (const Entry& entry : order) {
        const PlacementKey key{static_cast<std::uint32_t>(entry.high >> 32),
                               (entry.high << 32) | (entry.low >> 32)};
        const std::size_t j = static_cast<std::uint32_t>(entry.low);
        if (keys.empty() || keys.back().key != key) keys.push_back({.key = key});
        ListedKey& at = keys.back();
        if (list.fade_entry[j] && list.ids[j] < fade_ranges) {
            at.fades += 1;
            continue;
        }
        at.plain += 1;
        if (!entry_counts(list, j)) continue;
        if (list.over_flag[j] == 1) at.over_next = 1;
        if (list.over_flag[j] == 2) at.over_previous = 1;
        at.open += 1;
        if (list.locked[j]) at.locked = 1;
        const auto colour = static_cast<std::int32_t>(list.colour_numbers[j]);
        if (colour != -2 && at.colour == -2) at.colour = colour;
        if (ids.empty() || ids.back().id != key.first) ids.push_back({key.first, 0});
        ids.back().count += 1;
        at.id_slot = static_cast<std::uint32_t>(ids.size() - 1);
    }
}

bool key_before(const ListedKey& k, const PlacementKey& v) {
    return k.key < v;
}

// What a track's list holds near a clip at (id, position): whether a fade entry and another entry
// stand at it or within 64 of it; the key at it, if any; and the key it can be matched to: the
// one at it while that has an entry open, else the nearest of the same id within 64 with one, the
// first in key order where two are as near.
struct NearKeys {
    bool fade = false;
    bool plain = false;
    ListedKey* own = nullptr;
    ListedKey* open = nullptr;
};

NearKeys near_keys(std::vector<ListedKey>& keys, std::uint32_t id, std::uint64_t position) {
    NearKeys near;
    const std::uint64_t low = position > kNearbyPosition ? position - kNearbyPosition : 0;
    const auto first =
        std::lower_bound(keys.begin(), keys.end(), PlacementKey{id, low}, key_before);
    if (position > std::numeric_limits<std::uint64_t>::max() - kNearbyPosition) {
        // No key reaches past the top of the range: only the one at the position counts.
        const PlacementKey own{id, position};
        const auto at = std::lower_bound(first, keys.end(), own, key_before);
        if (at != keys.end() && at->key == own) {
            near.own = &*at;
            near.fade = at->fades > 0;
            near.plain = at->plain > 0;
            if (at->open > 0) near.open = &*at;
        }
        return near;
    }
    // The keys within 64, the one at the position among them, in one pass.
    ListedKey* best = nullptr;
    std::uint64_t best_distance = 0;
    for (auto it = first; it != keys.end(); ++it) {
        if (it->key.first != id || it->key.second > position + kNearbyPosition) break;
        if (it->key.second == position) near.own = &*it;
        near.fade = near.fade || it->fades > 0;
        near.plain = near.plain || it->plain > 0;
        if (it->open <= 0) continue;
        const std::uint64_t distance =
            it->key.second > position ? it->key.second - position : position - it->key.second;
        if (best == nullptr || distance < best_distance) {
            best = &*it;
            best_distance = distance;
        }
    }
    near.open = near.own != nullptr && near.own->open > 0 ? near.own : best;
    return near;
}

// The counting entries of the id not yet taken; null when the list has none of it.
int* id_count(std::vector<ListedId>& ids, std::uint32_t id) {
    const auto at = std::lower_bound(ids.begin(), ids.end(), id,
                                     [](const ListedId& i, std::uint32_t v) { return i.id < v; });
    return at != ids.end() && at->id == id ? &at->count : nullptr;
}

// Step 5: each clip is matched to a placement of its track's list; fade references and
// placements the list does not hold are dropped, and the matched placements give the clips their
// over flags, colour and lock. A track's list is held as one sorted list of its keys rather than
// a tree per fact.
void match_to_lists(const Context& ctx, ClipModel& model, Tracks tracks) {
    std::vector<ListedKey> listed;
    std::vector<ListedId> per_id;
    for (std::uint16_t track : tracks) {
        const std::int32_t li = list_of(model, track);
        if (li < 0) continue;
        listed.clear();
        per_id.clear();
        // Room at once for a key and an id an entry: the steps take one track at a time.
        listed.reserve(model.list_records[li].ids.size());
        per_id.reserve(model.list_records[li].ids.size());
        list_keys(model.list_records[li], model.fade_ranges.size(), listed, per_id);
        if (per_id.empty()) continue;

        Clips& clips = model.main_clips[track];
        std::vector<bool> fade_clip(clips.size(), false);
        // The key each clip takes its flags from: the matched one, else its own; null when the
        // list does not hold it.
        std::vector<const ListedKey*> keys(clips.size(), nullptr);
        std::vector<bool> matched(clips.size(), false);
        for (std::size_t c = 0; c < clips.size(); ++c) {
            const ClipRecord& clip = clips[c];
            const NearKeys near = near_keys(listed, clip.region_index, clip.raw_start);
            fade_clip[c] = near.fade && !near.plain;
            // A key with an entry open has its id among the counting ones: the clip's own id.
            int* left = near.open != nullptr ? &per_id[near.open->id_slot].count : nullptr;
            if (left != nullptr && *left > 0) {
                near.open->open -= 1;
                *left -= 1;
                matched[c] = true;
                keys[c] = near.open;
            } else {
                keys[c] = near.own;
            }
        }

        std::vector<bool> stays(clips.size(), false);
        std::size_t staying = 0;
        int fade_drops = 0;
        std::vector<SkippedClip> other_drops;
        for (std::size_t c = 0; c < clips.size(); ++c) {
            // --keep-fade-clips keeps a fade reference as the clip it was read as.
            if (fade_clip[c] && !ctx.options->keep_fade_clips) {
                fade_drops += 1;
                continue;
            }
            if (!matched[c] && !fade_clip[c]) {
                int* left = id_count(per_id, clips[c].region_index);
                if (left == nullptr || *left <= 0) {
                    other_drops.push_back({model.output_tracks[track].name, clips[c].name});
                    continue;
                }
                *left -= 1;
            }
            stays[c] = true;
            staying += 1;
        }
        if (staying == 0) continue;  // a track never loses every clip here
        ctx.counts->fade_clips += fade_drops;
        // Fade references the walk read as clips, kept; those taken in are counted apart.
        if (ctx.options->keep_fade_clips) {
            const auto taken = ctx.taken_in.find(track);
            for (std::size_t c = 0; c < clips.size(); ++c)
                if (stays[c] && fade_clip[c] &&
                    (taken == ctx.taken_in.end() ||
                     !taken->second.contains({clips[c].region_index, clips[c].raw_start})))
                    ctx.counts->fade_clips_kept += 1;
        }
        std::vector<SkippedClip>& named = ctx.counts->outside_playlist;
        named.insert(named.end(), other_drops.begin(), other_drops.end());
        // The clips that stay close up in place, in their order, with their keys' flags.
        std::size_t kept = 0;
        for (std::size_t c = 0; c < clips.size(); ++c) {
            if (!stays[c]) continue;
            ClipRecord& clip = clips[c];
            const ListedKey* key = keys[c];
            clip.over_next = key && key->over_next ? 1 : 0;
            clip.over_previous = key && key->over_previous ? 1 : 0;
            if (key && key->colour != -2) clip.colour_index = key->colour;
            clip.locked = key && key->locked ? 1 : 0;
            if (kept != c) clips[kept] = std::move(clip);
            kept += 1;
        }
        clips.erase(clips.begin() + static_cast<std::ptrdiff_t>(kept), clips.end());
    }
}

// --keep-fade-clips: the fade placements taken in that are still the track's clips once it is
// matched to its list.
void count_taken_in_kept(Context& ctx, const ClipModel& model, std::uint16_t track) {
    const auto taken = ctx.taken_in.find(track);
    const auto clips = model.main_clips.find(track);
    if (taken == ctx.taken_in.end() || clips == model.main_clips.end()) return;
    std::multiset<PlacementKey>& keys = taken->second;
    for (const ClipRecord& clip : clips->second) {
        const auto key = keys.find({clip.region_index, clip.raw_start});
        if (key == keys.end()) continue;
        keys.erase(key);
        ctx.counts->fade_clips_kept += 1;
    }
}

void note_group_problem(const Context& ctx, const ClipModel& model, std::uint16_t track,
                        int pieces) {
    ctx.counts->clip_group_skipped += pieces;
    ctx.counts->clip_group_problem_tracks[model.output_tracks.at(track).name] += pieces;
}

// The session's clip groups and the lists of what they hold.
struct ClipGroupSource {
    std::vector<RegionListEntry> groups;
    std::vector<RegionPlacementList> item_lists;
};

void read_clip_groups(const Context& ctx, ClipGroupSource& source) {
    read_region_list(ctx.data, ctx.length, source.groups, source.item_lists, nullptr);
    if (!source.groups.empty()) {
        // The regions' lengths tell which list is whose: read again with them, only for a
        // session that has clip groups at all.
        std::map<std::uint32_t, std::int64_t> lengths;
        // An index repeated in a damaged session takes its first region's length, as it is
        // looked up.
        for (const SessionRegion& region : ctx.layout->audio_regions)
            lengths.emplace(region.region_index, region.length);
        read_region_list(ctx.data, ctx.length, source.groups, source.item_lists, &lengths);
    }
}

// Step 6: every clip-group placement of a track's list, laid out flat as clips.
void lay_out_clip_groups(Context& ctx, ClipModel& model, const ClipGroupSource& source,
                         Tracks tracks) {
    const std::vector<RegionListEntry>& groups = source.groups;
    const std::vector<RegionPlacementList>& item_lists = source.item_lists;
    ClipGroupTables tables;
    tables.groups = &groups;
    tables.item_lists = &item_lists;
    tables.regions = &ctx.regions;
    tables.sync_offsets = ctx.sync_matched ? &ctx.sync_samples : nullptr;
    const double rate = ctx.time.sample_rate;

    for (std::uint16_t track : tracks) {
        const std::int32_t li = list_of(model, track);
        if (li < 0) continue;
        const R10BlockRecord& list = model.list_records[li];
        const bool ticks = model.tick_based[track] != 0;
        for (std::size_t j = 0; j < list.ids.size(); ++j) {
            if (!list.group_entry[j] || !entry_counts(list, j)) continue;
            const std::uint32_t id = list.ids[j];
            if (id >= groups.size() || !groups[id].readable || groups[id].list_index < 0 ||
                static_cast<std::size_t>(groups[id].list_index) >= item_lists.size()) {
                note_group_problem(ctx, model, track, 1);
                continue;
            }
            const std::uint8_t base = list.time_bases[j];
            const bool entry_ticks = base == kTickTimeBase || (base != kSampleTimeBase && ticks);
            const double placed_at =
                stored_seconds(ctx.time, list.positions[j], entry_ticks, base == kTickTimeBase);
            const RegionListEntry& group = groups[id];
            std::vector<FlatPlacement> flat;
            FlattenCounts fc;
            flatten_clip_group(tables, id, static_cast<std::int64_t>(group.source_offset),
                               static_cast<std::int64_t>(group.length), placed_at, rate,
                               list.muted[j] != 0, 0, flat, fc, &model.fade_ranges);
            ctx.counts->clip_groups += 1;
            ctx.counts->clip_group_fades += fc.fades;
            ctx.counts->clip_group_unmatched_fades += fc.unmatched_fades;
            ctx.counts->s_curve_fades += fc.special_shapes;
            int skipped = fc.skipped;
            const SharedText group_name = group.name;  // one copy for the group's clips
            for (const FlatPlacement& p : flat) {
                const SessionRegion* region = find_region(ctx.regions, p.region_index);
                if (region == nullptr || region->audio_file_name.empty()) {
                    skipped += 1;
                    continue;
                }
                ClipRecord clip = clip_from_region(ctx, *region, rate);
                clip.raw_start = kClipGroupRawStart;
                clip.start = p.start;
                clip.length = p.length;
                clip.source_offset = p.source_offset;
                const double samples = std::floor(p.source_offset * rate + 0.5);
                clip.source_offset_samples =
                    samples > 0.0 ? static_cast<std::uint64_t>(samples) : 0;
                clip.whole_file = samples <= static_cast<double>(kWholeFileSamples) &&
                                          !ends_with_dash_digits(clip.name)
                                      ? 1
                                      : 0;
                ClipRareFields& rare = clip.rare.edit();
                rare.group_name = group_name;
                clip.muted = p.muted;
                clip.fade_in_length = p.fade_in_length;
                clip.fade_out_length = p.fade_out_length;
                clip.fade_in_shape = p.fade_in_shape;
                clip.fade_out_shape = p.fade_out_shape;
                clip.crossfaded = p.crossfaded;
                rare.snap_offset = p.lead;
                if (clip.fade_in_length > 0.0) ctx.counts->clip_group_fade_ins += 1;
                if (clip.fade_out_length > 0.0) ctx.counts->clip_group_fade_outs += 1;
                ctx.counts->clip_group_clips += 1;
                model.main_clips[track].push_back(std::move(clip));
            }
            if (skipped > 0) {
                note_group_problem(ctx, model, track, skipped);
            }
        }
    }
}

// Whole milliseconds of a start, kept finite for any input.
std::int64_t millisecond_of(double start) {
    const double ms = std::trunc(start * 1000.0);
    if (!(ms > -9e15)) return std::numeric_limits<std::int64_t>::min();
    if (!(ms < 9e15)) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(ms);
}

// Step 7: of clips starting in the same millisecond, one plays: one that ends before the next
// start (+ 0.01 s) over one that runs past it, the longer of two alike. The others are alternates.
void separate_stacked_clips(const Context& ctx, ClipModel& model, Tracks tracks) {
    for (std::uint16_t track : tracks) {
        Clips& held = model.main_clips[track];
        sort_clips_by_start(held);
        // Mostly no two clips start in one millisecond: every clip plays, in the order it has.
        const auto stacked = std::adjacent_find(
            held.begin(), held.end(), [](const ClipRecord& a, const ClipRecord& b) {
                return millisecond_of(a.start) == millisecond_of(b.start);
            });
        if (stacked == held.end()) continue;
        Clips clips = std::move(held);
        Clips main;
        main.reserve(clips.size());  // nearly every clip plays: room at once, not by doubling
        Clips alternates;
        std::size_t first = 0;
        while (first < clips.size()) {
            const std::int64_t key = millisecond_of(clips[first].start);
            std::size_t end = first + 1;
            while (end < clips.size() && millisecond_of(clips[end].start) == key) ++end;
            const double gap =
                end < clips.size()
                    // In doubles: a start clamped to the ends of int64 must not overflow.
                    ? (static_cast<double>(millisecond_of(clips[end].start)) -
                       static_cast<double>(key)) /
                          1000.0
                    : kLastBucketGap;
            std::size_t chosen = first;
            for (std::size_t c = first + 1; c < end; ++c) {
                const bool fits = clips[c].length <= gap + kStackSlack;
                const bool chosen_fits = clips[chosen].length <= gap + kStackSlack;
                if (fits != chosen_fits ? fits : clips[c].length > clips[chosen].length) {
                    chosen = c;
                }
            }
            for (std::size_t c = first; c < end; ++c) {
                if (c == chosen) {
                    main.push_back(std::move(clips[c]));
                } else {
                    alternates.push_back(std::move(clips[c]));
                    ctx.counts->alternate_clips += 1;
                }
            }
            first = end;
        }
        sort_clips_by_start(main);
        model.main_clips[track] = std::move(main);
        if (!alternates.empty()) model.alternates[track] = std::move(alternates);
    }
}

// Lets a list of track regions go, its room with it.
void let_go(std::vector<TrackRegion>& placements) {
    std::vector<TrackRegion>().swap(placements);
}

// The stage; with `release` (the layout itself), its track regions are let go once read.
void build(const std::uint8_t* data, std::size_t length, const SessionLayout& layout,
           SessionLayout* release, double sample_rate, const TempoMap& tempo_map,
           double session_tempo, const ConvertOptions& options, ClipModel& out,
           ClipStageCounts& counts) {
    out = ClipModel{};
    Context ctx;
    ctx.data = data;
    ctx.length = data ? length : 0;
    ctx.layout = &layout;
    // A session without a usable rate is read at 48 kHz rather than divided by zero.
    ctx.time.sample_rate = sample_rate > 0.0 && std::isfinite(sample_rate) ? sample_rate : 48000.0;
    ctx.time.tempo_map = &tempo_map;
    ctx.time.session_tempo =
        session_tempo > 0.0 && std::isfinite(session_tempo) ? session_tempo : 120.0;
    ctx.options = &options;
    ctx.counts = &counts;
    out.sample_rate = ctx.time.sample_rate;
    ctx.regions = index_regions(layout.audio_regions);

    read_sync_points(ctx);
    // Fade placements are read only to be taken in as clips.
    if (release != nullptr && !options.keep_fade_clips) let_go(release->fade_track_regions);
    make_clips(ctx, out);
    if (release != nullptr) {
        release->released_audio_track_regions += release->audio_track_regions.size();
        let_go(release->audio_track_regions);
    }
    read_r10_list_names(ctx.data, ctx.length, out.lists);
    std::uint32_t unreadable = 0;
    read_r10_records(ctx.data, ctx.length, out.list_records, &unreadable);
    counts.unreadable_lists += static_cast<int>(unreadable);
    assign_lists(ctx, out);
    if (options.keep_fade_clips) take_in_fade_clips(ctx, out);
    if (release != nullptr) let_go(release->fade_track_regions);
    const ListTimeBases bases = list_time_bases(out);
    // Fade references are told from clips by their ranges, so the ranges come first.
    if (!options.no_fades) read_ranges_262f(ctx.data, ctx.length, out.fade_ranges);
    ClipGroupSource clip_groups;
    read_clip_groups(ctx, clip_groups);
    // Each track's clips go through steps 3 to 7 and the fades at once: in a session of hundreds
    // of thousands of clips, one track's stay in the cache from step to step, where a pass of
    // each step over all of them would fetch every clip from memory again.
    for (const std::uint16_t& track : out.track_order) {
        const Tracks one(&track, 1);
        convert_starts(ctx, out, bases, one);
        drop_off_playlist(ctx, out, one);
        match_to_lists(ctx, out, one);
        if (options.keep_fade_clips) count_taken_in_kept(ctx, out, track);
        lay_out_clip_groups(ctx, out, clip_groups, one);
        separate_stacked_clips(ctx, out, one);
        // Without ranges every fade placement would read as a bad one: --no-fades applies none.
        if (!options.no_fades) apply_list_fades(out, one, ctx.time, counts);
    }
    // The lists' placements and the audio regions are read by no later stage: the clips hold
    // their regions' names and files.
    if (release != nullptr) {
        std::vector<R10BlockRecord>().swap(out.list_records);
        std::vector<SessionRegion>().swap(release->audio_regions);
    }
}

}  // namespace

void build_clip_placements(const std::uint8_t* data, std::size_t length,
                           const SessionLayout& layout, double sample_rate,
                           const TempoMap& tempo_map, double session_tempo,
                           const ConvertOptions& options, ClipModel& out, ClipStageCounts& counts) {
    build(data, length, layout, nullptr, sample_rate, tempo_map, session_tempo, options, out,
          counts);
}

void build_clip_placements_and_release(const std::uint8_t* data, std::size_t length,
                                       SessionLayout& layout, double sample_rate,
                                       const TempoMap& tempo_map, double session_tempo,
                                       const ConvertOptions& options, ClipModel& out,
                                       ClipStageCounts& counts) {
    build(data, length, layout, &layout, sample_rate, tempo_map, session_tempo, options, out,
          counts);
}

void refresh_output_clips(ClipModel& model) {
    for (auto& [track, output] : model.output_tracks) {
        const auto clips = model.main_clips.find(track);
        if (clips == model.main_clips.end()) {
            output.clips.clear();
            continue;
        }
        // Moved, not copied: a second full set of clips would double the stage's peak memory.
        output.clips = std::move(clips->second);
        clips->second.clear();
        sort_clips_by_start(output.clips);
    }
}
