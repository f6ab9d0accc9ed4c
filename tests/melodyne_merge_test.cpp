// The merge of a document archive with its sources and modifications, read back with our parser.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "melodyne/archive_format.h"
#include "melodyne/archive_merge.h"
#include "melodyne/archive_queries.h"
#include "melodyne_builder.h"

namespace {

using namespace melodyne_test;

MelodyneArchive parsed(const ArchiveSpec& spec) {
    MelodyneArchive archive;
    EXPECT_TRUE(parse_melodyne_archive(archive, spec.bytes()));
    return archive;
}

// Two sources, A (pitches 10..12) and B (20..22), with one modification each: A's edit was split
// from element 1, component 0 (pitch 12), B's from element 0, component 1 (pitch 21).
struct MergeFixture {
    ArchiveSpec document = document_archive("pid-source-A");
    ArchiveSpec source_a = source_archive("pid-source-A", 10);
    ArchiveSpec edit_a = modification_archive("pid-edit-A", 1, 0, 100);
    ArchiveSpec source_b = source_archive("pid-source-B", 20);
    ArchiveSpec edit_b = modification_archive("pid-edit-B", 0, 1, 200);

    MelodyneArchive doc, a, a1, b, b1;
    std::string error;
    std::vector<AraSourceFailure> dropped;

