#include "session/track_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mixer_builder.h"
#include "session/track_midi_values.h"

namespace {

using namespace mixer_blocks;

std::vector<NamedBlockEntry> named_blocks(const std::string& text, std::uint8_t* assigned) {
    const std::vector<std::uint8_t> bytes = test_blocks::to_bytes(text);
    std::vector<NamedBlockEntry> out;
    read_track_names(bytes.data(), bytes.size(), out, assigned);
    return out;
}

std::string rows(int count) {
    const char* names[] = {"Kick", "Snare", "Keys"};
    std::string out;
    for (int i = 0; i < count; ++i) out += strip_row(0, names[i % 3]);
    return out;
}

TEST(TrackNames, StripRowNamesBecomeSecondNamesWhenTheyCountOnceOrTwice) {
    // Three named blocks; a 0x261b inside a 0x261d belongs to the folder; a 0x2627 with a zero
    // byte right before it clears the flag.
    const std::string tracks = track_block(0x261b, "Audio 1", "\x01" + z_block(0x2627, "xx")) +
                               track_block(0x2620, "MIDI 1", zeros(1) + z_block(0x2627, "xx")) +
                               z_block(0x261d, name_block("Folder") + track_block(0x261b, "In"));
    struct Case {
        int rows;
        bool assigned;
    };
    for (const Case c : {Case{3, true}, Case{6, true}, Case{5, false}, Case{0, false}}) {
        std::uint8_t assigned = 7;
        const auto out = named_blocks(rows(c.rows) + tracks, &assigned);
        ASSERT_EQ(out.size(), 3u) << c.rows;
        EXPECT_EQ(assigned, c.assigned ? 1 : 0) << c.rows;
        EXPECT_EQ(out[0].name, "Audio 1");
        EXPECT_EQ(out[1].name, "MIDI 1");
        EXPECT_EQ(out[2].name, "Folder");
        EXPECT_EQ(out[2].content_type, 0x261du);
        EXPECT_EQ(out[0].second_name, c.assigned ? "Kick" : "");
        EXPECT_EQ(out[2].second_name, c.assigned ? "Keys" : "");
        EXPECT_EQ(display_name(out[2]), c.assigned ? "Keys" : "Folder");
        EXPECT_EQ(out[0].flag, 1);
        EXPECT_EQ(out[1].flag, 0);
    }
}

TEST(TrackNames, AnEmptyOrUnreadableNameKeepsTheBlock) {
    const std::string bytes = track_block(0x261b, "") + z_block(0x2621, z_block(0x2619, "\x01")) +
                              z_block(0x2623, zeros(4));
    const auto out = named_blocks(bytes, nullptr);
    ASSERT_EQ(out.size(), 3u);
    for (const NamedBlockEntry& e : out) EXPECT_EQ(e.name, "");
}

TEST(TrackNames, RealSessions) {
    const auto region = real_session("RegionTest.ptx");
    if (region.empty())
        GTEST_SKIP() << "real sessions not found in " << test_blocks::sessions_dir();
    std::uint8_t assigned = 0;
    std::vector<NamedBlockEntry> out;
    read_track_names(region.data(), region.size(), out, &assigned);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(assigned, 1);
    const char* first[] = {"mysticMountain_Act1.L", "Audio 1", "Audio 2", "Audio 3"};
    const char* second[] = {"Track_Name", "Audio 1", "Audio 2", "Audio 3"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(out[i].content_type, 0x261bu);
        EXPECT_EQ(out[i].name, first[i]);
        EXPECT_EQ(out[i].second_name, second[i]);
    }

    const auto test = real_session("TestPTX.ptx");
    read_track_names(test.data(), test.size(), out, &assigned);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(assigned, 1);
    std::vector<TrackMidiValues> midi;
    read_2036_per_track(test.data(), test.size(), out, midi);
    ASSERT_EQ(midi.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        const bool is_midi = i >= 2;
        EXPECT_EQ(out[i].content_type, is_midi ? 0x2620u : 0x261bu) << i;
        EXPECT_EQ(midi[i].volume, is_midi ? 96 : -1) << i;
        EXPECT_EQ(midi[i].pan, is_midi ? 64 : -1) << i;
        EXPECT_EQ(midi[i].program, -1) << i;
    }
}

// A 0x2036 block: volume at +9, pan at +17, program at +25; `size` counts from +7.
std::string midi_values(std::uint8_t volume, std::uint8_t pan, std::uint8_t program,
                        std::size_t size) {
    std::string content = zeros(26);
    content[0] = static_cast<char>(volume);
    content[8] = static_cast<char>(pan);
    content[16] = static_cast<char>(program);
    content.resize(size - 2, '\0');
    return z_block(0x2036, content);
}

TEST(TrackMidiValues, ReadFromTheFirstBlockInsideMidiAndInstrumentTracks) {
    struct Case {
        std::uint16_t track_type;
        std::string values;
        TrackMidiValues want;
    };
    const Case cases[] = {
        {0x2620, midi_values(100, 10, 5, 36), {100, 10, 5}},
        {0x2621, midi_values(100, 10, 5, 36) + midi_values(1, 2, 3, 36), {100, 10, 5}},
        {0x2620, midi_values(0x80, 10, 5, 36), {-1, -1, 5}},
        {0x2620, midi_values(100, 10, 0x90, 36), {100, 10, -1}},
        {0x2620, midi_values(100, 10, 5, 15), {-1, -1, -1}},
        // Size 18 ends right at the program byte: it is not read.
        {0x2620, midi_values(100, 10, 5, 18), {100, 10, -1}},
        {0x261b, midi_values(100, 10, 5, 36), {-1, -1, -1}},
    };
    for (const Case& c : cases) {
        // The values block ends the bytes, so a read past it is a read past the buffer.
        const auto bytes = test_blocks::to_bytes(track_block(c.track_type, "T", c.values));
        std::vector<NamedBlockEntry> named;
        read_track_names(bytes.data(), bytes.size(), named);
        ASSERT_EQ(named.size(), 1u);
        std::vector<TrackMidiValues> out;
        read_2036_per_track(bytes.data(), bytes.size(), named, out);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].volume, c.want.volume) << c.track_type << " " << c.values.size();
        EXPECT_EQ(out[0].pan, c.want.pan);
        EXPECT_EQ(out[0].program, c.want.program);
    }
}

}  // namespace
