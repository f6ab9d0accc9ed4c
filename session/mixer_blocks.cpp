#include "session/mixer_blocks.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <queue>
#include <set>
#include <utility>

#include "util/bytes.h"

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

namespace {

// How common a byte is in session bytes, lower for rarer: zero fills most fields, 0xff the
// negative and unset ones; any other byte is taken as rare.
int byte_commonness(std::uint8_t byte) {
    if (byte == 0x00) return 2;
    if (byte == 0xff) return 1;
    return 0;
}

}  // namespace

std::size_t find_next(SessionBytes bytes, std::string_view pattern, std::size_t from) {
    if (pattern.empty() || pattern.size() > bytes.size()) return bytes.size();
    // memchr finds the pattern's rarest byte; each hit is then compared whole.
    std::size_t anchor = 0;
    for (std::size_t i = 1; i < pattern.size(); ++i)
        if (byte_commonness(static_cast<std::uint8_t>(pattern[i])) <
            byte_commonness(static_cast<std::uint8_t>(pattern[anchor])))
            anchor = i;
    const auto anchor_byte = static_cast<std::uint8_t>(pattern[anchor]);
    const std::uint8_t* base = bytes.data();
    // The anchor of a match stands from `anchor` to `last`, both included.
    const std::size_t last = bytes.size() - pattern.size() + anchor;
    std::size_t pos = from + anchor;
    while (pos <= last) {
        const void* hit = std::memchr(base + pos, anchor_byte, last - pos + 1);
        if (hit == nullptr) break;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base);
        const std::size_t start = pos - anchor;
        if (std::memcmp(base + start, pattern.data(), pattern.size()) == 0) return start;
        ++pos;
    }
    return bytes.size();
}

std::vector<std::size_t> find_all(SessionBytes bytes, std::string_view pattern) {
    std::vector<std::size_t> out;
    for (std::size_t at = find_next(bytes, pattern, 0); at < bytes.size();
         at = find_next(bytes, pattern, at + 1))
        out.push_back(at);
    return out;
}

std::size_t first_position_in(const std::vector<std::size_t>& positions, std::size_t from,
                              std::size_t before) {
    const auto it = std::lower_bound(positions.begin(), positions.end(), from);
    return it != positions.end() && *it < before ? *it : before;
}

std::vector<std::size_t> id_marks(SessionBytes bytes) {
    return find_all(bytes, std::string_view("*\0\0\0", 4));
}

std::string_view first_text_from(SessionBytes bytes, std::size_t from, std::size_t end,
                                 std::uint32_t min_length, std::uint32_t max_length,
                                 TextBytes kind) {
    if (end > bytes.size()) end = bytes.size();
    const std::size_t stop = from + kTextSearchSpan < end ? from + kTextSearchSpan : end;
    for (std::size_t q = from; q + 4 < stop; ++q) {
        std::string_view text;
        if (read_text_at(bytes, q, end, min_length, max_length, kind, text)) return text;
    }
    return {};
}

std::vector<std::ptrdiff_t> enclosing_ranges(const std::vector<BlockRange>& ranges,
                                             const std::vector<std::uint64_t>& positions,
                                             EnclosingPick pick) {
    std::vector<std::ptrdiff_t> out(positions.size(), -1);
    std::vector<std::size_t> by_start(ranges.size());
    for (std::size_t i = 0; i < ranges.size(); ++i) by_start[i] = i;
    std::sort(by_start.begin(), by_start.end(),
              [&](std::size_t a, std::size_t b) { return ranges[a].start < ranges[b].start; });
    std::vector<std::size_t> by_position(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) by_position[i] = i;
    std::sort(by_position.begin(), by_position.end(),
              [&](std::size_t a, std::size_t b) { return positions[a] < positions[b]; });

    // The open ranges, ordered by the pick; ended ones leave through the heap of their ends.
    const auto key = [&](std::size_t i) {
        const std::uint64_t length = ranges[i].end - ranges[i].start;
        return std::make_pair(pick == EnclosingPick::smallest ? length : 0, i);
    };
    std::set<std::pair<std::uint64_t, std::size_t>> open;
    std::priority_queue<std::pair<std::uint64_t, std::size_t>,
                        std::vector<std::pair<std::uint64_t, std::size_t>>, std::greater<>>
        ends;
    std::size_t next = 0;
    for (std::size_t k : by_position) {
        const std::uint64_t x = positions[k];
        for (; next < by_start.size() && ranges[by_start[next]].start < x; ++next) {
            const std::size_t i = by_start[next];
            if (ranges[i].end <= ranges[i].start) continue;
            open.insert(key(i));
            ends.emplace(ranges[i].end, i);
        }
        while (!ends.empty() && ends.top().first <= x) {
            open.erase(key(ends.top().second));
            ends.pop();
        }
        if (!open.empty()) out[k] = static_cast<std::ptrdiff_t>(open.begin()->second);
    }
    return out;
}

