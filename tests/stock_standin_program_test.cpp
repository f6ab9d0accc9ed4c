// Avid stock processors written by the program as REAPER's own effects, on a synthetic session
// whose one track holds an EQ3 7-Band, a Dyn3 Compressor/Limiter and a Channel Strip.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "app/output.h"
#include "convert/convert_session.h"
#include "convert/run_state.h"
#include "effects/eq_curves.h"
#include "effects/eq_fit.h"
#include "effects/eq_reaeq_values.h"
#include "effects/fx_blocks.h"
#include "effects/fx_chain.h"
#include "model/conversion_result.h"
#include "platform/ptformat.h"
#include "tests/mixer_builder.h"
#include "tests/plugin_blocks.h"
#include "tests/plugin_session.h"
#include "tests/reaper_block_forms.h"
#include "tests/rpp_grammar.h"
#include "tests/test_support.h"
#include "tests/walk_builder.h"
#include "util/codecs.h"
#include "util/guid.h"
#include "util/portable_math.h"

namespace {

namespace fs = std::filesystem;
using test_plugins::active;
using test_plugins::control_values;
using test_plugins::f64_at;
using test_plugins::named_values;
using test_plugins::stock_slot;
using test_plugins::u32_at;
using test_support::read_file;
using test_support::RunSetup;
using test_support::TempDir;
using test_support::write_file;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A slot followed by a 1 and its state block: bypassed.
std::string bypassed(const std::string& slot) {
    return slot + test_plugins::byte(1) + test_blocks::z_block(0x2614, test_blocks::zeros(12));
}

// EQ3 7-Band control values: five bands in and flat at Q 1 (100, 500, 2000, 6000 and 10000 Hz),
// everything else 0.
std::vector<double> flat_7band_values() {
    std::vector<double> v(38, 0.0);
    const double band_freqs[] = {100, 500, 2000, 6000, 10000};
    const std::size_t firsts[] = {10, 15, 19, 23, 27};
    for (int b = 0; b < 5; ++b) {
        v[firsts[b]] = 1.0;
        v[firsts[b] + 2] = band_freqs[b];
        v[firsts[b] + 3] = 1.0;
    }
    return v;
}

// EQ3 7-Band: output gains 1 + 0.5 dB, polarity on, high-pass 18 dB/oct at 100 Hz, five flat
// bands, the low-pass off at 12 dB/oct.
std::string eq3_slot() {
    std::vector<double> v = flat_7band_values();
    v[2] = 1.0;
    v[3] = 0.5;
    v[4] = 1.0;
    v[5] = 1.0, v[6] = 1.0, v[7] = 1.0, v[8] = 2.0, v[9] = 100.0;
    v[32] = 1.0, v[33] = 0.0, v[34] = 1.0, v[35] = 1.0, v[36] = 10000.0;
    return stock_slot("Digi47e3", control_values(v));
}

// Dyn3 compressor: threshold -20 dB, ratio 4, attack 10 ms, release 80 ms, gain 3 dB.
std::string dyn3_slot() {
    return stock_slot("Digidn3c",
                      control_values({0, 4, 0.010, 0.080, 3, -20, 0, 20000, 1, 0, 20, 1, 0, 0}));
}

std::string strip_slot() {
    return stock_slot("AVIDChSt", named_values({{"Cmp Ratio", 4.0},
                                                {"EQ Low Gain", 6.0},
                                                {"Filter 2 Type", 0.0},
                                                {"Sc Source", 0.0}}));
}

// EQ3 1-Band: {-, gain, frequency, Q, slope code, type (3 a peak), output gain, polarity}.
std::string one_band_peak_slot(double gain, double freq, double q) {
    return stock_slot("Digi1be3", control_values({0, gain, freq, q, 0, 3, 0, 0}));
}

// Dyn3 Expander/Gate: threshold -40 dB, attack 10 ms, release 100 ms, no hold, both key filters
// and the external key off.
std::string gate_slot(double ratio, double depth) {
    return stock_slot("Digidn3e", control_values({depth, ratio, 0.010, 0.100, 0, -40, 0, 0, 20000,
                                                  1, 0, 20, 1, 0, 0}));
}

// The plain session of one track, "Drums", holding `slots`, at 48 kHz.
std::string plain_session(const std::string& slots) {
    return plugin_session::drums_with_slots(slots, 48000);
}

struct Conversion {
    std::string plain, project, console;
    std::string second;  // the second pass's project under --convert-twice
    std::string report;  // with --report
};

Conversion convert(const std::string& slots, std::vector<std::string> extra = {}) {
    TempDir root;
    RunSetup setup;
    for (const char* name : {"home", "appdata", "current", "program"})
        fs::create_directory(root.path() / name);
    setup.home = root.file("home");
    setup.appdata = root.file("appdata");
    setup.current_dir = root.file("current");
    setup.program_dir = root.file("program");
    Conversion run;
    run.plain = plain_session(slots);
    std::vector<std::uint8_t> bytes(run.plain.begin(), run.plain.end());
    EXPECT_TRUE(ptf_xor_crypt(bytes));
    const std::string session = root.file("Fx.ptx");
    write_file(session, std::string(bytes.begin(), bytes.end()));
    const std::string out = root.file("Fx.rpp");
    std::vector<std::string> args = {session, "-o", out, "--no-pause"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = run_lanwick(args, setup);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    run.console = r.out;
    run.project = read_file(out);
    if (fs::exists(root.file("Fx-2nd.rpp"))) run.second = read_file(root.file("Fx-2nd.rpp"));
    if (fs::exists(root.file("Fx-vantrel-report.txt")))
        run.report = read_file(root.file("Fx-vantrel-report.txt"));
    const auto grammar = rpp_grammar::check_project(run.project);
    EXPECT_TRUE(grammar.ok) << grammar.line << ": " << grammar.message;
    // Every stand-in block in a form REAPER saves (when its projects are there to say).
    if (reaper_block_forms::reaper_forms().found) {
        EXPECT_EQ(reaper_block_forms::unlike_reaper(run.project), std::vector<std::string>());
    }
    return run;
}

// The FXID line of a stand-in's block n: the base from the plug-in block's position.
std::string fxid_line(const std::string& plain, const std::string& id, std::uint32_t n,
                      int occurrence = 0) {
    std::size_t found = plain.find(id);
    for (int i = 0; i < occurrence; ++i) found = plain.find(id, found + 1);
    const std::size_t block = found - 25;
    const std::uint32_t base = (static_cast<std::uint32_t>(block) & 0xFFFFFFu) ^ 0x53540000u;
    return "      FXID " + guid_from_seed(base + n) + "\n";
}

// The header and the state of the <VST block whose first line holds `opening`.
struct VstBytes {
    std::string header, state;
};
VstBytes vst_bytes(const std::string& project, const std::string& opening, std::size_t from = 0) {
    VstBytes out;
    std::size_t at = project.find(opening, from);
    if (at == std::string::npos) return out;
    at = project.find('\n', at) + 1;
    bool first = true;
    while (true) {
        const std::size_t end = project.find('\n', at);
        const std::string line = project.substr(at, end - at);
        at = end + 1;
        if (line == "      >") break;
        const std::string slice = base64_decode(line.substr(8));
        (first ? out.header : out.state) += slice;
        first = false;
    }
    // The trailer "AAAQAAAA" is a line of its own.
    if (out.state.size() >= 6) out.state.resize(out.state.size() - 6);
    return out;
}

float f32_word(const std::string& state, std::size_t word) {
    return std::bit_cast<float>(u32_at(state, 8 + 4 * word));
}

TEST(StockStandInProgram, EqDynamicsAndStripArriveAsReaperEffects) {
    const Conversion run = convert(active(eq3_slot()) + active(dyn3_slot()) + active(strip_slot()));
    const std::string& p = run.project;

    // EQ3: the polarity JS, one ReaEQ of the seven filters' bands, the first-order part.
    EXPECT_TRUE(has(
        p,
        "      <JS IX/StereoPhaseInvert \"EQ3 7-Band polarity (Channel Polarity "
        "Control)\"\n        3" +
            [] {
                std::string s;
                for (int i = 1; i < 64; ++i) s += " -";
                return s;
            }() +
            "\n      >\n      PRESETNAME \"EQ3 input polarity\"\n"))
        << p;
    EXPECT_TRUE(has(
        p, "EQ3 input polarity\"\n      FLOATPOS 0 0 0 0\n" + fxid_line(run.plain, "Digi47e3", 0)));
    const std::string reaeq = "      <VST \"VST: ReaEQ (Cockos)\" " + reaper_plugin_file("reaeq") +
                              " 0 \"EQ3 7-Band (ReaEQ)\" "
                              "1919247729<56535472656571726561657100000000> \"\"\n";
    EXPECT_TRUE(has(p, reaeq));
    EXPECT_TRUE(has(p, "      PRESETNAME \"EQ3 7-Band\"\n      FLOATPOS 0 0 0 0\n" +
                           fxid_line(run.plain, "Digi47e3", 1)));
    std::string one_pole =
        "      <JS Liteon/simplelp6db \"EQ3 7-Band high-pass 6 of 18 dB/oct "
        "(Simple 1-Pole Filter)\"\n        0 1 28.982000 0";
    for (int i = 4; i < 64; ++i) one_pole += " -";
    EXPECT_TRUE(has(p, one_pole +
                           "\n      >\n      PRESETNAME \"EQ3 high-pass, first-order "
                           "part\"\n      FLOATPOS 0 0 0 0\n" +
                           fxid_line(run.plain, "Digi47e3", 1 + 900)))
        << p;
    const VstBytes eq = vst_bytes(p, reaeq);
    ASSERT_GE(eq.state.size(), 8u);
    EXPECT_EQ(u32_at(eq.state, 0), 33u);
    // Per band 33 bytes: type, enabled, frequency, gain factor, value, 1. The high-pass comes
    // first (the fit may move it and add a free band after it), then five flat peaks and the
    // low-pass switched off.
    const std::uint32_t count = u32_at(eq.state, 4);
    ASSERT_GE(count, 7u);
    ASSERT_EQ(eq.state.size(), 8u + 33 * count + 32);
    EXPECT_EQ(u32_at(eq.state, 8), 4u);
    EXPECT_EQ(u32_at(eq.state, 12), 1u);
    const struct {
        std::uint32_t type, enabled;
        double freq;
    } last[] = {{8, 1, 100}, {8, 1, 500}, {8, 1, 2000}, {8, 1, 6000}, {8, 1, 10000}, {3, 0, 10000}};
    for (std::size_t b = 0; b < 6; ++b) {
        const std::size_t at = 8 + 33 * (count - 6 + b);
        EXPECT_EQ(u32_at(eq.state, at), last[b].type) << b;
        EXPECT_EQ(u32_at(eq.state, at + 4), last[b].enabled) << b;
        EXPECT_NEAR(f64_at(eq.state, at + 8), last[b].freq, 1e-9) << b;
        EXPECT_NEAR(f64_at(eq.state, at + 16), 1.0, 1e-12) << b;
    }
    // The output gain: value 2 + value 3.
    EXPECT_NEAR(f64_at(eq.state, 8 + 33 * count + 8), std::pow(10.0, 1.5 / 20.0), 1e-12);

    // Dyn3: ReaComp, its header as REAPER saves it, its words.
    const std::string reacomp = "      <VST \"VST: ReaComp (Cockos)\" " +
                                reaper_plugin_file("reacomp") +
                                " 0 \"Dyn3 "
                                "Compressor/Limiter (ReaComp)\" "
                                "1919247213<5653547265636D726561636F6D700000> \"\"\n";
    ASSERT_TRUE(has(p, reacomp)) << p;
    EXPECT_TRUE(has(p, reacomp + "        bWNlcu9e7f4EAAAAAQAAAAAAAAACAAAAAAAAAAQAAAAAAAAACAAAAAA"
                                 "AAAACAAAAAQAAAAAAAAACAAAAAAAAAFwAAAAAAAAAAAAQAA==\n"));
    EXPECT_TRUE(has(p,
                    "      PRESETNAME \"Dyn3 Compressor/Limiter 4:1\"\n      FLOATPOS 0 0 0 "
                    "0\n" +
                        fxid_line(run.plain, "Digidn3c", 0)));
    const VstBytes comp = vst_bytes(p, reacomp);
    ASSERT_EQ(comp.state.size(), 92u);
    EXPECT_EQ(u32_at(comp.state, 0), 0xdeadbeefu);
    EXPECT_EQ(u32_at(comp.state, 4), 0xdeadf00du);
    const double words[] = {0.1039561, 0.0303030, 0.01168, 0.0066144};
    for (std::size_t w = 0; w < 4; ++w) EXPECT_NEAR(f32_word(comp.state, w), words[w], 1e-6) << w;
    EXPECT_NEAR(f32_word(comp.state, 11), 1.4125375, 1e-6);
    EXPECT_EQ(u32_at(comp.state, 8 + 4 * 10), 0x3307D1A3u);
    EXPECT_EQ(f32_word(comp.state, 17), 0.25f);
    EXPECT_FALSE(has(p, "Dyn3 Compressor/Limiter gain (Volume Adjustment)"));

    // The Channel Strip: its EQ and filters at least, from block 0 of its own base.
    EXPECT_TRUE(has(p, "\"Channel Strip EQ (ReaEQ)\""));
    EXPECT_TRUE(has(p, "\"Channel Strip Filters (ReaEQ)\""));
    EXPECT_TRUE(has(p, fxid_line(run.plain, "AVIDChSt", 0)));

    const std::string& c = run.console;
    EXPECT_TRUE(has(c,
                    "  3 Avid plug-in(s) arrive as REAPER's own equivalents, in the same\n"
                    "      slot (EQ exact in design, dynamics close, not identical): Channel "
                    "Strip 1,\n        Dyn3 Compressor/Limiter 1, EQ3 7-Band 1\n"))
        << c;
    EXPECT_TRUE(has(c, "      EQ3: 1 high-pass or low-pass filter(s) set to 6 or 18 dB/oct use\n"));
    EXPECT_TRUE(has(c, "  Avid stand-ins approximated or left out:\n"));
    EXPECT_TRUE(has(c,
                    "      EQ3 band widths written for ReaEQ's reading of them as the RBJ "
                    "cookbook's\n        (not yet confirmed by a REAPER render) (1 plug-in(s))\n"))
        << c;
}

// The bands of the first ReaEQ whose first line holds `opening`, each read back from its stored
// value as ReaEQ reads it at 48 kHz.
std::vector<EqBand> played_reaeq_bands(const std::string& project, const std::string& opening) {
    const VstBytes eq = vst_bytes(project, opening);
    std::vector<EqBand> bands;
    for (std::uint32_t i = 0; eq.state.size() >= 8 && i < u32_at(eq.state, 4); ++i) {
        const std::size_t at = 8 + 33 * i;
        EqBand band{u32_at(eq.state, at),
                    1,
                    f64_at(eq.state, at + 8),
                    20 * std::log10(f64_at(eq.state, at + 16)),
                    0,
                    0,
                    0};
        const double value = f64_at(eq.state, at + 24);
        band.q = eq_band_is_shelf(band.type) ? reaeq_slope_to_shelf_q(band.gain_db, value)
                                             : reaeq_bandwidth_oct_to_q(band.freq_hz, value, 48000);
        bands.push_back(band);
    }
    return bands;
}

// The worst deviation of the first EQ3 1-Band ReaEQ of the project from Pro Tools' bell, on 192
// points per octave.
EqFitMiss written_bell_miss(const std::string& project, double freq, double gain, double q) {
    const std::vector<EqBand> bands = played_reaeq_bands(project, "\"EQ3 1-Band (ReaEQ)\"");
    EqFitJob job;
    job.source = {kEqSourcePeak, freq, gain, q, 0, 0};
    return eq_bands_worst_point(bands, eq_fit_grid(job, 48000, 192), 48000);
}

// A miss is given with the figure measured on the written state, its frequency and its filter,
// in the summary and the report; "within 0.05 dB" only when it is true. A narrow cut near the
// top of the band at 48 kHz is one the fit cannot follow.
TEST(StockStandInProgram, TheSummaryGivesTheWrittenCurvesMeasuredMiss) {
    const Conversion miss = convert(active(one_band_peak_slot(-18, 19000, 8)), {"--report"});
    const EqFitMiss measured = written_bell_miss(miss.project, 19000, -18, 8);
    ASSERT_GT(measured.error_db, 0.1);
    const std::string figure = format_text("%.2f dB from Pro Tools' curve at %.0f Hz\n",
                                           measured.error_db, measured.freq_hz);
    EXPECT_TRUE(has(miss.console,
                    "      EQ3: 1 band(s) fitted onto ReaEQ to follow Pro Tools' own curve as\n"
                    "      closely as ReaEQ reaches ("))
        << miss.console;
    EXPECT_TRUE(has(miss.console, "the worst written\n      curve is " + figure +
                                      "      (EQ3 1-Band peak at 19000 Hz)\n"))
        << miss.console;
    EXPECT_TRUE(has(miss.report,
                    "the worst written\ncurve is " + figure + "(EQ3 1-Band peak at 19000 Hz)\n"))
        << miss.report;
    EXPECT_FALSE(has(miss.console, "within 0.05 dB")) << miss.console;
    EXPECT_EQ(has(miss.console, "      worst of these: " + figure), measured.error_db > 0.5);

    const Conversion within = convert(active(one_band_peak_slot(6, 5000, 1)), {"--report"});
    EXPECT_LE(written_bell_miss(within.project, 5000, 6, 1).error_db, 0.05);
    EXPECT_TRUE(has(within.console,
                    "      EQ3: 1 band(s) fitted onto ReaEQ to follow Pro Tools' own curve to\n"
                    "      within 0.05 dB ("))
        << within.console;
    EXPECT_TRUE(has(within.report,
                    "EQ3: 1 band(s) fitted onto ReaEQ to follow Pro Tools' own "
                    "curve to\nwithin 0.05 dB ("))
        << within.report;
    EXPECT_FALSE(has(within.console, "dB from Pro Tools' curve")) << within.console;
}

// A damaged EQ3 is written as the EQ3 set to the limits of its ranges, and every control held is
// named on the console and in the report: an MF bell of +400 dB plays +18 dB, an input gain of
// 3000 dB +18 dB, an HMF Q of 50 Q 10, a 1-Band bell of -400 dB at 90 kHz -18 dB at 20 kHz.
TEST(StockStandInProgram, DamagedEq3ControlsAreHeldToTheEq3sRanges) {
    const auto seven_band = [](double mf_gain, double input_gain, double hmf_q) {
        std::vector<double> v = flat_7band_values();
        v[20] = mf_gain, v[2] = input_gain, v[26] = hmf_q;
        return active(stock_slot("Digi47e3", control_values(v)));
    };
    const auto one_band = [](double gain, double freq) {
        return active(stock_slot("Digi1be3", control_values({0, gain, freq, 1, 0, 3, 0, 0})));
    };
    const Conversion damaged =
        convert(seven_band(400, 3000, 50) + one_band(-400, 90000), {"--report"});
    const Conversion limits = convert(seven_band(18, 18, 10) + one_band(-18, 20000));
    for (const char* eq : {"\"EQ3 7-Band (ReaEQ)\"", "\"EQ3 1-Band (ReaEQ)\""}) {
        const std::string state = vst_bytes(damaged.project, eq).state;
        EXPECT_FALSE(state.empty()) << eq;
        EXPECT_EQ(state, vst_bytes(limits.project, eq).state) << eq;
    }
    const std::string held[] = {
        "EQ3 7-Band MF gain 400 dB outside the EQ3's range, held at 18 dB (1 plug-in(s))",
        "EQ3 7-Band input gain 3000 dB outside the EQ3's range, held at 18 dB (1 plug-in(s))",
        "EQ3 7-Band HMF Q 50 outside the EQ3's range, held at 10 (1 plug-in(s))",
        "EQ3 1-Band peak gain -400 dB outside the EQ3's range, held at -18 dB (1 plug-in(s))",
        "EQ3 1-Band peak frequency 90000 Hz outside the EQ3's range, held at 20000 Hz (1 "
        "plug-in(s))"};
    // The console wraps its rows at 80 columns: read each row as one line.
    std::string console_rows;
    for (std::size_t i = 0; i < damaged.console.size(); ++i) {
        if (damaged.console[i] != '\n') {
            console_rows += damaged.console[i];
            continue;
        }
        std::size_t next = damaged.console.find_first_not_of(' ', i + 1);
        if (next != std::string::npos && next - (i + 1) > 6) {  // a row's continuation
            console_rows += ' ';
            i = next - 1;
        } else {
            console_rows += '\n';
        }
    }
    for (const std::string& note : held) {
        EXPECT_TRUE(has(console_rows, "      " + note + "\n")) << note << "\n" << console_rows;
        EXPECT_TRUE(has(damaged.report, "  " + note + "\n")) << note << "\n" << damaged.report;
    }
    EXPECT_FALSE(has(limits.console, "outside the EQ3's range")) << limits.console;
}

// The Channel Strip's bells, written into the project and read back as ReaEQ reads their
// widths, play the Q of their measured corrections (Q x 0.4044 x G(gain) x F(frequency), taken
// here at rows of the tables), and so their curve is the cookbook curve of those bells, near
// the top of the band too, where a width widened by w'/sin w' plays several dB wider.
TEST(StockStandInProgram, StripBellsPlayTheirCorrectedQ) {
    const Conversion run =
        convert(active(stock_slot("AVIDChSt", named_values({{"Cmp Ratio", 1.0},
                                                            {"EQ Low Gain", 9.0},
                                                            {"EQ Low Frequency", 100.0},
                                                            {"EQ Low Q", 1.0},
                                                            {"EQ Low-Mid Gain", -6.0},
                                                            {"EQ Low-Mid Frequency", 1000.0},
                                                            {"EQ Low-Mid Q", 5.0},
                                                            {"EQ High-Mid Gain", 12.0},
                                                            {"EQ High-Mid Frequency", 10000.0},
                                                            {"EQ High-Mid Q", 2.0},
                                                            {"EQ High Gain", -12.0},
                                                            {"EQ High Frequency", 20000.0},
                                                            {"EQ High Q", 10.0},
                                                            {"Filter 2 Type", 0.0},
                                                            {"Sc Source", 0.0}}))));
    const std::vector<EqBand> played =
        played_reaeq_bands(run.project, "\"Channel Strip EQ (ReaEQ)\"");
    ASSERT_EQ(played.size(), 4u) << run.project;
    const struct {
        double freq, gain, q;
    } bells[] = {{100, 9, 1 * 0.4044 * 0.9508 * 1.0297},
                 {1000, -6, 5 * 0.4044 * 0.8474 * 1.0},
                 {10000, 12, 2 * 0.4044 * 1.0 * 0.7463},
                 {20000, -12, 10 * 0.4044 * 1.0 * 0.3603}};
    std::vector<EqBand> decided;
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(bells[i].freq);
        EXPECT_EQ(played[i].type, kEqPeak);
        EXPECT_NEAR(played[i].freq_hz, bells[i].freq, 1e-9);
        EXPECT_NEAR(played[i].gain_db, bells[i].gain, 1e-9);
        EXPECT_NEAR(played[i].q, bells[i].q, 1e-9 * bells[i].q);
        decided.push_back({kEqPeak, 1, bells[i].freq, bells[i].gain, bells[i].q, 0, 0});
    }
    EqFitGrid grid = eq_grid_frequencies(48000, kEqFitPointsPerOctave);
    for (std::size_t k = 0; k < grid.freq_hz.size(); ++k) {
        std::complex<double> h = 1.0;
        for (const EqBand& b : decided)
            h *= biquad_response(eq_band_biquad(b, 48000), grid.z1[k], grid.z2[k]);
        grid.target_db[k] = level_db(h);
    }
    EXPECT_LT(eq_bands_worst_point(played, grid, 48000).error_db, 1e-6);
}

TEST(StockStandInProgram, NoStandInsLeavesThemOut) {
    const Conversion run = convert(active(eq3_slot()) + active(dyn3_slot()), {"--no-stand-ins"});
    EXPECT_FALSE(has(run.project, "ReaEQ"));
    EXPECT_FALSE(has(run.project, "ReaComp"));
    EXPECT_FALSE(has(run.console, "REAPER's own equivalents"));
    EXPECT_FALSE(has(run.console, "Avid stand-ins approximated"));
}

TEST(StockStandInProgram, BypassedStandInsFollowTheBypassMode) {
    struct Case {
        std::vector<std::string> options;
        const char* bypass;
    };
    for (const Case& c :
         {Case{{}, "BYPASS 1 0 0"}, Case{{"--offline-bypassed-fx"}, "BYPASS 1 1 0"}}) {
        const Conversion run = convert(bypassed(strip_slot()) + active(eq3_slot()), c.options);
        const std::string& p = run.project;
        // Every block of the strip, the one its switched-off filters already bypassed included;
        // the EQ3 after it plays.
        const std::size_t strip = p.find("Channel Strip");
        const std::size_t eq3 = p.find("      BYPASS 0 0 0\n      <JS IX/StereoPhaseInvert");
        ASSERT_NE(strip, std::string::npos) << p;
        ASSERT_NE(eq3, std::string::npos);
        std::size_t blocks = 0;
        for (std::size_t at = p.find("      BYPASS ", 0); at < eq3;
             at = p.find("      BYPASS ", at + 1)) {
            if (at < p.find("<FXCHAIN")) continue;
            ++blocks;
            EXPECT_EQ(p.substr(at + 6, 12), c.bypass) << p;
        }
        EXPECT_GE(blocks, 2u);
    }
}

std::string f32_bits(double value) {
    return test_blocks::u32le(std::bit_cast<std::uint32_t>(static_cast<float>(value)));
}
std::string f64_bits(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return test_blocks::u32le(static_cast<std::uint32_t>(bits)) +
           test_blocks::u32le(static_cast<std::uint32_t>(bits >> 32));
}
// A ReaComp or ReaGate state: the two marks, then 21 words (f32 values or fixed bit patterns).
std::string dyn_state(const std::map<int, std::string>& words) {
    std::string state = test_blocks::u32le(0xdeadbeefu) + test_blocks::u32le(0xdeadf00du);
    for (int w = 0; w < 21; ++w) state += words.count(w) ? words.at(w) : test_blocks::zeros(4);
    return state;
}
// A value as the session stores it (f32), in the program's double.
double stored(double value) {
    return static_cast<double>(static_cast<float>(value));
}

TEST(StockStandInProgram, OneBandAndExpanderGateWholeStatesTwice) {
    const Conversion run =
        convert(active(one_band_peak_slot(6, 1000, 1)) + active(one_band_peak_slot(6, 5000, 1)) +
                    active(gate_slot(4, -20)) + active(gate_slot(10, -20)) +
                    active(gate_slot(100, -40)) + active(dyn3_slot()),
                {"--convert-twice"});
    const std::string& p = run.project;
    // The second pass takes the fit from the memo and writes the same text.
    EXPECT_EQ(run.second, p);

    // The 1 kHz bell misses Pro Tools' curve by less than 0.05 dB: one band, as converted. Its
    // width in octaves is the inverse of the cookbook's Q relation at the bell's frequency.
    const std::string one_band = "      <VST \"VST: ReaEQ (Cockos)\" " +
                                 reaper_plugin_file("reaeq") +
                                 " 0 \"EQ3 1-Band (ReaEQ)\" "
                                 "1919247729<56535472656571726561657100000000> \"\"\n";
    const VstBytes eq = vst_bytes(p, one_band);
    std::string eq_header = base64_decode(
        "cWVlcu5e7f4CAAAAAQAAAAAAAAACAAAAAAAAAAIAAAABAAAAAAAAAAIAAAAAAAAAKAAAAAEAAAAAABAA");
    eq_header.replace(48, 4, test_blocks::u32le(40 + 33));
    EXPECT_EQ(eq.header, eq_header);
    const double w = 2.0 * std::numbers::pi * 1000.0 / 48000.0;
    // The same portable functions as the program: the state is compared bit for bit.
    const double octaves = 2.0 / std::numbers::ln2 * portable::asinh(0.5) / (w / portable::sin(w));
    const std::string eq_state =
        test_blocks::u32le(33) + test_blocks::u32le(1) + test_blocks::u32le(8) +
        test_blocks::u32le(1) + f64_bits(1000.0) + f64_bits(portable::from_db(6.0)) +
        f64_bits(octaves) + std::string(1, '\x01') + test_blocks::u32le(1) + test_blocks::u32le(1) +
        f64_bits(1.0) + test_blocks::zeros(12) + std::string("\x02\x00\x00\x00", 4);
    EXPECT_EQ(eq.state, eq_state);
    EXPECT_TRUE(has(p, "      PRESETNAME \"EQ3 1-Band\"\n      FLOATPOS 0 0 0 0\n" +
                           fxid_line(run.plain, "Digi1be3", 0, 0)));
    EXPECT_TRUE(has(p, "      PRESETNAME \"EQ3 1-Band\"\n      FLOATPOS 0 0 0 0\n" +
                           fxid_line(run.plain, "Digi1be3", 0, 1)));

    // 1:4: SStillwell's expander.
    std::string expander =
        "      <JS sstillwell/expander \"Dyn3 Expander/Gate (Downward Expander)\"\n"
        "        -40.000 4.0000 0 0 2 10.0000 100.0000";
    for (int i = 7; i < 64; ++i) expander += " -";
    EXPECT_TRUE(has(p, expander +
                           "\n      >\n      PRESETNAME \"Dyn3 Expander/Gate 4:1\"\n"
                           "      FLOATPOS 0 0 0 0\n" +
                           fxid_line(run.plain, "Digidn3e", 0, 0)))
        << p;

    // 1:10 and 1:100: ReaGate, its header as REAPER saves it.
    const std::string reagate = "      <VST \"VST: ReaGate (Cockos)\" " +
                                reaper_plugin_file("reagate") +
                                " 0 \"Dyn3 Expander/Gate (ReaGate)\" ";
    const std::size_t gate10 = p.find(reagate);
    const std::size_t gate100 = p.find(reagate, gate10 + 1);
    ASSERT_NE(gate100, std::string::npos) << p;
    EXPECT_TRUE(has(p, "      PRESETNAME \"Dyn3 Expander/Gate 10:1\"\n      FLOATPOS 0 0 0 0\n" +
                           fxid_line(run.plain, "Digidn3e", 0, 1)));
    EXPECT_TRUE(has(p, "      PRESETNAME \"Dyn3 Expander/Gate 100:1\"\n      FLOATPOS 0 0 0 0\n" +
                           fxid_line(run.plain, "Digidn3e", 0, 2)));
    const VstBytes gate = vst_bytes(p, reagate, gate100);
    EXPECT_EQ(gate.header,
              base64_decode("dGdlcu9e7f4EAAAAAQAAAAAAAAACAAAAAAAAAAQAAAAAAAAACAAAAAAAAAACAAAAAQAAAA"
                            "AAAAACAAAAAAAAAFwAAAAAAAAAAAAQAA=="));
    // Depth -40 dB: attack x 40/20, release x 22/40; floor 10^(-40/20).
    const double g = std::pow(10.0, -40.0 / 20.0);
    EXPECT_EQ(gate.state, dyn_state({{0, f32_bits(std::pow(10.0, -40.0 / 20.0))},
                                     {1, f32_bits(40.0 / 20.0 * (stored(0.010) * 1000.0) / 500.0)},
                                     {2, f32_bits(22.0 / 40.0 * (stored(0.100) * 1000.0) / 5000.0)},
                                     {5, f32_bits(1.0)},
                                     {9, f32_bits(g)},
                                     {10, f32_bits(1.0 - g)},
                                     {11, test_blocks::u32le(0x3307D1A3u)},
                                     {12, f32_bits(1.0)},
                                     {16, test_blocks::u32le(0x3F0B162Bu)}}));

    // ReaComp: threshold -20 dB, ratio 4, attack 10 ms, release 80 ms, gain 3 dB.
    const VstBytes comp = vst_bytes(p, "\"Dyn3 Compressor/Limiter (ReaComp)\"");
    EXPECT_EQ(comp.header,
              base64_decode("bWNlcu9e7f4EAAAAAQAAAAAAAAACAAAAAAAAAAQAAAAAAAAACAAAAAAAAAACAAAAAQAAAA"
                            "AAAAACAAAAAAAAAFwAAAAAAAAAAAAQAA=="));
    EXPECT_EQ(comp.state, dyn_state({{0, f32_bits(std::pow(10.0, (-20.0 + 0.337) / 20.0))},
                                     {1, f32_bits((4.0 - 1.0) / 99.0)},
                                     {2, f32_bits(stored(0.010) * 1000.0 * 0.584 / 500.0)},
                                     {3, f32_bits(stored(0.080) * 1000.0 * 0.4134 / 5000.0)},
                                     {6, f32_bits(1.0)},
                                     {10, test_blocks::u32le(0x3307D1A3u)},
                                     {11, f32_bits(std::pow(10.0, 3.0 / 20.0))},
                                     {17, f32_bits(0.25)}}));

    const std::string& c = run.console;
    EXPECT_TRUE(has(c,
                    "  6 Avid plug-in(s) arrive as REAPER's own equivalents, in the same\n"
                    "      slot (EQ exact in design, dynamics close, not identical): Dyn3\n"
                    "        Compressor/Limiter 1, Dyn3 Expander/Gate 3, EQ3 1-Band 2\n"))
        << c;
    // The 5 kHz bell misses by 0.45 dB and is fitted; the 1 kHz one is not.
    EXPECT_TRUE(
        has(c, "      EQ3: 1 band(s) fitted onto ReaEQ to follow Pro Tools' own curve to\n"))
        << c;
    // The 1:10 gate's note, not the 1:100 one's; the expander's depth.
    EXPECT_TRUE(has(c,
                    "      expander at 1:10 or more written as a gate, with Pro Tools' depth as "
                    "its\n        floor (1 plug-in(s))\n"));
    EXPECT_TRUE(has(c,
                    "      expander depth (its floor) not carried: REAPER's Downward Expander "
                    "has\n        none (1 plug-in(s))\n"));
}

TEST(StockStandInProgram, StripWithoutItsCompressorRatioIsAPlaceholder) {
    const std::string strip = stock_slot(
        "AVIDChSt",
        named_values({{"EQ Low Gain", 6.0}, {"Filter 2 Type", 0.0}, {"Sc Source", 0.0}}));
    const Conversion run = convert(active(strip));
    EXPECT_FALSE(has(run.project, "Channel Strip EQ (ReaEQ)"));
    EXPECT_TRUE(has(run.project,
                    "      PRESETNAME \"** Pro Tools only - no VST exists - replace me here\"\n"))
        << run.project;
    EXPECT_FALSE(has(run.console, "REAPER's own equivalents"));
}

// Kick keys the compressor on Comp. Converted in this process (HOME and APPDATA at temporary
// folders) so the chain's rows can be read as well as the project.
TEST(StockStandInProgram, KeyedStandInTakesTheKeyInput) {
    using namespace walk_blocks;
    using namespace mixer_blocks;
    using namespace test_blocks;
    const std::string lists = mono_lists(list_block(0), list_block(0), list_block(0));
    const std::string keyed_comp = stock_slot(
        "Digidn3c", control_values({0, 4, 0.010, 0.080, 3, -20, 0, 20000, 1, 0, 20, 1, 0, 1}));
    const std::string walk =
        region_list({audio_region("Kick", 0, 96000, 0, 0), audio_region("Comp", 0, 96000, 0, 0)}) +
        track_list({track_entry("Kick", {0}), track_entry("Comp", {1})}) +
        placement_tracks({placement_track("Kick", {audio_playlist({placement(0, 0)})}),
                          placement_track("Comp", {audio_playlist({placement(1, 0)})})});
    const std::string plain =
        session_header() + lead_block() + version_block(12) + z_block(0x7777, zeros(5000)) +
        rate_block(48000) + audio_files_block(1, {{"Kick.wav", "EVAW"}}, {480000}) + walk +
        channel_entry_block(2, "Kick", {0, 1}, 1, 2) +
        track_block(0x261b, "Kick",
                    channel_tag_text("Kick", 1, 2, 2) +
                        lane_block(fader_block(0), output_block(2, "Out 1-2") + lists)) +
        track_block(0x261b, "Comp",
                    lane_block(fader_block(0), output_block(2, "Out 1-2") + lists) +
                        active(keyed_comp) + output_block(5, "Kick"));
    std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
    ASSERT_TRUE(ptf_xor_crypt(bytes));

    TempDir root;
    for (const char* name : {"home", "appdata"}) fs::create_directory(root.path() / name);
    const std::string session = root.file("Keyed.ptx");
    write_file(session, std::string(bytes.begin(), bytes.end()));
    const auto saved_env = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> home = saved_env("HOME"), appdata = saved_env("APPDATA");
    setenv("HOME", root.file("home").c_str(), 1);
    setenv("APPDATA", root.file("appdata").c_str(), 1);
    NullSink sink;
    PtxSink* const saved_sink = output_state.current_sink;
    output_state.current_sink = &sink;
    ConvertOptions options;
    options.input_path = session;
    options.output_path = root.file("Keyed.rpp");
    options.overwrite = 1;
    ConversionResult result;
    const int code = convert_session(options, &result, nullptr);
    const std::vector<FxReportRow> rows = fx_chain_state.rows;
    output_state.current_sink = saved_sink;
    reset_conversion_state(ConvertOptions{});
    for (const auto& [name, value] : {std::pair{"HOME", home}, std::pair{"APPDATA", appdata}})
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    ASSERT_EQ(code, 0) << result.console_text;

    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].track, "Comp");
    EXPECT_EQ(rows[0].text,
              "stand-in: REAPER's own plug-ins with the same settings, keyed from the key input");
    const std::string project = read_file(options.output_path);
    const std::string comp = project.substr(project.find("    NAME \"Comp\"\n"));
    EXPECT_TRUE(has(comp, "    NCHAN 4\n")) << comp;
    // The first key source: the key on channels 3/4, REAPER's own header; word 8 detects on it;
    // PINFLAGS right after the chain's last block.
    const VstBytes keyed = vst_bytes(comp, "\"Dyn3 Compressor/Limiter (ReaComp)\"");
    EXPECT_EQ(keyed.header,
              base64_decode("bWNlcu9e7f4EAAAAAQAAAAAAAAACAAAAAAAAAAQAAAAAAAAACAAAAAAAAAACAAAAAQAAAA"
                            "AAAAACAAAAAAAAAFwAAAAAAAAAAAAQAA=="));
    ASSERT_EQ(keyed.state.size(), 92u);
    EXPECT_EQ(u32_at(keyed.state, 8 + 4 * 8), 0x3AF1D48Cu);
    EXPECT_TRUE(has(comp, "      >\n      PINFLAGS 1\n      PRESETNAME \"Dyn3 Compressor/Limiter"))
        << comp;
    EXPECT_TRUE(has(comp, "      FLOATPOS 0 0 0 0\n" + fxid_line(plain, "Digidn3c", 0) +
                              "      WAK 0 0\n    >\n"))
        << comp;
    EXPECT_FALSE(has(result.console_text, "External Key on with no key input"));
}

