#include "session/block_tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "block_builder.h"
#include "platform/ptformat.h"

namespace {

using namespace test_blocks;

bool parse_at(const std::string& buffer, std::uint64_t pos, SessionBlockNode& out,
              std::uint64_t limit = UINT64_MAX) {
    return parse_block_tree(reinterpret_cast<const std::uint8_t*>(buffer.data()), buffer.size(),
                            pos, limit == UINT64_MAX ? buffer.size() : limit, out);
}

std::vector<std::uint16_t> content_types(const std::vector<SessionBlockNode>& nodes) {
    std::vector<std::uint16_t> out;
    for (const SessionBlockNode& node : nodes) out.push_back(node.content_type);
    return out;
}

// Every node lies inside its parent (or the buffer), after its parent's header and its previous
// sibling, no deeper than the cap. Returns the depth of the deepest node.
int check_well_formed(const SessionBlockNode& node, std::uint64_t first, std::uint64_t end,
                      int depth, bool& ok) {
    const std::uint64_t marker = node.payload_position - kBlockHeaderSize;
    const std::uint64_t node_end = node.payload_position + node.payload_size;
    if (node.payload_position < kBlockHeaderSize || marker < first || node_end > end ||
        depth > kMaxBlockDepth) {
        ok = false;
        return depth;
    }
    int deepest = depth;
    std::uint64_t next = marker + kFirstChildOffset;
    for (const SessionBlockNode& child : node.children) {
        deepest = std::max(deepest, check_well_formed(child, next, node_end, depth + 1, ok));
        next = child.payload_position + child.payload_size;
    }
    return deepest;
}

int check_top_level(const std::vector<SessionBlockNode>& nodes, std::uint64_t length, bool& ok) {
    int deepest = 0;
    std::uint64_t next = kFirstBlockPosition;
    for (const SessionBlockNode& node : nodes) {
        deepest = std::max(deepest, check_well_formed(node, next, length, 1, ok));
        next = node.payload_position + node.payload_size;
    }
    return deepest;
}

TEST(BlockHeader, NeedsNineBytesMarkerAndRoomForThePayload) {
    const std::string block = z_block(0x1234, "", 0x0042);  // nine bytes, payload size 2
    BlockHeader header;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(block.data()),
                                              block.size());
    ASSERT_TRUE(read_block_header(bytes, 0, bytes.size(), header));
    EXPECT_EQ(header.position, 0u);
    EXPECT_EQ(header.block_type, 0x0042);
    EXPECT_EQ(header.size, 2u);
    EXPECT_EQ(header.content_type, 0x1234);
    EXPECT_EQ(header.end(), 9u);

    EXPECT_FALSE(read_block_header(bytes.first(8), 0, 8, header));  // p + 8 not below the length
    EXPECT_FALSE(read_block_header(bytes, 0, 8, header));           // ends past the limit
    EXPECT_FALSE(read_block_header(bytes, 1, bytes.size(), header));
    EXPECT_FALSE(read_block_header(bytes, UINT64_MAX - 3, UINT64_MAX, header));
    // A limit past the buffer does not let a block run past it.
    std::string longer = "Z\x01";
    longer += std::string("\x00", 1) + u32le(40) + "ab";
    EXPECT_FALSE(read_block_header(
        {reinterpret_cast<const std::uint8_t*>(longer.data()), longer.size()}, 0, 1000, header));
}

TEST(BlockTree, ParsesNestedBlocksInOrder) {
    const std::string grandchild = z_block(0x4444, "");
    const std::string first = z_block(0x2222, "ab", 0x03);
    const std::string second = z_block(0x3333, std::string(1, '\0') + grandchild, 0x1F);
    const std::string root = z_block(0x1111, zeros(2) + first + second, 0x07);
    SessionBlockNode node;
    ASSERT_TRUE(parse_at(root, 0, node));

    EXPECT_EQ(node.payload_position, 7u);
    EXPECT_EQ(node.payload_size, root.size() - 7);
    EXPECT_EQ(node.block_type, 0x07);
    EXPECT_EQ(node.content_type, 0x1111);
    ASSERT_EQ(content_types(node.children), (std::vector<std::uint16_t>{0x2222, 0x3333}));
    EXPECT_EQ(node.children[0].payload_position, 11u + 7u);
    EXPECT_EQ(node.children[0].payload_size, 4u);
    EXPECT_EQ(node.children[0].block_type, 0x03);
    EXPECT_TRUE(node.children[0].children.empty());
    const SessionBlockNode& inner = node.children[1];
    EXPECT_EQ(inner.payload_position, 11u + first.size() + 7u);
    ASSERT_EQ(content_types(inner.children), (std::vector<std::uint16_t>{0x4444}));
    EXPECT_EQ(inner.children[0].payload_position, inner.payload_position + 3 + 7);
}

