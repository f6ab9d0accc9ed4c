#include "session/block_tree.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "util/bytes.h"

bool read_block_header(std::span<const std::uint8_t> bytes, std::uint64_t pos, std::uint64_t limit,
                       BlockHeader& out) {
    const std::uint64_t length = bytes.size();
    if (pos >= length || length - pos <= 8) return false;
    // The nine bytes of the header and the content type lie inside the bytes from here on.
    const std::uint8_t* at = bytes.data() + pos;
    if (at[0] != kBlockMarker) return false;
    const std::uint32_t size =
        static_cast<std::uint32_t>(at[3]) | static_cast<std::uint32_t>(at[4]) << 8 |
        static_cast<std::uint32_t>(at[5]) << 16 | static_cast<std::uint32_t>(at[6]) << 24;
    // A 64-bit sum cannot wrap here: pos < length and size < 2^32.
    if (pos + kBlockHeaderSize + size > std::min(limit, length)) return false;
    out.position = pos;
    out.block_type = static_cast<std::uint16_t>(at[1] | at[2] << 8);
    out.size = size;
    out.content_type = static_cast<std::uint16_t>(at[7] | at[8] << 8);
    return true;
}

ChildFraming child_framing(std::span<const std::uint8_t> bytes, std::uint64_t position,
                           std::uint32_t size, std::uint16_t content_type) {
    ChildFraming framing;
    const std::uint64_t end =
        std::min<std::uint64_t>(position + kBlockHeaderSize + size, bytes.size());
    // The u32 at `at` from the marker, when the block holds it.
    const auto u32_at = [&](std::uint64_t at, std::uint32_t& value) {
        if (position + at + 4 > end) return false;
        value = read_u32le(bytes.data(), position + at);
        return true;
    };
    constexpr std::uint64_t kField = kFirstChildOffset;  // +9: the first field after the header
    std::uint32_t value = 0;
    switch (content_type) {
        case 0x262A:  // regions
        case 0x1015:  // track list
        case 0x1054:  // audio placement tracks
        case 0x1058:  // MIDI placement tracks
        case 0x2634:  // MIDI region groups
        case 0x262C:  // MIDI region list
            if (!u32_at(kField, value)) return framing;
            framing = {kField + 4, value};
            break;
        case 0x1004:  // audio files: the names block, then one block per file
            if (!u32_at(kField, value)) return framing;
            framing = {kField + 4, value == 0xFFFFFFFFu ? value : value + 1};
            break;
        case 0x1052:    // a track's clip list
        case 0x1057: {  // a MIDI track's clip list
            std::uint32_t name_length = 0;
            if (!u32_at(kField, name_length) || name_length > size) return framing;
            const std::uint64_t count_at = kField + 4 + std::uint64_t{name_length};
            if (!u32_at(count_at, value)) return framing;
            framing = {count_at + 4, value};
            break;
        }
        default:
            break;
    }
    return framing;
}

namespace {

// The block at `position` as a node without children, when it stands: the test every node of
// the tree passes.
inline bool read_node(std::span<const std::uint8_t> bytes, std::uint64_t position,
                      std::uint64_t limit, SessionBlockNode& out) {
    BlockHeader header;
    if (!read_block_header(bytes, position, limit, header)) return false;
    if (header.block_type > 0xFF) return false;
    out = header_node(header);
    return true;
}

bool parse_at_depth(std::span<const std::uint8_t> bytes, std::uint64_t position,
                    std::uint64_t limit, int depth, int levels, SessionBlockNode& out);

// The child at `position` (its marker), read alone or with its children down to `levels`.
bool read_child(std::span<const std::uint8_t> bytes, std::uint64_t position, std::uint64_t limit,
                int depth, int levels, SessionBlockNode& child) {
    // A child on the last level kept is read alone, without the parse's recursion.
    return depth + 1 >= levels ? read_node(bytes, position, limit, child)
                               : parse_at_depth(bytes, position, limit, depth + 1, levels, child);
}

// The next child of the block at `position` (its header read) from the cursor on, counted from
// the marker, with the cursor moved past it: the one reading of `parse_at_depth`, shared by the
// whole parse, the first child alone and the readers that take the children one at a time.
bool next_child_from(std::span<const std::uint8_t> bytes, std::uint64_t position,
                     const BlockHeader& header, int depth, int levels, ChildCursor& cursor,
                     SessionBlockNode& child) {
    if (!cursor.started) {
        const ChildFraming framing =
            child_framing(bytes, position, header.size, header.content_type);
        cursor.started = true;
        cursor.offset = framing.first;
        cursor.framed = framing.count;
    }
    std::uint64_t& r = cursor.offset;
    // The counted children, one after another.
    if (cursor.framed > 0 && r < header.size) {
        const bool first = !cursor.past_first;
        cursor.past_first = true;
        cursor.framed -= 1;
        if (read_child(bytes, position + r, header.end(), depth, levels, child)) {
            r += kBlockHeaderSize + child.payload_size;
            return true;
        }
        // Damage (no child stands here, or it runs past this block): the search takes over from
        // here, and the walk names what it finds inside as it names any damaged record. Where
        // not even the first child stands, the block is not laid out as framed: it is searched
        // whole, from the end of its header.
        cursor.framed = 0;
        if (first) r = kFirstChildOffset;
    }
    const std::uint64_t last = std::min<std::uint64_t>(position + header.size, bytes.size());
    while (r < header.size) {
        // A child starts at a marker: the positions before the next one cannot hold one. Most
        // children follow the one before directly, its end already at their marker.
        if (position + r >= last) return false;
        if (bytes[position + r] != kBlockMarker) {
            const void* marker =
                std::memchr(bytes.data() + position + r, kBlockMarker, last - (position + r));
            if (marker == nullptr) return false;
            r = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(marker) -
                                           bytes.data()) -
                position;
        }
        if (read_child(bytes, position + r, header.end(), depth, levels, child)) {
            r += kBlockHeaderSize + child.payload_size;
            return true;
        }
        r += 1;
    }
    return false;
}

