#include "session/midi_chunks.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "session/nesting_bound.h"
#include "session/scan.h"
#include "util/bytes.h"

namespace {

// The node kinds that hold note-list chunks, as the session walk takes them.
constexpr std::uint16_t kChunkBlocks[] = {0x2000, 0x2002, 0x2634};
constexpr std::uint16_t kPropertiesBlock = 0x2502;
constexpr std::uint16_t kPropertiesPrefix = 0x103d;
constexpr std::uint32_t kSmallestPropertiesBlock = 153;

constexpr std::string_view kChunkMark = "MdNLB";
constexpr std::string_view kStreamMark = "MdES";
constexpr std::string_view kStreamTableMark = "MdTEL";
constexpr std::string_view kControllerMark = "MdCDS";
constexpr std::string_view kControllerSetMark = "Mdss";
constexpr std::string_view kControllerListMark = "MdCD";

constexpr std::size_t kChunkCount = 11;
constexpr std::size_t kChunkPosition = 15;
constexpr std::size_t kStreamEntries = 25;
constexpr std::size_t kStreamEntryHeader = 19;
constexpr std::size_t kControllerEntry = 12;
// The scan stops where fewer than 16 bytes are left.
constexpr std::size_t kScanTail = 16;

bool text_at(SessionBytes bytes, std::uint64_t pos, std::string_view text) {
    return pos <= bytes.size() && bytes.size() - pos >= text.size() &&
           std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

// The chunk-holding blocks, as [start, end) ranges in the order of their starts.
struct ChunkRanges {
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    std::size_t next = 0;
    std::size_t furthest_end = 0;

    // Positions are asked in ascending order.
    bool contains(std::size_t pos) {
        while (next < ranges.size() && ranges[next].first <= pos)
            furthest_end = std::max(furthest_end, ranges[next++].second);
        return pos < furthest_end;
    }
};

ChunkRanges chunk_ranges(SessionBytes bytes) {
    ChunkRanges out;
    for (const std::uint16_t kind : kChunkBlocks) {
        scan_blocks(bytes, kind, bytes.size(), [&](const BlockHeader& block) {
            if (high_byte_zero(block) && block.size != 0 && block_fits(bytes, block))
                out.ranges.emplace_back(static_cast<std::size_t>(block.position),
                                        static_cast<std::size_t>(block.end()));
            return false;
        });
    }
    std::sort(out.ranges.begin(), out.ranges.end());
    return out;
}

// An event stream at m; the position the scan goes on from. A stream that fails is passed over
// one byte on, so streams standing inside it are tried too: `nesting` walks the entries of a
// stream only while fewer than four streams tried enclose it, so that streams made to share
// their entries are not each walked to the far end.
std::size_t read_stream(SessionBytes bytes, std::size_t m, MidiChunk& chunk,
                        NestingBound& nesting) {
    const std::uint64_t length = bytes.size();
    if (m + kStreamEntries >= length || !text_at(bytes, m + 10, kStreamTableMark)) return m + 1;
    const std::uint64_t table = read_u32le_checked(bytes, m + 17);
    const std::uint64_t end = m + 21 + table;
    if (table < 4 || end > length) return m + 1;
    const std::uint32_t count = read_u32le_checked(bytes, m + 21);
    if (count == 0) return table == 4 ? m + kStreamEntries : m + 1;
    if (!admit_candidate(nesting, m, end)) return m + 1;

    // Every entry's header and length are checked before anything is copied: a stream that
    // fails takes nothing, and the data of the entries before the failing one is not copied
    // only to be dropped.
    std::uint64_t e = m + kStreamEntries;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (e + kStreamEntryHeader > end) return m + 1;
        if (read_u8_checked(bytes, e + 8) != 1) return m + 1;
        const std::uint64_t data_length = read_u32le_checked(bytes, e + 15);
        if (read_u32le_checked(bytes, e + 10) != data_length + 5) return m + 1;
        const std::uint64_t data_end = e + kStreamEntryHeader + data_length;
        if (data_end > end) return m + 1;
        e = data_end;
    }
    if (e != end) return m + 1;
    // Each entry holds its 19 header bytes inside the stream: the count is bounded by its bytes.
    chunk.streams.reserve(chunk.streams.size() + count);
    e = m + kStreamEntries;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t data_end = e + kStreamEntryHeader + read_u32le_checked(bytes, e + 15);
        MidiStreamEntry entry;
        entry.position = read_u40le_checked(bytes, e);
        entry.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(e + kStreamEntryHeader),
                           bytes.begin() + static_cast<std::ptrdiff_t>(data_end));
        chunk.streams.push_back(std::move(entry));
        e = data_end;
    }
    return static_cast<std::size_t>(end);
}

