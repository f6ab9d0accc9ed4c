#include "plugins/corpus_dump.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "convert/run_state.h"
#include "platform/paths.h"
#include "plugins/state_conversion.h"
#include "tests/plugin_blocks.h"
#include "tests/test_support.h"

namespace {

using namespace test_plugins;
using test_support::read_file;
using test_support::TempDir;

const char kHeader[] =
    "name\tsig\tproduct\tident\tkind\tblocklen\tdocoff\tdoclen\tchunklen\tsession\n";

std::string hex16(std::uint64_t hash) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

int files_in(const std::filesystem::path& folder) {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++n;
    }
    return n;
}

class CorpusDump : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_plugin_state_counts();
        process_settings.dump_corpus_dir = dir.path().string();
        // A plug-in block at 10 whose settings end at 60, its payload at 40.
        session = std::string(10, '-') + "Z" + std::string(49, 'b') + std::string(20, '+');
        instance.aax_id = "AcmeDemo";
        instance.block_pos = 10;
        instance.settings_end = 60;
        instance.payload_kind = 13;
        instance.payload_offset = 40;
        instance.payload_length = 20;
    }
    void TearDown() override {
        process_settings.dump_corpus_dir.clear();
        reset_plugin_state_counts();
    }
    SessionBytes bytes() const {
        return {reinterpret_cast<const std::uint8_t*>(session.data()), session.size()};
    }
    void dump(const std::string& state, const PluginRuleRow* row = nullptr) {
        dump_corpus_entry(instance, row, bytes(), state, "Song.ptx");
    }

    TempDir dir;
    std::string session;
    SessionPluginInstance instance;
};

TEST(CorpusNames, HashAndFileName) {
    EXPECT_EQ(corpus_hash("", ""), 0xcbf29ce484222325ull);
    EXPECT_EQ(corpus_hash("a", ""), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(corpus_hash("", "a"), 0xaf63dc4c8601ec8cull);  // one stream: block, then state
    const std::string d = std::string("d") + path_separator;
    EXPECT_EQ(corpus_file_name("d", "AcmeDemo", "", "", "block"),
              d + "AcmeDemo.cbf29ce484222325.block");
    // Ids are session bytes: nothing in them names another folder or a forbidden name.
    EXPECT_EQ(corpus_file_name("d", "../../ab", "a", "", "chunk"),
              d + "______ab.af63dc4c8601ec8c.chunk");
    EXPECT_EQ(corpus_file_name("d", "A:*?\"<>|", "", "", "x"), d + "A_______.cbf29ce484222325.x");
    EXPECT_EQ(corpus_file_name("d", "Ab$_-9\\.", "", "", "x"), d + "Ab$_-9__.cbf29ce484222325.x");
    EXPECT_EQ(corpus_file_name(std::string(1200, 'f'), "AcmeDemo", "", "", "block"), "");
}

TEST_F(CorpusDump, OnePairAndItsIndexRow) {
    PluginRuleRow row;
    row.display_name = "Demo";
    row.id_text = "1234{ABCD}";
    dump("STATE", &row);

    const std::string block = session.substr(10, 50);
    const std::string stem = "AcmeDemo." + hex16(corpus_hash(block, "STATE"));
    EXPECT_EQ(read_file(dir.file(stem + ".block")), block);
    EXPECT_EQ(read_file(dir.file(stem + ".chunk")), "STATE");
    EXPECT_EQ(read_file(dir.file("index.tsv")),
              std::string(kHeader) + stem +
                  ".\tAcmeDemo\tDemo\t1234{ABCD}\t13\t50\t30\t20\t5\t"
                  "Song.ptx\n");
    // The file name's hash recomputes from the two files.
    EXPECT_EQ(hex16(corpus_hash(read_file(dir.file(stem + ".block")),
                                read_file(dir.file(stem + ".chunk")))),
              stem.substr(9));

    // A second conversion of the same slot adds nothing; another state gives a second pair.
    reset_plugin_state_counts();
    dump("STATE", &row);
    EXPECT_EQ(files_in(dir.path()), 3);
    dump("OTHER");
    EXPECT_EQ(files_in(dir.path()), 5);
    const std::string index = read_file(dir.file("index.tsv"));
    EXPECT_EQ(index.find(kHeader, 1), std::string::npos);
    EXPECT_NE(index.find(".\tAcmeDemo\t\t\t13\t50\t30\t20\t5\tSong.ptx\n"), std::string::npos);
}

TEST_F(CorpusDump, PassedOver) {
    dump("");  // no state
    instance.payload_kind = 0;
    instance.payload_length = 0;
    dump("STATE");  // no payload
    instance.payload_kind = 13;
    instance.payload_length = 20;
    instance.settings_end = session.size() + 1;  // a block past the session
    dump("STATE");
    instance.settings_end = 60;
    process_settings.dump_corpus_dir.clear();
    dump("STATE");
    EXPECT_EQ(files_in(dir.path()), 0);
}

TEST_F(CorpusDump, AMissingFolderIsNamedOnce) {
    const std::string missing = dir.file("absent");
    process_settings.dump_corpus_dir = missing;
    testing::internal::CaptureStderr();
    dump("STATE");
    instance.block_pos = 12;
    dump("STATE");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "--dump-corpus: cannot write in " + missing + " (does the directory exist?)\n");
    EXPECT_EQ(files_in(dir.path()), 0);
}

TEST_F(CorpusDump, AnIdOfPathSignsStaysInside) {
    instance.aax_id = "../../ab";
    dump("STATE");
    EXPECT_EQ(files_in(dir.path()), 3);
    const std::string index = read_file(dir.file("index.tsv"));
    EXPECT_NE(index.find("\n______ab."), std::string::npos);
    EXPECT_NE(index.find(".\t../../ab\t"), std::string::npos);
}

// A block whose index row cannot be written is not kept: a later run tries the pair again.
TEST_F(CorpusDump, NoPairWithoutItsRow) {
    std::filesystem::create_directory(dir.path() / "index.tsv");  // cannot be opened to append
    dump("STATE");
    EXPECT_EQ(files_in(dir.path()), 1);
}

}  // namespace
