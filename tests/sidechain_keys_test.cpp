// Sidechain keys: each keyed plug-in's key source among its track's key sources, the buses keys
// come from, and two records of one multi-mono plug-in.
#include "convert/tracks/sidechain_keys.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "convert/tracks/track_wiring_state.h"
#include "tests/writer_test_support.h"

namespace {

using SidechainKeys = writer_test::WriterTest;

SessionPluginInstance keyed(std::uint64_t position, std::int32_t key,
                            const std::string& aax = "AAXcomp") {
    SessionPluginInstance i;
    i.aax_id = aax;
    i.block_pos = position;
    i.channel_word = key;
    return i;
}

std::vector<OutputTrack> tracks_named(const std::vector<std::string>& names) {
    std::vector<OutputTrack> out;
    for (const std::string& n : names) {
        OutputTrack t;
        t.name = n;
        t.session_name = n;
        out.push_back(t);
    }
    return out;
}

struct Keys {
    NameIndex index;
    std::map<std::uint16_t, std::string> names;
    std::vector<OutputTrack> tracks = tracks_named({"Comp", "Kick", "Snare", "Gtr"});
    PluginsByTrack plugins;
    TrackWiring wiring;

    Keys() {
        index.ids_by_key = {{"Kick", {10}}, {"Snare", {11}}, {"Bus 1", {12}}, {"FX", {20}}};
        index.name_by_id = {{10, "Kick"}, {11, "Snare"}, {12, "Gtr"}};
        names = {{1, "Kick"}, {2, "Snare"}, {3, "Bus 1.L"}, {4, "Nowhere"}, {5, "FX"}};
    }
    void run(bool resolve = true) {
        SidechainKeyInput in;
        in.plugins = &plugins;
        in.index = &index;
        in.key_names = &names;
        in.tracks = tracks;
        in.resolve_keys = resolve;
        wire_sidechain_keys(in, wiring);
    }
};

TEST_F(SidechainKeys, OneSourceKeysManyPlugInsAndAnotherBecomesAFurtherKey) {
    Keys k;
    // Two plug-ins keyed from Kick, a third from Snare, a fourth from a name nothing knows.
    k.plugins["Comp"] = {keyed(100, 1), keyed(200, 1), keyed(300, 2), keyed(400, 4),
                         keyed(500, -1)};
    k.run();
    EXPECT_EQ(k.wiring.first_key_source.at("Comp"), 1);
    EXPECT_EQ(k.wiring.more_key_sources.at("Comp"), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(track_wiring.key_source_index_by_instance,
              (std::map<std::uint64_t, std::int32_t>{{100, 0}, {200, 0}, {300, 1}}));
    EXPECT_EQ(track_wiring.keyed_standin_instances, (std::set<std::uint64_t>{100, 200, 300}));
    EXPECT_EQ(key_source_index(300), 1);
    EXPECT_EQ(key_source_index(500), 0);
    EXPECT_EQ(track_wiring.counts.first_keys, 1);
    EXPECT_EQ(track_wiring.counts.further_keys, 1);
    // The unknown key comes after the first keyed plug-in: keyed elsewhere, not unresolved.
    EXPECT_EQ(track_wiring.counts.unresolved_keys, 0);
    EXPECT_EQ(track_wiring.counts.keyed_elsewhere, 1);
    EXPECT_TRUE(k.wiring.unresolved_keys.count(400));
}

TEST_F(SidechainKeys, NoSidechainRecordsNoKey) {
    Keys k;
    k.plugins["Comp"] = {keyed(100, 1), keyed(300, 2)};
    k.run(false);
    EXPECT_TRUE(k.wiring.first_key_source.empty());
    EXPECT_TRUE(track_wiring.key_source_index_by_instance.empty());
    EXPECT_TRUE(track_wiring.keyed_standin_instances.empty());
}

TEST_F(SidechainKeys, LegsAndBusesResolve) {
    Keys k;
    // "Bus 1.L" names nothing; "Bus 1" names the track Gtr. "FX" is a send-return bus.
    k.plugins["Comp"] = {keyed(100, 3), keyed(200, 5)};
    k.wiring.bus_track_numbers = {{"FX", 5}};
    k.run();
    EXPECT_EQ(k.wiring.first_key_source.at("Comp"), 3);
    EXPECT_EQ(k.wiring.more_key_sources.at("Comp"), (std::vector<std::int32_t>{5}));
    EXPECT_EQ(k.wiring.key_source_buses, (std::set<std::string>{"FX"}));
}

TEST_F(SidechainKeys, BusTracksFollowTheVideoTracks) {
    std::map<std::string, std::vector<SessionSend>> receives = {
        {"Kick", {}}, {"FX", {}}, {"Verb", {}}};
    const auto numbers = send_return_bus_numbers(receives, tracks_named({"Kick", "Snare"}), 1);
    EXPECT_EQ(numbers, (std::map<std::string, std::int32_t>{{"FX", 3}, {"Verb", 4}}));
}

TEST_F(SidechainKeys, TwoRecordsOfOneMultiMonoPlugInPrintTheNoteOnce) {
    const std::vector<ChannelEntry> entries = {
        {0, 0, 2, "Gtr.L", {5}}, {0, 0, 2, "Gtr.R", {6}}, {0, 0, 2, "Gtr", {5, 6}}};
    const std::map<std::uint16_t, std::string> names = {{7, "Gtr.L"}, {8, "Gtr.R"}};
    PluginsByTrack plugins;
    plugins["Gtr"] = {keyed(100, 7, "AAXdyn"), keyed(200, 8, "AAXdyn"), keyed(300, 8, "AAXeq")};
    EXPECT_EQ(find_multi_mono_pairs(plugins, entries, names), (std::set<std::uint64_t>{200}));
    EXPECT_EQ(console_,
              "  NOTE: 'Gtr' carries what looks like ONE unlinked MULTI-MONO\n"
              "    AAXdyn: two records, keyed off 'Gtr.L' and 'Gtr.R'. It is written\n"
              "    as two stereo plug-ins IN SERIES, which compresses twice --\n"
              "    Pro Tools runs one per channel in parallel. Known gap.\n");

    // The second record counts as an unresolved key.
    Keys k;
    k.names = names;
    k.plugins = plugins;
    k.wiring.multi_mono_pairs = {200};
    k.run();
    EXPECT_TRUE(k.wiring.unresolved_keys.count(200));
    EXPECT_FALSE(track_wiring.key_source_index_by_instance.count(200));
}

TEST_F(SidechainKeys, KeysPastOneHundredTwentyEightChannelsAreLeftOut) {
    Keys k;
    for (std::uint16_t key = 0; key < 70; ++key) {
        k.names[static_cast<std::uint16_t>(100 + key)] = "Kick";  // every key its own name
        k.names[static_cast<std::uint16_t>(100 + key)] += std::to_string(key);
        k.index.ids_by_key[k.names[static_cast<std::uint16_t>(100 + key)]] = {10};
        k.plugins["Comp"].push_back(keyed(1000u + key, 100 + key));
    }
    k.run();
    const std::size_t further = k.wiring.more_key_sources.at("Comp").size();
    EXPECT_LE(2 * static_cast<int>(further) + 4, kMaxTrackChannels);
    EXPECT_EQ(track_wiring.counts.too_wide, 69 - static_cast<int>(further));
}

}  // namespace
