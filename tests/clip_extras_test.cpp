// Clip Effects, warps, pitch, the rate correction, loops and Melodyne records on a clip model.
#include "convert/clips/clip_extras.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "block_builder.h"
#include "convert/clips/clip_overlaps.h"
#include "mix_session.h"
#include "test_support.h"

namespace {

constexpr double kRate = 48000.0;

ClipRecord clip(const std::string& name, double start, double length) {
    ClipRecord c;
    c.name = name;
    c.start = start;
    c.length = length;
    c.raw_start = static_cast<std::uint64_t>(start * kRate);
    return c;
}

ClipModel model_of(std::vector<ClipRecord> clips, const std::string& track = "T") {
    ClipModel m;
    m.sample_rate = kRate;
    m.track_order = {0};
    m.output_tracks[0].name = track;
    m.main_clips[0] = std::move(clips);
    return m;
}

PxRecord param(const char* name, double value) {
    return {name, std::bit_cast<std::uint64_t>(value)};
}

ClipExtrasInput no_files() {
    ClipExtrasInput in;
    in.no_ara = true;
    return in;
}

}  // namespace

TEST(ClipExtras, ClipEffectsChangesAndPolarity) {
    struct Case {
        const char* what;
        std::vector<PxRecord> params;
        bool effects;
        bool phase;
    } cases[] = {
        {"polarity at 0.5", {param("Phase Switch In/Out", 0.5)}, false, true},
        {"polarity at 0.49", {param("Phase Switch In/Out", 0.49)}, false, false},
        // Untouched clips store values a hair off the table.
        {"a full default list, slightly off",
         {param("EQ Low Frequency", 0.10389), param("Cmp Threshold", 0.60009)},
         false,
         false},
        {"a gain moved", {param("EQ Low Gain", 0.7), param("Input Trim", 0.5)}, true, false},
        {"process order", {param("Process Order", 0.001)}, true, false},
        {"an unknown name", {param("Something Else", 0.9)}, false, false},
        {"a NaN value", {param("EQ Low Gain", std::nan(""))}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClipExtras out;
        ClipExtrasInput in = no_files();
        in.effects["a"] = c.params;
        ClipModel m = model_of({clip("a", 0.0, 1.0)});
        apply_clip_extras(in, m, out);
        const ClipRecord& a = m.main_clips[0][0];
        EXPECT_EQ(!a.rare.get().clip_effects.empty(), c.effects);
        if (c.effects) {
            EXPECT_EQ(a.rare.get().clip_effects.size(), c.params.size());
        }
        EXPECT_EQ(a.rare.get().phase_invert, c.phase ? 1 : 0);
        EXPECT_EQ(out.phase_inversions, c.phase ? 1 : 0);
        EXPECT_EQ(out.clip_effects_clips.size(), c.effects ? 1u : 0u);
    }
    EXPECT_EQ(kClipEffectDefaults.size(), 60u);
}

TEST(ClipExtras, PitchKeepsOnlyATransposition) {
    ClipExtras out;
    ClipExtrasInput in = no_files();
    // Ordered by name, as the reader leaves them.
    in.pitches = {{"up", 3.0},
                  {"far", 60.0},
                  {"nan", std::numeric_limits<double>::quiet_NaN()},
                  {"denormal", 1e-40}};
    ClipModel m = model_of({clip("up", 0.0, 1.0), clip("nan", 2.0, 1.0), clip("far", 4.0, 1.0),
                            clip("denormal", 6.0, 1.0)});
    apply_clip_extras(in, m, out);
    EXPECT_EQ(m.main_clips[0][0].rare.get().pitch, 3.0);
    // A rejected value sets nothing: the clip holds no rare fields.
    for (std::size_t i = 1; i < 4; ++i) EXPECT_FALSE(m.main_clips[0][i].rare.held()) << i;
    EXPECT_EQ(out.pitched_clips, 1);
    EXPECT_EQ(out.rejected_pitches, 3);
}

namespace {

// "Take 0" to "Take 999", ordered as the pitch reader orders names: shorter first, then by bytes.
const std::vector<std::string> kPitchNames = [] {
    std::vector<std::string> names;
    for (int i = 0; i < 1000; ++i) names.push_back("Take " + std::to_string(i));
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}();

}  // namespace

// Among many names, each clip finds its own name's value, and a name the list lacks (a prefix
// of a listed one, one longer, an empty one) finds none.
TEST(ClipExtras, EachClipFindsItsNamesPitchAmongMany) {
    ClipExtras out;
    ClipExtrasInput in = no_files();
    for (std::size_t i = 0; i < kPitchNames.size(); ++i)
        in.pitches.push_back({kPitchNames[i], 1.0 + static_cast<double>(i % 40)});
    std::vector<ClipRecord> clips;
    for (std::size_t i = 0; i < kPitchNames.size(); i += 7)
        clips.push_back(clip(kPitchNames[i], static_cast<double>(i), 0.5));
    for (const char* name : {"Take", "Take 1000", "Take 10000", ""})
        clips.push_back(clip(name, 2000.0, 0.5));
    ClipModel m = model_of(clips);
    apply_clip_extras(in, m, out);
    int pitched = 0;
    for (const ClipRecord& c : m.main_clips[0]) {
        const auto listed = std::find(kPitchNames.begin(), kPitchNames.end(), c.name.str());
        if (listed == kPitchNames.end()) {
            EXPECT_FALSE(c.rare.held()) << c.name.str();
            continue;
        }
        const auto i = static_cast<std::size_t>(listed - kPitchNames.begin());
        EXPECT_EQ(c.rare.get().pitch, 1.0 + static_cast<double>(i % 40)) << c.name.str();
        ++pitched;
    }
    EXPECT_EQ(pitched, 143);
    EXPECT_EQ(out.pitched_clips, 143);
    EXPECT_EQ(out.rejected_pitches, 0);
}

TEST(ClipExtras, WarpStretchesAndItsMarkersFollowAHeadCut) {
    // 120 BPM: 960000 ticks a quarter note, a half second. The clip's 2 s of source play in 4 s,
    // with an inner point at 1 s of source reached after 1 s.
    const double tick = 960000.0 * 2.0;  // one second
    ClipExtras out;
    ClipExtrasInput in = no_files();
    in.warps["w"] = {{0.0, 0.0}, {1.0 * tick, 1.0 * kRate}, {4.0 * tick, 2.0 * kRate}};
    ClipModel m = model_of({clip("w", 0.0, 2.0)});
    apply_clip_extras(in, m, out);
    ClipRecord w = m.main_clips[0][0];
    EXPECT_EQ(w.rare.get().stretched, 1);
    EXPECT_NEAR(w.length, 4.0, 1e-9);
    EXPECT_NEAR(w.rare.get().playrate, 0.5, 1e-9);
    ASSERT_EQ(w.rare.get().stretch_markers.size(), 3u);
    EXPECT_NEAR(w.rare.get().stretch_markers[1].item_time, 1.0, 1e-9);
    EXPECT_NEAR(w.rare.get().stretch_markers[1].source_position, 1.0, 1e-9);
    EXPECT_NEAR(w.rare.get().stretch_markers[2].item_time, 4.0, 1e-9);
    EXPECT_NEAR(w.rare.get().stretch_markers[2].source_position, 2.0, 1e-9);
    EXPECT_EQ(out.stretched_clips, 1);

    // A head cut 2.5 s in: the markers start at the source position at the cut.
    cut_clip_head(w, 2.5, kRate);
    ASSERT_FALSE(w.rare.get().stretch_markers.empty());
    EXPECT_NEAR(w.rare.get().stretch_markers[0].item_time, 0.0, 1e-9);
    EXPECT_NEAR(w.rare.get().stretch_markers[0].source_position, 1.5, 1e-9);
    EXPECT_NEAR(w.source_offset, 1.5, 1e-9);
    EXPECT_NEAR(w.rare.get().stretch_markers.back().item_time, 1.5, 1e-9);

    // A ratio of 1.0005 keeps length and rate; the inner point still gives markers.
    ClipExtras near_one;
    in.warps["w"] = {{0.0, 0.0}, {0.5 * tick, 0.5 * kRate}, {2.001 * tick, 2.0 * kRate}};
    ClipModel n = model_of({clip("w", 0.0, 2.0)});
    apply_clip_extras(in, n, near_one);
    EXPECT_EQ(n.main_clips[0][0].rare.get().stretched, 0);
    EXPECT_EQ(n.main_clips[0][0].length, 2.0);
    EXPECT_EQ(n.main_clips[0][0].rare.get().playrate, 1.0);
    EXPECT_EQ(n.main_clips[0][0].rare.get().stretch_markers.size(), 3u);

    // Falling sample positions are rejected and counted, nothing changes.
    ClipExtras bad;
    in.warps["w"] = {{0.0, 0.0}, {tick, 2.0 * kRate}, {2.0 * tick, 1.0 * kRate}};
    ClipModel b = model_of({clip("w", 0.0, 2.0)});
    apply_clip_extras(in, b, bad);
    EXPECT_EQ(b.main_clips[0][0].length, 2.0);
    EXPECT_TRUE(b.main_clips[0][0].rare.get().stretch_markers.empty());
    EXPECT_EQ(bad.rejected_warps, 1);

    // A trim 12 s into its take, whose warp map counts from the slice 10 s in: its offset is
    // taken from the first point, the markers follow, and the clip is counted as such.
    ClipExtras slice;
    in.warps["w"] = {{10.0 * tick, 0.0},
                     {11.0 * tick, 1.0 * kRate},
                     {13.0 * tick, 3.0 * kRate},
                     {16.0 * tick, 6.0 * kRate}};
    ClipRecord trim = clip("w", 0.0, 2.0);
    trim.source_offset_samples = static_cast<std::uint32_t>(12.0 * kRate);
    ClipModel t = model_of({trim});
    apply_clip_extras(in, t, slice);
    ASSERT_EQ(t.main_clips[0][0].rare.get().stretch_markers.size(), 3u);
    EXPECT_NEAR(t.main_clips[0][0].rare.get().stretch_markers[1].item_time, 1.0, 1e-9);
    EXPECT_EQ(slice.stretch_marker_clips, 1);
    EXPECT_EQ(slice.warped_from_slice, 1);
    EXPECT_EQ(near_one.warped_from_slice, 0);
    bad.stretch_marker_clips = slice.stretch_marker_clips;
    bad.warped_from_slice = slice.warped_from_slice;
    EXPECT_EQ(clip_extras_stretch_lines(bad),
              "  1 clips carry elastic warp markers\n"
              "  1 of them are trims of a take, warped from the slice\n"
              "  1 clips carry a warp map that could not be sliced\n");
}

TEST(ClipExtras, RateCorrectionOnlyFor44k1Against48k) {
    auto track = [](double ratio) {
        std::vector<ClipRecord> clips;
        for (int i = 0; i < 6; ++i) clips.push_back(clip("c", 2.0 * i, 2.0 * ratio));
        return clips;
    };
    // Hits on a grid, each 0.9 of the step, are an edit.
    EXPECT_EQ(rate_correction(track(0.9)), 0.0);
    EXPECT_EQ(rate_correction(track(1.0)), 0.0);
    EXPECT_NEAR(rate_correction(track(0.91875)), 0.91875, 1e-9);
    EXPECT_NEAR(rate_correction(track(1.08844)), 1.08844, 1e-9);

    ClipExtras out;
    ClipModel m = model_of(track(0.91875));
    apply_clip_extras(no_files(), m, out);
    EXPECT_NEAR(m.main_clips[0][0].length, 2.0, 1e-9);
    EXPECT_EQ(m.main_clips[0][0].rare.get().playrate, 0.91875);
    EXPECT_EQ(out.rate_corrected_clips, 6);
    ClipExtrasInput off = no_files();
    off.no_stretch = true;
    ClipModel kept = model_of(track(0.91875));
    apply_clip_extras(off, kept, out);
    EXPECT_EQ(kept.main_clips[0][0].rare.get().playrate, 1.0);
}

namespace {

LoopRecord loop(const ClipRecord& c, std::uint32_t kind, std::uint32_t count,
                std::uint64_t samples = 0, std::uint16_t holder = 0x1050) {
    LoopRecord r;
    r.placement_key = (c.raw_start << 32) | c.region_index;
    r.loop_byte = kind;
    r.loop_count = count;
    r.first_value = samples;
    r.parent_type = holder;
    r.known_shape = 1;
    return r;
}

}  // namespace

TEST(ClipExtras, LoopsRepeatOrAreNamed) {
    ClipRecord looped = clip("L", 10.0, 2.0);
    looped.region_index = 4;
    ClipExtras out;
    ClipExtrasInput in = no_files();
    in.loops = {loop(looped, 2, 3)};
    ClipModel m = model_of({looped});
    apply_clip_extras(in, m, out);
    ASSERT_EQ(m.main_clips[0].size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(m.main_clips[0][k].start, 10.0 + 2.0 * k);
        EXPECT_EQ(m.main_clips[0][k].raw_start, looped.raw_start + 96000u * k);
    }
    EXPECT_EQ(out.loops_written, 1);
    EXPECT_EQ(out.loop_repeats, 2);
    EXPECT_EQ(clip_extras_loop_lines(out),
              "  1 looped clip(s) (Clip > Loop) written as their 3 passes, end to end,\n"
              "      as Pro Tools plays them.\n");

    struct Case {
        const char* what;
        double playrate;
        std::uint32_t kind;
        std::uint32_t count;
        std::uint16_t holder;
        const char* note;
    } cases[] = {
        {"a count of 1", 1.0, 2, 1, 0x1050, "an unreadable loop count"},
        {"a rate a hair off 1", 1.0000001, 2, 3, 0x1050, "stretched or crossfaded"},
        {"an unknown mode", 1.0, 7, 3, 0x1050, "an unknown loop mode"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClipRecord one = looped;
        one.rare.edit().playrate = c.playrate;
        ClipExtras notes;
        ClipExtrasInput n = no_files();
        n.loops = {loop(one, c.kind, c.count, 0, c.holder)};
        ClipModel single = model_of({one}, "Gtr");
        apply_clip_extras(n, single, notes);
        EXPECT_EQ(single.main_clips[0].size(), 1u);
        EXPECT_EQ(notes.loop_notes, std::string("\n      Gtr: \"L\" at 10.00 s (") + c.note + ")");
        EXPECT_EQ(notes.loop_note_count, 1);
        EXPECT_TRUE(clip_extras_loop_lines(notes).starts_with(
            "  WARNING: 1 looped clip(s) (Clip > Loop) NOT written as loops:\n      Gtr: "));
    }

    // A MIDI loop that matches no clip is named by its position.
    ClipExtras midi;
    ClipExtrasInput mi = no_files();
    ClipRecord elsewhere = clip("M", 1.0, 1.0);
    elsewhere.region_index = 9;
    mi.loops = {loop(elsewhere, 2, 3, 0, 0x1056)};
    ClipModel none = model_of({looped});
    apply_clip_extras(mi, none, midi);
    EXPECT_EQ(midi.loop_notes, "\n      a MIDI placement at sample 48000 (not an audio clip)");
}

TEST(ClipExtras, KindOneLoopCutsTheClipAfterOverlaps) {
    ClipRecord looped = clip("L", 0.0, 4.0);
    looped.fade_out_length = 3.0;
    looped.whole_file = 1;
    ClipExtras out;
    ClipExtrasInput in = no_files();
    in.loops = {loop(looped, 1, 0, static_cast<std::uint64_t>(1.5 * kRate))};
    ClipModel m = model_of({looped});
    apply_clip_extras(in, m, out);
    EXPECT_EQ(m.main_clips[0][0].length, 4.0);
    refresh_output_clips(m);  // the overlap step hands the clips to the output tracks
    apply_loop_cuts(m, out);
    const ClipRecord& c = m.output_tracks[0].clips[0];
    EXPECT_EQ(c.length, 1.5);
    EXPECT_EQ(c.fade_out_length, 1.5);
    EXPECT_EQ(c.whole_file, 0);
    EXPECT_EQ(out.loops_cut, 1);
}

TEST(ClipExtras, MelodyneRecordsTieClipsAndNamesThatAreNotFilesOpenNothing) {
    test_support::TempDir dir;
    const std::string session = dir.file("S.ptx");
    // A file that a path climbing out of "ARA Data" would reach.
    test_support::write_file(dir.file("x"), "not an archive");
    ClipExtrasInput in;
    in.session_path = session;
    PluginParamRecord record;
    record.group_text = "com.celemony.ara.chunk.13";
    record.container_name = "..";
    record.document_text = "../x";
    in.ara_records = {record, record};
    in.ara_records[1].group_text = "com.other";
    in.ara_records[1].container_name = "Other";
    in.ara_clip_records["a"] = 0;
    ClipExtras out;
    ClipModel m = model_of({clip("a", 0.0, 1.0), clip("b", 2.0, 1.0)});
    apply_clip_extras(in, m, out);
    EXPECT_EQ(m.main_clips[0][0].rare.get().ara_index, 0);
    EXPECT_EQ(m.main_clips[0][1].rare.get().ara_index, -1);
    EXPECT_TRUE(out.archives.empty());
    EXPECT_EQ(out.ara_usable, (std::vector<std::uint8_t>{0, 0}));
    EXPECT_EQ(out.ara_notes,
              (std::vector<std::string>{"../x: not found beside the session (ARA Data/..)",
                                        "Other: not Melodyne"}));

    ClipExtras off;
    in.no_ara = true;
    ClipModel again = model_of({clip("a", 0.0, 1.0)});
    apply_clip_extras(in, again, off);
    EXPECT_TRUE(off.ara_notes.empty());
    EXPECT_EQ(again.main_clips[0][0].rare.get().ara_index, 0);
}

// The program on a whole session: a clip transposed by three semitones plays at its own rate.
TEST(ClipExtrasProgram, PitchIsWrittenAsTakePitch) {
    using test_blocks::le;
    using test_blocks::z_block;
    using test_blocks::zeros;
    test_support::TempDir dir;
    const std::filesystem::path song = std::filesystem::path(dir.path()) / "Mix";
    std::filesystem::create_directories(song / "Audio Files");
    test_support::write_file((song / "Audio Files" / "Take 1.wav").string(), "RIFF");
    const std::string name = "Take 1";
    const std::string name_block = z_block(0x2628, le(name.size(), 4) + name + zeros(8), 0x02);
    std::string plain = mix_session::plain_session(mix_session::MixShape{});
    plain += z_block(
        0x2629,
        name_block + zeros(14) + le(3, 4) + le(std::bit_cast<std::uint32_t>(0.0f), 4) + zeros(12),
        0x05);
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    const std::string session = (song / "Mix.ptx").string();
    test_support::write_file(session, std::string(bytes.begin(), bytes.end()));
    const std::string project = (song / "Mix.rpp").string();
    const auto r = test_support::run_lanwick({session, "-o", project, "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string text = test_support::read_file(project);
    const std::size_t at = text.find("NAME \"Take 1\"");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(text.rfind("PLAYRATE", at), 44),
              "PLAYRATE 1.000000000 1 3.000000 -1 0 0.0025\n");
    EXPECT_NE(r.out.find("\n  1 clips pitch-shifted\n"), std::string::npos) << r.out;
}

namespace {

using test_blocks::le;
using test_blocks::z_block;
using test_blocks::zeros;

std::string named_block(const std::string& name, const std::string& after) {
    return z_block(0x2628, le(name.size(), 4) + name + after, 0x02);
}

// A clip block whose Clip Effects list is the 0x4400 entry `id`: the id stands right before the
// 0x4403 marker that follows the clip's name.
std::string clip_with_effects(const std::string& name, std::uint64_t id) {
    return z_block(0x2629,
                   named_block(name, zeros(8)) + le(id, 8) + z_block(0x4403, zeros(4)) + zeros(12),
                   0x05);
}

std::string px(const std::string& name, double value) {
    return std::string("px\x01\x00", 4) + le(name.size() + 12, 4) + le(name.size(), 4) + name +
           le(std::bit_cast<std::uint64_t>(value), 8);
}

// The 0x4400 lists: a count, then per entry its u64 id, 4 bytes, the data length and the data.
std::string effect_lists(const std::vector<std::pair<std::uint64_t, std::string>>& entries) {
    std::string content = le(entries.size(), 4);
    for (const auto& [id, data] : entries)
        content += le(id, 8) + zeros(4) + le(data.size(), 4) + data;
    return z_block(0x4400, content + zeros(16));
}

// Warp points (tick from the session start, source sample) in a 0x2636 block inside the clip's
// name block: the count at +35, 12-byte points from +47 (u32 sample, 40-bit stored tick).
std::string clip_with_warp(const std::string& name,
                           const std::vector<std::pair<std::uint64_t, std::uint32_t>>& points) {
    std::string warp = zeros(26) + le(points.size(), 2) + zeros(10);
    for (const auto& [tick, sample] : points)
        warp += le(sample, 4) + le(test_blocks::kOrigin + tick, 5) + zeros(3);
    return named_block(name, z_block(0x2636, warp + zeros(16)) + zeros(8));
}

// A clip-list child holding a placement (region, start) with a 59-byte 0x242b loop child:
// the loop kind at +9, the repeat count at +36.
std::string looped_placement(std::uint32_t region, std::uint64_t start, std::uint8_t kind,
                             std::uint32_t count) {
    const std::string loop = z_block(
        0x242b, std::string(1, static_cast<char>(kind)) + zeros(26) + le(count, 4) + zeros(26),
        0x02);
    const std::string placement = z_block(
        0x104f,
        zeros(2) + le(region, 4) + zeros(1) + le(start, 6) + zeros(2) + "\x03" + zeros(19) + loop,
        0x0a);
    return z_block(0x1050, placement + std::string("\x00\x01", 2), 0x02);
}

}  // namespace

// The program on a whole session: Clip Effects polarity reaches the take, a changed Clip Effects
// list is named, a warp stretches its item with stretch markers, and a loop repeats its clip.
TEST(ClipExtrasProgram, ClipEffectsWarpsAndLoopsReachTheItems) {
    test_support::TempDir dir;
    const std::filesystem::path song = std::filesystem::path(dir.path()) / "Mix";
    std::filesystem::create_directories(song / "Audio Files");
    mix_session::MixShape shape;
    shape.tracks = 4;
    shape.clips_per_track = 1;
    shape.files = 4;
    shape.automation_points = 0;
    shape.tempo_entries = 1;  // the project's tempo stays 120 BPM: a second is 1920000 ticks
    shape.locations = 0;
    std::string plain = mix_session::plain_session(shape);
    // Each track holds one 2 s clip at 0 playing its file from 1 s: Take 0 loops three times,
    // Take 1 has its polarity switched, Take 3's EQ gain moved, and Take 2's source from 1 s to
    // 3 s is warped to play from 2 s to 5 s of the warp's time, through a point at 4 s.
    const std::uint64_t second = 1920000;  // ticks
    const std::string extras =
        looped_placement(0, 0, 2, 3) +
        effect_lists({{7, px("Phase Switch In/Out", 0.5)}, {9, px("EQ Low Gain", 0.7)}}) +
        clip_with_effects("Take 1", 7) + clip_with_effects("Take 3", 9) +
        clip_with_warp("Take 2",
                       {{0, 0}, {2 * second, 48000}, {4 * second, 96000}, {5 * second, 144000}});
    const std::size_t tail = plain.rfind("Z");  // before the closing room block
    plain.insert(tail, extras);
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    const std::string session = (song / "Mix.ptx").string();
    test_support::write_file(session, std::string(bytes.begin(), bytes.end()));
    const std::string project = (song / "Mix.rpp").string();
    const auto r = test_support::run_lanwick({session, "-o", project, "--no-pause"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string text = test_support::read_file(project);

    // Every item of a clip, in the order written: its POSITION, LENGTH and the take lines.
    const auto items = [&](const std::string& name) {
        std::vector<std::string> found;
        for (std::size_t at = text.find("NAME \"" + name + "\""); at != std::string::npos;
             at = text.find("NAME \"" + name + "\"", at + 1)) {
            const std::size_t item = text.rfind("<ITEM", at);
            found.push_back(text.substr(item, text.find("<SOURCE", at) - item));
        }
        return found;
    };
    const auto has = [](const std::string& s, const std::string& part) {
        return s.find(part) != std::string::npos;
    };
    const std::vector<std::string> loop = items("Take 0");
    ASSERT_EQ(loop.size(), 3u) << text;
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(has(loop[k], "POSITION " + std::to_string(2 * k) + ".0000000000\n"));
        EXPECT_TRUE(has(loop[k], "LENGTH 2.0000000000\n"));
        EXPECT_TRUE(has(loop[k], "SOFFS 1.0000000000\n"));
    }
    EXPECT_TRUE(
        has(r.out, "  1 looped clip(s) (Clip > Loop) written as their 3 passes, end to end,\n"))
        << r.out;

    const std::vector<std::string> phase = items("Take 1");
    ASSERT_EQ(phase.size(), 1u);
    EXPECT_TRUE(has(phase[0], "VOLPAN 1.000000000 0 -1 -1\n")) << phase[0];
    EXPECT_TRUE(has(r.out, "  1 clip(s) had Clip Effects POLARITY switched on")) << r.out;

    const std::vector<std::string> warp = items("Take 2");
    ASSERT_EQ(warp.size(), 1u);
    EXPECT_TRUE(has(warp[0], "LENGTH 3.0000000000\n")) << warp[0];
    EXPECT_TRUE(has(warp[0], "PLAYRATE 1.000000000 1 0.000000 -1 0 0.0025\n")) << warp[0];
    EXPECT_TRUE(has(warp[0],
                    "SM 0.0000000000 1.0000000000 + 2.0000000000 2.0000000000 + "
                    "3.0000000000 3.0000000000\n"))
        << warp[0];

    const std::vector<std::string> moved = items("Take 3");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_FALSE(has(moved[0], "VOLPAN"));
    const std::size_t take3 = text.find("NAME \"Take 3\"");
    const std::string take3_tail = text.substr(take3, text.find("\n    >\n", take3) - take3);
    EXPECT_TRUE(has(take3_tail, "<TAKEFX\n")) << take3_tail;
    EXPECT_TRUE(has(r.out, "  1 clip(s) carry Pro Tools Clip Effects, written as take FX"))
        << r.out;
    const std::size_t take1 = text.find("NAME \"Take 1\"");  // polarity alone is the take's own
    EXPECT_FALSE(has(text.substr(take1, text.find("\n    >\n", take1) - take1), "<TAKEFX"));
}
