// Stage "clips": time bases, playlist matching, fades and crossfades, clip groups, stacked clips,
// overlaps, and the clip model of real sessions.
#include "convert/clips/clip_placements.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "block_builder.h"
#include "convert/clips/clip_counts.h"
#include "convert/clips/clip_groups.h"
#include "convert/clips/clip_overlaps.h"
#include "convert/clips/clip_time.h"
#include "convert/run_state.h"
#include "convert/summary/clip_conservation.h"
#include "convert/writer/item_writer.h"
#include "placement_builder.h"
#include "platform/ptformat.h"
#include "session/session_walk.h"
#include "test_support.h"

namespace {

using namespace test_blocks;
using namespace test_placements;

constexpr std::uint64_t kGroupClip = std::numeric_limits<std::uint64_t>::max();

// A synthetic session: the walk's layout, the bytes the scanners read, and the clip model built
// from them at 48 kHz and 120 BPM.
struct Session {
    SessionLayout layout;
    std::string bytes;
    ConvertOptions options;
    TempoMap tempo;
    double rate = 48000.0;
    ClipModel model;
    ClipStageCounts counts;

    void region(std::uint16_t index, std::int64_t length, std::int64_t offset = 0,
                const std::string& file = "Take.wav") {
        SessionRegion r;
        r.region_index = index;
        r.name = "Region " + std::to_string(index);
        r.length = length;
        r.source_offset = offset;
        r.audio_file_name = file;
        layout.audio_regions.push_back(r);
    }
    void place(std::uint16_t track, const std::string& name, std::uint16_t index,
               std::uint64_t start) {
        TrackRegion placed;
        placed.track_name = name;
        placed.track_index = track;
        for (std::size_t i = 0; i < layout.audio_regions.size(); ++i) {
            if (layout.audio_regions[i].region_index == index)
                placed.region = static_cast<std::uint32_t>(i);
        }
        placed.start = static_cast<std::int64_t>(start);
        layout.audio_track_regions.push_back(placed);
    }
    void build() {
        counts = ClipStageCounts{};
        const std::string padded = bytes + zeros(64);
        build_clip_placements(reinterpret_cast<const std::uint8_t*>(padded.data()), padded.size(),
                              layout, rate, tempo, 120.0, options, model, counts);
    }
    std::vector<ClipRecord>& clips(std::uint16_t track) { return model.main_clips[track]; }

