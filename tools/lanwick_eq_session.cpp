// Writes sessions of EQ3 7-Bands and Channel Strips built in bytes, for tools/windows_check.sh to
// convert with both builds: "EQ busy.ptx" (busy mixes, every instance different), "EQ
// extreme.ptx" (bells of +-18 dB at Q 10 up to 20 kHz), "Channel Strip 48k.ptx" and "Channel
// Strip 44k.ptx" (every strip different, at 48 and 44.1 kHz), TRACKS tracks each (default 8), in
// FOLDER.
//
//   lanwick_eq_session FOLDER [TRACKS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/eq_session.h"

namespace {

bool write(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: lanwick_eq_session FOLDER [TRACKS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int tracks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 8;
    const bool ok =
        write(folder + "/EQ busy.ptx",
              eq_session::encrypted(eq_session::Kind::different_busy, tracks)) &&
        write(folder + "/EQ extreme.ptx",
              eq_session::encrypted(eq_session::Kind::extreme, tracks)) &&
        write(folder + "/Channel Strip 48k.ptx", eq_session::channel_strip_encrypted(tracks)) &&
        write(folder + "/Channel Strip 44k.ptx",
              eq_session::channel_strip_encrypted(tracks, 44100));
    return ok ? 0 : 1;
}
