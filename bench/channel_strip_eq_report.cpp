// Measures the Channel Strip's EQ stand-in as ReaEQ plays it. For each setting (one band on,
// the others at 0 dB) the stand-in's ReaEQ bands are read back from their stored values as ReaEQ
// reads them and compared, on 192 points per octave from 20 Hz to min(0.46 x rate, 20 kHz) plus
// 8 points above (where only an overshoot past 3 dB counts), with the cookbook bell of the Q the
// conversion decides (the strip's Q with its measured corrections by gain and frequency): as
// written, and with the width in the w'/sin w' form (eq_q_to_bandwidth_oct) for comparison. The
// last column gives the written bell against the analog bell of the decided Q, the curve an EQ3
// bell is fitted to. For shelves it gives the frequency where the played curve passes half the
// shelf's gain. Prints only.
#include <cmath>
#include <complex>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "effects/channel_strip_conversion.h"
#include "effects/eq3_conversion.h"
#include "effects/eq_curves.h"
#include "effects/eq_fit.h"
#include "effects/eq_reaeq_values.h"

namespace {

// The stand-in's EQ bands for one band of the strip (index 0 Low ... 3 High).
std::vector<ReaEqStateBand> written_bands(const ChannelStripEqBand& band, int index, double rate) {
    ChannelStripSettings s;
    for (ChannelStripEqBand& b : s.eq) b.gain_db = 0.0;
    s.eq[static_cast<std::size_t>(index)] = band;
    std::uint32_t counter = 0;
    std::set<std::string> notes;
    std::set<std::string> carried;
    for (const StandInEffect& e :
         convert_channel_strip(s, false, false, rate, 0, counter, notes, carried)) {
        if (e.name.find(" EQ ") != std::string::npos) return e.bands;
    }
    return {};
}

// The worst deviation of `played` from the target curve on the dense grid.
double deviation(const std::vector<EqBand>& played, double rate,
                 const std::vector<std::complex<double>>& target) {
    EqFitGrid grid = eq_grid_frequencies(rate, kEqFitPointsPerOctave);
    for (std::size_t k = 0; k < grid.freq_hz.size(); ++k) grid.target_db[k] = level_db(target[k]);
    return eq_bands_error(played, grid, rate, 0);
}

std::vector<std::complex<double>> curve_of(const std::vector<EqBand>& bands, double rate) {
    const EqFitGrid grid = eq_grid_frequencies(rate, kEqFitPointsPerOctave);
    std::vector<std::complex<double>> out;
    for (std::size_t k = 0; k < grid.freq_hz.size(); ++k) {
        std::complex<double> h = 1.0;
        for (const EqBand& b : bands)
            h *= biquad_response(eq_band_biquad(b, rate), grid.z1[k], grid.z2[k]);
        out.push_back(h);
    }
    return out;
}

std::vector<std::complex<double>> analog_bell(double f0, double gain_db, double q, double rate) {
    const EqFitGrid grid = eq_grid_frequencies(rate, kEqFitPointsPerOctave);
    const EqSourceFilter source{kEqSourcePeak, f0, gain_db, q, 0, 0};
    std::vector<std::complex<double>> out;
    for (double f : grid.freq_hz) out.push_back(eq_source_response(source, f));
    return out;
}

// Where the played curve first passes half the shelf's gain in dB, walking up from 20 Hz.
double half_gain_hz(const std::vector<EqBand>& played, double gain_db, double rate) {
    const EqFitGrid grid = eq_grid_frequencies(rate, kEqFitPointsPerOctave);
    const std::vector<std::complex<double>> h = curve_of(played, rate);
    const double half = gain_db / 2.0;
    for (std::size_t k = 1; k < h.size(); ++k) {
        const double a = level_db(h[k - 1]) - half;
        const double b = level_db(h[k]) - half;
        if ((a < 0.0) != (b < 0.0)) {
            const double t = a / (a - b);
            return grid.freq_hz[k - 1] * std::pow(grid.freq_hz[k] / grid.freq_hz[k - 1], t);
        }
    }
    return 0.0;
}

}  // namespace

