// MIDI chunks with their event streams and controller data, and the MIDI real-time properties.
#include "session/midi_chunks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "block_builder.h"
#include "convert/reading/diagnostic_listings.h"
#include "midi_builder.h"
#include "platform/ptformat.h"
#include "test_support.h"

namespace {

using namespace test_blocks;

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// "MdNLB", 6 filler bytes, the note count at +11 and the first note's position at +15.
std::string chunk_mark(std::uint32_t count, std::uint64_t position) {
    return "MdNLB" + zeros(6) + u32le(count) + le(position, 5) + zeros(3);
}

struct StreamEntry {
    std::uint64_t position = 0;
    std::string data;
    std::uint8_t one = 1;
};

std::string stream_entry(const StreamEntry& e) {
    std::string out = le(e.position, 5) + zeros(3);
    out.push_back(static_cast<char>(e.one));
    out += zeros(1) + u32le(static_cast<std::uint32_t>(e.data.size() + 5)) + zeros(1) +
           u32le(static_cast<std::uint32_t>(e.data.size()));
    return out + e.data;
}

// An event stream whose table length is the entries' size + 4 + `extra`.
std::string stream(const std::vector<StreamEntry>& entries, std::uint32_t extra = 0) {
    std::string body;
    for (const StreamEntry& e : entries) body += stream_entry(e);
    return "MdES" + zeros(6) + "MdTEL" + zeros(2) +
           u32le(static_cast<std::uint32_t>(body.size() + 4 + extra)) +
           u32le(static_cast<std::uint32_t>(entries.size())) + body + zeros(extra);
}

using midi_blocks::controller_data;

std::vector<MidiChunk> chunks_of(const std::string& buffer) {
    std::vector<MidiChunk> out{MidiChunk{}};  // replaced
    read_midi_chunks(u8(buffer), buffer.size(), out);
    return out;
}

// --dump-cc names each stream by the kind and controller number the reader gives the MIDI items.
TEST(MidiChunks, ControllerDumpOfReadChunks) {
    const std::string body =
        chunk_mark(1, kOrigin) +
        controller_data(0x0702, {{kOrigin, 1}, {kOrigin + 1, 2}, {kOrigin + 2, 3}}) +
        controller_data(0x0001, {{kOrigin, 8192}, {kOrigin + 4, 0}});
    const std::string buffer = z_block(0x2000, body) + zeros(20);
    EXPECT_EQ(controller_dump_text(chunks_of(buffer)),
              "chunk 0   notes 1     origin 1000000000000\n"
              "    pitch bend       count 2\n"
              "    CC 007           count 3\n"
              "1 chunks, 2 streams with data, 5 events\n");
}

TEST(MidiChunks, ChunkStreamsAndControllersInsideTheirBlock) {
    const std::string body =
        chunk_mark(2, kOrigin + 960000) +
        stream({{kOrigin + 10, "\x43\x10\x4c"}, {kOrigin + 20, "\x01\x02\x03"}}) +
        controller_data(0x0102, {{kOrigin + 5, 64}, {kOrigin + 9, 7}}) +
        controller_data(0x0004, {});
    const std::string buffer = "xx" + z_block(0x2000, body) + zeros(20);
    const std::vector<MidiChunk> chunks = chunks_of(buffer);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].event_count, 2u);
    EXPECT_EQ(chunks[0].position, kOrigin + 960000);
    ASSERT_EQ(chunks[0].streams.size(), 2u);
    EXPECT_EQ(chunks[0].streams[0].position, kOrigin + 10);
    EXPECT_EQ(chunks[0].streams[0].bytes, (std::vector<std::uint8_t>{0x43, 0x10, 0x4c}));
    EXPECT_EQ(chunks[0].streams[1].bytes, (std::vector<std::uint8_t>{1, 2, 3}));
    ASSERT_EQ(chunks[0].controller_events.size(), 2u);
    EXPECT_EQ(chunks[0].controller_events[0].kind, 0x0102);
    EXPECT_EQ(chunks[0].controller_events[0].position, kOrigin + 5);
    EXPECT_EQ(chunks[0].controller_events[1].value, 7u);
}

