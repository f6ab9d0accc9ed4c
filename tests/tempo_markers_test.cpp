#include "convert/writer/tempo_markers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "block_builder.h"
#include "convert/writer/colors.h"
#include "platform/ptformat.h"
#include "session/groups.h"
#include "session/media_lists.h"
#include "tempo_blocks.h"
#include "test_support.h"
#include "util/guid.h"

namespace {

using namespace test_blocks;

constexpr double kQuarter = 960000.0;

struct Written {
    std::string text;
    TempoMarkerCounts counts;
};

// Runs the writer on a fresh set of counts and returns what it wrote.
Written write(const TempoMap& map, const std::vector<MeterChange>& meters,
              const std::vector<MemoryLocation>& locations, double project_tempo = 120.0,
              bool ramps = false, double sample_rate = 48000.0) {
    tempo_marker_counts.reset();
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    write_tempo_and_markers(file, {.tempo_map = map,
                                   .meters = meters,
                                   .project_tempo = project_tempo,
                                   .locations = locations,
                                   .sample_rate = sample_rate,
                                   .tempo_ramps = ramps});
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    const std::size_t got = std::fread(text.data(), 1, text.size(), file);
    std::fclose(file);
    text.resize(got);
    return {text, tempo_marker_counts};
}

MeterChange meter(double tick, std::uint32_t numerator, std::uint32_t denominator) {
    MeterChange m;
    m.position = tick;
    m.numerator = numerator;
    m.denominator = denominator;
    return m;
}

MemoryLocation location(const std::string& name, LocationKind kind, double start, double end,
                        std::uint8_t stored_kind = 255) {
    MemoryLocation l;
    l.name = name;
    l.kind = kind;
    l.stored_kind = stored_kind != 255 ? stored_kind : static_cast<std::uint8_t>(kind);
    l.start = start;
    l.end = end;
    return l;
}

std::string guid(int number) {
    return guid_from_seed(0x4D41524B + static_cast<std::uint32_t>(number));
}

// --- Tempo envelope -------------------------------------------------------------------------

TEST(TempoEnvelope, NotWrittenForAConstantTempoAndMeter) {
    TempoMap empty;
    TempoMap one;
    one.entries = {{0, 97}};
    const std::vector<MeterChange> repeated = {meter(0, 4, 4), meter(4 * kQuarter, 4, 4)};
    for (const TempoMap* map : {&empty, &one}) {
        for (const auto& meters : {std::vector<MeterChange>{}, repeated}) {
            const Written w = write(*map, meters, {});
            EXPECT_EQ(w.text, "");
            EXPECT_EQ(w.counts.tempo_changes, 0);
            EXPECT_EQ(w.counts.signature_changes, 0);
        }
    }
}

TEST(TempoEnvelope, AMeterChangeUnderOneTempo) {
    // 4/4 then 3/4 at bar 3: eight quarter notes at 100 BPM.
    const std::vector<MeterChange> meters = {meter(0, 4, 4), meter(8 * kQuarter, 3, 4)};
    const std::string want =
        "  <TEMPOENVEX\n"
        "    PT 0.0000000000 100.000000 1 262148 0 1\n"
        "    PT 4.8000000000 100.000000 1 262147 0 1\n"
        "  >\n";
    TempoMap one;
    one.entries = {{0, 100}};
    EXPECT_EQ(write(one, meters, {}).text, want);
    // An empty map runs at the project tempo.
    const Written w = write(TempoMap{}, meters, {}, 100.0);
    EXPECT_EQ(w.text, want);
    EXPECT_EQ(w.counts.signature_changes, 1);
    EXPECT_EQ(w.counts.tempo_changes, 0);
}

// A signature repeated off the bar lines of the one in force starts a new bar in Pro Tools: it
// is a change, written and named with its bar; repeated on a bar line it is none.
TEST(TempoEnvelope, ARepeatedSignatureOffTheBarLinesIsAChange) {
    TempoMap map;
    map.entries = {{0, 120}};
    const double bar44 = 4 * kQuarter, bar34 = 3 * kQuarter;
    struct Case {
        const char* what;
        double repeat;  // the tick of the second 3/4
        double later;   // the tick of the 2/4, on the bar line the session counts
        std::string points;
        std::vector<std::string> bars;
        std::string repeats;  // the repeated meters' paragraph
    } cases[] = {
        // 2.5 quarter notes before the second 3/4 bar line after bar 2: bar 3 is cut short.
        {"off the grid",
         bar44 + 2 * bar34 - 2.5 * kQuarter,
         13.5 * kQuarter,
         "    PT 0.0000000000 120.000000 1 262148 0 1\n"
         "    PT 2.0000000000 120.000000 1 262147 0 1\n"
         "    PT 3.7500000000 120.000000 1 262147 0 1\n"
         "    PT 6.7500000000 120.000000 1 262146 0 1\n",
         {"3/4 at bar 2", "3/4 at bar 4", "2/4 at bar 6"},
         ""},
        {"on a bar line",
         bar44 + 2 * bar34,
         13 * kQuarter,
         "    PT 0.0000000000 120.000000 1 262148 0 1\n"
         "    PT 2.0000000000 120.000000 1 262147 0 1\n"
         "    PT 6.5000000000 120.000000 1 262146 0 1\n",
         {"3/4 at bar 2", "2/4 at bar 5"},
         "  1 meter event(s) repeat the meter already in force -- no bar line 3/4 at bar 4\n"
         "      changes at these entries, so none is written as a change.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<MeterChange> meters = {meter(0, 4, 4), meter(bar44, 3, 4),
                                                 meter(c.repeat, 3, 4), meter(c.later, 2, 4)};
        const Written w = write(map, meters, {});
        EXPECT_EQ(w.text, "  <TEMPOENVEX\n" + c.points + "  >\n");
        EXPECT_EQ(w.counts.signature_changes, static_cast<int>(c.bars.size()));
        EXPECT_EQ(w.counts.meter_repeats, c.repeats.empty() ? 0 : 1);
        EXPECT_EQ(meter_repeat_summary(meters, w.counts.meter_repeats), c.repeats);
        std::string rows;
        for (const std::string& bar : c.bars) rows += "      " + bar + "\n";
        EXPECT_NE(meter_change_summary(meters, w.counts.signature_changes).find(rows),
                  std::string::npos)
            << meter_change_summary(meters, w.counts.signature_changes);
    }
}

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

TEST(TempoEnvelope, ASixteenthNoteTempoIsWrittenInQuarterNotes) {
    const std::string bytes =
        tempo_block({{kOrigin, 200, 240000}, {kOrigin + 4 * 960000, 60}}) + zeros(32);
    TempoMap map;
    read_tempo_map(u8(bytes), bytes.size(), map);
    const Written w = write(map, {meter(0, 4, 4)}, {});
    // Four quarter notes at 50 BPM.
    EXPECT_EQ(w.text,
              "  <TEMPOENVEX\n"
              "    PT 0.0000000000 50.000000 1\n"
              "    PT 4.8000000000 60.000000 1\n"
              "  >\n");
    EXPECT_EQ(w.counts.tempo_changes, 2);
}

TEST(TempoEnvelope, SignatureChangesJoinANearbyPointOrSitBetween) {
    TempoMap map;
    map.entries = {{0, 120}, {4 * kQuarter, 60}, {8 * kQuarter, 90}};
    // At 2 s (on the second point, within 1e-7 s), at 5 s (between points, the tempo in force
    // is 60), 5/4 again on its next bar line (no change) and back to 4/4 at 12 quarter notes (6 s
    // + 4 quarter notes at 90).
    const std::vector<MeterChange> meters = {meter(0, 4, 4), meter(4 * kQuarter + 0.01, 7, 8),
                                             meter(7 * kQuarter, 5, 4), meter(12 * kQuarter, 5, 4),
                                             meter(12 * kQuarter, 4, 4)};
    const Written w = write(map, meters, {});
    EXPECT_EQ(w.text,
              "  <TEMPOENVEX\n"
              "    PT 0.0000000000 120.000000 1 262148 0 1\n"
              "    PT 2.0000000000 60.000000 1 524295 0 1\n"
              "    PT 5.0000000000 60.000000 1 262149 0 1\n"
              "    PT 6.0000000000 90.000000 1\n"
              "    PT 8.6666666667 90.000000 1 262148 0 1\n"
              "  >\n");
    EXPECT_EQ(w.counts.signature_changes, 3);
    EXPECT_EQ(w.counts.tempo_changes, 3);
}

// --- Tempo ramps ----------------------------------------------------------------------------

std::vector<TempoPoint> steps(const std::vector<std::pair<double, double>>& time_bpm) {
    std::vector<TempoPoint> out;
    for (const auto& [time, bpm] : time_bpm) out.push_back({time, bpm, 0, 0, 1});
    return out;
}

// Beats up to `time` as REAPER plays the envelope: shape 0 ramps to the next point.
double played_beats(const std::vector<TempoPoint>& points, double time) {
    double beats = 0.0;
    for (std::size_t i = 0; i < points.size() && points[i].time < time; ++i) {
        const bool next = i + 1 < points.size();
        const double until = next && points[i + 1].time < time ? points[i + 1].time : time;
        const double s = until - points[i].time;
        double end_bpm = points[i].bpm;
        if (points[i].shape == 0 && next) {
            end_bpm +=
                (points[i + 1].bpm - points[i].bpm) * s / (points[i + 1].time - points[i].time);
        }
        beats += (points[i].bpm + end_bpm) * 0.5 * s / 60.0;
    }
    return beats;
}

TEST(TempoRamps, EvenStepsBecomeOneRampThatPlaysTheSameBeats) {
    const std::vector<TempoPoint> stored =
        steps({{0, 90}, {3.0, 100}, {3.5, 102}, {4.0, 104}, {4.5, 106}, {5.0, 108}, {10, 108}});
    TempoMarkerCounts counts;
    const std::vector<TempoPoint> got = fit_tempo_ramps(stored, counts);
    EXPECT_EQ(counts.ramps_written, 1);
    EXPECT_EQ(counts.ramps_kept_as_steps, 0);
    // Opening half a step early at the tempo before, a point in the middle of every step, the
    // last of them holding up to the run's last point, which stays.
    const std::vector<TempoPoint> want = steps({{0, 90},
                                                {2.75, 90},
                                                {3.25, 100},
                                                {3.75, 102},
                                                {4.25, 104},
                                                {4.75, 106},
                                                {5.0, 108},
                                                {10, 108}});
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].time, want[i].time, 1e-12) << i;
        EXPECT_NEAR(got[i].bpm, want[i].bpm, 1e-9) << i;
        const std::uint32_t shape = i >= 1 && i <= 4 ? 0 : 1;
        EXPECT_EQ(got[i].shape, shape) << i;
    }
    // The same beat at every ramp point, at the run's last point and after it.
    for (double t : {3.25, 3.75, 4.75, 5.0, 12.0}) {
        EXPECT_NEAR(played_beats(got, t), played_beats(stored, t), 1e-9) << t;
    }
}

