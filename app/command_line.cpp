#include "app/command_line.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/help_text.h"
#include "app/learn_plugin.h"
#include "app/output.h"
#include "convert/convert_session.h"
#include "convert/run_state.h"
#include "convert/summary/usage_summary.h"
#include "convert/writer/output_file.h"
#include "model/conversion_result.h"
#include "platform/paths.h"
#include "util/files.h"
#include "util/version.h"

namespace {

// What an option word does; the parser acts on it.
enum class OptionKind : std::uint8_t {
    flag,              // sets one byte of the options
    value,             // takes the next argument
    check,             // --check: also clears the report flag
    skip_bypassed,     // leave bypassed plug-ins out
    offline_bypassed,  // keep bypassed plug-ins, offline
    learn,             // takes the next two arguments
    tempo_ramps,       // may take "ramps" or "steps"
    progress,
    convert_twice,
    pause,
    no_pause,
    version,
    help,
};

struct OptionWord {
    const char* word;
    OptionKind kind;
    std::uint8_t ConvertOptions::*field = nullptr;  // for a flag
    std::uint8_t value = 0;
};

// Every option word the program accepts; the first match acts.
constexpr OptionWord kOptionWords[] = {
    {"--keep-alt-takes", OptionKind::flag, &ConvertOptions::keep_alt_takes, 1},
    {"--drop-alt-takes", OptionKind::flag, &ConvertOptions::keep_alt_takes, 0},
    {"--no-alt-takes", OptionKind::flag, &ConvertOptions::keep_alt_takes, 0},
    {"--recover-deleted", OptionKind::flag, &ConvertOptions::recover_deleted, 1},
    {"--ghost-clips", OptionKind::flag, &ConvertOptions::recover_deleted, 1},
    {"--list", OptionKind::flag, &ConvertOptions::list, 1},
    {"--no-stretch", OptionKind::flag, &ConvertOptions::no_stretch, 1},
    {"--keep-fade-clips", OptionKind::flag, &ConvertOptions::keep_fade_clips, 1},
    {"--no-fades", OptionKind::flag, &ConvertOptions::no_fades, 1},
    {"--no-click", OptionKind::flag, &ConvertOptions::no_click, 1},
    {"--report", OptionKind::flag, &ConvertOptions::report, 1},
    {"--dump-cache", OptionKind::flag, &ConvertOptions::dump_cache, 1},
    {"--dump-cc", OptionKind::flag, &ConvertOptions::dump_controllers, 1},
    {"--no-sidechain", OptionKind::flag, &ConvertOptions::no_sidechain, 1},
    {"--no-placeholders", OptionKind::flag, &ConvertOptions::placeholders, 0},
    {"--overwrite", OptionKind::flag, &ConvertOptions::overwrite, 1},
    {"--prefer-vst3", OptionKind::flag, &ConvertOptions::prefer_vst3, 1},
    {"--prefer-vst2", OptionKind::flag, &ConvertOptions::prefer_vst3, 0},
    {"--keep-plugin-midi", OptionKind::flag, &ConvertOptions::keep_plugin_midi, 1},
    {"--no-aax-slots", OptionKind::flag, &ConvertOptions::aax_slots, 0},
    {"--skip-missing-fx", OptionKind::flag, &ConvertOptions::skip_missing_fx, 1},
    {"--predict", OptionKind::flag, &ConvertOptions::predict, 1},
    {"--kontakt-state", OptionKind::flag, &ConvertOptions::kontakt_state, 1},
    {"--no-kontakt-state", OptionKind::flag, &ConvertOptions::kontakt_state, 0},
    {"--prefer-clap", OptionKind::flag, &ConvertOptions::prefer_clap, 1},
    {"--keep-frozen", OptionKind::flag, &ConvertOptions::keep_frozen, 1},
    {"--keep-inaudible-midi", OptionKind::flag, &ConvertOptions::keep_inaudible_midi, 1},
    {"--truncate-midi-to-clip", OptionKind::flag, &ConvertOptions::truncate_midi_to_clip, 1},
    {"--no-track-colors", OptionKind::flag, &ConvertOptions::no_track_colors, 1},
    {"--no-clip-colors", OptionKind::flag, &ConvertOptions::no_clip_colors, 1},
    {"--no-stand-ins", OptionKind::flag, &ConvertOptions::no_stand_ins, 1},
    {"--no-ara", OptionKind::flag, &ConvertOptions::no_ara, 1},
    {"--skip-hidden-tracks", OptionKind::flag, &ConvertOptions::skip_hidden_tracks, 1},
    {"--skip-inactive-tracks", OptionKind::flag, &ConvertOptions::skip_inactive_tracks, 1},
    {"--usage-shared", OptionKind::flag, &ConvertOptions::usage_shared, 1},
    {"--check", OptionKind::check},
    {"--skip-bypassed-fx", OptionKind::skip_bypassed},
    {"--skip-muted-fx", OptionKind::skip_bypassed},
    {"--offline-bypassed-fx", OptionKind::offline_bypassed},
    {"-o", OptionKind::value},
    {"--tempo", OptionKind::value},
    {"--audio-dir", OptionKind::value},
    {"--vstini", OptionKind::value},
    {"--params", OptionKind::value},
    {"--want-params", OptionKind::value},
    {"--pt-theme", OptionKind::value},
    {"--usage-json", OptionKind::value},
    {"--comments", OptionKind::value},
    {"--dump-corpus", OptionKind::value},
    {"--learn", OptionKind::learn},
    {"--tempo-ramps", OptionKind::tempo_ramps},
    {"--progress", OptionKind::progress},
    {"--convert-twice", OptionKind::convert_twice},
    {"--pause", OptionKind::pause},
    {"--no-pause", OptionKind::no_pause},
    {"--version", OptionKind::version},
    {"-h", OptionKind::help},
    {"--help", OptionKind::help},
};

const OptionWord* find_option(const std::string& a) {
    for (const OptionWord& option : kOptionWords)
        if (a == option.word) return &option;
    return nullptr;
}

// The --tempo value; NaN (refused later) unless the whole text is one number.
double tempo_from_text(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (text.empty() || end != begin + text.size()) return std::nan("");
    return value;
}

// Options that take the next argument whatever it looks like.
void set_value(CommandLine& cl, const std::string& a, const std::string& value) {
    ConvertOptions& o = cl.options;
    if (a == "-o") {
        o.output_path = value;
    } else if (a == "--tempo") {
        cl.tempo_text = value;
        o.tempo = tempo_from_text(value);
    } else if (a == "--audio-dir") {
        o.audio_folder = value;
        o.audio_folder_given = 1;
    } else if (a == "--vstini") {
        o.reaper_vst_cache_file = value;
    } else if (a == "--params") {
        o.param_name_files.push_back(value);
    } else if (a == "--want-params") {
        o.wanted_params_file = value;
    } else if (a == "--pt-theme") {
        if (value == "classic" || value == "light")
            o.clip_color_theme = ClipColorTheme::classic;
        else if (value == "dark")
            o.clip_color_theme = ClipColorTheme::dark;
        else
            o.clip_color_theme = ClipColorTheme::follow_session;
    } else if (a == "--usage-json") {
        o.usage_json_file = value;
    } else if (a == "--comments") {
        if (value == "item")
            o.comments_mode = CommentsMode::item;
        else if (value == "none")
            o.comments_mode = CommentsMode::none;
        else
            o.comments_mode = CommentsMode::project;
    } else if (a == "--dump-corpus") {
        cl.dump_corpus_given = true;
        cl.dump_corpus_dir = value;
    }
}

std::string join_words(const std::vector<std::string>& words, std::size_t first,
                       std::size_t count) {
    std::string joined;
    for (std::size_t i = first; i < first + count; ++i) {
        if (i > first) joined += ' ';
        joined += words[i];
    }
    return joined;
}

void pause_if_on() {
    if (process_settings.pause_at_exit) press_enter_to_close();
}

// Reads the report file back and compares it with the result's report text.
int run_api_selftest(const ConvertOptions& options) {
    ConvertOptions copy = options;
    copy.report = 1;
    ConversionResult result;
    int rc = convert_session(copy, &result, nullptr);
    std::string on_disk;
    bool read_ok = false;
    if (!result.report_path.empty()) {
        if (std::FILE* f = std::fopen(result.report_path.c_str(), "rb")) {
            char buf[8192];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) on_disk.append(buf, n);
            std::fclose(f);
            read_ok = true;
        }
    }
    const char* word = read_ok && on_disk == result.report_text ? "IDENTICAL" : "DIFFER";
    say("  API SELFTEST: rc=%d report_text=%d ondisk=%d %s\n", rc,
        static_cast<int>(result.report_text.size()), static_cast<int>(on_disk.size()), word);
    say("  API SELFTEST: console_text=%d bytes\n", static_cast<int>(result.console_text.size()));
    return rc;
}