    std::string merge() {
        doc = parsed(document);
        a = parsed(source_a);
        a1 = parsed(edit_a);
        b = parsed(source_b);
        b1 = parsed(edit_b);
        const std::vector<AraClipArchive> sources = {
            {&a, {&a1}, "src-A", {"mod-A1"}},
            {&b, {&b1}, "src-B", {"mod-B1"}},
        };
        return merge_melodyne_archives(doc, sources, error, dropped);
    }
};

// The one object of the class whose integer field has this value.
std::uint32_t id_with(const MelodyneArchive& m, std::string_view cls, std::string_view field,
                      std::int32_t value) {
    std::vector<std::uint32_t> found;
    for (const ArchiveObject& o : m.objects) {
        if (archive_class_name(m, o) == cls && archive_read_int_field(m, o.id, field) == value) {
            found.push_back(o.id);
        }
    }
    EXPECT_EQ(found.size(), 1u) << cls << " " << field << " " << value;
    return found.empty() ? kNoArchiveId : found.front();
}

std::vector<std::uint32_t> ids_of_class(const MelodyneArchive& m, std::string_view cls) {
    std::vector<std::uint32_t> ids;
    for (const ArchiveObject& o : m.objects) {
        if (archive_class_name(m, o) == cls) ids.push_back(o.id);
    }
    return ids;
}

std::vector<std::string> texts(const MelodyneArchive& m) {
    std::vector<std::string> out;
    std::string text;
    for (const ArchiveObject& o : m.objects) {
        if (archive_class_name(m, o) == "GNString" && read_string_blob(o.tail, text)) {
            out.push_back(text);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::uint32_t edit_link(const MelodyneArchive& m, std::int32_t pitch) {
    return archive_read_ref_field(m, id_with(m, "MUAudioComponent", "pitch", pitch),
                                  "audioSourceComponent");
}

// The string that the first inline entry of the object's tail names.
std::string inline_key_text(const MelodyneArchive& m, std::uint32_t id) {
    const std::uint32_t key =
        read_u32le_checked(std::string_view(m.objects[m.index.at(id)].tail), 4);
    return key < m.strings.size() ? m.strings[key] : "(none)";
}

TEST(MelodyneMerge, JoinsDocumentSourcesAndModifications) {
    MergeFixture f;
    const std::string bytes = f.merge();
    ASSERT_FALSE(bytes.empty()) << f.error;
    EXPECT_TRUE(f.dropped.empty());
    MelodyneArchive m;
    ASSERT_TRUE(parse_melodyne_archive(m, bytes));
    EXPECT_EQ(serialize_melodyne_archive(m), bytes);

    // The root keeps id 0; its lists name the merged sources and modifications.
    ASSERT_TRUE(archive_object(m, 0));
    EXPECT_EQ(archive_class_name(m, *archive_object(m, 0)), "MUArchiveRoot");
    const std::uint32_t sources_list = archive_read_ref_field(m, 0, "audioSources");
    const std::uint32_t edits_list = archive_read_ref_field(m, 0, "audioModifications");
    EXPECT_EQ(archive_list_elements(m, sources_list), ids_of_class(m, "MUAudioSource"));
    EXPECT_EQ(archive_list_elements(m, edits_list), ids_of_class(m, "MUAudioModification"));
    ASSERT_EQ(ids_of_class(m, "MUAudioSource").size(), 2u);
    ASSERT_EQ(ids_of_class(m, "MUAudioModification").size(), 2u);

    // Each edit now names the source component it was split from; a link inside the
    // modification stays inside it.
    EXPECT_EQ(edit_link(m, 100), id_with(m, "MUAudioComponent", "pitch", 12));
    EXPECT_EQ(edit_link(m, 200), id_with(m, "MUAudioComponent", "pitch", 21));
    EXPECT_EQ(edit_link(m, 101), id_with(m, "MUAudioComponent", "pitch", 100));

    // Persistent ids take the project's names, the document's copy of a source's id too.
    EXPECT_EQ(texts(m), (std::vector<std::string>{"mod-A1", "mod-B1", "src-A", "src-A", "src-B"}));
    const std::uint32_t pid_a =
        archive_read_ref_field(m, ids_of_class(m, "MUAudioSource")[0], "persistentID");
    std::string text;
    ASSERT_TRUE(read_string_blob(m.objects[m.index.at(pid_a)].tail, text));
    EXPECT_EQ(text, "src-A");

    // The document's link into another archive (100) and each edit's dangling link (50) got
    // ids without records.
    EXPECT_EQ(m.class_of_id.size(), m.objects.size() + 3);
    EXPECT_EQ(std::count(m.class_of_id.begin(), m.class_of_id.end(), kNoArchiveId), 3);

    // Inline keys name the same texts in the merged string table.
    EXPECT_EQ(inline_key_text(m, edits_list), "doc-only");
    for (std::uint32_t c : ids_of_class(m, "MUCustomAudioSource")) {
        EXPECT_EQ(inline_key_text(m, archive_read_ref_field(m, c, "audioSourceElements")),
                  "source-only");
    }
}

TEST(MelodyneMerge, EditsInsideTheModificationNeedNoSourceElements) {
    MergeFixture f;
    find_object(f.source_a, 2)->fields = ref(3) + null_ref();  // no description
    find_object(f.edit_a, 5)->fields = component(6, 9, 9, 100);
    find_object(f.edit_a, 6)->fields = component(0xFFFFFFFF, -1, -1, 101);
    ASSERT_FALSE(f.merge().empty()) << f.error;
    EXPECT_TRUE(f.dropped.empty());
}

TEST(MelodyneMerge, AFaultySourceIsLeftOutAndTheRestMerge) {
    const struct {
        const char* text;
        std::function<void(MergeFixture&)> damage;
    } cases[] = {
        {"schema conflict: MUAudioComponent",
         [](MergeFixture& f) { f.source_b.classes[7].fields[3].size = 8; }},
        {"a source archive without exactly one source",
         [](MergeFixture& f) {
             find_object(f.source_b, 1)->tail = list_tail({2, 2});
         }},
        {"a modification archive without exactly one modification",
         [](MergeFixture& f) { find_object(f.edit_b, 1)->tail = list_tail({}); }},
        {"an edit links to a missing source element",
         [](MergeFixture& f) { find_object(f.edit_b, 5)->fields = component(50, 2, 0, 200); }},
        {"an edit links to a missing source element",
         [](MergeFixture& f) { find_object(f.edit_b, 5)->fields = component(50, -1, 0, 200); }},
        {"an edit links to a missing source component",
         [](MergeFixture& f) { find_object(f.edit_b, 5)->fields = component(50, 1, 1, 200); }},
        // Element 0's components sit in an object that is not a GNList: never reached from the
        // source, so never numbered.
        {"an edit links outside its source",
         [](MergeFixture& f) { find_object(f.source_b, 9)->cls = "GNData"; }},
        {"a bad inline key",
         [](MergeFixture& f) {
             find_object(f.source_b, 9)->tail = list_tail({11, 12}, {999});
         }},
        {"a bad inline key",
         [](MergeFixture& f) { find_object(f.edit_b, 3)->tail = u32(3) + "short"; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        MergeFixture f;
        c.damage(f);
        const std::string bytes = f.merge();
        ASSERT_FALSE(bytes.empty()) << f.error;
        ASSERT_EQ(f.dropped.size(), 1u);
        EXPECT_EQ(f.dropped[0].source, 1u);
        EXPECT_EQ(f.dropped[0].text, c.text);

        MelodyneArchive m;
        ASSERT_TRUE(parse_melodyne_archive(m, bytes));
        const std::vector<std::uint32_t> sources = ids_of_class(m, "MUAudioSource");
        ASSERT_EQ(sources.size(), 1u);
        EXPECT_EQ(archive_list_elements(m, archive_read_ref_field(m, 0, "audioSources")), sources);
        EXPECT_EQ(archive_list_elements(m, archive_read_ref_field(m, 0, "audioModifications")),
                  ids_of_class(m, "MUAudioModification"));
        EXPECT_EQ(edit_link(m, 100), id_with(m, "MUAudioComponent", "pitch", 12));
        EXPECT_EQ(texts(m), (std::vector<std::string>{"mod-A1", "src-A", "src-A"}));
        EXPECT_EQ(std::find(m.strings.begin(), m.strings.end(), "pid-source-B"), m.strings.end());
    }
}

TEST(MelodyneMerge, AFaultyDocumentStopsTheMerge) {
    const struct {
        const char* text;
        std::function<void(ArchiveSpec&)> damage;
    } cases[] = {
        {"the document archive has no source/modification lists",
         [](ArchiveSpec& d) { find_object(d, 0)->fields = ref(1) + null_ref(); }},
        {"the document archive has no source/modification lists",
         [](ArchiveSpec& d) { find_object(d, 0)->fields = ref(100) + ref(2); }},  // no record
        {"the document archive has no source/modification lists",
         [](ArchiveSpec& d) { find_object(d, 0)->fields = ref(1) + ref(0); }},  // not a list
        {"the document archive has no source/modification lists",
         [](ArchiveSpec& d) { d.objects.erase(d.objects.begin()); }},  // no root
        {"a bad inline key",
         [](ArchiveSpec& d) { find_object(d, 2)->tail = list_tail({}, {999}); }},
        {"schema conflict: MUArchiveRoot",
         [](ArchiveSpec& d) {
             d.classes.push_back({"MUArchiveRoot", 99, {{"x"}}});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        MergeFixture f;
        c.damage(f.document);
        EXPECT_TRUE(f.merge().empty());
        EXPECT_EQ(f.error, c.text);
    }
}

TEST(MelodyneMerge, ClassesMergeByName) {
    // The same schema twice is no conflict; a class known without fields takes the later
    // archive's fields.
    MergeFixture f;
    f.document.classes[3].fields.clear();  // MUAudioSource
    ASSERT_FALSE(f.merge().empty()) << f.error;
    MelodyneArchive m;
    ASSERT_TRUE(parse_melodyne_archive(m, f.merge()));
    EXPECT_EQ(m.classes[3].fields.size(), 2u);
    EXPECT_EQ(m.classes.size(), melodyne_classes().size());
}

}  // namespace
