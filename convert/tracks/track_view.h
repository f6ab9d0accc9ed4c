// The track view states of one conversion, by track name, and the lookups the track stage and
// the project writer make on them. Every lookup takes the track's name and the name it had in
// the session, tried when the first finds nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "model/track_view_state.h"

struct TrackViewStore {
    std::map<std::string, TrackViewState> by_name;
    void reset() { by_name.clear(); }
};
// Filled by the driver from the session's channel strips; emptied by the run reset.
extern TrackViewStore track_views;

// The state of `name`, else of `other_name`, else null.
const TrackViewState* find_track_view(const std::string& name, const std::string& other_name,
                                      const TrackViewStore& store = track_views);

// The height in pixels; negative heights and unknown tracks give 0.
std::int32_t track_view_height(const std::string& name, const std::string& other_name,
                               const TrackViewStore& store = track_views);

// 2 for a soloed track, else 0: the solo field of MUTESOLO.
std::int32_t track_view_solo(const std::string& name, const std::string& other_name,
                             const TrackViewStore& store = track_views);

// 1 for a solo-safe track, else 0: the third MUTESOLO field.
std::int32_t track_view_solo_safe(const std::string& name, const std::string& other_name,
                                  const TrackViewStore& store = track_views);

// REAPER's automation mode: Off, Read and Touch as they are, Latch and Touch/Latch as Latch (4),
// Write as Write (3); any other mode gives `fallback`.
std::int32_t reaper_automode(std::int32_t stored_mode, std::int32_t fallback);

// The same for a track's stored view state; an unknown track gives `fallback`.
std::int32_t track_view_automode(const std::string& name, const std::string& other_name,
                                 std::int32_t fallback, const TrackViewStore& store = track_views);
