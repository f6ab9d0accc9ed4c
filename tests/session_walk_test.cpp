#include "session/session_walk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ptformat.h"
#include "test_support.h"
#include "walk_builder.h"

namespace {

using namespace walk_blocks;

// What a track region says, compared as one value.
using Placed = std::tuple<std::string, int, std::string, std::int64_t>;

std::vector<Placed> placed(const std::vector<TrackRegion>& tracks,
                           const std::vector<SessionRegion>& regions) {
    std::vector<Placed> out;
    for (const TrackRegion& t : tracks) {
        out.emplace_back(t.track_name, t.track_index, regions.at(t.region).name, t.start);
    }
    return out;
}

SessionLayout walk(const std::vector<std::uint8_t>& bytes, int expected = 1,
                   const std::vector<AudioFilePair>& files = {}) {
    SessionLayout layout;
    EXPECT_EQ(walk_session_tree(bytes.data(), bytes.size(), files, layout), expected);
    return layout;
}

SessionLayout walk_real(const std::string& path) {
    PTFFormat session;
    EXPECT_EQ(session.load(path, 48000), 0);
    SessionLayout layout;
    load_session_regions(session, layout);
    return layout;
}

// --- Real sessions ---------------------------------------------------------------------------

TEST(SessionWalkReal, RegionTestFindsEveryClipAndNoFade) {
    REQUIRE_SESSION(path, "RegionTest.ptx");
    const SessionLayout layout = walk_real(path);

    struct Expected {
        const char* name;
        std::int64_t offset;
        std::int64_t length;
    };
    const Expected regions[] = {{"region_name_region", 0, 5910132},
                                {"region_name_region-01", 0, 2650000},
                                {"region_name_region-03", 950000, 1290000}};
    ASSERT_EQ(layout.audio_regions.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const SessionRegion& r = layout.audio_regions[i];
        EXPECT_EQ(r.region_index, i);
        EXPECT_EQ(r.name, regions[i].name);
        EXPECT_EQ(r.source_offset, regions[i].offset);
        EXPECT_EQ(r.length, regions[i].length);
        EXPECT_EQ(r.audio_file_index, 0);
        EXPECT_EQ(r.audio_file_name, "region_name_WAV.wav");
    }

    // Both clips of Audio 1; the fades at 0, 950000 and 2240000 are not clips.
    const std::vector<Placed> expected = {
        {"Track_Name", 0, "region_name_region-01", 0},
        {"Audio 1", 1, "region_name_region-01", 0},
        {"Audio 1", 1, "region_name_region-03", 2650000},
        {"Audio 2", 2, "region_name_region-01", 0},
        {"Audio 2", 3, "region_name_region-01", 0},
        {"Audio 3", 4, "region_name_region-03", 950000},
        {"Audio 3", 5, "region_name_region-03", 950000},
    };
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions), expected);
    EXPECT_TRUE(layout.midi_regions.empty());
    EXPECT_TRUE(layout.midi_track_regions.empty());
}

