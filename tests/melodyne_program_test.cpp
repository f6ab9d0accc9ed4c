// The program on whole synthetic sessions that carry Melodyne records: the clips' records in the
// session bytes, the archives in "ARA Data" beside it, and what reaches the project and the
// console.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "melodyne/archive_format.h"
#include "melodyne/archive_queries.h"
#include "melodyne/gnbk_container.h"
#include "melodyne/zlib_encode.h"
#include "melodyne_builder.h"
#include "mix_session.h"
#include "platform/ptformat.h"
#include "reaper_block_forms.h"
#include "rpp_grammar.h"
#include "test_support.h"
#include "util/codecs.h"
#include "util/guid.h"

namespace {

namespace fs = std::filesystem;
using test_blocks::u32le;
using test_blocks::z_block;
using test_blocks::zeros;

std::string text(const std::string& s) {
    return u32le(static_cast<std::uint32_t>(s.size())) + s;
}

std::string id(char c) {
    return std::string(16, c);
}

// One Melodyne record folder: a container (0x480C) named `record`, its group text, one entry per
// source archive holding one value per modification archive, and the document's file name.
struct Source {
    char entry_id;
    std::string file;
    char value_id;
    std::string modification;
};
std::string melodyne_records(const std::string& record, const std::string& document,
                             const std::vector<Source>& sources) {
    std::string entries;
    for (const Source& s : sources)
        entries += z_block(0x480B, id(s.entry_id) + text(s.file) +
                                       z_block(0x480A, id(s.value_id) + text(s.modification)));
    return z_block(0x480C, text(record) +
                               z_block(0x4807, zeros(12) + text("com.celemony.ara.chunk.13")) +
                               entries + zeros(3) + text(document) + zeros(4));
}

// A clip tied to the record whose value id follows its name.
std::string clip_tie(const std::string& clip, char value_id) {
    return z_block(0x2629, z_block(0x2628, text(clip)) + zeros(26) + id(value_id));
}

std::string archive_file(const std::string& archive) {
    return pack_gnbk_blob(
        zlib_compress_fixed(reinterpret_cast<const std::uint8_t*>(archive.data()), archive.size()));
}

// "Mix/Mix.ptx" of two tracks, one 2 s clip each ("Take 0" on "Take 0.wav", "Take 1" on
// "Take 1.wav"), with `extra` blocks in its bytes.
struct MelodyneSession {
    test_support::TempDir dir;
    fs::path song = dir.path() / "Mix";
    std::string session = (song / "Mix.ptx").string();
    std::string project = (song / "Mix.rpp").string();

    fs::path record_folder(const std::string& record) const {
        const fs::path folder = song / "ARA Data" / record;
        fs::create_directories(folder);
        return folder;
    }
    void put(const fs::path& file, const std::string& bytes) const {
        fs::create_directories(file.parent_path());
        test_support::write_file(file.string(), bytes);
    }
    void write(const std::string& extra) const {
        fs::create_directories(song / "Audio Files");
        mix_session::MixShape shape;
        shape.tracks = 2;
        shape.clips_per_track = 1;
        shape.files = 2;
        shape.automation_points = 0;
        shape.tempo_entries = 1;
        shape.locations = 0;
        std::string plain = mix_session::plain_session(shape);
        plain.insert(plain.rfind("Z"), extra);  // before the closing room block
        std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
        ptf_xor_crypt(bytes);
        test_support::write_file(session, std::string(bytes.begin(), bytes.end()));
    }
    test_support::RunResult run(std::vector<std::string> more = {}) const {
        std::vector<std::string> args = {session, "-o", project, "--no-pause"};
        args.insert(args.end(), more.begin(), more.end());
        return test_support::run_lanwick(args);
    }
};

// The item block of a clip, from <ITEM to its close.
std::string item_of(const std::string& project, const std::string& clip) {
    const std::size_t at = project.find("NAME \"" + clip + "\"");
    if (at == std::string::npos) return {};
    const std::size_t item = project.rfind("<ITEM", at);
    return project.substr(item, project.find("\n    >\n", at) - item);
}

}  // namespace

