// The conversion report's pieces and the usage summary's body, on synthetic rows.
#include "convert/summary/report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/summary/usage_summary.h"
#include "json_check.h"
#include "util/names.h"

namespace {

FxReportRow fx_row(const std::string& track, std::uint32_t slot, const std::string& name,
                   std::uint32_t outcome, const std::string& text = "") {
    FxReportRow row;
    row.track = track;
    row.slot = slot;
    row.name = name;
    row.outcome = outcome;
    row.text = text;
    row.format = "vst3";
    row.maker = "FabFilter";
    return row;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Report, PathDropsOnlyAnExtensionAfterTheLastSeparator) {
    const struct {
        const char* output;
        const char* report;
    } cases[] = {
        {"song.rpp", "song-vantrel-report.txt"},
        {"dir.v2/song", "dir.v2/song-vantrel-report.txt"},
        {"dir.v2\\song", "dir.v2\\song-vantrel-report.txt"},
        {"OUT/t (1).rpp", "OUT/t (1)-vantrel-report.txt"},
        {"a.b.rpp", "a.b-vantrel-report.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(report_path_for(c.output), c.report) << c.output;
}

TEST(Report, CutsEndOnWholeUtf8Characters) {
    const struct {
        const char* text;
        std::size_t bytes;
        const char* cut;
    } cases[] = {
        {"abcdef", 4, "abcd"},
        {"abc", 4, "abc"},
        {"ab\xC3\xA9z", 3, "ab"},          // é would be split: dropped whole
        {"ab\xC3\xA9z", 4, "ab\xC3\xA9"},  // é fits
        {"a\xE2\x82\xAC", 3, "a"},         // € split after two of its three bytes
        {"\xF0\x9F\x8E\xB9x", 2, ""},      // nothing whole fits
    };
    for (const auto& c : cases) EXPECT_EQ(utf8_prefix(c.text, c.bytes), c.cut) << c.text;
}

TEST(Report, PluginTableShowsEveryFormOfASlot) {
    std::vector<FxReportRow> rows = {
        fx_row("Vox", 1, "Pro-Q 3", 0),
        fx_row("Vox", 2, "A Plug-in Name Far Longer Than 26 Bytes", 1, "no state stored"),
        fx_row("Vox", 3, "Pultec", 2, "AAX only"),
        fx_row("Bass", 1, "Pro-Q 3", 0),
        fx_row("Bass", 2, "Missing One", 1),
        fx_row("Bass", 3, "Left Out", 6, "not installed"),
        fx_row("Vox", 4, "Line\nBreak", 3, "not recognized"),
    };
    rows[0].automation_points = 12;
    rows[4].missing = 1;
    rows[5].missing = 1;
    ReportPlugins plugins;
    plugins.rows = rows;
    const std::string t = fx_report_table(plugins);
    EXPECT_TRUE(has(t,
                    "  7 instance(s): 2 arrived with Pro Tools settings, 2 inserted at\n"
                    "  the plug-in's own defaults, 3 could not be inserted.\n"
                    "  1 is marked (not installed): its settings WERE written, and it\n"
                    "  loads as soon as that plug-in is installed for REAPER.\n"
                    "  1 is not installed for REAPER here and was left out, as asked.\n"));
    // One track name over its consecutive rows; a new name when the track changes, even back.
    EXPECT_TRUE(has(t,
                    "  Vox\n"
                    "     1 [settings] Pro-Q 3                     12 automation point(s)\n"
                    "     2 [defaults] A Plug-in Name Far Longer   - no state stored\n"
                    "     3 [dropped ] Pultec                      - AAX only\n"
                    "  Bass\n"
                    "     1 [settings] Pro-Q 3                   \n"
                    "     2 [defaults] Missing One                 (not installed for REAPER "
                    "here)\n"
                    "     3 [dropped ] Left Out                    - not installed\n"
                    "  Vox\n"
                    "     4 [dropped ] Line Break                  - not recognized\n"));
    EXPECT_TRUE(fx_report_table(ReportPlugins{}).empty());
}

TEST(Report, PluralFormsOfTheMissingLines) {
    std::vector<FxReportRow> rows = {fx_row("T", 1, "A", 0), fx_row("T", 2, "B", 1),
                                     fx_row("T", 3, "C", 6), fx_row("T", 4, "D", 6)};
    rows[0].missing = rows[1].missing = rows[2].missing = 1;
    ReportPlugins plugins;
    plugins.rows = rows;
    const std::string t = fx_report_table(plugins);
    EXPECT_TRUE(has(t, "  2 are marked (not installed): the settings WERE written, and\n"));
    EXPECT_TRUE(has(t, "  2 are not installed for REAPER here and were left out, as asked.\n"));
}

ReportInput small_input() {
    ReportInput in;
    in.session_path = "S.ptx";
    in.written_path = "OUT/t.rpp";
    in.library_major = 12;
    in.header_major = 12;
    in.sample_rate = 48000;
    in.tracks = 2;
    in.instrument_tracks = 1;
    in.clips = 3;
    in.notes = 4;
    in.track_rows = {{"Audio\t1", 3, 0, 1}, {"Empty", 0, 0, 0}};
    return in;
}

TEST(Report, TrackListAndNothingToLookAt) {
    const ReportInput in = small_input();
    const ReportText r = build_report(in);
    EXPECT_TRUE(has(r.text,
                    "2 tracks (1 audio/aux, 1 instrument), 3 clips, 4 MIDI notes\n"
                    "\nTRACK LIST (Pro Tools edit-window order)\n"
                    "  #   name                               clips notes  fx\n"
                    "  1   Audio 1                                3     0   1\n"
                    "  2   Empty                                  0     0   0   (empty)\n"));
    EXPECT_TRUE(has(r.text, "session  Pro Tools 12, 48000 Hz, 120 BPM\n"));
    EXPECT_FALSE(has(r.text, "start    "));
    EXPECT_FALSE(has(r.text, "EVERY PLUG-IN"));
    EXPECT_TRUE(has(r.text, "  0 instance(s) found, 0 written with their settings\n\nNEEDS"));
    EXPECT_TRUE(has(r.text,
                    "\nNEEDS A LOOK\n  nothing - everything in this session was carried "
                    "across\n"));
    EXPECT_EQ(report_summary_line(in, r),
              "summary tracks=2 clips=3 notes=4 fx=0 written=0 needs_look=0");
    EXPECT_TRUE(r.text.ends_with("  to any third party.\n"));
}

TEST(Report, SectionsThatNeedALookAreCountedInOrder) {
    ReportInput in = small_input();
    in.check = true;
    in.problem_kind = "damaged";
    in.problem_detail = "a block ran past its end";
    std::vector<FxReportRow> rows = {fx_row("T", 1, "Pro-Q 3", 0), fx_row("T", 2, "Verb", 2)};
    in.plugins.rows = rows;
    in.plugins.counts = {{"Pro-Q 3", 1}, {"Verb", 1}};
    in.plugins.aax_only = {{"Verb", 1}};
    in.plugins.aax_processes_audio = {{"Verb", 1}};
    in.bad_fades = 2;
    in.missing_media = {"a.wav", "b.wav"};
    const ReportText r = build_report(in);
    EXPECT_TRUE(has(r.text, "problem     damaged: a block ran past its end\n"));
    EXPECT_TRUE(has(r.text, "output   (not written: this was a check)\n"));
    const std::size_t aax = r.text.find("  AAX ONLY");
    const std::size_t fades = r.text.find("  2 fade record(s) not understood\n");
    const std::size_t media = r.text.find(
        "  2 referenced audio file(s) not in \"Audio Files\" or beside it:\n    a.wav\n    "
        "b.wav\n");
    ASSERT_NE(aax, std::string::npos);
    EXPECT_LT(aax, fades);
    EXPECT_LT(fades, media);
    EXPECT_TRUE(has(r.text,
                    "    1 of these processed audio, so that much of the mix\n"
                    "    is not carried.\n"));
    EXPECT_TRUE(has(r.text, "  WHAT REAPER NEEDS INSTALLED"));
    EXPECT_TRUE(has(r.text, "    This run could not check which of them you have: REAPER's\n"));
    EXPECT_FALSE(has(r.text, "  nothing - "));
    EXPECT_EQ(report_summary_line(in, r),
              "summary tracks=2 clips=3 notes=4 fx=2 written=1 needs_look=3 problem=1");
}

TEST(Report, PrivacyHasTwoFormsAndTheSameLastParagraph) {
    ReportInput in = small_input();
    const std::string quiet = build_report(in).text;
    in.usage_shared = true;
    const std::string shared = build_report(in).text;
    EXPECT_TRUE(has(quiet, "  This conversion sent nothing from this computer"));
    EXPECT_TRUE(has(shared, "  The converter that wrote this report has no network code. It\n"));
    const std::size_t cut = quiet.find("\nPRIVACY\n");
    EXPECT_EQ(quiet.substr(0, cut), shared.substr(0, shared.find("\nPRIVACY\n")));
    EXPECT_TRUE(shared.ends_with(quiet.substr(quiet.find("  This report is your property."))));
}

TEST(UsageSummary, NamesAreSanitisedAndCut) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"Pro-Q 3 (FabFilter)", "Pro-Q 3 (FabFilter)"},
        {"   ", "(unnamed)"},
        {"", "(unnamed)"},
        {"  Caf\xC3\xA9 \"Verb\"/2  ", "Caf -Verb--2"},
        {"a\nb\x1F"
         "c",
         "a-b-c"},
        {std::string(70, 'x'), std::string(64, 'x')},
    };
    for (const auto& c : cases) EXPECT_EQ(sanitize_usage_name(c.in), c.out) << c.in;
}

