// The per-track readers on synthetic blocks: strips and their view state, track colours, further
// outputs, instrument routing, link tables and named ids.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "mixer_builder.h"
#include "session/channel_strips.h"
#include "session/lane_records.h"
#include "session/strip_links.h"
#include "session/track_routing.h"

namespace {

using namespace mixer_blocks;
using Bytes = std::vector<std::uint8_t>;

// A strip (0x2015): its first nested block, then shown +1, height +6, comment +8/+12 after it,
// the colour index 23 bytes after it, and the colour number in its last four bytes; `after` is
// the byte that follows the strip (its solo-safe state).
std::string strip(std::uint16_t height, std::uint16_t colour_index, std::uint32_t colour_number,
                  char after = 0, const std::string& comment = "") {
    std::string tail = zeros(1) + "\x01" + zeros(4);
    test_blocks::append_u16le(tail, height);
    tail += text(comment) + zeros(11);
    test_blocks::append_u16le(tail, colour_index);
    tail += zeros(2) + u32le(colour_number);
    return z_block(0x2015, z_block(0x0001, "xx") + tail) + std::string(1, after);
}

// A track whose mix state follows its name: solo, automation mode, trim.
std::string mixed_track(const std::string& name, char solo, char mode, char trim) {
    return z_block(0x261b,
                   z_block(0x102d, name_block(name) + std::string{solo, mode, trim} + zeros(4)));
}

std::vector<NamedBlockEntry> named_of(const Bytes& b) {
    std::vector<NamedBlockEntry> named;
    read_track_names(b.data(), b.size(), named);
    return named;
}

TEST(ChannelStrips, StripsGoToTracksByOrderOrByStripRowName) {
    const std::string tracks =
        mixed_track("A", 1, 2, 1) + mixed_track("B", 0, 6, 0) + mixed_track("C", 2, 1, 5);
    // As many strips as tracks: in order.
    {
        const Bytes b = test_blocks::to_bytes(strip(36, 0, 1, 1, "hi") + strip(92, 0, 2, 2) +
                                              strip(300, 0, 3) + tracks);
        std::vector<TrackViewState> out;
        read_channel_strips_2015(b.data(), b.size(), named_of(b), out);
        ASSERT_EQ(out.size(), 3u);
        EXPECT_EQ(out[0].height, 36);
        EXPECT_EQ(out[0].comment, "hi");
        EXPECT_EQ(out[0].solo_safe_state, 1);
        EXPECT_EQ(out[1].solo_safe_state, -1);  // the byte after the strip is 2
        EXPECT_EQ(out[2].colour_number, 3);
        EXPECT_EQ(out[0].solo_state, 1);
        EXPECT_EQ(out[0].automation_mode, 2);
        EXPECT_EQ(out[0].trim_flag, 1);
        EXPECT_EQ(out[1].automation_mode, -1);  // mode 6 is none
        EXPECT_EQ(out[1].trim_flag, -1);
        EXPECT_EQ(out[2].solo_state, -1);
        EXPECT_EQ(out[2].trim_flag, -1);
    }
    // Two strips: through two strip rows by name; three rows leave every track at the defaults.
    for (int rows : {2, 3}) {
        std::string list = strip_row(0, "C") + strip_row(0, "A");
        if (rows == 3) list += strip_row(0, "B");
        const Bytes b = test_blocks::to_bytes(z_block(0x2519, list) + strip(50, 0, 7) +
                                              strip(60, 0, 8) + tracks);
        std::vector<TrackViewState> out;
        read_channel_strips_2015(b.data(), b.size(), named_of(b), out);
        ASSERT_EQ(out.size(), 3u);
        EXPECT_EQ(out[0].height, rows == 2 ? 60 : 0) << rows;
        EXPECT_EQ(out[1].height, 0) << rows;
        EXPECT_EQ(out[2].height, rows == 2 ? 50 : 0) << rows;
        EXPECT_EQ(out[1].automation_mode, -1) << rows;
    }
}

TEST(ChannelStrips, TrackColoursOnAndOffThePalette) {
    const std::string tracks = track_block(0x261b, "A") + track_block(0x261b, "B") +
                               track_block(0x261b, "C") + track_block(0x261b, "D") +
                               track_block(0x261b, "E");
    const Bytes b = test_blocks::to_bytes(strip(0, 47, 1) + strip(0, 48, 1) + strip(0, 72, 1) +
                                          strip(0, 0xFFFE, 1) + strip(0, 96, 1) + tracks);
    std::vector<TrackColourIndex> out;
    int off = 0;
    read_2015_2104(b.data(), b.size(), out, &off);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].track, "A");
    EXPECT_EQ(out[0].index, 47);
    EXPECT_EQ(off, 3);
}

std::string channel_entry(std::uint8_t kind, const std::string& name,
                          const std::vector<std::uint16_t>& channels, std::uint32_t id_a,
                          std::uint32_t id_b) {
    std::string content(1, static_cast<char>(kind));
    content += zeros(1) + text(name) + u32le(static_cast<std::uint32_t>(channels.size()));
    for (std::uint16_t c : channels) test_blocks::append_u16le(content, c);
    content += zeros(3) + "*" + zeros(3) + u32le(id_a) + u32le(id_b) + zeros(16);
    return z_block(0x1021, content);
}

