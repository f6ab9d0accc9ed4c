// Converts crafted sessions built to make a stage's cost grow with the square of its records
// (tests/crafted_tracks.h: tens of thousands of one-clip tracks, or of folder rows;
// tests/crafted_readers.h: mix-group records, nested send lanes, a long tempo map) beside
// real-shaped sessions of about the same size (tests/large_session.h: a few hundred tracks of
// 200 clips), taking turns, and prints each one's processor time and its ratio to the
// real-shaped session nearest its size. The fastest of the runs counts. Not a timed test: it only
// prints the figures.
//
//   lanwick_crafted_tracks_bench [--runs N] [--keep DIR] [SHAPE...]
//
// SHAPE names the crafted sessions to convert (all when none is given); --keep writes every
// session into DIR and leaves it there, for converting by the program.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "app/output.h"
#include "convert/convert_session.h"
#include "tests/crafted_readers.h"
#include "tests/crafted_tracks.h"
#include "tests/large_session.h"

namespace {

namespace fs = std::filesystem;

struct Crafted {
    const char* name;
    const char* what;
    std::function<std::string()> build;
};

constexpr std::size_t kMB = 1000000;

std::vector<Crafted> crafted_shapes() {
    using crafted_readers::Kind;
    const auto readers = [](Kind kind, std::size_t bytes) {
        return [kind, bytes] { return crafted_readers::encrypted({.kind = kind, .bytes = bytes}); };
    };
    return {
        {"tracks", "17000 tracks of one clip",
         [] { return crafted_tracks::encrypted({.tracks = 17000}); }},
        {"tracks_8mb", "34000 tracks of one clip",
         [] { return crafted_tracks::encrypted({.tracks = 34000}); }},
        {"folder_rows", "3000 tracks, 60000 folder rows",
         [] { return crafted_tracks::encrypted({.tracks = 3000, .folder_rows = 60000}); }},
        {"groups", "one-member mix-group records", readers(Kind::groups, 4 * kMB)},
        {"send_lanes", "nested send lanes, one track", readers(Kind::send_lanes, 4 * kMB)},
        {"mono_out_lanes", "nested \"Out 1-2\" lanes of mono lists",
         readers(Kind::mono_out_lanes, 4 * kMB)},
        {"tempo_map", "a tempo map of 100,000 entries", readers(Kind::tempo_map, 6100000)},
    };
}

bool write(const fs::path& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Processor seconds for one conversion, or a negative number when it failed.
double convert(const fs::path& session, const fs::path& project) {
    std::error_code ignored;
    fs::remove(project, ignored);
    NullSink quiet;
    output_state.current_sink = &quiet;
    ConvertOptions options;
    options.input_path = session.string();
    options.output_path = project.string();
    options.overwrite = 1;
    const std::clock_t start = std::clock();
    const int code = convert_session(options, nullptr, nullptr);
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    output_state.current_sink = nullptr;
    return code == 0 ? seconds : -1.0;
}

struct Measured {
    std::string label;
    fs::path session;
    double mb = 0.0;
    double best = -1.0;
};

// The fastest of `runs` conversions of each session, taking turns.
bool measure(std::vector<Measured>& sessions, int runs, const fs::path& dir) {
    for (int run = 0; run < runs; ++run) {
        for (Measured& m : sessions) {
            const double s = convert(m.session, dir / (m.session.stem().string() + ".rpp"));
            if (s < 0.0) {
                std::printf("converting %s failed\n", m.session.filename().c_str());
                return false;
            }
            m.best = m.best < 0.0 ? s : std::min(m.best, s);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    fs::path keep;
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        } else {
            wanted.push_back(arg);
        }
    }
    const fs::path dir = !keep.empty()
                             ? keep
                             : fs::temp_directory_path() /
                                   ("lanwick_crafted_tracks_bench-" + std::to_string(getpid()));
    fs::create_directories(dir);

    std::vector<Measured> sessions;
    const auto add = [&](const std::string& label, const std::string& file,
                         const std::string& bytes) {
        const fs::path path = dir / file;
        if (!write(path, bytes)) return false;
        sessions.push_back({label, path, static_cast<double>(bytes.size()) / 1e6});
        return true;
    };
    // Real-shaped sessions of 4 and 8 MB.
    for (const int tracks : {200, 400}) {
        const large_session::Shape shape = {.tracks = tracks, .clips_per_track = 200, .files = 200};
        if (!add("real-shaped " + std::to_string(tracks) + " tracks of 200 clips",
                 "RealShaped" + std::to_string(tracks) + ".ptx", large_session::encrypted(shape)))
            return 1;
    }
    const std::size_t reals = sessions.size();
    for (const Crafted& c : crafted_shapes()) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), c.name) == wanted.end())
            continue;
        if (!add(std::string(c.name) + ": " + c.what, std::string("Crafted_") + c.name + ".ptx",
                 c.build()))
            return 1;
    }
    if (!measure(sessions, runs, dir)) return 1;
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        const Measured& m = sessions[i];
        std::printf("%-60s %5.2f MB: %7.3f s", m.label.c_str(), m.mb, m.best);
        if (i >= reals) {
            // The real-shaped session nearest in size.
            const Measured* nearest = &sessions[0];
            for (std::size_t r = 1; r < reals; ++r)
                if (std::abs(sessions[r].mb - m.mb) < std::abs(nearest->mb - m.mb))
                    nearest = &sessions[r];
            std::printf("  (%.2f x the %.0f MB real-shaped)", m.best / nearest->best, nearest->mb);
        }
        std::printf("\n");
    }
    if (keep.empty()) {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    return 0;
}
