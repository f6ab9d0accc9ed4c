// ReaSurroundPan from a Pro Tools surround panner: the state bytes, where an input lands, the
// envelopes of a mono input's lanes, a stereo input, and states that cannot be written.
#include "effects/reasurroundpan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "convert/writer/writer_summary.h"
#include "effects/fx_blocks.h"
#include "tests/writer_test_support.h"
#include "util/bytes.h"
#include "util/codecs.h"
#include "util/guid.h"

namespace {

// The block's base64 lines (eight blanks in), decoded: the header line, then the body.
struct Decoded {
    std::string header, body;
};
Decoded decode(const std::string& block) {
    std::istringstream lines(block);
    std::string line, body_text;
    Decoded d;
    bool first = true;
    while (std::getline(lines, line)) {
        if (line.rfind("        ", 0) != 0 || line.size() < 9 || line[8] == ' ') continue;
        if (line.find("PT ") != std::string::npos || line.find(' ', 8) != std::string::npos)
            continue;
        if (first) {
            d.header = base64_decode(line.substr(8));
            first = false;
        } else if (line.substr(8) != "AAAQAAAA") {
            body_text += line.substr(8);
        }
    }
    d.body = base64_decode(body_text);
    return d;
}

std::uint32_t u32(const std::string& b, std::size_t at) {
    return read_u32le_checked(b, at);
}
double f64(const std::string& b, std::size_t at) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(b.at(at + i));
    return std::bit_cast<double>(bits);
}

SurroundPanState five_one() {
    SurroundPanState s;
    s.output_channels = 6;
    s.speakers = {"L", "C", "R", "Ls", "Rs", "LFE"};
    // Hard front left: front X -100, rear X 100, front/rear +100, no divergence, centre 50.
    s.input_1 = {-100, 100, 100, 0, 0, 100, 50};
    return s;
}

AutomationCurve lane(std::vector<CurvePoint> points) {
    AutomationCurve c;
    c.points = std::move(points);
    return c;
}

class ReaSurroundPan : public writer_test::WriterTest {};

// Body offsets of a mono input into six outputs: the input at 56, the speakers from 125.
constexpr std::size_t kInput = 56;
constexpr std::size_t kSpeakers = 125;

TEST_F(ReaSurroundPan, MonoPannerIntoFiveOne) {
    const std::string block = write_reasurroundpan(five_one(), 0x53555200u);
    EXPECT_EQ(reasurroundpan_state.mono_blocks, 1);
    EXPECT_EQ(block.rfind("      BYPASS 0 0 0\n      <VST \"VST: ReaSurroundPan (Cockos)\" " +
                              reaper_plugin_file("reasurround2") +
                              " 0 \"\" 1920168498<56535472737232726561737572726F75> \"\"\n",
                          0),
              0u)
        << block;
    EXPECT_NE(block.find("      FXID " + guid_from_seed(0x53555200u) + "\n      WAK 0 0\n"),
              std::string::npos);
    const Decoded d = decode(block);
    const std::string& h = d.header;
    EXPECT_EQ(u32(h, 0), 0x72737232u);
    EXPECT_EQ(u32(h, 4), 0xFEED5EEEu);
    EXPECT_EQ(u32(h, 8), 2u);
    EXPECT_EQ(u32(h, 12), 1u);
    EXPECT_EQ(u32(h, 20), 2u);
    EXPECT_EQ(u32(h, 28), 6u);
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(u32(h, 32 + 8 * k), 1u << k);
        EXPECT_EQ(u32(h, 36 + 8 * k), 0u);
    }
    EXPECT_EQ(u32(h, 80), d.body.size());
    EXPECT_EQ(u32(h, 84), 1u);
    EXPECT_EQ(u32(h, 88), 0x100000u);

    const std::string& b = d.body;
    EXPECT_EQ(u32(b, 28), 1u);              // inputs
    EXPECT_DOUBLE_EQ(f64(b, 32), 0.5);      // centre
    EXPECT_DOUBLE_EQ(f64(b, 40), 1.0);      // a mono input's second gain
    EXPECT_EQ(u32(b, 52), 6u);              // outputs
    EXPECT_DOUBLE_EQ(f64(b, kInput), 0.0);  // LFE off
    EXPECT_DOUBLE_EQ(f64(b, kInput + 8), -1.0);
    EXPECT_DOUBLE_EQ(f64(b, kInput + 16), 1.0);
    EXPECT_DOUBLE_EQ(f64(b, kInput + 32), 1.0);  // no divergence: full width
    EXPECT_EQ(b.substr(kInput + 56, 9), "channel 1");
    EXPECT_EQ(u32(b, kInput + 65), 0xFFF0F0F0u);
    // Speakers in bus order; the LFE flagged 4.
    std::size_t at = kSpeakers;
    for (const char* name : {"L", "C", "R", "Ls", "Rs", "LFE"}) {
        const double y = std::string(name) == "LFE" ? 0.0 : (name[1] == 's' ? -1.0 : 1.0);
        EXPECT_DOUBLE_EQ(f64(b, at + 16), y) << name;
        EXPECT_EQ(u32(b, at + 40), std::string(name) == "LFE" ? 4u : 0u) << name;
        const std::uint32_t n = u32(b, at + 44);
        EXPECT_EQ(b.substr(at + 48, n), name);
        at += 48 + n;
    }
    EXPECT_DOUBLE_EQ(f64(b, at), -3.0);
    EXPECT_EQ(at + 12, b.size());
    EXPECT_EQ(block.find("PARMENV"), std::string::npos);
}

