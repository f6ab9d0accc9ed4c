// Converts one large synthetic session -- 500 tracks, 50,000 clips on 500 audio files, a volume
// automation list of 256 points per track -- and prints the session's size, the time each
// conversion took and the peak memory of the process.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "app/output.h"
#include "convert/convert_session.h"
#include "convert/writer/item_writer.h"
#include "platform/ptformat.h"
#include "tests/walk_builder.h"

namespace {

using namespace walk_blocks;
using test_blocks::audio_files_block;
using test_blocks::lead_block;
using test_blocks::rate_block;
using test_blocks::session_header;
using test_blocks::version_block;

constexpr int kTracks = 500;
constexpr int kClipsPerTrack = 100;
constexpr int kFiles = 500;
constexpr int kAutomationPoints = 256;
constexpr std::uint32_t kRate = 48000;

// A breakpoint list (0x260a): the point count at +25, the initial value at +35, then 6-byte
// points (u32 position, i16 value) from +37, inside a lane (0x260d) of a track block (0x261b).
std::string automation_block(int track) {
    std::string points;
    for (int i = 0; i < kAutomationPoints; ++i) {
        points += u32le(static_cast<std::uint32_t>(i) * kRate / 4);
        append_u16le(points, static_cast<std::uint16_t>(-((i + track) % 120)));
    }
    std::string list = zeros(16);
    append_u16le(list, static_cast<std::uint16_t>(kAutomationPoints));
    list += zeros(8);
    append_u16le(list, 0);
    list += points;
    return z_block(0x261b, z_block(0x260d, zeros(19) + z_block(0x260a, list)));
}

std::string large_session() {
    std::vector<test_blocks::FileEntry> files;
    std::vector<std::uint64_t> lengths;
    for (int f = 0; f < kFiles; ++f) {
        files.push_back({"Take " + std::to_string(f) + ".wav", "EVAW"});
        lengths.push_back(std::uint64_t{kRate} * 600);
    }

    std::vector<std::string> regions;
    std::vector<std::string> entries;
    std::vector<std::string> tracks;
    std::string automation;
    for (int t = 0; t < kTracks; ++t) {
        std::vector<std::string> placements;
        for (int c = 0; c < kClipsPerTrack; ++c) {
            const int region = t * kClipsPerTrack + c;
            regions.push_back(audio_region("Take " + std::to_string(region),
                                           std::uint64_t{kRate} * (c % 50), kRate * 2, 0,
                                           static_cast<std::uint16_t>(region % kFiles)));
            placements.push_back(placement(static_cast<std::uint32_t>(region),
                                           std::uint64_t{kRate} * 3 * static_cast<unsigned>(c)));
        }
        const std::string name = "Track " + std::to_string(t + 1);
        entries.push_back(track_entry(name, {static_cast<std::uint16_t>(t)}));
        tracks.push_back(placement_track(name, {audio_playlist(placements)}));
        automation += automation_block(t);
    }

    std::string plain = session_header() + lead_block() + version_block(12) +
                        // Scheme 0x05 leaves the first 4096 bytes clear: the rest lies past them.
                        z_block(0x7777, zeros(5000)) + rate_block(kRate) +
                        audio_files_block(kFiles, files, lengths) + region_list(regions) +
                        track_list(entries) + placement_tracks(tracks) + automation;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    return std::string(bytes.begin(), bytes.end());
}

double peak_memory_mib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "lanwick_convert_bench";
    std::filesystem::create_directories(dir);
    const std::string session_path = (dir / "Large.ptx").string();
    const std::string project_path = (dir / "Large.rpp").string();

    const auto build_start = std::chrono::steady_clock::now();
    const std::string session = large_session();
    if (std::FILE* f = std::fopen(session_path.c_str(), "wb")) {
        std::fwrite(session.data(), 1, session.size(), f);
        std::fclose(f);
    } else {
        std::fprintf(stderr, "could not write %s\n", session_path.c_str());
        return 1;
    }
    const double build_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - build_start).count();
    std::printf("session: %d tracks, %d clips, %d files, %d automation points per track\n", kTracks,
                kTracks * kClipsPerTrack, kFiles, kAutomationPoints);
    std::printf("session file: %.2f MiB (%zu bytes), built in %.2f s\n",
                static_cast<double>(session.size()) / (1024.0 * 1024.0), session.size(),
                build_seconds);
    std::printf("peak memory before converting: %.1f MiB\n", peak_memory_mib());

    NullSink quiet;
    output_state.current_sink = &quiet;
    ConvertOptions options;
    options.input_path = session_path;
    options.output_path = project_path;
    options.overwrite = 1;
    int code = 0;
    for (int run = 1; run <= 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        code = convert_session(options, nullptr, nullptr);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::error_code ec;
        const auto project_size = std::filesystem::file_size(project_path, ec);
        std::printf("run %d: exit %d, %.3f s, %u items, project %.2f MiB, peak memory %.1f MiB\n",
                    run, code, seconds, item_writer.items_written,
                    ec ? 0.0 : static_cast<double>(project_size) / (1024.0 * 1024.0),
                    peak_memory_mib());
    }
    output_state.current_sink = nullptr;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return code;
}
