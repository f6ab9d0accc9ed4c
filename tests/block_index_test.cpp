// The block index against the search of every position: the same candidates in the same order for
// every content type, end position, part of the buffer and early stop, on the real sessions, a
// synthetic mix session and random bytes with planted blocks; and the readers' results the same
// through either.
#include "session/block_index.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "session/control_slots.h"
#include "session/fade_ranges.h"
#include "session/groups.h"
#include "session/memory_locations.h"
#include "session/scan.h"
#include "session/session_header.h"
#include "session/session_settings.h"
#include "session/tempo_map.h"
#include "tests/mix_session.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Random bytes, one in 16 of them the marker, with blocks of the mix session's kinds planted at
// random places (overlapping the random bytes and each other).
Bytes planted_buffer(std::uint32_t seed, std::size_t size) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (std::uint8_t& b : bytes) {
        const std::uint32_t r = random();
        b = (r & 0xf00) == 0 ? kBlockMarker : static_cast<std::uint8_t>(r);
    }
    using namespace test_blocks;
    const std::vector<std::string> blocks = {
        test_placements::fade_range(1, 12000, 24000, 2, true),
        test_placements::fade_range(3, 0, 4800),
        location_block("Verse", 2, 960000, 4 * 960000),
        tempo_block({{kOrigin, 120}, {kOrigin + 8 * 960000, 90}}),
        meter_block({{0, 0, 3, 4, 0}}),
        mix_session::automation_block(mix_session::MixShape{}, 1, 0),
        z_block(0x2030, zeros(30)),
        z_block(0x262a, u32le(2) + test_placements::control_slot("Kick", 2, 4800) +
                            test_placements::control_slot("Snare", 0, 0)),
        z_block(0x100b, u32le(1) + test_placements::control_slot("Old", 1, 9)),
    };
    for (int i = 0; i < 400; ++i) {
        const std::string& block = blocks[random() % blocks.size()];
        const std::size_t at = random() % (size - block.size());
        std::copy(block.begin(), block.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return bytes;
}

std::vector<std::size_t> visited(SessionBytes bytes, std::uint16_t type, std::size_t last,
                                 std::size_t stop_after, bool& stopped) {
    std::vector<std::size_t> out;
    stopped = scan_blocks(bytes, type, last, [&](const BlockHeader& block) {
        out.push_back(static_cast<std::size_t>(block.position));
        EXPECT_EQ(block.content_type, type);
        return out.size() == stop_after;
    });
    return out;
}

// Every candidate the index gives equals what the search of every position gives.
void expect_same_candidates(const Bytes& whole, const std::string& what) {
    SCOPED_TRACE(what);
    const SessionBytes all(whole.data(), whole.size());
    std::set<std::uint16_t> types = {0x0000, 0x5a5a, 0xffff, 0x262f, 0x2077, 0x2028, 0x2029};
    {
        std::mt19937 random(7);
        std::vector<std::uint16_t> present;
        for (std::size_t p = 0; p + 9 <= whole.size(); ++p)
            if (whole[p] == kBlockMarker)
                present.push_back(static_cast<std::uint16_t>(whole[p + 7] | whole[p + 8] << 8));
        for (int i = 0; i < 24 && !present.empty(); ++i)
            types.insert(present[random() % present.size()]);
    }
    const std::size_t n = whole.size();
    const std::vector<SessionBytes> parts = {all, all.subspan(n / 3), all.subspan(17, n / 2),
                                             all.subspan(n - 5), all.subspan(n)};
    const std::vector<std::size_t> lasts = {0, 9, n / 4, n - 10, n, SIZE_MAX};
    const BlockIndex index(all);

    for (std::uint16_t type : types) {
        for (std::size_t part = 0; part < parts.size(); ++part) {
            for (std::size_t last : lasts) {
                for (std::size_t stop_after : {std::size_t{0}, std::size_t{3}}) {
                    bool searched_stop = false;
                    bool indexed_stop = false;
                    const auto searched =
                        visited(parts[part], type, last, stop_after, searched_stop);
                    std::vector<std::size_t> indexed;
                    {
                        const BlockIndexScope scope(index);
                        indexed = visited(parts[part], type, last, stop_after, indexed_stop);
                    }
                    ASSERT_EQ(indexed, searched)
                        << "type " << type << " part " << part << " last " << last;
                    ASSERT_EQ(indexed_stop, searched_stop);
                }
            }
        }
    }
}

// What several readers make of the bytes, as one text.
std::string readers_text(const Bytes& bytes) {
    const std::uint8_t* data = bytes.data();
    const std::size_t n = bytes.size();
    std::ostringstream out;
    std::vector<SessionRange> ranges;
    read_ranges_262f(data, n, ranges);
    for (const SessionRange& r : ranges)
        out << "range " << r.kind << ' ' << r.start << ' ' << r.end << ' ' << r.shape << '\n';
    std::vector<MemoryLocation> locations;
    read_memory_locations(data, n, locations);
    for (const MemoryLocation& l : locations)
        out << "location " << l.name << ' ' << l.start << ' ' << l.end << '\n';
    TempoMap tempo;
    read_tempo_map(data, n, tempo);
    for (const TempoEntry& e : tempo.entries)
        out << "tempo " << e.start_tick << ' ' << e.bpm << '\n';
    std::vector<MeterChange> meters;
    read_meters(data, n, meters);
    for (const MeterChange& m : meters) out << "meter " << m.position << ' ' << m.numerator << '\n';
    std::vector<SessionGroup> groups;
    read_groups(data, n, groups);
    for (const SessionGroup& g : groups)
        out << "group " << g.name << ' ' << g.members.size() << '\n';
    std::vector<std::uint64_t> slots;
    std::vector<std::string_view> slot_names;
    read_control_slots(data, n, slots, &slot_names);
    for (std::size_t i = 0; i < slots.size(); ++i)
        out << "slot " << slot_names[i] << ' ' << slots[i] << '\n';
    SessionHeaderInfo header;
    read_session_header(data, n, header);
    int is_float = 0;
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    int code = 0;
    out << "header " << header.product << ' ' << header.version << '\n'
        << "settings " << read_session_file_format(data, n) << ' ' << read_pan_depth(data, n) << ' '
        << read_session_bit_depth(data, n, is_float) << ' ' << is_float << ' '
        << read_click_enabled(data, n) << ' ' << read_204d_time_values(data, n, a, b) << ' ' << a
        << ' ' << b << ' ' << read_timecode_rate(data, n, code) << ' ' << code << ' '
        << read_track_color_mode(data, n) << ' ' << read_clip_color_mode(data, n) << ' '
        << read_video_quality(data, n) << ' ' << read_video_frame_rate(data, n) << '\n';
    return out.str();
}

void expect_same_readings(const Bytes& bytes, const std::string& what) {
    const std::string searched = readers_text(bytes);
    const BlockIndex index(SessionBytes(bytes.data(), bytes.size()));
    const BlockIndexScope scope(index);
    EXPECT_EQ(readers_text(bytes), searched) << what;
}

TEST(BlockIndex, PlantedRandomBytesGiveTheSameCandidatesAndReadings) {
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        const Bytes bytes = planted_buffer(seed, 60000);
        expect_same_candidates(bytes, "seed " + std::to_string(seed));
        expect_same_readings(bytes, "seed " + std::to_string(seed));
    }
    // The planted blocks are read: the comparison is not one of empty results.
    const std::string planted = readers_text(planted_buffer(1, 60000));
    EXPECT_NE(planted.find("range 1"), std::string::npos);
    EXPECT_NE(planted.find("slot Kick 4800"), std::string::npos);
}

