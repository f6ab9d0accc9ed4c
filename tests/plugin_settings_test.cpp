#include "session/plugin_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "convert/reading/stage_reading.h"
#include "convert/run_state.h"
#include "platform/ptformat.h"
#include "session/elck_chunks.h"
#include "session/settings_payload.h"
#include "tests/plugin_blocks.h"
#include "tests/test_support.h"

namespace {

using namespace test_plugins;

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::vector<SessionPluginInstance> read_all(const std::string& bytes) {
    std::vector<SessionPluginInstance> out;
    read_aax_settings_chunk(u8(bytes), bytes.size(), out);
    return out;
}

// The one record of a session holding `block` after 16 lead bytes.
SessionPluginInstance read_one(const std::string& block) {
    const std::vector<SessionPluginInstance> all = read_all(zeros(16) + block + zeros(4));
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? SessionPluginInstance{} : all.front();
}

SessionPluginInstance read_settings(const std::string& settings) {
    PluginBlock p;
    p.settings = settings;
    return read_one(plugin_block(p));
}

constexpr std::uint64_t kBlock = 16;          // where read_one puts the block
constexpr std::uint64_t kArea = kBlock + 33;  // where its settings begin
std::string filler(std::size_t n) {
    return std::string(n, '\x01');  // neither text nor part of any tag
}

// --- Payload kinds ------------------------------------------------------------------------

TEST(PluginPayload, EachKindWithItsLengthRule) {
    const std::string archive_body = filler(64 - 25);
    const std::string braces = "{\n\tindex = 1, s = \"}\" }";
    struct Case {
        const char* what;
        std::string settings;
        std::uint32_t kind;
        std::uint64_t offset;  // from the settings start
        std::uint32_t length;
    } cases[] = {
        {"FabFilter through 8 bytes after the last FFEx",
         "Pro" + zeros(1) + "FFBS" + "FFEx" + "ab" + "FFEx" + "12345678" + "tail", 1, 4, 22},
        {"FabFilter without room after FFEx", "FFBS" + filler(4) + "FFEx" + "123", 1, 0, 15},
        {"tagged chunk", "VC2!" + u32le(3) + filler(20), 2, 0, 12},
        {"tagged chunk cut at the settings end", "VC2!" + u32le(1000) + filler(20), 2, 0, 28},
        {"XML and one zero byte", "<?xml a/>" + zeros(3), 3, 0, 10},
        {"XML up to the settings end", filler(2) + "<?xml a/>", 3, 2, 9},
        {"HXMC after its tag", "HXMC" + filler(12), 4, 4, 12},
        {"script text", "/*@Meta x */" + filler(3), 6, 0, 15},
        {"tagged 0x0085988D", u32le(0x0085988D) + u32le(0) + u32le(8) + filler(12), 7, 0, 20},
        {"zlib", filler(2) + u32le(5) + u32le(6) + u32le(14) + u32le(64) + "x\x9c" + filler(20), 8,
         18, 10},
        {"braces", braces + filler(5), 10, 0, static_cast<std::uint32_t>(braces.size())},
        {"serialization archive twice",
         u32le(64) + "22 serialization::archive" + archive_body + u32le(64) +
             "22 serialization::archive" + archive_body,
         11, 4, 64},
        {"Kontakt state", u32le(80) + u32le(0) + u32le(1) + filler(70), 12, 12, 68},
    };
    for (const Case& c : cases) {
        const SessionPluginInstance r = read_settings(c.settings);
        EXPECT_EQ(r.payload_kind, c.kind) << c.what;
        EXPECT_EQ(r.payload_offset, kArea + c.offset) << c.what;
        EXPECT_EQ(r.payload_length, c.length) << c.what;
    }
}

TEST(PluginPayload, ZlibWordsAndFirstTagWins) {
    const SessionPluginInstance z = read_settings(filler(2) + u32le(5) + u32le(6) + u32le(14) +
                                                  u32le(64) + "x\x9c" + filler(20));
    EXPECT_EQ(z.zlib_words, (std::array<std::uint32_t, 4>{5, 6, 14, 64}));
    // FabFilter data is recognised before every later tag, whatever follows it.
    EXPECT_EQ(read_settings("FFBS<?xml VC2!HXMC" + filler(8)).payload_kind, 1u);
}

TEST(PluginPayload, FailingLengthWordsEndTheScanAtKindZero) {
    const std::string xml = "<?xml version=\"1.0\"?><a/>";
    const std::string cases[] = {
        u32le(0x0085988D) + u32le(0) + u32le(1000) + xml,              // does not fit
        u32le(5) + u32le(6) + u32le(11) + u32le(64) + "x\x01" + xml,   // stored < 12
        u32le(5) + u32le(6) + u32le(14) + u32le(63) + "x\xda" + xml,   // unpacked < 64
        u32le(5) + u32le(6) + u32le(400) + u32le(64) + "x\x5e" + xml,  // does not fit
    };
    // The scan stops there (the XML text is too short for the classifier to keep).
    for (const std::string& settings : cases) {
        const SessionPluginInstance r = read_settings(settings);
        EXPECT_EQ(r.payload_kind, 0u);
        EXPECT_EQ(r.payload_length, 0u);
    }
}

// Spans that would pass the settings end are not recorded: the record stays at kind 0.
TEST(PluginPayload, SpansPastTheSettingsEndLeaveKindZero) {
    const std::string cases[] = {
        "{\n\tindex = 1, s = \"}\"" + filler(8),        // never closes
        u32le(200) + u32le(0) + u32le(1) + filler(70),  // Kontakt state too long
    };
    for (const std::string& settings : cases) EXPECT_EQ(read_settings(settings).payload_kind, 0u);
}

std::string waves_settings(const std::string& subcomp, const std::string& setup,
                           std::uint32_t extra_span = 0) {
    const std::string tree =
        "<PresetChunkXMLTree><PluginName>SSLComp Stereo</PluginName>"
        "<PluginSubComp>" +
        subcomp + "</PluginSubComp><ActiveSetup>" + setup + "</ActiveSetup></PresetChunkXMLTree>";
    // The big-endian u32 20 bytes before "XPst" gives the end: tag + u32 - 20.
    return u32be(static_cast<std::uint32_t>(24 + tree.size() + extra_span)) + filler(16) + "XPst" +
           tree + filler(6);
}

TEST(PluginPayload, WavesTreeElementsAndTheirFallThrough) {
    SessionPluginInstance r = read_settings(waves_settings("SCMS", "SETUP_B"));
    EXPECT_EQ(r.payload_kind, 9u);
    EXPECT_EQ(r.payload_offset, kArea + 24);
    EXPECT_EQ(r.payload_length, waves_settings("SCMS", "SETUP_B").size() - 24 - 6);
    EXPECT_EQ(r.subcomponent_code, "SCMS");
    EXPECT_EQ(r.plugin_name, "SSLComp Stereo");
    EXPECT_EQ(r.active_setup, "setB");
    EXPECT_EQ(read_settings(waves_settings("SCMS", "SETUP_b")).active_setup, "setA");

    // A tree reaching past the settings end, or a three-character sub-component, falls through
    // to the parameter fields, then the classifier (which knows the "XPst" tag).
    for (const std::string& settings :
         {waves_settings("SCMS", "SETUP_A", 7), waves_settings("SCM", "SETUP_A")}) {
        r = read_settings(settings);
        EXPECT_EQ(r.payload_kind, 13u);
        ASSERT_NE(r.container_label, nullptr);
        EXPECT_STREQ(r.container_label, "XPst");
        EXPECT_EQ(r.payload_offset, kArea + 20);
    }
    r = read_settings("d_gn" + f64be(0.25) + waves_settings("SCM", "SETUP_A"));
    EXPECT_EQ(r.payload_kind, 5u);
    EXPECT_EQ(r.values, std::vector<float>{0.25f});
}

// --- Parameter fields ---------------------------------------------------------------------

TEST(PluginPayload, ParameterFieldsLongestRunFromAtMostBlockPlus81) {
    // Names 8 bytes wide: width 4 reads one field only, width 8 all three.
    SessionPluginInstance r =
        read_settings(std::string("d_gain\0\0", 8) + f64be(-6.5) + std::string("l_mode\0\0", 8) +
                      u32be(0xFFFFFFFE) + std::string("d_freq\0\0", 8) + f64be(440.0));
    EXPECT_EQ(r.payload_kind, 5u);
    EXPECT_EQ(r.payload_offset, kArea);
    EXPECT_EQ(r.values, (std::vector<float>{-6.5f, -2.0f, 440.0f}));

    // A value of 1e30 ends the run.
    r = read_settings("d_aa" + f64be(1.0) + "d_bb" + f64be(1e30) + "d_cc" + f64be(2.0));
    EXPECT_EQ(r.values, std::vector<float>{1.0f});

    // The run must start by block +81.
    EXPECT_EQ(read_settings(filler(48) + "d_aa" + f64be(1.0)).payload_kind, 5u);
    EXPECT_EQ(read_settings(filler(49) + "d_aa" + f64be(1.0)).payload_kind, 0u);
}

// --- "elck" chains ------------------------------------------------------------------------

std::string named_values() {
    return zeros(4) + std::string("d_gain\0\0", 8) + f64be(-3.0) + std::string("l_on\0\0\0\0", 8) +
           u32be(1);
}

std::string binary(std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<char>(i * 7 + 1));
    return out;
}

