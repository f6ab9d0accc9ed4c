// The report, the usage file and the end of a conversion, from the whole program on copies of the
// real sessions (HOME and APPDATA empty: no machine's plug-in list reaches a report).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "json_check.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::TempDir;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A copy of a real session in a fresh folder, with an OUT folder beside it; runs happen there.
struct SessionCopy {
    TempDir dir;
    std::string name;
    bool found = false;

    explicit SessionCopy(const std::string& session) : name(session) {
        const std::string original = test_support::real_session(session);
        if (original.empty()) return;
        fs::copy_file(original, dir.path() / session);
        fs::create_directory(dir.path() / "OUT");
        found = true;
    }

    test_support::RunResult run(std::vector<std::string> args, const std::string& env = "") const {
        args.insert(args.begin(), name);
        args.push_back("--no-pause");
        test_support::RunSetup setup;
        setup.current_dir = dir.path().string();
        setup.env = env;
        return test_support::run_lanwick(args, setup);
    }

    std::string file(const std::string& relative) const { return dir.file(relative); }
};

#define REQUIRE_COPY(copy)                                                                        \
    if (!(copy).found)                                                                            \
    GTEST_SKIP() << "real session " << (copy).name << " not found under " << LANWICK_SESSIONS_DIR \
                 << "; skipped"

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The number of "<ITEM" blocks of each "<TRACK" of a project, in order.
// The audio items of each track: MIDI items are counted by their notes, not as clips.
std::vector<int> audio_items_per_track(const std::string& project) {
    std::vector<int> items;
    for (const std::string& line : lines_of(project)) {
        if (line.starts_with("  <TRACK")) items.push_back(0);
        if (line.starts_with("    <ITEM") && !items.empty()) ++items.back();
        if (line.find("<SOURCE MIDI") != std::string::npos && !items.empty()) --items.back();
    }
    return items;
}

// The TRACK LIST's rows: the clip column of each.
std::vector<int> report_clip_column(const std::string& report) {
    std::vector<int> clips;
    bool in_list = false;
    for (const std::string& line : lines_of(report)) {
        if (line == "  #   name                               clips notes  fx") {
            in_list = true;
            continue;
        }
        if (!in_list) continue;
        if (line.empty()) break;
        clips.push_back(std::stoi(line.substr(2 + 4 + 35, 5)));
    }
    return clips;
}

struct RealCase {
    const char* session;
    const char* session_line;
    const char* audio_line;
    const char* start_line;
    std::vector<std::string> missing;  // NEEDS A LOOK 12
    const char* usage_session_head;    // the session object up to "tracks"
    const char* not_converted;
};

const RealCase kRealCases[] = {
    {"TestPTX.ptx",
     "session  Pro Tools 12, 48000 Hz, 24-bit, 23.976, 120 BPM",
     "audio    AIFF files",
     "start    00:00:00:00",
     {"monoTone.wav", "monoTone.1.aif", "stereoTone.L.aif", "stereoTone.R.aif"},
     "\"session\":{\"pt_saved_by\":\"12.8.3\",\"sample_rate\":48000,\"bit_depth\":24,"
     "\"float_audio\":false,\"tracks\":",
     "\"not_converted\":[\"media-missing\"]"},
    {"RegionTest.ptx",
     "session  Pro Tools 12 or later, 44100 Hz, 24-bit, 30, 120 BPM",
     "audio    WAV files",
     "start    00:00:00:00",
     {"region_name_WAV.wav"},
     "\"session\":{\"pt_saved_by\":\"2019.6.0\",\"sample_rate\":44100,\"bit_depth\":24,"
     "\"float_audio\":false,\"tracks\":",
     "\"not_converted\":[\"media-missing\"]"},
    {"Untitled32.ptx",
     "session  Pro Tools 12 or later, 44100 Hz, 32-bit float, 30, 120 BPM",
     "audio    WAV files",
     "start    01:00:00:00",
     {},
     "\"session\":{\"pt_saved_by\":\"2021.2.0\",\"sample_rate\":44100,\"bit_depth\":32,"
     "\"float_audio\":true,\"tracks\":0,",
     "\"not_converted\":[]"},
    {"MetadataFields.ptx", nullptr, nullptr, nullptr, {}, nullptr, "\"not_converted\":[]"},
};

