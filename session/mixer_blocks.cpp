#include "session/mixer_blocks.h"

#include <algorithm>

std::vector<BlockHeader> collect_blocks(SessionBytes bytes, std::uint16_t content_type) {
    std::vector<BlockHeader> out;
    scan_blocks(bytes, content_type, bytes.size(), [&](const BlockHeader& block) {
        if (high_byte_zero(block) && block.size != 0 && block_fits(bytes, block))
            out.push_back(block);
        return false;
    });
    return out;
}

const BlockHeader* first_block_between(const std::vector<BlockHeader>& blocks, std::uint64_t after,
                                       std::uint64_t before) {
    const auto it =
        std::upper_bound(blocks.begin(), blocks.end(), after,
                         [](std::uint64_t pos, const BlockHeader& b) { return pos < b.position; });
    if (it == blocks.end() || it->position >= before) return nullptr;
    return &*it;
}
