// From the archive files in "ARA Data" to the project's ARA blocks: the loader and its name
// checks, the merge input, and the block text.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "convert/clips/clip_extras.h"
#include "convert/summary/special_track_rows.h"
#include "convert/writer/ara_transfer.h"
#include "convert/writer/item_writer.h"
#include "melodyne/ara_blocks.h"
#include "melodyne/archive_format.h"
#include "melodyne/archive_loader.h"
#include "melodyne/archive_merge.h"
#include "melodyne/archive_queries.h"
#include "melodyne/gnbk_container.h"
#include "melodyne/merge_input.h"
#include "melodyne/zlib_encode.h"
#include "melodyne_builder.h"
#include "rpp_grammar.h"
#include "test_support.h"
#include "util/codecs.h"
#include "util/guid.h"
#include "writer_test_support.h"

#ifdef LANWICK_HAVE_SYSTEM_ZLIB
#include <zlib.h>
#endif

namespace {

using namespace melodyne_test;
namespace fs = std::filesystem;

std::string container_of(const std::string& archive) {
    return pack_gnbk_blob(
        zlib_compress_fixed(reinterpret_cast<const std::uint8_t*>(archive.data()), archive.size()));
}

// A session folder with "Song.ptx" and "ARA Data/<record>/".
struct SessionFolder {
    test_support::TempDir dir;
    std::string session = dir.file("Song.ptx");

    fs::path record_folder(const std::string& record) const {
        const fs::path folder = dir.path() / "ARA Data" / record;
        fs::create_directories(folder);
        return folder;
    }
    void put(const fs::path& file, const std::string& bytes) const {
        fs::create_directories(file.parent_path());
        test_support::write_file(file.string(), bytes);
    }
};

// --- Loader --------------------------------------------------------------------------------

TEST(AraArchiveLoader, LoadsOncePerPath) {
    SessionFolder s;
    s.put(s.record_folder("Rec") / "doc.dat", container_of(document_archive().bytes()));
    s.put(s.record_folder("Melodyne") / "doc.dat", container_of(document_archive().bytes()));
    s.put(s.record_folder("Rec") / "junk.dat", "GNBKVAi not an archive at all");
    std::map<std::string, MelodyneArchive> archives;
    std::string path;

    EXPECT_EQ(load_ara_archive(s.session, "Rec", "doc.dat", archives, path), AraLoad::loaded);
    EXPECT_EQ(path, (s.dir.path() / "ARA Data" / "Rec" / "doc.dat").string());
    ASSERT_EQ(archives.count(path), 1u);
    EXPECT_EQ(archives.at(path).objects.size(), 4u);
    EXPECT_EQ(load_ara_archive(s.session, "Rec", "doc.dat", archives, path),
              AraLoad::already_loaded);
    // A record without a name reads from "Melodyne".
    EXPECT_EQ(load_ara_archive(s.session, "", "doc.dat", archives, path), AraLoad::loaded);
    EXPECT_EQ(path, (s.dir.path() / "ARA Data" / "Melodyne" / "doc.dat").string());

    EXPECT_EQ(load_ara_archive(s.session, "Rec", "junk.dat", archives, path),
              AraLoad::not_an_archive);
    EXPECT_EQ(load_ara_archive(s.session, "Rec", "missing.dat", archives, path),
              AraLoad::not_found);
    EXPECT_EQ(load_ara_archive(s.session, "Rec", "", archives, path), AraLoad::not_found);
    fs::create_directories(s.record_folder("Rec") / "folder.dat");
    EXPECT_EQ(load_ara_archive(s.session, "Rec", "folder.dat", archives, path), AraLoad::not_found);
    EXPECT_EQ(archives.size(), 2u);
}

TEST(AraArchiveLoader, NamesAreNeverPaths) {
    SessionFolder s;
    const std::string archive = container_of(document_archive().bytes());
    // An archive planted wherever a name could lead.
    s.record_folder("Rec");
    for (const char* planted : {"x", "Rec/x", "a/b", "abs", "Rec/a/b"}) {
        s.put(s.dir.path() / "ARA Data" / planted, archive);
    }
    s.put(s.dir.path() / "x", archive);
    s.put(s.dir.path() / "outside.dat", archive);
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need privileges on Windows; skipped";
#endif
    fs::create_symlink(s.dir.path() / "outside.dat", s.record_folder("Rec") / "link-out.dat");
    fs::create_symlink(s.dir.path() / "ARA Data" / "x", s.record_folder("Rec") / "link-in.dat");

    const struct {
        const char* record;
        const char* file;
        AraLoad outcome;
    } cases[] = {
        {"Rec", "../x", AraLoad::unsafe_name},
        {"Rec", "..", AraLoad::unsafe_name},
        {"Rec", ".", AraLoad::unsafe_name},
        {"Rec", "a/b", AraLoad::unsafe_name},
        {"Rec", "a\\b", AraLoad::unsafe_name},
        {"Rec", "/abs", AraLoad::unsafe_name},
        {"Rec", "C:x", AraLoad::unsafe_name},
        {"Rec", "x\n", AraLoad::unsafe_name},
        {"Rec", "", AraLoad::not_found},
        {"..", "x", AraLoad::unsafe_name},
        {"Rec/a", "b", AraLoad::unsafe_name},
        {".", "x", AraLoad::unsafe_name},
        {"Rec", "link-out.dat", AraLoad::unsafe_name},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.record) + " | " + c.file);
        std::map<std::string, MelodyneArchive> archives;
        std::string path;
        EXPECT_EQ(load_ara_archive(s.session, c.record, c.file, archives, path), c.outcome);
        EXPECT_TRUE(archives.empty());
    }
    // A link that stays inside "ARA Data" is followed.
    std::map<std::string, MelodyneArchive> archives;
    std::string path;
    EXPECT_EQ(load_ara_archive(s.session, "Rec", "link-in.dat", archives, path), AraLoad::loaded);
}

