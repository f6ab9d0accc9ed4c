// What the per-track preparation leaves for the writers: the tables that outlive it (the track
// blocks, the effect chains, the surround panners and the console summary read them) and its
// counts. Filled once per conversion before the first track block, emptied by the run reset.
//
// Plug-in instances are named by their block position (`SessionPluginInstance::block_pos`).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/surround_pan_state.h"

struct TrackWiringCounts {
    int outputs_routed = 0;       // track outputs sent into the aux taking their bus
    int bus_by_input_routes = 0;  // sends whose bus resolved through the name index
    int mono_leg_matches = 0;     // of those, sends whose own name is no override key
    int split_leg_sends = 0;      // sends whose bus resolves to more than one distinct name
    int send_pan_lanes = 0;       // sends with points in either pan curve
    int first_keys = 0;           // key sources that became a track's first key
    int further_keys = 0;         // key sources that became a further key
    int unresolved_keys = 0;      // keyed instances whose source is not known
    int keyed_elsewhere = 0;      // keyed off another source than the track's first key
    std::map<std::string, int> keyed_elsewhere_by_track;
    int unplaceable_surround = 0;  // surround routes that gave no panner
    int too_wide = 0;              // routes and keys left out: the track would pass 128 channels
    std::vector<std::string> too_wide_names;
    // Folders.
    int routing_folders = 0;  // written, of kind 11
    int other_folders = 0;    // written, of any other kind
    int empty_folders = 0;
    int folders_after_folder = 0;  // preceded by an earlier folder row, not directly
    int unwritten_folders = 0;
    int folders_moved_out = 0;                   // every member moved out of the folder
    std::vector<std::string> moved_rows;         // tracks: "row out of folder"
    std::vector<std::string> moved_folder_rows;  // Basic folders: "row out of folder"
    std::vector<std::string> unmoved_rows;       // "row (in folder)": could not be moved out
    int nested_unplaced = 0;  // folders inside a folder when the nested pass failed
};

struct TrackWiringState {
    std::vector<std::string> no_output_tracks;
    std::map<std::string, std::int32_t> surround_bus_width;  // lane group name -> channels (> 2)
    std::map<std::string, SurroundPanState> surround_pan_states;  // by track name
    // Instance -> the index (from 0) of its key source among its track's key sources.
    std::map<std::uint64_t, std::int32_t> key_source_index_by_instance;
    // Instances keyed from a further key source, or from the track's first key source.
    std::set<std::uint64_t> keyed_standin_instances;
    std::set<std::int32_t> folder_track_indices;      // output track indices
    std::map<std::int32_t, std::string> folder_text;  // output track index -> ISBUS text
    std::int32_t folder_mode = -1;  // -1 no folder row, 0 flat folders, 1 folder links present
    std::vector<std::string> unwritten_folders;
    TrackWiringCounts counts;

    void reset() { *this = TrackWiringState{}; }
};
extern TrackWiringState track_wiring;

// The key source index of a keyed instance (its input pins move by twice it); 0 when none.
std::int32_t key_source_index(std::uint64_t block_pos);

// Whether an instance is keyed (its stand-in takes the key on channels 3 and up).
bool is_keyed_standin(std::uint64_t block_pos);
