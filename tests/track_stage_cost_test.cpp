// The track order, the folder tracks and the colour coding over tens of thousands of tracks: a
// search of every track for every block would take minutes at this size, a look-up takes well
// under a second. The bound is on the processor time this process spends, which other work on
// the machine hardly moves, and lies far from both.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "convert/tracks/track_coding.h"
#include "convert/tracks/track_order.h"

namespace {

constexpr int kTracks = 20000;
constexpr double kBoundSeconds = 10.0;

double processor_seconds_since(std::clock_t start) {
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

TEST(TrackStageCost, TensOfThousandsOfTracksTakeNoSearchOfAllOfThem) {
    // Named blocks 0 to n - 1, the clips' tracks in the opposite order, each block inside a
    // 0x261c span, and strip rows that put a new folder before each track.
    std::vector<NamedBlockEntry> named(kTracks);
    TrackOrderInput in;
    ColourCodingInput coding;
    coding.mode = 4;
    std::vector<StripRow> rows;
    for (int i = 0; i < kTracks; ++i) {
        NamedBlockEntry& b = named[static_cast<std::size_t>(i)];
        b.name = b.second_name = "Track " + std::to_string(i);
        b.content_type = 0x261b;
        b.block_start = 100 * static_cast<std::uint64_t>(i) + 50;
        b.block_end = b.block_start + 40;
        coding.track_block_starts.push_back(100 * static_cast<std::uint64_t>(i));
        coding.track_block_ends.push_back(100 * static_cast<std::uint64_t>(i) + 60);
        StripRow folder;
        folder.kind = 11;
        folder.flag = 1;
        folder.name = "Folder " + std::to_string(i);
        rows.push_back(folder);
        StripRow track;
        track.name = b.name;
        rows.push_back(track);
    }
    for (int i = kTracks - 1; i >= 0; --i) {
        StagedTrack t;
        t.track.name = t.track.session_name = "Track " + std::to_string(i);
        in.source.push_back(std::move(t));
    }
    in.named = named;
    coding.named = &named;

    const std::clock_t start = std::clock();
    TrackStageState state;
    std::vector<StagedTrack> tracks = rebuild_track_order(in, {}, state);
    add_folder_tracks(tracks, rows);
    const ColourCoding colours = colour_coding(coding);
    const double seconds = processor_seconds_since(start);

    // The tracks in block order, each after its folder.
    ASSERT_EQ(tracks.size(), 2u * kTracks);
    for (int i = 0; i < kTracks; i += 997) {
        EXPECT_EQ(tracks[2 * static_cast<std::size_t>(i)].track.name,
                  "Folder " + std::to_string(i));
        EXPECT_EQ(tracks[2 * static_cast<std::size_t>(i) + 1].track.name,
                  "Track " + std::to_string(i));
    }
    EXPECT_EQ(state.written_empty, 0);
    ASSERT_EQ(colours.index_by_track.size(), static_cast<std::size_t>(kTracks));
    EXPECT_EQ(colours.index_by_track.at("Track 7"), 94);  // inside its span
    EXPECT_LT(seconds, kBoundSeconds);
}

}  // namespace
