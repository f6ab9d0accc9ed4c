// The GNBK container, the archive parser and writer, and the queries over parsed archives.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "melodyne/archive_format.h"
#include "melodyne/archive_queries.h"
#include "melodyne/gnbk_container.h"
#include "melodyne/zlib_encode.h"
#include "melodyne_builder.h"

namespace {

using namespace melodyne_test;

std::string compress(const std::string& bytes) {
    return zlib_compress_fixed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

MelodyneArchive parsed(const ArchiveSpec& spec) {
    MelodyneArchive archive;
    EXPECT_TRUE(parse_melodyne_archive(archive, spec.bytes()));
    return archive;
}

// --- Container ---------------------------------------------------------------------------

TEST(GnbkContainer, PacksAndUnpacks) {
    const std::string archive = source_archive("pid", 0).bytes();
    const std::string container = pack_gnbk_blob(compress(archive));
    EXPECT_EQ(container.substr(0, 8), std::string("GNBKVAi\0", 8));
    EXPECT_EQ(container.substr(8, 8), u32(6) + u32(1));
    std::string back;
    ASSERT_TRUE(unpack_gnbk_blob(container, back));
    EXPECT_EQ(back, archive);

    // Bytes 8..15 are not checked; bytes after the stream are not read.
    std::string other = container;
    other.replace(8, 8, std::string(8, '\xEE'));
    EXPECT_TRUE(unpack_gnbk_blob(other + "tail", back));
    EXPECT_EQ(back, archive);
}

TEST(GnbkContainer, Rejects) {
    const std::string good = pack_gnbk_blob(compress("x"));
    std::string out;
    auto with_length = [&](std::uint32_t length) {
        std::string c = good;
        c.replace(16, 4, u32(length));
        return c;
    };
    std::string bad_magic = good;
    bad_magic[7] = 'x';
    std::string bad_stream = good;
    bad_stream[20] = '\x00';  // no zlib method
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"21 bytes", good.substr(0, 21)},
        {"magic", bad_magic},
        {"L past the end", with_length(static_cast<std::uint32_t>(good.size() - 19))},
        {"L = 0xFFFFFFF0", with_length(0xFFFFFFF0)},
        {"L = 0xFFFFFFFF", with_length(0xFFFFFFFF)},
        {"stream", bad_stream},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(unpack_gnbk_blob(bytes, out));
    }
    // L may end the file exactly.
    EXPECT_TRUE(unpack_gnbk_blob(with_length(static_cast<std::uint32_t>(good.size() - 20)), out));
}

// --- Parser and writer -----------------------------------------------------------------------

TEST(MelodyneArchiveFormat, ParsesTablesAndRecordsAndWritesThemBack) {
    ArchiveSpec spec = source_archive("pid-A", 40);
    spec.extra_ids = 3;  // ids without a record
    const std::string bytes = spec.bytes();
    MelodyneArchive archive;
    ASSERT_TRUE(parse_melodyne_archive(archive, bytes));
    EXPECT_EQ(archive.strings.front(), "source-only");
    ASSERT_EQ(archive.classes.size(), melodyne_classes().size());
    const ArchiveClass& cls = archive.classes[7];
    EXPECT_EQ(cls.name, "MUAudioComponent");
    EXPECT_EQ(cls.value, 8u);
    ASSERT_EQ(cls.fields.size(), 4u);
    EXPECT_EQ(cls.fields[3].name, "pitch");
    EXPECT_EQ(cls.fields[3].type, 'i');
    EXPECT_EQ(cls.fields[3].size, 4u);
    EXPECT_EQ(archive.class_of_id.size(), 17u);
    EXPECT_EQ(archive.class_of_id[16], 0xFFFFFFFFu);
    ASSERT_EQ(archive.objects.size(), 14u);
    EXPECT_EQ(archive.objects[3].tail, string_tail("pid-A"));
    EXPECT_EQ(archive.index.at(13), 13u);
    EXPECT_EQ(archive.objects[13].class_index, 7u);

    EXPECT_EQ(serialize_melodyne_archive(archive), bytes);
}

TEST(MelodyneArchiveFormat, RecordsInAnyOrderAndNoRecords) {
    ArchiveSpec spec = document_archive();
    std::reverse(spec.objects.begin(), spec.objects.end());
    MelodyneArchive archive = parsed(spec);
    EXPECT_EQ(archive.objects.front().id, 3u);
    EXPECT_EQ(archive.index.at(0), 3u);
    EXPECT_EQ(serialize_melodyne_archive(archive), spec.bytes());

    ArchiveSpec empty;
    empty.strings = {"a"};
    empty.extra_ids = 2;
    EXPECT_TRUE(parse_melodyne_archive(archive, empty.bytes()));
    EXPECT_TRUE(archive.objects.empty());
}

