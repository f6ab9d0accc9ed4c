// The project's closing ARA blocks: the merged Melodyne archive, deflated, framed in a GNBK
// container and written as base64 lines, then the list of audio sources Melodyne will look for.
//
//   <ARA com.celemony.ara.chunk.13 4
//     <BIN
//       (base64, 128 characters a line)
//     >
//   >
//   <ARASRC com.celemony.ara.chunk.13 4
//     <identifier> "<file name>"
//   >
//   ARA_POOLED_EDITS
#pragma once

#include <span>
#include <string>
#include <string_view>

struct AraSourceLine {
    std::string identifier;  // the source's name in the merged archive
    std::string file_name;   // its audio file's name
};

// The blocks' text for the merged archive bytes. `sources` are the sources the merge kept (a
// source it left out is not in the document); each identifier is listed once, with its first file
// name. Empty when the encoder gives nothing (an archive of 2 GiB or more): then no block may be
// written.
std::string ara_blocks_text(std::string_view merged_archive,
                            std::span<const AraSourceLine> sources);
