// Fitting ReaEQ bands to a Pro Tools EQ3 filter.
//
// A direct conversion of an EQ3 filter into ReaEQ bands can miss Pro Tools' curve, above all
// near the top of the audio band, where the digital bands cramp. fit_eq3_band measures the miss
// on a fixed frequency grid and, when it exceeds 0.05 dB, moves the bands (each held near its
// direct conversion) and adds up to three free bands until the miss is at most 0.05 dB or the
// search is spent. Results are remembered per input for the process.
//
// The grid is dense (192 points per octave): a narrow bell near the top of the band, where the
// digital bands cramp, is a few points wide at 24 per octave and its miss can fall between them.
// Each start of the search is walked in by least squares (Levenberg-Marquardt on the deviations
// in dB), stopping as soon as the dense grid's worst case is within the target; one that ends
// short of it is walked on by a minimax descent (linear programmes on the worst points of the
// dense grid, in a trust region). A fit that still misses the tolerance after every start is
// walked on from its best bands by a downhill simplex, from the eighth-power mean through the
// 32nd-power mean to the worst case.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "effects/eq_curves.h"

// One filter to fit: the source, its bands, and the result.
struct EqFitJob {
    EqSourceFilter source;
    // On entry the direct conversion; on return the fitted bands.
    std::vector<EqBand> bands;
    // Set by the fit to the bands as given on entry; the fitted bands are held near these.
    std::vector<EqBand> source_bands;
    // A fixed first-order section (0 = none) that plays with the bands but is not part of the
    // source: the bands together with it must follow the whole source filter.
    double one_pole_hz = 0.0;

    double worst_error_db = 0.0;
    std::uint32_t extra_band_count = 0;
    std::uint8_t fitted = 0;    // the direct conversion missed by more than 0.05 dB
    std::uint8_t key_flag = 0;  // enters the memo key only
};

inline constexpr double kEqFitTolerance_db = 0.05;
// The fit scores, and the stand-ins measure what they wrote, on this many points per octave.
inline constexpr int kEqFitPointsPerOctave = 192;

// The frequencies the error is measured at, with the target and the fixed section at each.
struct EqFitGrid {
    std::vector<double> freq_hz;
    std::vector<double> target_db;
    std::vector<std::complex<double>> z1;
    std::vector<std::complex<double>> z2;
    std::vector<double> phi;                 // sin^2(w / 2), for the bands' magnitudes
    std::vector<std::complex<double>> base;  // the one-pole section, or 1
    double top_hz = 0.0;                     // min(0.46 x rate, 20000)
    std::size_t top_count = 0;               // points at or below top_hz, which come first
};

// Frequencies only (targets 0 dB, base 1): points_per_octave points per octave from 20 Hz up to
// top_hz, then 8 points spread evenly from there to 0.48 x rate (each kept only when more than
// 1 Hz above top_hz).
const EqFitGrid& eq_grid_frequencies(double rate, int points_per_octave);
// The fit's grid for a job: the source's level as the target and the job's one-pole section as
// the base.
EqFitGrid eq_fit_grid(const EqFitJob& job, double rate,
                      int points_per_octave = kEqFitPointsPerOctave);

// The error of `bands` (with the grid's base) against the grid's target. Points whose target is
// below -50 dB are skipped; below -20 dB the deviation is 25 x the difference of the magnitudes;
// above top_hz only an overshoot of more than 3 dB counts. Mode 0: the worst deviation. Mode 8:
// the eighth-power mean over every fourth point up to top_hz and every point above; mode 32: the
// 32nd-power mean over every second point up to top_hz and every point above (0 for none).
double eq_bands_error(const std::vector<EqBand>& bands, const EqFitGrid& grid, double rate,
                      int mode);
double eq_fit_error(const EqFitJob& job, const EqFitGrid& grid, double rate, int mode);

// Where the bands miss most on the grid (mode 0's deviation) and how far.
struct EqFitMiss {
    double error_db = 0.0;
    double freq_hz = 0.0;  // 0 when no point counted
};
EqFitMiss eq_bands_worst_point(const std::vector<EqBand>& bands, const EqFitGrid& grid,
                               double rate);

// Sets the job's bands from a parameter vector, three per band (ln f, gain dB, ln Q), each held
// to its limits: f within 10 Hz to 0.48 x rate; a held band within 0.8 to 1.25 x its source
// frequency (1.8 x for a pass band above 0.2 x rate) and, for peaks and shelves, 3 dB of its
// source gain; a free peak or shelf within +-12 dB; Q at least 0.02, at most 30 (2 for a free
// shelf or pass band), a held band's within 0.5 to 2 x its source Q (0.3 to 3 x for the wide
// pass band), and every shelf's at most eq_shelf_q_cap. Pass bands and notches keep their gain.
void eq_fit_clamp_bands(EqFitJob& job, const std::vector<double>& params, double rate);

// Minimises the error in `mode` over the job's bands with a Nelder-Mead simplex from the job's
// bands (steps: `initial_step` dB for gains, 0.1 x initial_step for ln f and ln Q), leaves the
// best bands in the job and returns their worst-case error. With `early` it stops once the search's
// own score is well within tolerance or the simplex has shrunk onto one value.
double fit_bands_simplex(EqFitJob& job, const EqFitGrid& grid, double rate, int mode,
                         int iterations, double initial_step, bool early = false);

// Fits the job's direct conversion; sets its bands, worst error, extra band count and fitted
// flag. Non-finite numbers in the job are held first (NaN at the lower limits, gains at 0 dB).
void fit_eq3_band(EqFitJob& job, double rate);

// The free bands (up to three) that bring a curve already played, the grid's base, to the grid's
// target where it misses by more than 0.05 dB: the search of fit_eq3_band with no band to start
// from. Used for a stand-in of several filters, whose curves each fitted on its own can still add
// up to a miss. The job holds the bands, the error left and the extra band count.
EqFitJob fit_correction_bands(const EqFitGrid& grid, double rate);

// The memo key of a job at a rate, and the finished jobs by key. The memo lives for the
// process: a filter met again, in this conversion or the next, is fitted once. Fits may run on
// several threads at once; they take the lock around the memo.
std::string eq_fit_memo_key(const EqFitJob& job, double rate);
extern std::map<std::string, EqFitJob> eq_fit_memo;
extern std::mutex eq_fit_memo_lock;

// Which build of the fit's loops over the frequency points runs: the one for AVX2 processors
// (`wide`) or the one for any x86-64. Both give the same bits; the choice is speed alone.
struct EqFitKernels {
    bool wide = false;
};
extern EqFitKernels eq_fit_kernels;
// Chooses the AVX2 loops where the processor has them (done once at start-up).
void reset_eq_fit_kernels();
