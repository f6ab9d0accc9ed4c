// REAPER effect blocks built as text, checked against what REAPER itself saves.
#include "effects/fx_blocks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "effects/fx_chain.h"
#include "util/codecs.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// The input pin masks (low words) of a ReaGate or ReaComp header.
std::vector<std::uint32_t> input_masks(const std::string& block) {
    const std::string header = base64_decode(lines_of(block)[2]);
    std::vector<std::uint32_t> masks;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t m = 0;
        for (int b = 0; b < 4; ++b)
            m |= static_cast<std::uint32_t>(static_cast<unsigned char>(header[12 + 8 * i + b]))
                 << (8 * b);
        masks.push_back(m);
    }
    return masks;
}

TEST(FxBlocks, ReaEqWithoutBandsIsWhatReaperSaves) {
    reset_fx_block_state();
    EXPECT_EQ(reaeq_state({}, 0.0).size(), 40u);
    EXPECT_EQ(reaeq_state({ReaEqStateBand{}}, 0.0).size(), 73u);
    const std::string block = build_reaeq_block({}, 0, 7, "", "", 0.0);
    const std::vector<std::string> lines = lines_of(block);
    ASSERT_EQ(lines.size(), 9u) << block;
    EXPECT_EQ(lines[0], "        BYPASS 0 0 0");
    // The file as REAPER names it on this platform.
    EXPECT_EQ(lines[1], "        <VST \"VST: ReaEQ (Cockos)\" " + reaper_plugin_file("reaeq") +
                            " 0 \"\" 1919247729<56535472656571726561657100000000> \"\"");
#if defined(__linux__)
    EXPECT_EQ(reaper_plugin_file("reaeq"), "reaeq.vst.so");
#endif
    EXPECT_EQ(lines[2],
              "          "
              "cWVlcu5e7f4CAAAAAQAAAAAAAAACAAAAAAAAAAIAAAABAAAAAAAAAAIAAAAAAAAAKAAAAAEAAAAAABAA");
    // It ends as every ReaEQ state REAPER saves: a zero word, the editor's size, the word 2.
    EXPECT_EQ(lines[3], "          IQAAAAAAAAABAAAAAQAAAAAAAAAAAPA/AAAAAAAAAAAAAAAAAgAAAA==");
    EXPECT_EQ(lines[4], "          AAAQAAAA");
    EXPECT_EQ(lines[5], "        >");
    EXPECT_EQ(lines[6], "        FLOATPOS 0 0 0 0");
    EXPECT_EQ(lines[8], "        WAK 0 0");
}

TEST(FxBlocks, EmptyStateAndLongStateLines) {
    fx_indent = "      ";
    // A header that ends with REAPER's tail word 0x00100000: the trailer ends with 16.
    std::string block =
        build_vst_block("VST: A \"B\" (C)", "a b.dll", "1<00>", std::string("\0\0\x10\0", 4), "", 1,
                        1, "Cu\tstom", "Preset");
    std::vector<std::string> lines = lines_of(block);
    EXPECT_EQ(lines[0], "      BYPASS 1 0 0");
    // A quote in the type text picks another quote; a blank in the file quotes it; a tab blanks.
    EXPECT_EQ(lines[1], "      <VST 'VST: A \"B\" (C)' \"a b.dll\" 0 \"Cu stom\" 1<00> \"\"");
    EXPECT_EQ(lines[2], "        AAAQAA==");
    EXPECT_EQ(lines[3], "        AAAQAAAA");
    EXPECT_EQ(lines[5], "      PRESETNAME \"Preset\"");
    EXPECT_EQ(lines[6], "      FLOATPOS 0 0 0 0");
    // A tail word of 0 goes with a trailer ending 0.
    lines =
        lines_of(build_vst_block("VST: A", "a.dll", "1", std::string(4, '\0'), "", 0, 1, "", ""));
    EXPECT_EQ(lines[3], "        AAAAAAAA");

    // 300 state bytes: 400 characters in slices of 128, each decoding alone; a 150-byte header
    // (200 characters) in slices of 128 too, as REAPER wraps it.
    block = build_vst_block("VST: A", "a.dll", "1", std::string(150, 'h'), std::string(300, 'x'), 0,
                            1, "", "");
    lines = lines_of(block);
    EXPECT_EQ(lines[2].size(), 8u + 128u);
    EXPECT_EQ(base64_decode(lines[2].substr(8)) + base64_decode(lines[3].substr(8)),
              std::string(150, 'h'));
    std::string state;
    for (int i = 4; i <= 7; ++i) {
        const std::string slice = lines[static_cast<std::size_t>(i)].substr(8);
        EXPECT_EQ(slice.size() % 4, 0u);
        EXPECT_LE(slice.size(), 128u);
        state += base64_decode(slice);
    }
    EXPECT_EQ(state, std::string(300, 'x'));
    reset_fx_block_state();
}

TEST(FxBlocks, VolumeJsSlots) {
    struct Case {
        double gain;
        const char* first;
    };
    for (const Case& c :
         {Case{0.0, "0.000000 150"}, Case{6.0, "5.979471 150"}, Case{-3.5, "-3.488024 150"}}) {
        const std::vector<std::string> lines =
            lines_of(build_volume_trim_js(c.gain, 0, 1, "Trim (Volume Adjustment)", ""));
        std::string expected = std::string("          ") + c.first;
        for (int i = 0; i < 62; ++i) expected += " -";
        EXPECT_EQ(lines[1], "        <JS utility/volume \"Trim (Volume Adjustment)\"");
        EXPECT_EQ(lines[2], expected) << c.gain;
    }
}