TEST(ElckChain, NamedValuesAndTheChainEnd) {
    const std::string chunk = elck_section("AcmeDemo", "AXCK", binary(40));
    for (std::size_t slack : {0, 8, 9}) {
        const PluginBlock p = elck_plugin(named_values(), chunk, slack);
        const std::string session = zeros(16) + plugin_block(p);
        const SessionBytes bytes = session_bytes(u8(session), session.size());
        const std::size_t end = kArea + p.settings.size();
        std::map<std::string, double> values;
        std::uint64_t offset = 0;
        std::uint32_t length = 0, count = 0;
        const bool whole = slack <= 8;
        EXPECT_EQ(read_elck_chunks(bytes, kBlock, end, values), whole) << slack;
        EXPECT_EQ(find_elck_chunk(bytes, kBlock, end, offset, length, count), whole) << slack;
        if (!whole) continue;
        EXPECT_EQ(values, (std::map<std::string, double>{{"gain", -3.0}, {"on", 1.0}}));
        EXPECT_EQ(offset, kArea + 40 + named_values().size() + 56);
        EXPECT_EQ(length, 40u);
        EXPECT_EQ(count, 1u);
    }
}

TEST(ElckChain, OnlyBinarySectionsCount) {
    std::string text = "a text section that is not binary at all, only letters";
    const std::string more = elck_section("AcmeDemo", "TEXT", text) +
                             elck_section("AcmeDemo", "NAME", "name" + zeros(40)) +
                             elck_section("AcmeDemo", "TINY", binary(31)) +
                             elck_section("AcmeDemo", "elck", binary(40)) +
                             elck_section("AcmeDemo", "BIN1", binary(33)) +
                             elck_section("AcmeDemo", "BIN2", binary(50));
    const PluginBlock p = elck_plugin(named_values(), more);
    const std::string session = zeros(16) + plugin_block(p);
    std::uint64_t offset = 0;
    std::uint32_t length = 0, count = 0;
    ASSERT_TRUE(find_elck_chunk(session_bytes(u8(session), session.size()), kBlock,
                                kArea + p.settings.size(), offset, length, count));
    EXPECT_EQ(length, 33u);
    EXPECT_EQ(count, 2u);
}

