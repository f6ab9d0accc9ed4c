// The 'Z' block layout of the decrypted session and the tree parser over it.
//
// A block at position p: marker 'Z' (p), block type u16 (p + 1), payload size u32 (p + 3), then
// `size` payload bytes from p + 7 whose first two are the content type. Child blocks may stand
// anywhere inside a payload past those nine header bytes; blocks start at any byte.
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

// True when a block valid for the tree stands at `position` (a header as above whose block type
// is at most 0xFF and that ends at or before `limit`); fills `out` with it and its children. A
// payload of 0 or 1 byte is a leaf. Children are searched from the end of the nine header bytes
// up to (not including) position + size, each tried with this block's end as limit, skipping every
// child found whole. False leaves `out` untouched.
// `levels` keeps the blocks that many levels deep (the block itself is level 1) and leaves the
// deeper ones out: whether a child stands, and where the next one is searched, depends on its
// header alone, so the levels kept are the same as in the whole tree.
bool parse_block_tree(const std::uint8_t* bytes, std::uint64_t length, std::uint64_t position,
                      std::uint64_t limit, SessionBlockNode& out, int levels = kMaxBlockDepth);

// The first child `parse_block_tree` finds in `parent` (a node it made), without the child's own
// children; false when there is none. The same child its `children` would begin with, without
// parsing the rest.
bool parse_first_child(const std::uint8_t* bytes, std::uint64_t length,
                       const SessionBlockNode& parent, SessionBlockNode& out);

// Where `next_child` goes on in a parent: a fresh cursor starts at its first child.
struct ChildCursor {
    std::uint64_t offset = kFirstChildOffset;  // from the parent's marker, past its header
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
