#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "block_builder.h"
#include "mixer_builder.h"
#include "session/groups.h"
#include "session/memory_locations.h"

namespace {

using namespace test_blocks;

std::string byte(int value) {
    return std::string(1, static_cast<char>(value));
}

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// --- Groups ---------------------------------------------------------------------------------

using mixer_blocks::mix_group_block;
using mixer_blocks::StoredGroup;

std::vector<SessionGroup> groups_of(const std::string& bytes) {
    std::vector<SessionGroup> out;
    read_groups(u8(bytes), bytes.size(), out);
    return out;
}

TEST(ReadGroups, FieldsOfAStoredGroup) {
    StoredGroup vca;
    vca.name = "VCA Strings";
    vca.type = 2;
    vca.slot = 7;
    vca.active = 0;
    vca.members = {1, 4, 5};
    vca.extra = 9;
    vca.attributes = std::string("\x01\x00\x00\x00\x00\x00\x00\x01\x01", 9) + zeros(40);
    const auto groups = groups_of(zeros(3) + mix_group_block(StoredGroup{}) + mix_group_block(vca));
    ASSERT_EQ(groups.size(), 2u);

    EXPECT_EQ(groups[0].name, "Drums");
    EXPECT_EQ(groups[0].members, (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(groups[0].type, 1u);
    EXPECT_EQ(groups[0].slot, 3u);
    EXPECT_EQ(groups[0].active, 1u);
    EXPECT_EQ(groups[0].extra_index, -1);
    EXPECT_EQ(groups[0].has_attributes, 0u);

    EXPECT_EQ(groups[1].members, (std::vector<std::uint32_t>{1, 4, 5}));
    EXPECT_EQ(groups[1].type, 2u);
    EXPECT_EQ(groups[1].slot, 7u);
    EXPECT_EQ(groups[1].active, 0u);
    EXPECT_EQ(groups[1].extra_index, 9);
    EXPECT_EQ(groups[1].has_attributes, 1u);
    // At most 32 attribute bytes are taken.
    EXPECT_EQ(groups[1].attributes[0], 1);
    EXPECT_EQ(groups[1].attributes[7], 1);
    EXPECT_EQ(groups[1].attributes[8], 1);
    EXPECT_EQ(groups[1].attributes[1], 0);
}

TEST(ReadGroups, BlocksThatYieldNoGroup) {
    struct Case {
        const char* what;
        StoredGroup group;
    };
    std::vector<Case> cases(6);
    cases[0] = {"members not followed by FE FF", {}};
    cases[0].group.closing = "\xFE\xFE";
    cases[1] = {"member count past the block", {}};
    cases[1].group.count = 200;
    cases[2] = {"member count above 256", {}};
    cases[2].group.count = 257;
    cases[3] = {"name with a control byte", {}};
    cases[3].group.name = "Dr\x01ms";
    cases[4] = {"block type with a high byte", {}};
    cases[4].group.block_type = 0x0105;
    cases[5] = {"empty name", {}};
    cases[5].group.name = "";
    for (const Case& c : cases) {
        EXPECT_TRUE(groups_of(zeros(2) + mix_group_block(c.group)).empty()) << c.what;
    }
    // A block cut off by the end of the buffer is passed over.
    const std::string whole = mix_group_block(StoredGroup{});
    EXPECT_TRUE(groups_of(whole.substr(0, whole.size() - 1)).empty());
}

// --- Memory locations -----------------------------------------------------------------------

enum class Colors { none, palette, full };

struct StoredLocation {
    std::string name = "Verse";
    int flags = 0;
    int kind = 1;
    std::uint64_t start = kOrigin + 960000;
    std::uint64_t end = kOrigin + 960000;
    Colors colors = Colors::none;
    std::int16_t palette = 30;
    std::uint16_t color_number = 5;
    std::string rgb = std::string("\x00\x12\x00\x34\x00\x56", 6);  // from +L+223
};

// A 0x2077 block: flags at +11, kind at +12, name length at +15, name at +19, start and end
// right after it, 8 bytes apart.
std::string location_block(const StoredLocation& l) {
    const std::size_t n = l.name.size();
    std::string content = zeros(2) + byte(l.flags) + byte(l.kind) + zeros(2) + le(n, 4) + l.name +
                          le(l.start, 5) + zeros(3) + le(l.end, 5);
    switch (l.colors) {
        case Colors::none:
            content += zeros(3);  // size + 7 = L + 35
            break;
        case Colors::palette:
            content += zeros(n + 138 - content.size());
            content.replace(n + 136, 2, le(static_cast<std::uint16_t>(l.palette), 2));
            break;
        case Colors::full:
            content += zeros(n + 281 - content.size());  // size = L + 283
            content.replace(n + 130, 2, le(l.color_number, 2));
            content.replace(n + 214, 6, l.rgb);
            break;
    }
    return z_block(0x2077, content, 0x01);
}

// The reader looks for blocks up to 48 bytes before the end: `pad` puts the last block there.
std::vector<MemoryLocation> locations_of(const std::string& bytes, bool pad = true) {
    const std::string padded = pad ? bytes + zeros(16) : bytes;
    std::vector<MemoryLocation> out;
    read_memory_locations(u8(padded), padded.size(), out);
    return out;
}

TEST(ReadMemoryLocations, KindsAreReadAndNoneIsDroppedByTheReader) {
    struct Case {
        int stored;
        LocationKind kind;
    };
    const Case cases[] = {{0, LocationKind::none},   {1, LocationKind::marker},
                          {2, LocationKind::range},  {9, LocationKind::marker},
                          {10, LocationKind::range}, {3, LocationKind::range}};
    for (const Case& c : cases) {
        StoredLocation l;
        l.kind = c.stored;
        const auto got = locations_of(zeros(4) + location_block(l));
        ASSERT_EQ(got.size(), 1u) << "kind byte " << c.stored;
        EXPECT_EQ(got[0].kind, c.kind) << "kind byte " << c.stored;
        EXPECT_EQ(got[0].stored_kind, c.stored);
        EXPECT_EQ(location_kind_known(got[0].stored_kind), c.stored <= 2 || c.stored == 9);
    }
}

TEST(ReadMemoryLocations, EachLocationStoredTwiceIsReadOnce) {
    StoredLocation marker;
    StoredLocation elsewhere = marker;
    elsewhere.start = elsewhere.end = kOrigin + 1920000;
    StoredLocation range;
    range.name = "Chorus";
    range.kind = 2;
    range.end = kOrigin + 3840000;
    StoredLocation range_10 = range;  // the same range, stored with kind byte 10
    range_10.kind = 10;
    StoredLocation marker_9 = marker;
    marker_9.kind = 9;
    marker_9.colors = Colors::full;
    const auto got =
        locations_of(location_block(marker) + location_block(range) + location_block(elsewhere) +
                     location_block(marker_9) + location_block(range_10) + location_block(marker));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].name, "Verse");
    EXPECT_EQ(got[0].start, 960000);
    EXPECT_EQ(got[0].color_number, -1);  // the first copy wins
    EXPECT_EQ(got[1].name, "Chorus");
    EXPECT_EQ(got[1].end, 3840000);
    EXPECT_EQ(got[2].start, 1920000);
}

TEST(ReadMemoryLocations, PositionsTicksSamplesOrNone) {
    struct Case {
        const char* what;
        int flags;
        std::uint64_t start, end;
        double want_start, want_end;
        int raw, has_positions;
    };
    const Case cases[] = {
        {"ticks", 0, kOrigin + 5, kOrigin + 9, 5, 9, 0, 1},
        {"samples", 0x02, 48000, 96000, 48000, 96000, 1, 1},
        {"samples, a point", 0x03, 100, 100, 100, 100, 1, 1},
        {"below the origin, no sample flag", 0x01, 48000, 96000, 48000, 96000, 0, 0},
        {"samples running backwards", 0x02, 96000, 48000, 96000, 48000, 0, 0},
        {"end below the origin", 0, kOrigin + 5, 3, kOrigin + 5, 3, 0, 0},
    };
    for (const Case& c : cases) {
        StoredLocation l;
        l.flags = c.flags;
        l.start = c.start;
        l.end = c.end;
        const auto got = locations_of(location_block(l));
        ASSERT_EQ(got.size(), 1u) << c.what;
        EXPECT_EQ(got[0].start, c.want_start) << c.what;
        EXPECT_EQ(got[0].end, c.want_end) << c.what;
        EXPECT_EQ(got[0].raw, c.raw) << c.what;
        EXPECT_EQ(got[0].has_positions, c.has_positions) << c.what;
    }
}

TEST(ReadMemoryLocations, Colors) {
    StoredLocation full;
    full.colors = Colors::full;
    StoredLocation no_rgb = full;
    no_rgb.name = "No RGB";
    no_rgb.rgb = std::string("\x01\x12\x00\x34\x00\x56", 6);
    StoredLocation palette;
    palette.name = "Palette";
    palette.colors = Colors::palette;
    StoredLocation negative = palette;
    negative.name = "Negative";
    negative.palette = -5;
    StoredLocation plain;
    plain.name = "Plain";
    const auto got =
        locations_of(location_block(full) + location_block(no_rgb) + location_block(palette) +
                     location_block(negative) + location_block(plain));
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].color_number, 5);
    EXPECT_EQ(got[0].color_rgb, 0x123456);
    EXPECT_EQ(got[0].palette_index, -2);
    EXPECT_EQ(got[1].color_number, 5);
    EXPECT_EQ(got[1].color_rgb, -1);
    EXPECT_EQ(got[2].palette_index, 30);
    EXPECT_EQ(got[2].color_number, -1);
    EXPECT_EQ(got[3].palette_index, -5);
    EXPECT_EQ(got[4].palette_index, -2);
    EXPECT_EQ(got[4].color_rgb, -1);
}