TEST(TempoRamps, RunsThatDoNotQualifyOrDoNotFit) {
    struct Case {
        const char* what;
        std::vector<TempoPoint> stored;
        int written, kept;
    };
    const std::vector<Case> cases = {
        {"two steps only", steps({{0, 100}, {0.5, 110}, {1.0, 110}, {5, 110}}), 0, 0},
        {"steps too far apart", steps({{0, 100}, {2.5, 110}, {5.0, 120}, {7.5, 130}}), 0, 0},
        {"direction changes", steps({{0, 100}, {0.5, 110}, {1.0, 100}, {1.5, 110}}), 0, 0},
        {"steps grow", steps({{0, 100}, {0.5, 110}, {1.2, 120}, {2.0, 130}}), 0, 0},
        // A short last step: the closing tempo would depart by a third from the stored one.
        {"solved tempo departs", steps({{0, 50}, {0.5, 100}, {1.0, 200}, {1.1, 300}, {5, 300}}), 0,
         1},
        // Within a quarter, but holding it through the short last step moves the beat 4 ms.
        {"beat would move", steps({{0, 50}, {0.5, 100}, {1.0, 140}, {1.1, 300}, {5, 300}}), 0, 1},
    };
    for (const Case& c : cases) {
        TempoMarkerCounts counts;
        const std::vector<TempoPoint> got = fit_tempo_ramps(c.stored, counts);
        EXPECT_EQ(counts.ramps_written, c.written) << c.what;
        EXPECT_EQ(counts.ramps_kept_as_steps, c.kept) << c.what;
        ASSERT_EQ(got.size(), c.stored.size()) << c.what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].time, c.stored[i].time) << c.what;
            EXPECT_EQ(got[i].bpm, c.stored[i].bpm) << c.what;
        }
    }
}