TEST(MelodyneArchiveFormat, EveryTruncationAndATrailingByteFail) {
    const std::string bytes = source_archive("pid", 0).bytes();
    MelodyneArchive archive;
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(parse_melodyne_archive(archive, std::string_view(bytes).substr(0, size)))
            << size;
    }
    EXPECT_FALSE(parse_melodyne_archive(archive, bytes + '\0'));
}

TEST(MelodyneArchiveFormat, RejectsBadIndicesAndHostileCounts) {
    // One string "f", one class "C" with one field, two ids, one record (id 0), in bytes whose
    // every field can be changed below.
    auto archive_bytes =
        [](std::uint32_t string_count, std::uint32_t field_name, std::uint32_t field_count,
           std::uint32_t class_id_count, std::uint32_t class_of_0, std::uint32_t class_of_1,
           std::vector<std::uint32_t> ids, std::uint32_t total, std::uint32_t field_length) {
            std::string b = u32(string_count) + u32(1) + "f";
            b += u32(1) + u32(1) + "C" + u32(9) + u32(field_count);
            b += u32(field_name) + u32(1) + "i" + u32(4);
            b += u32(class_id_count) + u32(class_of_0) + u32(class_of_1);
            b += u32(static_cast<std::uint32_t>(ids.size()));
            for (std::uint32_t id : ids) b += u32(id);
            for (std::size_t k = 0; k < ids.size(); ++k)
                b += u32(total) + u32(field_length) + "abcd";
            return b;
        };
    MelodyneArchive archive;
    ASSERT_TRUE(
        parse_melodyne_archive(archive, archive_bytes(1, 0, 1, 2, 0, 0xFFFFFFFF, {0}, 8, 4)));
    EXPECT_EQ(archive.objects[0].field_data, "abcd");
    // A recordless id's class is never looked at.
    EXPECT_TRUE(parse_melodyne_archive(archive, archive_bytes(1, 0, 1, 2, 0, 77, {0}, 8, 4)));
    // The tail takes what F leaves.
    EXPECT_TRUE(parse_melodyne_archive(archive, archive_bytes(1, 0, 1, 2, 0, 0, {0}, 8, 0)));
    EXPECT_EQ(archive.objects[0].tail, "abcd");

    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"string count 0xFFFFFFFF", archive_bytes(0xFFFFFFFF, 0, 1, 2, 0, 0, {0}, 8, 4)},
        {"field name index = S", archive_bytes(1, 1, 1, 2, 0, 0, {0}, 8, 4)},
        {"field count 0xFFFFFFFF", archive_bytes(1, 0, 0xFFFFFFFF, 2, 0, 0, {0}, 8, 4)},
        {"class-of-id count 0xFFFFFFFF", archive_bytes(1, 0, 1, 0xFFFFFFFF, 0, 0, {0}, 8, 4)},
        {"object id = K1", archive_bytes(1, 0, 1, 2, 0, 0, {2}, 8, 4)},
        {"record class = C", archive_bytes(1, 0, 1, 2, 1, 0, {0}, 8, 4)},
        {"record class 0xFFFFFFFF", archive_bytes(1, 0, 1, 2, 0xFFFFFFFF, 0, {0}, 8, 4)},
        {"id listed twice", archive_bytes(1, 0, 1, 2, 0, 0, {0, 0}, 8, 4)},
        {"F + 4 > T", archive_bytes(1, 0, 1, 2, 0, 0, {0}, 8, 5)},
        {"F = 0xFFFFFFFC", archive_bytes(1, 0, 1, 2, 0, 0, {0}, 8, 0xFFFFFFFC)},
        {"T past the end", archive_bytes(1, 0, 1, 2, 0, 0, {0}, 9, 4)},
        {"T = 0xFFFFFFFF", archive_bytes(1, 0, 1, 2, 0, 0, {0}, 0xFFFFFFFF, 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(parse_melodyne_archive(archive, c.bytes));
    }
    // A record count far past the bytes left.
    std::string many = archive_bytes(1, 0, 1, 2, 0, 0, {}, 8, 4);
    many.replace(many.size() - 4, 4, u32(0x40000000));
    EXPECT_FALSE(parse_melodyne_archive(archive, many));
}

