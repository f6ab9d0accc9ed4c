// Converts two synthetic mix sessions, about 10 MB and about 50 MB (tracks of audio clips with
// fades and crossfades, volume and pan automation, memory locations, a tempo map of several
// hundred entries), and one clip-dense session (500 tracks of 1,000 clips, each clip its own
// region, about 48 MiB), and sets each conversion beside its floor: reading the file, decrypting
// it, one memchr pass for the block marker and writing as many bytes as the project has.
//
// Each measurement runs in a process of its own (this program started again with --floor or
// --convert), and each session is built in one more (--build): a started process counts its
// parent's peak memory in its own, so the parent stays small. Prints the times, their ratio, the
// sizes, the peak memory and the cost per MB at both sizes. Not a timed test: it only prints the
// figures.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "app/output.h"
#include "convert/convert_session.h"
#include "platform/ptformat.h"
#include "tests/eq_session.h"
#include "tests/large_session.h"
#include "tests/mix_session.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 3;  // the fastest of three runs counts

struct BenchSession {
    const char* name;
    mix_session::MixShape shape;
};

// About 10 MB and about 50 MB, the larger with more tracks and more clips on each.
const BenchSession kMixSessions[] = {
    {"10 MB",
     {.tracks = 400,
      .clips_per_track = 175,
      .files = 500,
      .regions = 50000,
      .automation_points = 200,
      .tempo_entries = 400,
      .locations = 200}},
    {"50 MB",
     {.tracks = 900,
      .clips_per_track = 540,
      .files = 500,
      .regions = 50000,
      .automation_points = 450,
      .tempo_entries = 900,
      .locations = 1000}},
};

// Many short clips and nothing else: the clip reading and the item writing dominate.
const large_session::Shape kClipDense = {.tracks = 500, .clips_per_track = 1000, .files = 500};
constexpr int kClipDenseIndex = 2;  // --build's number for it, after the two mix shapes

// --eq: 64 tracks of one EQ3 7-Band each beside a session of 250,000 clips, --build's numbers
// kEqFirstIndex (the clips) and the three kinds after it.
const large_session::Shape kEqClips = {.tracks = 250, .clips_per_track = 1000, .files = 250};
constexpr int kEqFirstIndex = kClipDenseIndex + 1;
constexpr int kEqTracks = 64;
const eq_session::Kind kEqKinds[] = {eq_session::Kind::identical_busy,
                                     eq_session::Kind::different_busy, eq_session::Kind::extreme};
const char* const kEqNames[] = {"64 identical busy EQ3 7-Bands", "64 different busy EQ3 7-Bands",
                                "64 different extreme EQ3 7-Bands"};
constexpr int kLastIndex = kEqFirstIndex + 3;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// --- The measured work, each in a process of its own -----------------------------------------

int run_floor(const char* session_path, const char* out_path, std::size_t project_size) {
    const auto start = std::chrono::steady_clock::now();
    std::FILE* in = std::fopen(session_path, "rb");
    if (!in) return 1;
    std::fseek(in, 0, SEEK_END);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::ftell(in)));
    std::rewind(in);
    const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), in);
    std::fclose(in);
    if (read != bytes.size() || !ptf_xor_crypt(bytes)) return 1;
    std::size_t markers = 0;
    for (const std::uint8_t *p = bytes.data(), *end = p + bytes.size();
         (p = static_cast<const std::uint8_t*>(std::memchr(p, 'Z', end - p))) != nullptr; ++p)
        ++markers;
    std::FILE* out = std::fopen(out_path, "wb");
    if (!out) return 1;
    const std::vector<char> text(project_size, static_cast<char>('0' + markers % 10));
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    std::printf("%.6f\n", seconds_since(start));
    return 0;
}

int run_build(const char* session_path, int which) {
    std::string session;
    if (which > kEqFirstIndex)
        session = eq_session::encrypted(kEqKinds[which - kEqFirstIndex - 1], kEqTracks);
    else if (which == kEqFirstIndex)
        session = large_session::encrypted(kEqClips);
    else if (which == kClipDenseIndex)
        session = large_session::encrypted(kClipDense);
    else
        session = mix_session::encrypted_session(kMixSessions[which].shape);
    std::FILE* f = std::fopen(session_path, "wb");
    if (!f) return 1;
    std::fwrite(session.data(), 1, session.size(), f);
    std::printf("0\n");
    return std::fclose(f) == 0 ? 0 : 1;
}

