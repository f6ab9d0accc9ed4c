#include "plugins/learned_table.h"

#include <string_view>
#include <vector>

#include "plugins/table_lines.h"
#include "util/names.h"

namespace {

constexpr std::size_t kLearnedLineBuffer = 4096;

std::vector<std::string_view> split_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t bar = line.find('|');
        fields.push_back(trim_blanks(line.substr(0, bar)));
        if (bar == std::string_view::npos) break;
        line.remove_prefix(bar + 1);
    }
    return fields;
}

// A numeric field read as its leading decimal number; missing, empty or unreadable fields keep
// the default.
std::uint32_t number_field(const std::vector<std::string_view>& fields, std::size_t index,
                           std::uint32_t fallback) {
    std::uint32_t value = fallback;
    if (index < fields.size() && !leading_u32(fields[index], value)) value = fallback;
    return value;
}

bool take_line(std::string_view line, PluginKnowledge& knowledge) {
    if (!line.empty() && line.front() == '#') return false;
    const std::vector<std::string_view> fields = split_fields(line);
    if (fields.size() < 4 || fields[0].size() < kAaxIdLength || fields[3].empty()) return false;

    PluginResolution record;
    record.key = std::string(
        fields[0].substr(0, fields[0].size() >= kShellKeyLength ? kShellKeyLength : kAaxIdLength));
    record.type_text = std::string(fields[1]);
    record.display_name = fields[1].empty() ? record.key : record.type_text;
    record.file = std::string(fields[2]);
    record.id_text = std::string(fields[3]);
    if (fields.size() > 7) record.preset_name = std::string(fields[7]);
    record.id_known = 1;
    LearnedPins pins;
    pins.input_pins = number_field(fields, 4, 2);
    pins.output_pins = number_field(fields, 5, 2);
    pins.tail_word = number_field(fields, 6, 0);
    // REAPER saves every VST3 with the tail 0x0010FFFF: a line without one (or with 0) takes it.
    if (pins.tail_word == 0 && record.id_text.find('{') != std::string::npos)
        pins.tail_word = reaper_header_tail_word(record.id_text);
    if (fields.size() > 8 && to_lower_copy(fields[8]) == "feed5eef")
        pins.header_magic = kVstHeaderMagicAlt;
    knowledge.resolutions.push_back(std::move(record));
    knowledge.learned_pins.push_back(pins);
    return true;
}

}  // namespace

int load_learned_plugins(const std::string& path, PluginKnowledge& knowledge) {
    const std::size_t first = knowledge.resolutions.size();
    const std::size_t first_pins = knowledge.learned_pins.size();
    int taken = 0;
    read_table_lines(path, kLearnedLineBuffer, [&](std::string_view line) {
        if (take_line(line, knowledge)) ++taken;
    });
    // Rows are made only now: every record they point at is in place.
    for (std::size_t i = first; i < knowledge.resolutions.size(); ++i) {
        const PluginResolution& record = knowledge.resolutions[i];
        const LearnedPins& pins = knowledge.learned_pins[first_pins + i - first];
        PluginRuleRow row;
        point_row_at(row, record);
        row.input_pins = pins.input_pins;
        row.output_pins = pins.output_pins;
        row.tail_word = pins.tail_word;
        row.header_magic = pins.header_magic;
        if (!record.preset_name.empty())
            row.preset_name = record.preset_name.c_str();
        else if (starts_with(record.key, "FabF"))
            row.preset_name = "Default Setting";
        knowledge.learned_rows.push_back(row);
    }
    knowledge.learned_table_rows = knowledge.learned_rows.size();
    return taken;
}