// --- Queries -------------------------------------------------------------------------------

TEST(MelodyneArchiveQueries, FieldReads) {
    ArchiveSpec spec = source_archive("pid", 70);
    // Component 12 with its field data cut inside "pitch".
    find_object(spec, 12)->fields.resize(8 + 4 + 4 + 2);
    const MelodyneArchive a = parsed(spec);
    EXPECT_EQ(archive_read_ref_field(a, 2, "effectiveAudioSourceDescription"), 4u);
    EXPECT_EQ(archive_read_ref_field(a, 11, "audioSourceComponent"), kNoArchiveId);  // null
    EXPECT_EQ(archive_read_int_field(a, 13, "pitch"), 72);
    EXPECT_EQ(archive_read_int_field(a, 13, "splitArchiveSourceElementIndex"), -1);
    // Unknown object or field, the wrong type, data too short.
    EXPECT_EQ(archive_read_ref_field(a, 99, "persistentID"), kNoArchiveId);
    EXPECT_EQ(archive_read_ref_field(a, 2, "nothing"), kNoArchiveId);
    EXPECT_EQ(archive_read_ref_field(a, 13, "pitch"), kNoArchiveId);
    EXPECT_EQ(archive_read_int_field(a, 13, "audioSourceComponent"), -1);
    EXPECT_EQ(archive_read_int_field(a, 12, "pitch"), -1);
    EXPECT_EQ(archive_read_int_field(a, 12, "splitArchiveSourceComponentIndex"), -1);
    EXPECT_EQ(archive_read_int_field(a, 12, "splitArchiveSourceElementIndex"), -1);
}