int run_convert(const char* session_path, const char* out_path) {
    NullSink quiet;
    output_state.current_sink = &quiet;
    ConvertOptions options;
    options.input_path = session_path;
    options.output_path = out_path;
    options.overwrite = 1;
    const auto start = std::chrono::steady_clock::now();
    const int code = convert_session(options, nullptr, nullptr);
    const double seconds = seconds_since(start);
    output_state.current_sink = nullptr;
    std::printf("%.6f\n", seconds);
    return code;
}

// --- The driver ----------------------------------------------------------------------------

struct Measured {
    double seconds = 0.0;
    double cpu_seconds = 0.0;  // user + system of the whole process, every thread
    double peak_mib = 0.0;
    bool ok = false;
};

// Runs this program again with the arguments; its printed time and its peak memory.
Measured measure(const std::string& self, const std::vector<std::string>& args) {
    Measured m;
    const fs::path out_file =
        fs::temp_directory_path() / ("lanwick_convert_bench-" + std::to_string(getpid()) + ".txt");
    std::vector<std::string> all = {self};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return m;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return m;
    m.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
    const auto seconds_of = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    m.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    if (std::FILE* f = std::fopen(out_file.c_str(), "r")) {
        m.ok =
            std::fscanf(f, "%lf", &m.seconds) == 1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        std::fclose(f);
    }
    std::error_code ignored;
    fs::remove(out_file, ignored);
    if (!m.ok)
        std::printf("  %s: exit %d, signal %d\n", args.front().c_str(),
                    WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                    WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return m;
}

// Keeps the fastest of a measurement's runs (in wall time and, apart, in processor time) and the
// largest peak.
void keep_best(Measured& best, const Measured& m) {
    if (!m.ok) {
        best.ok = false;
        return;
    }
    if (best.seconds == 0.0 || m.seconds < best.seconds) best.seconds = m.seconds;
    if (best.cpu_seconds == 0.0 || m.cpu_seconds < best.cpu_seconds)
        best.cpu_seconds = m.cpu_seconds;
    best.peak_mib = std::max(best.peak_mib, m.peak_mib);
}

double megabytes(std::uintmax_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

// The EQ shapes and the 250,000 clips, their runs in turns; the fastest run of each counts.
int run_eq(const std::string& self, int runs) {
    const fs::path dir =
        fs::temp_directory_path() / ("lanwick_convert_bench-eq-" + std::to_string(getpid()));
    fs::create_directories(dir);
    constexpr int kCount = kLastIndex - kEqFirstIndex + 1;
    std::string sessions[kCount], projects[kCount];
    Measured best[kCount];
    for (int i = 0; i < kCount; ++i) {
        const std::string n = std::to_string(kEqFirstIndex + i);
        sessions[i] = (dir / ("Eq" + n + ".ptx")).string();
        projects[i] = (dir / ("Eq" + n + ".rpp")).string();
        best[i].ok = true;
        if (!measure(self, {"--build", sessions[i], n}).ok) return 1;
    }
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i < kCount; ++i) {
            std::error_code ignored;
            fs::remove(projects[i], ignored);
            keep_best(best[i], measure(self, {"--convert", sessions[i], projects[i]}));
        }
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    for (const Measured& m : best)
        if (!m.ok) return 1;
    // Wall time is the conversion's own; processor time is the whole process's (the session
    // read included), user and system, on every thread: the figure that holds on one core.
    const double clips = best[0].seconds, clips_cpu = best[0].cpu_seconds;
    const double busy = best[2].seconds, busy_cpu = best[2].cpu_seconds;
    std::printf("EQ3 bench, fastest of %d run(s), whole conversions (wall; processor):\n", runs);
    std::printf("  %d clips (%d tracks)        %8.3f s; cpu %8.3f s, peak %.1f MiB\n",
                kEqClips.tracks * kEqClips.clips_per_track, kEqClips.tracks, clips, clips_cpu,
                best[0].peak_mib);
    for (int k = 0; k < 3; ++k)
        std::printf("  %-32s %8.3f s = %7.2f x the clips; cpu %8.3f s = %7.2f x the clips\n",
                    kEqNames[k], best[k + 1].seconds, best[k + 1].seconds / clips,
                    best[k + 1].cpu_seconds, best[k + 1].cpu_seconds / clips_cpu);
    std::printf(
        "  identical / different busy %.3f (cpu %.3f), extreme / different busy %.2f "
        "(cpu %.2f)\n",
        best[1].seconds / busy, best[1].cpu_seconds / busy_cpu, best[3].seconds / busy,
        best[3].cpu_seconds / busy_cpu);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--floor") == 0)
        return run_floor(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
    if (argc == 4 && std::strcmp(argv[1], "--convert") == 0) return run_convert(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "--build") == 0)
        return run_build(argv[2], std::clamp(std::atoi(argv[3]), 0, kLastIndex));

    const std::string self = fs::canonical("/proc/self/exe").string();
    if (argc >= 2 && std::strcmp(argv[1], "--eq") == 0)
        return run_eq(self, argc >= 3 ? std::max(1, std::atoi(argv[2])) : kRuns);
    // A folder of this run's own: other runs of the benchmark may share the machine.
    const fs::path dir =
        fs::temp_directory_path() / ("lanwick_convert_bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    constexpr int kShapes = kClipDenseIndex + 1;
    struct ShapeRun {
        std::string session, project, floor_out;
        std::uintmax_t session_size = 0, project_size = 0;
        Measured convert{.ok = true}, floor{.ok = true};
    };
    std::vector<ShapeRun> shapes(kShapes);
    for (int which = 0; which < kShapes; ++which) {
        ShapeRun& s = shapes[static_cast<std::size_t>(which)];
        const std::string n = std::to_string(which);
        s.session = (dir / ("Mix" + n + ".ptx")).string();
        s.project = (dir / ("Mix" + n + ".rpp")).string();
        s.floor_out = (dir / ("floor" + n + ".out")).string();
        if (!measure(self, {"--build", s.session, n}).ok) return 1;
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(s.session, ec);
        s.session_size = ec ? 0 : size;
    }
    // The runs of all the shapes take turns, the conversion and its floor side by side: each
    // ratio sets figures measured under the same load beside each other, where one shape's runs
    // after the other's would meet whatever the machine was doing then. Each run writes a new
    // file: replacing the last run's output would time the kernel truncating it (tens of
    // milliseconds at 200 MB) and ext4's flush, at close, of a file rewritten after a truncation.
    for (int run = 0; run < kRuns; ++run) {
        for (ShapeRun& s : shapes) {
            std::error_code ignored;
            fs::remove(s.project, ignored);
            keep_best(s.convert, measure(self, {"--convert", s.session, s.project}));
            if (run == 0) {
                std::error_code ec;
                const std::uintmax_t size = fs::file_size(s.project, ec);
                s.project_size = ec ? 0 : size;
            }
            fs::remove(s.floor_out, ignored);
            keep_best(s.floor, measure(self, {"--floor", s.session, s.floor_out,
                                              std::to_string(s.project_size)}));
            fs::remove(s.floor_out, ignored);
        }
    }
    std::vector<double> cost_per_mb;
    int code = 0;
    for (int which = 0; which < kShapes; ++which) {
        const ShapeRun& s = shapes[static_cast<std::size_t>(which)];
        const char* name = which == kClipDenseIndex ? "clip-dense" : kMixSessions[which].name;
        if (!s.convert.ok || !s.floor.ok) {
            std::printf("%s: a run failed\n", name);
            code = 1;
            continue;
        }
        const double session_mb = megabytes(s.session_size);
        if (which == kClipDenseIndex) {
            std::printf("%s session: %d tracks, %d clips, each its own region\n", name,
                        kClipDense.tracks, kClipDense.tracks * kClipDense.clips_per_track);
        } else {
            const mix_session::MixShape& shape = kMixSessions[which].shape;
            cost_per_mb.push_back(s.convert.seconds / session_mb);
            std::printf(
                "%s session: %d tracks, %d clips, %d automation points per lane, %d tempo "
                "entries, %d memory locations\n",
                name, shape.tracks, shape.tracks * shape.clips_per_track, shape.automation_points,
                shape.tempo_entries, shape.locations);
        }
        std::printf("  session %.2f MB, project %.2f MB\n", session_mb, megabytes(s.project_size));
        std::printf("  floor      %.3f s, peak %.1f MiB\n", s.floor.seconds, s.floor.peak_mib);
        std::printf("  conversion %.3f s, peak %.1f MiB (limit 3 x session + 32 MiB = %.1f MiB)\n",
                    s.convert.seconds, s.convert.peak_mib,
                    3.0 * static_cast<double>(s.session_size) / (1024.0 * 1024.0) + 32.0);
        std::printf("  conversion / floor %.2f, cost %.4f s per MB\n",
                    s.convert.seconds / s.floor.seconds, s.convert.seconds / session_mb);
    }
    if (cost_per_mb.size() == 2)
        std::printf("cost per MB at 50 MB / at 10 MB: %.2f\n", cost_per_mb[1] / cost_per_mb[0]);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return code;
}
