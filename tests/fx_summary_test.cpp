// The console summary's effect-chain paragraphs: the Trims, one-sided polarity, --no-stand-ins
// and the close of the plug-in block, each printed only when its count asks for it.
#include "effects/fx_summary.h"

#include <gtest/gtest.h>

#include <string>

#include "app/convert_options.h"
#include "convert/run_state.h"
#include "convert/writer/writer_summary.h"
#include "effects/fx_chain.h"

namespace {

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class FxSummary : public ::testing::Test {
  protected:
    void SetUp() override { reset_conversion_state(ConvertOptions{}); }
    void TearDown() override { reset_conversion_state(ConvertOptions{}); }
};

TEST_F(FxSummary, TrimParagraphLinesFollowTheirCounts) {
    EXPECT_EQ(fx_trim_paragraph(), "");
    set_fx_trim_counts(3, 1, 0);
    fx_chain_state.trim_js = 2;
    const std::string text = fx_trim_paragraph();
    EXPECT_TRUE(
        has(text, "  3 Avid Trim instance(s). Trim is AAX only and cannot load in REAPER,\n"))
        << text;
    EXPECT_TRUE(has(text, "      1 unlinked Trim(s) have a different gain per channel; the\n"));
    EXPECT_TRUE(
        has(text, "      2 of them sit in their slot as REAPER's Volume Adjustment with\n"));
    EXPECT_FALSE(has(text, "wider than stereo"));
    EXPECT_FALSE(has(text, "below -12 dB"));
}

TEST_F(FxSummary, NoStandInsAndOneSidedPolarity) {
    // Without the option nothing; with it, also for a count of 0 when a track flips one side.
    fx_chain_state.standins_withheld = 2;
    EXPECT_EQ(fx_no_standins_paragraph(), "");
    settings.no_stand_ins = 1;
    EXPECT_TRUE(has(fx_no_standins_paragraph(),
                    "  --no-stand-ins: 2 Avid plug-in(s) left in their slot under their Pro\n"));
    fx_chain_state.standins_withheld = 0;
    EXPECT_EQ(fx_no_standins_paragraph(), "");
    writer_state.one_sided_polarity["Gtr"] = 1;
    EXPECT_TRUE(has(fx_no_standins_paragraph(), "  --no-stand-ins: 0 Avid plug-in(s)"));

    EXPECT_EQ(fx_one_sided_polarity_paragraph(), "");
    fx_chain_state.polarity_js = 1;
    EXPECT_TRUE(
        has(fx_one_sided_polarity_paragraph(),
            "  1 track(s) have Avid Trim polarity on ONE channel only (an unlinked\n"
            "      multi-mono Trim): REAPER's track polarity flips both, so the track is\n"));
}

TEST_F(FxSummary, PluginBlockClosesWithWhatReaperNeeds) {
    EXPECT_EQ(fx_plugin_paragraph(0), "");
    const std::string text = fx_plugin_paragraph(1);
    const std::size_t close = text.find("    WHAT REAPER NEEDS INSTALLED, AND WHAT IT DOES NOT:\n");
    ASSERT_NE(close, std::string::npos) << text;
    EXPECT_TRUE(has(text.substr(close), "Nothing of Pro Tools needs to be installed"));
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
