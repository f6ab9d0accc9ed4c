// Track view lookups, name matching and the small clip arithmetic the clip stages share.
#include "convert/tracks/name_matching.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "convert/clips/clip_math.h"
#include "convert/run_state.h"
#include "convert/tracks/track_view.h"

namespace {

// --- Track view state ---------------------------------------------------------------------------

TEST(TrackView, LookupsFallBackToTheSessionName) {
    TrackViewStore store;
    TrackViewState state;
    state.height = 120;
    state.solo_state = 1;
    state.solo_safe_state = 1;
    state.automation_mode = 3;
    store.by_name["Gtr (session)"] = state;
    state.height = -5;
    state.solo_state = 0;
    state.solo_safe_state = 0;
    store.by_name["Bass"] = state;

    EXPECT_EQ(find_track_view("Gtr", "Gtr (session)", store), &store.by_name["Gtr (session)"]);
    EXPECT_EQ(find_track_view("Gtr", "", store), nullptr);
    EXPECT_EQ(track_view_height("Gtr", "Gtr (session)", store), 120);
    EXPECT_EQ(track_view_height("Bass", "", store), 0);
    EXPECT_EQ(track_view_height("Nobody", "", store), 0);
    EXPECT_EQ(track_view_solo("Gtr", "Gtr (session)", store), 2);
    EXPECT_EQ(track_view_solo("Bass", "", store), 0);
    EXPECT_EQ(track_view_solo_safe("Gtr", "Gtr (session)", store), 1);
    EXPECT_EQ(track_view_solo_safe("Bass", "", store), 0);
    EXPECT_EQ(track_view_automode("Nobody", "", 9, store), 9);
}

TEST(TrackView, AutomationModes) {
    const std::map<int, int> expected = {{-1, 7}, {0, 0}, {1, 1}, {2, 2}, {3, 4},
                                         {4, 3},  {5, 4}, {6, 7}, {7, 7}};
    for (const auto& [mode, result] : expected) {
        TrackViewStore store;
        store.by_name["T"].automation_mode = mode;
        EXPECT_EQ(track_view_automode("T", "", 7, store), result) << mode;
    }
}

TEST(TrackView, TheRunResetEmptiesTheStore) {
    track_views.by_name["T"].height = 80;
    reset_conversion_state(ConvertOptions{});
    EXPECT_TRUE(track_views.by_name.empty());
}

// --- Names --------------------------------------------------------------------------------------

TEST(FileStemKey, CutsShortExtensionsAndTakeNumbers) {
    const std::map<std::string, std::string> cases = {
        {"Take_12.wav", "take"},      {"Bass-3.aiff", "bass"},    {"Mix.final.wav", "mix.final"},
        {"Take_.wav", "take_"},       {"Kick", "kick"},           {"Vox.L", "vox"},
        {"Pad.backup", "pad.backup"}, {"Loop 12.wav", "loop 12"}, {"-12", ""},
    };
    for (const auto& [name, key] : cases) EXPECT_EQ(file_stem_key(name), key) << name;
}

TEST(MatchNameLists, ExactNamesThenAliasesWithinAWindow) {
    const std::vector<std::string> available = {"Kick",  "Snare", "Synth", "Synth Lead",
                                                "Bass",  "Keys",  "Organ", "Perc",
                                                "Pad 1", "x",     "Pad 2"};
    std::vector<std::string> wanted = {"Snare", "MIDI 1", "MIDI 2", "MIDI 3",
                                       "Snare", "Bass",   "MIDI 5", "MIDI 6"};
    const std::vector<std::string> aliases = {"", "synth", "synth", "synth",
                                              "", "bass",  "pad 1", "pad 1"};
    std::vector<std::uint8_t> unmatched;
    match_name_lists(available, wanted, aliases, unmatched);
    EXPECT_EQ(wanted, (std::vector<std::string>{"Snare", "Synth", "Synth Lead", "MIDI 3", "Snare",
                                                "Bass", "Pad 1", "Pad 2"}));
    // MIDI 3 finds no free name of five characters starting "synth" among Synth and the three
    // after it; the second "Snare" equals a name already taken, so it is not tried through an
    // alias.
    EXPECT_EQ(unmatched, (std::vector<std::uint8_t>{0, 0, 0, 1, 1, 0, 0, 0}));

    // The window is the hit and the three names after it.
    wanted = {"M1", "M2"};
    match_name_lists({"ab", "x", "y", "z", "ab2"}, wanted, {"ab", "ab"}, unmatched);
    EXPECT_EQ(wanted, (std::vector<std::string>{"ab", "M2"}));
    EXPECT_EQ(unmatched, (std::vector<std::uint8_t>{0, 1}));
}

TEST(MatchNameLists, MidiTrackNamesLeaveTakenNamesOut) {
    const std::vector<std::string> settled =
        settle_midi_track_names({"Audio 1", "Drums", "Lead"}, {"Audio 1"},
                                {"Audio 1", "MIDI 2", "Lead"}, {"", "drums_03.mid", "Lead-1"});
    EXPECT_EQ(settled, (std::vector<std::string>{"", "Drums", "Lead"}));
}

TEST(ResolveNameViaIndex, OverrideThenFirstNamedId) {
    NameIndex index;
    index.override_by_key["out 1-2"] = "Main";
    index.ids_by_key["bus 3-4"] = {7, 8, 9, 10};
    index.ids_by_key["bus 5-6"] = {11};
    index.name_by_id[8] = "Verb";
    index.name_by_id[9] = "Verb L";
    index.name_by_id[10] = "Verb";
    int count = -1;
    EXPECT_EQ(resolve_name_via_index(index, "out 1-2", &count), "Main");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(resolve_name_via_index(index, "bus 3-4", &count), "Verb");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(resolve_name_via_index(index, "bus 5-6", &count), "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(resolve_name_via_index(index, "nothing"), "");
}

// --- Clip arithmetic ----------------------------------------------------------------------------

TEST(ClipOrder, NanStartsSortLast) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<ClipRecord> clips(7);
    const double starts[7] = {3.0, nan, -1.0, nan, 2.0, 0.0, nan};
    for (int i = 0; i < 7; ++i) clips[i].start = starts[i];
    sort_clips_by_start(clips);
    EXPECT_EQ(clips[0].start, -1.0);
    EXPECT_EQ(clips[1].start, 0.0);
    EXPECT_EQ(clips[2].start, 2.0);
    EXPECT_EQ(clips[3].start, 3.0);
    for (int i = 4; i < 7; ++i) EXPECT_TRUE(std::isnan(clips[i].start));
    EXPECT_FALSE(cmp_by_double_asc(clips[4], clips[5]));
    EXPECT_TRUE(cmp_by_double_asc(clips[0], clips[4]));
}

TEST(InterpPiecewiseLinear, InsideBeforeAfterAndFlatSegments) {
    const std::vector<ValueAtPosition> points = {{0, 0}, {10, 100}, {30, 200}, {99, 200}};
    struct Case {
        double x;
        double value;
    };
    for (const Case& c : {Case{50, 5}, Case{150, 20}, Case{-100, -10}, Case{100, 10}, Case{200, 30},
                          Case{300, 99}}) {
        EXPECT_DOUBLE_EQ(interp_piecewise_linear(points, c.x), c.value) << c.x;
    }
    EXPECT_EQ(interp_piecewise_linear({}, 5), 0.0);
    EXPECT_EQ(interp_piecewise_linear({{4, 1}}, 5), 4.0);
    EXPECT_EQ(interp_piecewise_linear({{4, 1}, {6, 1}}, 0), 4.0);
}

TEST(CurveInsertPoint, EndsTheListAtTheCut) {
    std::vector<StretchMarker> markers = {{0.0, 1.0}, {2.0, 2.0}, {4.0, 4.0}};
    curve_insert_point(markers, 3.0);
    ASSERT_EQ(markers.size(), 3u);
    EXPECT_EQ(markers[2].item_time, 3.0);
    EXPECT_EQ(markers[2].source_position, 3.0);

    std::vector<CurvePoint> curve = {{0.0, 5.0}, {1.0, 6.0}, {1.0, 9.0}, {2.0, 7.0}};
    curve_insert_point(curve, 1.0);  // the points from the cut on give way to one at it
    ASSERT_EQ(curve.size(), 2u);
    EXPECT_EQ(curve[1].time, 1.0);
    EXPECT_EQ(curve[1].value, 6.0);

    for (double t : {0.0, -1.0, 2.0, 2.0 - 1e-10}) {
        std::vector<CurvePoint> unchanged = {{0.0, 5.0}, {2.0, 7.0}};
        curve_insert_point(unchanged, t);
        EXPECT_EQ(unchanged.size(), 2u) << t;
        EXPECT_EQ(unchanged[1].time, 2.0);
    }
}

TEST(NearestByPosition, ExactThenNearestWithin64) {
    std::map<PlacementKey, int> map = {
        {{1, 1000}, 0}, {{1, 1060}, 1}, {{1, 1100}, 2}, {{2, 1030}, 3}, {{1, 10}, 4}};
    EXPECT_EQ(nearest_by_position(map, 1, 1060)->second, 1);
    EXPECT_EQ(nearest_by_position(map, 1, 1030)->second, 0);  // 30 either way: the first
    EXPECT_EQ(nearest_by_position(map, 1, 1090)->second, 2);
    EXPECT_EQ(nearest_by_position(map, 1, 1164)->second, 2);
    EXPECT_EQ(nearest_by_position(map, 1, 1165), map.end());
    EXPECT_EQ(nearest_by_position(map, 3, 1000), map.end());
    EXPECT_EQ(nearest_by_position(map, 1, 0)->second, 4);
    const auto& constant = map;
    EXPECT_EQ(nearest_by_position(constant, 2, 1000)->second, 3);
}

}  // namespace
