// The one entry of the Melodyne fuzz target, shared with the test that replays its corpus: the
// input is unpacked as a GNBK container and parsed as an archive, both as it stands and as what
// it unpacks to. Every archive that parses must write back byte for byte, answers every query,
// and is merged with itself as document, source and modification; whatever the merge returns
// must parse again and survive the trip through the project's ARA block. A broken promise aborts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "melodyne/ara_blocks.h"
#include "melodyne/archive_format.h"
#include "melodyne/archive_merge.h"
#include "melodyne/archive_queries.h"
#include "melodyne/gnbk_container.h"
#include "util/codecs.h"

inline void melodyne_fuzz_check(bool promise) {
    if (!promise) std::abort();
}

inline void run_melodyne_queries(const MelodyneArchive& archive) {
    std::string text;
    std::vector<std::uint64_t> offsets;
    for (const ArchiveObject& object : archive.objects) {
        archive_direct_refs(archive, object.id);
        archive_inline_key_offsets(archive, object, offsets);
        if (object.class_index < archive.classes.size()) {
            for (const ArchiveAttr& field : archive.classes[object.class_index].fields) {
                archive_read_ref_field(archive, object.id, field.name);
                archive_read_int_field(archive, object.id, field.name);
            }
        }
        const std::vector<std::uint32_t> elements = archive_list_elements(archive, object.id);
        std::uint64_t head_end = 0, payload_end = 0;
        std::uint32_t count = 0;
        if (archive_list_bounds(object.tail, head_end, payload_end, count)) {
            melodyne_fuzz_check(elements.size() == count);
            ArchiveObject copy = object;
            const std::vector<std::uint32_t> ids = {count, 0, kNoArchiveId};
            archive_set_list_elements(copy, ids);
            melodyne_fuzz_check(archive_list_bounds(copy.tail, head_end, payload_end, count) &&
                                count == ids.size());
        }
        if (read_string_blob(object.tail, text)) {
            std::string back;
            melodyne_fuzz_check(read_string_blob(make_string_blob(object.tail, text + "!"), back) &&
                                back == text + "!");
        }
    }
    archive_collect_reachable(archive, 0);
}

// The base64 of the BIN lines, the ones indented six blanks.
inline std::string melodyne_fuzz_bin_text(const std::string& blocks) {
    std::string base64;
    for (std::size_t at = 0; at < blocks.size();) {
        const std::size_t end = blocks.find('\n', at);
        const std::string_view line = std::string_view(blocks).substr(at, end - at);
        if (line.starts_with("      ")) base64 += line.substr(6);
        at = end + 1;
    }
    return base64;
}

inline void run_melodyne_archive(std::string_view bytes) {
    MelodyneArchive archive;
    if (!parse_melodyne_archive(archive, bytes)) return;
    melodyne_fuzz_check(serialize_melodyne_archive(archive) == bytes);
    run_melodyne_queries(archive);

    const AraClipArchive clip{
        &archive, {&archive}, "lanwick-source-1", {"lanwick-modification-1-1"}};
    std::string error;
    std::vector<AraSourceFailure> dropped;
    const std::string merged = merge_melodyne_archives(archive, {&clip, 1}, error, dropped);
    if (merged.empty()) {
        melodyne_fuzz_check(!error.empty());
        return;
    }
    MelodyneArchive again;
    melodyne_fuzz_check(parse_melodyne_archive(again, merged));
    run_melodyne_queries(again);

    const AraSourceLine source{"lanwick-source-1", "a.wav"};
    const std::string blocks = ara_blocks_text(merged, {&source, 1});
    std::string back;
    melodyne_fuzz_check(unpack_gnbk_blob(base64_decode(melodyne_fuzz_bin_text(blocks)), back) &&
                        back == merged);
}

inline void run_melodyne_fuzz_input(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string unpacked;
    if (unpack_gnbk_blob(input, unpacked)) run_melodyne_archive(unpacked);
    run_melodyne_archive(input);
}