TEST(TempoRamps, ADrawnRampKeepsEveryLaterBeatInPlace) {
    // A ramp from 100 to 140 BPM over 16 quarter notes, stored as a tempo event every sixteenth
    // note, as Pro Tools writes a drawn ramp, then 8 bars at 140.
    TempoMap map;
    map.entries.push_back({0, 100});
    for (int k = 0; k <= 64; ++k)
        map.entries.push_back({4 * kQuarter + k * 240000.0, 100 + k * 40.0 / 64});
    map.entries.push_back({52 * kQuarter, 140});
    const Written w = write(map, {meter(0, 4, 4), meter(10.1 * kQuarter, 3, 4)}, {}, 120, true);
    EXPECT_GT(w.counts.ramps_written, 0);
    EXPECT_EQ(w.counts.ramps_kept_as_steps, 0);
    EXPECT_EQ(w.counts.tempo_changes, 67);

    std::vector<TempoPoint> got;
    std::istringstream lines(w.text);
    for (std::string line; std::getline(lines, line);) {
        TempoPoint p;
        unsigned shape = 0;
        if (std::sscanf(line.c_str(), "    PT %lf %lf %u", &p.time, &p.bpm, &shape) == 3) {
            p.shape = shape;
            got.push_back(p);
        }
    }
    TempoMarkerCounts unused;
    const TempoMarkersInput steps_only{.tempo_map = map,
                                       .meters = {},
                                       .project_tempo = 120,
                                       .locations = {},
                                       .sample_rate = 48000,
                                       .tempo_ramps = false};
    const std::vector<TempoPoint> stored = build_tempo_points(steps_only, unused);
    for (double quarter : {4.0, 10.0, 20.0, 36.0, 52.0, 60.0}) {
        const double t = ticks_to_seconds(map, quarter * kQuarter, 120);
        // Within a millisecond wherever a beat falls; the written times have 10 decimals.
        EXPECT_NEAR(played_beats(got, t) * 60 / 140, played_beats(stored, t) * 60 / 140, 1e-3)
            << quarter;
    }
    // The signature change inside the ramp took a point of its own, on the ramp.
    EXPECT_NE(w.text.find(" 0 262147 0 1\n"), std::string::npos);
}

