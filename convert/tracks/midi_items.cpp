#include "convert/tracks/midi_items.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include "convert/tracks/name_matching.h"
#include "session/midi_chunks.h"
#include "session/scan.h"

MidiStageCounts midi_counts;

namespace {

// Overlaps up to this many ticks are left as they are.
constexpr std::int64_t kOverlapTolerance = 960;
// A placement belongs to a region when it stands this close to the region's start.
constexpr std::int64_t kPlacementReach = 960;
// Item events count 960 ticks to the quarter note, a thousandth of Pro Tools' ticks.
constexpr double kItemTicksPerStoredTick = 0.001;
constexpr double kItemTicksPerQuarterNote = 960.0;
constexpr double kSecondsPerDay = 86400.0;
constexpr std::uint64_t kLow40Bits = (std::uint64_t{1} << 40) - 1;
constexpr std::uint8_t kControllerKind = 2;
constexpr std::uint8_t kPressureKind = 4;
constexpr std::int64_t kBendCentre = 0x2000;
constexpr std::int64_t kBendTop = 0x3FFF;

// Region values from the session-file layer's own lists are not held to the walk's 48 bits:
// they are kept within 2^52, where sums of a few of them cannot wrap.
constexpr std::int64_t kLargestValue = std::int64_t{1} << 52;

std::int64_t bounded(std::int64_t value) {
    return std::clamp(value, -kLargestValue, kLargestValue);
}

struct OverlapMode {
    std::int64_t position = 0;
    std::uint8_t mode = 0;
};

// What the track's placement list says about each region id.
struct PlaylistTables {
    std::set<std::uint32_t> flagged;
    std::map<std::uint32_t, std::int32_t> colour;
    std::map<std::uint32_t, std::vector<OverlapMode>> placements;
};

std::map<std::string, PlaylistTables> playlist_tables(const std::vector<PlacementList>* lists) {
    std::map<std::string, PlaylistTables> out;
    if (!lists) return out;
    for (const PlacementList& list : *lists) {
        PlaylistTables& t = out[list.name];
        for (std::size_t i = 0; i < list.region_ids.size(); ++i) {
            const std::uint32_t id = list.region_ids[i];
            if (i < list.placement_flags.size() && list.placement_flags[i] != 0)
                t.flagged.insert(id);
            if (i < list.values.size()) {
                const std::int32_t colour = static_cast<std::int32_t>(list.values[i]);
                if (colour != -2) t.colour.emplace(id, colour);
            }
            if (i < list.positions.size() && i < list.bytes_24.size())
                t.placements[id].push_back(
                    {list.positions[i], static_cast<std::uint8_t>(list.bytes_24[i])});
        }
    }
    return out;
}

// The overlap mode of the placement of `region` nearest to its start, 0 when none is near.
std::uint8_t overlap_mode(const std::map<std::string, PlaylistTables>& tables,
                          const TrackRegion& placed, const SessionRegion& region) {
    const auto table = tables.find(placed.track_name);
    if (table == tables.end()) return 0;
    const auto found = table->second.placements.find(region.region_index);
    if (found == table->second.placements.end()) return 0;
    std::uint8_t mode = 0;
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    for (const OverlapMode& p : found->second) {
        const std::int64_t start = bounded(placed.start);
        const std::int64_t position = bounded(p.position);
        const std::int64_t distance = position > start ? position - start : start - position;
        if (distance <= kPlacementReach && distance < best) {
            best = distance;
            mode = p.mode;
        }
    }
    return mode;
}

// Per region: a truncation length (-1 none) and a head cut (0 none), in ticks.
struct RegionCuts {
    std::vector<std::int64_t> truncation;
    std::vector<std::int64_t> head_cut;
};

RegionCuts overlap_cuts(const std::vector<TrackRegion>& regions,
                        const std::vector<SessionRegion>& placed_regions,
                        const std::map<std::string, PlaylistTables>& tables) {
    RegionCuts cuts;
    cuts.truncation.assign(regions.size(), -1);
    cuts.head_cut.assign(regions.size(), 0);
    std::map<std::pair<std::uint16_t, std::string>, std::vector<std::size_t>> tracks;
    for (std::size_t i = 0; i < regions.size(); ++i)
        tracks[{regions[i].track_index, regions[i].track_name}].push_back(i);
    for (auto& [key, list] : tracks) {
        std::stable_sort(list.begin(), list.end(), [&](std::size_t a, std::size_t b) {
            return regions[a].start < regions[b].start;
        });
        for (std::size_t k = 1; k < list.size(); ++k) {
            const TrackRegion& previous = regions[list[k - 1]];
            const TrackRegion& current = regions[list[k]];
            const SessionRegion& previous_region = placed_regions[previous.region];
            const std::int64_t gap = bounded(current.start) - bounded(previous.start);
            const std::int64_t length = bounded(previous_region.length);
            if (gap <= 0 || length == 0) continue;
            const std::int64_t overlap = length - gap;
            if (overlap <= kOverlapTolerance) continue;
            const std::uint8_t mode = overlap_mode(tables, previous, previous_region);
            if (mode == 1) {
                const std::int64_t current_length = bounded(placed_regions[current.region].length);
                if (overlap < current_length || current_length == 0)
                    cuts.head_cut[list[k]] = overlap;
            } else if (mode == 2 || mode == 3) {
                cuts.truncation[list[k - 1]] = gap;  // regions carry no mute flag of their own
            }
        }
    }
    return cuts;
}

// By (list name, region id), the first placement's stored position where its list stores no time
// base, else -1.
using UntypedPositions = std::map<std::pair<std::string, std::uint32_t>, std::int64_t>;

UntypedPositions untyped_positions(const std::vector<NamedPlacement>* named) {
    UntypedPositions out;
    if (!named) return out;
    for (const NamedPlacement& p : *named)
        out.try_emplace({p.list_name, p.item_id}, is_known_time_base(p.time_base)
                                                      ? -1
                                                      : static_cast<std::int64_t>(p.position));
    return out;
}

// How one item turns session units into seconds and item ticks.
struct ItemTime {
    bool samples = false;
    double rate = 48000.0;
    const TempoMap* map = nullptr;
    double tempo = 120.0;
    std::int64_t start = 0;      // ticks or samples from the session start
    double start_seconds = 0.0;  // where the item's content starts (sample time)
    double start_ticks = 0.0;    // session ticks there