TEST(BlockTree, RejectsWhatDoesNotFitAndScansOnByOneByte) {
    SessionBlockNode node;
    node.content_type = 0xBEEF;
    // Block type 0x0100: not a tree block; the node is left untouched.
    EXPECT_FALSE(parse_at(z_block(0x1111, "ab", 0x0100), 0, node));
    EXPECT_EQ(node.content_type, 0xBEEF);

    // Inside a parent: a header whose size runs past the parent's end, then a block of type
    // 0x0100, then a good child one byte further.
    std::string overlong = "Z\x01";
    overlong += std::string(1, '\0') + u32le(0xFFFF);
    const std::string content =
        overlong + z_block(0x5555, "", 0x0100) + "x" + z_block(0x6666, "cd");
    const std::string parent = z_block(0x1111, content) + zeros(4);
    ASSERT_TRUE(parse_at(parent, 0, node));
    ASSERT_EQ(content_types(node.children), (std::vector<std::uint16_t>{0x6666}));
    EXPECT_EQ(node.children[0].payload_position, 9u + overlong.size() + 9u + 1u + 7u);
}

// A size whose second byte is 0x5A puts a marker inside the header: the block that would start
// there (its type the size's upper bytes, its size the content type and the two payload bytes
// after it) would cover the real children. Children start after the header.
TEST(BlockTree, ChildrenStartAfterTheHeader) {
    const std::string child = z_block(0x2222, zeros(10));
    std::string content = u32le(1) + child;
    content += zeros(0x15A00 - 2 - content.size());
    const std::string parent = z_block(0x1054, content);
    ASSERT_EQ(static_cast<std::uint8_t>(parent[4]), 0x5A);
    SessionBlockNode node;
    ASSERT_TRUE(parse_at(parent, 0, node));
    EXPECT_EQ(content_types(node.children), (std::vector<std::uint16_t>{0x2222}));
    ChildCursor cursor;
    SessionBlockNode first;
    ASSERT_TRUE(next_child(reinterpret_cast<const std::uint8_t*>(parent.data()), parent.size(),
                           node, cursor, first));
    EXPECT_EQ(first.content_type, 0x2222);
    ASSERT_TRUE(parse_first_child(reinterpret_cast<const std::uint8_t*>(parent.data()),
                                  parent.size(), node, first));
    EXPECT_EQ(first.content_type, 0x2222);
}