TEST(UsageSummary, PluginEntriesCountByProductMakerResultAndFormat) {
    std::vector<FxReportRow> rows = {fx_row("A", 1, "Pro-Q 3", 0), fx_row("B", 1, "Pro-Q 3", 0),
                                     fx_row("C", 1, "Pro-Q 3", 1), fx_row("C", 2, "Dull", 4)};
    rows[3].maker = "  ";
    rows[3].format.clear();
    rows.push_back(fx_row("C", 3, "Gone", 0));
    rows.back().maker.clear();
    rows.back().missing = 1;
    rows.push_back(fx_row("C", 4, "Asleep", 6));
    rows.back().inactive = 1;
    bool truncated = true;
    EXPECT_EQ(usage_plugins_json(rows, truncated),
              "[{\"product\":\"Asleep\",\"maker\":\"FabFilter\",\"result\":\"inactive\",\"as\":"
              "\"vst3\",\"count\":1},"
              "{\"product\":\"Dull\",\"maker\":\"(unnamed)\",\"result\":\"left-out\",\"as\":"
              "\"none\",\"count\":1},"
              "{\"product\":\"Gone\",\"maker\":\"\",\"result\":\"missing\",\"as\":\"vst3\","
              "\"count\":1},"
              "{\"product\":\"Pro-Q 3\",\"maker\":\"FabFilter\",\"result\":\"default\",\"as\":"
              "\"vst3\",\"count\":1},"
              "{\"product\":\"Pro-Q 3\",\"maker\":\"FabFilter\",\"result\":\"settings\",\"as\":"
              "\"vst3\",\"count\":2}]");
    EXPECT_FALSE(truncated);
}

