// What a conversion learns about plug-ins before any track is written: the learned table, the
// parameter-name tables, REAPER's cache and, with a cache, the resolution pass; each with its
// console lines.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "model/plugin_instance.h"
#include "plugins/resolution.h"

// The session's plug-in instances and the names Pro Tools stores for them, by AAX id.
struct SessionPlugins {
    const std::vector<SessionPluginInstance>* instances = nullptr;
    const std::map<std::string, std::string>* stored_names = nullptr;
};

// Fills `plugin_knowledge`; `session_folder` is where the session lies. The probe tells the CLAP
// preference whether a plug-in's settings carry to its CLAP build.
void load_plugin_knowledge(const ConvertOptions& options, const std::string& session_folder,
                           const SessionPlugins& session, const StateProbe& probe);

// The --dump-cache listing of every cache entry.
void print_cache_dump();
