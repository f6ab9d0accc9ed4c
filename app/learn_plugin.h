// --learn CHAIN AAXSIGN: teaches the converter one plug-in from a REAPER effect-chain export
// (.RfxChain) holding it, by writing one line of the learned table beside the program:
//   AAXSIGN | DISPLAY NAME | FILE | IDENT | INPUTS | OUTPUTS | TAIL WORD[ | Default Setting]
// and, for a FEED5EEF header, " | " + the preset name (empty but for FabFilter) + " | FEED5EEF"
// (plugins/learned_table.h reads it back). The chain's "<VST " line gives the names; the base64
// lines after it hold REAPER's VST state, whose header (little-endian) is
//   +0 u32 identifier (not read)     +4 u32 magic FEED5EEE or FEED5EEF
//   +8 u32 input count (0..64: an instrument has none), then one pin mask per input (8 bytes
//      wide, or 4 in older files)
//   then u32 output count (0..64) and one mask per output
//   then u32 chunk size (at most 16 MiB), u32 1 (FEED5EEE) or 0 (FEED5EEF), u32 tail word, then
//   the plug-in's chunk, which opens with "FabF" or "FFBS" for a FabFilter state ("FFBS" after a
//   u32 size and a u32 1 in a VST3 build's).
// The header is read from the whole state, all its lines: a wide plug-in's runs past the first.
// A header that does not read gives 2 in, 2 out and tail word 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Reads the next token of a "<VST " line from `rest`, blanks skipped: a token opening with a
// double quote, a single quote or a backquote runs to the next such quote (the quotes removed;
// with no closing quote it is empty and the rest of the line is used up); any other token runs to
// the next blank. False when nothing is left.
bool next_chain_token(std::string_view& rest, std::string& token);

struct VstStateHeader {
    std::uint32_t magic = 0;
    bool readable = false;
    std::uint32_t inputs = 2;
    std::uint32_t outputs = 2;
    std::uint32_t chunk_size = 0;
    std::uint32_t tail_word = 0;
    std::size_t chunk_start = 0;  // where the plug-in's chunk begins in the state bytes
};

// The magic is 0 for fewer than 8 bytes. The header reads with 8-byte pin masks, else 4-byte
// ones; when neither fits, or the magic is neither form, `readable` is false and the stereo
// defaults stand.
VstStateHeader read_vst_state_header(std::string_view bytes);

// Learns the plug-in of the chain file under the AAX signature and writes the table beside the
// program; says what it did. Returns 0 when the plug-in is learned, 1 on any failure, which
// leaves the table byte for byte as it was.
int learn_plugin(const std::string& chain_path, const std::string& signature,
                 const std::string& program_path);
