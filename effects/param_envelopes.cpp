#include "effects/param_envelopes.h"

#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "convert/writer/envelopes.h"
#include "convert/writer/writer_summary.h"
#include "effects/fx_lanes.h"
#include "effects/fx_text.h"
#include "plugins/plugin_state.h"
#include "util/guid.h"
#include "util/names.h"
#include "util/number_text.h"

ParamEnvelopeState param_envelope_state;

void reset_param_envelope_state() {
    param_envelope_state = ParamEnvelopeState{};
}

namespace {

constexpr const char* kIndent = "      ";

// 1 to 6 decimal digits without a leading zero ("0" itself is a number).
std::optional<std::int64_t> lane_number(std::string_view text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    if (text.size() > 1 && text[0] == '0') return std::nullopt;
    std::int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

// One pass over the parameter names: `name_of` turns a stored name into the one compared.
// Returns 1 with `index` set on a hit, 0 on none, -1 when both near indices match (the lane then
// goes unplaced, whatever a later pass would find).
template <typename NameOf>
int match_names(const std::map<std::uint32_t, std::string>& names, const std::string& lane_name,
                std::int64_t near1, std::int64_t near2, NameOf name_of, std::int64_t& index) {
    auto matches_at = [&](std::int64_t i) {
        if (i < 0 || i > std::numeric_limits<std::uint32_t>::max()) return false;
        const auto it = names.find(static_cast<std::uint32_t>(i));
        return it != names.end() && name_of(it->second) == lane_name;
    };
    const bool first = matches_at(near1);
    const bool second = matches_at(near2);
    if (first && second) return -1;
    if (first || second) {
        index = first ? near1 : near2;
        return 1;
    }
    std::int64_t found = -1;
    int hits = 0;
    for (const auto& [i, name] : names)
        if (name_of(name) == lane_name) {
            found = i;
            ++hits;
        }
    if (hits != 1) return 0;
    index = found;
    return 1;
}

double unit_value(double value) {
    if (!std::isfinite(value)) return value > 0 ? 1.0 : 0.0;
    return std::min(1.0, std::max(0.0, value));
}

double point_seconds(double time, bool in_ticks) {
    const double seconds = automation_time_seconds(time, in_ticks);
    return std::isfinite(seconds) && seconds > 0 ? seconds : 0.0;
}

bool has_lines(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

void append_param_envelope(std::string& out, std::string_view head, const std::string& guid,
                           bool active, std::optional<double> held_from_start,
                           std::span<const CurvePoint> points) {
    append_format(out,
                  "%s<PARMENV %.*s\n%s  EGUID %s\n%s  ACT %d -1\n%s  VIS 1 1 1\n"
                  "%s  LANEHEIGHT 0 0\n%s  ARM 0\n%s  DEFSHAPE 0 -1 -1\n",
                  kIndent, static_cast<int>(head.size()), head.data(), kIndent, guid.c_str(),
                  kIndent, active ? 1 : 0, kIndent, kIndent, kIndent, kIndent);
    if (held_from_start) append_format(out, "%s  PT 0 %.9f 0\n", kIndent, *held_from_start);
    for (const CurvePoint& point : points)
        append_format(out, "%s  PT %.10f %.9f 0\n", kIndent, point.time, point.value);
    append_format(out, "%s>\n", kIndent);
}

std::optional<std::uint32_t> vendor_param_offset(std::string_view key) {
    for (const char* prefix : {"FabF", "oDinvee3", "ikm_Atx3", "NiInNi$D", "UHfXDiVa"})
        if (key.starts_with(prefix)) return 2;
    for (const char* prefix : {"VstPXfTT", "sftbTTCC", "JptrATLv", "iZtp"})
        if (key.starts_with(prefix)) return 1;
    return std::nullopt;
}

bool is_bypass_lane(const AutomationLane& lane) {
    return lane.name == "Global Bypass" || lane.name == "Master Bypass";
}

LaneMatch match_lane_index(const AutomationLane& lane, std::string_view type_text,
                           std::int64_t& index) {
    const std::int64_t near1 = static_cast<std::int64_t>(lane.lane_word) - 1;
    const std::int64_t near2 = static_cast<std::int64_t>(lane.lane_word) - 2;
    if (const auto n = lane_number(lane.second_name); n && (*n == near1 || *n == near2)) {
        index = *n;
        return LaneMatch::by_number;
    }
    if (type_text.empty()) return LaneMatch::none;
    const auto& tables = plugin_knowledge.param_names.names_by_plugin;
    const auto table = tables.find(std::string(type_text));
    if (table == tables.end()) return LaneMatch::none;
    const int stored = match_names(
        table->second, lane.name, near1, near2, [](const std::string& s) { return s; }, index);
    if (stored == 1) return LaneMatch::by_name;
    if (stored == -1) return LaneMatch::none;
    const int cut =
        match_names(table->second, lane.name, near1, near2, cut_after_colon_space, index);
    return cut == 1 ? LaneMatch::by_name : LaneMatch::none;
}

std::uint32_t write_param_envelopes(std::FILE* file, const SessionPluginInstance& instance,
                                    const PluginRuleRow* row, const std::string& track) {
    ParamEnvelopeState& st = param_envelope_state;
    const std::string type_text = row && row->type_text ? row->type_text : "";
    const std::optional<std::uint32_t> offset = vendor_param_offset(plugin_key(instance));
    std::set<std::int64_t> written;
    std::uint32_t total = 0;
    for (const AutomationLane& lane : instance.lanes) {
        if (lane.points.empty()) continue;
        if (is_bypass_lane(lane)) {
            ++st.bypass_lanes;
            continue;
        }
        std::int64_t index = -1;
        const LaneMatch match = match_lane_index(lane, type_text, index);
        bool active = true;
        std::string name = lane.name;
        if (match == LaneMatch::none) {
            if (!type_text.empty() && !has_lines(type_text))
                writer_summary.wanted_param_plugins.insert(type_text);
            if (offset) {
                index = static_cast<std::int64_t>(lane.lane_word) - *offset;
            } else {
                index = static_cast<std::int64_t>(lane.lane_word) - 1;
                name = "ASSIGN: " + lane.name;
                active = false;
            }
        }
        // A session word may place a lane below 0 or past what "%d" holds, and two lanes of one
        // slot may land on one index: REAPER keeps one envelope per parameter.
        if (index < 0 || index > std::numeric_limits<std::int32_t>::max() ||
            !written.insert(index).second) {
            ++st.unplaced_lanes;
            continue;
        }
        if (match == LaneMatch::by_number) ++st.by_number;
        if (match == LaneMatch::by_name) ++st.by_name;
        if (!active) ++st.assign_lanes[{track, type_text.empty() ? lane.name : type_text}];

        if (!type_text.empty()) name += " / " + type_text;
        const std::uint32_t seed =
            static_cast<std::uint32_t>(instance.block_pos << 4) ^ (lane.lane_word * 0x9E3779B1u);
        const int i = static_cast<int>(index);
        // A lane that starts late holds its initial value from the start.
        std::optional<double> held;
        if (point_seconds(lane.points.front().time, lane.in_ticks) > 0)
            held = unit_value(lane.initial_value);
        std::vector<CurvePoint> seconds;
        for (const CurvePoint& point : lane.points)
            seconds.push_back({point_seconds(point.time, lane.in_ticks), unit_value(point.value)});
        std::string head;
        append_format(head, "%d:%d 0 1 0.5 %s", i, i, fx_token(name).c_str());
        std::string text;
        append_param_envelope(text, head, guid_from_seed(seed), active, held, seconds);
        std::fputs(text.c_str(), file);
        const auto points = static_cast<std::uint32_t>(lane.points.size());
        total += points;
        if (active) st.points += points;
    }
    return total;
}
