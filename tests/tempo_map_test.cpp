#include "session/tempo_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "block_builder.h"
#include "platform/ptformat.h"
#include "test_support.h"

namespace {

using namespace test_blocks;

constexpr std::uint64_t kOffset = 1'000'000'000'000ULL;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

void put(std::string& out, std::size_t at, const std::string& bytes) {
    out.replace(at, bytes.size(), bytes);
}

std::string f64le(double value) {
    std::string out;
    append_f64le(out, value);
    return out;
}

struct StoredTempo {
    std::uint64_t position;  // as stored, 10^12 included
    double bpm;
    std::uint64_t beat_length = 960000;
};

// A "Tempo" block laid out as real sessions hold it; `cut` drops bytes from the block's end.
std::string tempo_block(const std::vector<StoredTempo>& entries, std::size_t tail = 17,
                        std::size_t cut = 0) {
    const std::size_t n = std::max<std::size_t>(entries.size(), 1);
    const std::size_t end = 84 + 61 * (n - 1) + tail - cut;
    std::string b(end + cut, '\0');
    put(b, 0, "Z");
    put(b, 1, le(0x03, 2));
    put(b, 3, le(end - 7, 4));
    put(b, 7, le(0x2028, 2));
    put(b, 9, "Tempo");
    put(b, 20, le(entries.size(), 4));
    put(b, 39, "TMS");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t base = 61 * i;
        put(b, base + 58, le(entries[i].position, 6));
        put(b, base + 68, f64le(entries[i].bpm));
        put(b, base + 76, le(entries[i].beat_length, 8));
    }
    return b.substr(0, end);
}

std::vector<TempoEntry> tempo_of(const std::string& bytes) {
    TempoMap map;
    read_tempo_map(u8(bytes), bytes.size(), map);
    return map.entries;
}

void expect_entries(const std::vector<TempoEntry>& got, const std::vector<TempoEntry>& want,
                    const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].start_tick, want[i].start_tick) << what << " entry " << i;
        EXPECT_DOUBLE_EQ(got[i].bpm, want[i].bpm) << what << " entry " << i;
    }
}

TEST(QuarterNoteBpm, CountsBeatsOfTheStoredLength) {
    EXPECT_DOUBLE_EQ(quarter_note_bpm(120, 960000), 120);
    EXPECT_DOUBLE_EQ(quarter_note_bpm(480, 240000), 120);
    EXPECT_DOUBLE_EQ(quarter_note_bpm(160, 360000), 60);
    EXPECT_DOUBLE_EQ(quarter_note_bpm(90, 0), 90);
}

TEST(ReadTempoMap, EntriesAndWhereAListEnds) {
    const std::uint64_t far = kOffset + 191'844'960'000ULL;  // past 40 bits
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<TempoEntry> want;
    };
    const std::vector<Case> cases = {
        {"one entry", tempo_block({{kOffset, 120}}), {{0, 120}}},
        {"beat lengths",
         tempo_block({{kOffset, 480, 240000}, {kOffset + 960000, 60}, {far, 160, 360000}}),
         {{0, 120}, {960000, 60}, {191844960000.0, 60}}},
        {"999 BPM is valid", tempo_block({{kOffset, 999}, {kOffset + 10, 999.5}}), {{0, 999}}},
        {"5 BPM ends the list", tempo_block({{kOffset, 120}, {kOffset + 10, 5}}), {{0, 120}}},
        {"just above 5", tempo_block({{kOffset, 5.001}}), {{0, 5.001}}},
        {"NaN", tempo_block({{kOffset, 120}, {kOffset + 10, kNaN}}), {{0, 120}}},
        {"infinity", tempo_block({{kOffset, 120}, {kOffset + 10, kInf}}), {{0, 120}}},
        {"position falls back",
         tempo_block({{kOffset, 120}, {kOffset + 960000, 90}, {kOffset + 480000, 60}}),
         {{0, 120}, {960000, 90}}},
        {"equal positions", tempo_block({{kOffset, 120}, {kOffset, 90}}), {{0, 120}, {0, 90}}},
        {"position before the start", tempo_block({{kOffset, 120}, {kOffset - 1, 90}}), {{0, 120}}},
    };
    for (const Case& c : cases) expect_entries(tempo_of(zeros(5) + c.bytes), c.want, c.what);
}

