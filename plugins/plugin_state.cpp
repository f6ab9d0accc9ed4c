#include "plugins/plugin_state.h"

PluginKnowledge plugin_knowledge;

void reset_plugin_knowledge() {
    plugin_knowledge = PluginKnowledge{};
}