// A container's count frames its children; where the framing does not hold, the search finds
// what stands. The container is long enough for the block that would start at a count of low
// byte 0x5A to fit.
TEST(BlockTree, FramedChildrenFallBackToTheSearchWhereTheFramingFails) {
    const std::string child = z_block(0x1052, zeros(40), 3);
    const std::string big = z_block(0x1052, zeros(0x35A00), 3);
    struct Case {
        const char* what;
        std::string content;
        std::vector<std::uint16_t> children;
    } cases[] = {
        {"framed", u32le(0x5A) + child + big, {0x1052, 0x1052}},
        {"a count past the children: the framing ends with them",
         u32le(0x15A) + child + big,
         {0x1052, 0x1052}},
        {"a count below the children's: the rest is searched",
         u32le(1) + child + big,
         {0x1052, 0x1052}},
        {"a damaged child: the search goes on from it",
         u32le(0x5A) + child + "\x01" + zeros(8) + child + big,
         {0x1052, 0x1052, 0x1052}},
        {"no child where the framing puts the first: searched from the header",
         zeros(2) + z_block(0x2222, zeros(2)) + zeros(0x35A00),
         {0x2222}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string parent = z_block(0x1054, c.content);
        SessionBlockNode node;
        ASSERT_TRUE(parse_at(parent, 0, node));
        EXPECT_EQ(content_types(node.children), c.children);
    }
}

TEST(BlockTree, TinyBlocksAreLeavesThatStillHaveAContentType) {
    std::string one = "Z\x01";
    one += std::string(1, '\0') + u32le(1) + "\x34\x12";  // the type's second byte is past the end
    SessionBlockNode node;
    ASSERT_TRUE(parse_at(one, 0, node, 8));
    EXPECT_EQ(node.payload_size, 1u);
    EXPECT_EQ(node.content_type, 0x1234);
    EXPECT_TRUE(node.children.empty());

    // Nine bytes from the position are needed; eight are not enough.
    EXPECT_FALSE(parse_at(one.substr(0, 8), 0, node, 8));
}

TEST(BlockTree, ChildScanStopsWhereThePayloadSizeIsReached) {
    std::string empty_child = "Z\x01";
    empty_child += std::string(1, '\0') + u32le(0);  // seven bytes: no content type of its own
    SessionBlockNode node;

    // The child starts at relative position = size, ending exactly at the parent's end: not seen.
    const std::string at_end = z_block(0x1111, std::string(1, '\0') + empty_child) + "\x77\x77";
    ASSERT_TRUE(parse_at(at_end, 0, node));
    EXPECT_TRUE(node.children.empty());

    // One payload byte more and it starts inside the scan.
    const std::string inside =
        z_block(0x1111, std::string(1, '\0') + empty_child + "\x66") + "\x77";
    ASSERT_TRUE(parse_at(inside, 0, node));
    ASSERT_EQ(node.children.size(), 1u);
    EXPECT_EQ(node.children[0].payload_size, 0u);
    EXPECT_EQ(node.children[0].content_type, 0x7766);
}

TEST(BlockTree, KeepsAShortSiblingAtTheEndOfItsParent) {
    const std::string parent =
        z_block(0x1111, z_block(0x2222, zeros(18)) + z_block(0x3333, "") + zeros(1));
    SessionBlockNode node;
    ASSERT_TRUE(parse_at(parent, 0, node));
    EXPECT_EQ(content_types(node.children), (std::vector<std::uint16_t>{0x2222, 0x3333}));
}

TEST(BlockTree, DeepNestingStopsAtTheDepthCap) {
    // 100000 blocks, each holding the next right after its content type.
    const std::uint32_t levels = 100000;
    std::string buffer;
    buffer.reserve(levels * 9);
    for (std::uint32_t i = 0; i < levels; ++i) {
        buffer += "Z\x01";
        buffer.push_back('\0');
        buffer += u32le(9 * (levels - i) - 7) + std::string("\x00\x20", 2);
    }
    SessionBlockNode node;
    ASSERT_TRUE(parse_at(buffer, 0, node));
    int depth = 1;
    const SessionBlockNode* at = &node;
    while (!at->children.empty()) {
        ASSERT_EQ(at->children.size(), 1u);
        at = &at->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, kMaxBlockDepth);
    EXPECT_EQ(at->payload_position, 9u * (kMaxBlockDepth - 1) + 7u);
}

TEST(TopLevelWalk, StartsAtTwentySkipsJunkAndFindsBlocksInsideATruncatedOne) {
    std::string buffer = zeros(2) + z_block(0x0AAA, "");  // inside the header: never read
    buffer += zeros(20 - buffer.size());
    buffer += "xx" + z_block(0x1001, "ab") + "Zq" + z_block(0x1002, z_block(0x1003, ""));
    // A block whose size passes the end is not taken; the walk finds the block inside it.
    std::string cut = "Z\x01";
    cut += std::string(1, '\0') + u32le(500) + "\x04\x10" + z_block(0x1005, "");
    buffer += cut;

    const std::vector<SessionBlockNode> nodes =
        parse_top_level_blocks(reinterpret_cast<const std::uint8_t*>(buffer.data()), buffer.size());
    EXPECT_EQ(content_types(nodes), (std::vector<std::uint16_t>{0x1001, 0x1002, 0x1005}));
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(content_types(nodes[1].children), (std::vector<std::uint16_t>{0x1003}));
    EXPECT_EQ(find_block(nodes, 0x1002), &nodes[1]);
    EXPECT_EQ(find_block(nodes, 0x1003), nullptr);
    EXPECT_TRUE(parse_top_level_blocks(nullptr, 0).empty());
}

// Up to 600 bytes, mostly markers, zeros and small sizes, so that blocks nest often.
std::vector<std::uint8_t> random_block_bytes(std::mt19937& random) {
    const std::uint8_t alphabet[] = {'Z', 'Z', 'Z', 0, 0, 0, 1, 2, 3, 7, 9, 12, 0x20, 0xFF};
    std::vector<std::uint8_t> bytes(1 + random() % 600);
    for (std::uint8_t& b : bytes) b = alphabet[random() % sizeof(alphabet)];
    return bytes;
}

TEST(TopLevelWalk, RandomBytesGiveWellFormedTrees) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 400; ++round) {
        const std::vector<std::uint8_t> bytes = random_block_bytes(random);
        const std::vector<SessionBlockNode> nodes =
            parse_top_level_blocks(bytes.data(), bytes.size());
        bool ok = true;
        check_top_level(nodes, bytes.size(), ok);
        ASSERT_TRUE(ok) << "round " << round;

        SessionBlockNode node;
        const std::uint64_t past = bytes.size() + random() % 4;
        EXPECT_FALSE(parse_block_tree(bytes.data(), bytes.size(), past, UINT64_MAX, node));
    }
}

