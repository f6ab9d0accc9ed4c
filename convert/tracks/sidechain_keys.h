// Sidechain keys: which track feeds the key input of every keyed plug-in, and the plug-ins that
// look like one multi-mono plug-in stored as two records.
//
// A keyed instance names its key input by a 0x260e key (`channel_word`); the 0x260e name is a
// track, a bus, or one leg ("Bus 1.L") of a bus.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>

#include "convert/tracks/track_wiring.h"
#include "model/mix_records.h"
#include "model/output_model.h"
#include "session/channel_entries.h"

// Second records of neighbouring instances of one plug-in keyed off the two one-channel legs of
// a two-channel track; prints the multi-mono note once per pair.
std::set<std::uint64_t> find_multi_mono_pairs(
    const PluginsByTrack& plugins, std::span<const ChannelEntry> entries,
    const std::map<std::uint16_t, std::string>& key_names);

struct SidechainKeyInput {
    const PluginsByTrack* plugins = nullptr;
    const NameIndex* index = nullptr;
    const std::map<std::uint16_t, std::string>* key_names = nullptr;  // 0x260e key -> name
    std::span<const OutputTrack> tracks;
    bool resolve_keys = true;  // off under --no-sidechain or without instances
};

// The key sources of every keyed instance into `wiring` (first and further key sources, the
// buses keys come from, the unresolved instances) and `track_wiring` (the per-instance tables
// and counts). Reads `wiring.multi_mono_pairs` and `wiring.bus_track_numbers`.
void wire_sidechain_keys(const SidechainKeyInput& in, TrackWiring& wiring);
