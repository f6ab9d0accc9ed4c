#include "session/plugin_params.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "tests/plugin_blocks.h"
#include "tests/test_support.h"

namespace {

using namespace test_plugins;

std::string text(const std::string& s) {
    return u32le(static_cast<std::uint32_t>(s.size())) + s;
}

std::string id(char c) {
    return std::string(16, c);
}

std::string value_block(char value_id, const std::string& name) {
    return z_block(0x480A, id(value_id) + text(name));
}

std::string entry_block(char entry_id, const std::string& name, const std::string& values) {
    return z_block(0x480B, id(entry_id) + text(name) + values);
}

std::string container(const std::string& name, const std::string& group, const std::string& entries,
                      const std::string& document) {
    std::string content = text(name) + z_block(0x4807, zeros(12) + text(group)) + entries;
    if (!document.empty()) content += zeros(3) + text(document);
    return z_block(0x480C, content + zeros(4));
}

std::string clip_tie(const std::string& clip, const std::string& after) {
    return z_block(0x2629, z_block(0x2628, text(clip)) + after);
}

TEST(MelodyneRecords, RecordsPerValueDocumentTextsAndClipTies) {
    const std::string doc_a = container(
        "Doc A", "com.celemony.ara.chunk.13",
        entry_block('e', "Source 1", value_block('1', "a1.mdd") + value_block('2', "a2.mdd")) +
            entry_block('f', "Source 2", value_block('3', "b1.mdd") + value_block('4', "b2.mdd")),
        "ds_document.mdd");
    const std::string doc_b =
        container("Doc B", "group B", entry_block('g', "Source 3", value_block('5', "c.mdd")), "");
    const std::string session =
        zeros(8) + doc_a + doc_b +
        clip_tie("Vocal", zeros(2) + id('4') + zeros(3) + id('2')) +  // the first record wins
        z_block(0x2629, z_block(0x2628, text("Short")) + id('1')).substr(0, 20) + zeros(20) +
        clip_tie("Vocal", zeros(8) + id('5')) +  // a name keeps its first tie
        clip_tie("Bass", id('5') + zeros(8)) + clip_tie("None", zeros(40)) + zeros(8);

    std::vector<PluginParamRecord> records;
    std::map<std::string, std::size_t> ties;
    read_plugin_params(reinterpret_cast<const std::uint8_t*>(session.data()), session.size(),
                       records, ties);
    ASSERT_EQ(records.size(), 5u);
    const std::vector<std::string> values = {"a1.mdd", "a2.mdd", "b1.mdd", "b2.mdd", "c.mdd"};
    for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].value_name, values[i]);
    EXPECT_EQ(records[0].group_text, "com.celemony.ara.chunk.13");
    EXPECT_EQ(records[0].container_name, "Doc A");
    EXPECT_EQ(records[2].entry_name, "Source 2");
    EXPECT_EQ(records[2].entry_id[0], 'f');
    EXPECT_EQ(records[3].value_id[15], '4');
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(records[i].document_text, "ds_document.mdd");
    EXPECT_EQ(records[4].document_text, "");
    EXPECT_EQ(records[4].group_text, "group B");
    const std::map<std::string, std::size_t> expected = {{"Vocal", 1}, {"Bass", 4}};
    EXPECT_EQ(ties, expected);
}

TEST(MelodyneRecords, DamagedBlocksReadQuietly) {
    const std::string whole =
        zeros(8) + container("Doc", "g", entry_block('e', "S", value_block('1', "v.mdd")), "ds_x") +
        clip_tie("Clip", id('1')) + zeros(4);
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        const std::string prefix = whole.substr(0, n);
        std::vector<PluginParamRecord> records;
        std::map<std::string, std::size_t> ties;
        read_plugin_params(reinterpret_cast<const std::uint8_t*>(prefix.data()), n, records, ties);
        EXPECT_LE(records.size(), 1u);
    }
}

TEST(MelodyneRecords, RealSessionsHoldNone) {
    for (const char* name :
         {"RegionTest.ptx", "TestPTX.ptx", "MetadataFields.ptx", "Untitled32.ptx"}) {
        REQUIRE_SESSION(path, name);
        PTFFormat session;
        ASSERT_EQ(session.load(path, 48000), 0) << name;
        std::vector<PluginParamRecord> records;
        std::map<std::string, std::size_t> ties;
        read_plugin_params(session.bytes().data(), session.bytes().size(), records, ties);
        EXPECT_TRUE(records.empty()) << name;
        EXPECT_TRUE(ties.empty()) << name;
    }
}

}  // namespace
