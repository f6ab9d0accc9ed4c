// A session's regions looked up by their index, as the walk's placements, the clip stage and
// the clip groups name them. Regions are numbered from 0 in the order met, so a region's index is
// nearly always its place in the list: then the place is the answer and nothing more is held. A
// damaged session may repeat or skip indexes: then a sorted list of (index, place) answers, eight
// bytes a region, and an index answers with the first region that bears it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "model/session_layout.h"

struct RegionsByIndex {
    const std::vector<SessionRegion>* regions = nullptr;
    // Every region at its own index: looked up by place.
    bool by_place = true;
    // Otherwise (index, place), ascending: an index's first place comes first.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> places;
};

RegionsByIndex index_regions(const std::vector<SessionRegion>& regions);

// The first region of the list whose index is `index`; null for none.
const SessionRegion* find_region(const RegionsByIndex& by_index, std::uint32_t index);
