#include "plugins/plugin_loading.h"

#include "app/output.h"
#include "platform/paths.h"
#include "plugins/learned_table.h"
#include "plugins/param_names.h"
#include "plugins/plugin_state.h"
#include "plugins/reaper_cache.h"
#include "util/names.h"

namespace {

// The program's folder, or empty when the program path names none (then the current folder,
// tried anyway, stands for it).
std::string program_folder(const std::string& program_path) {
    const std::size_t separator = program_path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : program_path.substr(0, separator);
}

void load_param_names(const ConvertOptions& options) {
    ParamNameTable& table = plugin_knowledge.param_names;
    table = ParamNameTable{};
    const bool given = !options.param_name_files.empty();
    std::vector<std::string> files = options.param_name_files;
    if (!given) {
        const std::string folder = folder_of(options.program_path);
        files = {join_path(folder, "lanwick-params.tsv"),
                 join_path(folder, "lanwick-params-local.tsv")};
    }
    for (const std::string& file : files) {
        const std::size_t before = table.names_by_plugin.size();
        if (read_param_table(file, table) > 0)
            say("  plug-in parameter names: %d plug-in build(s) from %s\n",
                static_cast<int>(table.names_by_plugin.size() - before), file.c_str());
        else if (given)
            say("  --params %s: nothing read\n", file.c_str());
    }
    merge_param_name_tables(table);
}

}  // namespace

void load_plugin_knowledge(const ConvertOptions& options, const std::string& session_folder,
                           const SessionPlugins& session, const StateProbe& probe) {
    const int learned =
        load_learned_plugins(plugin_table_path(options.program_path), plugin_knowledge);
    if (learned > 0) say("  %d plug-in(s) learned from lanwick-plugins.txt\n\n", learned);

    load_param_names(options);

    const int entries = read_reaper_plugin_cache(
        options.reaper_vst_cache_file, session_folder, program_folder(options.program_path),
        plugin_knowledge.cache, plugin_knowledge.cache_path);
    if (entries > 0) {
        say("  plug-in cache: %d entries from %s\n", entries, plugin_knowledge.cache_path.c_str());
        static const std::vector<SessionPluginInstance> no_instances;
        static const std::map<std::string, std::string> no_names;
        const auto& instances = session.instances ? *session.instances : no_instances;
        const auto& names = session.stored_names ? *session.stored_names : no_names;
        int added = resolve_session_plugins(instances, names, options.prefer_vst3 != 0);
        if (options.prefer_clap) added += apply_prefer_clap(instances, probe);
        if (added == 0) say("    (nothing new matched)\n");
        say("\n");
    } else if (!options.reaper_vst_cache_file.empty()) {
        say("  could not read plug-in cache: %s\n\n", options.reaper_vst_cache_file.c_str());
    }
    if (options.dump_cache) print_cache_dump();
}

void print_cache_dump() {
    say("  --- plug-in cache dump ---\n");
    for (const ReaperPluginEntry& entry : plugin_knowledge.cache) {
        std::string id_text, type_text;
        describe_reaper_plugin(entry, id_text, type_text);
        say("    %-46s %s\n      %s\n", entry.file.c_str(), type_text.c_str(), id_text.c_str());
    }
    say("  --- %d entries ---\n\n", static_cast<int>(plugin_knowledge.cache.size()));
}