    double seconds(double units) const {
        if (samples) return units / rate;
        return map ? ticks_to_seconds(*map, units, tempo)
                   : units * 60.0 / (tempo * kTicksPerQuarterNote);
    }
    // Item ticks at `units` past the item's content start. Sample time follows the tempo map
    // from the item's own start.
    std::uint64_t item_ticks(double units) const {
        static const TempoMap kConstantTempo;
        double ticks = units * kItemTicksPerStoredTick;
        if (samples) {
            const double at = start_seconds + units / rate;
            const double quarter_notes =
                (seconds_to_ticks(map ? *map : kConstantTempo, at, tempo) - start_ticks) /
                kTicksPerQuarterNote;
            ticks = quarter_notes * kItemTicksPerQuarterNote;
        }
        const double rounded = std::trunc(ticks + 0.5);
        if (!(rounded > 0.0)) return 0;
        return rounded >= 9.0e18 ? std::uint64_t{9'000'000'000'000'000'000ULL}
                                 : static_cast<std::uint64_t>(rounded);
    }
};

struct EventPlace {
    std::uint64_t position = 0;
    bool inside = false;
};

// Where an event `rel` units into the region lands.
EventPlace place(const ItemTime& time, std::int64_t rel, std::int64_t shift, std::int64_t length) {
    const std::int64_t shifted = rel + shift < 0 ? 0 : rel + shift;
    return {time.item_ticks(static_cast<double>(shifted)),
            (length == 0 || rel < length) && rel >= 0};
}

MidiItemEvent chunk_controller(const ControllerEvent& e) {
    const std::uint8_t kind = e.kind & 0xFF;
    if (kind == kControllerKind) return {0, 0xB0, controller_number(e), e.value & 0x7F, 1, 0, {}};
    if (kind == kPressureKind) return {0, 0xD0, e.value & 0x7F, 0, 1, 0, {}};
    const std::int64_t bend =
        std::clamp<std::int64_t>(static_cast<std::int32_t>(e.value) + kBendCentre, 0, kBendTop);
    return {
        0, 0xE0, static_cast<std::uint32_t>(bend & 0x7F), static_cast<std::uint32_t>(bend >> 7), 1,
        0, {}};
}

bool has_chunk_events(const MidiChunk& chunk) {
    return !chunk.controller_events.empty() || !chunk.streams.empty();
}

// Where a region's content lies once its time base, its cuts and a start before zero are
// settled: units (ticks or samples) from the session start, the source offset and the length.
struct RegionSpan {
    ItemTime time;
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::int64_t shift = 0;  // the content starts this far before the region: -offset, or 0
    bool truncated = false;
};

RegionSpan region_span(const TrackRegion& placed, const SessionRegion& region,
                       std::int64_t truncation, std::int64_t head, const UntypedPositions& untyped,
                       const MidiStageInput& in, MidiStageCounts& counts) {
    RegionSpan span;
    ItemTime& time = span.time;
    time.rate = in.sample_rate > 0.0 ? in.sample_rate : 48000.0;
    time.map = in.tempo_map;
    time.tempo = in.tempo;
    // Time base: the placement's own byte, else a plain sample count within a day.
    time.samples = placed.start_in_samples;
    time.start = bounded(placed.start);
    const auto stored = untyped.find({placed.track_name, region.region_index});
    if (stored == untyped.end()) ++counts.unpaired_clips;
    if (!time.samples) {
        const std::int64_t position = stored == untyped.end() ? -1 : stored->second;
        if (position >= 0 && position < static_cast<std::int64_t>(kStoredTickOffset) &&
            static_cast<double>(position) < kSecondsPerDay * time.rate) {
            time.samples = true;
            time.start = position;
        }
    }

    span.length = bounded(region.length);
    span.offset = bounded(region.source_offset);
    if (time.samples) {
        ++counts.sample_time_clips;
        if (truncation >= 0 || head > 0) ++counts.sample_time_overlaps;
    } else {
        if (truncation >= 0 && (truncation < span.length || span.length == 0)) {
            span.length = truncation;
            span.truncated = true;
            ++counts.truncated_clips;
        }
        if (head > 0 && head < span.length) {
            time.start += head;
            span.offset -= head;
            span.length -= head;
            ++counts.head_cut_clips;
        }
        // A start before the session's zero plays from zero, its notes at their own times.
        if (time.start < 0) {
            const std::int64_t lead = -time.start;
            time.start = 0;
            span.offset -= lead;
            span.length = span.length == 0 ? 0 : std::max<std::int64_t>(span.length - lead, 0);
        }
    }
    span.shift = span.offset < 0 ? -span.offset : 0;
    // Item ticks count from the content's start, `shift` before the region's.
    if (time.samples) {
        time.start_seconds = time.seconds(static_cast<double>(time.start - span.shift));
        static const TempoMap kConstantTempo;
        time.start_ticks = seconds_to_ticks(in.tempo_map ? *in.tempo_map : kConstantTempo,
                                            time.start_seconds, in.tempo);
    }
    return span;
}

// The notes as note-on and note-off events; returns the overhang past the region's end.
std::int64_t add_notes(const SessionRegion& region, const RegionSpan& span, bool keep_inaudible,
                       MidiItem& item, MidiStageCounts& counts) {
    std::int64_t overhang = 0;
    for (const MidiEvent& note : region.midi->events) {
        const std::int64_t rel = span.offset + static_cast<std::int64_t>(note.position);
        const std::int64_t end = rel + static_cast<std::int64_t>(note.length);
        if (rel >= end) continue;
        const EventPlace on = place(span.time, rel, span.shift, span.length);
        std::uint64_t off = place(span.time, end, span.shift, span.length).position;
        std::uint8_t outside = 0;
        // Where a later clip takes over, a note running past the cut ends there: the item is
        // not lengthened over the clip that plays.
        if (on.inside && span.length != 0 && end > span.length && !span.truncated) {
            overhang = std::max(overhang, end - span.length);
            ++counts.notes_past_edge;
        }
        if (on.position >= off) {
            off = on.position + 1;
            outside = 1;
            ++counts.too_short_notes;
        }
        if (!on.inside) {
            if (keep_inaudible) {
                counts.outside_events_kept += 2;
            } else {
                outside = 1;
            }
        }
        item.events.push_back({on.position, 0x90, note.note, note.velocity, 2, outside, {}});
        item.events.push_back({off, 0x80, note.note, 0, 0, outside, {}});
    }
    return overhang;
}

// The chunk's controller, pressure, pitch-bend and SysEx events, placed like the notes.
void add_chunk_events(const MidiChunk& chunk, const RegionSpan& span, bool keep_inaudible,
                      MidiItem& item, MidiStageCounts& counts) {
    // A chunk without notes stores no position of its own: its base is the origin.
    const std::uint64_t base = chunk.position != 0 ? chunk.position : kStoredTickOffset;
    const auto add = [&](std::uint64_t stored, MidiItemEvent event) {
        const std::int64_t from_base = static_cast<std::int64_t>(stored & kLow40Bits) -
                                       static_cast<std::int64_t>(base & kLow40Bits);
        if (from_base < 0) ++counts.events_before_chunk;
        const EventPlace at = place(span.time, span.offset + from_base, span.shift, span.length);
        event.position = at.position;
        if (!at.inside) {
            if (keep_inaudible) {
                ++counts.outside_events_kept;
            } else {
                event.outside = 1;
            }
        }
        item.events.push_back(std::move(event));
    };
    for (const ControllerEvent& e : chunk.controller_events) add(e.position, chunk_controller(e));
    for (const MidiStreamEntry& s : chunk.streams) add(s.position, {0, 0xF0, 0, 0, 1, 0, s.bytes});
}

}  // namespace

