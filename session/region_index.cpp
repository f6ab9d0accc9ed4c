#include "session/region_index.h"

#include <algorithm>

RegionsByIndex index_regions(const std::vector<SessionRegion>& regions) {
    RegionsByIndex out;
    out.regions = &regions;
    for (std::size_t i = 0; i < regions.size() && out.by_place; ++i)
        out.by_place = regions[i].region_index == i;
    if (out.by_place) return out;
    out.places.reserve(regions.size());
    for (std::size_t i = 0; i < regions.size(); ++i)
        out.places.emplace_back(regions[i].region_index, static_cast<std::uint32_t>(i));
    std::sort(out.places.begin(), out.places.end());
    return out;
}

const SessionRegion* find_region(const RegionsByIndex& by_index, std::uint32_t index) {
    if (by_index.regions == nullptr) return nullptr;
    const std::vector<SessionRegion>& regions = *by_index.regions;
    if (by_index.by_place) return index < regions.size() ? &regions[index] : nullptr;
    const auto at = std::lower_bound(by_index.places.begin(), by_index.places.end(),
                                     std::pair<std::uint32_t, std::uint32_t>{index, 0});
    return at != by_index.places.end() && at->first == index ? &regions[at->second] : nullptr;
}