// Names of up to 255 bytes are read whole; a block that cannot be read as a location is kept,
// marked unreadable and named by what it holds of its name, so that the console names it.
TEST(ReadMemoryLocations, LongNamesAndUnreadableBlocks) {
    struct Case {
        const char* what;
        std::string name;
        bool readable;
        std::string read_name;
    };
    const std::string longest(255, 'x');
    const Case cases[] = {
        {"129 bytes", std::string(129, 'x'), true, std::string(129, 'x')},
        {"255 bytes", longest, true, longest},
        {"quotes", "He said \"go\" 'now' `x`", true, "He said \"go\" 'now' `x`"},
        {"no name", "", true, ""},
        {"256 bytes", std::string(256, 'x'), false, ""},
        {"a control byte", "Ve\x07rse", false, "Ve\x07rse"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StoredLocation l;
        l.name = c.name;
        // Stored twice, as the session does: one record either way.
        const auto got = locations_of(location_block(l) + location_block(l));
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].readable, c.readable ? 1 : 0);
        EXPECT_EQ(got[0].name, c.read_name);
        EXPECT_EQ(got[0].has_positions, c.readable ? 1 : 0);
        if (c.readable) {
            EXPECT_EQ(got[0].start, 960000.0);
        }
    }

    // Too short for its name and positions: unreadable, named.
    std::string short_block = location_block(StoredLocation{});
    short_block.replace(3, 4, le(short_block.size() - 8, 4));
    const auto got = locations_of(short_block + zeros(16));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].readable, 0);
    EXPECT_EQ(got[0].name, "Verse");
}

TEST(ReadMemoryLocations, BlocksCutOffAreSkipped) {
    // Cut off by the end of the buffer, or a buffer below 48 bytes.
    StoredLocation last;
    last.name = std::string(20, 'x');
    const std::string whole = location_block(last);
    EXPECT_EQ(locations_of(whole, false).size(), 1u);
    EXPECT_TRUE(locations_of(whole.substr(0, whole.size() - 1), false).empty());
    EXPECT_TRUE(locations_of(whole.substr(0, 47), false).empty());
}

}  // namespace