TEST(ElckChain, ParameterFieldsLinkToTheChunkAfterElck) {
    // The named values double as the parameter fields (kind 5) and the chunk follows.
    const PluginBlock p = elck_plugin(named_values(), elck_section("AcmeDemo", "AXCK", binary(40)));
    const SessionPluginInstance r = read_one(plugin_block(p));
    EXPECT_EQ(r.payload_kind, 5u);
    EXPECT_EQ(r.elck_found, 1u);
    EXPECT_EQ(r.elck_length, 40u);
    EXPECT_EQ(r.elck_binary_sections, 1u);
    ASSERT_NE(r.source_tag, nullptr);
    EXPECT_STREQ(r.source_tag, "AAX chunk after elck");
}

// --- The classifier -----------------------------------------------------------------------

// Settings of `size` filler bytes with `bytes` put at block offset `at` (33 or more).
struct Area {
    std::string settings;
    explicit Area(std::size_t size) : settings(filler(size)) {}
    Area& put(std::size_t at, const std::string& bytes) {
        settings.replace(at - 33, bytes.size(), bytes);
        return *this;
    }
};

std::string text_of(std::size_t n) {
    std::string out;
    while (out.size() < n) out += "the quick brown fox jumps over the lazy dog ";
    return out.substr(0, n);
}

