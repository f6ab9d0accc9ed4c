// Mapping rows from an AAX plug-in key to a REAPER plug-in, the built-in rows, and the key of a
// session's plug-in instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// An AAX id is 8 characters: the maker code, then the product code. A plug-in inside a Waves
// shell is known by 12: the shell's id, then the four-character sub-plug-in code.
inline constexpr std::size_t kAaxIdLength = 8;
inline constexpr std::size_t kShellKeyLength = 12;

struct PluginResolution;
struct SessionPluginInstance;

// The second word of a <VST block's header: REAPER writes most plug-ins with 0xFEED5EEE and
// some (ReaComp, ReaSynth, ReaVerbate among them) with 0xFEED5EEF.
inline constexpr std::uint32_t kVstHeaderMagic = 0xFEED5EEE;
inline constexpr std::uint32_t kVstHeaderMagicAlt = 0xFEED5EEF;
// The header's word after the chunk size: 1 after 0xFEED5EEE, 0 after 0xFEED5EEF, as REAPER
// writes them.
inline constexpr std::uint32_t vst_header_flag(std::uint32_t magic) {
    return magic == kVstHeaderMagicAlt ? 0u : 1u;
}

// One mapping from an AAX key prefix to a REAPER plug-in. Every text points into the built-in
// table or into a PluginResolution that stays in place until the run's reset.
struct PluginRuleRow {
    const char* signature = nullptr;  // AAX key prefix
    const char* display_name = nullptr;
    const char* type_text = nullptr;  // REAPER's type word, ": ", then the plug-in name
    const char* file = nullptr;
    const char* id_text = nullptr;  // empty or null: the row has no REAPER target
    std::uint32_t input_pins = 2;
    std::uint32_t output_pins = 2;
    std::uint32_t tail_word = 0;
    std::uint32_t payload_limit = 0;  // 0, or the exact payload length the raw state takes
    const std::uint8_t* header_template = nullptr;
    std::uint32_t header_template_len = 0;
    const std::uint8_t* trailing_block = nullptr;
    std::uint32_t trailing_block_len = 0;
    std::uint32_t wrap_flag = 0;
    const char* preset_name = nullptr;
    std::uint32_t mode = 0;                        // 1: the value-list state
    std::uint32_t value_count = 0;                 // values of the value-list state (20 when 0)
    std::uint32_t zero_prefix = 0;                 // zero bytes before those values
    std::uint32_t header_magic = kVstHeaderMagic;  // the second word of the block's header
};

// A plug-in's key: its AAX id, followed by the four-character sub-plug-in code for a plug-in
// inside a Waves shell (a 12-character key).
std::string plugin_key(const SessionPluginInstance& instance);

// Points the row's signature, display name, type text, file and id text at the record's texts;
// the record must stay in place as long as the row is used.
void point_row_at(PluginRuleRow& row, const PluginResolution& record);

// True when the row names a REAPER plug-in.
bool row_has_target(const PluginRuleRow& row);

// The last word of the VST state header REAPER writes for a plug-in of this id text: 0x0010FFFF
// for a VST3 build (its id text holds the class id in braces), 0x00100000 for a VST2 build. The
// low half is the plug-in's program, where REAPER keeps 0xFFFF for "none" on VST3.
std::uint32_t reaper_header_tail_word(std::string_view id_text);

// A row's signature matches a key it begins. A 12-character key (a plug-in inside a Waves shell)
// is matched only by a 12-character signature: the shell's 8-character id names every plug-in
// inside it, never one of them.
bool signature_matches(const char* signature, std::string_view key);

// The rows this program ships.
std::span<const PluginRuleRow> builtin_rule_rows();

// The first of these rows whose signature matches the key, or null.
const PluginRuleRow* find_builtin_row(std::span<const PluginRuleRow> rows, std::string_view key);

// The row a slot takes: the run's resolved rows, then the built-in rows with a target, then the
// learned rows, then any built-in row (which keeps the slot's name without a target). Null when
// none matches.
const PluginRuleRow* find_mapping_rule(std::string_view key);

// True for the maker codes of Avid's own processors.
bool is_avid_maker_id(std::string_view aax_id);