TEST(UsageSummary, ThePluginArrayStopsAt400Entries) {
    for (const int keys : {400, 401}) {
        std::vector<FxReportRow> rows;
        for (int i = 0; i < keys; ++i) rows.push_back(fx_row("T", 1, "P" + std::to_string(i), 0));
        const std::string body = usage_body(UsageSession{}, rows, UsageFlags{});
        std::size_t entries = 0;
        for (std::size_t at = body.find("{\"product\""); at != std::string::npos;
             at = body.find("{\"product\"", at + 1))
            ++entries;
        EXPECT_EQ(entries, 400u) << keys;
        EXPECT_EQ(has(body, "\"plugins-truncated\""), keys == 401) << keys;
    }
}

TEST(UsageSummary, BodyIsStrictJsonWhateverTheNames) {
    UsageSession session;
    session.pt_saved_by = "2019.6.0";
    session.sample_rate = 44100;
    std::vector<FxReportRow> rows = {fx_row("T", 1, std::string(300, '\x01') + "\xFF\"\\", 2),
                                     fx_row("T", 2, "Odd", 3)};
    rows[0].maker = "Mak\xC3\xA9r\t\"q\"";
    rows[1].missing = 1;
    UsageFlags flags;
    flags.reaper_list_empty = true;
    flags.media_missing = true;
    flags.loops_not_written = true;
    const std::string body = usage_body(session, rows, flags);
    const std::string doc = usage_summary_line(0, body);
    ASSERT_TRUE(doc.ends_with("}\n"));
    const json_check::Result r = json_check::check(doc.substr(0, doc.size() - 1));
    EXPECT_TRUE(r.valid) << "at " << r.error_at << ": " << doc;
    EXPECT_FALSE(r.blanks_between_tokens);
    // No bit depth read: neither member.
    EXPECT_FALSE(has(body, "bit_depth"));
    EXPECT_FALSE(has(body, "float_audio"));
    EXPECT_TRUE(has(body, "\"sample_rate\":44100,\"tracks\":0,"));
    EXPECT_TRUE(has(body, "\"plugin_instances\":2}"));
    EXPECT_TRUE(has(body,
                    "\"not_converted\":[\"no-plugin-list\",\"plugins-not-installed\","
                    "\"media-missing\"],\"warnings\":[\"aax-only-plugins\","
                    "\"unrecognized-plugins\",\"loops-not-written\"]"));
    session.bit_depth = 32;
    session.float_audio = true;
    EXPECT_TRUE(has(usage_body(session, {}, UsageFlags{}),
                    "\"sample_rate\":44100,\"bit_depth\":32,\"float_audio\":true,\"tracks\":0,"));
}

