#include "effects/eq3_conversion.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdio>
#include <map>
#include <mutex>
#include <numbers>
#include <thread>

#include "effects/eq_reaeq_values.h"
#include "effects/held_values.h"
#include "util/number_text.h"
#include "util/portable_math.h"

Eq3Counters eq3_counters;

void reset_eq3_counters() {
    eq3_counters = Eq3Counters{};
}

std::string eq3_worst_fit_figure(const Eq3Counters& counters) {
    // Below 0.1 dB three decimals, rounded up, so a miss never reads as 0.050 or less.
    std::string text;
    const double db = counters.worst_fit_db;
    if (db < 0.1)
        append_format(text, "%.3f", std::ceil(db * 1000.0) / 1000.0);
    else
        append_format(text, "%.2f", db);
    append_format(text, " dB from Pro Tools' curve at %.0f Hz", counters.worst_fit_hz);
    return text;
}

namespace {

// The figure's line and, under it, the filter that misses in parentheses.
std::string figure_lines(const Eq3Counters& counters, const char* indent) {
    std::string text = eq3_worst_fit_figure(counters) + "\n";
    if (!counters.worst_fit_filter.empty())
        text += std::string(indent) + "(" + counters.worst_fit_filter + ")\n";
    return text;
}

}  // namespace

std::string eq3_fit_lines(const Eq3Counters& counters, const char* indent) {
    const int fitted = static_cast<int>(counters.fitted_band_count);
    const int extra = static_cast<int>(counters.extra_band_count);
    const bool misses = counters.worst_fit_db > kEqFitTolerance_db;
    std::string text;
    if (fitted > 0 && !misses) {
        append_format(text,
                      "%sEQ3: %d band(s) fitted onto ReaEQ to follow Pro Tools' own curve to\n"
                      "%swithin 0.05 dB (%d extra band(s) added)\n",
                      indent, fitted, indent, extra);
    } else if (fitted > 0) {
        append_format(text,
                      "%sEQ3: %d band(s) fitted onto ReaEQ to follow Pro Tools' own curve as\n"
                      "%sclosely as ReaEQ reaches (%d extra band(s) added); the worst written\n"
                      "%scurve is ",
                      indent, fitted, indent, extra, indent);
        text += figure_lines(counters, indent);
    } else if (misses) {
        append_format(text, "%sEQ3: the worst written curve is ", indent);
        text += figure_lines(counters, indent);
    }
    return text;
}

std::string eq3_worst_fit_text(const Eq3Counters& counters) {
    return "      worst of these: " + figure_lines(counters, "      ");
}