// The children of the block at `position` (its header read), from the first on, each passed to
// `visit` until it returns false.
template <typename Visit>
void visit_children(std::span<const std::uint8_t> bytes, std::uint64_t position,
                    const BlockHeader& header, int depth, int levels, Visit&& visit) {
    ChildCursor cursor;
    SessionBlockNode child;
    while (next_child_from(bytes, position, header, depth, levels, cursor, child)) {
        if (!visit(std::move(child))) return;
    }
}

bool parse_at_depth(std::span<const std::uint8_t> bytes, std::uint64_t position,
                    std::uint64_t limit, int depth, int levels, SessionBlockNode& out) {
    if (!read_node(bytes, position, limit, out)) return false;
    // The block stands: its children are filled in place.
    const BlockHeader header = node_header(out);
    if (header.size > 1 && depth < levels) {
        visit_children(bytes, position, header, depth, levels, [&](SessionBlockNode&& child) {
            out.children.push_back(std::move(child));
            return true;
        });
    }
    return true;
}

}  // namespace

bool parse_block_tree(const std::uint8_t* bytes, std::uint64_t length, std::uint64_t position,
                      std::uint64_t limit, SessionBlockNode& out, int levels) {
    if (bytes == nullptr) return false;
    return parse_at_depth({bytes, static_cast<std::size_t>(length)}, position, limit, 1,
                          std::min(levels, kMaxBlockDepth), out);
}

bool parse_first_child(const std::uint8_t* bytes, std::uint64_t length,
                       const SessionBlockNode& parent, SessionBlockNode& out) {
    if (bytes == nullptr || parent.payload_size <= 1) return false;
    const std::span<const std::uint8_t> all(bytes, static_cast<std::size_t>(length));
    const BlockHeader header = node_header(parent);
    bool found = false;
    // Level 1 of 1: the child without children of its own.
    visit_children(all, header.position, header, 0, 1, [&](SessionBlockNode&& child) {
        out = std::move(child);
        found = true;
        return false;
    });
    return found;
}

bool next_child(const std::uint8_t* bytes, std::uint64_t length, const SessionBlockNode& parent,
                ChildCursor& cursor, SessionBlockNode& out) {
    if (bytes == nullptr || parent.payload_size <= 1) return false;
    const std::span<const std::uint8_t> all(bytes, static_cast<std::size_t>(length));
    const BlockHeader header = node_header(parent);
    // Level 1 of 1: the child without children of its own.
    return next_child_from(all, header.position, header, 0, 1, cursor, out);
}

std::vector<SessionBlockNode> parse_top_level_blocks(const std::uint8_t* bytes,
                                                     std::uint64_t length) {
    std::vector<SessionBlockNode> nodes;
    std::uint64_t pos = kFirstBlockPosition;
    while (pos < length) {
        SessionBlockNode node;
        if (parse_block_tree(bytes, length, pos, length, node)) {
            pos += kBlockHeaderSize + node.payload_size;
            nodes.push_back(std::move(node));
        } else {
            pos += 1;
        }
    }
    return nodes;
}

std::vector<SessionBlockNode> parse_top_level_headers(const std::uint8_t* bytes,
                                                      std::uint64_t length) {
    std::vector<SessionBlockNode> nodes;
    if (bytes == nullptr) return nodes;
    const std::span<const std::uint8_t> all(bytes, static_cast<std::size_t>(length));
    std::uint64_t pos = kFirstBlockPosition;
    while (pos < length) {
        // The same test parse_block_tree makes of a block; its children never change it.
        BlockHeader header;
        if (read_block_header(all, pos, length, header) && header.block_type <= 0xFF) {
            SessionBlockNode node;
            node.payload_position = header.payload();
            node.payload_size = header.size;
            node.block_type = header.block_type;
            node.content_type = header.content_type;
            nodes.push_back(node);
            pos = header.end();
        } else {
            pos += 1;
        }
    }
    return nodes;
}

const SessionBlockNode* find_block(const std::vector<SessionBlockNode>& nodes,
                                   std::uint16_t content_type) {
    for (const SessionBlockNode& node : nodes) {
        if (node.content_type == content_type) return &node;
    }
    return nullptr;
}
