#include "plugins/state_layouts.h"

#include <array>
#include <cstring>
#include <map>
#include <utility>

#include "model/plugin_instance.h"
#include "plugins/plugin_rules.h"
#include "plugins/reaper_cache.h"
#include "util/bytes.h"

namespace {

constexpr std::string_view kJucePrivateData = "JUCEPrivateData";
constexpr std::size_t kJuceVst2Filler = 144;
constexpr std::size_t kChunkVersionWindow = 512;
constexpr std::size_t kCpHeader = 16;
constexpr int kMaxCpRecords = 16;
constexpr std::size_t kBankPrograms = 100;
constexpr std::size_t kBankMinLength = 44;

// The fixed block JUCE keeps after a VST3 plug-in's own state.
std::string juce_private_block() {
    std::string block(kJucePrivateData);
    block += std::string_view("\0\x01\x01", 3);
    block += "Bypass";
    block += std::string_view("\0\x01\x01\x03\x00\x1D", 6);
    block += std::string(7, '\0');
    block += kJucePrivateData;
    return block;
}

const std::array<std::pair<std::string_view, std::string_view>, 25> kAntaresParamNames = {{
    {"bypa", "MasterBypass"},     {"vrpu", "InputType_ID"}, {"sld1", "RetuneSpeed_ID"},
    {"kypu", "Key_ID"},           {"scpu", "Scale_ID"},     {"butc", "CKey_ID"},
    {"butC", "CSharpKey_ID"},     {"butd", "DKey_ID"},      {"butD", "DSharpKey_ID"},
    {"bute", "EKey_ID"},          {"butf", "FKey_ID"},      {"sld3", "Tracking_ID"},
    {"HumK", "Humanize_ID"},      {"butF", "FSharpKey_ID"}, {"butg", "GKey_ID"},
    {"butG", "GSharpKey_ID"},     {"buta", "AKey_ID"},      {"butA", "ASharpKey_ID"},
    {"butb", "BKey_ID"},          {"papu", "Pattern_ID"},   {"busy", "HostSynch_ID"},
    {"dil1", "GestureTempo_ID"},  {"butr", "Trigger_ID"},   {"sld2", "PatternSpeed_ID"},
    {"dil7", "TempoSynchLen_ID"},
}};

// Decimal digits at `pos`; false when there are none or the number passes 32 bits.
bool read_decimal(std::string_view text, std::size_t& pos, std::uint32_t& value) {
    const std::size_t start = pos;
    std::uint64_t number = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        number = number * 10 + static_cast<std::uint64_t>(text[pos] - '0');
        if (number > 0xFFFFFFFFu) return false;
        ++pos;
    }
    value = static_cast<std::uint32_t>(number);
    return pos > start;
}

}  // namespace

std::string juce_vst3_state_blob(std::string_view payload) {
    const std::string block = juce_private_block();
    std::string out;
    append_u32le(out, static_cast<std::uint32_t>(payload.size() + block.size()));
    append_u32le(out, 1);
    out += payload;
    out += block;
    append_u32le(out, 0);
    append_u32le(out, 0);
    return out;
}

std::string juce_vst2_state_blob(std::uint32_t plugin_id, [[maybe_unused]] std::uint32_t version,
                                 std::string_view payload) {
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::string out;
    append_u32le(out, length + 215);
    append_u32le(out, 1);
    out += "VstW";
    append_u32be(out, 8);
    append_u32be(out, 1);
    append_u32be(out, 0);
    out += "CcnK";
    append_u32be(out, length + 191);
    out += "FBCh";
    append_u32be(out, 2);
    append_u32be(out, plugin_id);
    append_u32be(out, 0);
    append_u32be(out, length + 39);
    out += std::string(kJuceVst2Filler, '\0');
    append_u32le(out, length - 1);
    out += payload;
    out += kJucePrivateData;
    out += std::string(8, '\0');
    return out;
}

std::string aax_product_code_for_state(const PluginRuleRow& row,
                                       const SessionPluginInstance& instance) {
    if (instance.aax_id == "JptrATLv") return "ATxL";
    const std::string_view id = row.id_text ? row.id_text : "";
    const std::size_t brace = id.find('{');
    if (brace != std::string_view::npos) {
        const std::string bytes = decode_class_id(id.substr(brace + 1, 32));
        if (bytes.size() == 16 && bytes.compare(0, 3, "VST") == 0) return bytes.substr(3, 4);
    }
    return instance.aax_id.size() >= 8 ? instance.aax_id.substr(4, 4) : std::string();
}

std::uint32_t parse_chunk_version(std::string_view bytes) {
    constexpr std::string_view tag = "ChunkVersion=\"";
    const std::size_t at = bytes.substr(0, kChunkVersionWindow).find(tag);
    if (at == std::string_view::npos) return 0;
    std::size_t pos = at + tag.size();
    std::uint32_t major = 0, minor = 0, patch = 0;
    if (!read_decimal(bytes, pos, major) || pos >= bytes.size() || bytes[pos++] != '.' ||
        !read_decimal(bytes, pos, minor) || pos >= bytes.size() || bytes[pos++] != '.' ||
        !read_decimal(bytes, pos, patch))
        return 0;
    return major << 16 | minor << 8 | patch;
}