TEST(MidiChunks, MarkersOutsideABlockOrBeforeAChunkAreIgnored) {
    // A chunk marker outside every 0x2000 block starts nothing, and what follows it belongs to
    // no chunk, even inside the block that comes later.
    const std::string loose = controller_data(2, {{1, 1}}) + chunk_mark(1, kOrigin) +
                              stream({{1, "\x01"}}) + controller_data(2, {{1, 1}});
    const std::string buffer = loose + z_block(0x2000, chunk_mark(0, kOrigin + 5)) + zeros(20);
    const std::vector<MidiChunk> chunks = chunks_of(buffer);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].position, 0u);  // a chunk of no notes keeps no position
    EXPECT_TRUE(chunks[0].streams.empty());
    EXPECT_TRUE(chunks[0].controller_events.empty());
}

TEST(MidiChunks, AStreamIsTakenWholeOrNotAtAll) {
    struct Case {
        const char* what;
        std::string stream;
        std::size_t entries;
    };
    const StreamEntry three{kOrigin, "abc"};
    StreamEntry bad_second{kOrigin + 1, "def"};
    bad_second.one = 2;
    const Case cases[] = {
        {"two entries filling the table", stream({three, three}), 2},
        {"table one byte longer than its entries", stream({three, three}, 1), 0},
        {"second entry without its 1 byte", stream({three, bad_second}), 0},
        {"no entries", stream({}), 0},
    };
    for (const Case& c : cases) {
        const std::string buffer =
            z_block(0x2000, chunk_mark(1, kOrigin) + c.stream + zeros(4)) + zeros(20);
        const std::vector<MidiChunk> chunks = chunks_of(buffer);
        ASSERT_EQ(chunks.size(), 1u) << c.what;
        EXPECT_EQ(chunks[0].streams.size(), c.entries) << c.what;
    }
}

TEST(MidiChunks, HugeCountsAndTruncatedDataReadNothing) {
    // A controller count whose 12n + 4 wraps in 32 bits must not pass the size test.
    std::string wrapped = controller_data(2, {{1, 1}});
    const std::size_t list = 11 + 12;
    const std::uint32_t count = 0x40000000;  // 12n + 4 = 4 in 32 bits
    for (int i = 0; i < 4; ++i)
        wrapped[list + 20 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
    std::string huge_stream = stream({{1, "ab"}});
    huge_stream[21] = '\xff';  // entry count 0x...ff
    huge_stream[22] = '\xff';
    huge_stream[23] = '\xff';
    huge_stream[24] = '\x7f';
    for (const std::string& tail : {wrapped, huge_stream}) {
        const std::string buffer = z_block(0x2000, chunk_mark(1, kOrigin) + tail) + zeros(20);
        const std::vector<MidiChunk> chunks = chunks_of(buffer);
        ASSERT_EQ(chunks.size(), 1u);
        EXPECT_TRUE(chunks[0].streams.empty());
        EXPECT_TRUE(chunks[0].controller_events.empty());
    }
    // Cut short anywhere, the reader stays inside the bytes.
    const std::string whole = z_block(
        0x2000, chunk_mark(1, kOrigin) + stream({{1, "ab"}}) + controller_data(2, {{1, 1}}));
    for (std::size_t n = 0; n <= whole.size(); ++n) chunks_of(whole.substr(0, n));
}

TEST(MidiChunks, TestPtxHoldsThreeChunksWithoutControllerData) {
    REQUIRE_SESSION(path, "TestPTX.ptx");
    PTFFormat session;
    ASSERT_EQ(session.load(path, 48000), 0);
    std::vector<MidiChunk> chunks;
    read_midi_chunks(session.bytes().data(), session.bytes().size(), chunks);
    ASSERT_EQ(chunks.size(), 3u);
    const std::uint32_t counts[] = {16, 9, 4};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(chunks[i].event_count, counts[i]);
        EXPECT_EQ(chunks[i].position, kOrigin);
        EXPECT_TRUE(chunks[i].streams.empty());
        EXPECT_TRUE(chunks[i].controller_events.empty());
    }
}