// Controller data at m; the position the scan goes on from.
std::size_t read_controllers(SessionBytes bytes, std::size_t m, MidiChunk& chunk) {
    const std::uint64_t length = bytes.size();
    if (m + 23 >= length || !text_at(bytes, m + 11, kControllerSetMark)) return m + 1;
    const std::uint64_t set_length = read_u32le_checked(bytes, m + 17);
    const std::uint64_t list = m + 11 + set_length;  // the second marker stands at list + 10
    if (set_length <= 1 || list + 24 > length) return m + 1;
    const std::uint16_t kind = read_u16le_checked(bytes, m + 21);
    const std::uint8_t low = kind & 0xFF;
    if (low != 1 && low != 2 && low != 4) return m + 1;
    if (!text_at(bytes, list + 10, kControllerListMark)) return m + 1;
    const std::uint64_t count = read_u32le_checked(bytes, list + 20);
    const std::uint64_t first = list + 24;
    if (kControllerEntry * count + 4 != read_u32le_checked(bytes, list + 16) ||
        first + kControllerEntry * count > length)
        return m + 1;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = first + kControllerEntry * i;
        chunk.controller_events.push_back(
            {kind, read_u40le_checked(bytes, entry), read_u32le_checked(bytes, entry + 8)});
    }
    return static_cast<std::size_t>(first + kControllerEntry * count);
}

}  // namespace

void read_midi_chunks(const std::uint8_t* data, std::size_t length, std::vector<MidiChunk>& out) {
    out.clear();
    const SessionBytes bytes = session_bytes(data, length);
    if (bytes.size() <= kScanTail) return;
    ChunkRanges ranges = chunk_ranges(bytes);
    // Chunks are read inside chunk blocks only: a session without them has no MIDI to search.
    if (ranges.ranges.empty()) return;

    static const std::string_view kMd = "Md";
    static const std::boyer_moore_horspool_searcher searcher(kMd.begin(), kMd.end());
    const char* text = reinterpret_cast<const char*>(bytes.data());
    const std::size_t stop = bytes.size() - kScanTail;  // the last position tried
    bool current = false;
    NestingBound stream_nesting;
    std::size_t pos = 0;
    while (pos <= stop) {
        const char* hit = std::search(text + pos, text + stop + kMd.size(), searcher);
        if (hit == text + stop + kMd.size()) break;
        const std::size_t m = static_cast<std::size_t>(hit - text);
        if (text_at(bytes, m, kChunkMark)) {
            current = ranges.contains(m);
            if (current) {
                MidiChunk chunk;
                chunk.event_count = read_u32le_checked(bytes, m + kChunkCount);
                if (chunk.event_count != 0 && m + kChunkPosition + 5 <= bytes.size())
                    chunk.position = read_u40le_checked(bytes, m + kChunkPosition);
                out.push_back(std::move(chunk));
            }
            pos = m + 1;
        } else if (current && text_at(bytes, m, kStreamMark)) {
            pos = read_stream(bytes, m, out.back(), stream_nesting);
        } else if (current && text_at(bytes, m, kControllerMark)) {
            pos = read_controllers(bytes, m, out.back());
        } else {
            pos = m + 1;
        }
    }
}

void read_midi_track_properties(const std::uint8_t* data, std::size_t length,
                                std::span<const std::uint32_t> named_block_types,
                                std::vector<MidiTrackProperties>& out) {
    out.assign(named_block_types.size(), MidiTrackProperties{});
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<BlockHeader> blocks;
    scan_blocks(bytes, kPropertiesBlock, bytes.size(), [&](const BlockHeader& block) {
        if (high_byte_zero(block) && block.size >= kSmallestPropertiesBlock &&
            block_fits(bytes, block))
            blocks.push_back(block);
        return false;
    });

    std::size_t k = 0;
    for (std::size_t i = 0; i < named_block_types.size(); ++i) {
        const std::uint32_t type = named_block_types[i];
        if (type != kMidiTrackBlock && type != kInstrumentTrackBlock) continue;
        // The session's last 0x2502 block belongs to no track.
        if (k + 2 > blocks.size()) break;
        const BlockHeader& block = blocks[k++];
        const std::size_t b = static_cast<std::size_t>(block.position);
        std::size_t shifted = b;
        BlockHeader prefix;
        if (match_block(bytes, b + 13, kPropertiesPrefix, prefix)) {
            const std::uint64_t s = read_u32le_checked(bytes, b + 16);
            if (s >= 59 && std::uint64_t{block.size} + 7 >= s + 101) shifted = b + s - 59;
        }
        const auto at = [&](std::size_t offset) { return read_u8_checked(bytes, offset); };
        const auto signed_at = [&](std::size_t offset) {
            return static_cast<std::int32_t>(static_cast<std::int8_t>(at(offset)));
        };
        MidiTrackProperties& row = out[i];
        row.quantize_on = at(b + 11) == 1;
        row.swing_percent = at(b + 54);
        row.duration_on = at(shifted + 89) == 1;
        row.delay_on = at(shifted + 133) == 1;
        const std::int64_t delay = read_u32le_checked(bytes, shifted + 136) / 1000;
        row.delay_ticks = static_cast<std::int32_t>(at(shifted + 134) != 0 ? -delay : delay);
        row.velocity_on = at(shifted + 148) == 1;
        row.velocity_scale = at(shifted + 149);
        row.velocity_offset = signed_at(shifted + 151);
        row.transpose_on = at(shifted + 156) == 1;
        row.carried_value = at(shifted + 157);
        row.transpose_octaves = signed_at(shifted + 158);
        row.transpose_semitones = signed_at(shifted + 159);
    }
}

bool any_property_on(const MidiTrackProperties& row) {
    return row.quantize_on || row.duration_on || row.delay_on || row.velocity_on ||
           row.transpose_on;
}
