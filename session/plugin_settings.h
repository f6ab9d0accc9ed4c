// Plug-in slots: one record per plug-in block (content type 0x1038), with where its settings lie,
// its bypass and active state and its parameter automation lanes.
//
// Around a plug-in block at b (layout in session/settings_payload.h):
//   the smallest enclosing 0x261B block (else 0x2621) is its owner, the track's block;
//   the byte right after the block is 0 when the slot is inactive;
//   the first 0x2614 block at or after the settings end: the byte before it is 1 when the slot
//   is bypassed, its u32 at +9 the stream word;
//   the first 0x260E block at or after the settings end: u16 at +9, the key input's channel
//   (65535 none).
// A parameter lane is a 0x260F block holding a 0x260B point list:
//   +25 u16 n, +27 40-bit tick flag, +35 i32 initial value, +39 n x {i32 position, i32 value}
//   (values are i32 / 2^31 + 0.5), the list holding 34 + 8n bytes after +7;
// right after the list: u32 length and name (1..128 printable), u32 lane word, 8 bytes, u32 length
// and second name (0..127 printable). A lane belongs to the last plug-in block before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/plugin_instance.h"

// Appends one record per plug-in block, in block order.
void read_aax_settings_chunk(const std::uint8_t* data, std::size_t length,
                             std::vector<SessionPluginInstance>& out);
