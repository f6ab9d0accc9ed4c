#include "convert/reading/stage_reading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "app/output.h"
#include "convert/convert_session.h"
#include "convert/run_state.h"
#include "model/conversion_result.h"
#include "platform/ptformat.h"
#include "plugins/plugin_state.h"
#include "tests/block_builder.h"
#include "tests/plugin_fixtures.h"
#include "tests/test_support.h"
#include "util/bytes.h"

namespace {

// A tempo event as the session stores it: pattern, BPM, beat length.
std::string tempo_event(double bpm, std::uint64_t beat_length, bool full_pattern = true) {
    std::string e = std::string("\x14\x00\x00\x00\x00\x01", 6) + std::string(9, '\0') +
                    std::string("\x10\xa5\xd4\xe8\x00", 5);
    e += full_pattern ? std::string("\x00\x00\x00\x01", 4) : std::string("\x07\x07\x07\x07", 4);
    append_f64le(e, bpm);
    e += test_blocks::u64le(beat_length);
    return e;
}

double tempo_of(const std::string& bytes) {
    return find_tempo_event(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(TempoEvent, RangeBeatLengthAndFallback) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string bytes;
        double bpm;
    } cases[] = {
        {tempo_event(120, 960000), 120},
        {tempo_event(999, 960000), 999},  // Pro Tools' highest tempo
        {tempo_event(1000, 960000), 0},   // beyond it
        {tempo_event(20, 960000), 0},     // the lower bound is exclusive
        {tempo_event(200, 240000), 50},   // sixteenth-note beats
        {tempo_event(80, 360000), 30},    // dotted sixteenths
        {tempo_event(nan, 960000), 0},
        {tempo_event(90, 960000, false), 90},                  // the 20-byte pattern
        {tempo_event(1000, 960000) + tempo_event(60, 0), 60},  // the first in range wins
        {tempo_event(90, 960000).substr(0, 31), 0},            // too close to the end
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(tempo_of(c.bytes + std::string(8, '\0')), c.bpm);
    // The full pattern is preferred over an earlier 20-byte match.
    EXPECT_DOUBLE_EQ(tempo_of(tempo_event(90, 960000, false) + tempo_event(100, 960000)), 100);
}

TEST(StageReading, RealSessionsRunAt120WithTheirHeaders) {
    struct Case {
        const char* name;
        const char* product;
        const char* version;
        std::int64_t rate;
    } cases[] = {
        {"RegionTest.ptx", "Pro Tools", "2019.6.0", 44100},
        {"TestPTX.ptx", "Pro Tools HD", "12.8.3", 48000},
    };
    plugin_fixtures::HermeticFolders hermetic;  // stage reading looks for REAPER's cache
    for (const Case& c : cases) {
        REQUIRE_SESSION(path, c.name);
        PTFFormat session;
        ASSERT_EQ(session.load(path, 48000), 0);
        ConvertOptions options;
        options.input_path = path;
        reset_conversion_state(options);
        settings.session_sample_rate = session.sample_rate();
        SessionReading reading;
        read_session(session, options, reading);
        EXPECT_EQ(reading.header.product, c.product);
        EXPECT_EQ(reading.header.version, c.version);
        EXPECT_DOUBLE_EQ(reading.tempo, 120.0);
        EXPECT_TRUE(reading.tempo_map.entries.empty());
        EXPECT_DOUBLE_EQ(settings.sample_rate, static_cast<double>(c.rate));
        EXPECT_FALSE(reading.dark_theme);  // saved before 2020.11: Classic
        EXPECT_FALSE(reading.layout.audio_track_regions.empty());
    }
}

}  // namespace

namespace {

struct QuietConsole {
    NullSink sink;
    OutputState saved = output_state;
    QuietConsole() { output_state.current_sink = &sink; }
    ~QuietConsole() { output_state = saved; }
};

TEST(RunState, ASecondConversionStartsFromTheSameState) {
    REQUIRE_SESSION(path, "RegionTest.ptx");
    QuietConsole quiet;
    plugin_fixtures::HermeticFolders hermetic;
    test_support::TempDir dir;
    ConvertOptions options;
    options.input_path = path;
    options.output_path = dir.file("state.rpp");
    options.overwrite = 1;
    options.tempo = 97.0;
    convert_session(options, nullptr, nullptr);
    ConversionSettings first = settings;

    // Dirty the state the way another session would, then convert again.
    settings.session_tempo = 60.0;
    settings.bit_depth = 16;
    settings.no_clip_colors = 1;
    session_tempo_map.entries.push_back({0.0, 60.0});
    run_outcome.problem_kind = "unreadable";
    plugin_knowledge.cache.emplace_back();
    plugin_knowledge.resolutions.emplace_back();
    convert_session(options, nullptr, nullptr);
    EXPECT_TRUE(plugin_knowledge.cache.empty());
    EXPECT_TRUE(plugin_knowledge.resolutions.empty());
    EXPECT_TRUE(settings == first);
    EXPECT_TRUE(session_tempo_map.entries.empty());
    EXPECT_TRUE(run_outcome.problem_kind.empty());
    EXPECT_DOUBLE_EQ(settings.session_tempo, 97.0);
    EXPECT_DOUBLE_EQ(settings.sample_rate, 44100.0);
}

TEST(RunState, ATempoOutsideTwentyTo999IsRefusedBeforeReading) {
    QuietConsole quiet;
    test_support::TempDir dir;
    ConvertOptions options;
    options.input_path = dir.file("any.ptx");
    options.output_path = dir.file("any.rpp");
    for (const double tempo : {std::numeric_limits<double>::infinity(), 1e300, 1e-300, -120.0}) {
        options.tempo = tempo;
        ConversionResult result;
        EXPECT_EQ(convert_session(options, &result, nullptr), 1) << tempo;
        EXPECT_EQ(result.console_text.rfind("\n  --tempo ", 0), 0u) << result.console_text;
        EXPECT_NE(result.console_text.find("Nothing was converted."), std::string::npos);
    }
}

}  // namespace
