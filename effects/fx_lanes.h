// The automation lanes of a plug-in slot in its block: PARMENV envelopes for a carried state
// (`effects/param_envelopes.*`), and the count of lanes that stay unwritten otherwise.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "model/plugin_instance.h"
#include "plugins/plugin_rules.h"

// Writes the slot's parameter envelopes, six blanks in; returns the points written. Lanes
// written switched off are counted under `track`.
std::uint32_t write_param_envelopes(std::FILE* file, const SessionPluginInstance& instance,
                                    const PluginRuleRow* row, const std::string& track);
// Counts the lanes of a slot on `track` written without its state: under the rule's type text,
// or the rule's display name (else the AAX id) when it has none.
void count_unwritten_lanes_by_fx(const SessionPluginInstance& instance, const PluginRuleRow* row,
                                 const std::string& track);
// Counts the lanes of a slot on `track` written as a stand-in, under `key`.
void count_unwritten_lanes_by_key(const SessionPluginInstance& instance, std::string_view key,
                                  const std::string& track);
