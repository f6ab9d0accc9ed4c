// Block lists that the mixer readers share: each collected once, in position order, so that a
// reader asking "the first block of this type inside that one" answers by a binary search rather
// than by a scan per question.
#pragma once

#include <cstdint>
#include <vector>

#include "session/scan.h"

// Every block of `content_type` whose block type's high byte is 0, whose size is not 0 and that
// ends inside the bytes, in position order.
std::vector<BlockHeader> collect_blocks(SessionBytes bytes, std::uint16_t content_type);

// The first block of `blocks` (in position order) whose position lies strictly between `after`
// and `before`, or null.
const BlockHeader* first_block_between(const std::vector<BlockHeader>& blocks, std::uint64_t after,
                                       std::uint64_t before);