TEST(AraArchiveLoader, LargeFilesAreNotOpened) {
    SessionFolder s;
    const fs::path big = s.record_folder("Rec") / "big.dat";
    s.put(big, "");
    fs::resize_file(big, kMaxAraFileSize + 1);  // sparse: nothing is written
    std::map<std::string, MelodyneArchive> archives;
    std::string path;
    EXPECT_EQ(load_ara_archive(s.session, "Rec", "big.dat", archives, path), AraLoad::too_large);
}

// --- Merge input ---------------------------------------------------------------------------

TEST(AraMergeInput, OneEntryPerSourceWithItsDistinctModifications) {
    std::map<std::string, MelodyneArchive> archives;
    for (const char* name : {"doc", "doc2", "A", "B", "A1", "A2", "B1"}) archives[name];
    const std::vector<AraRecordArchives> records = {
        {1, "doc", "A", "A1"},   {1, "doc", "B", "B1"}, {1, "doc", "A", "A2"},
        {1, "doc", "A", "A1"},   {0, "doc", "B", "B1"}, {1, "doc2", "A", "A1"},
        {1, "doc", "A", "gone"},
    };
    const AraMergeInput input = build_ara_merge_input(records, archives);
    EXPECT_EQ(input.document, &archives.at("doc"));
    ASSERT_EQ(input.sources.size(), 2u);
    const AraClipArchive& a = input.sources[0];
    EXPECT_EQ(a.source, &archives.at("A"));
    EXPECT_EQ(a.source_name, "lanwick-source-1");
    EXPECT_EQ(a.modifications,
              (std::vector<const MelodyneArchive*>{&archives.at("A1"), &archives.at("A2")}));
    EXPECT_EQ(a.modification_names,
              (std::vector<std::string>{"lanwick-modification-1-1", "lanwick-modification-1-2"}));
    EXPECT_EQ(input.sources[1].source_name, "lanwick-source-2");
    EXPECT_EQ(input.sources[1].modification_names,
              (std::vector<std::string>{"lanwick-modification-2-1"}));
    using U = AraRecordUse;
    EXPECT_EQ(input.use, (std::vector<U>{U::merged, U::merged, U::merged, U::merged, U::unusable,
                                         U::other_document, U::unusable}));
    EXPECT_EQ(input.source_of_record[1], 1u);
    EXPECT_EQ(input.source_of_record[3], 0u);

    EXPECT_EQ(build_ara_merge_input({}, archives).document, nullptr);
}

