// The Melodyne edits carried into the project. The clip stage loads the archives each Melodyne
// record names; before the project is written they are merged into one archive; the item writer
// puts a Melodyne take on every clip whose record joined the merge and records its audio source;
// the project closes with the merged archive and that source list.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "melodyne/ara_blocks.h"
#include "melodyne/archive_merge.h"
#include "melodyne/merge_input.h"
#include "model/melodyne_archive.h"

struct AraTransfer {
    // Left by the clip stage: one entry per Melodyne record (its usable flag and archive paths),
    // the loaded archives by path, and a note per record that cannot be used.
    std::vector<AraRecordArchives> records;
    std::map<std::string, MelodyneArchive> archives;
    std::vector<std::string> notes;

    // The merge (`prepare_ara_transfer`).
    AraMergeInput input;
    std::string merged;  // empty: nothing to carry
    std::string error;   // the document could not be merged
    std::vector<AraSourceFailure> dropped;

    // Written by the item writer and the project's closing blocks.
    std::vector<AraSourceLine> sources;
    int takes_written = 0;
    int clips_without_take = 0;  // clips with a Melodyne record that got no take
    // For the summary: the ARA plug-in each record names (empty: not known), the records of the
    // clips that got no take, and the records no clip carries.
    std::vector<std::string> record_plugins;
    std::set<std::int32_t> records_without_take;
    int records_on_no_clip = 0;
    int blocks_written = 0;
    int encoder_failed = 0;  // the merged archive did not compress: no ARA block
};
extern AraTransfer ara_transfer;
void reset_ara_transfer();

// Merges the loaded archives of the usable records.
void prepare_ara_transfer();

// The source a clip's Melodyne take belongs to, or null when the clip gets no take: no record,
// a record that did not join the merge, or no merged archive.
const AraClipArchive* ara_take_source(std::int32_t ara_index);

// The project's closing ARA blocks; empty (and noted) when there is nothing to carry or the
// encoder gives nothing.
std::string ara_project_blocks();

// The texts the console names under the merge's row: the document's failure and each source left
// out ("Melodyne: <source>: <text>" rows are made of these).
std::vector<std::string> ara_merge_messages();
