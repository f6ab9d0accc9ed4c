#include "session/block_index.h"

#include <cstring>
#include <limits>

#include "session/block_tree.h"

namespace {

constexpr std::size_t kHeaderSize = 9;
constexpr std::size_t kContentTypes = 65536;

const BlockIndex* current_index = nullptr;

// Calls found(position, content type) for every candidate, in position order.
template <typename Found>
void each_candidate(const std::uint8_t* data, std::size_t size, Found&& found) {
    if (size < kHeaderSize) return;
    const std::size_t last = size - kHeaderSize;
    std::size_t pos = 0;
    while (pos <= last) {
        const void* hit = std::memchr(data + pos, kBlockMarker, last - pos + 1);
        if (hit == nullptr) return;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
        found(pos, static_cast<std::uint16_t>(data[pos + 7] | (data[pos + 8] << 8)));
        ++pos;
    }
}

}  // namespace

BlockIndex::BlockIndex(std::span<const std::uint8_t> bytes) {
    if (bytes.data() == nullptr || bytes.size() > std::numeric_limits<std::uint32_t>::max()) return;
    data_ = bytes.data();
    size_ = bytes.size();
    // Two passes: count the candidates of each type, then place each in its type's group. The
    // counts become each group's start, and each start its group's end as the group fills; so
    // ends_[t] is where group t ends and group t + 1 begins.
    ends_.assign(kContentTypes, 0);
    each_candidate(data_, size_, [&](std::size_t, std::uint16_t type) { ++ends_[type]; });
    std::uint32_t total = 0;
    for (std::uint32_t& end : ends_) {
        const std::uint32_t count = end;
        end = total;
        total += count;
    }
    positions_.resize(total);
    each_candidate(data_, size_, [&](std::size_t pos, std::uint16_t type) {
        positions_[ends_[type]++] = static_cast<std::uint32_t>(pos);
    });
}

bool BlockIndex::covers(std::span<const std::uint8_t> bytes) const {
    if (data_ == nullptr || bytes.data() == nullptr) return false;
    // Compared as addresses: the bytes may lie in any other buffer.
    const auto begin = reinterpret_cast<std::uintptr_t>(data_);
    const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
    return at >= begin && at - begin <= size_ && bytes.size() <= size_ - (at - begin);
}

const BlockIndex* installed_block_index() {
    return current_index;
}

BlockIndexScope::BlockIndexScope(const BlockIndex& index) : previous_(current_index) {
    current_index = &index;
}

BlockIndexScope::~BlockIndexScope() {
    current_index = previous_;
}