TEST(ReportProgram, EveryRealSessionGivesItsReportAndUsageFile) {
    for (const RealCase& c : kRealCases) {
        SCOPED_TRACE(c.session);
        SessionCopy copy(c.session);
        if (!copy.found) {
            std::cout << "real session " << c.session << " not found; skipped\n";
            continue;
        }
        const auto r =
            copy.run({"-o", "OUT/t.rpp", "--report", "--progress", "--usage-json", "OUT/u.json"});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_TRUE(has(r.out, "  report written: OUT/t-vantrel-report.txt\n"));
        const std::string report = read_file(copy.file("OUT/t-vantrel-report.txt"));
        const std::string project = read_file(copy.file("OUT/t.rpp"));
        EXPECT_TRUE(
            report.starts_with("lanwick conversion report\n=========================\n\n"
                               "made with   lanwick 1.0.1\n"
                               "conversion  Pro Tools session (.ptx) to REAPER project (.rpp)\n"
                               "converter   build 287\n\n"
                               "source   " +
                               std::string(c.session) + "\noutput   OUT/t.rpp\n"));
        if (c.session_line) {
            EXPECT_TRUE(has(report, std::string("\n") + c.session_line + "\n"));
            EXPECT_TRUE(has(report, std::string("\n") + c.audio_line + "\n"));
            EXPECT_TRUE(has(report, std::string("\n") + c.start_line + "\n"));
        }

        // The counts are the console's.
        const std::size_t counts_at = r.out.find(" tracks, ");
        ASSERT_NE(counts_at, std::string::npos);
        const std::size_t line_start = r.out.rfind('\n', counts_at) + 1;
        int tracks = -1, clips = -1, notes = -1;
        ASSERT_EQ(std::sscanf(r.out.c_str() + line_start, "  %d tracks, %d clips, %d MIDI notes",
                              &tracks, &clips, &notes),
                  3);
        char head[64];
        std::snprintf(head, sizeof head, "\n%d tracks (", tracks);
        EXPECT_TRUE(has(report, head));
        std::snprintf(head, sizeof head, "), %d clips, %d MIDI notes\n", clips, notes);
        EXPECT_TRUE(has(report, head));
        const std::vector<int> column = report_clip_column(report);
        EXPECT_EQ(column, audio_items_per_track(project));
        EXPECT_EQ(std::accumulate(column.begin(), column.end(), 0), clips);

        EXPECT_TRUE(has(report, "  0 instance(s) found, 0 written with their settings\n"));
        EXPECT_FALSE(has(report, "EVERY PLUG-IN"));
        EXPECT_FALSE(has(report, "WHAT REAPER NEEDS"));
        if (c.missing.empty()) {
            EXPECT_TRUE(has(report,
                            "\nNEEDS A LOOK\n  nothing - everything in this session "
                            "was carried across\n"));
            EXPECT_TRUE(r.err.ends_with(" needs_look=0\n")) << r.err;
        } else {
            std::string rows;
            for (const std::string& name : c.missing) rows += "    " + name + "\n";
            EXPECT_TRUE(has(report, "\nNEEDS A LOOK\n  " + std::to_string(c.missing.size()) +
                                        " referenced audio file(s) not in \"Audio Files\" or "
                                        "beside it:\n" +
                                        rows));
            EXPECT_TRUE(r.err.ends_with(" needs_look=1\n")) << r.err;
        }

        const std::string usage = read_file(copy.file("OUT/u.json"));
        ASSERT_TRUE(usage.ends_with("}\n"));
        EXPECT_EQ(usage.find('\n'), usage.size() - 1);
        const json_check::Result json = json_check::check(usage.substr(0, usage.size() - 1));
        EXPECT_TRUE(json.valid) << usage;
        EXPECT_FALSE(json.blanks_between_tokens);
        EXPECT_TRUE(usage.starts_with(
            "{\"schema\":\"vantrel-usage 1\",\"converter\":\"1.0.1\",\"build\":287,"
            "\"result\":\"converted\",\"session\":{\"pt_saved_by\":"));
        if (c.usage_session_head) {
            EXPECT_TRUE(has(usage, c.usage_session_head)) << usage;
        }
        EXPECT_TRUE(has(usage, "\"alt_playlists\":"));
        EXPECT_TRUE(
            has(usage, std::string(",\"plugins\":[],") + c.not_converted + ",\"warnings\":[]}\n"))
            << usage;
    }
}