// Writes the usage summary into the file opened before the conversion (null when it could not
// be opened) and closes it.
void write_usage_summary(std::FILE* f, int code) {
    if (!f) {
        say("  could not write the usage summary file\n");
        return;
    }
    const std::string line = usage_summary_line(code, run_outcome.usage_body);
    const bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    // A full disk may show only at the close: the file is then not whole.
    if (std::fclose(f) != 0 || !written) say("  could not write the usage summary file\n");
}

}  // namespace

std::vector<std::string> accepted_option_words() {
    std::vector<std::string> words;
    for (const OptionWord& option : kOptionWords) words.emplace_back(option.word);
    return words;
}

CommandLine parse_arguments(const std::vector<std::string>& args, std::int32_t pause_at_exit) {
    CommandLine cl;
    cl.pause_at_exit = pause_at_exit;
    ConvertOptions& o = cl.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_next = i + 1 < args.size();
        // An option short of the arguments it needs does not act: it is unknown (exit 2).
        const OptionWord* option = find_option(a);
        if (option && option->kind == OptionKind::value && !has_next) option = nullptr;
        if (option && option->kind == OptionKind::learn && i + 2 >= args.size()) option = nullptr;
        if (!option) {
            if (a.empty()) continue;
            if (a[0] == '-') {
                cl.unknown_option = a;
                return cl;
            }
            cl.path_words.push_back(a);
            continue;
        }
        switch (option->kind) {
            case OptionKind::flag:
                o.*(option->field) = option->value;
                break;
            case OptionKind::value:
                set_value(cl, a, args[++i]);
                break;
            case OptionKind::check:
                o.check = 1;
                o.report = 0;
                break;
            case OptionKind::skip_bypassed:
                o.skip_bypassed = 1;
                o.bypassed_fx_mode = BypassedFxMode::leave_out;
                break;
            case OptionKind::offline_bypassed:
                o.bypassed_fx_mode = BypassedFxMode::offline;
                break;
            case OptionKind::learn:
                cl.learn = true;
                cl.learn_chain_file = args[i + 1];
                cl.learn_signature = args[i + 2];
                i += 2;
                break;
            case OptionKind::tempo_ramps:
                o.tempo_ramps = 1;
                if (has_next && (args[i + 1] == "ramps" || args[i + 1] == "steps")) {
                    o.tempo_ramps = args[i + 1] == "ramps" ? 1 : 0;
                    ++i;
                }
                break;
            case OptionKind::progress:
                cl.progress = true;
                break;
            case OptionKind::convert_twice:
                cl.convert_twice = true;
                break;
            case OptionKind::pause:
                cl.pause_at_exit = 1;
                break;
            case OptionKind::no_pause:
                cl.pause_at_exit = 0;
                break;
            case OptionKind::version:
                cl.version = true;
                return cl;
            case OptionKind::help:
                cl.help = true;
                return cl;
        }
    }
    return cl;
}