// --- Real-time properties -----------------------------------------------------------------------

// A 0x2502 block of 160 payload bytes with the given bytes set (offsets from its marker).
std::string properties_block(const std::vector<std::pair<std::size_t, std::uint8_t>>& set) {
    std::string block = z_block(0x2502, zeros(158), 2);
    for (const auto& [offset, value] : set) block[offset] = static_cast<char>(value);
    return block;
}

TEST(MidiTrackProperties, RowsOfMidiTracksFromTheirBlocks) {
    // delay 2500 (1/1000 ticks) negated, velocity 50 % -3, transpose -1 oct +2 semi, quantize
    // with 60 % swing.
    std::vector<std::pair<std::size_t, std::uint8_t>> set = {
        {11, 1},   {54, 60},    {133, 1}, {134, 1}, {136, 0xC4}, {137, 0x09}, {148, 1},
        {149, 50}, {151, 0xFD}, {156, 1}, {157, 9}, {158, 0xFF}, {159, 2}};
    const std::string buffer = properties_block(set) +
                               properties_block({{133, 1}, {136, 0xE8}, {137, 3}}) +
                               properties_block({{11, 1}}) + zeros(8);
    const std::vector<std::uint32_t> types = {0x261b, kMidiTrackBlock, kInstrumentTrackBlock,
                                              kMidiTrackBlock};
    std::vector<MidiTrackProperties> rows;
    read_midi_track_properties(u8(buffer), buffer.size(), types, rows);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_FALSE(any_property_on(rows[0]));
    const MidiTrackProperties& a = rows[1];
    EXPECT_TRUE(a.quantize_on && a.delay_on && a.velocity_on && a.transpose_on);
    EXPECT_FALSE(a.duration_on);
    EXPECT_EQ(a.swing_percent, 60u);
    EXPECT_EQ(a.delay_ticks, -2);
    EXPECT_EQ(a.velocity_scale, 50u);
    EXPECT_EQ(a.velocity_offset, -3);
    EXPECT_EQ(a.carried_value, 9u);
    EXPECT_EQ(a.transpose_octaves, -1);
    EXPECT_EQ(a.transpose_semitones, 2);
    EXPECT_EQ(rows[2].delay_ticks, 1);
    // The last block belongs to no track: the third MIDI track keeps the default.
    EXPECT_FALSE(any_property_on(rows[3]));
    EXPECT_EQ(rows[3].velocity_scale, 100u);
}

TEST(MidiTrackProperties, ThePrefixBlockShiftsTheLaterFields) {
    // A 0x103d block of size 70 at +13 moves the shifted fields 11 bytes on.
    std::string block = z_block(0x2502, zeros(180), 2);
    const std::string prefix = z_block(0x103d, zeros(68));
    block.replace(13, prefix.size(), prefix);
    block[11 + 148] = 1;  // velocity on at shifted +148
    block[11 + 149] = 80;
    block[148] = 0;
    const std::string buffer = block + properties_block({}) + zeros(8);
    const std::vector<std::uint32_t> types = {kMidiTrackBlock};
    std::vector<MidiTrackProperties> rows;
    read_midi_track_properties(u8(buffer), buffer.size(), types, rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].velocity_on);
    EXPECT_EQ(rows[0].velocity_scale, 80u);
}

TEST(MidiTrackProperties, OneBlockLeavesTheTrackAtItsDefault) {
    const std::string buffer = properties_block({{148, 1}}) + zeros(8);
    const std::vector<std::uint32_t> types = {kMidiTrackBlock};
    std::vector<MidiTrackProperties> rows;
    read_midi_track_properties(u8(buffer), buffer.size(), types, rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_FALSE(any_property_on(rows[0]));
    EXPECT_EQ(rows[0].velocity_scale, 100u);
}

}  // namespace
