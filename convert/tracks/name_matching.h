// Pairing by name: the file-stem key that pairs clips and tracks by file name, the matching of
// MIDI tracks to the session's track names, and lookups over the session's name tables.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/mix_records.h"

// The name without a short extension (a last "." followed by fewer than 5 characters), then
// without a trailing "-" or "_" and digits, lower-cased: Take_12.wav gives take, Mix.final.wav
// gives mix.final, Take_.wav gives take_.
std::string file_stem_key(std::string_view name);

// Settles each wanted name against the available names. First, every wanted name equal to an
// unused available name takes it. Then each wanted name equal to no available name at all tries
// its alias (empty for none): the first available name equal to the alias, lower-cased, starts a
// window of four names, and the first unused one there that shares the alias's prefix (up to its
// first digit or "."; at least 2, else min(alias length, 3) characters, compared lower-cased)
// replaces the wanted name. `unmatched` gets 1 for each wanted name that found nothing.
void match_name_lists(const std::vector<std::string>& available, std::vector<std::string>& wanted,
                      const std::vector<std::string>& aliases,
                      std::vector<std::uint8_t>& unmatched);

// The session name of each MIDI track: its own name matched against the session's track names
// (those in `taken`, already the session name of a written track, left out), the alias being the
// file-stem key of the track's first MIDI item name (empty when it has none). Empty for a track
// that matches nothing.
std::vector<std::string> settle_midi_track_names(const std::vector<std::string>& session_names,
                                                 const std::set<std::string>& taken,
                                                 const std::vector<std::string>& midi_track_names,
                                                 const std::vector<std::string>& first_item_names);

// The name `key` stands for: its override (count 1); else the name of the first of its ids that
// has one (count: the distinct names among all its ids); else empty (count 0).
std::string resolve_name_via_index(const NameIndex& index, const std::string& key,
                                   int* count = nullptr);