std::size_t find_cp_subchunk(std::string_view bytes, std::string_view tag) {
    std::size_t pos = 0;
    for (int record = 0; record < kMaxCpRecords; ++record) {
        if (bytes.size() < kCpHeader || pos > bytes.size() - kCpHeader) return 0;
        if (bytes.compare(pos + 2, 2, "CP") != 0) return 0;
        if (bytes.compare(pos, 4, tag) == 0) return pos;
        const std::uint64_t next =
            std::uint64_t{pos} + kCpHeader + read_u32le_checked(bytes, pos + 8);
        if (next > bytes.size()) return 0;
        pos = static_cast<std::size_t>(next);
    }
    return 0;
}

bool is_utf16be_name_block(const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr || length < 8) return false;
    const std::uint32_t count = static_cast<std::uint32_t>(bytes[4]) << 24 |
                                static_cast<std::uint32_t>(bytes[5]) << 16 |
                                static_cast<std::uint32_t>(bytes[6]) << 8 | bytes[7];
    if (count < 2 || count > 128 || count % 2 != 0 || count + 8 > length) return false;
    for (std::size_t i = 8; i < 8 + count; i += 2)
        if (bytes[i] != 0 || bytes[i + 1] < 0x20 || bytes[i + 1] > 0x7E) return false;
    return true;
}

std::string remap_xml_param_ids(std::string_view xml) {
    std::string out(xml);
    for (const auto& [code, name] : kAntaresParamNames) {
        const std::string from = "<PARAM id=\"" + std::string(code) + "\"";
        const std::size_t at = out.find(from);
        if (at == std::string::npos) continue;
        out.replace(at, from.size(), "<PARAM id=\"" + std::string(name) + "\"");
    }
    return out;
}

std::string wrap_xml_bank(std::string_view xml) {
    if (xml.size() <= kBankMinLength || !xml.starts_with("<?xml") ||
        xml.find("<Bank>") != std::string_view::npos)
        return std::string(xml);
    const std::size_t program = xml.find("<Program ");
    if (program == std::string_view::npos) return std::string(xml);
    std::size_t end = xml.find("</Program>", program);
    if (end != std::string_view::npos) {
        end += std::strlen("</Program>");
    } else {
        // A program written as one empty element ends at its "/>".
        const std::size_t close = xml.find('>', program);
        if (close == std::string_view::npos || xml[close - 1] != '/') return std::string(xml);
        end = close + 1;
    }
    std::string out(xml.substr(0, program));
    out += "<Bank>";
    out += xml.substr(program, end - program);
    for (std::size_t i = 1; i < kBankPrograms; ++i) out += "<Program />";
    out += "</Bank>";
    out += '\0';
    return out;
}

std::span<const AntaresParamRow> antares_param_rows(std::string_view) {
    // The rows must come from states REAPER wrote for these builds; until then the ids below
    // carry no XML state rather than one holding Pro Tools' parameter ids.
    return {};
}

bool needs_antares_param_rows(std::string_view aax_id) {
    for (const char* id : {"AntrWarm", "AntrHE41", "AntrVMrp", "AntrArti", "AntrMutr", "AntrMicX",
                           "AntrVDbl", "AntrAspr", "AntrVChr", "AntrVMax"})
        if (aax_id == id) return true;
    return false;
}

std::string rewrite_antares_params(std::string_view xml, std::string_view aax_id,
                                   std::span<const AntaresParamRow> rows) {
    constexpr std::string_view open = "<Parameters><";
    constexpr std::string_view close = "</Parameters>";
    constexpr std::string_view param = "<PARAM id=\"";
    constexpr std::string_view value = "value=\"";
    const std::size_t at = xml.find(open);
    const std::size_t first = at == std::string_view::npos ? at : at + open.size() - 1;
    const std::size_t end = first == std::string_view::npos ? first : xml.find(close, first);
    if (end == std::string_view::npos) return remap_xml_param_ids(xml);

    const std::string_view section = xml.substr(first, end - first);
    std::map<std::string, std::string, std::less<>> stored;
    for (std::size_t p = section.find(param); p != std::string_view::npos;
         p = section.find(param, p + 1)) {
        const std::size_t id = p + param.size();
        const std::size_t id_end = section.find('"', id);
        if (id_end == std::string_view::npos) break;
        const std::size_t next = section.find(param, id_end);
        const std::size_t v = section.substr(0, next).find(value, id_end);
        if (v == std::string_view::npos) continue;
        const std::size_t v_end = section.find('"', v + value.size());
        if (v_end == std::string_view::npos) break;
        stored.emplace(std::string(section.substr(id, id_end - id)),
                       std::string(section.substr(v + value.size(), v_end - v - value.size())));
    }
    std::string out(xml.substr(0, first));
    for (const AntaresParamRow& row : rows) {
        if (aax_id != row.aax_id) continue;
        const auto found = stored.find(std::string_view(row.session_id));
        out += param;
        out += row.written_id;
        out += "\" value=\"";
        out += found != stored.end() ? found->second : std::string(row.default_value);
        out += "\"/>";
    }
    out += xml.substr(end);
    return remap_xml_param_ids(out);
}
