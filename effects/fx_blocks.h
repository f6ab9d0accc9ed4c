// REAPER effect blocks built as text: a plug-in's <VST block, a <JS block, REAPER's volume JS,
// and the ReaEQ, ReaGate and ReaComp blocks with their states. The stand-in converters and the
// take-effect writer build their blocks here, so the same text can sit in a track's chain or in a
// take's chain; every line begins with `fx_indent`.
//
// A <VST block: the type text, the file, 0, the custom name, the id text and "", then base64
// lines: the header whole (u32 little-endian: VST2 id, 0xfeed5eee or 0xfeed5eef, the input pin
// count and a 64-bit mask per pin, the output pin count and its masks, the state length, a flag,
// a tail word), the state, both in slices of 128 characters, and the trailer whose last word
// follows the tail word ("AAAQAAAA" after REAPER's 0x00100000).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "effects/reaeq_band.h"
#include "model/plugin_instance.h"
#include "session/scan.h"

// The text that begins every block line: eight blanks, six while a track's chain is built.
extern std::string fx_indent;
// The key-source index of the stand-in being built (0 when it is not keyed): ReaGate and ReaComp
// take their key from the input pins two channels further per key source.
extern std::uint32_t fx_current_key_offset;
// Both back to their start values.
void reset_fx_block_state();

// REAPER names its own plug-ins' files by platform: "reaeq.dll" on Windows, "reaeq.vst.dylib" on
// macOS, "reaeq.vst.so" on Linux. A project names them as REAPER on the machine the program runs
// on does.
#if defined(_WIN32)
inline constexpr std::string_view kReaperPluginFileSuffix = ".dll";
#elif defined(__APPLE__)
inline constexpr std::string_view kReaperPluginFileSuffix = ".vst.dylib";
#else
inline constexpr std::string_view kReaperPluginFileSuffix = ".vst.so";
#endif
// The file of REAPER's own plug-in `stem` ("reaeq", "reacomp", ...) on this platform.
std::string reaper_plugin_file(std::string_view stem);

std::string build_vst_block(std::string_view type_text, std::string_view file,
                            std::string_view id_text, std::string_view header,
                            std::string_view state, std::uint8_t bypass, std::uint32_t seed,
                            std::string_view custom_name, std::string_view preset_name);

// `parameters` holds `count` values (below 64); the line is padded with " -" to 64 slots.
std::string build_js_block(std::string_view path, std::string_view parameters, int count,
                           std::uint8_t bypass, std::uint32_t seed, std::string_view description,
                           std::string_view preset_name);

// The first two slots of utility/volume at `gain_db`: "%.6f" of gain x 6 / 6.0206, then 150.
std::string volume_js_parameters(double gain_db);
// utility/volume at `gain_db` (its first slot, "%.6f" of gain x 6 / 6.0206, then 150).
std::string build_volume_trim_js(double gain_db, std::uint8_t bypass, std::uint32_t seed,
                                 std::string_view description, std::string_view preset_name);

// ReaEQ's state: 33, the band count, per band type, enabled, frequency (f64), 10^(gain/20) (f64),
// the band's value (f64), a byte 1; then 1, 1, 10^(output gain/20) (f64), 12 zero bytes and 2 0 1
// 0.
std::string reaeq_state(const std::vector<ReaEqStateBand>& bands, double output_gain_db);
std::string build_reaeq_block(const std::vector<ReaEqStateBand>& bands, std::uint8_t bypass,
                              std::uint32_t seed, std::string_view custom_name,
                              std::string_view preset_name, double output_gain_db);

// State 0xdeadbeef, 0xdeadf00d and the 21 parameter words (f32 bit patterns); four inputs, the
// last two (the key) moved by `fx_current_key_offset` pairs.
std::string build_reagate_or_reacomp_block(bool gate, const std::uint32_t (&words)[21],
                                           std::uint8_t bypass, std::uint32_t seed,
                                           std::string_view custom_name,
                                           std::string_view preset_name);

// The Avid stock processor an instance is: "EQ3 7-Band", "EQ3 1-Band", "Dyn3 Compressor/Limiter",
// "Dyn3 Expander/Gate" or "Channel Strip", by the first 8 characters of its AAX id.
std::optional<std::string> stock_plugin_name(const SessionPluginInstance& instance);

// True when the stand-in can be built from the stored settings: the EQ3 and Dyn3 ids need their
// control values (38, 8, 14 or 15 of them); the Channel Strip its named values, among them
// "Cmp Ratio", "EQ Low Gain", "Filter 2 Type" and "Sc Source".
bool standin_chunk_ok(const SessionPluginInstance& instance, SessionBytes bytes);

// Puts "PINFLAGS 1" in the last block of `text` (the one its last WAK line closes), right after
// that block's ">" line and at its indent, where REAPER writes it: the slot that takes the key
// input's pins.
void insert_pinflags(std::string& text);

// a + " (" + b + ")".
std::string join_name_parenthesised(std::string_view a, std::string_view b);

// The description of a first-order JS filter; `order` 3 names its 6 dB/oct as "6 of 18 dB/oct".
std::string one_pole_filter_name(std::string_view name, bool high_pass, int order);