TEST(SessionWalkReal, TestPtxAudioRegionsFilesAndMidiNotes) {
    REQUIRE_SESSION(path, "TestPTX.ptx");
    const SessionLayout layout = walk_real(path);

    const char* files[] = {"monoTone.1.aif", "monoTone.wav", "stereoTone.L.aif",
                           "stereoTone.R.aif"};
    const char* names[] = {"monoTone", "monoTone", "stereoTone.L", "stereoTone.R"};
    ASSERT_EQ(layout.audio_regions.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(layout.audio_regions[i].name, names[i]);
        EXPECT_EQ(layout.audio_regions[i].audio_file_name, files[i]);
        EXPECT_EQ(layout.audio_regions[i].source_offset, 0);
        EXPECT_EQ(layout.audio_regions[i].length, 480000);
    }
    const std::vector<Placed> audio = {{"monoTone", 0, "monoTone", 0},
                                       {"stereoTone", 1, "stereoTone.L", 0},
                                       {"stereoTone", 2, "stereoTone.R", 0}};
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions), audio);
    EXPECT_EQ(layout.audio_regions[layout.audio_track_regions[0].region].audio_file_name,
              "monoTone.1.aif");

    using NoteRow = std::tuple<std::uint64_t, int, std::uint64_t, int>;
    auto notes = [](const SessionRegion& r) {
        std::vector<NoteRow> out;
        for (const MidiEvent& e : r.midi->events) {
            out.emplace_back(e.position, e.note, e.length, e.velocity);
        }
        return out;
    };
    std::vector<NoteRow> midi1;
    const int midi1_notes[] = {64, 64, 64, 59, 59, 59, 64, 64, 64};
    const std::uint64_t midi1_at[] = {0,       240000,  480000,  960000, 1200000,
                                      1440000, 1920000, 2160000, 2400000};
    for (int i = 0; i < 9; ++i) midi1.emplace_back(midi1_at[i], midi1_notes[i], 240000, 80);
    std::vector<NoteRow> midi2;
    for (int i = 0; i < 16; ++i)
        midi2.emplace_back(240000u * i, i < 6 ? 48 : i < 11 ? 52 : 53, 240000, 80);
    const std::vector<NoteRow> midi3 = {{0, 67, 2160000, 80},
                                        {2400000, 73, 2880000, 80},
                                        {5520000, 64, 3360000, 80},
                                        {8880000, 68, 720000, 80}};

    ASSERT_EQ(layout.midi_regions.size(), 3u);
    EXPECT_EQ(layout.midi_regions[0].name, "MIDI 1-01");
    EXPECT_EQ(layout.midi_regions[1].name, "MIDI 2-01");
    EXPECT_EQ(layout.midi_regions[2].name, "MIDI 3-01");
    EXPECT_EQ(notes(layout.midi_regions[0]), midi1);
    EXPECT_EQ(notes(layout.midi_regions[1]), midi2);
    EXPECT_EQ(notes(layout.midi_regions[2]), midi3);
    for (const SessionRegion& r : layout.midi_regions) {
        EXPECT_EQ(r.start, kTickOrigin);
        EXPECT_EQ(r.source_offset, 0);
    }

    const std::vector<Placed> midi = {{"MIDI 1", 0, "MIDI 1-01", 0},
                                      {"MIDI 2", 1, "MIDI 2-01", 0},
                                      {"MIDI 3", 2, "MIDI 3-01", 0}};
    EXPECT_EQ(placed(layout.midi_track_regions, layout.midi_regions), midi);
    for (const TrackRegion& t : layout.midi_track_regions) {
        EXPECT_FALSE(t.start_in_samples);
    }
}

// --- Synthetic sessions: declining and the fallback ------------------------------------------

TEST(SessionWalk, DeclinesShortOrBigEndianBuffersAndEmptiesTheLayout) {
    SessionLayout layout;
    layout.audio_regions.resize(2);
    layout.midi_regions.resize(1);
    layout.audio_track_regions.resize(3);
    layout.midi_track_regions.resize(1);

    std::vector<std::uint8_t> bytes = walk_buffer(zeros(44));
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(walk_session_tree(bytes.data(), bytes.size(), {}, layout), 0);
    EXPECT_TRUE(layout.audio_regions.empty() && layout.midi_regions.empty() &&
                layout.audio_track_regions.empty() && layout.midi_track_regions.empty());

    bytes.push_back(0);
    EXPECT_EQ(walk_session_tree(bytes.data(), bytes.size(), {}, layout), 1);
    bytes[17] = 1;
    EXPECT_EQ(walk_session_tree(bytes.data(), bytes.size(), {}, layout), 0);
    EXPECT_EQ(walk_session_tree(nullptr, 0, {}, layout), 0);
}

