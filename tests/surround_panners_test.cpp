// Surround panners: the speaker layout from an output's one-channel legs and the panner values
// from the track's fader block.
#include "convert/tracks/surround_panners.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/tracks/track_wiring_state.h"
#include "util/bytes.h"

namespace {

constexpr std::size_t kLevel = 40;  // p: the level field the lane set records

// A fader block of content type 0x1029 around p, its first input's values 1..7, the second
// input's 11..17 and the value word 0.5 x 6553600.
std::vector<std::uint8_t> fader_block(std::uint32_t size = 281, std::uint8_t type_low = 0x29) {
    std::string b(kLevel + 300, '\0');
    b[kLevel - 10] = 'Z';
    b[kLevel - 3] = static_cast<char>(type_low);
    b[kLevel - 2] = 0x10;
    std::string word;
    append_u32le(word, size);
    b.replace(kLevel - 7, 4, word);
    for (int v = 0; v < 7; ++v) {
        std::string a, c;
        append_u32le(a, static_cast<std::uint32_t>(v + 1));
        append_u32le(c, static_cast<std::uint32_t>(v + 11));
        b.replace(kLevel + 12 + 4 * v, 4, a);
        b.replace(kLevel + 40 + 4 * v, 4, c);
    }
    std::string value;
    append_u32le(value, 3276800);
    b.replace(kLevel + 76, 4, value);
    return {b.begin(), b.end()};
}

ChannelEntry entry(const std::string& name, std::vector<std::int32_t> channels) {
    ChannelEntry e;
    e.kind = 2;
    e.name = name;
    e.channels = std::move(channels);
    return e;
}

struct Route {
    std::vector<std::uint8_t> bytes = fader_block();
    std::vector<ChannelEntry> entries = {entry("Main", {0, 1, 2, 3, 4, 5}),
                                         entry("Main.R", {2}),
                                         entry("Main.L", {0}),
                                         entry("Main.C", {1}),
                                         entry("Main.Rs", {4}),
                                         entry("Main.Ls", {3}),
                                         entry("Main.LFE", {5})};
    TrackLaneSet lanes;
    std::vector<LaneGroup> groups;
    std::vector<std::string> names = {"Gtr", "Main"};

    Route() {
        lanes.name = "Gtr";
        lanes.assigned = 1;
        lanes.fader_position = kLevel;
        lanes.stereo_pan = 1;
        LaneGroup track;
        track.output_name = "Main";
        LaneGroup bus;
        bus.kind = 2;
        bus.channel_name = "Main";
        groups = {track, bus};
    }
    void run() {
        track_wiring.reset();
        const std::vector<TrackLaneSet> sets = {lanes};
        wire_surround_panners(bytes.data(), bytes.size(), groups, names, sets, entries, {});
    }
};

TEST(SurroundPanners, LegsInChannelOrderAndTheFaderBlocksValues) {
    Route r;
    r.lanes.surround_lanes_1.resize(7);
    r.lanes.surround_lanes_2.resize(7);
    r.lanes.surround_lanes_2[3].points = {{0.0, 25.0}};
    r.run();
    EXPECT_EQ(track_wiring.surround_bus_width.at("Main"), 6);
    ASSERT_EQ(track_wiring.surround_pan_states.count("Gtr"), 1u);
    const SurroundPanState& s = track_wiring.surround_pan_states.at("Gtr");
    EXPECT_EQ(s.output_channels, 6);
    EXPECT_EQ(s.speakers, (std::vector<std::string>{"L", "C", "R", "Ls", "Rs", "LFE"}));
    EXPECT_EQ(s.input_1, (std::array<std::int32_t, 7>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(s.input_2, (std::array<std::int32_t, 7>{11, 12, 13, 14, 15, 16, 17}));
    EXPECT_DOUBLE_EQ(s.second_input_gain, 0.5);
    EXPECT_EQ(s.stored, 1);
    EXPECT_EQ(s.stereo_input, 1);
    // Both inputs' lanes reach the writer, which counts a stereo input's.
    EXPECT_EQ(s.lanes.size(), 7u);
    ASSERT_EQ(s.lanes_2.size(), 7u);
    EXPECT_EQ(s.lanes_2[3].points.size(), 1u);
    EXPECT_EQ(track_wiring.counts.unplaceable_surround, 0);
}

TEST(SurroundPanners, UnplaceableRoutesAreCounted) {
    struct Case {
        const char* what;
        void (*spoil)(Route&);
    };
    const Case cases[] = {
        {"a leg no speaker is called", [](Route& r) { r.entries[3].name = "Main.Cx"; }},
        {"a leg missing", [](Route& r) { r.entries.pop_back(); }},
        {"a fader block of another content type",
         [](Route& r) { r.bytes = fader_block(281, 0x28); }},
        {"a block size past the session's end",
         [](Route& r) { r.bytes = fader_block(0xFFFFFFF0u); }},
        {"a block too short for the values", [](Route& r) { r.bytes = fader_block(40); }},
        {"a level field before the block could start",
         [](Route& r) { r.lanes.fader_position = 5; }},
        {"a level field past the session's end",
         [](Route& r) { r.lanes.fader_position = 1u << 30; }},
        {"no lane set", [](Route& r) { r.lanes.assigned = 0; }},
    };
    for (const Case& c : cases) {
        Route r;
        c.spoil(r);
        r.run();
        EXPECT_TRUE(track_wiring.surround_pan_states.empty()) << c.what;
        EXPECT_EQ(track_wiring.counts.unplaceable_surround, 1) << c.what;
    }
}

}  // namespace