ChunkLookup chunk_lookup(const std::vector<MidiChunk>& chunks) {
    ChunkLookup lookup;
    lookup.chunks = &chunks;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        // A chunk without notes stores no position: only its number can name it.
        if (chunks[i].event_count == 0) continue;
        const auto [at, added] = lookup.by_first_note.try_emplace(
            {chunks[i].position, chunks[i].event_count}, static_cast<std::int32_t>(i));
        if (!added) at->second = -1;  // two chunks agree: neither is taken
    }
    return lookup;
}

std::int32_t matching_chunk(const SessionRegion& region, const ChunkLookup& lookup) {
    const std::vector<MidiChunk>& chunks = *lookup.chunks;
    const std::uint64_t notes = region.midi->events.size();
    const std::uint64_t position = region.midi->chunk_position & kLow40Bits;
    if (region.midi->extra >= 0 && static_cast<std::size_t>(region.midi->extra) < chunks.size()) {
        const MidiChunk& named = chunks[static_cast<std::size_t>(region.midi->extra)];
        if (named.event_count == notes && (notes == 0 || named.position == position))
            return region.midi->extra;
    }
    if (notes == 0) return -1;
    const auto found = lookup.by_first_note.find({position, notes});
    return found == lookup.by_first_note.end() ? -1 : found->second;
}