// A whole session as the session-file layer reads it: version, rate and audio files first.
std::vector<std::uint8_t> encrypted_session(const std::string& walk_blocks,
                                            std::uint8_t byte_order = 0) {
    using namespace test_blocks;
    std::vector<std::uint8_t> bytes = to_bytes(
        session_header(0x05, 0x3C, byte_order) + lead_block() + version_block(12) +
        // Scheme 0x05 leaves the first 4096 bytes as they are: the filler puts the rest past them.
        z_block(0x7777, zeros(5000)) + rate_block(48000) +
        audio_files_block(2, {{"a.wav", "EVAW"}, {"b.wav", "EVAW"}}, {100, 200}) + walk_blocks);
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    return bytes;
}

const std::string kOneClip =
    region_list({audio_region("r0", 0, 100, 0, 1)}) + track_list({track_entry("T", {0})}) +
    placement_tracks({placement_track("T", {audio_playlist({placement(0, 4800)})})});

TEST(SessionWalk, LoadsThroughTheLayerAndFallsBackOnItsListsWhenDeclined) {
    PTFFormat session;
    ASSERT_EQ(session.load_from_memory(encrypted_session(kOneClip), 48000), 0);
    SessionLayout layout;
    load_session_regions(session, layout);
    ASSERT_EQ(layout.audio_regions.size(), 1u);
    EXPECT_EQ(layout.audio_regions[0].audio_file_name, "b.wav");
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions),
              (std::vector<Placed>{{"T", 0, "r0", 4800}}));

    // A big-endian session is declined by the walk; the layer keeps no lists of its own.
    PTFFormat big_endian;
    EXPECT_EQ(big_endian.load_from_memory(encrypted_session(kOneClip, 1), 48000), -4);
    load_session_regions(big_endian, layout);
    EXPECT_TRUE(layout.audio_regions.empty() && layout.audio_track_regions.empty());
}

// --- Synthetic sessions: regions and tracks --------------------------------------------------

TEST(SessionWalk, RegionIntegersFollowTheirNibbleWidthsAndGap) {
    const std::string data =
        z_block(0x2628, named("wide") + nibble_ints(0x0102, 0x0A0B0C, 0x0102030405, 2, 3, 5, 4), 2);
    const std::string region = z_block(0x2629, data + u16le(7) + zeros(2), 5);
    const SessionLayout layout =
        walk(walk_buffer(region_list({region}) + zeros(40)), 1, {{"", 3}, {"seven.wav", 7}});
    ASSERT_EQ(layout.audio_regions.size(), 1u);
    const SessionRegion& r = layout.audio_regions[0];
    EXPECT_EQ(r.source_offset, 0x0102);
    EXPECT_EQ(r.length, 0x0A0B0C);
    EXPECT_EQ(r.start, 0x0102030405);
    EXPECT_EQ(r.audio_file_index, 7);
    // An unnamed file pair ahead of the match answers first.
    EXPECT_EQ(r.audio_file_name, "");
    EXPECT_EQ(r.midi->extra, -1);
}

TEST(SessionWalk, NameRunningPastTheBufferIsCutNotDropped) {
    // The region block ends the buffer; its name length says 1000.
    const std::string data = z_block(0x2628, u32le(1000) + "cut-name", 2);
    const std::vector<std::uint8_t> bytes =
        walk_buffer(zeros(50) + z_block(0x262A, zeros(4) + z_block(0x2629, data, 5)));
    const SessionLayout layout = walk(bytes);
    ASSERT_EQ(layout.audio_regions.size(), 1u);
    EXPECT_EQ(layout.audio_regions[0].name, "cut-name");
    EXPECT_EQ(layout.audio_regions[0].length, 0);
}

