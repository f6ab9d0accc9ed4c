// The 'Z' block layout of the decrypted session and the tree parser over it.
//
// A block at position p: marker 'Z' (p), block type u16 (p + 1), payload size u32 (p + 3), then
// `size` payload bytes from p + 7 whose first two are the content type. Child blocks may stand
// anywhere inside a payload past those nine header bytes; blocks start at any byte. The
// containers the session walk reads frame their children after fields of their own
// (`child_framing`): those are read as framed, and searched only where the framing fails.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::uint8_t kBlockMarker = 0x5A;  // 'Z'
inline constexpr std::uint64_t kBlockHeaderSize = 7;
// The marker, block type, size and content type: a block's children start after them. (A false
// child inside the size field would take the size's upper bytes for its type and the content
// type and the first payload bytes for its size, and swallow the real children it covers.)
inline constexpr std::uint64_t kFirstChildOffset = kBlockHeaderSize + 2;
// The top-level walk starts past the 20 bytes of the file header.
inline constexpr std::uint64_t kFirstBlockPosition = 20;
// Real sessions nest 8 deep; a block this deep is kept as a leaf so that a crafted file cannot
// exhaust the stack.
inline constexpr int kMaxBlockDepth = 64;

// The header of one block, as read in place.
struct BlockHeader {
    std::uint64_t position = 0;  // of the marker
    std::uint16_t block_type = 0;
    std::uint32_t size = 0;  // payload bytes, counted from position + 7
    std::uint16_t content_type = 0;

    std::uint64_t payload() const { return position + kBlockHeaderSize; }
    std::uint64_t end() const { return position + kBlockHeaderSize + size; }
};

// True when a block header stands at `pos`: pos + 8 lies inside the bytes (so the content type
// can be read even for an empty payload), the marker is there, and the block ends at or before
// `limit` (and before the end of the bytes, whatever the limit). The block type is not tested.
bool read_block_header(std::span<const std::uint8_t> bytes, std::uint64_t pos, std::uint64_t limit,
                       BlockHeader& out);

// One parsed block and, by value, every block found inside its payload.
struct SessionBlockNode {
    std::uint64_t payload_position = 0;  // position + 7: where the content type stands
    std::uint32_t payload_size = 0;
    std::uint16_t block_type = 0;
    std::uint16_t content_type = 0;
    std::vector<SessionBlockNode> children;  // ascending position
};

// A node's own header, and a header as a node without children (for a block a scan found, whose
// children `next_child` then reads).
inline BlockHeader node_header(const SessionBlockNode& node) {
    return {node.payload_position - kBlockHeaderSize, node.block_type, node.payload_size,
            node.content_type};
}
inline SessionBlockNode header_node(const BlockHeader& header) {
    return {header.payload(), header.size, header.block_type, header.content_type, {}};
}

// True when a block valid for the tree stands at `position` (a header as above whose block type
// is at most 0xFF and that ends at or before `limit`); fills `out` with it and its children. A
// payload of 0 or 1 byte is a leaf. Children are read by the block's framing (`child_framing`):
// from its first child, as many as it counts, one after another. Where the framing does not hold
// (a child there does not stand: damage), and after the counted children, children are searched
// from there up to (not including) position + size, each tried with this block's end as limit,
// skipping every child found whole; a block that frames none, or whose first counted child does
// not stand, is searched from the end of its nine header bytes. False leaves `out` untouched.
// `levels` keeps the blocks that many levels deep (the block itself is level 1) and leaves the
// deeper ones out: whether a child stands, and where the next one is read or searched, depends
// on its header and its parent's fields alone, so the levels kept are the same as in the whole
// tree.
bool parse_block_tree(const std::uint8_t* bytes, std::uint64_t length, std::uint64_t position,
                      std::uint64_t limit, SessionBlockNode& out, int levels = kMaxBlockDepth);

// The first child `parse_block_tree` finds in `parent` (a node it made), without the child's own
// children; false when there is none. The same child its `children` would begin with, without
// parsing the rest.
bool parse_first_child(const std::uint8_t* bytes, std::uint64_t length,
                       const SessionBlockNode& parent, SessionBlockNode& out);

// How a container the session walk reads frames its children. Each of these opens with fields of
// its own, a u32 count among them, and its first child follows them directly; the children then
// stand one after another (offsets from the container's marker):
//
//   0x262A regions, 0x1015 track list, 0x1054 and 0x1058 placement tracks, 0x2634 MIDI region
//   groups, 0x262C MIDI region list: the count at +9, the first child at +13;
//   0x1004 audio files: the file count at +9, then the names block and one block per file;
//   0x1052 and 0x1057 clip lists: the name's u32 length L at +9, the name, the count at +13 + L,
//   the first child at +17 + L.
//
// Read so, no child is looked for inside the container's own fields. A search from the block's
// header would take a count whose low byte is 0x5A (90, 346, ...) for a child whose size (0x5A00
// + 65536 x the next child's block type) swallows the real children it covers.
struct ChildFraming {
    std::uint64_t first = kFirstChildOffset;  // where the first child stands, from the marker
    std::uint32_t count = 0;  // how many children are read one after another from there
};

// The framing of a block of `content_type` at `position` of payload `size`; a block of another
// content type, or one too short for its fields, is not framed (first child searched from +9).
ChildFraming child_framing(std::span<const std::uint8_t> bytes, std::uint64_t position,
                           std::uint32_t size, std::uint16_t content_type);

// Where `next_child` goes on in a parent: a fresh cursor starts at its first child.
struct ChildCursor {
    std::uint64_t offset = kFirstChildOffset;  // from the parent's marker, past its header
    std::uint32_t framed = 0;                  // children still to read one after another
    bool started = false;                      // the parent's framing has been read
    bool past_first = false;                   // the first counted child has been tried
};

// The next child `parse_block_tree` finds in `parent` (a node it made) from `cursor` on, without
// the child's own children, and the cursor moved past it; false when there is none. Taken one at
// a time, the children are those its `children` would hold, in order, with no list of them made.
bool next_child(const std::uint8_t* bytes, std::uint64_t length, const SessionBlockNode& parent,
                ChildCursor& cursor, SessionBlockNode& out);

// The session's top-level blocks in order: from position 20 to the end of the bytes, each block
// found is kept and skipped whole; a position holding none advances one byte.
std::vector<SessionBlockNode> parse_top_level_blocks(const std::uint8_t* bytes,
                                                     std::uint64_t length);

// The same top-level blocks without their children (each node's `children` empty): for readers
// that need the top level only, at a fraction of the cost.
std::vector<SessionBlockNode> parse_top_level_headers(const std::uint8_t* bytes,
                                                      std::uint64_t length);

// The first node of `nodes` (not their children) with that content type, or null.
const SessionBlockNode* find_block(const std::vector<SessionBlockNode>& nodes,
                                   std::uint16_t content_type);
