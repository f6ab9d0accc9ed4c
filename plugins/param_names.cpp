#include "plugins/param_names.h"

#include <string_view>

#include "plugins/table_lines.h"

namespace {

constexpr std::size_t kParamLineBuffer = 1024;
constexpr std::size_t kMaxIndexDigits = 6;

bool take_row(std::string_view line, ParamNameTable& table) {
    std::string_view fields[4];
    for (int i = 0; i < 3; ++i) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return false;
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    fields[3] = line.substr(0, line.find('\t'));
    const std::string_view plugin = fields[0], build = fields[1], index = fields[2],
                           name = fields[3];
    if (plugin == "plugin" || plugin.empty() || name.empty()) return false;
    if (index.empty() || index.size() > kMaxIndexDigits) return false;
    std::uint32_t number = 0;
    for (char c : index) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
    }
    table.names_by_plugin[std::string(plugin)][number] = std::string(name);
    table.names_by_build[std::string(plugin)][std::string(build)][number] = std::string(name);
    return true;
}

}  // namespace

int read_param_table(const std::string& path, ParamNameTable& table) {
    int rows = 0;
    read_table_lines(path, kParamLineBuffer, [&](std::string_view line) {
        if (take_row(line, table)) ++rows;
    });
    return rows;
}

void merge_param_name_tables(ParamNameTable& table) {
    for (const auto& [plugin, builds] : table.names_by_build) {
        if (builds.size() < 2) continue;
        std::map<std::uint32_t, std::string> agreed = builds.begin()->second;
        for (const auto& [build, names] : builds) {
            for (auto it = agreed.begin(); it != agreed.end();) {
                const auto other = names.find(it->first);
                if (other == names.end() || other->second != it->second)
                    it = agreed.erase(it);
                else
                    ++it;
            }
        }
        table.names_by_plugin[plugin] = std::move(agreed);
    }
}
