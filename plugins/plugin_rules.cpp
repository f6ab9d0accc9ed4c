#include "plugins/plugin_rules.h"

#include <cstring>

#include "model/plugin_instance.h"
#include "model/plugin_records.h"
#include "plugins/plugin_state.h"
#include "util/names.h"

namespace {

// A plug-in inside a Waves shell is stored with payload kind 9 and a four-character code.
constexpr std::uint32_t kWavesShellPayload = 9;
constexpr std::size_t kSubcomponentCodeLength = 4;

PluginRuleRow named_only(const char* signature, const char* display_name) {
    PluginRuleRow row;
    row.signature = signature;
    row.display_name = display_name;
    return row;
}

// Every signature is the AAX id Pro Tools stores for the plug-in (maker code, product code).
const PluginRuleRow kBuiltinRows[] = {
    // Avid's own processors exist only as AAX: these rows keep their names on their slots.
    named_only("Digi47e3", "EQ3 7-Band"),
    named_only("Digi1be3", "EQ3 1-Band"),
    named_only("Digidn3c", "Dyn3 Compressor/Limiter"),
    named_only("Digidn3e", "Dyn3 Expander/Gate"),
    named_only("AVIDChSt", "Channel Strip"),
    named_only("DigiTrim", "Trim"),
    // Kontakt 6 (Native Instruments), aimed at its VST2 build: REAPER's cache lists it as
    //   Kontakt.dll=...,1315513412,Kontakt (Native Instruments) (64 out)!!!VSTi
    // (1315513412 is the product code "Ni$D"); the resolution pass moves it to a newer Kontakt
    // the cache holds. An instrument takes no input: REAPER saves Kontakt with none.
    [] {
        PluginRuleRow row;
        row.signature = "NiInNi$D";
        row.display_name = "Kontakt";
        row.type_text = "VSTi: Kontakt (Native Instruments) (64 out)";
        row.file = "Kontakt.dll";
        row.id_text = "1315513412<5653544E6924446B6F6E74616B740000>";
        row.input_pins = 0;
        row.output_pins = 64;
        row.tail_word = 0x00100000;
        return row;
    }(),
};

template <typename Rows>
const PluginRuleRow* first_match(const Rows& rows, std::string_view key, bool with_target_only) {
    for (const PluginRuleRow& row : rows) {
        if (with_target_only && !row_has_target(row)) continue;
        if (signature_matches(row.signature, key)) return &row;
    }
    return nullptr;
}

}  // namespace

std::string plugin_key(const SessionPluginInstance& instance) {
    if (instance.payload_kind == kWavesShellPayload &&
        instance.subcomponent_code.size() == kSubcomponentCodeLength)
        return instance.aax_id + instance.subcomponent_code;
    return instance.aax_id;
}

void point_row_at(PluginRuleRow& row, const PluginResolution& record) {
    row.signature = record.key.c_str();
    row.display_name = record.display_name.c_str();
    row.type_text = record.type_text.c_str();
    row.file = record.file.c_str();
    row.id_text = record.id_text.c_str();
}

std::uint32_t reaper_header_tail_word(std::string_view id_text) {
    return id_text.find('{') != std::string_view::npos ? 0x0010FFFFu : 0x00100000u;
}

bool row_has_target(const PluginRuleRow& row) {
    return row.id_text != nullptr && row.id_text[0] != '\0';
}

bool signature_matches(const char* signature, std::string_view key) {
    if (signature == nullptr || !starts_with(key, signature)) return false;
    return key.size() != kShellKeyLength || std::strlen(signature) == kShellKeyLength;
}

std::span<const PluginRuleRow> builtin_rule_rows() {
    return kBuiltinRows;
}

const PluginRuleRow* find_builtin_row(std::span<const PluginRuleRow> rows, std::string_view key) {
    return first_match(rows, key, false);
}

const PluginRuleRow* find_mapping_rule(std::string_view key) {
    if (const PluginRuleRow* row = first_match(plugin_knowledge.resolved_rows, key, false))
        return row;
    if (const PluginRuleRow* row = first_match(kBuiltinRows, key, true)) return row;
    if (const PluginRuleRow* row = first_match(plugin_knowledge.learned_rows, key, false))
        return row;
    return first_match(kBuiltinRows, key, false);
}

bool is_avid_maker_id(std::string_view aax_id) {
    for (const char* maker : {"Digi", "AVID", "Avid", "BFD ", "TrLn"})
        if (starts_with(aax_id, maker)) return true;
    return false;
}
