// Avid's EQ3 7-Band and 1-Band as ReaEQ: the filters an instance's control values make, the
// ReaEQ bands of each filter (fitted where the direct conversion misses Pro Tools' curve), and
// the first-order JS parts of 6 and 18 dB/oct pass filters. These are the decisions only; the
// stand-in writer turns an Eq3StandIn into effect blocks.
//
// EQ3 7-Band control values (38), by index: 2 and 3 gains summed into the output gain; 4 input
// polarity; high-pass 5 mode (pass filter, else notch), 6 in, 7 Q, 8 slope code, 9 frequency;
// bands {in, gain, frequency, Q, shelf}: LF 10-14, LMF 15-18, MF 19-22, HMF 23-26 (no shelf
// switch), HF 27-31; low-pass 32 mode, 33 in, 34 Q, 35 slope code, 36 frequency.
// EQ3 1-Band (8): 1 gain, 2 frequency, 3 Q, 4 slope code, 5 filter type (0 high-pass, 1 low
// shelf, 2 notch, 3 peak, 4 high shelf, 5 low-pass), 6 output gain, 7 polarity.
// Switches are on at 0.5 or more. Every other control is held to the range the EQ3 offers: gains
// to +-18 dB (shelves further to +-12, ReaEQ's reach), the input and output gains to -144..+18
// dB, Q to 0.1..10, frequencies to each filter's limits, slope codes to 0..3 and the 1-Band's
// type to 0..5; NaN goes to the lower limit and a gain that is not finite to 0 dB. So none
// reaches a band, a printed number or the fit, and each held control is named in the stand-in's
// notes with the value it had.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "effects/eq_fit.h"
#include "effects/reaeq_band.h"

// What the EQ3 stand-ins of one conversion fitted, for the console summary.
struct Eq3Counters {
    std::uint32_t fitted_band_count = 0;  // filters whose direct conversion missed by > 0.05 dB
    std::uint32_t extra_band_count = 0;   // bands the fit added
    // The largest deviation of a written curve from Pro Tools' (measured on the written state),
    // where it lies, and the EQ3 filter that misses most there.
    double worst_fit_db = 0.0;
    double worst_fit_hz = 0.0;
    std::string worst_fit_filter;
    std::uint32_t one_pole_count = 0;  // first-order JS parts written
    // Each control held to the EQ3's range (Eq3Filter::held) and the stand-ins it concerns.
    std::map<std::string, std::uint32_t> held_controls;
};
extern Eq3Counters eq3_counters;
void reset_eq3_counters();

// "0.73 dB from Pro Tools' curve at 19986 Hz": the worst deviation left, as the summary and the
// report give it (with the filter, worst_fit_filter, on the line below).
std::string eq3_worst_fit_figure(const Eq3Counters& counters);
// What the fit did and, when a written curve misses 0.05 dB, how far the worst one misses: the
// summary's lines (each begun with `indent`) and the report's (indent ""). Empty when nothing
// was fitted and nothing misses.
std::string eq3_fit_lines(const Eq3Counters& counters, const char* indent);
// The line printed under kEq3BeyondReachNote in the summary.
std::string eq3_worst_fit_text(const Eq3Counters& counters);

// REAPER's own JS effects the EQ3 stand-ins use.
inline constexpr const char* kEq3PolarityJs = "IX/StereoPhaseInvert";
inline constexpr const char* kEq3OnePoleJs = "Liteon/simplelp6db";

inline constexpr const char* kEq3BeyondReachNote =
    "EQ3 band beyond REAPER's reach near the top of the range (worst of these below)";
inline constexpr const char* kEq3BandwidthNote =
    "EQ3 band widths written for ReaEQ's reading of them as the RBJ cookbook's (not yet confirmed "
    "by a REAPER render)";
inline constexpr const char* kEq3BellQNote =
    "EQ3 bell Q carried without a correction (Pro Tools' and ReaEQ's bell widths are not yet "
    "measured against each other)";

// Fills the job's bands and first-order frequency from its source. `fit` asks for the two peak
// bands that let a shelf steeper than ReaEQ's follow it after fitting. An odd-order pass filter's
// first-order part goes to the one-pole JS, whose frequency is the one its written slider plays
// (f1 itself). A notch is one notch band: it already lands on the standard notch curve.
void eq3_band_to_reaeq(EqFitJob& job, double rate, bool fit);

