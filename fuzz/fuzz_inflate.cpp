// Feeds arbitrary bytes to the inflater. Whatever the system zlib decodes must decode the same
// here, and the encoder's output for the same bytes must come back unchanged.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "melodyne/zlib_encode.h"
#include "util/zlib_inflate.h"

namespace {

// zlib's raw inflate of the data after the two header bytes; false unless it reaches the end of
// the final block within `max_output` bytes.
bool zlib_raw_inflate(const uint8_t* data, size_t size, size_t max_output, std::string& out) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(data + 2);
    z.avail_in = static_cast<uInt>(size - 2);
    int rc = Z_OK;
    char buf[65536];
    while (rc == Z_OK && out.size() <= max_output) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
        if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) break;
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END && out.size() <= max_output;
}

bool header_ok(const uint8_t* data, size_t size) {
    return size >= 2 && (data[0] & 0x0F) == 8 && ((data[0] << 8) | data[1]) % 31 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string ours;
    bool ok = inflate_zlib(data, size, ours);

    std::string theirs;
    if (header_ok(data, size) && zlib_raw_inflate(data, size, inflate_output_limit(size), theirs)) {
        if (!ok || ours != theirs) std::abort();
    }

    // The encoder sets up 128 KiB of hash heads per call, so only some inputs go through it.
    if (size % 8 != 0) return 0;
    std::string stream = zlib_compress_fixed(data, size);
    std::string back;
    if (!inflate_zlib(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), back) ||
        back != std::string(reinterpret_cast<const char*>(data), size)) {
        std::abort();
    }
    return 0;
}