TEST(UsageSummary, JsonCheckerRejectsWhatIsNotJson) {
    for (const char* bad : {"{\"a\":1,}", "{\"a\":01}", "[\"\x01\"]", "{\"a\":tru}", "[\"\\x\"]",
                            "{} {}", "{\"a\" 1}", "[1.]"})
        EXPECT_FALSE(json_check::check(bad).valid) << bad;
    EXPECT_TRUE(json_check::check("{\"a\":[1,-2.5e3,\"\\u001f\",true,null,{}]}").valid);
}

}  // namespace

namespace {

TEST(Report, OptionLinesAndWideTracksShowOnlyWhenTheyApply) {
    ReportInput in = small_input();
    const std::string plain = build_report(in).text;
    EXPECT_FALSE(has(plain, " is on"));
    EXPECT_FALSE(has(plain, "PICTURE AND WIDE TRACKS"));
    in.keep_inaudible_midi = true;
    in.inaudible_events_kept = 3;
    in.no_clip_colors = true;
    in.clips_left_uncolored = 2;
    in.soloed_and_muted = 1;
    in.solo_helper = true;
    in.odd_strips = {"Sur (6 control slots)"};
    in.surround_pan_lanes = 1;
    const std::string t = build_report(in).text;
    EXPECT_TRUE(has(t, "\"Play MIDI notes Pro Tools silences\" is on: 3 MIDI event(s) Pro\n"));
    EXPECT_TRUE(has(t, "\"Leave out clip colors\" is on: 2 clip(s) that would carry a color\n"));
    EXPECT_TRUE(has(t, "(REAPER would play a soloed track through its mute). An empty"));
    EXPECT_TRUE(has(t, "\nPICTURE AND WIDE TRACKS\n  1 mixer strip(s) are wider than stereo."));
    EXPECT_TRUE(has(t, "    1 of them carries PAN automation that is NOT written: which\n"));
    EXPECT_TRUE(has(t,
                    "  1 mixer strip(s) of an unrecognized width (pan not converted):\n"
                    "    Sur (6 control slots)\n"));
}

}  // namespace
