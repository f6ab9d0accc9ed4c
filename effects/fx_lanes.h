// The automation lanes of a plug-in slot in its block: PARMENV envelopes for a carried state, and
// the count of lanes that stay unwritten otherwise. Parameter envelopes are not written yet: every
// call writes and counts nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "model/plugin_instance.h"
#include "plugins/plugin_rules.h"

// Writes the slot's parameter envelopes; returns the points written.
std::uint32_t write_param_envelopes(std::FILE* file, const SessionPluginInstance& instance,
                                    const PluginRuleRow* row);
// Counts the lanes of a slot written without its state, by its rule or by a stand-in's name.
void count_unwritten_lanes_by_fx(const SessionPluginInstance& instance, const PluginRuleRow* row);
void count_unwritten_lanes_by_key(const SessionPluginInstance& instance, std::string_view key);