// --- Markers and regions --------------------------------------------------------------------

TEST(Markers, MarkersRegionsAndLocationsWithoutTime) {
    const std::vector<MemoryLocation> locations = {
        location("Verse", LocationKind::marker, 2 * kQuarter, 2 * kQuarter),
        location("Zoom", LocationKind::none, 0, 0),
        location("Chorus", LocationKind::range, 4 * kQuarter, 8 * kQuarter),
        location("Bridge", LocationKind::range, 9 * kQuarter, 9 * kQuarter),
    };
    const Written w = write(TempoMap{}, {}, locations);
    EXPECT_EQ(w.text, "  MARKER 1 1.0000000000 \"Verse\" 0 0 1 R " + guid(1) +
                          " 0\n"
                          "  MARKER 2 2.0000000000 \"Chorus\" 1 0 1 R " +
                          guid(2) +
                          " 0\n"
                          "  MARKER 2 4.0000000000 \"\" 1\n"
                          "  MARKER 3 4.5000000000 \"Bridge\" 0 0 1 R " +
                          guid(3) + " 0\n");
    EXPECT_EQ(w.counts.locations_written, 3);
    EXPECT_EQ(w.counts.regions, 1);
    EXPECT_EQ(w.counts.kind_none_skipped, 1);
    EXPECT_EQ(w.counts.colored, 0);
}