// `node` with every block deeper than `levels` (the node itself is level 1) left out.
SessionBlockNode cut_at(const SessionBlockNode& node, int levels) {
    SessionBlockNode cut = node;
    cut.children.clear();
    if (levels > 1)
        for (const SessionBlockNode& child : node.children)
            cut.children.push_back(cut_at(child, levels - 1));
    return cut;
}

bool same_tree(const SessionBlockNode& a, const SessionBlockNode& b) {
    if (a.payload_position != b.payload_position || a.payload_size != b.payload_size ||
        a.block_type != b.block_type || a.content_type != b.content_type ||
        a.children.size() != b.children.size())
        return false;
    for (std::size_t i = 0; i < a.children.size(); ++i)
        if (!same_tree(a.children[i], b.children[i])) return false;
    return true;
}

// A tree parsed a few levels deep holds exactly the whole tree's blocks down to that level.
TEST(BlockTree, AShallowTreeIsTheWholeTreeCut) {
    std::mt19937 random(20261210);
    for (int round = 0; round < 300; ++round) {
        const std::vector<std::uint8_t> bytes = random_block_bytes(random);
        for (const SessionBlockNode& whole : parse_top_level_blocks(bytes.data(), bytes.size())) {
            const std::uint64_t at = whole.payload_position - kBlockHeaderSize;
            for (int levels : {1, 2, 3, 4}) {
                SessionBlockNode shallow;
                ASSERT_TRUE(parse_block_tree(bytes.data(), bytes.size(), at, bytes.size(), shallow,
                                             levels));
                ASSERT_TRUE(same_tree(shallow, cut_at(whole, levels)))
                    << "round " << round << ", " << levels << " levels";
            }
        }
    }
}

// Every node's first child, parsed alone, is the whole tree's first child without its children.
void check_first_children(const std::vector<std::uint8_t>& bytes, const SessionBlockNode& node,
                          int round) {
    SessionBlockNode first;
    const bool found = parse_first_child(bytes.data(), bytes.size(), node, first);
    ASSERT_EQ(found, !node.children.empty()) << "round " << round;
    if (!found) return;
    ASSERT_TRUE(same_tree(first, cut_at(node.children.front(), 1))) << "round " << round;
    for (const SessionBlockNode& child : node.children) check_first_children(bytes, child, round);
}

