// Sessions of many tracks, each with one EQ3 7-Band, for the benches and the Windows check: busy
// mixes (every filter in, shelves and bells of a few dB, 12 dB/oct pass filters) with every
// instance the same or every one different, and extreme ones (bells of +-18 dB at Q 10 up to
// 20 kHz between 24 dB/oct pass filters), each track playing one clip; and the same with one
// Channel Strip on each track.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/ptformat.h"
#include "tests/mixer_builder.h"
#include "tests/plugin_blocks.h"
#include "tests/walk_builder.h"

namespace eq_session {

// gentle: bells of a dB or two below 4 kHz and no pass filter, which ReaEQ follows without a
// fit (quick to convert, for the tests).
enum class Kind { identical_busy, different_busy, extreme, gentle };

// The 38 control values of track t's EQ3 7-Band (see effects/eq3_conversion.h for the layout).
inline std::vector<double> seven_band_values(Kind kind, int t) {
    const double d = kind == Kind::identical_busy ? 0.0 : static_cast<double>(t);
    std::vector<double> v(38, 0.0);
    // {in, gain, frequency, Q, shelf} of LF, LMF, MF, HMF (no shelf switch), HF.
    const auto band = [&](std::size_t at, double gain, double freq, double q, bool shelf) {
        v[at] = 1, v[at + 1] = gain, v[at + 2] = freq, v[at + 3] = q;
        if (at == 10 || at == 27) v[at + 4] = shelf ? 1 : 0;
    };
    // {mode (1 pass filter), in, Q, slope code, frequency} of the high-pass and the low-pass.
    const auto pass = [&](std::size_t at, double slope_code, double freq) {
        v[at] = 1, v[at + 1] = 1, v[at + 2] = 1, v[at + 3] = slope_code, v[at + 4] = freq;
    };
    if (kind == Kind::gentle) {
        band(10, 1 + 0.02 * d, 100 + d, 1, false);
        band(15, -1 - 0.02 * d, 300 + d, 1, false);
        band(19, 1.5, 1000 + 5 * d, 1, false);
        band(23, -1, 2000 + 5 * d, 1, false);
        band(27, 1, 3000 + 5 * d, 1, false);
        return v;
    }
    if (kind == Kind::extreme) {
        const double spread = 1.0 - 0.002 * d;
        pass(5, 3, 8000 * spread);
        band(10, 18, 500 * spread, 10, false);
        band(15, -18, 1000 * spread, 10, false);
        band(19, 18, 8000 * spread, 10, false);
        band(23, -18, 18000 * spread, 10, false);
        band(27, 18, 20000 * spread, 10, false);
        pass(32, 3, 20000 * spread);
    } else {
        pass(5, 1, 60 + d);
        band(10, 4 + 0.05 * d, 100 + d, 1, true);
        band(15, -3 - 0.04 * d, 400 + 3 * d, 2, false);
        band(19, 5 - 0.06 * d, 2500 + 20 * d, 1.5, false);
        band(23, -6 + 0.05 * d, 7000 + 40 * d, 3, false);
        band(27, 6 - 0.03 * d, 12000 - 50 * d, 0.7, true);
        pass(32, 1, 18000 - 30 * d);
    }
    return v;
}

// The named values of track t's Channel Strip: a low shelf, two bells and a high shelf, a
// high-pass and a notch, an expander and a compressor, every instance different. Its ReaEQ
// states take pow, tan, atan, sin, asinh and log10.
inline std::vector<std::pair<std::string, double>> channel_strip_values(int t) {
    const double d = static_cast<double>(t);
    return {{"EQ Low Type", 1},
            {"EQ Low Gain", 4 + 0.3 * d},
            {"EQ Low Frequency", 80 + 3 * d},
            {"EQ Low-Mid Gain", -3 - 0.2 * d},
            {"EQ Low-Mid Frequency", 350 + 17 * d},
            {"EQ Low-Mid Q", 1.3 + 0.05 * d},
            {"EQ High-Mid Gain", 2.5 + 0.4 * d},
            {"EQ High-Mid Frequency", 3100 + 230 * d},
            {"EQ High-Mid Q", 0.8 + 0.1 * d},
            {"EQ High Type", 1},
            {"EQ High Gain", -5 + 0.6 * d},
            {"EQ High Frequency", 9000 + 700 * d},
            {"Filter 1 In/Out", 1},
            {"Filter 1 Type", 0},
            {"Filter 1 Frequency", 40 + 4 * d},
            {"Filter 1 Slope 12/24dB", 1},
            {"Filter 2 In/Out", 1},
            {"Filter 2 Type", 3},
            {"Filter 2 Frequency", 6000 + 900 * d},
            {"Filter 2 Q", 2 + 0.3 * d},
            {"Exp Ratio", 2 + 0.2 * d},
            {"Exp Threshold", -50 + d},
            {"Cmp Ratio", 3 + 0.5 * d},
            {"Cmp Threshold", -20 + 0.5 * d},
            {"Cmp Gain Makeup", 2 + 0.1 * d},
            {"Sc Source", 0}};
}

// `tracks` tracks "EQ n", each playing 2 s of its own file through the plug-in slot
// slot_of(track); encrypted as Pro Tools stores it.
template <typename SlotOf>
std::string encrypted_with(int tracks, std::uint32_t rate, SlotOf slot_of) {
    using namespace walk_blocks;
    using namespace mixer_blocks;
    using namespace test_blocks;
    std::vector<FileEntry> files;
    std::vector<std::uint64_t> lengths;
    std::vector<std::string> regions, entries, placements;
    std::string track_blocks;
    for (int t = 0; t < tracks; ++t) {
        const std::string name = "EQ " + std::to_string(t + 1);
        const auto n = static_cast<std::uint16_t>(t);
        files.push_back({name + ".wav", "EVAW"});
        lengths.push_back(std::uint64_t{10} * rate);
        regions.push_back(audio_region(name, 0, 2 * rate, 0, n));
        entries.push_back(track_entry(name, {n}));
        placements.push_back(placement_track(name, {audio_playlist({placement(n, 0)})}));
        const std::string slot = test_plugins::active(slot_of(t));
        track_blocks +=
            track_block(0x261b, name,
                        lane_block(fader_block(0),
                                   output_block(2, "Out 1-2") +
                                       mono_lists(list_block(0), list_block(0), list_block(0))) +
                            slot);
    }
    const std::string plain =
        session_header() + lead_block() + version_block(12) + z_block(0x7777, zeros(5000)) +
        rate_block(rate) + audio_files_block(static_cast<std::uint32_t>(tracks), files, lengths) +
        region_list(regions) + track_list(entries) + placement_tracks(placements) + track_blocks;
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ptf_xor_crypt(bytes);
    return std::string(bytes.begin(), bytes.end());
}

// Tracks through their EQ3 7-Bands.
inline std::string encrypted(Kind kind, int tracks, std::uint32_t rate = 48000) {
    return encrypted_with(tracks, rate, [kind](int t) {
        return test_plugins::stock_slot("Digi47e3",
                                        test_plugins::control_values(seven_band_values(kind, t)));
    });
}

// Tracks through their Channel Strips.
inline std::string channel_strip_encrypted(int tracks, std::uint32_t rate = 48000) {
    return encrypted_with(tracks, rate, [](int t) {
        return test_plugins::stock_slot("AVIDChSt",
                                        test_plugins::named_values(channel_strip_values(t)));
    });
}

}  // namespace eq_session
