// Joins a session's Melodyne archives into the one self-contained archive that REAPER's Melodyne
// reads: the document archive, then per audio source its source archive and its modification
// archives, with one string table, one class table and one id space. Edits that point into their
// source archive are linked to the source components they were split from, the persistent ids
// take the names the project uses, and the document's source and modification lists name the
// merged sources and modifications.
//
// A problem inside one source's archives drops that source (its clips keep Melodyne without the
// edits) and the rest merge; only a problem of the document stops the merge. The texts:
//   "schema conflict: <class>"                          a class defined two ways
//   "a source archive without exactly one source"
//   "a modification archive without exactly one modification"
//   "an edit links to a missing source element"
//   "an edit links to a missing source component"
//   "an edit links outside its source"
//   "a bad inline key"                                  a tail's string index past the table
//   "the document archive has no source/modification lists"
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "model/melodyne_archive.h"

struct AraSourceFailure {
    std::size_t source = 0;  // position in the sources handed to the merge
    std::string text;        // why it was left out
};

// The merged archive bytes; empty with `error` set when the document cannot be merged.
// `dropped` gets, in source order, every source left out and why.
std::string merge_melodyne_archives(const MelodyneArchive& document,
                                    std::span<const AraClipArchive> sources, std::string& error,
                                    std::vector<AraSourceFailure>& dropped);
