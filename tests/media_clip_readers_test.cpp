#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "block_builder.h"
#include "session/clip_pitch.h"
#include "session/digitrim.h"
#include "session/media_lists.h"
#include "session/px_records.h"
#include "session/warp_markers.h"

namespace {

using namespace test_blocks;

std::string be32(std::uint32_t value) {
    std::string out;
    append_u32be(out, value);
    return out;
}

std::string text(const std::string& s) {
    return le(s.size(), 4) + s;
}

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// --- Video files and clip entries -----------------------------------------------------------

std::vector<std::string> video_names_of(const std::string& bytes) {
    std::vector<std::string> out;
    read_video_file_names(u8(bytes), bytes.size(), out);
    return out;
}

TEST(ReadVideoFileNames, ExtensionsInAnyCaseOncePerBlock) {
    const std::string bytes =
        z_block(0x103a, zeros(3) + text("clip.mov.txt") + text("CLIP.MOV") + text("b.mp4")) +
        z_block(0x103a, zeros(1) + text("Scene.Mkv")) +
        z_block(0x103a, text("CLIP.MOV")) +                       // already listed
        z_block(0x103a, text("a.mp4") + zeros(4000)) + zeros(4);  // block above 4000 bytes
    EXPECT_EQ(video_names_of(bytes), (std::vector<std::string>{"CLIP.MOV", "Scene.Mkv"}));
    // A name that would end past its block is not taken.
    std::string cut = z_block(0x103a, text("xy.avi"));
    cut.replace(3, 4, le(2 + 8, 4));
    EXPECT_TRUE(video_names_of(cut + zeros(8)).empty());
}

TEST(ReadVideoClipEntries, TheVideoAndItsNumberedClips) {
    // Nibble header: widths 1, 2 (gap 0) and 3 at p + 1..3; values from p + 5.
    const std::string values =
        std::string("\x00\x10\x20\x30\x00", 5) + le(7, 1) + le(300, 2) + le(70000, 3);
    std::string bytes;
    for (const char* name : {"Take", "Take-1", "Take-12", "Take-a", "Take2", "Take-", "Other"}) {
        bytes += z_block(0x2628, text(name) + values + zeros(4), 0x02);
    }
    std::vector<VideoClipEntry> got;
    read_video_clip_entries(u8(bytes + zeros(2)), bytes.size() + 2, "Take", got);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].name, "Take");
    EXPECT_EQ(got[1].name, "Take-1");
    EXPECT_EQ(got[2].name, "Take-12");
    EXPECT_EQ(got[2].first, 7);
    EXPECT_EQ(got[2].second, 300);
    EXPECT_EQ(got[2].third, 70000);
}

// --- Audio files and their folders ----------------------------------------------------------

std::string record(const std::string& name, const std::string& tag) {
    return text(name) + tag + zeros(5);
}

const std::string kFolderTag(4, '\0');

AudioFolderHints hints_of(const std::string& bytes) {
    AudioFolderHints out;
    read_audio_files(u8(bytes), bytes.size(), out);
    return out;
}

TEST(ReadAudioFiles, FilesMapToTheFolderStoredBeforeThem) {
    const std::string first = z_block(
        0x103a, zeros(9) + record("early.wav", "WAVE") + record("Audio Files", kFolderTag) +
                    record("a.wav", "EVAW") + record("b.aif", "AIFF") + record("c.mxf", "fFXM") +
                    record("Desktop", kFolderTag) + record("d.wav", "WAVE"));
    const std::string second =
        z_block(0x103a, zeros(9) + record("Other", kFolderTag) + record("a.wav", "WAVE") +
                            record("e.wav", "RIFF") + record("f.wav", "WAVE"));
    const AudioFolderHints got = hints_of(first + second);
    const AudioFolderHints want = {{"a.wav", "Audio Files"},
                                   {"b.aif", "Audio Files"},
                                   {"c.mxf", "Audio Files"},
                                   {"d.wav", "Desktop"}};
    EXPECT_EQ(got, want);
}