TEST(SessionWalk, PlaylistsPlacementsAndDenseTrackNumbers) {
    // Tracks 3, 5 (twice) and 9 of ten; the rest carry nothing.
    std::vector<std::string> tracks(10, placement_track("x", {}));
    tracks[3] = placement_track("x", {audio_playlist({placement(0, 10)}, /*mark=*/1)});
    tracks[5] = placement_track("x", {audio_playlist({placement(1, 20), placement(0, 30)}),
                                      // Closing byte 1: not placed.
                                      audio_playlist({placement(0, 40)}, 0, /*closing=*/1),
                                      // Fade entries reuse region numbers: not placed.
                                      audio_playlist({placement(1, 50, 0, kFade)}),
                                      // Unknown region: not placed, named.
                                      audio_playlist({placement(9, 60)})});
    tracks[9] = placement_track("x", {audio_playlist({placement(1, 70)})});
    const std::string blocks =
        region_list({audio_region("r0", 0, 1, 0, 0), audio_region("r1", 0, 1, 0, 0)}) +
        track_list({track_entry("Three", {3}), track_entry("Five", {5, 9}),
                    track_entry("Again", {3, 7})}) +
        placement_tracks(tracks);
    const SessionLayout layout = walk(walk_buffer(blocks));

    const std::vector<Placed> expected = {{"Three", 0, "r0", 10},
                                          {"Five", 1, "r1", 20},
                                          {"Five", 1, "r0", 30},
                                          {"Five", 2, "r1", 70}};
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions), expected);
    EXPECT_EQ(layout.audio_track_regions[0].flag, 1);
    EXPECT_EQ(layout.audio_track_regions[1].flag, 0);
    ASSERT_EQ(layout.unplaced.size(), 1u);
    EXPECT_EQ(layout.unplaced[0].track_name, "Five");
    EXPECT_EQ(layout.unplaced[0].region_number, 9u);
    // The refused playlist's placement is named apart; the fade is no clip.
    ASSERT_EQ(layout.refused.size(), 1u);
    EXPECT_EQ(layout.refused[0].track_name, "Five");
    EXPECT_EQ(layout.refused[0].region_number, 0u);
}

// Fade placements go to the tracks that hold clips, numbered as those tracks are; the fades of
// a track without clips, below or above every clip's track, go.
TEST(SessionWalk, FadesTakeTheNumbersOfTheTracksWithClips) {
    std::vector<std::string> tracks(10, placement_track("x", {}));
    tracks[1] = placement_track("x", {audio_playlist({placement(1, 5, 0, kFade)})});
    tracks[2] = placement_track(
        "x", {audio_playlist({placement(0, 10)}), audio_playlist({placement(1, 11, 0, kFade)})});
    tracks[5] = placement_track("x", {audio_playlist({placement(1, 20, 0, kFade)})});
    tracks[7] = placement_track(
        "x", {audio_playlist({placement(0, 31, 0, kFade)}), audio_playlist({placement(0, 30)})});
    tracks[9] = placement_track("x", {audio_playlist({placement(1, 40, 0, kFade)})});
    const std::string blocks =
        region_list({audio_region("r0", 0, 1, 0, 0), audio_region("r1", 0, 1, 0, 0)}) +
        track_list({track_entry("One", {1}), track_entry("Two", {2}), track_entry("Five", {5}),
                    track_entry("Seven", {7}), track_entry("Nine", {9})}) +
        placement_tracks(tracks);
    const SessionLayout layout = walk(walk_buffer(blocks));
    const std::vector<Placed> clips = {{"Two", 0, "r0", 10}, {"Seven", 1, "r0", 30}};
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions), clips);
    const std::vector<Placed> fades = {{"Two", 0, "r1", 11}, {"Seven", 1, "r0", 31}};
    EXPECT_EQ(placed(layout.fade_track_regions, layout.audio_regions), fades);
    EXPECT_TRUE(layout.unplaced.empty());
}

