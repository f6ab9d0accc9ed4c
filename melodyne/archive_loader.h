// Loads the Melodyne archives that a session's Melodyne records name. They live in the folder
// "ARA Data/<record name>/" beside the session ("Melodyne" for a record without a name).
//
// The record and file names come from the session bytes, so each is used only as one plain
// name: not empty, ".", or "..", and without "/", "\", ":" or a control byte. Only a regular
// file of at most 1 GiB whose resolved path (links followed) lies inside "ARA Data" is opened.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "model/melodyne_archive.h"

// The largest archive file read.
constexpr std::uint64_t kMaxAraFileSize = std::uint64_t{1} << 30;

enum class AraLoad : std::uint8_t {
    loaded,          // read, unpacked and parsed now
    already_loaded,  // its path was loaded earlier in this run
    not_found,       // no file name, or no regular file there that opens
    unsafe_name,     // a name that is not one plain name, or a file that resolves outside
                     // "ARA Data": nothing was opened
    too_large,       // over kMaxAraFileSize: not opened
    not_an_archive,  // read, but it does not unpack or parse
};

// Loads one archive named by a record into `archives`, keyed by `path`: the session's folder
// (the session path up to its last "/" or "\") + "ARA Data/" + the record's folder + "/" +
// the file name. `path` is set whenever both names are plain.
AraLoad load_ara_archive(std::string_view session_path, std::string_view record_name,
                         std::string_view file_name,
                         std::map<std::string, MelodyneArchive>& archives, std::string& path);