TEST(ReadAudioFiles, WhereARunStops) {
    // A name with a control byte, a length past the block, and a block type with a high byte.
    EXPECT_TRUE(
        hints_of(z_block(0x103a, zeros(9) + record("F", kFolderTag) + record("a\x01.wav", "WAVE")))
            .empty());
    std::string past = z_block(0x103a, zeros(9) + record("F", kFolderTag) + le(600, 4) + "x");
    EXPECT_TRUE(hints_of(past).empty());
    EXPECT_TRUE(
        hints_of(
            z_block(0x103a, zeros(9) + record("F", kFolderTag) + record("a.wav", "WAVE"), 0x0101))
            .empty());
    // The last record may end 2 bytes past its block, but no further.
    std::string two_past =
        z_block(0x103a, zeros(9) + record("F", kFolderTag) + record("a.wav", "WAVE"));
    two_past.replace(3, 4, le(two_past.size() - 9, 4));
    EXPECT_EQ(hints_of(two_past).size(), 1u);
    std::string three_past = two_past;
    three_past.replace(3, 4, le(two_past.size() - 10, 4));
    EXPECT_TRUE(hints_of(three_past).empty());
}

// --- Clip pitch -----------------------------------------------------------------------------

// A clip's 0x2629 block: its 0x2628 name block, then the whole part and hundredths 14 and 18
// bytes past that block's end.
std::string pitch_block(const std::string& clip, std::int32_t whole, float hundredths) {
    const std::string name_block = z_block(0x2628, text(clip) + zeros(8), 0x02);
    return z_block(0x2629,
                   name_block + zeros(14) + le(static_cast<std::uint32_t>(whole), 4) +
                       le(std::bit_cast<std::uint32_t>(hundredths), 4) + zeros(12),
                   0x05);
}

TEST(ReadClipPitch, SemitonesWithinFortyEight) {
    const std::string bytes =
        pitch_block("zero", 0, 0) + pitch_block("high", 49, 0) + pitch_block("up", 47, 50) +
        pitch_block("down", -12, -25) + pitch_block("odd", 3, 250) + pitch_block("again", 1, 0) +
        pitch_block("again", 2, 0) +
        // No readable name of its own: it takes the next block's name,
        // whose own value then replaces its value.
        pitch_block(std::string("\x01", 1), 5, 0) + pitch_block("shared", 7, 0);
    ClipPitches got = {{"stale", 1.0}};
    read_clip_pitch(u8(bytes), bytes.size(), got);
    const ClipPitches want = {
        {"up", 47.5}, {"odd", 3}, {"down", -12.25}, {"again", 2}, {"shared", 7}};
    EXPECT_EQ(got, want);
    ASSERT_NE(find_clip_pitch(got, "odd"), nullptr);
    EXPECT_EQ(find_clip_pitch(got, "odd")->semitones, 3);
    EXPECT_EQ(find_clip_pitch(got, "od"), nullptr);
    EXPECT_EQ(find_clip_pitch(got, "zero"), nullptr);
}

// Without a name block inside it, or with one too near its end, a clip keeps its value in its
// own last bytes; its name is the next readable one from its marker on, inside or after it.
TEST(ReadClipPitch, ValueBeforeTheClipsEndWhereNoNameBlockPlacesIt) {
    const auto value = [](std::int32_t whole) {
        return le(static_cast<std::uint32_t>(whole), 4) + le(std::bit_cast<std::uint32_t>(0.0f), 4);
    };
    const std::string unnamed = z_block(0x2629, zeros(29) + value(-3) + zeros(1), 0x05);
    const std::string after = z_block(0x2628, text("after") + zeros(8), 0x02);
    const std::string near = z_block(
        0x2629, z_block(0x2628, text("near") + zeros(8), 0x02) + zeros(5) + value(5) + zeros(1),
        0x05);
    const std::string bytes = unnamed + after + near;
    ClipPitches got;
    read_clip_pitch(u8(bytes), bytes.size(), got);
    const ClipPitches want = {{"near", 5}, {"after", -3}};
    EXPECT_EQ(got, want);
}