namespace {

constexpr double kSliderBase_hz = 8.17742;
constexpr double kSliderLogStep = 0.05732506661926935;  // ln 1.059
constexpr double kSliderScale = 1.20103;
constexpr double kButterworthQ2 = 0.70710678;
constexpr double kNotchQScale = 1.5538;
constexpr double kShelfQMax = 2.0;
constexpr double kShelfGainMax_db = 12.0;
constexpr double kZeroGain_db = 0.000001;

// The control value at i as a double (0 when the instance holds fewer values).
double value_at(const std::vector<float>& values, std::size_t i) {
    return i < values.size() ? static_cast<double>(values[i]) : 0.0;
}

// The ranges of the EQ3's controls.
constexpr double kGainMax_db = 18.0;
constexpr double kOutputGainMin_db = -144.0;  // the input and output faders' silence
constexpr double kQMin = 0.1;
constexpr double kQMax = 10.0;
constexpr double kSlopeCodeMax = 3.0;

// A control held to [lo, hi]; `nan_to` takes NaN (a gain takes 0 dB for infinities too). A value
// outside the EQ3's range (lo..hi, or +-beyond where the conversion holds it closer) is named in
// `held` (when given: a control that does not play is held unnamed), with the value it takes.
struct Control {
    const char* name;
    const char* unit;  // "" for Q and codes, else " dB" or " Hz"
    double lo, hi, nan_to;
    bool gain = false;
    double beyond = 0.0;
};
double held_control(double v, const Control& c, const std::string& filter,
                    std::vector<std::string>* held) {
    double out = std::isnan(v) ? c.nan_to : std::clamp(v, c.lo, c.hi);
    if (c.gain && !std::isfinite(v)) out = 0.0;
    const bool outside = c.beyond > 0.0 ? !(std::fabs(v) <= c.beyond) : !(v >= c.lo && v <= c.hi);
    if (outside && held) {
        std::string text;
        append_format(text, "%s %s %g%s outside the EQ3's range, held at %g%s", filter.c_str(),
                      c.name, v, c.unit, out, c.unit);
        held->push_back(std::move(text));
    }
    return out;
}
const Control kGain = {"gain", " dB", -kGainMax_db, kGainMax_db, 0.0, true};
// A shelf plays up to ReaEQ's +-12 dB (the EQ3 offers +-18).
const Control kShelfGain = {"gain", " dB", -kShelfGainMax_db, kShelfGainMax_db,
                            0.0,    true,  kGainMax_db};
const Control kOutputGain = {"gain", " dB", kOutputGainMin_db, kGainMax_db, 0.0, true};
const Control kQ = {"Q", "", kQMin, kQMax, kQMin};
const Control kSlopeCode = {"slope code", "", 0.0, kSlopeCodeMax, 0.0};
Control frequency_control(double lo, double hi) {
    return {"frequency", " Hz", lo, hi, lo};
}
bool switched_on(double v) {
    return v >= 0.5;
}

// order = whole part of (slope code + 0.5) + 1, the code held to 0..3.
std::int32_t pass_order(double slope_code) {
    return static_cast<std::int32_t>(slope_code + 0.5) + 1;
}

double round_to_written(double slider) {
    return std::round(slider * 1e6) / 1e6;
}

EqBand base_band(const EqFitJob& job) {
    EqBand band;
    band.type = kEqPeak;
    band.freq_hz = job.source.freq_hz;
    band.gain_db = 0.0;
    band.q = kButterworthQ2;
    return band;
}

void shelf_bands(EqFitJob& job, bool fit) {
    const EqSourceFilter& s = job.source;
    const double q_max = eq_shelf_q_cap(s.gain_db);
    EqBand shelf = base_band(job);
    shelf.type = s.side ? kEqHighShelf : kEqLowShelf;
    shelf.gain_db = s.gain_db;
    shelf.q = q_max >= s.q ? s.q : q_max;
    job.bands.push_back(shelf);
    if (q_max >= s.q || !fit) return;

    // Two peaks around the corner make up the steepness the capped shelf lacks; the fit tunes them.
    const double r = std::sqrt(eq_gain_amplitude(s.gain_db));
    const double peak_q = std::sqrt(q_max * s.q);
    EqBand first = base_band(job);
    first.q = peak_q;
    first.gain_db = 20.0 * portable::log10(q_max / s.q);
    EqBand second = first;
    second.gain_db = 20.0 * portable::log10(s.q / q_max);
    first.freq_hz = s.side ? s.freq_hz / r : s.freq_hz * r;
    second.freq_hz = s.side ? s.freq_hz * r : s.freq_hz / r;
    job.bands.push_back(first);
    job.bands.push_back(second);
}

void pass_bands(EqFitJob& job, double rate) {
    const EqSourceFilter& s = job.source;
    EqBand pass = base_band(job);
    pass.type = s.side ? kEqHighPass : kEqLowPass;
    if (s.order % 2 != 0) {
        const double fc = std::min(s.freq_hz, 0.49 * rate);
        double f1 = std::floor(portable::tan(std::numbers::pi * fc / rate) * 3.0 * rate /
                                   (2.0 * std::numbers::pi) +
                               0.5);
        f1 = std::max(f1, 20.0);
        if (f1 > 20000.0) {
            // Too high for the one-pole JS: a -12 dB shelf stands in, free for the fit to move.
            EqBand shelf = base_band(job);
            shelf.type = s.side ? kEqLowShelf : kEqHighShelf;
            shelf.gain_db = -12.0;
            shelf.q = 0.5;
            shelf.free_band = 1;
            job.bands.push_back(shelf);
        } else {
            job.one_pole_hz = one_pole_slider_hz(one_pole_slider(f1));
        }
    }
    switch (s.order) {
        case 2:
            job.bands.push_back(pass);
            break;
        case 3:
            pass.q = 1.0;
            job.bands.push_back(pass);
            break;
        case 4:
            pass.q = 0.5411961;
            job.bands.push_back(pass);
            pass.q = 1.30656296;
            job.bands.push_back(pass);
            break;
        default:
            break;
    }
}

EqFitJob band_job(bool shelf, bool high, double gain, double freq, double q) {
    EqFitJob job;
    job.source.freq_hz = freq;
    job.source.gain_db = gain;
    if (shelf) {
        job.source.type = kEqSourceShelf;
        job.source.side = high ? 1 : 0;
        job.source.gain_db = hold_to(gain, -kShelfGainMax_db, kShelfGainMax_db);
        job.source.q = std::min(q, kShelfQMax);
    } else {
        job.source.type = kEqSourcePeak;
        job.source.q = eq_corrected_q(gain, q);
    }
    return job;
}

EqFitJob pass_job(bool high, double mode, double q, double slope_code, double freq) {
    EqFitJob job;
    job.source.freq_hz = freq;
    job.source.q = 1.0;
    if (switched_on(mode)) {
        job.source.type = kEqSourcePass;
        job.source.order = pass_order(slope_code);
        job.source.side = high ? 1 : 0;
    } else {
        job.source.type = kEqSourceNotch;
        job.source.q = q * kNotchQScale;
    }
    return job;
}

bool is_gain_filter(const EqFitJob& job) {
    return job.source.type == kEqSourcePeak || job.source.type == kEqSourceShelf;
}

// Remembers the filter when it misses more on its own than those before it.
void note_own_miss(const Eq3Filter& filter, const std::vector<EqBand>& bands, double rate,
                   Eq3StandIn& out) {
    const double own = eq_bands_worst_point(bands, eq_fit_grid(filter.job, rate), rate).error_db;
    if (own <= out.miss_filter_db) return;
    out.miss_filter_db = own;
    out.miss_filter = filter.name;
    append_format(out.miss_filter, " at %.0f Hz", filter.job.source.freq_hz);
}

// Converts one filter (fitting it when it is on and does something) and counts the fit.
void convert_filter(Eq3Filter& filter, double rate, Eq3StandIn& out) {
    EqFitJob& job = filter.job;
    const bool flat = is_gain_filter(job) && std::fabs(job.source.gain_db) < kZeroGain_db;
    if (!filter.in || flat) {
        eq3_band_to_reaeq(job, rate, false);
    } else {
        eq3_band_to_reaeq(job, rate, true);
        fit_eq3_band(job, rate);
        if (job.fitted) ++out.fitted_band_count;
        out.extra_band_count += job.extra_band_count;
        if (job.source.type == kEqSourcePeak) out.notes.insert(kEq3BellQNote);
        out.sources.push_back(job.source);
        note_own_miss(filter, job.bands, rate, out);
    }
    for (const EqBand& band : job.bands) {
        out.bands.push_back(
            {band.type, filter.in, band.freq_hz, band.gain_db, band.q, eq3_band_value(band, rate)});
        if (filter.in && !eq_band_is_shelf(band.type)) out.notes.insert(kEq3BandwidthNote);
    }
}

// The first-order JS part of a converted filter, when it has one and is on.
void add_one_pole_part(const Eq3Filter& filter, std::uint32_t seed_offset, Eq3StandIn& out) {
    if (!(filter.job.one_pole_hz > 0.0) || !filter.in) return;
    Eq3OnePolePart part;
    part.high_pass = filter.job.source.side;
    part.order = filter.job.source.order;
    part.slider = one_pole_slider(filter.job.one_pole_hz);
    part.seed_offset = seed_offset;
    part.preset =
        part.high_pass ? "EQ3 high-pass, first-order part" : "EQ3 low-pass, first-order part";
    out.one_pole_parts.push_back(part);
}

double stand_in_rate(double rate) {
    return rate > 0.0 && std::isfinite(rate) ? rate : 48000.0;
}

// Measures the stand-in as written: the summary gives the worst miss, and a miss past 0.5 dB is
// a note of its own.
void measure_written(Eq3StandIn& out, double rate) {
    out.miss = eq3_written_miss(out, rate);
    if (out.miss.error_db > 0.5) out.notes.insert(kEq3BeyondReachNote);
}

// Adds what a stand-in fitted to the conversion's counters.
void count_stand_in(const Eq3StandIn& out) {
    Eq3Counters& c = eq3_counters;
    c.fitted_band_count += out.fitted_band_count;
    c.extra_band_count += out.extra_band_count;
    c.one_pole_count += static_cast<std::uint32_t>(out.one_pole_parts.size());
    for (const std::string& held : out.held) ++c.held_controls[held];
    if (out.miss.error_db <= c.worst_fit_db) return;
    c.worst_fit_db = out.miss.error_db;
    c.worst_fit_hz = out.miss.freq_hz;
    c.worst_fit_filter = out.miss_filter;
}

const char* const k7BandFilterNames[7] = {"high-pass", "LF", "LMF", "MF", "HMF", "HF", "low-pass"};
const char* const k1BandFilterNames[6] = {"high-pass", "low shelf",  "notch",
                                          "peak",      "high shelf", "low-pass"};

}  // namespace