TEST(Markers, SamplesUnknownKindsAndLocationsThatCannotBePlaced) {
    MemoryLocation samples = location("Hit", LocationKind::marker, 88200, 88200);
    samples.raw = 1;
    MemoryLocation lost = location("Lost", LocationKind::marker, kOrigin - 1, kOrigin - 1);
    lost.has_positions = 0;
    MemoryLocation unreadable = location("Cut", LocationKind::marker, 0, 0);
    unreadable.readable = 0;
    unreadable.has_positions = 0;
    const std::vector<MemoryLocation> locations = {
        samples,
        lost,
        unreadable,
        location("Kind ten", LocationKind::range, kQuarter, 3 * kQuarter, 10),
        location("Kind ten point", LocationKind::range, kQuarter, kQuarter, 10),
        location("Quote \"it\" 'all' `now`", LocationKind::marker, 0, 0),
        location("Tab\tand\x01"
                 "bell",
                 LocationKind::marker, 0, 0),
    };
    const Written w = write(TempoMap{}, {}, locations, 120, false, 44100);
    EXPECT_EQ(w.text, "  MARKER 1 2.0000000000 \"Hit\" 0 0 1 R " + guid(1) +
                          " 0\n"
                          "  MARKER 2 0.5000000000 \"Kind ten\" 1 0 1 R " +
                          guid(2) +
                          " 0\n"
                          "  MARKER 2 1.5000000000 \"\" 1\n"
                          "  MARKER 3 0.5000000000 \"Kind ten point\" 0 0 1 R " +
                          guid(3) +
                          " 0\n"
                          "  MARKER 4 0.0000000000 \"Quote _it_ 'all' `now`\" 0 0 1 R " +
                          guid(4) +
                          " 0\n"
                          "  MARKER 5 0.0000000000 \"Tab and bell\" 0 0 1 R " +
                          guid(5) + " 0\n");
    EXPECT_EQ(w.counts.without_positions, (std::vector<std::string>{"Lost"}));
    EXPECT_EQ(w.counts.unreadable, (std::vector<std::string>{"Cut"}));
    EXPECT_NE(marker_summary(w.counts).find(
                  "  1 memory location(s) were NOT written: their record could not be\n"
                  "      read (a name longer than 255 bytes or not text, or a record\n"
                  "      too short for its name and position):\n"
                  "      \"Cut\"\n"),
              std::string::npos);
    ASSERT_EQ(w.counts.unknown_kinds.size(), 2u);
    EXPECT_EQ(w.counts.unknown_kinds[0].name, "Kind ten");
    EXPECT_EQ(w.counts.unknown_kinds[0].value, 10);
    EXPECT_EQ(w.counts.regions, 1);
}