int main() {
    int bells = 0;
    int misses = 0;
    int widened_misses = 0;
    double worst = 0.0;
    double worst_widened = 0.0;
    std::string worst_setting;
    std::string worst_widened_setting;
    std::printf("%-6s %-26s %9s %9s %9s %9s %9s\n", "rate", "bell", "decided Q", "played Q",
                "cookbook", "w'/sin w'", "analog");
    for (double rate : {44100.0, 48000.0}) {
        for (double f : {100.0, 1000.0, 5000.0, 10000.0, 15000.0, 20000.0}) {
            for (double gain : {12.0, -6.0}) {
                for (double q : {0.5, 1.0, 2.0, 5.0, 10.0}) {
                    const ChannelStripEqBand band{1, 0, gain, f, q};
                    std::vector<ReaEqStateBand> written = written_bands(band, 1, rate);
                    const ReaEqStateBand b = written[1];
                    const std::vector<EqBand> played = reaeq_played_bands(written, rate);
                    written[1].value = eq_q_to_bandwidth_oct(b.freq_hz, b.q, rate);
                    const std::vector<EqBand> widened = reaeq_played_bands(written, rate);
                    const std::vector<EqBand> decided = {
                        EqBand{kEqPeak, 1, b.freq_hz, b.gain_db, b.q, 0, 0}};
                    const std::vector<std::complex<double>> cookbook = curve_of(decided, rate);
                    const double miss = deviation(played, rate, cookbook);
                    const double widened_miss = deviation(widened, rate, cookbook);
                    const double analog =
                        deviation(played, rate, analog_bell(b.freq_hz, b.gain_db, b.q, rate));
                    char text[64];
                    std::snprintf(text, sizeof text, "%g Hz %+g dB Q %g", f, gain, q);
                    std::printf("%-6g %-26s %9.4f %9.4f %9.3f %9.3f %9.3f\n", rate, text, b.q,
                                played[1].q, miss, widened_miss, analog);
                    const std::string where =
                        std::string(text) + " at " + std::to_string(int(rate));
                    ++bells;
                    if (miss > kEqFitTolerance_db) ++misses;
                    if (widened_miss > kEqFitTolerance_db) ++widened_misses;
                    if (miss > worst) {
                        worst = miss;
                        worst_setting = where;
                    }
                    if (widened_miss > worst_widened) {
                        worst_widened = widened_miss;
                        worst_widened_setting = where;
                    }
                }
            }
        }
    }
    std::printf(
        "\nAgainst the cookbook bell of the decided Q, more than %.2f dB off: as written %d of "
        "%d (worst %.3f dB%s%s), with widths in the w'/sin w' form %d of %d (worst %.3f dB, "
        "%s)\n\n",
        kEqFitTolerance_db, misses, bells, worst, worst_setting.empty() ? "" : ", ",
        worst_setting.c_str(), widened_misses, bells, worst_widened, worst_widened_setting.c_str());

    std::printf("%-6s %-26s %12s\n", "rate", "shelf", "half gain at");
    for (double rate : {44100.0, 48000.0}) {
        for (int index : {0, 3}) {
            for (double f : {100.0, 1000.0, 5000.0, 12000.0}) {
                for (double gain : {12.0, -6.0}) {
                    const ChannelStripEqBand band{1, 1, gain, f, 1.0};
                    const std::vector<EqBand> played =
                        reaeq_played_bands(written_bands(band, index, rate), rate);
                    char text[64];
                    std::snprintf(text, sizeof text, "%s %g Hz %+g dB", index == 0 ? "low" : "high",
                                  f, gain);
                    std::printf("%-6g %-26s %10.1f Hz\n", rate, text,
                                half_gain_hz(played, gain, rate));
                }
            }
        }
    }
    return 0;
}
