#include "effects/fx_lanes.h"

std::uint32_t write_param_envelopes(std::FILE*, const SessionPluginInstance&,
                                    const PluginRuleRow*) {
    return 0;
}

void count_unwritten_lanes_by_fx(const SessionPluginInstance&, const PluginRuleRow*) {}

void count_unwritten_lanes_by_key(const SessionPluginInstance&, std::string_view) {}