double one_pole_slider(double f1) {
    const double v =
        (portable::log((f1 + 0.5) / kSliderBase_hz) / kSliderLogStep - 16.0) / kSliderScale;
    return round_to_written(hold_to(v, 0.0, 100.0));
}

double one_pole_slider_hz(double slider) {
    return std::floor(kSliderBase_hz *
                      portable::exp(kSliderLogStep * (16.0 + kSliderScale * slider)));
}

std::string eq3_one_pole_params(const Eq3OnePolePart& part) {
    std::string text;
    append_format(text, "0 %d %.6f 0", part.high_pass, part.slider);
    return text;
}

double eq3_band_value(const EqBand& band, double rate) {
    if (eq_band_is_shelf(band.type)) return eq_shelf_q_to_slope(band.gain_db, band.q);
    return eq_q_to_reaeq_bandwidth_oct(band.freq_hz, band.q, rate);
}

std::vector<EqBand> reaeq_played_bands(const std::vector<ReaEqStateBand>& written, double rate) {
    std::vector<EqBand> bands;
    for (const ReaEqStateBand& b : written) {
        EqBand band{b.type, b.enabled, b.freq_hz, b.gain_db, 0.0, 0, 0};
        band.q = eq_band_is_shelf(b.type) ? reaeq_slope_to_shelf_q(b.gain_db, b.value)
                                          : reaeq_bandwidth_oct_to_q(b.freq_hz, b.value, rate);
        bands.push_back(band);
    }
    return bands;
}

