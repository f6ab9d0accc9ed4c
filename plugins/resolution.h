// The resolution pass: which REAPER plug-in stands for each distinct Pro Tools plug-in of the
// session, decided once per conversion after REAPER's cache is read, and the CLAP preference.
// Each decision prints one console line "    KEY -> TYPE TEXT [reason]", keys in byte order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/plugin_instance.h"
#include "plugins/plugin_rules.h"

// The state bytes a plug-in's stored settings give for a REAPER build (empty when they cannot
// be carried), asked before a key is moved to its CLAP build.
using StateProbe = std::function<std::string(const SessionPluginInstance&, const PluginRuleRow&)>;

// The number of instances with the key; true when every one of them stores settings of a kind a
// VST2 build can take (kinds 1 and 10).
bool count_instances_with_key(const std::vector<SessionPluginInstance>& instances,
                              std::string_view key, std::uint32_t& count);

// The pass over the session's instances, with the names Pro Tools stores by AAX id. Adds records
// and rows to `plugin_knowledge`; returns the number of records added. Does nothing while the
// cache is empty. `builtin` are the rows the pass starts from (the program's own by default).
int resolve_session_plugins(const std::vector<SessionPluginInstance>& instances,
                            const std::map<std::string, std::string>& stored_names,
                            bool prefer_vst3,
                            std::span<const PluginRuleRow> builtin = builtin_rule_rows());

// --prefer-clap: moves each key to its CLAP build when the probe carries its first instance's
// settings there. Returns the number of keys moved.
int apply_prefer_clap(const std::vector<SessionPluginInstance>& instances, const StateProbe& probe);
