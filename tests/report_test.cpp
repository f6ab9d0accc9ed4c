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
    in.plugins.instances_found = 2;
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
    EXPECT_TRUE(has(t,
                    "(REAPER would play a soloed track through its mute).\n"
                    "An empty soloed helper track, \"Pro Tools solo (the soloed tracks were "
                    "muted)\",\nkeeps the other tracks silent\n"))
        << t;
    EXPECT_TRUE(has(t, "\nPICTURE AND WIDE TRACKS\n  1 mixer strip(s) are wider than stereo."));
    EXPECT_TRUE(has(t, "    1 of them carries PAN automation that is NOT written: which\n"));
    EXPECT_TRUE(has(t,
                    "  1 mixer strip(s) of an unrecognized width (pan not converted):\n"
                    "    Sur (6 control slots)\n"));
}

TEST(Report, HeadStatesRateDepthAndTempoAsTheSessionGivesThem) {
    ReportInput in = small_input();
    in.header_major = 2019;
    in.sample_rate = 44100;
    in.bit_depth = 32;
    in.bit_float = 1;
    in.timecode_rate = "29.97 drop";
    in.timecode_fps = 30;
    in.drop_frame = true;
    in.start_frames = 30 * 60;  // frames 0;00 and 0;01 of minute 1 are skipped
    in.drop_rate_missing = "29.97";
    in.tempo = 96.5;
    in.tempo_map = true;
    const std::string t = build_report(in).text;
    EXPECT_TRUE(has(t,
                    "session  Pro Tools 12 or later, 44100 Hz, 32-bit float, 29.97 drop, 96.5 BPM "
                    "(tempo map)\n"));
    EXPECT_TRUE(has(t,
                    "start    00:01:00;02\n"
                    "         (REAPER has no 29.97 drop-frame ruler: the project's ruler\n"
                    "         runs at 29.97 non-drop)\n\n"));
    in.tempo_map = false;
    in.drop_rate_missing.clear();
    const std::string plain = build_report(in).text;
    EXPECT_TRUE(has(plain, ", 96.5 BPM\n"));
    EXPECT_FALSE(has(plain, "drop-frame ruler"));
}

TEST(Report, CountLinesOfStandInsBuildsAndFreezeRecords) {
    const struct {
        void (*set)(ReportInput&);
        const char* line;  // empty: nothing of these lines is printed
    } cases[] = {
        {[](ReportInput&) {}, ""},
        {[](ReportInput& in) { in.freeze_records_left_out = 2; },
         "frozen track(s) converted UNFROZEN - original audio with the\n"
         "plug-ins live and editable (2 internal freeze record(s) left out)\n"},
        {[](ReportInput& in) {
             in.freeze_records_left_out = 2;
             in.frozen_delivered = 1;
         },
         "1 frozen track(s) delivered FROZEN (--keep-frozen); Track > Unfreeze\n"
         "in REAPER restores the source and plug-ins\n\nTRACK LIST"},
        {[](ReportInput& in) { in.no_stand_ins = true; },
         "\"Replace Avid plug-ins with REAPER's\" is off; no Avid plug-in in this\n"
         "session had a REAPER stand-in\n"},
        {[](ReportInput& in) {
             in.no_stand_ins = true;
             in.standins_withheld = 3;
         },
         "\"Replace Avid plug-ins with REAPER's\" is off: 3 Avid plug-in(s) left\n"
         "as named, switched-off slots instead of REAPER's own\n"},
        {[](ReportInput& in) {
             in.no_stand_ins = true;
             in.polarity_withheld = 1;
         },
         "is off: 0 Avid plug-in(s) left\nas named, switched-off slots instead of REAPER's "
         "own;\none-sided Trim polarity not carried\n"},
        {[](ReportInput& in) {
             in.standins_written = 4;
             in.eq3_one_pole_filters = 1;
         },
         "4 Avid plug-in(s) written as REAPER's own equivalents (stand-ins;\n"
         "EQ exact in design, dynamics close, not identical)\n"
         "1 EQ3 high-pass or low-pass filter(s) set to 6 or 18 dB/oct use\n"},
        {[](ReportInput& in) {
             in.kept_on_vst3 = {{"Pro-Q 3", 2}, {"Pro-C 2", 1}};
         },
         "--prefer-vst2: 3 plug-in(s) kept on their VST3 build so their\n"
         "settings carry: Pro-C 2 x1, Pro-Q 3 x2.\n"
         "Their VST2 builds keep settings in a form this version cannot\nwrite yet\n"},
        {[](ReportInput& in) {
             in.kontakt_instances = 2;
             in.kontakt_name = "Kontakt 7 (Native Instruments) (64 out)";
         },
         "Kontakt: 2 instance(s) written for Kontakt 7, the Kontakt installed\n"
         "here. Pro Tools saved their settings with Kontakt 6, and Kontakt 7\n"
         "plays those settings unchanged\n"},
        {[](ReportInput& in) {
             in.kontakt_instances = 1;
             in.kontakt_name = "Kontakt 8 (Native Instruments)";
             in.kontakt_predicted = true;
         },
         "Kontakt: 1 instance(s) written for Kontakt 8, the Kontakt installed\n"
         "here. Pro Tools saved their settings with Kontakt 6; they are\n"
         "written the way Kontakt 7 takes them, but Kontakt 8 itself is\n"},
        {[](ReportInput& in) { in.kontakt_instances = 1; }, ""},  // the table row stood
    };
    for (const auto& c : cases) {
        ReportInput in = small_input();
        c.set(in);
        const std::string t = build_report(in).text;
        const std::string line = c.line;
        if (line.empty()) {
            for (const char* part : {"UNFROZEN", "Replace Avid", "stand-ins;", "--prefer-vst2",
                                     "Kontakt", "6 or 18 dB"})
                EXPECT_FALSE(has(t, part)) << part;
        } else {
            EXPECT_TRUE(has(t, line)) << line << "\n---\n" << t;
            // Every counts line comes before the track list.
            EXPECT_LT(t.find(line), t.find("\nTRACK LIST")) << line;
        }
    }
}