// The report counts the stand-ins and the filters, or the plug-ins withheld, as the console does.
TEST(StockStandInProgram, ReportCountsStandInsAsTheConsoleDoes) {
    const Conversion run = convert(active(eq3_slot()) + active(dyn3_slot()), {"--report"});
    EXPECT_TRUE(has(run.console, "  2 Avid plug-in(s) arrive as REAPER's own equivalents"))
        << run.console;
    EXPECT_TRUE(has(run.report,
                    "2 Avid plug-in(s) written as REAPER's own equivalents (stand-ins;\n"
                    "EQ exact in design, dynamics close, not identical)\n"
                    "1 EQ3 high-pass or low-pass filter(s) set to 6 or 18 dB/oct use\n"))
        << run.report;

    const Conversion withheld =
        convert(active(eq3_slot()) + active(dyn3_slot()), {"--report", "--no-stand-ins"});
    EXPECT_TRUE(has(withheld.console, "  --no-stand-ins: 2 Avid plug-in(s) left in their slot"))
        << withheld.console;
    EXPECT_TRUE(has(withheld.report,
                    "\"Replace Avid plug-ins with REAPER's\" is off: 2 Avid plug-in(s) left\n"))
        << withheld.report;
    EXPECT_FALSE(has(withheld.report, "stand-ins;"));
}

}  // namespace
