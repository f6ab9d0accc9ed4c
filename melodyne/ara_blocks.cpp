#include "melodyne/ara_blocks.h"

#include <cstdint>
#include <set>

#include "convert/writer/project_text.h"
#include "melodyne/gnbk_container.h"
#include "melodyne/zlib_encode.h"
#include "util/codecs.h"

namespace {

constexpr std::size_t kBase64PerLine = 128;

}  // namespace

std::string ara_blocks_text(std::string_view merged_archive,
                            std::span<const AraSourceLine> sources) {
    const std::string stream = zlib_compress_fixed(
        reinterpret_cast<const std::uint8_t*>(merged_archive.data()), merged_archive.size());
    if (stream.empty()) return {};
    const std::string text = base64_encode(pack_gnbk_blob(stream));

    std::string out = "  <ARA com.celemony.ara.chunk.13 4\n    <BIN\n";
    for (std::size_t at = 0; at < text.size(); at += kBase64PerLine) {
        out += "      ";
        out.append(text, at, kBase64PerLine);
        out += '\n';
    }
    out += "    >\n  >\n  <ARASRC com.celemony.ara.chunk.13 4\n";
    std::set<std::string_view> listed;
    for (const AraSourceLine& source : sources) {
        if (!listed.insert(source.identifier).second) continue;
        out += "    " + source.identifier + " " + project_token(source.file_name) + "\n";
    }
    out += "  >\n  ARA_POOLED_EDITS\n";
    return out;
}