// Names of one length are told apart eight bytes at a time: names that differ only past the
// eighth or the sixteenth byte, in a byte above 0x7F, or in the last of fewer than eight.
TEST(ReadClipPitch, EachNameFindsItsOwnValue) {
    const std::vector<std::string> names = {"Take 1",
                                            "Take 2",
                                            "Take 10",
                                            "Take 1-01",
                                            "Take 1-02",
                                            "Take 1-03.L",
                                            "Take 1-03.R",
                                            "Vocal Take 1-01",
                                            "Vocal Take 1-02",
                                            "Vocal Take 2-01",
                                            "\xC3\xA9t\xC3\xA9 1",
                                            "\xC3\xA9t\xC3\xA9 2",
                                            "Bass DI 12345678",
                                            "Bass DI 12345679",
                                            "Lead Vocal Comp 1-01",
                                            "Lead Vocal Comp 1-02"};
    std::string bytes;
    for (std::size_t i = 0; i < names.size(); ++i)
        bytes += pitch_block(names[i], static_cast<std::int32_t>(i) + 1, 0);
    ClipPitches got;
    read_clip_pitch(u8(bytes), bytes.size(), got);
    ASSERT_EQ(got.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const ClipPitch* found = find_clip_pitch(got, names[i]);
        ASSERT_NE(found, nullptr) << names[i];
        EXPECT_EQ(found->semitones, static_cast<double>(i + 1)) << names[i];
    }
    for (const char* absent :
         {"Take 3", "Take 1-04", "Vocal Take 1-00", "Bass DI 12345670", "Lead Vocal Comp 1-03", ""})
        EXPECT_EQ(find_clip_pitch(got, absent), nullptr) << absent;
}

// --- Name records and Clip Effects lists ----------------------------------------------------

std::string px(const std::string& name, std::uint64_t value) {
    return std::string("px\x01\x00", 4) + le(name.size() + 12, 4) + text(name) + le(value, 8);
}

TEST(ReadPxRecords, RecordsInOrderAndBadOnesPassedOver) {
    std::string bad_total = px("Gain", 1);
    bad_total[4] = 9;
    const std::string bytes = zeros(3) + px("Gain", 0x4010000000000000ULL) + bad_total +
                              px(std::string(64, 'n'), 5) + px("Freq", 7) + px("Cut", 3);
    std::vector<PxRecord> out = {{"stale", 0}};
    // The last record does not fit.
    read_px_records(u8(bytes), bytes.size() - 1, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].name, "Gain");
    EXPECT_EQ(out[0].value, 0x4010000000000000ULL);
    EXPECT_EQ(out[1].name, "Freq");
    EXPECT_EQ(out[1].value, 7u);
}

struct ListEntry {
    std::uint64_t id;
    std::string data;
};

std::string lists_block(const std::vector<ListEntry>& entries) {
    std::string content = le(entries.size(), 4);
    for (const ListEntry& e : entries) content += le(e.id, 8) + zeros(4) + text(e.data);
    return z_block(0x4400, content + zeros(20), 0x02);
}

// A clip's 0x2629 block naming the clip, then the list id and a 0x4403 block.
std::string clip_with_id(const std::string& clip, std::uint64_t id) {
    return z_block(0x2629,
                   z_block(0x2628, text(clip) + zeros(4), 0x02) + zeros(3) + le(id, 8) +
                       z_block(0x4403, zeros(4)) + zeros(12),
                   0x05);
}

TEST(Read4400PxLists, ClipsTakeTheListTheirIdNames) {
    const std::uint64_t id = 0x0000000500000007ULL;
    const std::string bytes =
        lists_block({{id, px("Old", 1)}, {9, "no records"}, {id, px("Gain", 2) + px("Q", 3)}}) +
        clip_with_id("Vox", id) + clip_with_id("Gtr", 9) + clip_with_id("Bass", 0) +
        clip_with_id("Keys", 12);
    ClipEffectsLists out = {{"stale", {}}};
    read_4400_px_lists(u8(bytes), bytes.size(), out);
    ASSERT_EQ(out.size(), 1u);
    ASSERT_EQ(out["Vox"].size(), 2u);
    EXPECT_EQ(out["Vox"][0].name, "Gain");
    EXPECT_EQ(out["Vox"][1].value, 3u);

    // Without a list nothing is tied, and the output is still emptied.
    const std::string no_lists = lists_block({}) + clip_with_id("Vox", id);
    read_4400_px_lists(u8(no_lists), no_lists.size(), out);
    EXPECT_TRUE(out.empty());
}

TEST(Read4400PxLists, AnEntryPastItsBlockEndsTheList) {
    std::string block = lists_block({{4, px("A", 1)}, {4, px("B", 2)}});
    // The second entry's data length now runs past the block.
    const std::size_t second = 13 + 16 + px("A", 1).size();
    block.replace(second + 12, 4, le(5000, 4));
    const std::string bytes = block + clip_with_id("Vox", 4);
    ClipEffectsLists out;
    read_4400_px_lists(u8(bytes), bytes.size(), out);
    ASSERT_EQ(out["Vox"].size(), 1u);
    EXPECT_EQ(out["Vox"][0].name, "A");
}