// One EQ3 filter of an instance: its job, its in switch, its position in the 7-Band's order
// (0 high-pass, 1 LF ... 5 HF, 6 low-pass), and its name ("EQ3 7-Band HF", "EQ3 1-Band peak").
struct Eq3Filter {
    EqFitJob job;
    std::uint8_t in = 1;
    std::uint32_t position = 0;
    std::string name;
    // Its controls that play held to the EQ3's range ("EQ3 7-Band MF gain 400 dB outside the
    // EQ3's range, held at 18 dB"), one text each, for the stand-in's notes: those of a filter
    // switched off, a pass filter's Q and a notch's slope are held unnamed.
    std::vector<std::string> held;
};
// The seven filters of an EQ3 7-Band, in order, before conversion.
std::vector<Eq3Filter> eq3_7band_filters(const std::vector<float>& values);
// The filter of an EQ3 1-Band (a notch is a notch source with no band yet).
Eq3Filter eq3_1band_filter(const std::vector<float>& values);

// A first-order JS part: Liteon's one-pole filter, with its slider as written.
struct Eq3OnePolePart {
    std::uint8_t high_pass = 0;
    std::int32_t order = 1;
    double slider = 0.0;
    std::uint32_t seed_offset = 900;  // added to the seed base and the ReaEQ block's number
    std::string preset;
};

struct Eq3StandIn {
    std::uint8_t polarity = 0;  // a polarity JS goes first
    std::vector<ReaEqStateBand> bands;
    double output_gain_db = 0.0;
    std::vector<Eq3OnePolePart> one_pole_parts;
    std::set<std::string> notes;    // the held controls among them
    std::vector<std::string> held;  // the controls held to the EQ3's range, as Eq3Filter::held
    std::vector<EqSourceFilter> sources;  // the filters that play, for measuring
    // The written curve against Pro Tools' (eq3_written_miss), and the filter that misses most
    // on its own: its name and frequency ("EQ3 7-Band HF at 12000 Hz") and its own deviation.
    EqFitMiss miss;
    std::string miss_filter;
    double miss_filter_db = -1.0;
    // What the stand-in adds to eq3_counters: filters fitted and extra bands added.
    std::uint32_t fitted_band_count = 0;
    std::uint32_t extra_band_count = 0;
};

// The stand-ins, counting into eq3_counters. `rate` at or below 0 counts as 48000. Each is
// remembered for the process by its input (the control values and the rate), so an identical
// instance, in this conversion or the next, is made once.
Eq3StandIn convert_eq3_7band(const std::vector<float>& values, double rate);
Eq3StandIn convert_eq3_1band(const std::vector<float>& values, double rate);

// One instance's input: an EQ3 7-Band's or 1-Band's control values at a rate.
struct Eq3Request {
    bool seven_band = true;
    std::vector<float> values;
    double rate = 48000.0;
};
// How many distinct stand-ins of the requests are not yet remembered.
std::size_t eq3_stand_ins_to_make(const std::vector<Eq3Request>& requests);
// Makes and remembers those stand-ins, on every core the machine has (each depends on its input
// alone, so the result does not depend on the order or the number of threads); counts nothing.
// `made` (may be empty) is told after each stand-in how many of how many are made: one call at a
// time, the counts rising by one from 1, whichever thread made it.
void make_eq3_stand_ins(const std::vector<Eq3Request>& requests,
                        const std::function<void(std::size_t made, std::size_t total)>& made = {});

// The value stored for a band: the shelf slope for shelves, else the bandwidth ReaEQ reads back
// as the same Q.
double eq3_band_value(const EqBand& band, double rate);
// The bands as ReaEQ plays them back from their stored values (shelves by their slope, every
// other band by its bandwidth).
std::vector<EqBand> reaeq_played_bands(const std::vector<ReaEqStateBand>& written, double rate);

// How far the stand-in as written plays from its sources, on the fit's dense grid: each band read
// back from its stored value as ReaEQ reads it, each one-pole JS at the frequency its slider plays.
EqFitMiss eq3_written_miss(const Eq3StandIn& out, double rate);

// Liteon's one-pole filter maps its slider v to f = 8.17742 x 1.059^(16 + 1.20103 v) and plays
// that frequency rounded down to a whole Hz. The slider written for a whole first-order frequency
// f1 (that of f1 + 0.5, so the rounding lands on f1; held to 0..100, to the 6 decimals written)
// and the frequency a slider plays.
double one_pole_slider(double f1);
double one_pole_slider_hz(double slider);
// "0 %d %.6f 0": the JS's parameter text.
std::string eq3_one_pole_params(const Eq3OnePolePart& part);