namespace {

// The dense grid of a stand-in: Pro Tools' curve of all its filters as the target, its one-pole
// JS parts at the frequencies their sliders play as the base.
EqFitGrid stand_in_grid(const Eq3StandIn& out, double rate) {
    EqFitGrid grid = eq_grid_frequencies(rate, kEqFitPointsPerOctave);
    for (std::size_t k = 0; k < grid.freq_hz.size(); ++k) {
        std::complex<double> target = 1.0;
        for (const EqSourceFilter& s : out.sources)
            target *= eq_source_response(s, grid.freq_hz[k]);
        grid.target_db[k] = level_db(target);
        for (const Eq3OnePolePart& part : out.one_pole_parts) {
            grid.base[k] *= one_pole_response(one_pole_slider_hz(part.slider), rate,
                                              part.high_pass != 0, grid.z1[k]);
        }
    }
    return grid;
}

// Filters fitted each on its own can add up to a miss: free bands after them bring the whole
// curve back where they can.
void correct_whole_curve(Eq3StandIn& out, double rate) {
    if (out.sources.size() < 2) return;
    EqFitGrid grid = stand_in_grid(out, rate);
    const std::vector<EqBand> bands = reaeq_played_bands(out.bands, rate);
    const double before = eq_bands_error(bands, grid, rate, 0);
    if (before <= kEqFitTolerance_db) return;
    for (const EqBand& band : bands) {
        if (!band.enabled) continue;
        const Biquad c = eq_band_biquad(band, rate);
        for (std::size_t k = 0; k < grid.freq_hz.size(); ++k)
            grid.base[k] *= biquad_response(c, grid.z1[k], grid.z2[k]);
    }
    const EqFitJob correction = fit_correction_bands(grid, rate);
    if (correction.bands.empty() || !(correction.worst_error_db < before)) return;
    for (const EqBand& band : correction.bands) {
        out.bands.push_back(
            {band.type, 1, band.freq_hz, band.gain_db, band.q, eq3_band_value(band, rate)});
    }
    out.extra_band_count += correction.extra_band_count;
}

}  // namespace

EqFitMiss eq3_written_miss(const Eq3StandIn& out, double rate) {
    rate = stand_in_rate(rate);
    return eq_bands_worst_point(reaeq_played_bands(out.bands, rate), stand_in_grid(out, rate),
                                rate);
}

void eq3_band_to_reaeq(EqFitJob& job, double rate, bool fit) {
    job.bands.clear();
    job.one_pole_hz = 0.0;
    switch (job.source.type) {
        case kEqSourcePeak: {
            EqBand peak = base_band(job);
            peak.gain_db = job.source.gain_db;
            peak.q = job.source.q;
            job.bands.push_back(peak);
            break;
        }
        case kEqSourceShelf:
            shelf_bands(job, fit);
            break;
        case kEqSourceNotch: {
            EqBand notch = base_band(job);
            notch.type = kEqNotch;
            notch.q = job.source.q;
            job.bands.push_back(notch);
            break;
        }
        default:
            pass_bands(job, rate);
            break;
    }
}