TEST_F(ReaSurroundPan, LfeGainAndWhereAnInputLands) {
    struct Case {
        std::uint8_t on;
        double db;
        double gain;
    };
    for (const Case& c : {Case{0, 0.0, 0.0}, Case{1, -143.9, 0.0}, Case{1, -6.0, 0.5011872336}}) {
        SurroundPanState s = five_one();
        s.lfe_on = c.on;
        s.lfe_level_db = c.db;
        EXPECT_NEAR(f64(reasurroundpan_body(s), kInput), c.gain, 1e-9) << c.db;
    }
    // f = +100 is the front for x, y and divergence alike.
    const SurroundInputPlace rear = surround_input_place({-100, 40, -100, 0, 60, 100, 0});
    EXPECT_DOUBLE_EQ(rear.x, 0.4);
    EXPECT_DOUBLE_EQ(rear.y, -1.0);
    EXPECT_DOUBLE_EQ(rear.width, 0.4);
    const SurroundInputPlace capped = surround_input_place({0, 0, 0, 80, 80, 30, 0});
    EXPECT_DOUBLE_EQ(capped.width, 0.7);
}

TEST_F(ReaSurroundPan, EnvelopesOfAMonoInput) {
    SurroundPanState s = five_one();
    s.lanes.resize(7);
    s.lanes[0] = lane({{0.0, -100.0}, {48000.0, 0.0}});  // front X, samples at 48 kHz
    const std::string one = write_reasurroundpan(s, 0x53555203u);
    const std::size_t env =
        one.find("      <PARMENV 7:_in_1_X 1 0 0.5 \"in 1 X / ReaSurroundPan\"\n        EGUID " +
                 guid_from_seed((7u + 0x5E000000u) ^ 0x53555203u) + "\n        ACT 1 -1\n");
    ASSERT_NE(env, std::string::npos) << one;
    EXPECT_LT(one.find("      FXID "), env);
    EXPECT_NE(one.find("      >\n      WAK 0 0\n"), std::string::npos);
    // The first value is the body's x (-1) as REAPER's 0..1, the last x = 0; X reads three lanes,
    // so seven points lie between the two times.
    EXPECT_NE(one.find("        DEFSHAPE 0 -1 -1\n        PT 0.0000000000 0.000000000 0\n"
                       "        PT 0.1250000000 0.062500000 0\n"),
              std::string::npos)
        << one;
    EXPECT_NE(one.find("        PT 1.0000000000 0.500000000 0\n      >\n"), std::string::npos);
    EXPECT_EQ(one.find("PARMENV 8:"), std::string::npos);
    writer_test::expect_parses("<REAPER_PROJECT\n  <TRACK\n    <FXCHAIN\n" + one +
                               "    >\n  >\n>\n");
    EXPECT_EQ(reasurroundpan_state.envelopes, 1);
    EXPECT_EQ(reasurroundpan_state.points, 9);

    // Two lanes of one parameter: seven points between neighbouring times; the front/rear lane
    // also moves Y and the divergence.
    s.lanes[2] = lane({{24000.0, 100.0}});
    const std::string two = write_reasurroundpan(s, 0);
    const std::size_t x = two.find("PARMENV 7:");
    const std::size_t y = two.find("PARMENV 8:");
    const std::size_t div = two.find("PARMENV 11:");
    ASSERT_NE(y, std::string::npos);
    ASSERT_NE(div, std::string::npos);
    std::size_t points = 0;
    for (std::size_t at = two.find("PT ", x); at < y; at = two.find("PT ", at + 1)) ++points;
    EXPECT_EQ(points, 3u + 2u * 7u);
    EXPECT_NE(two.find("        PT 0.0625000000 0.031250000 0\n"), std::string::npos) << two;
    EXPECT_NE(reasurroundpan_paragraph().find("envelope(s) written on ReaSurroundPan"),
              std::string::npos);
}