    // The clip balance of the stage as the writer would leave it: every main clip an item, the
    // placements that give no clip named. Every clip read must go one way or another.
    void expect_balanced() {
        reset_item_writer();
        note_placements_without_clips(layout);
        ItemWriterState items = item_writer;
        reset_item_writer();
        for (const auto& [track, list] : model.main_clips)
            items.items_written += static_cast<std::uint32_t>(list.size());
        EXPECT_EQ(clip_balance(layout, counts, items).unaccounted(), 0);
    }
};

// --- Time bases
// -------------------------------------------------------------------------------------

TEST(ClipTime, StoredPositionsBySampleAndTick) {
    TempoMap slow;
    slow.entries.push_back({0.0, 60.0});
    const TimeContext at_120{48000.0, nullptr, 120.0};
    const TimeContext at_60{48000.0, &slow, 120.0};
    EXPECT_DOUBLE_EQ(stored_seconds(at_120, 96000, false, false), 2.0);
    EXPECT_DOUBLE_EQ(stored_seconds(at_120, kOrigin + 1'920'000, true, true), 1.0);
    EXPECT_DOUBLE_EQ(stored_seconds(at_60, kOrigin + 1'920'000, true, true), 2.0);
    // Past 2^32 ticks nothing wraps.
    EXPECT_DOUBLE_EQ(stored_ticks(kOrigin + 5'000'000'000ULL, true), 5e9);
    EXPECT_DOUBLE_EQ(stored_seconds(at_120, kOrigin + 5'000'000'000ULL, true, true),
                     5e9 / 960000.0 * 0.5);
    // Without a time-base byte a value below 10^12 is the low 32 bits of ticks + 10^12.
    EXPECT_DOUBLE_EQ(stored_ticks(3'567'587'428ULL, false), 100.0);
    EXPECT_DOUBLE_EQ(stored_ticks(100, false), 727'380'068.0);
    EXPECT_DOUBLE_EQ(stored_ticks(kOrigin - 960000, true), -960000.0);
}

TEST(ClipPlacements, TimeBaseComesFromThePlacementsThenTheFallbacks) {
    // Sample placements: 96000 at 48 kHz is 2 s. Tick placements: 1,920,000 ticks is 1 s, and
    // a clip beyond 2^32 ticks keeps its place. The list's kind byte (1, samples) yields to the
    // placements' own time-base byte.
    Session s;
    s.region(0, 48000);
    s.region(1, 48000);
    s.place(0, "Audio", 0, 96000);
    s.place(1, "Inst", 0, kOrigin + 1'920'000);
    s.place(1, "Inst", 1, kOrigin + 5'000'000'000ULL);
    s.bytes = clip_list("Audio", {clip_at(0, 96000)}) +
              clip_list("Inst", {ticks(clip_at(0, kOrigin + 1'920'000)),
                                 ticks(clip_at(1, kOrigin + 5'000'000'000ULL))});
    s.build();
    EXPECT_EQ(s.model.tick_based[0], 0);
    EXPECT_EQ(s.model.tick_based[1], 1);
    ASSERT_EQ(s.clips(0).size(), 1u);
    EXPECT_DOUBLE_EQ(s.clips(0)[0].start, 2.0);
    ASSERT_EQ(s.clips(1).size(), 2u);
    EXPECT_DOUBLE_EQ(s.clips(1)[0].start, 1.0);
    EXPECT_DOUBLE_EQ(s.clips(1)[1].start, 5e9 / 960000.0 * 0.5);
    EXPECT_EQ(s.clips(1)[1].raw_start, kOrigin + 5'000'000'000ULL);
    EXPECT_EQ(s.counts.tick_tracks, 1);
    EXPECT_EQ(s.counts.sample_tracks, 1);
}

TEST(ClipPlacements, WithoutListsHalfTheClipsAboveOneBillionMakeATickTrack) {
    Session s;
    s.region(0, 48000);
    s.place(0, "Half", 0, 3'567'587'428ULL);  // 100 ticks, stored in 32 bits
    s.place(0, "Half", 0, 96000);
    s.place(1, "Few", 0, 3'567'587'428ULL);
    s.place(1, "Few", 0, 96000);
    s.place(1, "Few", 0, 144000);
    s.build();
    EXPECT_EQ(s.model.tick_based[0], 1);
    EXPECT_EQ(s.model.tick_based[1], 0);
    EXPECT_DOUBLE_EQ(s.clips(0)[0].start, 100.0 / 960000.0 * 0.5);
    EXPECT_EQ(s.model.list_index[0], -1);
    EXPECT_TRUE(s.counts.tracks_without_list.empty());  // a session without lists
}

TEST(ClipPlacements, ASyncPointPlacesTheClipEarlierButNotBeforeZero) {
    Session s;
    s.region(0, 48000);
    s.region(1, 48000);
    s.layout.audio_regions[0].name = "Kick";
    s.layout.audio_regions[1].name = "Snare";
    s.place(0, "Drums", 0, 100);
    s.place(0, "Drums", 1, 96000);
    s.bytes =
        z_block(0x262a, u32le(2) + control_slot("Kick", 2, 4800) + control_slot("Snare", 2, 4800));
    s.build();
    ASSERT_EQ(s.clips(0).size(), 2u);
    EXPECT_EQ(s.clips(0)[0].start, 0.0);
    EXPECT_DOUBLE_EQ(s.clips(0)[0].rare.get().snap_offset, 0.1);
    EXPECT_DOUBLE_EQ(s.clips(0)[1].start, 1.9);
    EXPECT_EQ(s.counts.sync_point_clips, 2);

    // Slots that do not name the regions one to one place nothing.
    Session other = s;
    other.layout.audio_regions[1].name = "Tom";
    other.build();
    EXPECT_DOUBLE_EQ(other.clips(0)[1].start, 2.0);
    EXPECT_EQ(other.counts.unmatched_sync_points, 1);
}

// --- Lists and drops
// --------------------------------------------------------------------------------

TEST(ClipPlacements, ListsGoToTracksByTheClipsTheyPlace) {
    // The first list holds a fade placement besides its clip, as Pro Tools stores fade-ins: it
    // still belongs to the first track.
    Session s;
    s.region(0, 48000);
    s.region(1, 48000);
    s.place(0, "A", 1, 0);
    s.place(1, "B", 0, 0);
    s.place(1, "B", 1, 96000);
    s.place(2, "C", 1, 0);
    s.bytes = fade_range(3, 0, 4800) + clip_list("A", {fade_at(0, 0), clip_at(1, 0)}) +
              clip_list("B", {clip_at(0, 0), clip_at(1, 96000)}) + clip_list("C", {clip_at(1, 0)});
    s.build();
    EXPECT_EQ(s.model.list_index[0], 0);
    EXPECT_EQ(s.model.list_index[1], 1);
    EXPECT_EQ(s.model.list_index[2], 2);
    EXPECT_DOUBLE_EQ(s.clips(0)[0].fade_in_length, 0.1);
}

TEST(ClipPlacements, PlacementsTheListDoesNotHoldAreDropped) {
    Session s;
    s.region(0, 48000);
    s.region(1, 48000);
    s.region(2, 48000);
    s.place(0, "A", 0, 0);
    s.place(0, "A", 1, 96000);                // the list holds region 2 there
    s.place(1, "B", 1, 0);                    // B's list holds only region 2: B keeps its clip
    TestPlacement coloured = clip_at(0, 10);  // within 64 of the clip
    coloured.value = 5;
    coloured.second = 1;
    s.bytes = clip_list("A", {coloured, clip_at(2, 96000)}) + clip_list("B", {clip_at(2, 0)});
    s.build();
    ASSERT_EQ(s.clips(0).size(), 1u);
    EXPECT_EQ(s.clips(0)[0].region_index, 0u);
    EXPECT_EQ(s.clips(0)[0].colour_index, 5);
    EXPECT_EQ(s.clips(0)[0].locked, 1);
    ASSERT_EQ(s.clips(1).size(), 1u);
    ASSERT_EQ(s.counts.outside_playlist.size(), 1u);
    EXPECT_EQ(s.counts.outside_playlist[0].track, "A");
    s.expect_balanced();
}

TEST(ClipPlacements, EachListedPlacementGoesToOneClipTheNearestFirst) {
    // Listed at 1000, 1100 and 5000 (colours 1, 2, 3); clips at 1050, 1110, 1160 and 5000. The
    // clip at 1050 is 50 from either and takes the first; the one at 1110 the nearer other; the
    // one at 1160 finds both taken and the list's count of the region spent, and is dropped. The
    // list's fourth placement, of region 1, makes its count of clips the track's.
    Session s;
    s.region(0, 48000);
    s.region(1, 48000);
    for (const std::uint64_t start : {1050, 1110, 1160, 5000}) s.place(0, "A", 0, start);
    std::vector<TestPlacement> listed;
    for (const auto& [position, colour] : {std::pair{1000, 1}, {1100, 2}, {5000, 3}}) {
        TestPlacement p = clip_at(0, static_cast<std::uint64_t>(position));
        p.value = static_cast<std::int16_t>(colour);
        listed.push_back(p);
    }
    listed.push_back(clip_at(1, 90000));
    s.bytes = clip_list("A", listed);
    s.build();
    ASSERT_EQ(s.clips(0).size(), 3u);
    EXPECT_EQ(s.clips(0)[0].raw_start, 1050u);
    EXPECT_EQ(s.clips(0)[0].colour_index, 1);
    EXPECT_EQ(s.clips(0)[1].raw_start, 1110u);
    EXPECT_EQ(s.clips(0)[1].colour_index, 2);
    EXPECT_EQ(s.clips(0)[2].raw_start, 5000u);
    EXPECT_EQ(s.clips(0)[2].colour_index, 3);
    ASSERT_EQ(s.counts.outside_playlist.size(), 1u);
    s.expect_balanced();
}

// A clip takes the listed placement of its region within 64 of its start. A list stores 48-bit
// positions: a clip start near the top of 64 bits, as a negative one reads, reaches none.
TEST(ClipPlacements, AClipTakesAPlacementWithin64OfItsStart) {
    constexpr std::uint64_t kTop = std::numeric_limits<std::uint64_t>::max();
    constexpr std::uint64_t kListTop = (std::uint64_t{1} << 48) - 1;
    const struct {
        std::uint64_t clip;
        std::uint64_t listed;
        std::int32_t colour;  // what the clip takes; -2: the listed one is not its
    } cases[] = {
        {1000, 980, 4},
        {1000, 1064, 4},
        {1000, 1065, -2},
        {kListTop - 10, kListTop, 4},
        {kListTop, kListTop - 64, 4},
        {kTop - 10, kListTop, -2},
        {kTop, 0, -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.clip << " listed at " << c.listed);
        Session s;
        s.region(0, 48000);
        s.place(0, "A", 0, c.clip);
        TestPlacement listed = clip_at(0, c.listed);
        listed.value = 4;
        s.bytes = clip_list("A", {listed});
        s.build();
        // The list counts one clip of the region: the clip keeps its place either way.
        ASSERT_EQ(s.clips(0).size(), 1u);
        EXPECT_EQ(s.clips(0)[0].colour_index, c.colour);
        EXPECT_TRUE(s.counts.outside_playlist.empty());
    }
}

TEST(ClipPlacements, FadeReferencesReadAsClipsAreDroppedUnlessKept) {
    // A clip of region 0 stands where the list holds only a fade placement of range 0.
    Session s;
    s.region(0, 480000);
    s.region(1, 48000);
    s.region(2, 48000);
    s.place(0, "A", 1, 48000);
    s.place(0, "A", 0, 96000);
    s.bytes = fade_range(2, 4800, 4800) +
              clip_list("A", {clip_at(1, 48000), clip_at(2, 5), fade_at(0, 96000)});
    s.build();
    ASSERT_EQ(s.clips(0).size(), 1u);
    EXPECT_EQ(s.clips(0)[0].region_index, 1u);
    EXPECT_DOUBLE_EQ(s.clips(0)[0].fade_out_length, 0.1);
    EXPECT_EQ(s.counts.fade_clips, 1);
    s.expect_balanced();

    Session kept = s;
    kept.options.keep_fade_clips = 1;
    kept.build();
    EXPECT_EQ(kept.clips(0).size(), 2u);
    EXPECT_EQ(kept.counts.fade_clips, 0);
    EXPECT_EQ(kept.counts.fade_clips_kept, 1);
    EXPECT_EQ(s.counts.fade_clips_kept, 0);
    EXPECT_TRUE(kept.counts.outside_playlist.empty());
    kept.expect_balanced();
}

// --- Fades
// ------------------------------------------------------------------------------------------

TEST(ClipPlacements, FadesBindToEdgesWithinFiveMilliseconds) {
    struct Case {
        std::uint64_t fade_at;  // samples; the clip spans 48000..96000
        std::uint8_t kind;
        double fade_in;
        double fade_out;
    };
    const std::vector<Case> cases = {
        {48000 + 192, 3, 0.1, 0.0},  // 4 ms after the start
        {48000 - 192, 3, 0.1, 0.0},  // 4 ms before
        {48000 + 288, 3, 0.0, 0.0},  // 6 ms: unmatched
        {96000 - 192, 2, 0.0, 0.1}, {96000 + 288, 2, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        Session s;
        s.region(0, 48000);
        s.place(0, "A", 0, 48000);
        s.bytes = fade_range(c.kind, c.kind == 2 ? 4800 : 0, 4800, 1) +
                  clip_list("A", {clip_at(0, 48000), fade_at(0, c.fade_at)});
        s.build();
        const ClipRecord& clip = s.clips(0).at(0);
        EXPECT_DOUBLE_EQ(clip.fade_in_length, c.fade_in) << c.fade_at;
        EXPECT_DOUBLE_EQ(clip.fade_out_length, c.fade_out) << c.fade_at;
        const bool bound = c.fade_in > 0.0 || c.fade_out > 0.0;
        EXPECT_EQ(s.counts.unmatched_fades, bound ? 0 : 1) << c.fade_at;
        if (bound) {
            EXPECT_EQ(c.kind == 3 ? clip.fade_in_shape : clip.fade_out_shape, 1.0);
        }
    }
}

// A list's fades bind to their clips in whatever order the list holds them: here the fade-ins
// stride through the track and the fade-outs run backwards.
TEST(ClipPlacements, FadesBindInAnyOrderOfTheList) {
    constexpr std::uint64_t kClips = 30;
    Session s;
    s.region(0, 48000);
    std::vector<TestPlacement> listed;
    for (std::uint64_t k = 0; k < kClips; ++k) {
        s.place(0, "A", 0, k * 96000);
        listed.push_back(clip_at(0, k * 96000));
    }
    for (std::uint64_t k = 0; k < kClips; ++k)
        listed.push_back(fade_at(0, (k * 7 % kClips) * 96000));
    for (std::uint64_t k = kClips; k-- > 0;) listed.push_back(fade_at(1, k * 96000 + 48000));
    s.bytes = fade_range(3, 0, 4800, 1) + fade_range(2, 4800, 4800, 1) + clip_list("A", listed);
    s.build();
    ASSERT_EQ(s.clips(0).size(), kClips);
    for (const ClipRecord& clip : s.clips(0)) {
        EXPECT_DOUBLE_EQ(clip.fade_in_length, 0.1) << clip.start;
        EXPECT_DOUBLE_EQ(clip.fade_out_length, 0.1) << clip.start;
    }
    EXPECT_EQ(s.counts.fade_ins, static_cast<int>(kClips));
    EXPECT_EQ(s.counts.fade_outs, static_cast<int>(kClips));
    EXPECT_EQ(s.counts.unmatched_fades, 0);
}

TEST(ClipPlacements, CrossfadesExtendBothClipsWhereTheSourceAllows) {
    // A plays 0..2 s, B 2..4 s; the crossfade at 2 s is 0.5 s long, 0.25 s of it before 2 s.
    auto build = [](std::int64_t b_offset, bool s_curve) {
        Session s;
        s.region(0, 96000);
        s.region(1, 96000, b_offset);
        s.place(0, "A", 0, 0);
        s.place(0, "A", 1, 96000);
        s.bytes = fade_range(1, 12000, 24000, 2, s_curve) +
                  clip_list("A", {clip_at(0, 0), clip_at(1, 96000), fade_at(0, 96000)});
        s.build();
        return s;
    };
    Session s = build(48000, true);
    ASSERT_EQ(s.clips(0).size(), 2u);
    const ClipRecord& a = s.clips(0)[0];
    const ClipRecord& b = s.clips(0)[1];
    EXPECT_DOUBLE_EQ(a.length, 2.25);
    EXPECT_DOUBLE_EQ(a.fade_out_length, 0.5);
    EXPECT_EQ(a.crossfaded, 1);
    EXPECT_DOUBLE_EQ(b.start, 1.75);
    EXPECT_DOUBLE_EQ(b.length, 2.25);
    EXPECT_DOUBLE_EQ(b.source_offset, 0.75);
    EXPECT_EQ(b.source_offset_samples, 36000u);
    EXPECT_DOUBLE_EQ(b.fade_in_length, 0.5);
    EXPECT_EQ(a.fade_out_shape, 5.0);
    EXPECT_EQ(b.fade_in_shape, 5.0);
    EXPECT_EQ(s.counts.crossfades, 1);
    EXPECT_EQ(s.counts.s_curve_fades, 1);

    // B has only 0.1 s of source before its start: both stay, the fades split at 2 s.
    Session short_source = build(4800, false);
    const ClipRecord& a2 = short_source.clips(0)[0];
    const ClipRecord& b2 = short_source.clips(0)[1];
    EXPECT_DOUBLE_EQ(a2.length, 2.0);
    EXPECT_DOUBLE_EQ(a2.fade_out_length, 0.25);
    EXPECT_DOUBLE_EQ(b2.start, 2.0);
    EXPECT_DOUBLE_EQ(b2.fade_in_length, 0.25);
    EXPECT_EQ(a2.crossfaded, 1);
}

TEST(ClipPlacements, AFadeFindsTheEdgeACrossfadeMoved) {
    // The crossfade at 1 s moves B's start to 0.75 s; the fade-in 4 ms after that binds to B.
    Session s;
    s.region(0, 48000);
    s.region(1, 48000, 48000);
    s.place(0, "A", 0, 0);
    s.place(0, "A", 1, 48000);
    s.bytes = fade_range(1, 12000, 24000, 2) + fade_range(3, 0, 4800, 1) +
              clip_list("A", {clip_at(0, 0), clip_at(1, 48000), fade_at(0, 48000),
                              fade_at(1, 36000 + 192)});
    s.build();
    ASSERT_EQ(s.clips(0).size(), 2u);
    const ClipRecord& a = s.clips(0)[0];
    const ClipRecord& b = s.clips(0)[1];
    EXPECT_DOUBLE_EQ(b.start, 0.75);
    EXPECT_DOUBLE_EQ(a.fade_out_length, 0.5);
    EXPECT_DOUBLE_EQ(b.fade_in_length, 0.1);
    EXPECT_EQ(s.counts.crossfades, 1);
    EXPECT_EQ(s.counts.fade_ins, 1);
    EXPECT_EQ(s.counts.unmatched_fades, 0);
}

TEST(ClipPlacements, NoFadesLeavesEveryFadeOff) {
    Session s;
    s.region(0, 48000);
    s.place(0, "A", 0, 0);
    s.bytes = fade_range(3, 0, 4800) + clip_list("A", {clip_at(0, 0), fade_at(0, 0)});
    s.options.no_fades = 1;
    s.build();
    EXPECT_EQ(s.clips(0).at(0).fade_in_length, 0.0);
    EXPECT_TRUE(s.model.fade_ranges.empty());
    EXPECT_EQ(s.counts.fade_ins, 0);
    EXPECT_EQ(s.counts.bad_fades, 0);
}

// --- Stacked clips
// ----------------------------------------------------------------------------------

TEST(ClipPlacements, StackedClipsInOneMillisecondKeepOne) {
    struct Case {
        std::int64_t first_length;
        std::int64_t second_length;
        std::uint16_t playing;
    };
    // The next start is 2 s on: a clip of 2.5 s runs past it, 1.5 s and 1.9 s do not.
    for (const Case& c : {Case{120000, 72000, 1}, Case{72000, 91200, 1}, Case{91200, 72000, 0}}) {
        Session s;
        s.region(0, c.first_length);
        s.region(1, c.second_length);
        s.region(2, 48000);
        s.place(0, "A", 0, 48000);
        s.place(0, "A", 1, 48019);  // 0.4 ms later
        s.place(0, "A", 2, 144000);
        s.build();
        ASSERT_EQ(s.clips(0).size(), 2u);
        EXPECT_EQ(s.clips(0)[0].region_index, c.playing);
        ASSERT_EQ(s.model.alternates[0].size(), 1u);
        EXPECT_EQ(s.model.alternates[0][0].region_index, 1u - c.playing);
        EXPECT_EQ(s.counts.alternate_clips, 1);
        s.expect_balanced();
    }
}

// --- Overlaps
// ---------------------------------------------------------------------------------------

ClipRecord clip_at_time(double start, double length) {
    ClipRecord clip;
    clip.start = start;
    clip.length = length;
    clip.whole_file = 1;
    return clip;
}

ClipModel model_of(std::vector<ClipRecord> clips) {
    ClipModel model;
    model.track_order = {0};
    model.output_tracks[0].name = "A";
    model.main_clips[0] = std::move(clips);
    return model;
}

TEST(ClipOverlaps, TheWaysASessionPlaysOverlappingClips) {
    struct Case {
        const char* what;
        double second_start;
        bool over_next;
        bool second_muted;
        double first_length;  // after
        double second_start_after;
        std::uint8_t second_muted_after;
        int trimmed;
        int muted;
        int silenced;
    };
    const std::vector<Case> cases = {
        {"0.05 s apart: left alone", 0.05, false, false, 1.0, 0.05, 0, 0, 0, 0},
        {"0.06 s apart: the first is cut", 0.06, false, false, 0.06, 0.06, 0, 0, 0, 0},
        {"first over the second: head cut", 0.5, true, false, 1.0, 1.0, 0, 1, 0, 0},
        {"covered end to end: muted", 0.2, true, false, 1.0, 0.2, 1, 0, 1, 0},
        {"muted under a clip over it: left", 0.5, true, true, 1.0, 0.5, 1, 0, 0, 0},
        {"muted over a clip: its tail is cut", 0.5, false, true, 0.5, 0.5, 1, 0, 0, 1},
    };
    for (const Case& c : cases) {
        ClipRecord first = clip_at_time(0.0, 1.0);
        first.over_next = c.over_next;
        ClipRecord second = clip_at_time(c.second_start, c.what[0] == 'c' ? 0.5 : 1.0);
        second.muted = c.second_muted;
        ClipModel model = model_of({first, second});
        ClipStageCounts counts;
        resolve_clip_overlaps(model, counts);
        const std::vector<ClipRecord>& clips = model.output_tracks[0].clips;
        EXPECT_DOUBLE_EQ(clips[0].length, c.first_length) << c.what;
        EXPECT_DOUBLE_EQ(clips[1].start, c.second_start_after) << c.what;
        EXPECT_EQ(clips[1].muted, c.second_muted_after) << c.what;
        EXPECT_EQ(counts.trimmed_heads, c.trimmed) << c.what;
        EXPECT_EQ(counts.muted_covered, c.muted) << c.what;
        EXPECT_EQ(counts.silenced_tails, c.silenced) << c.what;
        // Cutting a clip that sets no rare field leaves it holding none.
        EXPECT_FALSE(clips[0].rare.held() || clips[1].rare.held()) << c.what;
    }
}

TEST(ClipOverlaps, HeadCutsMoveTheSourceByTheStretchMarkers) {
    // Markers run item time -> source position (seconds into the file).
    ClipRecord first = clip_at_time(0.0, 1.0);
    first.over_next = 1;
    ClipRecord stretched = clip_at_time(0.5, 2.0);
    stretched.source_offset = 10.0;
    stretched.fade_in_length = 0.2;
    stretched.rare.edit().snap_offset = 0.75;
    stretched.rare.edit().stretch_markers = {{0.0, 10.0}, {1.0, 10.5}, {2.0, 11.0}};
    ClipRecord plain = clip_at_time(0.5, 2.0);
    plain.source_offset = 10.0;
    plain.rare.edit().playrate = 2.0;
    for (const ClipRecord& second : {stretched, plain}) {
        ClipModel model = model_of({first, second});
        model.sample_rate = 48000.0;
        ClipStageCounts counts;
        resolve_clip_overlaps(model, counts);
        const ClipRecord& cut = model.output_tracks[0].clips[1];
        EXPECT_DOUBLE_EQ(cut.start, 1.0);
        EXPECT_DOUBLE_EQ(cut.length, 1.5);
        EXPECT_EQ(cut.whole_file, 0);
        if (second.rare.get().stretch_markers.empty()) {
            EXPECT_DOUBLE_EQ(cut.source_offset, 11.0);  // 0.5 s at play rate 2
            continue;
        }
        EXPECT_DOUBLE_EQ(cut.source_offset, 10.25);
        EXPECT_EQ(cut.source_offset_samples, 492000u);
        EXPECT_EQ(cut.fade_in_length, 0.0);
        EXPECT_DOUBLE_EQ(cut.rare.get().snap_offset, 0.25);  // the sync point moves with the head
        ASSERT_EQ(cut.rare.get().stretch_markers.size(), 3u);
        EXPECT_DOUBLE_EQ(cut.rare.get().stretch_markers[0].item_time, 0.0);
        EXPECT_DOUBLE_EQ(cut.rare.get().stretch_markers[0].source_position, 10.25);
        EXPECT_DOUBLE_EQ(cut.rare.get().stretch_markers[1].item_time, 0.5);
        EXPECT_DOUBLE_EQ(cut.rare.get().stretch_markers[1].source_position, 10.5);
    }
}

TEST(ClipOverlaps, ACutTailEndsItsStretchMarkersThere) {
    ClipRecord first = clip_at_time(0.0, 1.0);
    first.rare.edit().stretch_markers = {{0.0, 0.0}, {1.0, 2.0}};
    ClipModel model = model_of({first, clip_at_time(0.5, 1.0)});
    ClipStageCounts counts;
    resolve_clip_overlaps(model, counts);
    const ClipRecord& cut = model.output_tracks[0].clips[0];
    EXPECT_DOUBLE_EQ(cut.length, 0.5);
    ASSERT_EQ(cut.rare.get().stretch_markers.size(), 2u);
    EXPECT_DOUBLE_EQ(cut.rare.get().stretch_markers[1].item_time, 0.5);
    EXPECT_DOUBLE_EQ(cut.rare.get().stretch_markers[1].source_position, 1.0);
}

// --- Clip groups
// ------------------------------------------------------------------------------------

struct GroupTables {
    std::vector<RegionListEntry> groups;
    std::vector<RegionPlacementList> lists;
    std::vector<SessionRegion> regions;
    mutable RegionsByIndex by_index;
    ClipGroupTables tables() const {
        ClipGroupTables t;
        t.groups = &groups;
        t.item_lists = &lists;
        by_index = index_regions(regions);
        t.regions = &by_index;
        return t;
    }
};

TEST(ClipGroups, RegionsAreFoundByIndexInOrderOrNot) {
    // In order, each region is found at its place; a damaged session's repeated or skipped
    // indexes answer with the first region that bears the index.
    struct Case {
        std::vector<std::uint32_t> indexes;
        std::uint32_t looked_up;
        int place;  // -1: none
    };
    const Case cases[] = {
        {{0, 1, 2}, 1, 1},    {{0, 1, 2}, 3, -1},   {{}, 0, -1},           {{2, 0, 2, 5}, 2, 0},
        {{2, 0, 2, 5}, 0, 1}, {{2, 0, 2, 5}, 5, 3}, {{2, 0, 2, 5}, 1, -1}, {{1, 1}, 1, 0},
        {{0, 0}, 0, 0},       {{0, 0}, 1, -1},
    };
    for (const Case& c : cases) {
        std::vector<SessionRegion> regions;
        for (std::uint32_t index : c.indexes) {
            regions.emplace_back();
            regions.back().region_index = index;
        }
        const RegionsByIndex by_index = index_regions(regions);
        const SessionRegion* found = find_region(by_index, c.looked_up);
        const int place = found ? static_cast<int>(found - regions.data()) : -1;
        EXPECT_EQ(place, c.place) << c.looked_up << " among " << c.indexes.size();
    }
    EXPECT_EQ(find_region(RegionsByIndex{}, 0), nullptr);
}

RegionPlacementItem item(std::uint32_t id, std::uint64_t offset, bool group = false) {
    RegionPlacementItem i;
    i.id = id;
    i.position = kOrigin + offset;
    i.time_base = 0x40;
    i.group_flag = group ? 1 : 0;
    i.closed = 1;
    return i;
}

// Groups 0..n-1, each holding the next; the last holds region 0.
GroupTables nested_groups(int n) {
    GroupTables g;
    SessionRegion region;
    region.length = 48000;
    region.audio_file_name = "Take.wav";
    g.regions.push_back(region);
    for (int i = 0; i < n; ++i) {
        RegionListEntry entry;
        entry.name = "G" + std::to_string(i);
        entry.length = 48000;
        entry.readable = 1;
        entry.list_index = i;
        g.groups.push_back(entry);
        RegionPlacementList list;
        list.kind = 1;
        list.entries.push_back(i + 1 < n ? item(i + 1, 0, true) : item(0, 0));
        g.lists.push_back(list);
    }
    return g;
}

TEST(ClipGroups, NestingStopsBelowDepthEight) {
    for (int levels : {9, 10}) {  // groups nested 8 and 9 deep below the first
        const GroupTables g = nested_groups(levels);
        std::vector<FlatPlacement> out;
        FlattenCounts counts;
        flatten_clip_group(g.tables(), 0, 0, 48000, 1.0, 48000.0, false, 0, out, counts, nullptr);
        if (levels == 9) {
            ASSERT_EQ(out.size(), 1u);
            EXPECT_DOUBLE_EQ(out[0].start, 1.0);
            EXPECT_EQ(counts.skipped, 0);
        } else {
            EXPECT_TRUE(out.empty());
            EXPECT_EQ(counts.skipped, 1);
        }
    }
}

TEST(ClipGroups, CyclesAndEndlessFanOutsStop) {
    GroupTables cycle = nested_groups(2);
    cycle.lists[1].entries = {item(0, 0, true), item(0, 0)};  // G1 holds G0 and the region
    std::vector<FlatPlacement> out;
    FlattenCounts counts;
    flatten_clip_group(cycle.tables(), 0, 0, 48000, 0.0, 48000.0, false, 0, out, counts, nullptr);
    EXPECT_EQ(out.size(), 1u);
    EXPECT_EQ(counts.skipped, 1);

    // Nine levels of fifty references each would be 50^8 placements.
    GroupTables fan = nested_groups(9);
    for (std::size_t i = 0; i + 1 < fan.lists.size(); ++i) {
        fan.lists[i].entries.assign(50, item(static_cast<std::uint32_t>(i + 1), 0, true));
    }
    out.clear();
    counts = FlattenCounts{};
    flatten_clip_group(fan.tables(), 0, 0, 48000, 0.0, 48000.0, false, 0, out, counts, nullptr);
    EXPECT_LT(out.size(), static_cast<std::size_t>(kClipGroupItemBudget));
    EXPECT_GE(counts.skipped, 1);
}

TEST(ClipGroups, WindowsMutesSyncOffsetsAndCrossfades) {
    GroupTables g;
    for (std::uint16_t i = 0; i < 2; ++i) {
        SessionRegion region;
        region.region_index = i;
        region.length = 48000;
        region.source_offset = 24000;
        region.audio_file_name = "Take.wav";
        g.regions.push_back(region);
    }
    RegionListEntry group;
    group.readable = 1;
    group.length = 96000;
    group.list_index = 0;
    g.groups.push_back(group);
    RegionPlacementList list;
    list.kind = 1;
    RegionPlacementItem muted = item(1, 48000);
    muted.muted = 1;
    RegionPlacementItem fade = item(0, 48000);
    fade.fade = 1;
    fade.closed = 0;
    list.entries = {item(0, 0), muted, fade, item(7, 0)};  // region 7 does not exist
    g.lists.push_back(list);
    const std::vector<SessionRange> ranges = {{1, 4800.0, 9600.0, 0, 0}};

    // The window shows 0.25 s to 1.75 s of the group's content.
    std::vector<FlatPlacement> out;
    FlattenCounts counts;
    flatten_clip_group(g.tables(), 0, 12000, 72000, 10.0, 48000.0, false, 0, out, counts, &ranges);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_DOUBLE_EQ(out[0].start, 10.0);
    EXPECT_DOUBLE_EQ(out[0].length, 0.85);  // 0.75 s shown, 0.1 s added by the crossfade
    EXPECT_DOUBLE_EQ(out[0].source_offset, 0.75);
    EXPECT_DOUBLE_EQ(out[0].fade_out_length, 0.2);
    EXPECT_EQ(out[0].crossfaded, 1);
    EXPECT_DOUBLE_EQ(out[1].start, 10.65);
    EXPECT_DOUBLE_EQ(out[1].length, 0.85);
    EXPECT_DOUBLE_EQ(out[1].source_offset, 0.4);
    EXPECT_DOUBLE_EQ(out[1].fade_in_length, 0.2);
    EXPECT_EQ(out[1].muted, 1);
    EXPECT_EQ(counts.fades, 1);
    EXPECT_EQ(counts.skipped, 1);

    // A sync offset of 0.1 s places region 0 earlier; the lead is the part before the window.
    const std::map<std::uint32_t, std::int64_t> sync = {{0, 4800}};
    ClipGroupTables with_sync = g.tables();
    with_sync.sync_offsets = &sync;
    out.clear();
    counts = FlattenCounts{};
    flatten_clip_group(with_sync, 0, 0, 96000, 0.0, 48000.0, true, 0, out, counts, nullptr);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_DOUBLE_EQ(out[0].length, 0.9);
    EXPECT_DOUBLE_EQ(out[0].source_offset, 0.6);
    EXPECT_DOUBLE_EQ(out[0].lead, 0.0);
    EXPECT_EQ(out[0].muted, 1);
}

TEST(ClipPlacements, ClipGroupPlacementsAreLaidOutFlat) {
    Session s;
    s.region(0, 48000);
    s.region(1, 48000);
    // The walk read the group placement (group 0) as region 0; the list says it is a group.
    s.place(0, "A", 0, 96000);
    s.bytes = clip_list("A", {group_at(0, 96000)}) +
              region_list_block({region_entry("Grp", kOrigin, 96000, 0)}) +
              group_lists_block({{ticks(clip_at(0, kOrigin)), ticks(clip_at(1, kOrigin + 48000)),
                                  ticks(clip_at(5, kOrigin))}});
    s.build();
    ASSERT_EQ(s.clips(0).size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const ClipRecord& clip = s.clips(0)[i];
        EXPECT_EQ(clip.region_index, i);
        EXPECT_DOUBLE_EQ(clip.start, 2.0 + static_cast<double>(i));
        EXPECT_DOUBLE_EQ(clip.length, 1.0);
        EXPECT_EQ(clip.raw_start, kGroupClip);
        EXPECT_EQ(clip.rare.get().group_name, "Grp");
    }
    EXPECT_EQ(s.counts.group_references_dropped, 1);
    EXPECT_EQ(s.counts.clip_groups, 1);
    EXPECT_EQ(s.counts.clip_group_clips, 2);
    EXPECT_EQ(s.counts.clip_group_skipped, 1);  // region 5 does not exist
    EXPECT_EQ(s.counts.clip_group_problem_tracks, (std::map<std::string, int>{{"A", 1}}));
    s.expect_balanced();

    // A group placement that names no group is skipped, not a crash.
    Session unknown = s;
    unknown.bytes = clip_list("A", {group_at(9, 96000)});
    unknown.layout.audio_track_regions[0].region = 1;
    unknown.build();
    EXPECT_EQ(unknown.counts.clip_group_skipped, 1);
    EXPECT_EQ(unknown.counts.clip_groups, 0);
}

// --- Run state and real sessions
// --------------------------------------------------------------------

TEST(ClipPlacements, TheRunResetEmptiesTheCounts) {
    clip_counts.fade_ins = 3;
    clip_counts.clip_group_problem_tracks["A"] = 1;
    reset_conversion_state(ConvertOptions{});
    EXPECT_EQ(clip_counts.fade_ins, 0);
    EXPECT_TRUE(clip_counts.clip_group_problem_tracks.empty());
}

struct RealModel {
    ClipModel model;
    ClipStageCounts counts;
    std::string printed;
};

RealModel build_real(const std::string& path) {
    RealModel out;
    PTFFormat session;
    EXPECT_EQ(session.load(path, 0), 0);
    SessionLayout layout;
    load_session_regions(session, layout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    build_clip_placements(session.bytes().data(), session.bytes().size(), layout,
                          static_cast<double>(session.sample_rate()), TempoMap{}, 120.0,
                          ConvertOptions{}, out.model, out.counts);
    resolve_clip_overlaps(out.model, out.counts);
    out.printed = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    return out;
}

struct Expected {
    const char* track;
    std::vector<std::uint32_t> regions;
    std::vector<double> starts;  // samples
};

void expect_tracks(const ClipModel& model, const std::vector<Expected>& expected, double rate) {
    ASSERT_EQ(model.output_tracks.size(), expected.size());
    std::size_t t = 0;
    for (const auto& [index, track] : model.output_tracks) {
        const Expected& e = expected[t++];
        EXPECT_EQ(track.name, e.track);
        ASSERT_EQ(track.clips.size(), e.regions.size()) << e.track;
        for (std::size_t c = 0; c < track.clips.size(); ++c) {
            EXPECT_EQ(track.clips[c].region_index, e.regions[c]) << e.track;
            EXPECT_NEAR(track.clips[c].start * rate, e.starts[c], 1e-6) << e.track;
        }
    }
}

TEST(ClipPlacementsOnRealSessions, RegionTestHoldsTheReadmePlacements) {
    REQUIRE_SESSION(path, "RegionTest.ptx");
    const RealModel r = build_real(path);
    EXPECT_EQ(r.printed, "");
    const double rate = 44100.0;
    // Regions: 0 region_name_region, 1 region-01, 2 region-03. Audio 2 and Audio 3 have two
    // channels each.
    expect_tracks(r.model,
                  {{"Track_Name", {1}, {0}},
                   {"Audio 1", {1, 2}, {0, 2650000}},
                   {"Audio 2", {1}, {0}},
                   {"Audio 2", {1}, {0}},
                   {"Audio 3", {2}, {950000}},
                   {"Audio 3", {2}, {950000}}},
                  rate);
    const auto& tracks = r.model.output_tracks;
    EXPECT_NEAR(tracks.at(0).clips[0].fade_in_length * rate, 490000, 1e-6);
    EXPECT_NEAR(tracks.at(1).clips[1].length * rate, 1290000, 1e-6);
    EXPECT_NEAR(tracks.at(1).clips[1].source_offset * rate, 950000, 1e-6);
    for (std::uint16_t t : {4, 5}) {
        EXPECT_NEAR(tracks.at(t).clips[0].fade_in_length * rate, 230000, 1e-6);
        EXPECT_NEAR(tracks.at(t).clips[0].fade_out_length * rate, 290000, 1e-6);
    }
    EXPECT_EQ(r.counts.fade_ins, 3);
    EXPECT_EQ(r.counts.fade_outs, 2);
    EXPECT_EQ(r.counts.unmatched_fades, 0);
    EXPECT_EQ(r.counts.bad_fades, 0);
    EXPECT_TRUE(r.counts.outside_playlist.empty());
    EXPECT_EQ(r.counts.sample_tracks, 6);
    for (const auto& [index, track] : tracks) {
        EXPECT_EQ(r.model.list_index.at(index), index);
        for (const ClipRecord& clip : track.clips) EXPECT_EQ(clip.file_name, "region_name_WAV.wav");
    }
}

// The driver's form makes the same clips while it lets go what no later stage reads: the
// placements (their number kept for the clip balance), the lists' placements and the regions,
// whose names and files the clips hold. With and without the fade placements taken in.
TEST(ClipPlacementsOnRealSessions, TheDriversFormLetsTheLayoutGoAndMakesTheSameClips) {
    REQUIRE_SESSION(path, "RegionTest.ptx");
    PTFFormat session;
    ASSERT_EQ(session.load(path, 0), 0);
    for (const bool keep_fades : {false, true}) {
        SessionLayout kept;
        load_session_regions(session, kept);
        SessionLayout released = kept;
        ConvertOptions options;
        options.keep_fade_clips = keep_fades ? 1 : 0;
        const auto rate = static_cast<double>(session.sample_rate());
        ClipModel want;
        ClipModel got;
        ClipStageCounts want_counts;
        ClipStageCounts got_counts;
        testing::internal::CaptureStdout();
        build_clip_placements(session.bytes().data(), session.bytes().size(), kept, rate,
                              TempoMap{}, 120.0, options, want, want_counts);
        build_clip_placements_and_release(session.bytes().data(), session.bytes().size(), released,
                                          rate, TempoMap{}, 120.0, options, got, got_counts);
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(released.audio_track_regions.empty() && released.fade_track_regions.empty() &&
                    released.audio_regions.empty() && got.list_records.empty());
        EXPECT_EQ(released.released_audio_track_regions, kept.audio_track_regions.size());
        EXPECT_FALSE(kept.audio_regions.empty());
        EXPECT_EQ(got_counts.fade_clips_taken_in, want_counts.fade_clips_taken_in);
        ASSERT_EQ(got.main_clips.size(), want.main_clips.size());
        for (const auto& [track, clips] : want.main_clips) {
            const std::vector<ClipRecord>& same = got.main_clips.at(track);
            ASSERT_EQ(same.size(), clips.size()) << track;
            for (std::size_t c = 0; c < clips.size(); ++c) {
                EXPECT_EQ(same[c].name, clips[c].name);
                EXPECT_EQ(same[c].file_name, clips[c].file_name);
                EXPECT_EQ(same[c].start, clips[c].start);
                EXPECT_EQ(same[c].fade_in_length, clips[c].fade_in_length);
            }
        }
    }
}

TEST(ClipPlacementsOnRealSessions, TestPtxTonesFromZero) {
    REQUIRE_SESSION(path, "TestPTX.ptx");
    const RealModel r = build_real(path);
    EXPECT_EQ(r.printed, "");
    expect_tracks(r.model,
                  {{"monoTone", {0}, {0}}, {"stereoTone", {2}, {0}}, {"stereoTone", {3}, {0}}},
                  48000.0);
    std::vector<std::string> names;
    for (const auto& [index, track] : r.model.output_tracks) {
        const ClipRecord& clip = track.clips[0];
        EXPECT_DOUBLE_EQ(clip.length, 10.0);
        EXPECT_EQ(clip.whole_file, 1);
        names.push_back(clip.name + " " + clip.file_name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"monoTone monoTone.1.aif", "stereoTone.L stereoTone.L.aif",
                                        "stereoTone.R stereoTone.R.aif"}));
}

TEST(ClipPlacementsOnRealSessions, DamagedSessionsNeverCrash) {
    REQUIRE_SESSION(path, "RegionTest.ptx");
    PTFFormat session;
    ASSERT_EQ(session.load(path, 0), 0);
    const std::vector<AudioFilePair> files = {{"region_name_WAV.wav", 0}};
    std::mt19937 random(20251209);
    // The clip lists and the region records sit between 4300 and 6100.
    for (int round = 0; round < 150; ++round) {
        std::vector<std::uint8_t> bytes = session.bytes();
        if (round % 3 == 0) bytes.resize(4300 + random() % 1800);
        for (int flips = 1 + random() % 8; flips > 0; --flips) {
            bytes[(4300 + random() % 1800) % bytes.size()] = static_cast<std::uint8_t>(random());
        }
        SessionLayout layout;
        walk_session_tree(bytes.data(), bytes.size(), files, layout);
        ClipModel model;
        ClipStageCounts counts;
        build_clip_placements(bytes.data(), bytes.size(), layout, 44100.0, TempoMap{}, 120.0,
                              ConvertOptions{}, model, counts);
        resolve_clip_overlaps(model, counts);
        for (const auto& [index, track] : model.output_tracks) {
            for (const ClipRecord& clip : track.clips) EXPECT_FALSE(std::isnan(clip.start));
        }
    }
}

}  // namespace

namespace {

// Damaged values must not overflow: a start clamped to the ends of the millisecond range next to
// an ordinary one, and a region length of 2^63 - 1 played by a clip group.
TEST(ClipPlacementsDamage, ExtremeStartsAndLengthsDoNotOverflow) {
    Session stacked;
    stacked.tempo.entries.push_back({0.0, 6e-6});
    stacked.region(0, 48000);
    stacked.region(1, 48000);
    const std::uint64_t before = kOrigin - 1;
    const std::uint64_t far = (std::uint64_t{1} << 48) - 1;
    stacked.place(0, "T", 0, before);
    stacked.place(0, "T", 1, far);
    stacked.bytes = clip_list("T", {ticks(clip_at(0, before)), ticks(clip_at(1, far))});
    stacked.build();
    EXPECT_EQ(stacked.clips(0).size(), 2u);

    Session grouped;
    grouped.region(0, std::numeric_limits<std::int64_t>::max());
    grouped.place(0, "T", 0, 96000);
    grouped.bytes = clip_list("T", {group_at(0, 96000)}) +
                    region_list_block({region_entry("Grp", kOrigin, 96000, 0)}) +
                    group_lists_block({{ticks(clip_at(0, kOrigin + 48000))}});
    grouped.build();
    for (const ClipRecord& clip : grouped.clips(0)) EXPECT_LE(clip.length, 2.0);
}

}  // namespace