TEST(Markers, Colors) {
    struct Case {
        const char* what;
        std::int32_t palette, number, rgb;
        std::uint32_t want;
        bool unknown;
    };
    const std::uint32_t p30 = palette_color(30);
    const Case cases[] = {
        {"nothing set", -2, -1, -1, 0, false},
        {"palette index", 25, -1, -1, palette_color(25), false},
        {"palette index on a multiple of 24", 48, -1, -1, 0, false},
        {"palette index past 95", 96, -1, -1, 0, false},
        {"RGB over the palette", 30, 3, 0x123456, 0x1563412, false},
        {"RGB of 0", 30, 3, 0, 0x1000000, false},
        {"number 11 keeps the palette", 30, 11, -1, p30, false},
        {"number 11 without palette", -2, 11, -1, 0, false},
        {"default yellow is no RGB", 30, 11, 0xFFB300, p30, false},
        {"fixed colour 2", 30, 2, -1, 0x1FE0066, false},
        {"fixed colour 17", -2, 17, -1, 0x132DA00, false},
        {"unknown number keeps the palette", 30, 7, -1, p30, true},
        {"unknown number and default yellow", -2, 4, 0xFFB300, 0, true},
    };
    for (const Case& c : cases) {
        MemoryLocation l = location("M", LocationKind::marker, 0, 0);
        l.palette_index = c.palette;
        l.color_number = c.number;
        l.color_rgb = c.rgb;
        bool unknown = false;
        EXPECT_EQ(location_color(l, unknown), c.want) << c.what;
        EXPECT_EQ(unknown, c.unknown) << c.what;
    }

    MemoryLocation colored = location("Red", LocationKind::marker, 0, 0);
    colored.color_number = 12;
    MemoryLocation odd = location("Odd", LocationKind::marker, 0, 0);
    odd.color_number = 40;
    const Written w = write(TempoMap{}, {}, {colored, odd});
    EXPECT_NE(w.text.find("\"Red\" 0 " + std::to_string(0x100DFDF) + " 1 R"), std::string::npos);
    EXPECT_EQ(w.counts.colored, 1);
    ASSERT_EQ(w.counts.unknown_colors.size(), 1u);
    EXPECT_EQ(w.counts.unknown_colors[0].name, "Odd");
    EXPECT_EQ(w.counts.unknown_colors[0].value, 40);
}

TEST(Markers, SummaryParagraphs) {
    TempoMarkerCounts counts;
    EXPECT_EQ(tempo_map_summary(counts, true), "");
    EXPECT_EQ(marker_summary(counts), "");
    counts.tempo_changes = 3;
    counts.ramps_kept_as_steps = 1;
    counts.locations_written = 2;
    counts.kind_none_skipped = 1;
    for (int i = 0; i < 9; ++i) counts.without_positions.push_back("L" + std::to_string(i));
    const std::string tempo = tempo_map_summary(counts, true);
    EXPECT_EQ(tempo.find("  tempo map with 3 changes\n"
                         "      --tempo-ramps: no drawn ramp here; every tempo event is a plain "
                         "step\n"
                         "      1 ramp(s) left as Pro Tools' steps:"),
              0u);
    EXPECT_EQ(tempo.find("memory location"), std::string::npos);
    EXPECT_EQ(tempo_map_summary(counts, false).find("--tempo-ramps"), std::string::npos);
    const std::string text = marker_summary(counts);
    EXPECT_EQ(text.find("  2 memory location(s) written as REAPER markers\n"), 0u);
    EXPECT_NE(text.find("  1 memory location(s) have time property NONE and were NOT\n"),
              std::string::npos);
    EXPECT_NE(text.find("      None carried a stored marker color"), std::string::npos);
    EXPECT_NE(text.find("  9 memory location(s) were NOT written:"), std::string::npos);
    EXPECT_NE(text.find("      \"L7\"\n      ... and 1 more\n"), std::string::npos);
    EXPECT_EQ(text.find("REGIONS"), std::string::npos);
}

