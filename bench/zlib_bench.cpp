// Inflates and deflates 64 MiB of mixed data with this program's zlib code and with the system
// zlib; each row reports MB/s (10^6 bytes of uncompressed data per second).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "melodyne/zlib_encode.h"
#include "util/zlib_inflate.h"

namespace {

constexpr size_t kDataSize = size_t{64} << 20;

// 64 KiB pieces of text, runs, periodic bytes, small-alphabet and plain random bytes, in turn.
std::string make_mixed_data() {
    static const char* words[] = {"the ",   "track ", "region ",  "fade ", "of ",
                                  "clip ",  "gain, ", "and ",     "a ",    "session ",
                                  "tempo ", "send ",  "marker\n", "bus. ", "plug-in "};
    std::mt19937 rng(12345);
    std::string s;
    s.reserve(kDataSize);
    const size_t piece = 64 << 10;
    for (int kind = 0; s.size() < kDataSize; kind = (kind + 1) % 6) {
        size_t end = std::min(s.size() + piece, kDataSize);
        switch (kind) {
            case 0:
                while (s.size() < end) s += words[rng() % 15];
                s.resize(end);
                break;
            case 1:
                while (s.size() < end) {
                    s.append(std::min<size_t>(rng() % 200 + 1, end - s.size()),
                             static_cast<char>(rng()));
                }
                break;
            case 2:
                for (size_t i = 0; s.size() < end; ++i) s += static_cast<char>(i * 7 % 253);
                break;
            case 3:
                while (s.size() < end) s += static_cast<char>('a' + rng() % 4);
                break;
            case 4:
                while (s.size() < end) s += static_cast<char>(rng());
                break;
            default:
                while (s.size() < end) s += static_cast<char>(rng() % 16 * 3);
                break;
        }
    }
    return s;
}

const std::string& mixed_data() {
    static const std::string data = make_mixed_data();
    return data;
}

std::string zlib_compress(const std::string& data, int level) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  level) != Z_OK) {
        std::abort();
    }
    out.resize(size);
    return out;
}

const std::string& zlib_stream() {
    static const std::string stream = zlib_compress(mixed_data(), 6);
    return stream;
}

const std::string& fixed_stream() {
    const std::string& data = mixed_data();
    static const std::string stream =
        zlib_compress_fixed(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    return stream;
}

void report(benchmark::State& state, size_t compressed) {
    const double bytes = static_cast<double>(mixed_data().size());
    state.counters["MB/s"] =
        benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["ratio"] = bytes / static_cast<double>(compressed);
}

void inflate_ours(benchmark::State& state, const std::string& stream) {
    std::string out;
    for (auto _ : state) {
        if (!inflate_zlib(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), out) ||
            out.size() != mixed_data().size()) {
            state.SkipWithError("inflate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    report(state, stream.size());
}

void inflate_system(benchmark::State& state, const std::string& stream) {
    std::string out(mixed_data().size(), '\0');
    for (auto _ : state) {
        uLongf size = static_cast<uLongf>(out.size());
        if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                       reinterpret_cast<const Bytef*>(stream.data()),
                       static_cast<uLong>(stream.size())) != Z_OK) {
            state.SkipWithError("uncompress failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    report(state, stream.size());
}

void BM_Inflate_Ours_ZlibLevel6Stream(benchmark::State& state) {
    inflate_ours(state, zlib_stream());
}
void BM_Inflate_SystemZlib_ZlibLevel6Stream(benchmark::State& state) {
    inflate_system(state, zlib_stream());
}
void BM_Inflate_Ours_FixedStream(benchmark::State& state) {
    inflate_ours(state, fixed_stream());
}
void BM_Inflate_SystemZlib_FixedStream(benchmark::State& state) {
    inflate_system(state, fixed_stream());
}

void BM_Deflate_Ours_Fixed(benchmark::State& state) {
    const std::string& data = mixed_data();
    std::string stream;
    for (auto _ : state) {
        stream = zlib_compress_fixed(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        benchmark::DoNotOptimize(stream.data());
    }
    report(state, stream.size());
}

void BM_Deflate_SystemZlib(benchmark::State& state) {
    const std::string& data = mixed_data();
    std::string stream;
    for (auto _ : state) {
        stream = zlib_compress(data, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(stream.data());
    }
    report(state, stream.size());
}

}  // namespace

// The inflate rows run for a few seconds so that the first pass, which also faults the output
// buffer's pages in, does not dominate.
BENCHMARK(BM_Inflate_Ours_ZlibLevel6Stream)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_Inflate_SystemZlib_ZlibLevel6Stream)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_Inflate_Ours_FixedStream)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_Inflate_SystemZlib_FixedStream)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_Deflate_Ours_Fixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Deflate_SystemZlib)->Arg(1)->Arg(6)->ArgName("level")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
