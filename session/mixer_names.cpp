#include "session/mixer_names.h"

#include "session/channel_entries.h"
#include "session/mixer_blocks.h"
#include "util/bytes.h"

namespace {

constexpr std::uint16_t kOutputNameType = 0x260e;
constexpr std::uint16_t kMasterType = 0x261d;
constexpr std::uint16_t kNameType = 0x2619;
constexpr std::uint16_t kNoKey = 0xFFFF;
constexpr std::uint32_t kTrackKind = 2;

}  // namespace

void read_name_map_260e(const std::uint8_t* data, std::size_t length,
                        std::map<std::uint16_t, std::string>& out) {
    const SessionBytes bytes = session_bytes(data, length);
    for (const BlockHeader& block : collect_blocks(bytes, kOutputNameType)) {
        const std::size_t p = static_cast<std::size_t>(block.position);
        const std::uint16_t key = read_u16le_checked(bytes, p + 9);
        if (key == kNoKey) continue;
        const std::string_view name = first_text_from(
            bytes, p + 11, static_cast<std::size_t>(block.end()), 1, 80, TextBytes::printable);
        if (!name.empty()) out[key] = std::string(name);
    }
}

std::string read_first_261d_name(const std::uint8_t* data, std::size_t length) {
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<std::size_t> names;
    scan_blocks(bytes, kNameType, length, [&](const BlockHeader& block) {
        names.push_back(static_cast<std::size_t>(block.position));
        return false;
    });
    std::string out;
    scan_blocks(bytes, kMasterType, length, [&](const BlockHeader& block) {
        if (block.size <= 14 || !block_fits(bytes, block)) return false;
        const std::size_t end = static_cast<std::size_t>(block.end());
        const std::size_t at =
            first_position_in(names, static_cast<std::size_t>(block.payload()), end);
        std::string_view name;
        if (at >= end || !read_text_at(bytes, at + 9, bytes.size(), 1, 64, TextBytes::name, name))
            return false;
        out = std::string(name);
        return true;
    });
    return out;
}

void build_name_index(const std::uint8_t* data, std::size_t length,
                      std::span<const LaneGroup> groups, std::span<const std::string> display_names,
                      NameIndex& out) {
    std::vector<ChannelEntry> entries;
    read_channel_entries(data, length, entries);
    std::map<std::string, int> name_count;
    for (const ChannelEntry& e : entries)
        if (e.kind == kTrackKind) ++name_count[e.name];
    for (const ChannelEntry& e : entries) {
        if (e.kind != kTrackKind || name_count[e.name] != 1) continue;
        std::vector<std::uint32_t>& ids = out.ids_by_key[e.name];
        ids.clear();
        for (std::int32_t c : e.channels) ids.push_back(static_cast<std::uint32_t>(c));
    }
    std::map<std::pair<std::uint32_t, std::uint32_t>, const ChannelEntry*> by_ids;
    for (const ChannelEntry& e : entries)
        if (e.kind == kTrackKind) by_ids.emplace(std::make_pair(e.id_a, e.id_b), &e);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const LaneGroup& g = groups[i];
        if (g.kind != static_cast<std::int32_t>(kTrackKind) || g.channel_name.empty()) continue;
        const std::string& display =
            i < display_names.size() && !display_names[i].empty() ? display_names[i] : g.name;
        out.override_by_key[g.channel_name] = display;
        const auto entry = by_ids.find({g.id_a, g.id_b});
        if (entry == by_ids.end()) continue;
        for (std::int32_t c : entry->second->channels)
            out.name_by_id[static_cast<std::uint32_t>(c)] = display;
    }
}