// --- ARA blocks ----------------------------------------------------------------------------

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(AraBlocks, Base64LinesFrameAndSources) {
    // Bytes whose stream makes a 225-byte container: 300 base64 characters.
    std::mt19937 rng(7);
    std::string merged;
    for (std::size_t n = 150; n < 260 && merged.empty(); ++n) {
        std::string bytes(n, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        const std::string c = container_of(bytes);
        if (c.size() == 225) merged = bytes;
    }
    ASSERT_FALSE(merged.empty());

    const std::vector<AraSourceLine> sources = {
        {"lanwick-source-1", "Vox.wav"},
        {"lanwick-source-2", "Gtr \"DI\".wav"},
        {"lanwick-source-1", "Vox.wav"},
    };
    const std::string text = ara_blocks_text(merged, sources);
    const std::vector<std::string> lines = lines_of(text);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "  <ARA com.celemony.ara.chunk.13 4");
    EXPECT_EQ(lines[1], "    <BIN");
    EXPECT_EQ(lines[2].size(), 6u + 128);
    EXPECT_EQ(lines[3].size(), 6u + 128);
    EXPECT_EQ(lines[4].size(), 6u + 44);
    EXPECT_EQ(lines[2].substr(0, 7), "      R");  // "GNBK" in base64
    EXPECT_EQ(lines[5], "    >");
    EXPECT_EQ(lines[6], "  >");
    EXPECT_EQ(lines[7], "  <ARASRC com.celemony.ara.chunk.13 4");
    EXPECT_EQ(lines[8], "    lanwick-source-1 \"Vox.wav\"");
    EXPECT_EQ(lines[9], "    lanwick-source-2 'Gtr \"DI\".wav'");
    EXPECT_EQ(lines[10], "  >");
    EXPECT_EQ(lines[11], "  ARA_POOLED_EDITS");

    const std::string frame = base64_decode(lines[2] + lines[3] + lines[4]);
    std::string back;
    ASSERT_TRUE(unpack_gnbk_blob(frame, back));
    EXPECT_EQ(back, merged);
    EXPECT_EQ(frame.substr(8, 12), u32(6) + u32(1) + u32(205));
#ifdef LANWICK_HAVE_SYSTEM_ZLIB
    std::string theirs(merged.size(), '\0');
    uLongf size = static_cast<uLongf>(theirs.size());
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(theirs.data()), &size,
                         reinterpret_cast<const Bytef*>(frame.data() + 20), 205),
              Z_OK);
    EXPECT_EQ(theirs, merged);
#endif

    const std::string project = "<REAPER_PROJECT 0.1 \"7.0\" 0\n" + text + ">\n";
    const rpp_grammar::Result grammar = rpp_grammar::check_project(project);
    EXPECT_TRUE(grammar.ok) << grammar.line << ": " << grammar.message;
}

// --- From the folder to the blocks ---------------------------------------------------------

// Two records on clips of two files, each with its own source and modification archive.
struct AraDataFixture {
    SessionFolder s;
    std::string source_b = container_of(source_archive("pid-source-B", 20).bytes());

    void write() {
        const fs::path rec = s.record_folder("Rec");
        s.put(rec / "doc.dat", container_of(document_archive("pid-source-A").bytes()));
        s.put(rec / "srcA.dat", container_of(source_archive("pid-source-A", 10).bytes()));
        s.put(rec / "modA.dat", container_of(modification_archive("pid-A1", 1, 0, 100).bytes()));
        s.put(rec / "srcB.dat", source_b);
        s.put(rec / "modB.dat", container_of(modification_archive("pid-B1", 0, 1, 200).bytes()));
    }