TEST(ReportProgram, TheUsageFileNamesNoTrackClipOrPath) {
    SessionCopy copy("RegionTest.ptx");
    REQUIRE_COPY(copy);
    ASSERT_EQ(copy.run({"-o", "OUT/t.rpp", "--usage-json", "OUT/u.json"}).exit_code, 0);
    const std::string usage = read_file(copy.file("OUT/u.json"));
    for (const std::string& name :
         {std::string("Track_Name"), std::string("Audio 1"), std::string("region_name"),
          copy.dir.path().string(), std::string("RegionTest")})
        EXPECT_FALSE(has(usage, name)) << name;
}

// The privacy texts say a shared summary was written only when one was: --usage-shared alone,
// in a --check run, or with a usage file that cannot be made, writes none.
TEST(ReportProgram, PrivacyTextsFollowTheUsageFileWritten) {
    SessionCopy copy("RegionTest.ptx");
    REQUIRE_COPY(copy);
    struct Case {
        std::vector<std::string> args;
        bool usage_file;  // the usage summary is written
        bool shared;      // and says it is shared
    } cases[] = {
        {{"--usage-shared"}, false, false},
        {{"--usage-shared", "--usage-json", "OUT/u.json", "--check"}, false, false},
        {{"--usage-json", "OUT/u.json"}, true, false},
        {{"--usage-shared", "--usage-json", "OUT/u.json"}, true, true},
        {{"--usage-shared", "--usage-json", "NO/SUCH/u.json"}, false, false},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        fs::remove(copy.file("OUT/u.json"));
        fs::remove(copy.file("OUT/t-vantrel-report.txt"));
        c.args.insert(c.args.end(), {"-o", "OUT/t.rpp", "--overwrite", "--report"});
        const auto r = copy.run(c.args);
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(fs::exists(copy.file("OUT/u.json")), c.usage_file);
        const bool unwritable =
            std::ranges::any_of(c.args, [](const std::string& a) { return a.starts_with("NO/"); });
        EXPECT_EQ(has(r.out, "  could not write the usage summary file\n"), unwritable) << r.out;
        EXPECT_EQ(has(r.out, "\n  PRIVACY: this program contains no network code. It wrote an\n"),
                  c.shared)
            << r.out;
        EXPECT_EQ(
            has(r.out, "\n  PRIVACY: this program contains no network code. No information\n"),
            !c.shared);
        const std::string report = read_file(copy.file("OUT/t-vantrel-report.txt"));
        EXPECT_EQ(has(report, "  wrote an anonymous summary of this conversion"), c.shared)
            << report;
        // Neither text points at an address or a site: the program's makers own none.
        for (const char* pointer : {"@", "http", "vantrel "})
            EXPECT_FALSE(has(report + r.out, pointer)) << pointer;
    }
}

