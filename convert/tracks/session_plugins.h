// The driver's step between stage "reading" and the clip stage: the session's plug-in instances
// tied to their tracks, and what the project writer takes from that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "convert/reading/stage_reading.h"
#include "convert/tracks/plugin_tracks.h"
#include "convert/writer/project_writer.h"
#include "model/output_model.h"

// Ties the instances read in stage "reading", naming multi-mono slots by their mapping rule.
PluginTrackTies tie_session_plugins(const SessionReading& reading, const std::uint8_t* data,
                                    std::size_t length);

// The instances by track, the Trims' polarity flips and the one-channel legs of stereo output
// paths (by the track's session name, else its written name) into the writer's input. `ties`
// must outlive `project`.
void apply_plugin_ties(const PluginTrackTies& ties, std::span<const OutputTrack> tracks,
                       ProjectWriteInput& project);
