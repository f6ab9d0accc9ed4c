// Block lists that the mixer readers share: each collected once, in position order, so that a
// reader asking "the first block of this type inside that one" answers by a binary search rather
// than by a scan per question.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "session/scan.h"

// Every block of `content_type` whose block type's high byte is 0, whose size is not 0 and that
// ends inside the bytes, in position order.
std::vector<BlockHeader> collect_blocks(SessionBytes bytes, std::uint16_t content_type);

// The first block of `blocks` (in position order) whose position lies strictly between `after`
// and `before`, or null.
const BlockHeader* first_block_between(const std::vector<BlockHeader>& blocks, std::uint64_t after,
                                       std::uint64_t before);

// The first position from `from` on at which `pattern` stands in the bytes, or the bytes' size
// when there is none: memchr finds the pattern's rarest byte, and each hit is compared whole.
std::size_t find_next(SessionBytes bytes, std::string_view pattern, std::size_t from);

// Every position at which `pattern` stands in the bytes, ascending (one pass of `find_next`).
std::vector<std::size_t> find_all(SessionBytes bytes, std::string_view pattern);

// The first of `positions` (ascending) at or after `from` and below `before`, or `before` when
// there is none.
std::size_t first_position_in(const std::vector<std::size_t>& positions, std::size_t from,
                              std::size_t before);

// Where '*' 0 0 0, the mark before an 8-byte id, stands.
std::vector<std::size_t> id_marks(SessionBytes bytes);

// The first text with a u32 length of `min_length`..`max_length` whose length field stands at
// `from` or later and which ends at or before `end`, tried one byte further on each time. The
// search covers at most `kTextSearchSpan` positions, so that blocks nested inside one another
// are not each searched to a far end. Empty when none.
inline constexpr std::size_t kTextSearchSpan = 1024;
std::string_view first_text_from(SessionBytes bytes, std::size_t from, std::size_t end,
                                 std::uint32_t min_length, std::uint32_t max_length,
                                 TextBytes kind);

// For each position of `positions` (any order), the index into `ranges` of the range that
// strictly encloses it (start < position < end) and comes first by `before` among those that do;
// -1 when none does. One sweep in position order: no range is tested against every position.
struct BlockRange {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};
enum class EnclosingPick {
    first,     // the lowest index
    smallest,  // the shortest range, the lowest index among equal lengths
};
std::vector<std::ptrdiff_t> enclosing_ranges(const std::vector<BlockRange>& ranges,
                                             const std::vector<std::uint64_t>& positions,
                                             EnclosingPick pick);

// The first block header at `from` or later whose byte at +2 is 0, whose size is not 0 and that
// ends at or before `end` (and the end of the bytes); false when there is none.
bool first_block_from(SessionBytes bytes, std::size_t from, std::size_t end, BlockHeader& out);

// Blocks in position order with a tree of their least ends, for a reader that asks for the first
// block inside each of many blocks. Where those overlap, a search through the list (or the bytes)
// would pass every block that ends too late once per block that encloses it; here each answer
// is one descent through the tree.
class BlockStarts {
  public:
    // `blocks` in position order.
    explicit BlockStarts(std::vector<BlockHeader> blocks);
    // The headers `first_block_from` takes that start inside the ranges, found in one pass.
    BlockStarts(SessionBytes bytes, const std::vector<BlockRange>& ranges);

    // The first block whose position lies in [from, before) and that ends at or before `limit`,
    // or null.
    const BlockHeader* first_between(std::uint64_t from, std::uint64_t before,
                                     std::uint64_t limit) const;
    // first_block_from(bytes, from, end, out) of the bytes these were found in, for `from` and
    // `end` inside one of the ranges.
    bool first_from(std::size_t from, std::size_t end, BlockHeader& out) const;

  private:
    void build_tree();
    std::size_t first_ending_by(std::size_t node, std::size_t node_first, std::size_t node_last,
                                std::size_t first, std::size_t last, std::uint64_t limit) const;

    std::uint64_t length_ = UINT64_MAX;  // of the bytes the headers were found in
    std::vector<BlockHeader> blocks_;
    std::size_t leaves_ = 1;  // blocks_ rounded up to a power of two
    // least_ends_[1] is the least end of all; node n's children are 2n and 2n + 1, and leaf i
    // is leaves_ + i (past the blocks: no end).
    std::vector<std::uint64_t> least_ends_;
};