    // The loading step of the clip stage: a record is usable when each of its files loaded.
    std::vector<AraRecordArchives> load(std::map<std::string, MelodyneArchive>& archives) {
        std::vector<AraRecordArchives> records;
        for (const auto& [source, modification] :
             {std::pair{"srcA.dat", "modA.dat"}, std::pair{"srcB.dat", "modB.dat"}}) {
            AraRecordArchives record;
            record.usable = 1;
            for (const auto& [name, path] :
                 {std::pair{"doc.dat", &record.document}, std::pair{source, &record.source},
                  std::pair{modification, &record.modification}}) {
                const AraLoad outcome = load_ara_archive(s.session, "Rec", name, archives, *path);
                if (outcome != AraLoad::loaded && outcome != AraLoad::already_loaded) {
                    record.usable = 0;
                }
            }
            records.push_back(record);
        }
        return records;
    }
};

TEST(AraTransfer, FolderToBlocks) {
    AraDataFixture f;
    f.write();
    std::map<std::string, MelodyneArchive> archives;
    const AraMergeInput input = build_ara_merge_input(f.load(archives), archives);
    ASSERT_TRUE(input.document);
    ASSERT_EQ(input.sources.size(), 2u);
    std::string error;
    std::vector<AraSourceFailure> dropped;
    const std::string merged =
        merge_melodyne_archives(*input.document, input.sources, error, dropped);
    ASSERT_FALSE(merged.empty()) << error;
    EXPECT_TRUE(dropped.empty());

    const std::vector<AraSourceLine> lines = {{input.sources[0].source_name, "Vox.wav"},
                                              {input.sources[1].source_name, "Gtr.wav"}};
    const std::string text = ara_blocks_text(merged, lines);
    EXPECT_NE(text.find("    lanwick-source-1 \"Vox.wav\"\n    lanwick-source-2 \"Gtr.wav\"\n"),
              std::string::npos);

    // The BIN reads back into a document that lists both sources and both modifications.
    std::string base64;
    for (const std::string& line : lines_of(text)) {
        if (line.rfind("      ", 0) == 0) base64 += line.substr(6);
    }
    std::string bytes;
    ASSERT_TRUE(unpack_gnbk_blob(base64_decode(base64), bytes));
    MelodyneArchive m;
    ASSERT_TRUE(parse_melodyne_archive(m, bytes));
    EXPECT_EQ(archive_list_elements(m, archive_read_ref_field(m, 0, "audioSources")).size(), 2u);
    EXPECT_EQ(archive_list_elements(m, archive_read_ref_field(m, 0, "audioModifications")).size(),
              2u);
}

TEST(AraTransfer, ATruncatedSourceArchiveCostsOnlyItsRecord) {
    AraDataFixture f;
    f.source_b.resize(f.source_b.size() - 9);
    f.write();
    std::map<std::string, MelodyneArchive> archives;
    const std::vector<AraRecordArchives> records = f.load(archives);
    EXPECT_EQ(records[1].usable, 0);
    const AraMergeInput input = build_ara_merge_input(records, archives);
    EXPECT_EQ(input.use, (std::vector<AraRecordUse>{AraRecordUse::merged, AraRecordUse::unusable}));
    ASSERT_EQ(input.sources.size(), 1u);
    std::string error;
    std::vector<AraSourceFailure> dropped;
    EXPECT_FALSE(merge_melodyne_archives(*input.document, input.sources, error, dropped).empty());
}

// --- The Melodyne takes and the project's blocks -------------------------------------------

// The clip stage's part done by hand: the records' archives loaded into the transfer state, one
// clip per record (clip k on record k), written as items after `items_before` other items.
class MelodyneTakes : public writer_test::WriterTest {
  protected:
    std::string write_items(AraDataFixture& f, int items_before, bool clip_effects = false) {
        ara_transfer.records = f.load(ara_transfer.archives);
        ara_transfer.record_plugins = {"Melodyne", "Melodyne"};
        prepare_ara_transfer();
        item_writer.items_written = static_cast<std::uint32_t>(items_before);
        return writer_test::capture([&](std::FILE* file) {
            for (std::int32_t k = 0; k < 2; ++k) {
                ClipRecord clip;
                clip.name = k == 0 ? "Vox" : "Gtr";
                clip.file_name = k == 0 ? "sub/Vox.wav" : "Gtr.wav";
                clip.length = 1.0;
                clip.rare.edit().ara_index = k;
                if (clip_effects && k == 0)
                    clip.rare.edit().clip_effects = {{"EQ Low Gain", 0.625}};
                write_audio_item(file, clip, "Track", ItemLane{}, ItemTrackInput{},
                                 ItemWriteContext{});
            }
        });
    }
};