// --- Warp markers ---------------------------------------------------------------------------

struct StoredWarp {
    std::uint32_t sample;
    std::uint64_t tick;  // as stored
};

// A clip's 0x2628 block holding a 0x2636 block: point count at W + 35, 12-byte points from
// W + 47.
std::string warp_clip(const std::string& clip, const std::vector<StoredWarp>& points,
                      std::int64_t count = -1, const std::string& before_warp = "") {
    std::string warp = zeros(26) +
                       le(count >= 0 ? count : static_cast<std::int64_t>(points.size()), 2) +
                       zeros(10);
    for (const StoredWarp& p : points) warp += le(p.sample, 4) + le(p.tick, 5) + zeros(3);
    return z_block(
        0x2628, text(clip) + zeros(6) + before_warp + z_block(0x2636, warp + zeros(8)) + zeros(70),
        0x02);
}

TEST(ReadWarpMarkers, PointsOfAClip) {
    const std::vector<StoredWarp> points = {
        {1000, kOrigin - 5}, {48000, kOrigin + 960000}, {96000, kOrigin + 1920000}};
    const std::string bytes = warp_clip("Loop", points) + warp_clip("One", {points[0]}) +
                              warp_clip("Many", points, 4001) + warp_clip("Short", points, 5) +
                              warp_clip("Hidden", points, -1, z_block(0x2628, zeros(4)));
    std::map<std::string, std::vector<WarpPoint>> got;
    read_warp_markers(u8(bytes), bytes.size(), got);
    ASSERT_EQ(got.count("Loop"), 1u);
    const std::vector<WarpPoint>& loop = got["Loop"];
    ASSERT_EQ(loop.size(), 3u);
    EXPECT_EQ(loop[0].tick, 0);  // stored below the origin
    EXPECT_EQ(loop[0].sample, 0);
    EXPECT_EQ(loop[1].tick, 960000);
    EXPECT_EQ(loop[1].sample, 48000);
    EXPECT_EQ(loop[2].sample, 96000);
    EXPECT_EQ(got.count("One"), 0u);
    EXPECT_EQ(got.count("Many"), 0u);
    EXPECT_EQ(got.count("Hidden"), 0u);
    // A count past the stored points stops at the end of the 0x2636 block.
    EXPECT_EQ(got["Short"].size(), 3u);
}

// --- DigiTrim probes ------------------------------------------------------------------------

std::string digitrim(std::uint32_t at_48, std::uint32_t at_52) {
    return "DigiTrim" + zeros(40) + be32(at_48) + be32(at_52);
}

TEST(DigiTrim, ProbesWithinTheirRange) {
    const std::string bytes =
        zeros(5) + digitrim(11, 0x7FFFFFFF) + zeros(3) + digitrim(22, 4) + "DigiTrim" + zeros(10);
    const std::size_t end = bytes.size();
    std::vector<std::uint32_t> values = {99};
    find_digitrim(u8(bytes), bytes.size(), 0, end, values);
    EXPECT_EQ(values, (std::vector<std::uint32_t>{11, 22}));
    read_digitrim_values(u8(bytes), bytes.size(), 0, end, values);
    EXPECT_EQ(values, (std::vector<std::uint32_t>{1, 0}));
    EXPECT_TRUE(has_digitrim(u8(bytes), bytes.size(), 0, end));

    // A range that starts past the first record, and one that cuts the first record short.
    EXPECT_FALSE(has_digitrim(u8(bytes), bytes.size(), 6, end));
    EXPECT_FALSE(has_digitrim(u8(bytes), bytes.size(), 0, 5 + 55));
    find_digitrim(u8(bytes), bytes.size(), 0, 5 + 52, values);
    EXPECT_EQ(values, (std::vector<std::uint32_t>{11}));
    read_digitrim_values(u8(bytes), bytes.size(), 0, 5 + 55, values);
    EXPECT_TRUE(values.empty());
    // An end past the bytes is cut to them.
    find_digitrim(u8(bytes), bytes.size(), 0, end + 1000, values);
    EXPECT_EQ(values.size(), 2u);
}

}  // namespace
