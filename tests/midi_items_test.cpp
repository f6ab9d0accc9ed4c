// The MIDI item stage: time bases, overlaps, notes and their overhang, chunk events, chunk
// matching and the MIDI tracks' names.
#include "convert/tracks/midi_items.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "session/scan.h"

namespace {

constexpr std::int64_t kQuarter = 960000;  // stored ticks

// A placement with a region of its own; build() lays them out as the walk does, the regions in
// one list that the placements name by their place in it.
struct Placed {
    TrackRegion placement;
    SessionRegion region;
};

Placed midi_region(const std::string& track, std::uint16_t index, std::uint16_t id,
                   std::int64_t start, std::int64_t length,
                   std::vector<MidiEvent> notes = {{0, 240000, 60, 100}}) {
    Placed r;
    r.placement.track_name = track;
    r.placement.track_index = index;
    r.placement.start = start;
    r.region.region_index = id;
    r.region.name = track + "-0" + std::to_string(id + 1);
    r.region.start = start;
    r.region.length = length;
    r.region.midi.edit().events = std::move(notes);
    r.region.midi.edit().chunk_position = kStoredTickOffset;
    return r;
}

struct Built {
    MidiTrackSet set;
    MidiStageCounts counts;
};

struct Inputs {
    std::vector<Placed> regions;
    std::vector<MidiChunk> chunks;
    std::vector<PlacementList> lists;
    std::vector<NamedPlacement> named;
    TempoMap map;
    bool keep_inaudible = false;
    bool truncate = false;
    std::size_t limit = 4'000'000;
};

Built build(const Inputs& inputs) {
    std::vector<TrackRegion> placements;
    std::vector<SessionRegion> regions;
    for (const Placed& p : inputs.regions) {
        placements.push_back(p.placement);
        placements.back().region = static_cast<std::uint32_t>(regions.size());
        regions.push_back(p.region);
    }
    MidiStageInput in;
    in.regions = &placements;
    in.midi_regions = &regions;
    in.chunks = &inputs.chunks;
    in.placement_lists = &inputs.lists;
    in.named_placements = &inputs.named;
    in.tempo_map = &inputs.map;
    in.keep_inaudible = inputs.keep_inaudible;
    in.truncate_to_clip = inputs.truncate;
    in.event_limit = inputs.limit;
    Built out;
    build_midi_items(in, out.set, out.counts);
    return out;
}

const MidiItem& only_item(const Built& b) {
    static const MidiItem kNone;
    if (b.set.tracks.size() != 1 || b.set.tracks.begin()->second.midi_items.size() != 1) {
        ADD_FAILURE() << "expected one item";
        return kNone;
    }
    return b.set.tracks.begin()->second.midi_items.front();
}

using Row = std::tuple<std::uint64_t, std::uint32_t, std::uint32_t, std::uint32_t, int>;
std::vector<Row> rows(const MidiItem& item) {
    std::vector<Row> out;
    for (const MidiItemEvent& e : item.events)
        out.emplace_back(e.position, e.status, e.data1, e.data2, e.outside);
    return out;
}

TEST(MidiItems, PositionsByTimeBase) {
    struct Case {
        const char* what;
        std::int64_t start;
        bool samples;
        double position;
        int sample_clips;
    };
    const Case cases[] = {
        {"samples at 48 kHz", 144000, true, 3.0, 1},
        {"samples past a day, the byte decides", 4'200'000'000, true, 87500.0, 1},
        {"ticks past 2^32", 5'000'000'000, false, 2604.1666666667, 0},
        {"ticks before zero play from zero", -480000, false, 0.0, 0},
    };
    for (const Case& c : cases) {
        Inputs in;
        in.regions = {midi_region("Keys", 0, 0, c.start, 4 * kQuarter,
                                  {{0, 240000, 60, 100}, {960000, 240000, 62, 100}})};
        in.regions[0].placement.start_in_samples = c.samples;
        const Built b = build(in);
        const MidiItem& item = only_item(b);
        EXPECT_NEAR(item.position, c.position, 1e-9) << c.what;
        EXPECT_EQ(b.counts.sample_time_clips, c.sample_clips) << c.what;
        EXPECT_EQ(b.set.sample_time.size(), static_cast<std::size_t>(c.sample_clips)) << c.what;
        EXPECT_EQ(b.counts.unpaired_clips, 1) << c.what;  // no record names it
    }
    // The clip starting half a quarter note before zero keeps its notes at their own times: the
    // first note, wholly before zero, is kept muted; the second lands half a quarter note in.
    Inputs early;
    early.regions = {midi_region("Keys", 0, 0, -480000, 4 * kQuarter,
                                 {{0, 240000, 60, 100}, {960000, 240000, 62, 100}})};
    const Built early_built = build(early);
    const MidiItem& item = only_item(early_built);
    EXPECT_NEAR(item.length, 1.75, 1e-9);
    EXPECT_NEAR(item.start_offset, 0.25, 1e-9);
    EXPECT_EQ(rows(item), (std::vector<Row>{{0, 0x90, 60, 100, 1},
                                            {240, 0x80, 60, 0, 1},
                                            {960, 0x90, 62, 100, 0},
                                            {1200, 0x80, 62, 0, 0}}));
}

TEST(MidiItems, AnUntypedPlacementIsReadAsSamplesOnlyWithinADay) {
    for (const auto& [stored, samples] :
         std::vector<std::pair<std::uint64_t, bool>>{{144000, true}, {48000ULL * 86400, false}}) {
        Inputs in;
        in.regions = {midi_region(
            "Keys", 0, 0,
            static_cast<std::int64_t>(stored) - static_cast<std::int64_t>(kStoredTickOffset),
            kQuarter)};
        in.named = {{"Keys", 0, stored, kNoTimeBase}};
        const Built b = build(in);
        EXPECT_EQ(b.counts.sample_time_clips, samples ? 1 : 0) << stored;
        EXPECT_EQ(b.counts.unpaired_clips, 0) << stored;  // its record names it
        EXPECT_EQ(b.counts.timebase_records, 0) << stored;
        if (samples) {
            EXPECT_NEAR(only_item(b).position, 3.0, 1e-9);
        }
    }
}

TEST(MidiItems, SampleTimeEventsFollowTheTempoMap) {
    // 120 BPM for the first 2 quarter notes (1 s), then 60 BPM. A clip at 0.5 s with a note
    // 1 s in (at 1.5 s): one quarter note plus half a quarter note at 60 BPM after the clip
    // start. With the content starting at 0 s (0.5 s before the clip), the note lies 2.5
    // quarter notes into it.
    for (const auto& [offset, ticks] :
         std::vector<std::pair<std::int64_t, std::uint64_t>>{{0, 1440}, {-24000, 2400}}) {
        Inputs in;
        in.map.entries = {{0.0, 120.0}, {2.0 * kQuarter, 60.0}};
        in.regions = {midi_region("Keys", 0, 0, 24000, 96000,
                                  {{static_cast<std::uint64_t>(48000 - offset), 4800, 60, 100}})};
        in.regions[0].placement.start_in_samples = true;
        in.regions[0].region.source_offset = offset;
        const Built built = build(in);
        const MidiItem& item = only_item(built);
        EXPECT_NEAR(item.position, 0.5, 1e-12);
        ASSERT_EQ(item.events.size(), 2u);
        EXPECT_EQ(item.events[0].position, ticks) << offset;
    }
}

TEST(MidiItems, NotesInsideOutsideShortAndOverhanging) {
    // A 2-quarter clip: a 1-tick note, a note before the source offset, one hanging half a
    // quarter past the end.
    const std::vector<MidiEvent> notes = {
        {480000, 1, 61, 90}, {0, 240000, 60, 100}, {960000 + 480000, 960000, 64, 80}};
    for (bool keep : {false, true}) {
        for (bool truncate : {false, true}) {
            Inputs in;
            in.regions = {midi_region("Keys", 0, 0, 0, 2 * kQuarter, notes)};
            in.regions[0].region.source_offset = -240000;  // content starts a sixteenth early
            in.keep_inaudible = keep;
            in.truncate = truncate;
            const Built b = build(in);
            const MidiItem& item = only_item(b);
            EXPECT_NEAR(item.content_length, 1.0, 1e-12);
            EXPECT_NEAR(item.length, truncate ? 1.0 : 1.125, 1e-12);
            EXPECT_NEAR(item.start_offset, 0.125, 1e-12);
            EXPECT_EQ(rows(item), (std::vector<Row>{{0, 0x90, 60, 100, keep ? 0 : 1},
                                                    {240, 0x80, 60, 0, keep ? 0 : 1},
                                                    {480, 0x90, 61, 90, 1},
                                                    {481, 0x80, 61, 0, 1},
                                                    {1440, 0x90, 64, 80, 0},
                                                    {2400, 0x80, 64, 0, 0}}))
                << keep << truncate;
            EXPECT_EQ(b.counts.too_short_notes, 1);
            EXPECT_EQ(b.counts.notes_past_edge, 1);
            EXPECT_EQ(b.counts.outside_events_kept, keep ? 2 : 0);
        }
    }
}

TEST(MidiItems, OverlapsCutByThePlacementsMode) {
    // The first clip holds a note from 3.5 to 4.5 quarter notes, across the second clip's start
    // at 4 (2 s); a quarter note is 0.5 s.
    const double past_note = 2.25;
    const double over = 961 / 1920000.0;
    struct Case {
        const char* what;
        std::int64_t overlap;  // the first clip's end past the second's start
        std::uint8_t mode;
        double first_length, second_position;
        int truncated, head_cut;
    };
    const Case cases[] = {
        {"960 ticks are left alone", 960, 2, past_note, 2.0, 0, 0},
        {"mode 2 truncates the earlier clip; the note across the cut does not lengthen it", 961, 2,
         2.0, 2.0, 1, 0},
        {"mode 1 starts the later clip after it", 961, 1, past_note, 2.0 + over, 0, 1},
        {"other modes change nothing", 961, 7, past_note, 2.0, 0, 0},
    };
    for (const Case& c : cases) {
        Inputs in;
        const std::int64_t gap = 4 * kQuarter;
        in.regions = {
            midi_region("Keys", 0, 0, 0, gap + c.overlap,
                        {{0, 240000, 60, 100}, {3 * kQuarter + 480000, kQuarter, 62, 90}}),
            midi_region("Keys", 0, 1, gap, 4 * kQuarter)};
        PlacementList list;
        list.name = "Keys";
        list.region_ids = {0, 1};
        list.placement_flags = {0, 1};
        list.values = {static_cast<std::uint32_t>(-2), 5};
        list.bytes_24 = {c.mode, 0};
        list.positions = {100, gap};  // near enough to the first clip's start
        in.lists = {list};
        const Built b = build(in);
        const std::vector<MidiItem>& items = b.set.tracks.at(0).midi_items;
        ASSERT_EQ(items.size(), 2u) << c.what;
        EXPECT_NEAR(items[0].length, c.first_length, 1e-9) << c.what;
        EXPECT_NEAR(items[1].position, c.second_position, 1e-9) << c.what;
        EXPECT_EQ(b.counts.truncated_clips, c.truncated) << c.what;
        EXPECT_EQ(b.counts.head_cut_clips, c.head_cut) << c.what;
        // The covered start of a clip that starts later is kept, muted.
        EXPECT_EQ(items[1].events.front().outside, c.head_cut) << c.what;
        EXPECT_EQ(items[0].colour_index, -2);
        EXPECT_EQ(items[1].colour_index, 5);
        EXPECT_EQ(items[1].marked, 1);
        EXPECT_EQ(items[0].marked, 0);
    }
}

TEST(MidiItems, SampleTimeClipsKeepTheirLengthWhereTheyOverlap) {
    Inputs in;
    const std::vector<MidiEvent> note = {{0, 4800, 60, 100}};  // samples, like the clip
    in.regions = {midi_region("Keys", 0, 0, 0, 96000, note),
                  midi_region("Keys", 0, 1, 48000, 96000, note)};
    for (Placed& r : in.regions) r.placement.start_in_samples = true;
    PlacementList list;
    list.name = "Keys";
    list.region_ids = {0};
    list.placement_flags = {0};
    list.values = {0};
    list.bytes_24 = {2};
    list.positions = {0};
    in.lists = {list};
    const Built b = build(in);
    EXPECT_NEAR(b.set.tracks.at(0).midi_items[0].length, 2.0, 1e-12);
    EXPECT_EQ(b.counts.sample_time_clips, 2);
    EXPECT_EQ(b.counts.sample_time_overlaps, 1);
    EXPECT_EQ(b.counts.truncated_clips, 0);
}

TEST(MidiItems, ChunkEventsControllersPressureBendAndSysex) {
    MidiChunk chunk;
    chunk.event_count = 0;
    chunk.controller_events = {{0x0702, kStoredTickOffset + 480000, 100},
                               {0x0004, kStoredTickOffset + 240000, 0x1FF},
                               {0x0001, kStoredTickOffset + 0, 9000},
                               {0x0001, kStoredTickOffset + 0, static_cast<std::uint32_t>(-9000)},
                               {0x0702, kStoredTickOffset + 8 * kQuarter, 1}};
    chunk.streams = {{kStoredTickOffset + 240000, {0x43, 0x10}}};
    Inputs in;
    in.chunks = {chunk};
    in.regions = {midi_region("Pads", 3, 0, 0, 4 * kQuarter, {})};
    in.regions[0].region.midi.edit().extra = 0;
    const Built b = build(in);
    const MidiItem& item = only_item(b);
    EXPECT_EQ(rows(item), (std::vector<Row>{{0, 0xE0, 0x7F, 0x7F, 0},
                                            {0, 0xE0, 0, 0, 0},
                                            {240, 0xD0, 0x7F, 0, 0},
                                            {240, 0xF0, 0, 0, 0},
                                            {480, 0xB0, 7, 100, 0},
                                            {7680, 0xB0, 7, 1, 1}}));
    EXPECT_EQ(item.events[3].payload, (std::vector<std::uint8_t>{0x43, 0x10}));
    EXPECT_TRUE(b.counts.empty_regions.empty());

    // Past the run's limit the events are left out, counted and named.
    in.limit = 3;
    const Built capped = build(in);
    EXPECT_EQ(capped.counts.events_over_cap, 6);
    ASSERT_EQ(capped.counts.capped_regions.size(), 1u);
    EXPECT_EQ(capped.counts.capped_regions[0].clip, "Pads-01");
}

TEST(MidiItems, RegionsWithNeitherNotesNorEventsAreNamed) {
    Inputs in;
    in.regions = {midi_region("Pads", 0, 0, 0, kQuarter, {})};
    const Built b = build(in);
    EXPECT_TRUE(b.set.tracks.empty());
    ASSERT_EQ(b.counts.empty_regions.size(), 1u);
    EXPECT_EQ(b.counts.empty_regions[0].track, "Pads");
    EXPECT_EQ(b.counts.empty_regions[0].clip, "Pads-01");
}

TEST(MidiItems, ChunksMatchByFirstNoteAndCount) {
    MidiChunk a, b, c;
    a.event_count = 1;
    a.position = kStoredTickOffset;
    b.event_count = 2;
    b.position = kStoredTickOffset + 5;
    c = b;
    SessionRegion region;
    region.midi.edit().events = {{}, {}};
    region.midi.edit().chunk_position = kStoredTickOffset + 5;
    region.midi.edit().extra = 0;  // names the wrong chunk
    const std::vector<MidiChunk> two = {a, b}, three = {a, b, c};
    EXPECT_EQ(matching_chunk(region, chunk_lookup(two)), 1);
    EXPECT_EQ(matching_chunk(region, chunk_lookup(three)), -1);  // two agree: neither
    region.midi.edit().extra = 2;
    EXPECT_EQ(matching_chunk(region, chunk_lookup(three)), 2);
    region.midi.edit().chunk_position = kStoredTickOffset + 6;
    EXPECT_EQ(matching_chunk(region, chunk_lookup(three)), -1);

    // A region whose named chunk carries controller data it does not match is counted.
    b.controller_events = {{2, kStoredTickOffset, 1}};
    Inputs in;
    in.chunks = {a, b};
    in.regions = {midi_region("Keys", 0, 0, 0, kQuarter)};
    in.regions[0].region.midi.edit().extra = 1;
    in.regions[0].region.midi.edit().chunk_position = kStoredTickOffset + 99;
    EXPECT_EQ(build(in).counts.unmatched_chunks, 1);
}

TEST(MidiItems, TracksAreKeptApartFromAudioTrackNumbersAndNamed) {
    Inputs in;
    in.regions = {midi_region("MIDI 2", 1, 1, 0, kQuarter),
                  midi_region("MIDI 1", 0, 0, 0, kQuarter)};
    Built b = build(in);
    EXPECT_EQ(b.set.order, (std::vector<std::uint16_t>{0, 1}));
    settle_midi_tracks(b.set, {"Drums", "MIDI 1", "MIDI 2"}, {"Drums"});
    EXPECT_EQ(b.set.tracks.at(0).session_name, "MIDI 1");
    EXPECT_EQ(b.set.midi_track_names, (std::set<std::string>{"MIDI 1", "MIDI 2"}));
}

TEST(MidiItems, SecondsToTicksInvertsTheTempoMap) {
    TempoMap map;
    map.entries = {{960000.0, 90.0}, {5 * 960000.0, 150.0}};
    for (double ticks : {0.0, 480000.0, 960000.0, 3e6, 4.8e6, 9e6, 5e9}) {
        const double seconds = ticks_to_seconds(map, ticks, 120.0);
        EXPECT_NEAR(seconds_to_ticks(map, seconds, 120.0), ticks, 1e-3) << ticks;
        EXPECT_NEAR(seconds_to_ticks(TempoMap{}, ticks_to_seconds(TempoMap{}, ticks, 97.0), 97.0),
                    ticks, 1e-3);
    }
}

}  // namespace