TEST(ChunkClassifier, LabelsSpansAndScores) {
    struct Case {
        const char* what;
        std::string settings;
        const char* label;     // null: kind 0
        std::uint64_t offset;  // from the block
        std::uint32_t length;
        std::uint32_t match;
    } cases[] = {
        // +41 holds a TAB: text, but no printable name for "AAX chunk data". A non-text byte
        // keeps the runs from +29, +33 and +37 short: the settings end word T at +13 would
        // otherwise close them as length words.
        {"whole area of text",
         Area(300).put(33, text_of(300)).put(41, "\t").put(133, filler(1)).settings,
         "text (no tag)", 33, 300, 1},
        {"a balanced brace extent of text",
         Area(200)
             .put(33, text_of(200))
             .put(41, "\t")
             .put(50, filler(1))
             .put(60, "{" + text_of(70) + "}")
             .settings,
         "braces balance", 60, 72, 1},
        {"a printable name at +41", Area(120).put(41, "Demo Name" + zeros(23)).settings,
         "AAX chunk data", 73, 120 - 40, 1},
        {"a length word 4 bytes back reaching the end", Area(150).put(60, u32le(119)).settings,
         "length closes", 64, 119, 1},
        {"a length word 24 bytes back scores 1 only", Area(150).put(40, u32le(119)).settings,
         nullptr, 0, 0, 1},
        {"a tag after its length word", Area(150).put(92, u32le(91)).put(100, "RIFF").settings,
         "RIFF", 100, 83, 1},
        {"a tag alone spans to the end", Area(150).put(100, "RIFF").settings, "RIFF", 100, 83, 1},
        {"a zlib header alone", Area(150).put(100, "x\x9c").settings, "zlib", 100, 83, 1},
        {"a tag whose bytes follow again",
         Area(170)
             .put(60, u32le(40))
             .put(64, "FabF" + binary(36))
             .put(104, "FabF" + binary(36))
             .settings,
         "FabF", 64, 40, 2},
        {"nothing recognisable", Area(150).settings, nullptr, 0, 0, 1},
    };
    for (const Case& c : cases) {
        const SessionPluginInstance r = read_settings(c.settings);
        if (c.label == nullptr) {
            EXPECT_EQ(r.payload_kind, 0u) << c.what;
            EXPECT_EQ(r.container_label, nullptr) << c.what;
            continue;
        }
        EXPECT_EQ(r.payload_kind, 13u) << c.what;
        ASSERT_NE(r.container_label, nullptr) << c.what;
        EXPECT_STREQ(r.container_label, c.label) << c.what;
        EXPECT_EQ(r.payload_offset, kBlock + c.offset) << c.what;
        EXPECT_EQ(r.payload_length, c.length) << c.what;
        EXPECT_EQ(r.container_match, c.match) << c.what;
    }
}

