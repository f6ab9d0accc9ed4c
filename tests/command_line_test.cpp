#include "app/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/test_support.h"

namespace {

using test_support::run_lanwick;
using test_support::TempDir;

CommandLine parse(const std::vector<std::string>& args) {
    return parse_arguments(args, 0);
}

TEST(Arguments, LaterFlagOfAPairWins) {
    EXPECT_EQ(parse({"--check", "--report"}).options.report, 1);
    EXPECT_EQ(parse({"--report", "--check"}).options.report, 0);
    EXPECT_EQ(parse({"--prefer-vst2", "--prefer-vst3"}).options.prefer_vst3, 1);
    EXPECT_EQ(parse({"--pause", "--no-pause"}).pause_at_exit, 0);
    EXPECT_EQ(parse({"--no-pause", "--pause"}).pause_at_exit, 1);
    CommandLine skip = parse({"--skip-muted-fx"});
    EXPECT_EQ(skip.options.skip_bypassed, 1);
    EXPECT_EQ(skip.options.bypassed_fx_mode, BypassedFxMode::leave_out);
}

TEST(Arguments, TempoRampsTakesOnlyItsOwnWords) {
    CommandLine steps = parse({"--tempo-ramps", "steps", "song.ptx"});
    EXPECT_EQ(steps.options.tempo_ramps, 0);
    EXPECT_EQ(steps.path_words, std::vector<std::string>{"song.ptx"});
    CommandLine plain = parse({"--tempo-ramps", "song.ptx"});
    EXPECT_EQ(plain.options.tempo_ramps, 1);
    EXPECT_EQ(plain.path_words, std::vector<std::string>{"song.ptx"});
}

TEST(Arguments, ValueWordsMapToModes) {
    struct Case {
        std::vector<std::string> args;
        CommentsMode comments;
        ClipColorTheme theme;
    } cases[] = {
        {{"--comments", "project"}, CommentsMode::project, ClipColorTheme::follow_session},
        {{"--comments", "whatever"}, CommentsMode::project, ClipColorTheme::follow_session},
        {{"--comments", "item", "--pt-theme", "light"},
         CommentsMode::item,
         ClipColorTheme::classic},
        {{"--comments", "none", "--pt-theme", "dark"}, CommentsMode::none, ClipColorTheme::dark},
        {{"--pt-theme", "auto"}, CommentsMode::project, ClipColorTheme::follow_session},
    };
    for (const Case& c : cases) {
        CommandLine cl = parse(c.args);
        EXPECT_EQ(cl.options.comments_mode, c.comments) << c.args[1];
        EXPECT_EQ(cl.options.clip_color_theme, c.theme) << c.args[1];
    }
    CommandLine values = parse(
        {"-o", "-x.rpp", "--tempo", "97.5", "--params", "a", "--params", "b", "--audio-dir", "A"});
    EXPECT_EQ(values.options.output_path, "-x.rpp");
    EXPECT_DOUBLE_EQ(values.options.tempo, 97.5);
    EXPECT_EQ(values.options.param_name_files, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(values.options.audio_folder_given, 1);
}

TEST(Arguments, ValueOptionGivenLastIsUnknown) {
    struct Case {
        std::vector<std::string> args;
        std::string unknown;
    } cases[] = {
        {{"x.ptx", "--tempo"}, "--tempo"},
        {{"-o"}, "-o"},
        {{"--learn", "chain.RfxChain"}, "--learn"},
        {{"--bogus", "-o"}, "--bogus"},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(c.args).unknown_option, c.unknown);
    CommandLine learn = parse({"--learn", "c.RfxChain", "ABCDEFGH"});
    EXPECT_TRUE(learn.learn);
    EXPECT_EQ(learn.learn_signature, "ABCDEFGH");
}

TEST(Arguments, HelpAndVersionStopTheLoop) {
    CommandLine help = parse({"--no-pause", "-h", "--bogus"});
    EXPECT_TRUE(help.help);
    EXPECT_TRUE(help.unknown_option.empty());
    CommandLine empty = parse({"", "a"});
    EXPECT_EQ(empty.path_words, std::vector<std::string>{"a"});
}

TEST(SessionPath, JoinsWordsOfADraggedPath) {
    TempDir dir;
    test_support::write_file(dir.file("My Song.ptx"), "x");
    test_support::write_file(dir.file("b.ptx"), "x");
    EXPECT_EQ(session_path_from_words({dir.file("My"), "Song.ptx"}), dir.file("My Song.ptx"));
    EXPECT_EQ(session_path_from_words({"nope", dir.file("b.ptx"), "other"}), dir.file("b.ptx"));
    EXPECT_EQ(session_path_from_words({"no", "such"}), "no such");
    // A folder does not open as a session.
    EXPECT_EQ(session_path_from_words({dir.path().string(), "x"}), dir.path().string() + " x");
}

TEST(SessionPath, SecondPassOutput) {
    EXPECT_EQ(second_pass_output("out.rpp"), "out-2nd.rpp");
    EXPECT_EQ(second_pass_output("dir.v2/out"), "dir.v2/out-2nd.rpp");
    EXPECT_EQ(second_pass_output("dir.v2\\out.x.rpp"), "dir.v2\\out.x-2nd.rpp");
}

TEST(Program, HelpVersionAndOptionErrors) {
    auto help = run_lanwick({"--report", "--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("lanwick: convert a Pro Tools session to a REAPER project\n", 0), 0u);
    EXPECT_TRUE(help.out.ends_with("\nOr drag a .ptx file onto this program.\n"));
    EXPECT_EQ(help.out.find("Press Enter"), std::string::npos);

    auto version = run_lanwick({"--pause", "--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, "lanwick 1.0.1 (build 287)\n");

    auto bogus = run_lanwick({"--bogus"});
    EXPECT_EQ(bogus.exit_code, 2);
    EXPECT_EQ(bogus.out,
              "\n  Unknown option: --bogus\n\n  Nothing was converted. Run  lanwick --help  for "
              "the options\n  this version understands.\n");
    EXPECT_EQ(run_lanwick({"-o"}).exit_code, 2);

    auto none = run_lanwick({});
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_EQ(none.out, "lanwick: drag a .ptx file onto this program.\n");

    auto paused = run_lanwick({"--pause"});
    EXPECT_EQ(paused.exit_code, 1);
    EXPECT_TRUE(paused.out.ends_with("\n  Press Enter to close.\n"));
}

// Every option the parser accepts is named in --help as a whole word, and every "--word" the help
// names is one the parser accepts.
TEST(Program, HelpNamesEveryAcceptedOption) {
    const std::vector<std::string> accepted = accepted_option_words();
    const std::set<std::string> words(accepted.begin(), accepted.end());
    EXPECT_EQ(words.size(), accepted.size()) << "an option word is in the table twice";
    const std::string help = run_lanwick({"--help"}).out;
    const auto word_char = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    };
    for (const std::string& word : accepted) {
        bool named = false;
        for (std::size_t at = help.find(word); at != std::string::npos && !named;
             at = help.find(word, at + 1)) {
            const std::size_t end = at + word.size();
            named = (at == 0 || !word_char(help[at - 1])) &&
                    (end == help.size() || !word_char(help[end]));
        }
        EXPECT_TRUE(named) << word << " is not in --help";
    }
    for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at)) {
        std::size_t end = at + 2;
        while (end < help.size() && word_char(help[end])) ++end;
        if (at == 0 || !word_char(help[at - 1])) {
            EXPECT_TRUE(words.contains(help.substr(at, end - at))) << help.substr(at, end - at);
        }
        at = end;
    }
}

// The help fits an 80-column console, and --keep-frozen promises only what this build does: it
// reads no freeze render (the program then says so on the console, as MixerEndToEnd checks).
TEST(Program, HelpFitsEightyColumnsAndKeepFrozenSaysWhatItDoes) {
    const std::string help = run_lanwick({"--help"}).out;
    std::size_t start = 0;
    for (std::size_t end = help.find('\n'); end != std::string::npos;
         start = end + 1, end = help.find('\n', start))
        EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
    const std::size_t entry = help.find("  --keep-frozen ");
    ASSERT_NE(entry, std::string::npos);
    const std::string text = help.substr(entry, help.find("\n  --", entry + 1) - entry);
    EXPECT_NE(text.find("reads no freeze render"), std::string::npos) << text;
    EXPECT_NE(text.find("arrives unfrozen"), std::string::npos) << text;
    EXPECT_EQ(text.find("rendered audio"), std::string::npos) << text;
}

TEST(Program, HelpHasTwoColumns) {
    auto help = run_lanwick({"-h"});
    for (const char* line : {"  --check                Answer", "  --pause / --no-pause   Wait",
                             "  --report               Also"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
}

}  // namespace

namespace {

TEST(Program, UsageSummaryIsWrappedAndSkippedForListAndCheck) {
    TempDir dir;
    std::string json = dir.file("usage.json");
    auto r = run_lanwick({"--usage-json", json, dir.file("missing.ptx")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(test_support::read_file(json),
              "{\"schema\":\"vantrel-usage 1\",\"converter\":\"1.0.1\",\"build\":287,\"result\":"
              "\"failed\",\"session\":{},\"plugins\":[],\"not_converted\":[],\"warnings\":[]}\n");
    for (const char* flag : {"--list", "--check"}) {
        std::string skipped = dir.file(std::string("skipped") + flag);
        run_lanwick({flag, "--usage-json", skipped, dir.file("missing.ptx")});
        EXPECT_FALSE(std::filesystem::exists(skipped)) << flag;
    }
    auto unwritable = run_lanwick({"--usage-json", dir.file("no/such/dir.json"), "x.ptx"});
    EXPECT_NE(unwritable.out.find("  could not write the usage summary file\n"), std::string::npos);
    EXPECT_EQ(unwritable.exit_code, 1);
}

TEST(Program, ApiSelftestReportsTheResultRecord) {
    TempDir dir;
    test_support::RunSetup setup;
    setup.env = "PTX_API_SELFTEST=1";
    auto r = run_lanwick({dir.file("missing.ptx")}, setup);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("  API SELFTEST: rc=1 report_text=0 ondisk=0 DIFFER\n"),
              std::string::npos);
    // The console text holds what the conversion said, and nothing said after it.
    std::string said = "\n  No such file:\n    " + dir.file("missing.ptx") +
                       "\n\n  If the name has spaces, put it in quotes:\n    lanwick \"My "
                       "Song.ptx\"\n";
    EXPECT_NE(
        r.out.find("  API SELFTEST: console_text=" + std::to_string(said.size()) + " bytes\n"),
        std::string::npos)
        << r.out;
}

}  // namespace