TEST(BlockTree, TheFirstChildAloneIsTheTreesFirstChild) {
    std::mt19937 random(35);
    for (int round = 0; round < 300; ++round) {
        const std::vector<std::uint8_t> bytes = random_block_bytes(random);
        for (const SessionBlockNode& whole : parse_top_level_blocks(bytes.data(), bytes.size()))
            check_first_children(bytes, whole, round);
    }
}

// Every node's children, taken one at a time, are the whole tree's children without theirs, in
// order, and a cursor past the last stays there.
void check_children_one_at_a_time(const std::vector<std::uint8_t>& bytes,
                                  const SessionBlockNode& node, int round) {
    ChildCursor cursor;
    SessionBlockNode child;
    for (const SessionBlockNode& expected : node.children) {
        ASSERT_TRUE(next_child(bytes.data(), bytes.size(), node, cursor, child))
            << "round " << round;
        ASSERT_TRUE(same_tree(child, cut_at(expected, 1))) << "round " << round;
    }
    EXPECT_FALSE(next_child(bytes.data(), bytes.size(), node, cursor, child)) << "round " << round;
    EXPECT_FALSE(next_child(bytes.data(), bytes.size(), node, cursor, child)) << "round " << round;
    for (const SessionBlockNode& below : node.children)
        check_children_one_at_a_time(bytes, below, round);
}

TEST(BlockTree, TheChildrenOneAtATimeAreTheTreesChildren) {
    std::mt19937 random(3535);
    for (int round = 0; round < 300; ++round) {
        const std::vector<std::uint8_t> bytes = random_block_bytes(random);
        for (const SessionBlockNode& whole : parse_top_level_blocks(bytes.data(), bytes.size()))
            check_children_one_at_a_time(bytes, whole, round);
    }
}

std::vector<std::uint8_t> decrypted_session(const std::string& name) {
    std::vector<std::uint8_t> bytes = read_file(sessions_dir() / name);
    if (!bytes.empty()) ptf_xor_crypt(bytes);
    return bytes;
}

TEST(TopLevelWalk, RealSessionsParseToTheirEndAndNestEightDeep) {
    const std::filesystem::path dir = sessions_dir();
    if (!std::filesystem::exists(dir / "RegionTest.ptx")) {
        GTEST_SKIP() << "real sessions not found in " << dir;
    }
    struct Case {
        const char* name;
        std::size_t top_level;
        int depth;
    };
    const Case cases[] = {{"RegionTest.ptx", 126, 8},
                          {"TestPTX.ptx", 126, 8},
                          {"Untitled32.ptx", 128, 6},
                          {"MetadataFields.ptx", 129, 6}};
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> bytes = decrypted_session(c.name);
        ASSERT_FALSE(bytes.empty()) << c.name;
        const std::vector<SessionBlockNode> nodes =
            parse_top_level_blocks(bytes.data(), bytes.size());
        bool ok = true;
        EXPECT_EQ(check_top_level(nodes, bytes.size(), ok), c.depth) << c.name;
        EXPECT_TRUE(ok) << c.name;
        ASSERT_EQ(nodes.size(), c.top_level) << c.name;
        EXPECT_EQ(nodes.back().payload_position + nodes.back().payload_size, bytes.size());
        // The version block opens every session right after the block at 0x14.
        EXPECT_EQ(nodes[1].payload_position, 0x1Fu + 7u) << c.name;
        EXPECT_EQ(nodes[1].content_type, 0x2067) << c.name;
    }
}

TEST(TopLevelWalk, TruncatedRealSessionsNeverReadPastTheirEnd) {
    const std::vector<std::uint8_t> whole = decrypted_session("TestPTX.ptx");
    if (whole.empty()) GTEST_SKIP() << "TestPTX.ptx not found in " << sessions_dir();
    for (std::size_t length = 0; length < whole.size(); length += 131) {
        // A copy of exactly this length, so that the sanitizer sees every read past it.
        const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + length);
        const std::vector<SessionBlockNode> nodes = parse_top_level_blocks(cut.data(), cut.size());
        bool ok = true;
        check_top_level(nodes, cut.size(), ok);
        ASSERT_TRUE(ok) << "length " << length;
    }
}

}  // namespace