TEST(ChunkClassifier, OneBinarySectionAfterElck) {
    // No parameter fields in the first section: the classifier takes the binary section.
    const PluginBlock p = elck_plugin(zeros(12), elck_section("AcmeDemo", "AXCK", binary(40)));
    const SessionPluginInstance r = read_one(plugin_block(p));
    EXPECT_EQ(r.payload_kind, 13u);
    ASSERT_NE(r.container_label, nullptr);
    EXPECT_STREQ(r.container_label, "AAX chunk after elck");
    EXPECT_EQ(r.payload_offset, kArea + 40 + 12 + 56);
    EXPECT_EQ(r.payload_length, 40u);
}

// --- Identity, state, lanes ---------------------------------------------------------------

TEST(PluginInstances, IdentityOwnerStateAndOrder) {
    PluginBlock first;
    first.id = std::string("Acme\x01mo\x7f", 8);
    first.settings = "Compressor" + zeros(2) + "VC2!" + u32le(0) + filler(4);
    first.header_byte = 2;
    PluginBlock second;
    second.settings = "EQ" + zeros(1);
    // The track block holds the first slot, then its state blocks; the second slot sits in a
    // 0x2621 block only, inactive (a zero byte after it).
    const std::string state = z_block(0x2614, u32le(77) + zeros(2));
    const std::string track = z_block(0x261B, zeros(3) + plugin_block(first) + byte(7) + byte(1) +
                                                  state + z_block(0x260E, le(3, 2)));
    const std::string other =
        z_block(0x2621, zeros(3) + plugin_block(second) + byte(0) + zeros(3) +
                            z_block(0x2614, u32le(5) + zeros(2)) + z_block(0x260E, le(65535, 2)));
    const std::string session = zeros(16) + track + other + zeros(4);
    const std::vector<SessionPluginInstance> all = read_all(session);
    ASSERT_EQ(all.size(), 2u);

    const SessionPluginInstance& a = all[0];
    EXPECT_EQ(a.aax_id, "Acme.mo.");
    EXPECT_EQ(a.stored_name, "Compressor");
    EXPECT_EQ(a.header_byte, 2u);
    EXPECT_EQ(a.block_pos, kBlock + 12);
    EXPECT_EQ(a.settings_end, a.block_pos + 33 + first.settings.size());
    EXPECT_EQ(a.owner_start, kBlock);
    EXPECT_EQ(a.owner_end, kBlock + track.size());
    EXPECT_EQ(a.payload_kind, 2u);
    EXPECT_EQ(a.stream_word, 77u);
    EXPECT_EQ(a.bypassed, 1u);
    EXPECT_EQ(a.inactive, 0u);
    EXPECT_EQ(a.channel_word, 3);

    const SessionPluginInstance& b = all[1];
    EXPECT_EQ(b.stored_name, "EQ");
    EXPECT_EQ(b.owner_start, kBlock + track.size());
    EXPECT_EQ(b.owner_end, kBlock + track.size() + other.size());
    EXPECT_EQ(b.stream_word, 5u);
    EXPECT_EQ(b.bypassed, 0u);
    EXPECT_EQ(b.inactive, 1u);
    EXPECT_EQ(b.channel_word, -1);
}

TEST(PluginInstances, SettingsEndNeedsZerosAfterIt) {
    PluginBlock p;
    p.settings = "Name" + zeros(1);
    p.tail = 6;
    std::string block = plugin_block(p);
    EXPECT_EQ(read_one(block).settings_end, kBlock + 33 + 5);
    block[block.size() - 2] = 'x';  // a non-zero byte after the stored end
    EXPECT_EQ(read_one(block).settings_end, kBlock + block.size());
}