TEST(ReportProgram, ReportPathsFollowTheProjectWritten) {
    SessionCopy copy("TestPTX.ptx");
    REQUIRE_COPY(copy);
    // A second run without --overwrite writes "t (1).rpp" and its report beside it.
    ASSERT_EQ(copy.run({"-o", "OUT/t.rpp", "--report"}).exit_code, 0);
    const auto again = copy.run({"-o", "OUT/t.rpp", "--report"});
    EXPECT_TRUE(has(again.out, "  report written: OUT/t (1)-vantrel-report.txt\n"));
    EXPECT_TRUE(
        has(read_file(copy.file("OUT/t (1)-vantrel-report.txt")), "\noutput   OUT/t (1).rpp\n"));

    // A check names the report as a real run would, writes no usage file and no --want-params
    // file; its console ends with the check's paragraph, which names the report it wrote.
    const auto check = copy.run({"-o", "OUT/c.rpp", "--check", "--report", "--want-params",
                                 "OUT/w.txt", "--usage-json", "OUT/u.json"});
    EXPECT_EQ(check.exit_code, 0);
    EXPECT_TRUE(has(check.out, "  report written: OUT/c-vantrel-report.txt\n"));
    EXPECT_TRUE(has(read_file(copy.file("OUT/c-vantrel-report.txt")),
                    "\noutput   (not written: this was a check)\n"));
    EXPECT_FALSE(fs::exists(copy.file("OUT/c.rpp")));
    EXPECT_FALSE(fs::exists(copy.file("OUT/u.json")));
    EXPECT_FALSE(fs::exists(copy.file("OUT/w.txt")));
    EXPECT_TRUE(
        check.out.ends_with("\n  --check: nothing but the report was written. The lines above are\n"
                            "      what a real conversion of this session would produce.\n"));

    // --check after --report cancels it.
    const auto cancelled = copy.run({"-o", "OUT/d.rpp", "--report", "--check"});
    EXPECT_FALSE(has(cancelled.out, "report written"));
    EXPECT_FALSE(fs::exists(copy.file("OUT/d-vantrel-report.txt")));

    // A folder where the report goes: said, and the conversion still succeeds.
    fs::create_directory(copy.file("OUT/e-vantrel-report.txt"));
    const auto blocked = copy.run({"-o", "OUT/e.rpp", "--report"});
    EXPECT_EQ(blocked.exit_code, 0);
    EXPECT_TRUE(has(blocked.out, "  could not write report: OUT/e-vantrel-report.txt\n"));
    EXPECT_FALSE(has(blocked.out, "report written"));

    const auto selftest = copy.run({"-o", "OUT/s.rpp"}, "PTX_API_SELFTEST=1");
    EXPECT_TRUE(has(selftest.out, " IDENTICAL\n")) << selftest.out;
}

// The lines of two texts that differ, as "-old" / "+new" pairs.
std::vector<std::string> differing_lines(const std::string& a, const std::string& b) {
    const std::vector<std::string> x = lines_of(a), y = lines_of(b);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
        const std::string l = i < x.size() ? x[i] : "", r = i < y.size() ? y[i] : "";
        if (l != r) out.push_back("-" + l + "\n+" + r);
    }
    return out;
}

TEST(ReportProgram, ReportsAndUsageFilesRepeatByteForByte) {
    SessionCopy copy("TestPTX.ptx");
    REQUIRE_COPY(copy);
    const auto first =
        copy.run({"-o", "OUT/a.rpp", "--overwrite", "--report", "--usage-json", "OUT/a.json"});
    const std::string report = read_file(copy.file("OUT/a-vantrel-report.txt"));
    const std::string usage = read_file(copy.file("OUT/a.json"));
    copy.run({"-o", "OUT/a.rpp", "--overwrite", "--report", "--usage-json", "OUT/a.json"});
    EXPECT_EQ(read_file(copy.file("OUT/a-vantrel-report.txt")), report);
    EXPECT_EQ(read_file(copy.file("OUT/a.json")), usage);

    // --usage-shared changes the privacy wording of console and report, never the usage file.
    const auto shared = copy.run({"-o", "OUT/a.rpp", "--overwrite", "--report", "--usage-json",
                                  "OUT/a.json", "--usage-shared"});
    EXPECT_EQ(read_file(copy.file("OUT/a.json")), usage);
    const std::string shared_report = read_file(copy.file("OUT/a-vantrel-report.txt"));
    EXPECT_NE(shared_report, report);
    EXPECT_EQ(report.substr(0, report.find("\nPRIVACY\n")),
              shared_report.substr(0, shared_report.find("\nPRIVACY\n")));
    EXPECT_EQ(first.out.substr(0, first.out.find("\n  PRIVACY:")),
              shared.out.substr(0, shared.out.find("\n  PRIVACY:")));
    EXPECT_NE(first.out, shared.out);

    // The second pass writes its own report, which differs only in its output line.
    ASSERT_EQ(copy.run({"-o", "OUT/b.rpp", "--report", "--convert-twice"}).exit_code, 0);
    const std::vector<std::string> diff =
        differing_lines(read_file(copy.file("OUT/b-vantrel-report.txt")),
                        read_file(copy.file("OUT/b-2nd-vantrel-report.txt")));
    EXPECT_EQ(diff, std::vector<std::string>{"-output   OUT/b.rpp\n+output   OUT/b-2nd.rpp"});
}

}  // namespace