// A placement in a track whose header is damaged (another content type), one found in the
// track itself (the header of the playlist around it damaged) and one the bytes end inside are
// refused and named, not placed; the damaged track is named after the track at its place.
TEST(SessionWalk, PlacementsOutsideASoundPlaylistAreNamed) {
    const std::string cut = z_block(0x104F, zeros(2) + u32le(0), 0x0A);
    // The last playlist of the bytes, its cut placement last of all.
    const std::string last = z_block(0x1050, zeros(10) + placement(0, 20) + cut, 2);
    const std::string damaged =
        z_block(0x1053, named("A") + u32le(1) + audio_playlist({placement(0, 5)}), 3);
    const std::string blocks = region_list({audio_region("r0", 0, 1, 0, 0)}) +
                               track_list({track_entry("A", {0}), track_entry("B", {1})}) +
                               placement_tracks({damaged, placement_track("A", {placement(0, 10)}),
                                                 placement_track("B", {last})});
    const SessionLayout layout = walk(walk_buffer(blocks));
    const std::vector<Placed> expected = {{"B", 0, "r0", 20}};
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions), expected);
    ASSERT_EQ(layout.refused.size(), 3u);
    EXPECT_EQ(layout.refused[0].track_name, "A");
    EXPECT_EQ(layout.refused[1].track_name, "A");
    EXPECT_EQ(layout.refused[2].track_name, "B");
    EXPECT_TRUE(layout.unplaced.empty());
}

// Each placement list numbers its tracks from 0, so a second list interleaves with the first:
// the track regions come back ordered by track, in the order read within a track.
TEST(SessionWalk, PlacementsOfSeveralListsAreOrderedByTrackStably) {
    const std::string empty = placement_track("x", {});
    const auto on = [](std::vector<std::uint64_t> starts) {
        std::vector<std::string> placements;
        for (std::uint64_t start : starts) placements.push_back(placement(start % 2, start));
        return placement_track("x", {audio_playlist(placements)});
    };
    const std::string blocks =
        region_list({audio_region("r0", 0, 1, 0, 0), audio_region("r1", 0, 1, 0, 0)}) +
        track_list({track_entry("A", {0}), track_entry("B", {1}), track_entry("C", {2})}) +
        placement_tracks({empty, empty, on({10, 11})}) +
        placement_tracks({on({20}), on({21, 22}), on({23})}) +
        placement_tracks({on({30, 31}), empty, empty});
    const SessionLayout layout = walk(walk_buffer(blocks));
    const std::vector<Placed> expected = {
        {"A", 0, "r0", 20}, {"A", 0, "r0", 30}, {"A", 0, "r1", 31}, {"B", 1, "r1", 21},
        {"B", 1, "r0", 22}, {"C", 2, "r0", 10}, {"C", 2, "r1", 11}, {"C", 2, "r1", 23}};
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions), expected);
}

// Region numbers are 32-bit: regions 65,535 and past it place like any other (no number means
// "none"), and a number that names no region, however large, is named and never looked up by
// allocation.
TEST(SessionWalk, RegionNumbersPast65535PlaceAndUnknownOnesAreNamed) {
    constexpr std::uint32_t kRegions = 65540;
    std::vector<std::string> regions;
    regions.reserve(kRegions);
    for (std::uint32_t i = 0; i < kRegions; ++i)
        regions.push_back(audio_region("r" + std::to_string(i), 0, 1, 0, 0));
    const std::string blocks =
        region_list(regions) + track_list({track_entry("A", {0})}) +
        placement_tracks(
            {placement_track(
                 "A", {audio_playlist({placement(65535, 1), placement(65536, 2),
                                       placement(65539, 3), placement(0, 4), placement(kRegions, 5),
                                       placement(0xFFFFFFFF, 6)})}),
             // A track number the track list does not hold.
             placement_track("B", {audio_playlist({placement(1, 7)})})});
    const SessionLayout layout = walk(walk_buffer(blocks));
    ASSERT_EQ(layout.audio_regions.size(), kRegions);
    EXPECT_EQ(layout.audio_regions.back().region_index, kRegions - 1);
    const std::vector<Placed> expected = {
        {"A", 0, "r65535", 1}, {"A", 0, "r65536", 2}, {"A", 0, "r65539", 3}, {"A", 0, "r0", 4}};
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions), expected);
    EXPECT_EQ(layout.audio_regions[layout.audio_track_regions[1].region].region_index, 65536u);
    ASSERT_EQ(layout.unplaced.size(), 3u);
    EXPECT_EQ(layout.unplaced[0].region_number, kRegions);
    EXPECT_EQ(layout.unplaced[1].region_number, 0xFFFFFFFFu);
    EXPECT_EQ(layout.unplaced[1].track_name, "A");
    EXPECT_EQ(layout.unplaced[2].track_name, "");
    EXPECT_EQ(layout.unplaced[2].track_number, 1u);
    EXPECT_FALSE(layout.unplaced[2].midi);
}