TEST(Report, VideoParagraphNamesRateQualityAndUnrecognisedFiles) {
    ReportInput in = small_input();
    in.video_tracks = 2;
    in.video_items = 1;
    in.video_frame_rate = 23.976;
    in.video_quality = 3;
    in.video_files_unrecognised = 1;
    in.video_items_left_out = 2;
    const std::string t = build_report(in).text;
    const std::size_t head =
        t.find("\nPICTURE AND WIDE TRACKS\n  2 video track(s), 1 video item(s)");
    const std::size_t rate =
        t.find("    Frame rate 23.976 fps, read from the session rather than\n");
    const std::size_t quality =
        t.find("    The video track was set to Draft, not Full Quality. REAPER's\n");
    const std::size_t file =
        t.find("    1 video track(s) hold a file this build does not recognize\n");
    const std::size_t left_out =
        t.find("    2 video placement(s) were left out, NO item written: no clip\n");
    const std::size_t offset = t.find("    Pro Tools' Video Sync Offset");
    ASSERT_NE(head, std::string::npos);
    EXPECT_LT(head, rate);
    EXPECT_LT(rate, quality);
    EXPECT_LT(quality, file);
    EXPECT_LT(file, left_out);
    EXPECT_LT(left_out, offset);
    EXPECT_NE(offset, std::string::npos);

    in.video_frame_rate = 0.0;  // the rate was assumed from the timecode
    in.video_files_unrecognised = 0;
    const struct {
        int code;
        const char* word;  // null: full quality, no line
    } qualities[] = {{-1, nullptr}, {0, nullptr},
                     {1, nullptr},  {2, "a reduced quality"},
                     {3, "Draft"},  {4, "a reduced quality"}};
    for (const auto& q : qualities) {
        in.video_quality = q.code;
        const std::string v = build_report(in).text;
        EXPECT_FALSE(has(v, "Frame rate"));
        EXPECT_FALSE(has(v, "does not recognize"));
        EXPECT_EQ(has(v, "not Full Quality"), q.word != nullptr) << q.code;
        if (q.word) {
            EXPECT_TRUE(has(v, std::string("set to ") + q.word + ", not Full")) << q.code;
        }
    }
}

TEST(Report, AaxOnlyRowsCarryTheirLabelAndFoundIsTheSessionCount) {
    ReportInput in = small_input();
    std::vector<FxReportRow> rows = {fx_row("T", 1, "Trim", 2), fx_row("T", 2, "Odd AAX", 2)};
    in.plugins.rows = rows;
    in.plugins.counts = {{"Odd AAX", 1}, {"Trim", 1}};
    in.plugins.aax_only = {{"Odd AAX", 1}, {"Trim", 1}};
    in.plugins.aax_only_labels = {{"Trim", "Avid's gain utility"}};
    // One instance the session holds reached no chain: the found count is still the session's.
    in.plugins.instances_found = 3;
    const ReportText r = build_report(in);
    EXPECT_TRUE(has(r.text,
                    "    Odd AAX                  x1\n"
                    "    Trim                     x1   Avid's gain utility\n"));
    EXPECT_TRUE(has(r.text, "  3 instance(s) found, 0 written with their settings\n"));
    EXPECT_EQ(r.plugin_instances, 3);
    EXPECT_TRUE(has(report_summary_line(in, r), " fx=3 written=0 "));
}

}  // namespace