// The meter changes written as signature points, each at the bar it starts: bars count in the
// meter in force, a repeated meter is no change, and a change cutting a bar short starts the
// next one.
TEST(Meters, ChangeNote) {
    const double bar44 = 4 * kQuarter, bar34 = 3 * kQuarter, bar68 = 3 * kQuarter;
    const std::vector<MeterChange> meters = {
        meter(0, 4, 4), meter(2 * bar44, 3, 4), meter(2 * bar44 + bar34, 3, 4),
        meter(2 * bar44 + 3 * bar34, 6, 8), meter(2 * bar44 + 3 * bar34 + 1.5 * bar68, 4, 4)};
    EXPECT_EQ(meter_change_summary(meters, 0), "");
    EXPECT_EQ(meter_change_summary(meters, 3),
              "  NOTE: this session has 3 meter change(s) after the first,\n"
              "      which REAPER's one project time signature cannot hold:\n"
              "      3/4 at bar 3\n"
              "      6/8 at bar 6\n"
              "      4/4 at bar 8\n"
              "      All 3 are written as REAPER time signature changes, at\n"
              "      the same bars, in the project's tempo envelope.\n");

    std::vector<MeterChange> many = {meter(0, 4, 4)};
    for (int i = 1; i <= 10; ++i) many.push_back(meter(i * bar44, i % 2 ? 3 : 4, 4));
    const std::string text = meter_change_summary(many, 10);
    int rows = 0;
    for (std::size_t at = text.find(" at bar "); at != std::string::npos;
         at = text.find(" at bar ", at + 1))
        ++rows;
    EXPECT_EQ(rows, 8);
    EXPECT_NE(text.find(" at bar 13\n      ... and 2 more\n      All 10 are"), std::string::npos)
        << text;
}

// --- A whole synthetic session --------------------------------------------------------------

TEST(TempoAndMarkers, ASyntheticSession) {
    const std::vector<MeterChange> stored_meters = {meter(0, 4, 4), meter(16 * kQuarter, 6, 8),
                                                    meter(40 * kQuarter, 4, 4)};
    const std::string bytes = zeros(40) +
                              tempo_block({{kOrigin, 120},
                                           {kOrigin + 8 * 960000, 90},
                                           {kOrigin + 20 * 960000, 140},
                                           {kOrigin + 30 * 960000, 75}}) +
                              zeros(11) + meter_block(stored_meters) + zeros(5) +
                              location_block("Intro", 1, 0, 0) + location_block("Intro", 1, 0, 0) +
                              location_block("Verse", 2, 10 * 960000, 22 * 960000) +
                              location_block("Zoom", 0, 0, 0) +
                              location_block("Outro", 9, 35 * 960000, 35 * 960000) + zeros(64);
    TempoMap map;
    read_tempo_map(u8(bytes), bytes.size(), map);
    std::vector<MeterChange> meters;
    read_meters(u8(bytes), bytes.size(), meters);
    std::vector<MemoryLocation> locations;
    read_memory_locations(u8(bytes), bytes.size(), locations);
    ASSERT_EQ(map.entries.size(), 4u);
    ASSERT_EQ(meters.size(), 3u);
    ASSERT_EQ(locations.size(), 4u);

    // By hand: 8 quarters at 120 = 4 s; 12 at 90 = 8 s; 10 at 140 = 30/7 s; then 75 BPM.
    const double t8 = 4.0, t20 = 12.0, t30 = 12.0 + 30.0 / 7.0;
    const double t16 = t8 + 8 * 60.0 / 90, t40 = t30 + 10 * 60.0 / 75;
    const double t10 = t8 + 2 * 60.0 / 90, t22 = t20 + 2 * 60.0 / 140, t35 = t30 + 5 * 60.0 / 75;

    const Written w = write(map, meters, locations, 120);
    struct Line {
        double time, bpm;
        std::string rest;
    };
    std::vector<Line> pts, marks;
    std::istringstream lines(w.text);
    for (std::string line; std::getline(lines, line);) {
        double a = 0, b = 0;
        int n = 0;
        char rest[200] = "";
        if (std::sscanf(line.c_str(), "    PT %lf %lf %199[^\n]", &a, &b, rest) >= 2) {
            pts.push_back({a, b, rest});
        } else if (std::sscanf(line.c_str(), "  MARKER %d %lf %199[^\n]", &n, &a, rest) >= 2) {
            marks.push_back({a, static_cast<double>(n), rest});
        }
    }
    const std::vector<Line> want_pts = {
        {0, 120, "1 262148 0 1"}, {t8, 90, "1"},  {t16, 90, "1 524294 0 1"},
        {t20, 140, "1"},          {t30, 75, "1"}, {t40, 75, "1 262148 0 1"}};
    ASSERT_EQ(pts.size(), want_pts.size());
    for (std::size_t i = 0; i < pts.size(); ++i) {
        EXPECT_NEAR(pts[i].time, want_pts[i].time, 1e-9) << i;
        EXPECT_EQ(pts[i].bpm, want_pts[i].bpm) << i;
        EXPECT_EQ(pts[i].rest, want_pts[i].rest) << i;
    }
    const std::vector<Line> want_marks = {{0, 1, "\"Intro\" 0 0 1 R " + guid(1) + " 0"},
                                          {t10, 2, "\"Verse\" 1 0 1 R " + guid(2) + " 0"},
                                          {t22, 2, "\"\" 1"},
                                          {t35, 3, "\"Outro\" 0 0 1 R " + guid(3) + " 0"}};
    ASSERT_EQ(marks.size(), want_marks.size());
    for (std::size_t i = 0; i < marks.size(); ++i) {
        EXPECT_NEAR(marks[i].time, want_marks[i].time, 1e-9) << i;
        EXPECT_EQ(marks[i].bpm, want_marks[i].bpm) << i;
        EXPECT_EQ(marks[i].rest, want_marks[i].rest) << i;
    }
    EXPECT_EQ(w.counts.tempo_changes, 4);
    EXPECT_EQ(w.counts.signature_changes, 2);
    EXPECT_EQ(w.counts.kind_none_skipped, 1);
}

