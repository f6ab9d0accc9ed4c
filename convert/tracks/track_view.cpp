#include "convert/tracks/track_view.h"

TrackViewStore track_views;

const TrackViewState* find_track_view(const std::string& name, const std::string& other_name,
                                      const TrackViewStore& store) {
    auto found = store.by_name.find(name);
    if (found == store.by_name.end()) found = store.by_name.find(other_name);
    return found == store.by_name.end() ? nullptr : &found->second;
}

std::int32_t track_view_height(const std::string& name, const std::string& other_name,
                               const TrackViewStore& store) {
    const TrackViewState* state = find_track_view(name, other_name, store);
    return state && state->height > 0 ? state->height : 0;
}

std::int32_t track_view_solo(const std::string& name, const std::string& other_name,
                             const TrackViewStore& store) {
    const TrackViewState* state = find_track_view(name, other_name, store);
    return state && state->solo_state == 1 ? 2 : 0;
}

std::int32_t track_view_solo_safe(const std::string& name, const std::string& other_name,
                                  const TrackViewStore& store) {
    const TrackViewState* state = find_track_view(name, other_name, store);
    return state && state->solo_safe_state == 1 ? 1 : 0;
}

std::int32_t reaper_automode(std::int32_t stored_mode, std::int32_t fallback) {
    switch (stored_mode) {
        case 0:
        case 1:
        case 2:
            return stored_mode;
        case 3:
        case 5:
            return 4;
        case 4:
            return 3;
        default:
            return fallback;
    }
}

std::int32_t track_view_automode(const std::string& name, const std::string& other_name,
                                 std::int32_t fallback, const TrackViewStore& store) {
    const TrackViewState* state = find_track_view(name, other_name, store);
    return state ? reaper_automode(state->automation_mode, fallback) : fallback;
}
