#include "app/learn_plugin.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/output.h"
#include "platform/paths.h"
#include "plugins/plugin_rules.h"
#include "plugins/table_lines.h"
#include "util/bytes.h"
#include "util/codecs.h"
#include "util/names.h"

namespace {

constexpr std::uint32_t kMaxPins = 64;
constexpr std::uint32_t kMaxChunkSize = 0x1000000;
constexpr std::size_t kInputCountAt = 8;
constexpr std::size_t kInputMasksAt = 12;
// Signatures shorter than this are passed over by the table's reader, and so are lines it cannot
// hold in its line buffer (the line end and a NUL included).
constexpr std::size_t kMinSignature = 8;
constexpr std::size_t kTableLineBuffer = 4096;

// What the chain export gives: the three names of its "<VST " line and its whole state, each
// base64 line decoded by itself (REAPER pads the header's last line and the chunk's last line
// each on its own, so decoding the text at once would shift every later byte). The header runs
// over as many lines as its pins need: REAPER wraps at 128 characters.
struct ChainExport {
    std::string display_name;
    std::string file;
    std::string ident;
    std::string state_bytes;
    bool has_header_line = false;
};

enum class ChainRead { ok, cannot_open, bad_vst_line, not_a_chain };

std::vector<std::string> file_lines(std::FILE* file) {
    std::string text;
    char buffer[8192];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// CR and LF cut from the end, blanks and TABs from the start.
std::string_view chain_line(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return line;
}

ChainRead read_chain(const std::string& path, ChainExport& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return ChainRead::cannot_open;
    const std::vector<std::string> lines = file_lines(file);
    std::fclose(file);
    bool in_vst = false;
    for (const std::string& raw : lines) {
        const std::string_view line = chain_line(raw);
        if (line.empty()) continue;
        if (!in_vst) {
            if (!line.starts_with("<VST ")) continue;
            std::string_view rest = line.substr(5);
            std::string tokens[5];
            for (std::string& token : tokens)
                if (!next_chain_token(rest, token)) break;
            out.display_name = tokens[0];
            out.file = tokens[1];
            out.ident = tokens[4];
            if (out.display_name.empty() || out.ident.empty()) return ChainRead::bad_vst_line;
            in_vst = true;
            continue;
        }
        if (out.has_header_line && (line.front() == '<' || line.front() == '>')) break;
        out.has_header_line = true;
        out.state_bytes += base64_decode(line);
    }
    return out.has_header_line ? ChainRead::ok : ChainRead::not_a_chain;
}

// The header read with pin masks `width` bytes wide, or nothing when it does not fit. The word
// after the chunk size is 1 in a FEED5EEE header and 0 in a FEED5EEF one, as REAPER writes them.
std::optional<VstStateHeader> header_with_width(std::string_view bytes, std::uint32_t magic,
                                                std::uint32_t inputs, std::size_t width) {
    const std::size_t outputs_at = kInputMasksAt + inputs * width;
    if (bytes.size() < outputs_at + 4) return std::nullopt;
    const std::uint32_t outputs = read_u32le_checked(bytes, outputs_at);
    if (outputs > kMaxPins) return std::nullopt;
    const std::size_t words_at = outputs_at + 4 + outputs * width;
    if (bytes.size() < words_at + 12) return std::nullopt;
    const std::uint32_t chunk_size = read_u32le_checked(bytes, words_at);
    if (read_u32le_checked(bytes, words_at + 4) != vst_header_flag(magic) ||
        chunk_size > kMaxChunkSize)
        return std::nullopt;
    VstStateHeader header;
    header.readable = true;
    header.inputs = inputs;
    header.outputs = outputs;
    header.chunk_size = chunk_size;
    header.tail_word = read_u32le_checked(bytes, words_at + 8);
    header.chunk_start = words_at + 12;
    return header;
}

bool holds_line_breaking_byte(std::string_view text) {
    return text.find_first_of(std::string_view("|\r\n\0", 4)) != std::string_view::npos;
}

// What of the line the table's reader would not read back as written; null when all of it reads.
const char* unstorable_field(const std::string& signature, const ChainExport& chain,
                             std::size_t line_size) {
    if (signature.size() < kMinSignature || signature.front() == '#' ||
        holds_line_breaking_byte(signature) || trim_blanks(signature) != signature)
        return "the AAX signature";
    if (holds_line_breaking_byte(chain.display_name)) return "the display name";
    if (holds_line_breaking_byte(chain.file)) return "the file name";
    if (holds_line_breaking_byte(chain.ident)) return "the ident";
    if (line_size + 2 > kTableLineBuffer) return "the learned line";
    return nullptr;
}

std::string learned_line(const std::string& signature, const ChainExport& chain,
                         const VstStateHeader& header, bool fabfilter) {
    // The magic field follows the preset name, and is written only for FEED5EEF, so that lines
    // of plug-ins REAPER writes with FEED5EEE keep the form tables had before it.
    std::string rest = fabfilter ? " | Default Setting" : "";
    if (header.magic == kVstHeaderMagicAlt) rest += fabfilter ? " | FEED5EEF" : " | | FEED5EEF";
    return format_text("%s | %s | %s | %s | %u | %u | %u%s\n", signature.c_str(),
                       chain.display_name.c_str(), chain.file.c_str(), chain.ident.c_str(),
                       header.inputs, header.outputs, header.tail_word, rest.c_str());
}

// FabFilter's chunk: "FabF" or "FFBS" at its start (VST2), or "FFBS" after the size and the word
// 1 that a VST3 build's state opens with.
bool fabfilter_state(const ChainExport& chain, const VstStateHeader& header) {
    if (!header.readable) return false;
    const std::string_view state = chain.state_bytes;
    const auto holds = [&](std::size_t at, std::string_view tag) {
        return state.size() >= at + tag.size() && state.substr(at, tag.size()) == tag;
    };
    const std::size_t at = header.chunk_start;
    return holds(at, "FabF") || holds(at, "FFBS") || holds(at + 8, "FFBS");
}

enum class TableChange { appended, replaced, unchanged, failed };

// The first field of a table line as the reader trims it; empty for comment lines.
std::string_view line_signature(std::string_view line) {
    if (!line.empty() && line.front() == '#') return {};
    return trim_blanks(line.substr(0, line.find('|')));
}

bool read_whole(const std::string& path, std::string& text, bool& present) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(native_path(path), ec);
    present = status.type() != fs::file_type::not_found;
    if (!present) return true;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char buffer[8192];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// Writes the whole text beside the table and moves it into place, so the old table stays as it
// was until the new one is complete.
bool replace_file(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(native_path(temporary), native_path(path), ec);
    if (!ok || ec) {
        std::filesystem::remove(native_path(temporary), ec);
        return false;
    }
    return true;
}

// The table with the line in it: kept when already there, in place of the line of the same
// signature, else appended (after a line end for a last line without one).
TableChange store_line(const std::string& table_path, const std::string& signature,
                       const std::string& line) {
    std::string table;
    bool present = false;
    if (!read_whole(table_path, table, present)) return TableChange::failed;
    const std::string_view wanted = std::string_view(line).substr(0, line.size() - 1);
    std::size_t start = 0;
    while (start < table.size()) {
        std::size_t end = table.find('\n', start);
        if (end == std::string::npos) end = table.size();
        std::string_view text = std::string_view(table).substr(start, end - start);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (text == wanted) return TableChange::unchanged;
        if (line_signature(text) == signature) {
            table.replace(start, text.size(), wanted);
            return replace_file(table_path, table) ? TableChange::replaced : TableChange::failed;
        }
        start = end + 1;
    }
    if (!table.empty() && table.back() != '\n') table += '\n';
    table += line;
    return replace_file(table_path, table) ? TableChange::appended : TableChange::failed;
}

}  // namespace

bool next_chain_token(std::string_view& rest, std::string& token) {
    token.clear();
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (rest.empty()) return false;
    const char quote = rest.front();
    if (quote == '"' || quote == '\'' || quote == '`') {
        const std::size_t close = rest.find(quote, 1);
        if (close == std::string_view::npos) {
            rest = {};
            return true;
        }
        token = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
        return true;
    }
    const std::size_t blank = rest.find(' ');
    token = rest.substr(0, blank);
    rest.remove_prefix(blank == std::string_view::npos ? rest.size() : blank);
    return true;
}

VstStateHeader read_vst_state_header(std::string_view bytes) {
    VstStateHeader fallback;
    fallback.magic = bytes.size() < 8 ? 0 : read_u32le_checked(bytes, 4);
    if (bytes.size() < kInputMasksAt) return fallback;
    if (fallback.magic != kVstHeaderMagic && fallback.magic != kVstHeaderMagicAlt) return fallback;
    const std::uint32_t inputs = read_u32le_checked(bytes, kInputCountAt);
    if (inputs > kMaxPins) return fallback;
    for (const std::size_t width : {8u, 4u}) {
        if (std::optional<VstStateHeader> header =
                header_with_width(bytes, fallback.magic, inputs, width)) {
            header->magic = fallback.magic;
            return *header;
        }
    }
    return fallback;
}

int learn_plugin(const std::string& chain_path, const std::string& signature,
                 const std::string& program_path) {
    ChainExport chain;
    switch (read_chain(chain_path, chain)) {
        case ChainRead::cannot_open:
            say("  cannot open %s\n", chain_path.c_str());
            return 1;
        case ChainRead::bad_vst_line:
            say("  could not read the <VST line\n");
            return 1;
        case ChainRead::not_a_chain:
            say("  %s does not look like an .RfxChain\n", chain_path.c_str());
            return 1;
        case ChainRead::ok:
            break;
    }
    const VstStateHeader header = read_vst_state_header(chain.state_bytes);
    if (header.magic != kVstHeaderMagic && header.magic != kVstHeaderMagicAlt) {
        say("  header magic is %08X, expected FEED5EEE/FEED5EEF - is this one plug-in?\n",
            header.magic);
        return 1;
    }
    const bool fabfilter = fabfilter_state(chain, header);
    const std::string line = learned_line(signature, chain, header, fabfilter);
    if (const char* field = unstorable_field(signature, chain, line.size())) {
        say("  cannot learn: %s cannot be stored in the learned table\n", field);
        return 1;
    }

    say("\n  learned from %s\n", chain_path.c_str());
    say("    display  %s\n    file     %s\n    ident    %s\n", chain.display_name.c_str(),
        chain.file.c_str(), chain.ident.c_str());
    if (header.readable)
        say("    pins     %u in, %u out    tail word %u    chunk %u bytes\n", header.inputs,
            header.outputs, header.tail_word, header.chunk_size);
    else
        say("    pins     could not be read from this header variant (%08X,\n"
            "             %u bytes) - written as stereo 2 in / 2 out. If this\n"
            "             plug-in then loads with wrong routing, send this\n"
            "             .RfxChain file.\n",
            header.magic, static_cast<unsigned>(chain.state_bytes.size()));

    const std::string table_path = plugin_table_path(program_path);
    switch (store_line(table_path, signature, line)) {
        case TableChange::failed:
            say("  cannot write %s\n", table_path.c_str());
            return 1;
        case TableChange::unchanged:
            say("  already in %s, unchanged\n", table_path.c_str());
            break;
        case TableChange::replaced:
            say("\n  replaced the line for %s in %s\n", signature.c_str(), table_path.c_str());
            break;
        case TableChange::appended:
            say("\n  appended to %s\n", table_path.c_str());
            break;
    }
    say("  The IDENTITY is now known: this plug-in will be inserted in the\n"
        "  right slot, in the right order, with its bypass state.\n");
    // What the conversion will do with the settings: a FabFilter plug-in's row takes the preset
    // and FabFilter's own framing, which this build writes from Pro Tools' values; any other
    // plug-in's settings go over where Pro Tools stored the plug-in's own chunk.
    if (signature.starts_with("FabF"))
        say("  Its REAPER state uses a container this build can write, so its\n"
            "  Pro Tools SETTINGS will transfer too, not just the identity.\n");
    else
        say("  Its Pro Tools SETTINGS transfer where Pro Tools stored the plug-in's\n"
            "  own chunk. Where it stored only control values, whose layout in this\n"
            "  REAPER build is not known, the slot goes in offline and labeled\n"
            "  rather than loading with values that would silently be wrong.\n");
    return 0;
}