TEST(BlockIndex, SessionsGiveTheSameCandidatesAndReadings) {
    const std::string plain = mix_session::plain_session(mix_session::MixShape{});
    const Bytes mix(plain.begin(), plain.end());
    expect_same_candidates(mix, "mix session");
    expect_same_readings(mix, "mix session");
    for (const char* name :
         {"RegionTest.ptx", "TestPTX.ptx", "Untitled32.ptx", "MetadataFields.ptx"}) {
        const std::string path = test_support::real_session(name);
        if (path.empty()) continue;
        PTFFormat session;
        ASSERT_EQ(session.load(path, 48000), 0) << name;
        expect_same_candidates(session.bytes(), name);
        expect_same_readings(session.bytes(), name);
    }
}

// The shallow top-level walk the session-file layer uses finds the tree parser's top level.
TEST(BlockIndex, TopLevelHeadersAreTheTreesTopLevel) {
    std::vector<Bytes> buffers = {planted_buffer(4, 60000)};
    const std::string plain = mix_session::plain_session(mix_session::MixShape{});
    buffers.emplace_back(plain.begin(), plain.end());
    for (const char* name : {"RegionTest.ptx", "TestPTX.ptx"}) {
        PTFFormat session;
        const std::string path = test_support::real_session(name);
        if (!path.empty() && session.load(path, 48000) == 0) buffers.push_back(session.bytes());
    }
    for (const Bytes& bytes : buffers) {
        const auto tree = parse_top_level_blocks(bytes.data(), bytes.size());
        const auto shallow = parse_top_level_headers(bytes.data(), bytes.size());
        ASSERT_EQ(shallow.size(), tree.size());
        for (std::size_t i = 0; i < tree.size(); ++i) {
            EXPECT_EQ(shallow[i].payload_position, tree[i].payload_position);
            EXPECT_EQ(shallow[i].payload_size, tree[i].payload_size);
            EXPECT_EQ(shallow[i].block_type, tree[i].block_type);
            EXPECT_EQ(shallow[i].content_type, tree[i].content_type);
            EXPECT_TRUE(shallow[i].children.empty());
        }
    }
}