TEST(SessionWalk, TrackListEntriesGiveAtMost1024TrackNumbers) {
    std::vector<std::uint16_t> numbers;
    for (std::uint16_t i = 0; i < 1100; ++i) numbers.push_back(i);
    std::vector<std::string> tracks(1025, placement_track("", {}));
    tracks[1023] = placement_track("", {audio_playlist({placement(0, 1)})});
    tracks[1024] = placement_track("", {audio_playlist({placement(0, 2)})});
    const std::string blocks = region_list({audio_region("r", 0, 1, 0, 0)}) +
                               track_list({track_entry("Many", numbers)}) +
                               placement_tracks(tracks);
    const SessionLayout layout = walk(walk_buffer(blocks));
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions),
              (std::vector<Placed>{{"Many", 0, "r", 1}}));
}

TEST(SessionWalk, AudioPlacementStartsKeepAll48Bits) {
    // A tick-based track: ticks + 10^12, with ticks above 2^32 (wrapping a 32-bit start).
    const std::uint64_t stored = kTickOrigin + (std::uint64_t{1} << 33) + 5;
    // A sample position that a float would move.
    const std::uint64_t samples = 225358698;
    const std::string blocks =
        region_list({audio_region("r", 0, 1, 0, 0)}) + track_list({track_entry("T", {0})}) +
        placement_tracks({placement_track(
            "T", {audio_playlist({placement(0, stored, kTicks), placement(0, samples)})})});
    const SessionLayout layout = walk(walk_buffer(blocks));
    ASSERT_EQ(layout.audio_track_regions.size(), 2u);
    EXPECT_EQ(layout.audio_track_regions[0].start, static_cast<std::int64_t>(stored));
    EXPECT_EQ(layout.audio_track_regions[1].start, static_cast<std::int64_t>(samples));
}

// --- Synthetic sessions: MIDI ----------------------------------------------------------------

// Three MIDI tracks in the track order, the second of them audio.
std::string midi_session(const std::vector<std::string>& chunks,
                         const std::vector<std::string>& regions,
                         const std::vector<std::string>& placement_tracks_) {
    return track_order({"M1", "Audio", "M2"}) + track_kind(0x2620) + track_kind(0x261B) +
           track_kind(0x2621) + chunk_node(chunks, regions) +
           midi_placement_tracks(placement_tracks_);
}

