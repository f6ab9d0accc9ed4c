// One index of the session's block candidates, built once per conversion, so that each content
// scanner visits the candidates of its own content type instead of walking every byte.
//
// A candidate is a position p holding the 'Z' marker with room for a header (p + 9 <= the size);
// its content type is the u16 at p + 7, read whether or not the bytes there make a sound block.
// The index lists every candidate under its content type in position order: the same candidates,
// in the same order, that a search of every position finds. One entry (a u32 position) per
// candidate and no allocation per candidate, so a buffer of nothing but markers stays bounded.
//
// `scan_blocks` uses the index installed for the bytes it is given (or for the buffer they lie
// in); with none installed it searches the bytes. The driver builds the index of the session it
// converts and installs it with a `BlockIndexScope` for as long as the session lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class BlockIndex {
  public:
    BlockIndex() = default;
    // Indexes the bytes; they must stay unchanged while the index is used. A buffer of 4 GiB or
    // more is not indexed (`covers` then says false for everything).
    explicit BlockIndex(std::span<const std::uint8_t> bytes);

    // The bytes lie inside the indexed buffer.
    bool covers(std::span<const std::uint8_t> bytes) const;
    // Where the bytes start inside the indexed buffer (they must be covered).
    std::size_t offset_of(std::span<const std::uint8_t> bytes) const {
        return static_cast<std::size_t>(bytes.data() - data_);
    }
    // The candidates of one content type, in position order.
    std::span<const std::uint32_t> positions(std::uint16_t content_type) const {
        if (ends_.empty()) return {};
        const std::uint32_t begin = content_type == 0 ? 0 : ends_[content_type - 1u];
        return {positions_.data() + begin, positions_.data() + ends_[content_type]};
    }
    std::size_t candidate_count() const { return positions_.size(); }

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::vector<std::uint32_t> ends_;       // per content type: where its group ends in positions_
    std::vector<std::uint32_t> positions_;  // grouped by content type, each group ascending
};

// The index `scan_blocks` consults, or null.
const BlockIndex* installed_block_index();

// Installs the index for as long as the scope lives; the index must outlive it.
class BlockIndexScope {
  public:
    explicit BlockIndexScope(const BlockIndex& index);
    ~BlockIndexScope();
    BlockIndexScope(const BlockIndexScope&) = delete;
    BlockIndexScope& operator=(const BlockIndexScope&) = delete;

  private:
    const BlockIndex* previous_;
};