TEST_F(MelodyneTakes, EachClipCarriesMelodyneAndTheProjectTheMergedArchive) {
    AraDataFixture f;
    f.write();
    const std::string items = write_items(f, 3);
    for (std::uint32_t k : {3u, 4u}) {
        EXPECT_NE(items.find("      GUID " + guid_from_seed(0x41520000 + k) +
                             "\n      ARAMOD {00000000-0000-0000-0000-000000000002}\n"),
                  std::string::npos)
            << items;
        EXPECT_NE(items.find("        FXID " + guid_from_seed(0x41530000 + k) + "\n"),
                  std::string::npos);
        // The take's GUID before its source, its chain after, as REAPER saves a take.
        const std::size_t guid = items.find("GUID " + guid_from_seed(0x41520000 + k));
        const std::size_t source = items.find("<SOURCE WAVE", guid);
        const std::size_t item = items.rfind("<ITEM", guid);
        const std::size_t earlier_source = items.rfind("<SOURCE WAVE", guid);
        EXPECT_TRUE(earlier_source == std::string::npos || earlier_source < item) << items;
        EXPECT_LT(source, items.find("<TAKEFX", guid)) << items;
    }
    EXPECT_NE(
        items.find(
            "        <VST \"VST3: Melodyne (Celemony)\" Melodyne.vst3 0 \"\" "
            "214222609{5653544D6C70676D656C6F64796E6520} com.celemony.ara.chunk.13\n"
            "          EcfEDO5e7f4CAAAAAQAAAAAAAAACAAAAAAAAAAIAAAABAAAAAAAAAAIAAAAAAAAAAAAAAAE"
            "AAAD//xAA\n          AAAQAAAA\n        >\n"),
        std::string::npos)
        << items;

    const std::string blocks = ara_project_blocks();
    EXPECT_NE(blocks.find("    lanwick-source-1 \"Vox.wav\"\n    lanwick-source-2 \"Gtr.wav\"\n"),
              std::string::npos)
        << blocks;
    EXPECT_TRUE(blocks.ends_with("  ARA_POOLED_EDITS\n"));
    writer_test::expect_parses("<REAPER_PROJECT 0.1 \"7.0\" 0\n  <TRACK\n" + items + "  >\n" +
                               blocks + ">\n");

    std::string rows;
    melodyne_paragraphs(rows, "/s/");
    EXPECT_NE(rows.find("  2 clip(s) carry their Melodyne (ARA) edits into REAPER"),
              std::string::npos)
        << rows;
    EXPECT_EQ(rows.find("NOT"), std::string::npos) << rows;
}

// Clip Effects on a Melodyne clip join its one take chain, after the Melodyne slot.
TEST_F(MelodyneTakes, ClipEffectsFollowMelodyneInOneChain) {
    AraDataFixture f;
    f.write();
    const std::string items = write_items(f, 0, true);
    const std::size_t second = items.find("NAME \"Gtr\"");
    const std::string first = items.substr(0, second);
    EXPECT_EQ(first.find("<TAKEFX"), first.rfind("<TAKEFX"));
    const std::size_t melodyne = first.find("<VST \"VST3: Melodyne (Celemony)\"");
    const std::size_t eq = first.find("PRESETNAME \"Clip Effects EQ\"");
    EXPECT_LT(first.find("<TAKEFX"), melodyne);
    EXPECT_LT(melodyne, eq);
    EXPECT_NE(eq, std::string::npos) << first;
    writer_test::expect_parses("<REAPER_PROJECT 0.1 \"7.0\" 0\n  <TRACK\n" + items + "  >\n>\n");
}

