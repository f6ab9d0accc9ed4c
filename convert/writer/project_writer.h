// The project text top to bottom: header and project settings, tempo envelope and markers, the
// master track, then one block per output track.
//
// Every input comes in one plain record. What later stages will provide (the tempo envelope and
// markers, effect chains, the ReaSurroundPan blocks, the items, the tracks after the last output
// track) is handed in as callbacks, called at their place; an empty callback writes nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "convert/writer/project_header.h"
#include "convert/writer/track_writer.h"
#include "model/mix_records.h"
#include "model/output_model.h"
#include "model/plugin_instance.h"
#include "model/session_send.h"
#include "model/track_comment.h"

struct ProjectWriteHooks {
    // The tempo envelope, markers and regions, between the project settings and the master.
    std::function<void(std::FILE*)> write_tempo_and_markers;
    // The master's MASTERFXLIST; returns the number of slots written.
    std::function<int(std::FILE*)> write_master_fx_chain;
    // Per track: ReaSurroundPan, the effect chain, the items (see TrackWriteHooks).
    TrackWriteHooks track;
    // After the last output track, before the project closes: send-return buses, the solo
    // helper track, the ARA blocks.
    std::function<void(std::FILE*)> write_after_tracks;
};

struct ProjectWriteInput {
    // Where the text goes.
    std::string session_path;
    std::string output_path;  // -o; empty: beside the session
    std::uint8_t check = 0;   // to the null device
    std::uint8_t overwrite = 0;

    // Options the text depends on.
    CommentsMode comments_mode = CommentsMode::project;
    std::uint8_t no_sidechain = 0;

    // The session.
    std::int64_t sample_rate = 48000;
    double tempo = 120.0;
    ProjectSettingsRead session_settings;  // `read_project_settings`
    std::string master_fader_name;
    std::span<const TrackLaneSet> lane_sets;
    std::span<const TrackComment> comments;
    // Plug-in instances by session track name, for the click track; none: no click track.
    const std::map<std::string, std::vector<SessionPluginInstance>>* plugins_by_track = nullptr;

    // The output tracks in the order written, and what each block reads besides the track
    // (by position; a missing entry is a default TrackWriteInput).
    std::span<const OutputTrack> tracks;
    std::vector<TrackWriteInput> track_inputs;
    // Video and bus tracks after the output tracks (bus k is track n + video tracks + k).
    std::size_t tracks_after = 0;
    // Sends as receives by destination name (`prepare_sends`).
    std::map<std::string, std::vector<SessionSend>> receives;
    PolarityTables polarity;

    ProjectWriteHooks hooks;
};

// Writes the whole project text to an open file.
void write_project_text(std::FILE* file, const ProjectWriteInput& in);

// Stage "writing": chooses the output name, opens the file, writes the project text and closes
// it. `written_path` gets the project's name: the free " (n)" name when the first was taken; under
// --check the name the project would have had (the text went to the null device). Returns 0, or
// 1 when the file could not be opened or written ("Could not write" said).
int write_project(const ProjectWriteInput& in, std::string& written_path);