std::vector<Eq3Filter> eq3_7band_filters(const std::vector<float>& values) {
    const auto v = [&](std::size_t i) { return value_at(values, i); };
    std::vector<Eq3Filter> filters(7);
    for (std::uint32_t position = 0; position < 7; ++position) {
        filters[position].position = position;
        filters[position].name = std::string("EQ3 7-Band ") + k7BandFilterNames[position];
    }
    // {mode, in, Q, slope code, frequency} of the high-pass and the low-pass, and their ranges.
    const auto pass = [&](Eq3Filter& filter, std::size_t at, bool high, double low_hz,
                          double high_hz) {
        // Named where they play: a filter switched in, its Q as a notch, its slope as a pass.
        filter.in = switched_on(v(at + 1));
        const bool notch = !switched_on(v(at));
        std::vector<std::string>* held = filter.in ? &filter.held : nullptr;
        const double q = held_control(v(at + 2), kQ, filter.name, notch ? held : nullptr);
        const double code =
            held_control(v(at + 3), kSlopeCode, filter.name, notch ? nullptr : held);
        const double freq =
            held_control(v(at + 4), frequency_control(low_hz, high_hz), filter.name, held);
        filter.job = pass_job(high, v(at), q, code, freq);
        if (filter.job.source.type == kEqSourceNotch) filter.name += " (notch)";
    };
    pass(filters[0], 5, true, 20, 8000);
    // {first value, low and high frequency limits, has a shelf switch, high side}
    const struct {
        std::size_t first;
        double low, high;
        bool shelf_switch, high_side;
    } bands[] = {
        {10, 20, 500, true, false},   {15, 40, 1000, false, false},  {19, 125, 8000, false, false},
        {23, 1, 18000, false, false}, {27, 1800, 20000, true, true},
    };
    for (std::size_t b = 0; b < 5; ++b) {
        Eq3Filter& filter = filters[b + 1];
        const std::size_t first = bands[b].first;
        const bool shelf = bands[b].shelf_switch && switched_on(v(first + 4));
        filter.in = switched_on(v(first));
        std::vector<std::string>* held = filter.in ? &filter.held : nullptr;
        const double gain =
            held_control(v(first + 1), shelf ? kShelfGain : kGain, filter.name, held);
        const double freq = held_control(
            v(first + 2), frequency_control(bands[b].low, bands[b].high), filter.name, held);
        const double q = held_control(v(first + 3), kQ, filter.name, held);
        filter.job = band_job(shelf, bands[b].high_side, gain, freq, q);
    }
    pass(filters[6], 32, false, 120, 20000);
    return filters;
}

Eq3Filter eq3_1band_filter(const std::vector<float>& values) {
    const auto v = [&](std::size_t i) { return value_at(values, i); };
    Eq3Filter filter;
    std::vector<std::string>* held = &filter.held;
    const int type = static_cast<int>(
        held_control(v(5), {"filter type", "", 0.0, 5.0, 0.0}, "EQ3 1-Band", held) + 0.5);
    filter.name = std::string("EQ3 1-Band ") + k1BandFilterNames[type];
    const double freq = held_control(v(2), frequency_control(20, 20000), filter.name, held);
    // A pass filter's Q does not play.
    const double q = held_control(v(3), kQ, filter.name, type == 0 || type == 5 ? nullptr : held);
    switch (type) {
        case 0:
        case 5:
            filter.job = pass_job(type == 0, 1.0, q,
                                  held_control(v(4), kSlopeCode, filter.name, held), freq);
            break;
        case 1:
        case 4:
            filter.job =
                band_job(true, type == 4, held_control(v(1), kGain, filter.name, held), freq, q);
            break;
        case 3:
            filter.job =
                band_job(false, false, held_control(v(1), kGain, filter.name, held), freq, q);
            break;
        default:
            filter.job = pass_job(false, 0.0, q, 0.0, freq);  // the notch
            break;
    }
    return filter;
}