TEST(FxBlocks, GateAndCompKeyPins) {
    const std::uint32_t words[21] = {};
    fx_current_key_offset = 0;
    const std::string comp = build_reagate_or_reacomp_block(false, words, 0, 1, "", "");
    EXPECT_EQ(input_masks(comp), (std::vector<std::uint32_t>{1, 2, 4, 8}));
    EXPECT_EQ(
        lines_of(comp)[2],
        "          bWNlcu9e7f4EAAAAAQAAAAAAAAACAAAAAAAAAAQAAAAAAAAACAAAAAAAAAACAAAAAQAAAAAAAAAC"
        "AAAAAAAAAFwAAAAAAAAAAAAQAA==");
    fx_current_key_offset = 1;
    const std::string gate = build_reagate_or_reacomp_block(true, words, 0, 1, "", "");
    EXPECT_EQ(input_masks(gate), (std::vector<std::uint32_t>{1, 2, 16, 32}));
    EXPECT_NE(gate.find("<VST \"VST: ReaGate (Cockos)\" " + reaper_plugin_file("reagate")),
              std::string::npos);
    fx_current_key_offset = 40;  // past the mask's width: the key pins get no channel
    EXPECT_EQ(input_masks(build_reagate_or_reacomp_block(true, words, 0, 1, "", "")),
              (std::vector<std::uint32_t>{1, 2, 0, 0}));
    reset_fx_block_state();
}

TEST(FxBlocks, StockNamesAndStandinSettings) {
    struct Case {
        const char* id;
        const char* name;  // null: none
    };
    for (const Case& c :
         {Case{"Digi47e3", "EQ3 7-Band"}, Case{"Digi1be3", "EQ3 1-Band"},
          Case{"Digidn3c", "Dyn3 Compressor/Limiter"}, Case{"Digidn3e", "Dyn3 Expander/Gate"},
          Case{"AVIDChStXY", "Channel Strip"}, Case{"Digi47e", nullptr}, Case{"", nullptr},
          Case{"DigiTrim", nullptr}}) {
        SessionPluginInstance instance;
        instance.aax_id = c.id;
        const auto name = stock_plugin_name(instance);
        EXPECT_EQ(name.has_value(), c.name != nullptr) << c.id;
        if (name && c.name) {
            EXPECT_EQ(*name, c.name);
        }
    }
    SessionPluginInstance eq;
    eq.aax_id = "Digi1be3";
    eq.payload_kind = 5;
    eq.values.assign(8, 0.5f);
    EXPECT_TRUE(standin_chunk_ok(eq, {}));
    eq.values.pop_back();
    EXPECT_FALSE(standin_chunk_ok(eq, {}));
    SessionPluginInstance strip;
    strip.aax_id = "AVIDChSt";
    EXPECT_FALSE(standin_chunk_ok(strip, {}));  // no settings document
}

TEST(FxBlocks, Names) {
    EXPECT_EQ(one_pole_filter_name("EQ3 HPF", true, 3),
              "EQ3 HPF high-pass 6 of 18 dB/oct (Simple 1-Pole Filter)");
    EXPECT_EQ(one_pole_filter_name("EQ3 LPF", false, 1),
              "EQ3 LPF low-pass 6 dB/oct (Simple 1-Pole Filter)");
}

TEST(FxChainPieces, FormatAndMaker) {
    struct Case {
        const char* type;
        const char* format;
        const char* maker;
    };
    for (const Case& c :
         {Case{"VST3: Foo (Maker) (2 out)", "vst3", "Maker"},
          Case{"VST: Foo (Maker) (8ch)", "vst2", "Maker"},
          Case{"CLAP: Foo (Maker)", "clap", "Maker"}, Case{"JS: utility/volume", "reaper", ""},
          Case{"VST3: Foo (Maker) x", "vst3", ""}, Case{"VSTi: Foo ()", "vst2", ""},
          Case{"Other", "none", ""}, Case{"VST: (2 out)", "vst2", ""}}) {
        std::string format, maker;
        fx_format_and_maker(c.type, format, maker);
        EXPECT_EQ(format, c.format) << c.type;
        EXPECT_EQ(maker, c.maker) << c.type;
    }
}

TEST(FxChainPieces, PlaceholderIds) {
    std::uint32_t vst2 = 0;
    EXPECT_EQ(placeholder_id_text("AcmeQzzy", vst2),
              "3824200341{41636D65517A7A792F5E1A49A3C89101}");
    // A short or empty id: the hex it has, the rest from the FNV basis; always 32 digits, odd id.
    for (const char* id : {"", "Ab", "A\"b c"}) {
        const std::string text = placeholder_id_text(id, vst2);
        EXPECT_EQ(vst2 % 2, 1u);
        const std::size_t open = text.find('{');
        ASSERT_NE(open, std::string::npos);
        EXPECT_EQ(text.size() - open, 34u) << text;
        EXPECT_EQ(text.back(), '}');
    }
    placeholder_id_text("", vst2);
    EXPECT_EQ(vst2, 0x811c9dc5u);
}

}  // namespace