TEST(BlockIndex, NothingButMarkersStaysOneEntryPerCandidate) {
    const Bytes markers(1 << 20, kBlockMarker);
    const BlockIndex index(SessionBytes(markers.data(), markers.size()));
    EXPECT_EQ(index.candidate_count(), markers.size() - 8);
    EXPECT_EQ(index.positions(0x5a5a).size(), markers.size() - 8);
    EXPECT_TRUE(index.positions(0x262f).empty());
    // Too short for a header: no candidates, and scans find nothing.
    const Bytes short_bytes(8, kBlockMarker);
    const BlockIndex short_index(SessionBytes(short_bytes.data(), short_bytes.size()));
    const BlockIndexScope scope(short_index);
    EXPECT_EQ(short_index.candidate_count(), 0u);
    EXPECT_FALSE(scan_blocks(SessionBytes(short_bytes.data(), short_bytes.size()), 0x5a5a, 100,
                             [](const BlockHeader&) { return true; }));
}

// Millions of candidates of one content type (4 MiB of nothing but markers after the session's
// blocks): the conversion ends as it does without them.
TEST(BlockIndex, ASessionFullOfMarkersConvertsAsUsual) {
    const mix_session::MixShape shape;
    std::string plain = mix_session::plain_session(shape) + std::string(4 << 20, 'Z');
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ASSERT_TRUE(ptf_xor_crypt(bytes));
    test_support::TempDir dir;
    const std::string session = dir.file("Markers.ptx");
    test_support::write_file(session, std::string(bytes.begin(), bytes.end()));
    const auto r = test_support::run_lanwick({session, "-o", dir.file("p.rpp"), "--no-pause"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("  4 tracks, 24 clips, 0 MIDI notes\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  4 fade-ins, 4 fade-outs, 12 crossfades\n"), std::string::npos);
}

}  // namespace
