// Folders: which written tracks open and close a REAPER folder (their ISBUS text), from the mix
// window's strip rows and the link table that ties a folder's strip to its members.
//
// A folder row is a strip row with its flag set (kind 11, a routing folder, always has it). Where
// the link table holds links, folders nest as it says; otherwise each folder row takes the rows
// up to the next folder row ("flat" folders).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "model/output_model.h"
#include "session/strip_rows.h"

struct FolderInput {
    std::span<const StripRow> rows;
    std::span<const OutputTrack> tracks;  // in the order written
    const std::map<std::uint64_t, std::vector<std::uint64_t>>* links = nullptr;  // 0x210c
    bool links_read = false;
    const std::set<std::string>* main_send_off = nullptr;  // tracks whose output goes elsewhere
};

// Fills the folder tables and counts of `track_wiring`; returns each track's strip row (-1 when
// none).
std::vector<std::int32_t> wire_folders(const FolderInput& in);