TEST(MelodyneProgram, RecordsInTheSessionGiveTakesAndTheProjectsAraBlocks) {
    using namespace melodyne_test;
    MelodyneSession s;
    const fs::path rec = s.record_folder("Rec");
    s.put(rec / "ds_doc.dat", archive_file(document_archive("pid-source-A").bytes()));
    s.put(rec / "srcA.dat", archive_file(source_archive("pid-source-A", 10).bytes()));
    s.put(rec / "modA.dat", archive_file(modification_archive("pid-A1", 1, 0, 100).bytes()));
    s.put(rec / "srcB.dat", archive_file(source_archive("pid-source-B", 20).bytes()));
    s.put(rec / "modB.dat", archive_file(modification_archive("pid-B1", 0, 1, 200).bytes()));
    s.write(
        melodyne_records("Rec", "ds_doc.dat",
                         {{'e', "srcA.dat", '1', "modA.dat"}, {'f', "srcB.dat", '2', "modB.dat"}}) +
        clip_tie("Take 0", '1') + clip_tie("Take 1", '2'));

    const auto r = s.run();
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string project = test_support::read_file(s.project);
    const rpp_grammar::Result grammar = rpp_grammar::check_project(project);
    EXPECT_TRUE(grammar.ok) << "line " << grammar.line << ": " << grammar.message;
    for (const std::string clip : {"Take 0", "Take 1"}) {
        SCOPED_TRACE(clip);
        const std::string item = item_of(project, clip);
        EXPECT_NE(item.find("ARAMOD {00000000-0000-0000-0000-000000000002}\n"), std::string::npos)
            << item;
        EXPECT_NE(item.find("<VST \"VST3: Melodyne (Celemony)\" Melodyne.vst3"), std::string::npos);
    }
    // The take's VST3 block ends its header with REAPER's VST3 tail word and its trailer with the
    // word that goes with it.
    const std::vector<reaper_block_forms::VstBlock> vst = reaper_block_forms::vst_blocks(project);
    ASSERT_EQ(vst.size(), 2u);
    for (const reaper_block_forms::VstBlock& b : vst) {
        EXPECT_TRUE(b.vst3);
        EXPECT_EQ(b.tail, 0x0010FFFFu);
        EXPECT_EQ(b.trailer_word, 16u);
    }
    if (reaper_block_forms::reaper_forms().found) {
        EXPECT_EQ(reaper_block_forms::unlike_reaper(project), std::vector<std::string>());
    }
    EXPECT_NE(item_of(project, "Take 0").find("FXID " + guid_from_seed(0x41530000) + "\n"),
              std::string::npos);
    EXPECT_NE(item_of(project, "Take 1").find("FXID " + guid_from_seed(0x41530001) + "\n"),
              std::string::npos);
    // One source line per source; the BIN reads back as a document listing both sources and
    // both modifications.
    const std::size_t ara = project.find("\n  <ARA");
    ASSERT_NE(ara, std::string::npos) << project;
    const std::string blocks = project.substr(ara);
    EXPECT_NE(
        blocks.find(
            "    lanwick-source-1 \"Take 0.wav\"\n    lanwick-source-2 \"Take 1.wav\"\n  >\n"),
        std::string::npos)
        << blocks;
    std::string base64;
    for (std::size_t at = 0; at < blocks.find("<ARASRC"); at = blocks.find('\n', at) + 1)
        if (blocks.compare(at, 6, "      ") == 0)
            base64 += blocks.substr(at + 6, blocks.find('\n', at) - at - 6);
    std::string bytes;
    ASSERT_TRUE(unpack_gnbk_blob(base64_decode(base64), bytes));
    MelodyneArchive merged;
    ASSERT_TRUE(parse_melodyne_archive(merged, bytes));
    EXPECT_EQ(
        archive_list_elements(merged, archive_read_ref_field(merged, 0, "audioSources")).size(),
        2u);
    EXPECT_EQ(archive_list_elements(merged, archive_read_ref_field(merged, 0, "audioModifications"))
                  .size(),
              2u);
    EXPECT_TRUE(project.ends_with("  ARA_POOLED_EDITS\n>\n"));
    EXPECT_NE(r.out.find("  2 clip(s) carry their Melodyne (ARA) edits into REAPER"),
              std::string::npos)
        << r.out;

    // --no-ara opens nothing and writes no ARA block.
    const auto plain = s.run({"--no-ara", "--overwrite"});
    ASSERT_EQ(plain.exit_code, 0) << plain.out;
    const std::string without = test_support::read_file(s.project);
    EXPECT_EQ(without.find("<ARA"), std::string::npos);
    EXPECT_EQ(without.find("ARAMOD"), std::string::npos);
}