void build_midi_items(const MidiStageInput& in, MidiTrackSet& out, MidiStageCounts& counts) {
    out = MidiTrackSet{};
    if (!in.regions || !in.midi_regions) return;
    const std::vector<TrackRegion>& regions = *in.regions;
    const std::vector<SessionRegion>& placed_regions = *in.midi_regions;
    static const std::vector<MidiChunk> kNoChunks;
    const std::vector<MidiChunk>& chunks = in.chunks ? *in.chunks : kNoChunks;
    const std::map<std::string, PlaylistTables> tables = playlist_tables(in.placement_lists);
    const RegionCuts cuts = overlap_cuts(regions, placed_regions, tables);
    const ChunkLookup lookup = chunk_lookup(chunks);
    const UntypedPositions untyped = untyped_positions(in.named_placements);
    if (in.named_placements) {
        std::set<std::uint8_t> bases;
        for (const NamedPlacement& p : *in.named_placements)
            if (is_known_time_base(p.time_base)) {
                ++counts.timebase_records;
                bases.insert(p.time_base);
            }
        counts.records_time_base = bases.size() == 1 ? *bases.begin() : kNoTimeBase;
    }
    std::size_t chunk_events_made = 0;

    for (std::size_t i = 0; i < regions.size(); ++i) {
        const TrackRegion& placed = regions[i];
        const SessionRegion& region = placed_regions[placed.region];
        const std::int32_t chunk_index = matching_chunk(region, lookup);
        const MidiChunk* chunk =
            chunk_index >= 0 ? &chunks[static_cast<std::size_t>(chunk_index)] : nullptr;
        if (!chunk && region.midi->extra >= 0 &&
            static_cast<std::size_t>(region.midi->extra) < chunks.size() &&
            has_chunk_events(chunks[static_cast<std::size_t>(region.midi->extra)]))
            ++counts.unmatched_chunks;
        const bool chunk_events = chunk && has_chunk_events(*chunk);
        if (region.midi->events.empty() && !chunk_events) {
            counts.empty_regions.push_back({placed.track_name, region.name});
            continue;
        }

        auto [entry, created] = out.tracks.try_emplace(placed.track_index);
        OutputTrack& track = entry->second;
        if (created) {
            track.name = placed.track_name;
            out.order.push_back(placed.track_index);
        }

        MidiItem item;
        item.name = region.name;
        const auto table = tables.find(placed.track_name);
        if (table != tables.end()) {
            item.marked = table->second.flagged.contains(region.region_index) ? 1 : 0;
            const auto colour = table->second.colour.find(region.region_index);
            if (colour != table->second.colour.end()) item.colour_index = colour->second;
        }

        const RegionSpan span =
            region_span(placed, region, cuts.truncation[i], cuts.head_cut[i], untyped, in, counts);
        if (span.time.samples) out.sample_time.insert(placed.track_index);
        const ItemTime& time = span.time;
        item.position = time.seconds(static_cast<double>(time.start));
        const double end_units = static_cast<double>(time.start) + static_cast<double>(span.length);
        item.length = time.seconds(end_units) - item.position;
        if (span.offset < 0)
            item.start_offset =
                item.position - time.seconds(static_cast<double>(time.start + span.offset));
        item.content_length = item.length;

        const std::int64_t overhang = add_notes(region, span, in.keep_inaudible, item, counts);
        if (overhang > 0 && !in.truncate_to_clip)
            item.length = time.seconds(end_units + static_cast<double>(overhang)) - item.position;

        if (chunk_events) {
            const std::size_t made = chunk->controller_events.size() + chunk->streams.size();
            if (chunk_events_made + made > in.event_limit) {
                counts.events_over_cap += static_cast<int>(std::min<std::size_t>(made, 1u << 30));
                counts.capped_regions.push_back({placed.track_name, region.name});
            } else {
                chunk_events_made += made;
                add_chunk_events(*chunk, span, in.keep_inaudible, item, counts);
            }
        }

        std::stable_sort(item.events.begin(), item.events.end(),
                         [](const MidiItemEvent& a, const MidiItemEvent& b) {
                             return a.position != b.position ? a.position < b.position
                                                             : a.order_key < b.order_key;
                         });
        track.midi_items.push_back(std::move(item));
    }

    std::sort(out.order.begin(), out.order.end());
}

void settle_midi_tracks(MidiTrackSet& set, const std::vector<std::string>& session_names,
                        const std::set<std::string>& taken) {
    std::vector<std::string> names, first_items;
    for (std::uint16_t index : set.order) {
        const OutputTrack& track = set.tracks.at(index);
        names.push_back(track.name);
        first_items.push_back(track.midi_items.empty() ? std::string()
                                                       : track.midi_items.front().name);
    }
    const std::vector<std::string> settled =
        settle_midi_track_names(session_names, taken, names, first_items);
    set.midi_track_names.clear();
    for (std::size_t i = 0; i < set.order.size(); ++i) {
        OutputTrack& track = set.tracks.at(set.order[i]);
        if (i < settled.size() && !settled[i].empty()) track.session_name = settled[i];
        set.midi_track_names.insert(track.session_name.empty() ? track.name : track.session_name);
    }
}
