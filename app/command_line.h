// The console entry: reads the command line and runs what it asks for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/convert_options.h"

// What the argument loop made of the arguments (everything after the program path).
struct CommandLine {
    ConvertOptions options;
    std::vector<std::string> path_words;
    std::string tempo_text;  // the --tempo value as given
    bool help = false;
    bool version = false;
    std::string unknown_option;  // set: the loop stopped at this argument (exit 2)
    bool progress = false;
    bool convert_twice = false;
    bool learn = false;
    std::string learn_chain_file;
    std::string learn_signature;
    std::int32_t pause_at_exit = 0;
    bool dump_corpus_given = false;
    std::string dump_corpus_dir;
};

// Every option word the argument loop accepts, as its table holds them.
std::vector<std::string> accepted_option_words();

// The argument loop. `pause_at_exit` is the process's setting before the loop.
CommandLine parse_arguments(const std::vector<std::string>& args, std::int32_t pause_at_exit);

// The session path from the positional words: the longest, then leftmost, run of words joined
// with one blank that opens for reading; all words joined when none does.
std::string session_path_from_words(const std::vector<std::string>& words);

// The output path of the second pass of --convert-twice.
std::string second_pass_output(const std::string& output_path);

int run_command_line(int argc, char** argv);