TEST(MelodyneArchiveQueries, ListBounds) {
    std::uint64_t head = 0, payload = 0;
    std::uint32_t count = 0;
    const std::string good = list_tail({7, 8, 9}, {1, 2}, "pay");
    ASSERT_TRUE(archive_list_bounds(good, head, payload, count));
    EXPECT_EQ(head, 4u + 26 + 8);
    EXPECT_EQ(payload, head + 8 + 3);
    EXPECT_EQ(count, 3u);
    EXPECT_TRUE(archive_list_bounds(good + "more", head, payload, count));

    auto with_u32 = [](std::string tail, std::size_t at, std::uint32_t value) {
        tail.replace(at, 4, u32(value));
        return tail;
    };
    const std::string plain = list_tail({7});  // n at 0, a at 12, b at 16, c at 20
    const struct {
        const char* name;
        std::string tail;
    } cases[] = {
        {"under 4 bytes", "abc"},
        {"n = 0", with_u32(plain, 0, 0)},
        {"n = 2 without room", with_u32(plain, 0, 2)},
        {"n = 0xFFFFFFFF", with_u32(plain, 0, 0xFFFFFFFF)},
        {"b below a", with_u32(plain, 16, 7)},
        {"b - a past the end", with_u32(plain, 16, 0xFFFFFFFF)},
        {"c past the end", plain.substr(0, 22)},
        {"fewer than 4c bytes", with_u32(plain, 20, 2)},
        {"c = 0xFFFFFFFF", with_u32(plain, 20, 0xFFFFFFFF)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(archive_list_bounds(c.tail, head, payload, count));
    }
}

TEST(MelodyneArchiveQueries, ListElementsAndRewrite) {
    ArchiveSpec spec = document_archive();
    find_object(spec, 1)->tail = list_tail({3, 100}, {1}, "payload");
    MelodyneArchive a = parsed(spec);
    EXPECT_EQ(archive_list_elements(a, 1), (std::vector<std::uint32_t>{3, 100}));
    EXPECT_TRUE(archive_list_elements(a, 0).empty());   // no list tail
    EXPECT_TRUE(archive_list_elements(a, 42).empty());  // no object

    ArchiveObject& list = a.objects[a.index.at(1)];
    const std::vector<std::uint32_t> ids = {5, 6, 7};
    archive_set_list_elements(list, ids);
    EXPECT_EQ(list.tail, list_tail(ids, {1}, "payload"));  // a = 4 + 4c, b = a + 7
    EXPECT_EQ(archive_list_elements(a, 1), ids);

    ArchiveObject not_a_list;
    not_a_list.tail = "abc";
    archive_set_list_elements(not_a_list, ids);
    EXPECT_EQ(not_a_list.tail, "abc");
}

TEST(MelodyneArchiveQueries, DirectRefsAndReachable) {
    ArchiveSpec spec;
    spec.classes = {{"Node", 1, {{"next"}, {"many", 0xFFFFFFFF, '^', 8}}}, {"GNList", 2, {}}};
    spec.objects = {
        // A live 0xFFFFFFFF (its second word is not 0) counts; the null pair does not; the
        // huge count stops at the end of the data.
        {0, "Node", ref(1) + u32(0xFFFFFFFF) + u32(1) + null_ref() + ref(2), ""},
        {1, "GNList", "", list_tail({3, 0xFFFFFFFF, 0})},
        {2, "Node", ref(0), ""},  // a cycle
        {3, "Node", ref(9) + ref(2), ""},
    };
    const MelodyneArchive a = parsed(spec);
    EXPECT_EQ(archive_direct_refs(a, 0), (std::vector<std::uint32_t>{1, 0xFFFFFFFF, 2}));
    EXPECT_EQ(archive_direct_refs(a, 1), (std::vector<std::uint32_t>{3, 0}));
    EXPECT_TRUE(archive_direct_refs(a, 9).empty());
    // Depth first, first reference next; 9 and 0xFFFFFFFF are listed but not followed.
    EXPECT_EQ(archive_collect_reachable(a, 0),
              (std::vector<std::uint32_t>{0, 1, 3, 9, 2, 0xFFFFFFFF}));
    EXPECT_EQ(archive_collect_reachable(a, 77), (std::vector<std::uint32_t>{77}));
}

TEST(MelodyneArchiveQueries, DeclaredFieldsAreWalkedOncePerArchive) {
    // A class that declares 131072 empty fields before its reference: walking them for each of
    // 100000 objects would take many minutes.
    ArchiveSpec spec;
    Class node{"Node", 1, std::vector<Field>(1 << 17, Field{"empty", 0, '^', 8})};
    node.fields.push_back({"next"});
    spec.classes = {node};
    constexpr std::uint32_t kNodes = 100000;
    for (std::uint32_t id = 0; id < kNodes; ++id) {
        spec.objects.push_back({id, "Node", id + 1 < kNodes ? ref(id + 1) : null_ref(), ""});
    }
    const MelodyneArchive a = parsed(spec);
    EXPECT_EQ(archive_collect_reachable(a, 0).size(), kNodes);
    EXPECT_EQ(archive_read_ref_field(a, 5, "next"), 6u);
}

TEST(MelodyneArchiveQueries, InlineKeys) {
    ArchiveSpec spec = document_archive();  // strings: 2 own + field names
    spec.objects.push_back({4, "GNData", "", list_tail({}, {1, 0})});
    spec.objects.push_back({5, "GNList", "", list_tail({}, {999})});
    spec.objects.push_back({6, "GNString", "", u32(3) + "short"});
    spec.objects.push_back({7, "MUArchiveRoot", ref(1) + ref(2), u32(3) + "other classes"});
    const MelodyneArchive a = parsed(spec);
    std::vector<std::uint64_t> offsets;
    EXPECT_TRUE(archive_inline_key_offsets(a, a.objects[a.index.at(4)], offsets));
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{4, 17}));
    EXPECT_FALSE(archive_inline_key_offsets(a, a.objects[a.index.at(5)], offsets));
    EXPECT_FALSE(archive_inline_key_offsets(a, a.objects[a.index.at(6)], offsets));
    EXPECT_TRUE(archive_inline_key_offsets(a, a.objects[a.index.at(7)], offsets));
    EXPECT_TRUE(offsets.empty());
}

TEST(MelodyneArchiveQueries, StringBlobs) {
    std::string text;
    ASSERT_TRUE(read_string_blob(string_tail("Vocals"), text));
    EXPECT_EQ(text, "Vocals");
    const std::string blob = make_string_blob(string_tail("Vocals"), "lanwick-source-1");
    EXPECT_EQ(blob, string_tail("lanwick-source-1"));
    EXPECT_EQ(make_string_blob("ab", "x"),
              "ab" + std::string(10, '\0') + u32(2) + u32(2) + "x" + std::string(1, '\0'));

    std::string sizes_differ = string_tail("abc");
    sizes_differ[16] = 5;
    std::string size_zero = string_tail("");
    size_zero.replace(12, 8, u32(0) + u32(0));
    const std::string cases[] = {sizes_differ, size_zero, string_tail("abc") + "x",
                                 string_tail("abc").substr(0, 19)};
    for (const std::string& bad : cases) EXPECT_FALSE(read_string_blob(bad, text));
}

}  // namespace
