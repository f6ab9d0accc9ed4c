#include "convert/tracks/session_plugins.h"

#include "plugins/plugin_rules.h"

PluginTrackTies tie_session_plugins(const SessionReading& reading, const std::uint8_t* data,
                                    std::size_t length) {
    PluginTrackInput in;
    in.bytes = session_bytes(data, length);
    in.instances = reading.plugin_instances;
    in.lane_sets = reading.lane_sets;
    in.lane_groups = reading.lane_groups;
    in.rule_name = [](const SessionPluginInstance& instance) -> const char* {
        const PluginRuleRow* rule = find_mapping_rule(plugin_key(instance));
        if (rule == nullptr || rule->display_name == nullptr || rule->display_name[0] == '\0')
            return nullptr;
        return rule->display_name;
    };
    return tie_plugins_to_tracks(in);
}

void apply_plugin_ties(const PluginTrackTies& ties, std::span<const OutputTrack> tracks,
                       ProjectWriteInput& project) {
    project.plugins_by_track = &ties.plugins_by_track;
    project.polarity.flips_left = ties.flips_left;
    project.polarity.flips_right = ties.flips_right;
    if (ties.channel_side.empty()) return;
    if (project.track_inputs.size() < tracks.size()) project.track_inputs.resize(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const std::string& name =
            tracks[i].session_name.empty() ? tracks[i].name : tracks[i].session_name;
        const auto side = ties.channel_side.find(name);
        if (side != ties.channel_side.end()) project.track_inputs[i].channel_side = side->second;
    }
}
