#include "melodyne/gnbk_container.h"

#include <cstdint>

#include "util/bytes.h"
#include "util/zlib_inflate.h"

namespace {

constexpr std::string_view kMagic("GNBKVAi\0", 8);
constexpr std::uint64_t kHeaderSize = 20;
// The header and the two bytes that open every zlib stream.
constexpr std::uint64_t kSmallestContainer = kHeaderSize + 2;

}  // namespace

bool unpack_gnbk_blob(std::string_view file, std::string& archive) {
    if (file.size() < kSmallestContainer || file.substr(0, kMagic.size()) != kMagic) return false;
    const std::uint64_t length = read_u32le_checked(file, 16);
    if (length + kHeaderSize > file.size()) return false;
    return inflate_zlib(reinterpret_cast<const std::uint8_t*>(file.data()) + kHeaderSize,
                        static_cast<std::size_t>(length), archive);
}

std::string pack_gnbk_blob(std::string_view zlib_stream) {
    if (zlib_stream.size() > UINT32_MAX) return {};
    std::string out(kMagic);
    append_u32le(out, 6);
    append_u32le(out, 1);
    append_u32le(out, static_cast<std::uint32_t>(zlib_stream.size()));
    out.append(zlib_stream);
    return out;
}
