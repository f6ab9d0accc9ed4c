// Where a plug-in block keeps its stored settings, and in which layout.
//
// A plug-in block (content type 0x1038) at b: +9 header byte, +13 u32 T (the settings end at
// b + T + 17 when that lies inside the block and only zero bytes follow it), +25 the 8-byte AAX
// id (maker code, product code), +33 the stored name, then the settings in the maker's layout.
// The payload scan tries, at every position of [b, settings end), the recognisable starts of
// those layouts in a fixed order (first hit wins):
//   1 "FFBS"            FabFilter preset, through 8 bytes after the last "FFEx"
//   2 "VC2!"            tagged chunk, u32 at +4 plus 9
//   6 "/*@Meta"         script text to the settings end
//  10 "{\n\tindex = "   brace-balanced text
//   7 u32 0x0085988D    tagged chunk, u32 at +8 plus 12
//   8 zlib header       stream whose length words stand 16..4 bytes before it
//  11 "22 serialization::archive" twice in a row, each after its u32 length
//   4 "HXMC"            the bytes after the tag
//   3 "<?xml"           XML text through its last non-zero byte
//   9 "XPst"            a Waves "<PresetChunkXMLTree", its end given 20 bytes before the tag
//  12 u32s L, 0, 1      a Kontakt state of L - 12 bytes
// Without one, a run of "d_"/"l_" fields gives parameter values (kind 5), else the chunk
// classifier guesses a span (kind 13). Every span recorded lies inside [b, settings end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/plugin_instance.h"
#include "session/scan.h"

// Printable bytes and TAB, LF, CR.
bool is_text_byte(std::uint8_t byte);

// The '}' closing the '{' at `open`, double quotes toggling and a backslash escaping the next
// byte; false when it does not close before `end`.
bool find_brace_close(SessionBytes bytes, std::size_t open, std::size_t end, std::size_t& close);

// A run of fields from `pos`: a name area of `width` bytes beginning "d_" (then a big-endian
// f64, the run stopping at one not strictly inside +-1e30) or "l_" (then a big-endian i32).
// Values kept as f32 in `out` (cleared first); every field lies before `end`.
void read_chunk_d_fields(SessionBytes bytes, std::size_t pos, std::size_t end, std::size_t width,
                         std::vector<float>& out);

// The payload scan, the parameter path with its "elck" link, and the product text of the block
// at `record.block_pos` whose settings end at `record.settings_end` (inside the bytes). Leaves
// kind 0 for the classifier when nothing holds.
void scan_settings_payload(SessionBytes bytes, SessionPluginInstance& record);
