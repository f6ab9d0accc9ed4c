#include "convert/summary/wanted_params.h"

#include <cstdio>

void write_wanted_params_file(const std::string& path, const std::set<std::string>& plugins) {
    if (path.empty()) return;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    for (const std::string& plugin : plugins) {
        std::fwrite(plugin.data(), 1, plugin.size(), file);
        std::fputc('\n', file);
    }
    std::fclose(file);
}