TEST(SessionWalk, MidiChunksRegionsAndPlacementTimeBases) {
    const std::uint64_t base = kTickOrigin + 960000;
    const std::string chunk0 =
        midi_chunk({{base, 60, 480000, 100}, {base + 960000, 62, 240000, 90}});
    const std::string empty_chunk = midi_chunk({});
    const std::uint64_t far_ticks = (std::uint64_t{1} << 33) + 7;
    const std::string blocks = midi_session(
        {chunk0, empty_chunk},
        {midi_region("Lead", base - 1000, 1920000, 0), midi_region("Empty", kTickOrigin, 0, 1),
         midi_region("Bad", 0, 0, 2)},
        {midi_placement_track("M1",
                              {playlist(0x1056, {placement(0, kTickOrigin + far_ticks, kTicks),
                                                 placement(1, kTickOrigin, kTicks)})}),
         midi_placement_track("M2", {playlist(0x1056, {placement(0, 225358698, kSamples)}, 1)})});
    const SessionLayout layout = walk(walk_buffer(blocks));

    ASSERT_EQ(layout.midi_regions.size(), 2u);
    const SessionRegion& lead = layout.midi_regions[0];
    EXPECT_EQ(lead.name, "Lead");
    EXPECT_EQ(lead.region_index, 0);
    EXPECT_EQ(lead.start, kTickOrigin);
    EXPECT_EQ(lead.source_offset, 1000);
    EXPECT_EQ(lead.length, 1920000);
    EXPECT_EQ(lead.midi->extra, 0);
    ASSERT_EQ(lead.midi->events.size(), 2u);
    EXPECT_EQ(lead.midi->events[1].position, 960000u);
    EXPECT_EQ(lead.midi->events[1].note, 62);
    EXPECT_EQ(lead.midi->events[1].length, 240000u);
    EXPECT_EQ(lead.midi->events[1].velocity, 90);
    // A chunk without events: its zero position is the tick origin.
    const SessionRegion& empty = layout.midi_regions[1];
    EXPECT_TRUE(empty.midi->events.empty());
    EXPECT_EQ(empty.source_offset, 0);
    EXPECT_EQ(empty.midi->extra, 1);

    ASSERT_EQ(layout.midi_track_regions.size(), 3u);
    const TrackRegion& far = layout.midi_track_regions[0];
    EXPECT_EQ(
        std::make_tuple(far.track_name, far.track_index, layout.midi_regions[far.region].name),
        std::make_tuple(std::string("M1"), 0, std::string("Lead")));
    EXPECT_EQ(far.start, static_cast<std::int64_t>(far_ticks));
    EXPECT_FALSE(far.start_in_samples);
    EXPECT_EQ(layout.midi_track_regions[1].start, 0);
    const TrackRegion& in_samples = layout.midi_track_regions[2];
    EXPECT_EQ(std::make_tuple(in_samples.track_name, in_samples.track_index),
              std::make_tuple(std::string("M2"), 1));
    EXPECT_EQ(in_samples.start, 225358698);
    EXPECT_TRUE(in_samples.start_in_samples);
    EXPECT_EQ(in_samples.flag, 1);
}

TEST(SessionWalk, RegionListLayoutTakesItsChunkByNumber) {
    const std::string chunks =
        chunk_node({midi_chunk({{kTickOrigin + 10, 60, 100, 1}, {kTickOrigin + 50, 61, 500, 1}}),
                    midi_chunk({})},
                   {midi_region("Named", kTickOrigin, 1, 0)});
    auto listed = [](std::uint16_t chunk, bool compound) {
        const std::string inner = compound ? z_block(0x2523, zeros(2)) : zeros(2);
        return z_block(0x2628, zeros(4) + inner, 2) + zeros(2) + u16le(chunk);
    };
    const std::string list =
        z_block(0x262C, zeros(4) + z_block(0x262B, listed(0, false) + listed(1, false) +
                                                       listed(0, true) + listed(5, false)));
    const SessionLayout layout = walk(walk_buffer(chunks + list));
    ASSERT_EQ(layout.midi_regions.size(), 3u);
    const SessionRegion& from_list = layout.midi_regions[1];
    EXPECT_EQ(from_list.region_index, 0);
    EXPECT_EQ(from_list.name, "Named");
    EXPECT_EQ(from_list.length, 540);  // the largest relative end
    EXPECT_EQ(from_list.midi->extra, 0);
    EXPECT_EQ(layout.midi_regions[2].length, 0);
    EXPECT_TRUE(layout.midi_regions[2].midi->events.empty());
}

// --- Damaged input ---------------------------------------------------------------------------

std::string full_synthetic_session() {
    return region_list({audio_region("r0", 5, 100, 0, 0), audio_region("r1", 0, 50, 0, 0)}) +
           track_list({track_entry("A", {0, 1})}) +
           placement_tracks(
               {placement_track("A", {audio_playlist({placement(0, 10), placement(1, 20)})}),
                placement_track("A", {audio_playlist({placement(1, 30)})})}) +
           midi_session({midi_chunk({{kTickOrigin, 60, 10, 1}, {kTickOrigin + 5, 61, 10, 1}})},
                        {midi_region("m", kTickOrigin, 20, 0)},
                        {midi_placement_track(
                            "M1", {playlist(0x1056, {placement(0, kTickOrigin, kTicks)})})});
}