TEST_F(MelodyneTakes, AClipWhoseArchiveDidNotLoadGetsNoTake) {
    AraDataFixture f;
    f.source_b.resize(f.source_b.size() - 9);
    f.write();
    const std::string items = write_items(f, 0);
    EXPECT_EQ(ara_transfer.takes_written, 1);
    EXPECT_EQ(ara_transfer.clips_without_take, 1);
    const std::size_t second = items.find("NAME \"Gtr\"");
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(items.find("ARAMOD", second), std::string::npos);
    const std::string blocks = ara_project_blocks();
    EXPECT_NE(blocks.find("    lanwick-source-1 \"Vox.wav\"\n  >\n"), std::string::npos) << blocks;

    std::string rows;
    melodyne_paragraphs(rows, "/s/");
    EXPECT_NE(rows.find("  1 clip(s) have Melodyne (ARA) attached. What was edited there is NOT"),
              std::string::npos)
        << rows;
}

// An edit that points to an element its source does not have: that source is left out of the
// merge and named, its clip keeps Melodyne without the edits, the other source is carried.
TEST_F(MelodyneTakes, ASourceTheMergeLeavesOutIsNamedAndNotListed) {
    AraDataFixture f;
    f.write();
    f.s.put(f.s.record_folder("Rec") / "modB.dat",
            container_of(modification_archive("pid-B1", 7, 0, 200).bytes()));
    const std::string items = write_items(f, 0);
    EXPECT_EQ(ara_transfer.takes_written, 2);
    const std::string blocks = ara_project_blocks();
    EXPECT_NE(blocks.find("lanwick-source-1"), std::string::npos) << blocks;
    EXPECT_EQ(blocks.find("lanwick-source-2"), std::string::npos) << blocks;

    std::string rows;
    melodyne_paragraphs(rows, "/s/");
    EXPECT_NE(rows.find("  The Melodyne (ARA) data could not be merged ("), std::string::npos)
        << rows;
    EXPECT_NE(rows.find("      Melodyne: lanwick-source-2: an edit links to a missing source "
                        "element\n"),
              std::string::npos)
        << rows;
}

// Nothing merged (no record loaded, or --no-ara): no take and no block.
TEST_F(MelodyneTakes, NothingMergedWritesNoTakeAndNoBlock) {
    AraDataFixture f;  // nothing written: no archive loads
    const std::string items = write_items(f, 0);
    EXPECT_EQ(items.find("ARAMOD"), std::string::npos);
    EXPECT_EQ(ara_project_blocks(), "");
    EXPECT_EQ(ara_transfer.clips_without_take, 2);
}

// The clip stage's records and loading, then the merge and the takes: each clip of the two
// records carries Melodyne, and the blocks list both sources.
TEST_F(MelodyneTakes, FromTheClipStageRecordsToTheTakes) {
    AraDataFixture f;
    f.write();
    ClipExtrasInput in;
    in.session_path = f.s.session;
    PluginParamRecord record;
    record.group_text = "com.celemony.ara.chunk.13";
    record.container_name = "Rec";
    record.document_text = "doc.dat";
    record.entry_name = "srcA.dat";
    record.value_name = "modA.dat";
    in.ara_records = {record, record};
    in.ara_records[1].entry_name = "srcB.dat";
    in.ara_records[1].value_name = "modB.dat";
    in.ara_clip_records["Vox"] = 0;
    in.ara_clip_records["Gtr"] = 1;
    ClipModel model;
    for (const char* name : {"Vox", "Gtr"}) {
        ClipRecord clip;
        clip.name = name;
        clip.file_name = std::string(name) + ".wav";
        clip.length = 1.0;
        model.main_clips[0].push_back(clip);
    }
    ClipExtras extras;
    apply_clip_extras(in, model, extras);
    ASSERT_EQ(extras.ara_usable, (std::vector<std::uint8_t>{1, 1}));

    ara_transfer.records = extras.ara_archives;
    ara_transfer.archives = std::move(extras.archives);
    prepare_ara_transfer();
    const std::string items = writer_test::capture([&](std::FILE* file) {
        for (const ClipRecord& clip : model.main_clips[0])
            write_audio_item(file, clip, "Track", ItemLane{}, ItemTrackInput{}, ItemWriteContext{});
    });
    EXPECT_EQ(ara_transfer.takes_written, 2) << items;
    const std::string blocks = ara_project_blocks();
    EXPECT_NE(blocks.find("    lanwick-source-1 \"Vox.wav\"\n    lanwick-source-2 \"Gtr.wav\"\n"),
              std::string::npos)
        << blocks;
}

}  // namespace