// --- The real sessions ----------------------------------------------------------------------

TEST(TempoAndMarkers, RealSessions) {
    struct Case {
        const char* name;
        std::size_t tracks;  // members of "<ALL>"
        AudioFolderHints hints;
    };
    const Case cases[] = {
        {"MetadataFields.ptx", 0, {}},
        {"RegionTest.ptx", 4, {{"region_name_WAV.wav", "Audio Files"}}},
        {"TestPTX.ptx",
         5,
         {{"monoTone.wav", "Desktop"},
          {"monoTone.1.aif", "Audio Files"},
          {"stereoTone.L.aif", "Audio Files"},
          {"stereoTone.R.aif", "Audio Files"}}},
        {"Untitled32.ptx", 0, {}},
    };
    for (const Case& c : cases) {
        REQUIRE_SESSION(path, c.name);
        PTFFormat session;
        ASSERT_EQ(session.load(path, 48000), 0) << c.name;
        const std::uint8_t* data = session.bytes().data();
        const std::size_t length = session.bytes().size();

        // "<ALL>" is stored twice (Mix and Edit lists), holding every track.
        std::vector<SessionGroup> groups;
        read_groups(data, length, groups);
        ASSERT_EQ(groups.size(), 2u) << c.name;
        for (const SessionGroup& g : groups) {
            EXPECT_EQ(g.name, kAllGroupName) << c.name;
            EXPECT_EQ(g.members.size(), c.tracks) << c.name;
            EXPECT_EQ(g.extra_index, -1) << c.name;
        }

        std::vector<MemoryLocation> locations;
        read_memory_locations(data, length, locations);
        EXPECT_TRUE(locations.empty()) << c.name;
        std::vector<std::string> videos;
        read_video_file_names(data, length, videos);
        EXPECT_TRUE(videos.empty()) << c.name;
        AudioFolderHints hints;
        read_audio_files(data, length, hints);
        EXPECT_EQ(hints, c.hints) << c.name;

        // Constant 120 BPM and 4/4: no tempo envelope and no markers.
        TempoMap map;
        read_tempo_map(data, length, map);
        std::vector<MeterChange> meters;
        read_meters(data, length, meters);
        const Written w = write(map, meters, locations, 120);
        EXPECT_EQ(w.text, "") << c.name;
    }
}

}  // namespace
