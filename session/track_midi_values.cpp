#include "session/track_midi_values.h"

#include "session/mixer_blocks.h"

namespace {

constexpr std::uint16_t kMidiValuesType = 0x2036;
constexpr std::uint32_t kMidiTrackType = 0x2620;
constexpr std::uint32_t kInstrumentTrackType = 0x2621;

}  // namespace

void read_2036_per_track(const std::uint8_t* data, std::size_t length,
                         const std::vector<NamedBlockEntry>& named,
                         std::vector<TrackMidiValues>& out) {
    out.assign(named.size(), TrackMidiValues{});
    const SessionBytes bytes = session_bytes(data, length);
    std::vector<BlockHeader> blocks;
    scan_blocks(bytes, kMidiValuesType, length, [&](const BlockHeader& block) {
        if (high_byte_zero(block) && block.size != 0) blocks.push_back(block);
        return false;
    });
    for (std::size_t i = 0; i < named.size(); ++i) {
        const NamedBlockEntry& track = named[i];
        if (track.content_type != kMidiTrackType && track.content_type != kInstrumentTrackType)
            continue;
        const BlockHeader* block = first_block_between(blocks, track.block_start, track.block_end);
        if (block == nullptr || block->end() > track.block_end || block->end() > length) continue;
        const std::size_t p = static_cast<std::size_t>(block->position);
        if (block->size > 15 && data[p + 9] < 0x80 && data[p + 17] < 0x80) {
            out[i].volume = data[p + 9];
            out[i].pan = data[p + 17];
        }
        if (block->size > 18 && data[p + 25] < 0x80) out[i].program = data[p + 25];
    }
}