// Names from the session are never paths: a record or file name that is not one plain component,
// or a link that leads out of "ARA Data", opens nothing, even where an archive waits at the place
// it points to, and is named.
TEST(MelodyneProgram, NamesThatAreNotPlainFilesOpenNothing) {
    using namespace melodyne_test;
    MelodyneSession s;
    const std::string source = archive_file(source_archive("pid-source-A", 10).bytes());
    const fs::path rec = s.record_folder("Rec");
    s.put(rec / "ds_doc.dat", archive_file(document_archive("pid-source-A").bytes()));
    s.put(rec / "modA.dat", archive_file(modification_archive("pid-A1", 1, 0, 100).bytes()));
    s.put(s.song / "ARA Data" / "x", source);
    s.put(rec / "a" / "b", source);
    s.put(rec / "a\\b", source);
    s.put(rec / "C:x", source);
    s.put(s.dir.path() / "outside.dat", source);
    fs::create_symlink(s.dir.path() / "outside.dat", rec / "link.dat");
    // A record whose own name climbs out of "ARA Data", to a folder holding a whole set.
    for (const char* file : {"ds_doc.dat", "srcA.dat", "modA.dat"})
        s.put(s.song / "Out" / file, test_support::read_file((rec / "ds_doc.dat").string()));
    s.put(s.song / "Out" / "srcA.dat", source);

    const std::vector<std::string> names = {"../x", "..", "a/b", "a\\b", "/abs", "C:x", "link.dat"};
    std::vector<Source> sources;
    for (std::size_t i = 0; i < names.size(); ++i)
        sources.push_back(
            {static_cast<char>('a' + i), names[i], static_cast<char>('A' + i), "modA.dat"});
    s.write(melodyne_records("Rec", "ds_doc.dat", sources) +
            melodyne_records("../Out", "ds_doc.dat", {{'z', "srcA.dat", 'Z', "modA.dat"}}) +
            clip_tie("Take 0", 'G') + clip_tie("Take 1", 'Z'));

    const auto r = s.run();
    ASSERT_EQ(r.exit_code, 0) << r.out;
    // Each is named once, under the paragraph of the clips that arrive without their edits.
    const std::size_t paragraph =
        r.out.find("  2 clip(s) have Melodyne (ARA) attached. What was edited there is NOT\n");
    ASSERT_NE(paragraph, std::string::npos) << r.out;
    const auto named_once = [&](const std::string& note) {
        const std::size_t at = r.out.find("      " + note + "\n");
        EXPECT_GT(at, paragraph) << note << "\n" << r.out;
        EXPECT_EQ(r.out.find(note, at + 6 + note.size()), std::string::npos) << note << "\n"
                                                                             << r.out;
    };
    for (const std::string& name : names)
        named_once(name + ": not found beside the session (ARA Data/Rec)");
    named_once("ds_doc.dat: not found beside the session (ARA Data/../Out)");
    // Two of the eight edit sets are on a clip; the rest are counted, not listed.
    EXPECT_NE(r.out.find("      (6 edit set(s) the session declares were not found on a clip.)\n",
                         paragraph),
              std::string::npos)
        << r.out;
    const std::string project = test_support::read_file(s.project);
    EXPECT_EQ(project.find("ARAMOD"), std::string::npos);
    EXPECT_EQ(project.find("<ARA"), std::string::npos);
}
