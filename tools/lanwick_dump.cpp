// Prints what the session-file layer reads from a session and its block tree, for studying the
// layout of real sessions: lanwick_dump [--depth N] [--hex N] [--type XXXX] session.ptx
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ptformat.h"
#include "session/block_tree.h"

namespace {

struct DumpOptions {
    int max_depth = kMaxBlockDepth;  // deepest level printed
    std::size_t hex_bytes = 0;       // payload bytes shown per block
    int only_type = -1;              // print only subtrees of this content type
};

struct Counts {
    std::size_t nodes = 0;
    int deepest = 0;
};

void print_node(const std::vector<std::uint8_t>& bytes, const SessionBlockNode& node, int depth,
                const DumpOptions& options, Counts& counts) {
    counts.nodes += 1;
    if (depth > counts.deepest) counts.deepest = depth;
    if (depth <= options.max_depth) {
        std::printf("%*s%04x  type %02x  at %llu  payload %llu  size %u  children %zu",
                    2 * (depth - 1), "", node.content_type, node.block_type,
                    static_cast<unsigned long long>(node.payload_position - kBlockHeaderSize),
                    static_cast<unsigned long long>(node.payload_position), node.payload_size,
                    node.children.size());
        const std::size_t shown = std::min<std::size_t>(options.hex_bytes, node.payload_size);
        if (shown > 0) std::printf("  |");
        for (std::size_t i = 0; i < shown && node.payload_position + i < bytes.size(); ++i) {
            std::printf(" %02x", bytes[node.payload_position + i]);
        }
        std::printf("\n");
    }
    for (const SessionBlockNode& child : node.children) {
        print_node(bytes, child, depth + 1, options, counts);
    }
}

void print_matching(const std::vector<std::uint8_t>& bytes, const SessionBlockNode& node, int depth,
                    const DumpOptions& options, Counts& counts) {
    if (node.content_type == options.only_type) {
        print_node(bytes, node, 1, options, counts);
        return;
    }
    for (const SessionBlockNode& child : node.children) {
        print_matching(bytes, child, depth + 1, options, counts);
    }
}

int usage() {
    std::fprintf(stderr, "usage: lanwick_dump [--depth N] [--hex N] [--type XXXX] session.ptx\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    DumpOptions options;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--depth" || arg == "--hex" || arg == "--type") && i + 1 < argc) {
            const char* value = argv[++i];
            if (arg == "--depth") options.max_depth = std::atoi(value);
            if (arg == "--hex") options.hex_bytes = std::strtoul(value, nullptr, 10);
            if (arg == "--type")
                options.only_type = static_cast<int>(std::strtol(value, nullptr, 16));
        } else if (path.empty() && arg.rfind("--", 0) != 0) {
            path = arg;
        } else {
            return usage();
        }
    }
    if (path.empty()) return usage();

    PTFFormat session;
    const int code = session.load(path, 48000);
    std::printf("file     %s\nload     %d\n", path.c_str(), code);
    PTFFormat raw;
    if (raw.unxor(path) != 0) {
        std::printf("decrypt  FAILED\n");
        return 1;
    }
    const std::vector<std::uint8_t>& bytes = raw.bytes();
    std::printf("length   %llu\nscheme   0x%02x  byte order %u  version %d  rate %lld\n",
                static_cast<unsigned long long>(raw.length()), bytes[0x12], bytes[0x11],
                raw.version(), static_cast<long long>(session.sample_rate()));
    for (std::size_t i = 0; i < session.audio_files().size(); ++i) {
        std::printf("file %zu   %s (%llu samples)\n", i, session.audio_files()[i].name.c_str(),
                    static_cast<unsigned long long>(session.audio_files()[i].length));
    }

    const std::vector<SessionBlockNode> top = parse_top_level_blocks(bytes.data(), bytes.size());
    Counts counts;
    for (const SessionBlockNode& node : top) {
        if (options.only_type >= 0) {
            print_matching(bytes, node, 1, options, counts);
        } else {
            print_node(bytes, node, 1, options, counts);
        }
    }
    std::printf("top-level blocks %zu", top.size());
    if (options.only_type < 0) std::printf("  nodes %zu  deepest %d", counts.nodes, counts.deepest);
    std::printf("\n");
    return 0;
}
