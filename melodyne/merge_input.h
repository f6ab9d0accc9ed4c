// What the merge is given: the document archive and one AraClipArchive per distinct source
// archive, gathered from the session's Melodyne records in record order.
//
// Each record names a document, a source and a modification archive. The document is the first
// usable record's; a record of another document cannot join it. A source archive named by several
// records is merged once, with each distinct modification once, in record order. Sources and
// modifications get names of our own ("lanwick-source-1", "lanwick-modification-1-1", ...):
// unique, stable from run to run, and free of blanks and quotes, so a source's name is also its
// ARASRC identifier.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "model/melodyne_archive.h"

struct AraRecordArchives {
    std::uint8_t usable = 0;  // every archive the record names was loaded
    // The archives' paths, as keys of the loaded-archive map.
    std::string document;
    std::string source;
    std::string modification;
};

enum class AraRecordUse : std::uint8_t {
    merged,          // its source is in `sources`
    unusable,        // an archive did not load
    other_document,  // its document is not the merged one
};

struct AraMergeInput {
    const MelodyneArchive* document = nullptr;  // null: no usable record
    std::vector<AraClipArchive> sources;
    std::vector<AraRecordUse> use;                // per record
    std::vector<std::uint32_t> source_of_record;  // per record: its place in `sources` when merged
};

// The archives must stay in `archives`, unchanged, while the result is used.
AraMergeInput build_ara_merge_input(std::span<const AraRecordArchives> records,
                                    const std::map<std::string, MelodyneArchive>& archives);
