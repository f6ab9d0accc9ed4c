#include "session/track_names.h"

#include <algorithm>
#include <array>

#include "session/mixer_blocks.h"

namespace {

constexpr std::uint16_t kNameType = 0x2619;
constexpr std::uint16_t kFolderType = 0x261d;
constexpr std::uint16_t kAudioTrackType = 0x261b;
constexpr std::uint16_t kLaneListType = 0x2627;
constexpr std::uint16_t kStripRowType = 0x251a;
constexpr std::array<std::uint16_t, 6> kNamedTypes = {0x261b, 0x261d, 0x261f,
                                                      0x2620, 0x2621, 0x2623};
constexpr std::uint32_t kMaxNameLength = 80;

std::string text_at(SessionBytes bytes, std::size_t pos) {
    std::string_view text;
    if (!read_text_at(bytes, pos, bytes.size(), 1, kMaxNameLength, TextBytes::name, text))
        return {};
    return std::string(text);
}

}  // namespace

const std::string& display_name(const NamedBlockEntry& entry) {
    return entry.second_name.empty() ? entry.name : entry.second_name;
}

void read_track_names(const std::uint8_t* data, std::size_t length,
                      std::vector<NamedBlockEntry>& out, std::uint8_t* names_assigned) {
    out.clear();
    if (names_assigned) *names_assigned = 0;
    const SessionBytes bytes = session_bytes(data, length);

    std::vector<BlockHeader> named;
    for (std::uint16_t type : kNamedTypes) {
        std::vector<BlockHeader> blocks = collect_blocks(bytes, type);
        named.insert(named.end(), blocks.begin(), blocks.end());
    }
    std::sort(named.begin(), named.end(),
              [](const BlockHeader& a, const BlockHeader& b) { return a.position < b.position; });
    const std::vector<BlockHeader> names = collect_blocks(bytes, kNameType);
    std::vector<std::uint64_t> lane_lists;
    scan_blocks(bytes, kLaneListType, length, [&](const BlockHeader& block) {
        if (high_byte_zero(block)) lane_lists.push_back(block.position);
        return false;
    });

    // In position order, a 0x261b block lies strictly inside a 0x261d block when some 0x261d
    // block before it ends after it.
    std::uint64_t folder_end = 0;
    for (const BlockHeader& block : named) {
        if (block.content_type == kAudioTrackType && folder_end > block.position) continue;
        if (block.content_type == kFolderType) folder_end = std::max(folder_end, block.end());
        NamedBlockEntry entry;
        entry.block_start = block.position;
        entry.block_end = block.end();
        entry.content_type = block.content_type;
        if (const BlockHeader* name = first_block_between(names, block.position, block.end()))
            entry.name = text_at(bytes, static_cast<std::size_t>(name->position) + 9);
        const auto lanes = std::lower_bound(lane_lists.begin(), lane_lists.end(), block.position);
        if (lanes != lane_lists.end() && *lanes > block.position && data[*lanes - 1] == 0)
            entry.flag = 0;
        out.push_back(std::move(entry));
    }

    std::vector<std::string> row_names;
    for (const BlockHeader& row : collect_blocks(bytes, kStripRowType)) {
        std::string name = text_at(bytes, static_cast<std::size_t>(row.position) + 11);
        if (!name.empty()) row_names.push_back(std::move(name));
    }
    if (out.empty() || (row_names.size() != out.size() && row_names.size() != 2 * out.size()))
        return;
    for (std::size_t i = 0; i < out.size(); ++i) out[i].second_name = row_names[i];
    if (names_assigned) *names_assigned = 1;
}
