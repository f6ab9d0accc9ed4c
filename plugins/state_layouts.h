// Vendor framings REAPER's builds of plug-ins expect around the settings Pro Tools stores, and
// the small readers the state conversion uses on those settings. All integers are u32
// little-endian unless called big-endian (BE).
//
// JUCE VST3 state:  [u32 L + 52][u32 1][payload][52-byte private-data block][u32 0][u32 0]
// JUCE VST2 state (an fxb bank around the chunk):
//   [u32 L+215][u32 1] "VstW" [BE 8][BE 1][BE 0] "CcnK" [BE L+191] "FBCh" [BE 2][BE plug-in id]
//   [BE 0][BE L+39] 144 zero bytes [u32 L-1][payload] "JUCEPrivateData" 8 zero bytes
// "CP" sub-records: a 16-byte header (tag in bytes 0-3, "CP" in bytes 2-3, length in bytes 8-11)
// and the record's bytes; the next record follows at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct PluginRuleRow;
struct SessionPluginInstance;

// The JUCE VST3 state around a payload.
std::string juce_vst3_state_blob(std::string_view payload);

// The JUCE VST2 state around a payload. No field of the layout holds the version; it is taken
// so that callers hand over what the chunk says.
std::string juce_vst2_state_blob(std::uint32_t plugin_id, std::uint32_t version,
                                 std::string_view payload);

// The 4-character product code a state header names: "ATxL" for "JptrATLv"; the code a row's
// braced class id holds ("VST" + code); else characters 5-8 of the AAX id.
std::string aax_product_code_for_state(const PluginRuleRow& row,
                                       const SessionPluginInstance& instance);

// major << 16 | minor << 8 | patch of the first ChunkVersion="a.b.c" in the first 512 bytes;
// 0 when absent.
std::uint32_t parse_chunk_version(std::string_view bytes);

// The position of the "CP" sub-record tagged `tag`, walking at most 16 records from the start
// of `bytes`; 0 when absent (the first record is the caller's own, never the one looked for).
std::size_t find_cp_subchunk(std::string_view bytes, std::string_view tag);

// Bytes 4-7 hold a BE even count of 2..128 that fits in `length`, and the name from byte 8 is
// UTF-16BE printable ASCII.
bool is_utf16be_name_block(const std::uint8_t* bytes, std::size_t length);

// Antares' AAX parameter codes as the plug-in's own builds name them: the first
// <PARAM id="code" of each code gets the name.
std::string remap_xml_param_ids(std::string_view xml);

// An XML state of more than 44 bytes that begins "<?xml", holds a "<Program " element and no
// "<Bank>" becomes a bank of 100 programs: the first one whole, 99 empty ones, a zero byte.
// Any other state comes back unchanged.
std::string wrap_xml_bank(std::string_view xml);

// One parameter of an Antares plug-in's XML state: the id its REAPER build reads, the value it
// takes when the session has none, and the id Pro Tools stored it under.
struct AntaresParamRow {
    const char* aax_id;
    const char* written_id;
    const char* default_value;
    const char* session_id;
};

// The rows of the built-in table for an AAX id (none shipped yet), and whether the id is one of
// the Antares plug-ins whose XML state needs them.
std::span<const AntaresParamRow> antares_param_rows(std::string_view aax_id);
bool needs_antares_param_rows(std::string_view aax_id);

// The <Parameters> section rebuilt as one <PARAM id="written" value="..."/> per row of the
// AAX id, in row order, each with the value stored under the row's session id (the default when
// the session has none); then remap_xml_param_ids. Text without the section is only remapped.
std::string rewrite_antares_params(std::string_view xml, std::string_view aax_id,
                                   std::span<const AntaresParamRow> rows);