namespace {

Eq3StandIn make_7band(const std::vector<float>& values, double rate) {
    Eq3StandIn out;
    out.polarity = switched_on(value_at(values, 4));
    std::vector<std::string>& held = out.held;
    out.output_gain_db = held_control(value_at(values, 2), kOutputGain, "EQ3 7-Band input", &held) +
                         held_control(value_at(values, 3), kOutputGain, "EQ3 7-Band output", &held);
    std::vector<Eq3Filter> filters = eq3_7band_filters(values);
    for (const Eq3Filter& filter : filters)
        held.insert(held.end(), filter.held.begin(), filter.held.end());
    out.notes.insert(held.begin(), held.end());
    for (Eq3Filter& filter : filters) convert_filter(filter, rate, out);
    for (const Eq3Filter& filter : filters) add_one_pole_part(filter, 900 + filter.position, out);
    correct_whole_curve(out, rate);
    measure_written(out, rate);
    return out;
}

Eq3StandIn make_1band(const std::vector<float>& values, double rate) {
    Eq3StandIn out;
    out.polarity = std::fabs(value_at(values, 7)) >= 0.5;
    std::vector<std::string>& held = out.held;
    out.output_gain_db = held_control(value_at(values, 6), kOutputGain, "EQ3 1-Band output", &held);
    Eq3Filter filter = eq3_1band_filter(values);
    held.insert(held.end(), filter.held.begin(), filter.held.end());
    out.notes.insert(held.begin(), held.end());
    convert_filter(filter, rate, out);
    add_one_pole_part(filter, 901, out);
    measure_written(out, rate);
    return out;
}

// The stand-ins made so far in this process, by their input: a repeated instance, in this
// conversion or the next, costs a look-up.
std::map<std::string, Eq3StandIn> stand_in_memo;
std::mutex stand_in_memo_lock;

std::string stand_in_key(const Eq3Request& request) {
    std::string key = request.seven_band ? "7 " : "1 ";
    append_format(key, "%a", request.rate);
    for (float v : request.values) append_format(key, " %a", static_cast<double>(v));
    return key;
}

Eq3StandIn make_stand_in(const Eq3Request& request) {
    return request.seven_band ? make_7band(request.values, request.rate)
                              : make_1band(request.values, request.rate);
}

// The stand-in of a request, from the memo or made now and remembered.
Eq3StandIn remembered_stand_in(Eq3Request request) {
    request.rate = stand_in_rate(request.rate);
    const std::string key = stand_in_key(request);
    {
        const std::lock_guard<std::mutex> hold(stand_in_memo_lock);
        if (const auto known = stand_in_memo.find(key); known != stand_in_memo.end())
            return known->second;
    }
    Eq3StandIn out = make_stand_in(request);
    const std::lock_guard<std::mutex> hold(stand_in_memo_lock);
    stand_in_memo.emplace(key, out);
    return out;
}

}  // namespace

Eq3StandIn convert_eq3_7band(const std::vector<float>& values, double rate) {
    const Eq3StandIn out = remembered_stand_in({true, values, rate});
    count_stand_in(out);
    return out;
}

Eq3StandIn convert_eq3_1band(const std::vector<float>& values, double rate) {
    const Eq3StandIn out = remembered_stand_in({false, values, rate});
    count_stand_in(out);
    return out;
}

std::size_t eq3_stand_ins_to_make(const std::vector<Eq3Request>& requests) {
    std::set<std::string> keys;
    const std::lock_guard<std::mutex> hold(stand_in_memo_lock);
    for (Eq3Request request : requests) {
        request.rate = stand_in_rate(request.rate);
        std::string key = stand_in_key(request);
        if (!stand_in_memo.count(key)) keys.insert(std::move(key));
    }
    return keys.size();
}

void make_eq3_stand_ins(const std::vector<Eq3Request>& requests,
                        const std::function<void(std::size_t made, std::size_t total)>& made) {
    // The distinct inputs not yet remembered, in the order given.
    std::vector<Eq3Request> todo;
    {
        std::set<std::string> keys;
        const std::lock_guard<std::mutex> hold(stand_in_memo_lock);
        for (Eq3Request request : requests) {
            request.rate = stand_in_rate(request.rate);
            std::string key = stand_in_key(request);
            if (stand_in_memo.count(key) || !keys.insert(std::move(key)).second) continue;
            todo.push_back(std::move(request));
        }
    }
    if (todo.empty()) return;
    // Each stand-in depends on its input alone, so the threads may take them in any order.
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t count = std::min(cores, todo.size());
    std::atomic<std::size_t> next{0};
    std::mutex telling;
    std::size_t done = 0;
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < todo.size();) {
            remembered_stand_in(todo[i]);
            if (!made) continue;
            const std::lock_guard<std::mutex> hold(telling);
            made(++done, todo.size());
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < count; ++t) threads.emplace_back(work);
    work();
    for (std::thread& thread : threads) thread.join();
}