TEST(PluginInstances, LanesGoToThePrecedingSlot) {
    PluginBlock p;
    p.settings = "Slot" + zeros(1);
    Lane gain;
    gain.initial = 0;
    gain.points = {{100, 1073741824}, {200, -1073741824}};
    gain.tick_flag = test_blocks::kOrigin;
    Lane mix;
    mix.name = "Mix";
    mix.second_name.clear();  // an empty second name keeps the lane
    mix.initial = -1073741824;
    Lane broken;
    broken.name.clear();  // a name of length 0 is not a lane
    const std::string session = zeros(16) + lane_block(gain) + plugin_block(p) + lane_block(gain) +
                                lane_block(broken) + plugin_block(p) + lane_block(mix) + zeros(4);
    const std::vector<SessionPluginInstance> all = read_all(session);
    ASSERT_EQ(all.size(), 2u);
    ASSERT_EQ(all[0].lanes.size(), 1u);
    const AutomationLane& a = all[0].lanes[0];
    EXPECT_EQ(a.name, "Gain");
    EXPECT_EQ(a.second_name, "dB");
    EXPECT_EQ(a.lane_word, 7u);
    EXPECT_EQ(a.in_ticks, 1u);
    EXPECT_DOUBLE_EQ(a.initial_value, 0.5);
    ASSERT_EQ(a.points.size(), 2u);
    EXPECT_DOUBLE_EQ(a.points[0].time, 100.0);
    EXPECT_DOUBLE_EQ(a.points[0].value, 1.0);
    EXPECT_DOUBLE_EQ(a.points[1].time, 200.0);
    EXPECT_DOUBLE_EQ(a.points[1].value, 0.0);
    ASSERT_EQ(all[1].lanes.size(), 1u);
    EXPECT_EQ(all[1].lanes[0].name, "Mix");
    EXPECT_EQ(all[1].lanes[0].second_name, "");
    EXPECT_EQ(all[1].lanes[0].in_ticks, 0u);
    EXPECT_DOUBLE_EQ(all[1].lanes[0].initial_value, 0.0);
}

// Every prefix of a session holding every kind of block reads quietly (the sanitizers watch).
TEST(PluginInstances, EveryTruncationReadsQuietly) {
    Lane lane;
    lane.points = {{1, 2}, {3, 4}};
    std::string session = zeros(16);
    session +=
        z_block(0x261B, zeros(3) +
                            plugin_block(elck_plugin(
                                named_values(), elck_section("AcmeDemo", "AXCK", binary(40)))) +
                            byte(1) + z_block(0x2614, zeros(6)) + lane_block(lane));
    for (const std::string& settings :
         {waves_settings("SCMS", "SETUP_C"), std::string("{\n\tindex = {\"\\\"}\"}") + filler(4),
          Area(300).put(33, text_of(300)).put(41, "\t").settings,
          Area(150).put(92, u32le(91)).put(100, "RIFF").settings}) {
        PluginBlock p;
        p.settings = settings;
        session += plugin_block(p);
    }
    for (std::size_t n = 0; n <= session.size(); ++n) {
        const std::string prefix = session.substr(0, n);
        std::vector<SessionPluginInstance> out;
        read_aax_settings_chunk(n == 0 ? nullptr : u8(prefix), n, out);
        for (const SessionPluginInstance& r : out) {
            EXPECT_LE(r.payload_offset + r.payload_length, r.settings_end);
            EXPECT_LE(r.settings_end, n);
        }
    }
}

// --- Real sessions ------------------------------------------------------------------------

TEST(PluginInstances, RealSessionsHoldNoneAndOneDisplayName) {
    const std::map<std::string, std::string> polyphonic = {{"DigiFelP", "Polyphonic"}};
    struct Case {
        const char* name;
        bool has_name;
    } cases[] = {{"RegionTest.ptx", true},
                 {"MetadataFields.ptx", true},
                 {"Untitled32.ptx", true},
                 {"TestPTX.ptx", false}};
    for (const Case& c : cases) {
        REQUIRE_SESSION(path, c.name);
        PTFFormat session;
        ASSERT_EQ(session.load(path, 48000), 0) << c.name;
        ConvertOptions options;
        options.input_path = path;
        reset_conversion_state(options);
        settings.session_sample_rate = session.sample_rate();
        SessionReading reading;
        read_session(session, options, reading);
        EXPECT_TRUE(reading.plugin_instances.empty()) << c.name;
        const std::map<std::string, std::string> none;
        EXPECT_EQ(reading.stored_plugin_names, c.has_name ? polyphonic : none) << c.name;
    }
}

}  // namespace