TEST(SessionWalkDamage, EveryTruncationYieldsNoMoreThanTheWhole) {
    const std::vector<std::uint8_t> whole = walk_buffer(full_synthetic_session());
    const SessionLayout all = walk(whole);
    ASSERT_EQ(all.audio_track_regions.size(), 3u);
    ASSERT_EQ(all.midi_track_regions.size(), 1u);
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        // A fresh copy of exactly `cut` bytes, so that the sanitizer sees any read past it.
        const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + cut);
        SessionLayout layout;
        walk_session_tree(part.data(), part.size(), {}, layout);
        EXPECT_LE(layout.audio_regions.size(), all.audio_regions.size());
        EXPECT_LE(layout.audio_track_regions.size(), all.audio_track_regions.size());
        EXPECT_LE(layout.midi_regions.size(), all.midi_regions.size());
        EXPECT_LE(layout.midi_track_regions.size(), all.midi_track_regions.size());
    }
}

TEST(SessionWalkDamage, CountsLargerThanTheDataYieldOnlyWhatIsThere) {
    // A track entry claiming 0xFFFFFFFF numbers with two present, ending the buffer.
    const std::string entry =
        z_block(0x1014, named("T") + byte(0) + u32le(0xFFFFFFFF) + u16le(0) + u16le(1), 6);
    const std::string chunk = chunk_node({midi_chunk({{kTickOrigin, 60, 10, 1}}, 1000000)}, {});
    const std::vector<std::uint8_t> bytes =
        walk_buffer(region_list({audio_region("r", 0, 1, 0, 0)}) +
                    placement_tracks({placement_track("T", {audio_playlist({placement(0, 1)})}),
                                      placement_track("T", {audio_playlist({placement(0, 2)})})}) +
                    chunk + z_block(0x1015, zeros(4) + entry));
    const SessionLayout layout = walk(bytes);
    EXPECT_EQ(placed(layout.audio_track_regions, layout.audio_regions),
              (std::vector<Placed>{{"T", 0, "r", 1}, {"T", 1, "r", 2}}));
}

TEST(SessionWalkDamage, RandomDamageNeverReadsOutOfBounds) {
    const std::vector<std::uint8_t> whole = walk_buffer(full_synthetic_session());
    std::mt19937 random(1103);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bytes = whole;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            const std::size_t at = 20 + random() % (bytes.size() - 20);
            // Sizes and counts are where damage hurts most: favour large values.
            bytes[at] = (random() % 2) ? 0xFF : static_cast<std::uint8_t>(random());
        }
        bytes.resize(bytes.size() - random() % 64);
        SessionLayout layout;
        walk_session_tree(bytes.data(), bytes.size(), {{"f", 0}}, layout);
    }
}

}  // namespace

namespace {

// Widths above 5 bytes read as 0, like widths of 0: a damaged width never yields a huge length.
TEST(SessionWalkDamage, NibbleWidthsAboveFiveReadAsZero) {
    const std::string data =
        z_block(0x2628, named("R") + nibble_ints(123456, 0x7FFFFFFFFFFFFFFFULL, 77, 6, 8, 5), 2);
    const std::string region = z_block(0x2629, data + u16le(0) + zeros(2), 5);
    const SessionLayout layout =
        walk(walk_buffer(region_list({region}) + zeros(40)), 1, {{"a.wav", 0}});
    ASSERT_EQ(layout.audio_regions.size(), 1u);
    EXPECT_EQ(layout.audio_regions[0].source_offset, 0);
    EXPECT_EQ(layout.audio_regions[0].length, 0);
    EXPECT_EQ(layout.audio_regions[0].start, 77);
}

}  // namespace
