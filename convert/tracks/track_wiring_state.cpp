#include "convert/tracks/track_wiring_state.h"

TrackWiringState track_wiring;

std::int32_t key_source_index(std::uint64_t block_pos) {
    const auto it = track_wiring.key_source_index_by_instance.find(block_pos);
    return it == track_wiring.key_source_index_by_instance.end() ? 0 : it->second;
}

bool is_keyed_standin(std::uint64_t block_pos) {
    return track_wiring.keyed_standin_instances.count(block_pos) != 0;
}