TEST(ReadTempoMap, TheLongestListWinsAndTheFirstOfEqualOnes) {
    const auto list = [](int n, double bpm) {
        std::vector<StoredTempo> entries;
        for (int i = 0; i < n; ++i) entries.push_back({kOffset + 1000u * i, bpm});
        return tempo_block(entries);
    };
    EXPECT_EQ(tempo_of(list(3, 100) + list(5, 110)).size(), 5u);
    EXPECT_EQ(tempo_of(list(5, 110) + list(3, 100)).size(), 5u);
    const std::vector<TempoEntry> equal = tempo_of(list(4, 100) + list(4, 110));
    ASSERT_EQ(equal.size(), 4u);
    EXPECT_EQ(equal[0].bpm, 100);

    // A map that is already longer stays.
    TempoMap map;
    map.entries = {{0, 90}, {10, 91}};
    const std::string one = list(1, 120);
    read_tempo_map(u8(one), one.size(), map);
    EXPECT_EQ(map.entries.size(), 2u);
}

TEST(ReadTempoMap, DamagedBlocksGiveWhatLiesInside) {
    const std::vector<StoredTempo> three = {{kOffset, 120}, {kOffset + 10, 90}, {kOffset + 20, 60}};
    // The block ends inside the third entry's BPM: two entries.
    expect_entries(tempo_of(tempo_block(three, 0, 9)), {{0, 120}, {10, 90}}, "cut");
    // The block ends right after the last BPM: its beat length is not there, so it counts
    // quarter notes.
    std::vector<StoredTempo> sixteenth = {{kOffset, 480, 240000}};
    expect_entries(tempo_of(tempo_block(sixteenth, 0, 8) + zeros(20)), {{0, 480}},
                   "no beat length");
    // A block running past the end of the buffer, or a buffer too short, gives nothing.
    const std::string block = tempo_block(three);
    EXPECT_TRUE(tempo_of(block.substr(0, block.size() - 1)).empty());
    EXPECT_TRUE(tempo_of(block.substr(0, 87)).empty());
    TempoMap map;
    read_tempo_map(nullptr, 0, map);
    EXPECT_TRUE(map.entries.empty());
}

struct StoredMeter {
    std::uint64_t position;
    std::uint32_t numerator;
    std::uint32_t denominator;
    std::uint32_t field_9 = 0;
    std::uint16_t field_23 = 0;
};

// A "Meter" block: count at +20, 36-byte entries from +23, or `count` when given.
std::string meter_block(const std::vector<StoredMeter>& entries, std::int64_t count = -1) {
    const std::size_t end = 32 + 36 * entries.size();
    std::string b(end, '\0');
    put(b, 0, "Z");
    put(b, 1, le(0x01, 2));
    put(b, 3, le(end - 7, 4));
    put(b, 7, le(0x2029, 2));
    put(b, 9, "Meter");
    put(b, 20, le(count >= 0 ? static_cast<std::uint64_t>(count) : entries.size(), 4));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t e = 23 + 36 * i;
        put(b, e + 1, le(entries[i].position, 6));
        put(b, e + 9, le(entries[i].field_9, 4));
        put(b, e + 13, le(entries[i].numerator, 4));
        put(b, e + 17, le(entries[i].denominator, 4));
        put(b, e + 23, le(entries[i].field_23, 2));
    }
    return b;
}

std::vector<MeterChange> meters_of(const std::string& bytes,
                                   std::vector<MeterChange> start = {{99, 0, 5, 8, 0}}) {
    read_meters(u8(bytes), bytes.size(), start);
    return start;
}

