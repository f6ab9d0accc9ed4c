// Converts a crafted session of tens of thousands of one-clip tracks (tests/crafted_tracks.h:
// the shape that made the track order and the colour coding grow with the square of the track
// count) beside a real-shaped session of about the same size (tests/large_session.h: a few
// hundred tracks of many clips), taking turns, and prints both times and their ratio. The
// fastest of three runs counts. Not a timed test: it only prints the figures.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/convert_options.h"
#include "app/output.h"
#include "convert/convert_session.h"
#include "tests/crafted_tracks.h"
#include "tests/large_session.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 3;

// About 4 MB each.
const crafted_tracks::Shape kCrafted = {.tracks = 17000};
const large_session::Shape kRealShaped = {.tracks = 200, .clips_per_track = 200, .files = 200};

bool write(const fs::path& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Seconds for one conversion, or a negative number when it failed.
double convert(const fs::path& session, const fs::path& project) {
    std::error_code ignored;
    fs::remove(project, ignored);
    NullSink quiet;
    output_state.current_sink = &quiet;
    ConvertOptions options;
    options.input_path = session.string();
    options.output_path = project.string();
    options.overwrite = 1;
    const auto start = std::chrono::steady_clock::now();
    const int code = convert_session(options, nullptr, nullptr);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    output_state.current_sink = nullptr;
    return code == 0 ? seconds : -1.0;
}

}  // namespace

int main() {
    const fs::path dir =
        fs::temp_directory_path() / ("lanwick_crafted_tracks_bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path crafted = dir / "Crafted.ptx", real_shaped = dir / "RealShaped.ptx";
    if (!write(crafted, crafted_tracks::encrypted(kCrafted)) ||
        !write(real_shaped, large_session::encrypted(kRealShaped)))
        return 1;
    double best_crafted = 0.0, best_real = 0.0;
    for (int run = 0; run < kRuns; ++run) {
        const double c = convert(crafted, dir / "Crafted.rpp");
        const double r = convert(real_shaped, dir / "RealShaped.rpp");
        if (c < 0.0 || r < 0.0) {
            std::printf("a conversion failed\n");
            return 1;
        }
        best_crafted = run == 0 ? c : std::min(best_crafted, c);
        best_real = run == 0 ? r : std::min(best_real, r);
    }
    std::printf("crafted:     %d tracks of one clip, %.2f MB: %.3f s\n", kCrafted.tracks,
                static_cast<double>(fs::file_size(crafted)) / 1e6, best_crafted);
    std::printf("real-shaped: %d tracks of %d clips, %.2f MB: %.3f s\n", kRealShaped.tracks,
                kRealShaped.clips_per_track, static_cast<double>(fs::file_size(real_shaped)) / 1e6,
                best_real);
    std::printf("crafted / real-shaped: %.2f\n", best_crafted / best_real);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