std::string session_path_from_words(const std::vector<std::string>& words) {
    std::size_t n = words.size();
    for (std::size_t len = n; len >= 1; --len) {
        for (std::size_t i = 0; i + len <= n; ++i) {
            std::string candidate = join_words(words, i, len);
            if (file_opens_for_reading(candidate)) return candidate;
        }
    }
    return join_words(words, 0, n);
}

std::string second_pass_output(const std::string& output_path) {
    std::size_t dot = output_path.rfind('.');
    std::size_t slash = output_path.find_last_of("/\\");
    std::string stem = output_path;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        stem = output_path.substr(0, dot);
    return stem + "-2nd.rpp";
}

int run_command_line(int argc, char** argv) {
    StdoutSink stdout_sink;
    output_state.current_sink = &stdout_sink;

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    CommandLine cl = parse_arguments(args, process_settings.pause_at_exit);
    process_settings.pause_at_exit = cl.pause_at_exit;
    // --check writes nothing: no corpus either.
    if (cl.dump_corpus_given && !cl.options.check)
        process_settings.dump_corpus_dir = cl.dump_corpus_dir;
    ConvertOptions& options = cl.options;
    options.program_path = program_file_path(argc > 0 ? argv[0] : nullptr);

    int code = 0;
    if (cl.version) {
        std::printf("lanwick %s (build %s)\n", program_version, program_build);
        std::fflush(stdout);
    } else if (cl.help) {
        say("%s", help_text);
    } else if (!cl.unknown_option.empty()) {
        say("\n  Unknown option: %s\n\n  Nothing was converted. Run  lanwick --help  for the "
            "options\n  this version understands.\n",
            cl.unknown_option.c_str());
        pause_if_on();
        code = 2;
    } else if (cl.learn) {
        code = learn_plugin(cl.learn_chain_file, cl.learn_signature, options.program_path);
        pause_if_on();
    } else if (!tempo_override_valid(options.tempo)) {
        say("%s", tempo_refusal_text(cl.tempo_text).c_str());
        pause_if_on();
        code = 1;
    } else {
        if (!cl.path_words.empty()) options.input_path = session_path_from_words(cl.path_words);
        if (!options.audio_folder_given && !options.input_path.empty())
            options.audio_folder = default_audio_folder(options.input_path);
        if (options.input_path.empty()) {
            say("lanwick: drag a .ptx file onto this program.\n");
            pause_if_on();
            code = 1;
        } else if (std::getenv("PTX_API_SELFTEST")) {
            code = run_api_selftest(options);
        } else {
            // The usage file is opened before the conversion, whose console and report say
            // whether a shared summary is written: a file that cannot be made is not one.
            std::FILE* usage_file = nullptr;
            if (writes_usage_summary(options)) {
                usage_file = std::fopen(options.usage_json_file.c_str(), "wb");
                if (!usage_file) options.usage_shared = 0;
            }
            if (cl.progress) {
                StderrProgress progress;
                code = convert_session(options, nullptr, &progress);
                if (code == 0) progress.update(6, 6, "done");
                if (!run_outcome.problem_kind.empty()) {
                    std::fprintf(stderr, "problem kind=%s %s\n", run_outcome.problem_kind.c_str(),
                                 run_outcome.problem_detail.c_str());
                    std::fflush(stderr);
                }
                if (!run_outcome.summary_line.empty()) {
                    std::fprintf(stderr, "%s\n", run_outcome.summary_line.c_str());
                    std::fflush(stderr);
                }
            } else {
                code = convert_session(options, nullptr, nullptr);
            }
            if (writes_usage_summary(options)) write_usage_summary(usage_file, code);
            if (cl.convert_twice && code == 0) {
                if (options.output_path.empty()) {
                    say("  --convert-twice needs -o: both passes would write the same file.\n");
                    code = 1;
                } else {
                    ConvertOptions second = options;
                    // Of the name the first pass chose: -o may name a folder.
                    second.output_path = second_pass_output(
                        project_output_name(options.output_path, options.input_path));
                    second.overwrite = 1;
                    code = convert_session(second, nullptr, nullptr);
                }
            }
            pause_if_on();
        }
    }
    std::fflush(stdout);
    output_state.current_sink = nullptr;
    return code;
}