TEST_F(ReaSurroundPan, AStereoPannerHasTwoInputsAndNoEnvelopes) {
    SurroundPanState s = five_one();
    s.stereo_input = 1;
    s.second_input_gain = 0.5;
    s.input_2 = {100, 100, 100, 0, 0, 100, 50};
    s.lanes.resize(7);
    s.lanes[0] = lane({{0.0, -100.0}, {48000.0, 0.0}});
    s.lfe_curve = lane({{0.0, -60.0}});
    // The right input's lanes count with the left's: its rear X and divergence cap move.
    s.lanes_2.resize(7);
    s.lanes_2[1] = lane({{0.0, 100.0}, {96000.0, 0.0}});
    s.lanes_2[5] = lane({{0.0, 50.0}});
    const std::string block = write_reasurroundpan(s, 0);
    const std::string b = decode(block).body;
    EXPECT_EQ(u32(b, 28), 2u);
    EXPECT_DOUBLE_EQ(f64(b, 40), 0.5);
    const std::size_t right = kInput + 69;
    EXPECT_DOUBLE_EQ(f64(b, right), 1.0);
    EXPECT_DOUBLE_EQ(f64(b, right + 16), 1.0);  // x: hard right
    EXPECT_EQ(u32(b, right + 56), 8u);
    EXPECT_EQ(b.substr(right + 64, 9), "channel 2");
    EXPECT_EQ(u32(b, right + 73), 0xFFFF2020u);
    EXPECT_EQ(block.find("PARMENV"), std::string::npos);
    EXPECT_EQ(writer_summary.surround_pan_lanes_not_carried, 4);
    EXPECT_EQ(reasurroundpan_state.stereo_blocks, 1);
    EXPECT_EQ(reasurroundpan_state.mono_blocks, 0);
}

TEST_F(ReaSurroundPan, StatesItCannotHoldWriteNoBlock) {
    SurroundPanState wide;
    wide.output_channels = 65;
    wide.speakers.assign(65, "L");
    SurroundPanState short_list = five_one();
    short_list.speakers.pop_back();
    EXPECT_EQ(write_reasurroundpan(wide, 0), "");
    EXPECT_EQ(write_reasurroundpan(short_list, 0), "");
    EXPECT_EQ(reasurroundpan_state.refused, 2);
    EXPECT_EQ(reasurroundpan_state.blocks, 0);
    EXPECT_NE(reasurroundpan_paragraph().find("2 surround panner(s) not written"),
              std::string::npos);
}

}  // namespace