namespace {

// Calls visit(header) for every header at positions from `from` on, with its nine bytes before
// `end`, whose byte at +2 is 0, whose size is not 0 and that ends at or before `limit`, until
// visit returns true. Returns whether it did.
template <typename Visit>
bool visit_headers(SessionBytes bytes, std::size_t from, std::size_t end, std::uint64_t limit,
                   Visit&& visit) {
    if (end > bytes.size()) end = bytes.size();
    for (std::size_t pos = from; pos + 9 <= end; ++pos) {
        const void* hit = std::memchr(bytes.data() + pos, kBlockMarker, end - 9 - pos + 1);
        if (hit == nullptr) return false;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes.data());
        BlockHeader block;
        block.position = pos;
        block.block_type = read_u16le_checked(bytes, pos + 1);
        block.size = read_u32le_checked(bytes, pos + 3);
        block.content_type = read_u16le_checked(bytes, pos + 7);
        if (bytes[pos + 2] == 0 && block.size != 0 && block.end() <= limit && visit(block))
            return true;
    }
    return false;
}

}  // namespace

bool first_block_from(SessionBytes bytes, std::size_t from, std::size_t end, BlockHeader& out) {
    return visit_headers(bytes, from, end, std::min(end, bytes.size()),
                         [&](const BlockHeader& block) {
                             out = block;
                             return true;
                         });
}

BlockStarts::BlockStarts(std::vector<BlockHeader> blocks) : blocks_(std::move(blocks)) {
    build_tree();
}

BlockStarts::BlockStarts(SessionBytes bytes, const std::vector<BlockRange>& ranges)
    : length_(bytes.size()) {
    std::vector<BlockRange> sorted = ranges;
    std::sort(sorted.begin(), sorted.end(),
              [](const BlockRange& a, const BlockRange& b) { return a.start < b.start; });
    // The headers of [from, end), each position tried as first_block_from tries it.
    const auto collect = [&](std::uint64_t from, std::uint64_t end) {
        visit_headers(bytes, static_cast<std::size_t>(from),
                      static_cast<std::size_t>(std::min<std::uint64_t>(end, length_)), length_,
                      [&](const BlockHeader& block) {
                          blocks_.push_back(block);
                          return false;
                      });
    };
    // Each byte once: overlapping ranges are searched as one.
    std::uint64_t from = 0;
    std::uint64_t end = 0;
    for (const BlockRange& range : sorted) {
        if (range.start >= range.end) continue;
        if (range.start > end) {
            collect(from, end);
            from = range.start;
        }
        end = std::max(end, range.end);
    }
    collect(from, end);
    build_tree();
}

void BlockStarts::build_tree() {
    while (leaves_ < blocks_.size()) leaves_ *= 2;
    least_ends_.assign(2 * leaves_, std::numeric_limits<std::uint64_t>::max());
    for (std::size_t i = 0; i < blocks_.size(); ++i) least_ends_[leaves_ + i] = blocks_[i].end();
    for (std::size_t node = leaves_ - 1; node >= 1; --node)
        least_ends_[node] = std::min(least_ends_[2 * node], least_ends_[2 * node + 1]);
}

// The first block of [first, last) under `node` (which covers [node_first, node_last)) that
// ends at or before `limit`, or the blocks' count when none does.
std::size_t BlockStarts::first_ending_by(std::size_t node, std::size_t node_first,
                                         std::size_t node_last, std::size_t first, std::size_t last,
                                         std::uint64_t limit) const {
    if (node_last <= first || last <= node_first || least_ends_[node] > limit)
        return blocks_.size();
    if (node_last - node_first == 1) return node_first;
    const std::size_t middle = node_first + (node_last - node_first) / 2;
    const std::size_t left = first_ending_by(2 * node, node_first, middle, first, last, limit);
    if (left != blocks_.size()) return left;
    return first_ending_by(2 * node + 1, middle, node_last, first, last, limit);
}

const BlockHeader* BlockStarts::first_between(std::uint64_t from, std::uint64_t before,
                                              std::uint64_t limit) const {
    const auto by_position = [](const BlockHeader& b, std::uint64_t at) { return b.position < at; };
    const auto index_of = [&](std::uint64_t at) {
        return static_cast<std::size_t>(
            std::lower_bound(blocks_.begin(), blocks_.end(), at, by_position) - blocks_.begin());
    };
    const std::size_t found =
        first_ending_by(1, 0, leaves_, index_of(from), index_of(before), std::min(limit, length_));
    return found < blocks_.size() ? &blocks_[found] : nullptr;
}

bool BlockStarts::first_from(std::size_t from, std::size_t end, BlockHeader& out) const {
    const std::uint64_t limit = std::min<std::uint64_t>(end, length_);
    if (limit < 9) return false;
    // A header needs its nine bytes before the end.
    const BlockHeader* found = first_between(from, limit - 8, limit);
    if (found == nullptr) return false;
    out = *found;
    return true;
}