TEST(TrackRouting, FurtherOutputsOfMultiOutputSources) {
    const Bytes b = test_blocks::to_bytes(channel_entry(6, "Out 3-4", {3, 4}, 5, 6) +
                                          channel_entry(6, "Out 0", {0, 1}, 7, 8) +
                                          // The source's block holds the entry's marked ids.
                                          zeros(4) + "*" + zeros(3) + u32le(5) + u32le(6));
    LaneGroup source;
    source.name = "Synth";
    source.block_start = 1;
    source.block_end = b.size();
    std::vector<MasterItem> items;
    read_master_items(b.data(), b.size(), std::vector<LaneGroup>{source}, items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, "Out 3-4");
    EXPECT_EQ(items[0].output_pair, 2u);
    EXPECT_EQ(items[0].pair_first_channel, 5u);
    EXPECT_EQ(items[0].source_group_name, "Synth");
}

// A routing block (0x2036, size 76): item number +21, +43 u32 1, +64 '*' 0 0 0, id +68.
std::string routing(std::int32_t item, std::uint64_t id) {
    std::string content = zeros(74);
    content.replace(12, 4, u32le(static_cast<std::uint32_t>(item)));
    content.replace(34, 4, u32le(1));
    content.replace(55, 4, u32le(42));
    content.replace(59, 8, test_blocks::u64le(id));
    return z_block(0x2036, content);
}

TEST(TrackRouting, MidiTracksToInstruments) {
    const Bytes b = test_blocks::to_bytes(
        track_block(0x2621, "Inst", routing(0, 0xAB)) +
        track_block(0x2620, "M1", routing(0, 0xAB)) + track_block(0x2620, "M2", routing(0, 0xCD)) +
        track_block(0x2620, "M3", routing(0, 0)) + track_block(0x2620, "M4", routing(1, 0)) +
        track_block(0x2620, "M5", routing(2, 0)));
    std::vector<SessionItemEntry> items(2);
    items[0].name = "Kontakt";
    items[0].has_id = 1;
    items[1].name = "No id";
    std::vector<InstrumentRoute> out;
    read_instrument_routing(b.data(), b.size(), named_of(b), items, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].track, "M1");
    EXPECT_EQ(out[0].target, "Inst");
    EXPECT_EQ(out[1].target, "an instrument on another track");
    EXPECT_EQ(out[2].track, "M4");
    EXPECT_EQ(out[2].target, "Kontakt");
}

TEST(TrackRouting, VcaValuesVoicesOffAndHardwareItems) {
    const std::string voice_off = z_block(0x261c, zeros(2) + z_block(0x200b, "xx") + zeros(4));
    const std::string item =
        z_block(0x2612, zeros(4) + z_block(0x260e, zeros(29) + text("Insert 1") + zeros(12)));
    const Bytes b = test_blocks::to_bytes(
        track_block(0x261f, "VCA", z_block(0x2514, u32le(77) + zeros(8))) +
        track_block(0x261b, "Quiet", voice_off) + track_block(0x261b, "HW", item));
    const auto named = named_of(b);
    std::map<std::size_t, std::uint32_t> values;
    map_2514_values(b.data(), b.size(), named, values);
    EXPECT_EQ(values, (std::map<std::size_t, std::uint32_t>{{0, 77}}));
    std::vector<std::string> off;
    collect_names_with_200b(b.data(), b.size(), named, off);
    EXPECT_EQ(off, std::vector<std::string>{"Quiet"});
    std::vector<std::pair<std::string, std::string>> items;
    read_track_item_names(b.data(), b.size(), named, items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], std::make_pair(std::string("Insert 1"), std::string("HW")));
}

// A link-table record: '*' 0 0 0 at +5, the id, the entries.
std::string link_record(std::uint64_t id, const std::vector<std::uint64_t>& links) {
    std::string out = zeros(5) + "*" + zeros(3) + test_blocks::u64le(id) +
                      u32le(static_cast<std::uint32_t>(links.size()));
    for (std::uint64_t l : links) out += zeros(5) + "*" + zeros(3) + test_blocks::u64le(l);
    return out;
}

TEST(StripLinks, LinkTableReadWholeOrNotAtAll) {
    const std::string records = link_record(1, {2, 3}) + link_record(4, {});
    std::map<std::uint64_t, std::vector<std::uint64_t>> links;
    Bytes b = test_blocks::to_bytes(z_block(0x210c, u32le(2) + records));
    EXPECT_EQ(read_id_links_210c(b.data(), b.size(), links), 1);
    EXPECT_EQ(links[1], (std::vector<std::uint64_t>{2, 3}));
    EXPECT_TRUE(links[4].empty());
    // Records ending two bytes before the table's end, or a count promising more: nothing.
    for (const std::string& table :
         {z_block(0x210c, u32le(2) + records + zeros(2)), z_block(0x210c, u32le(3) + records),
          z_block(0x210c, u32le(5000) + records)}) {
        b = test_blocks::to_bytes(table);
        EXPECT_EQ(read_id_links_210c(b.data(), b.size(), links), 0);
        EXPECT_TRUE(links.empty());
    }
    b = test_blocks::to_bytes(z_block(0x210c, u32le(0)));
    EXPECT_EQ(read_id_links_210c(b.data(), b.size(), links), 1);
}

}  // namespace
