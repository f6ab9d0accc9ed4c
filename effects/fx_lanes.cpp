#include "effects/fx_lanes.h"

#include <map>
#include <string>

#include "effects/param_envelopes.h"

namespace {

void count_lanes(const SessionPluginInstance& instance,
                 std::map<TrackPlugin, std::uint32_t>& counts, const TrackPlugin& key) {
    for (const AutomationLane& lane : instance.lanes) {
        if (lane.points.empty()) continue;
        if (is_bypass_lane(lane))
            ++param_envelope_state.bypass_lanes;
        else
            ++counts[key];
    }
}

}  // namespace

void count_unwritten_lanes_by_fx(const SessionPluginInstance& instance, const PluginRuleRow* row,
                                 const std::string& track) {
    std::string key;
    if (row && row->type_text && *row->type_text)
        key = row->type_text;
    else if (row && row->display_name && *row->display_name)
        key = row->display_name;
    else
        key = instance.aax_id;
    count_lanes(instance, param_envelope_state.lanes_by_fx, {track, key});
}

void count_unwritten_lanes_by_key(const SessionPluginInstance& instance, std::string_view key,
                                  const std::string& track) {
    count_lanes(instance, param_envelope_state.lanes_by_key, {track, std::string(key)});
}