TEST(ReadMeters, FortyEightBitPositionsAndSkippedEntries) {
    const std::uint64_t far = kOffset + 191'844'960'000ULL;
    const auto got = meters_of(
        zeros(3) + meter_block({{kOffset, 4, 4, 7, 3}, {2, 7, 8}, {far, 3, 4}, {far, 6, 8}}));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].position, 0);
    EXPECT_EQ(got[0].field_9, 7u);
    EXPECT_EQ(got[0].field_23, 3u);
    EXPECT_EQ(got[1].position, 191844960000.0);
    EXPECT_EQ(got[1].numerator, 3u);
    EXPECT_EQ(got[2].denominator, 8u);

    // Only the first "Meter" block is read; one without entries leaves the list empty.
    EXPECT_TRUE(meters_of(meter_block({}) + meter_block({{kOffset, 3, 4}})).empty());
    // Without a "Meter" block the list stays as given.
    EXPECT_EQ(meters_of(zeros(64)).size(), 1u);
}

TEST(ReadMeters, BadEntriesAndCounts) {
    // A bad signature anywhere leaves no meter changes at all.
    for (const StoredMeter& bad : std::vector<StoredMeter>{
             {kOffset, 4, 0}, {kOffset, 4, 65}, {kOffset, 100, 4}, {kOffset, 0, 4}, {1, 4, 0}}) {
        EXPECT_TRUE(meters_of(meter_block({{kOffset, 4, 4}, bad})).empty())
            << bad.numerator << "/" << bad.denominator;
    }
    EXPECT_EQ(meters_of(meter_block({{kOffset, 1, 1}, {kOffset + 1, 99, 64}})).size(), 2u);

    // Counts past the block's end, or above 4096: the block is passed over for the next one.
    const std::string good = meter_block({{kOffset, 3, 4}});
    for (std::int64_t count : std::initializer_list<std::int64_t>{2, 4097, 0xFFFFFFFF}) {
        const auto got = meters_of(meter_block({{kOffset, 4, 4}}, count) + good);
        ASSERT_EQ(got.size(), 1u) << count;
        EXPECT_EQ(got[0].numerator, 3u) << count;
        EXPECT_EQ(meters_of(meter_block({{kOffset, 4, 4}}, count)).size(), 1u) << count;
    }
    const std::string block = good;
    EXPECT_EQ(meters_of(block.substr(0, block.size() - 1))[0].position, 99);
}

TEST(TicksToSeconds, ConstantAndChangingTempos) {
    struct Case {
        std::vector<TempoEntry> map;
        double ticks;
        double seconds;
    };
    const std::vector<Case> cases = {
        {{{0, 120}}, 960000, 0.5},
        {{{0, 120}, {960000, 60}}, 1920000, 1.5},
        {{{0, 120}, {960000, 60}}, 960000, 0.5},
        {{{0, 120}, {960000, 60}}, 480000, 0.25},
        {{}, 960000, 0.6},  // the default of 100 BPM
        // The span before a first entry that starts late runs at that entry's tempo.
        {{{960000, 60}}, 480000, 0.5},
        {{{960000, 60}}, 1920000, 2.0},
        {{{960000, 60}, {1920000, 120}}, 2880000, 2.5},
    };
    for (const Case& c : cases) {
        TempoMap map;
        map.entries = c.map;
        EXPECT_DOUBLE_EQ(ticks_to_seconds(map, c.ticks, 100), c.seconds)
            << c.map.size() << " entries, " << c.ticks;
    }
}

TEST(RealSessionTempo, ConstantTempoAndNoMeterChanges) {
    for (const char* name :
         {"RegionTest.ptx", "TestPTX.ptx", "Untitled32.ptx", "MetadataFields.ptx"}) {
        REQUIRE_SESSION(path, name);
        PTFFormat session;
        ASSERT_EQ(session.unxor(path), 0) << name;
        const std::uint8_t* data = session.bytes().data();
        const std::size_t length = session.bytes().size();
        TempoMap map;
        read_tempo_map(data, length, map);
        // One entry: 120 BPM from the start.
        expect_entries(map.entries, {{0, 120}}, name);
        std::vector<MeterChange> meters;
        read_meters(data, length, meters);
        for (const MeterChange& m : meters) {
            EXPECT_EQ(m.numerator, 4u) << name;
            EXPECT_EQ(m.denominator, 4u) << name;
        }
    }
}

}  // namespace
