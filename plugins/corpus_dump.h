// --dump-corpus: for study, every plug-in block converted is kept beside the state written for
// it, one pair of files per distinct pair, with a line of index.tsv naming both.
//
//   <folder>/<id>.<hash>.block   the session bytes from the plug-in block to its settings end
//   <folder>/<id>.<hash>.chunk   the state bytes
//   <folder>/index.tsv           name sig product ident kind blocklen docoff doclen chunklen
//   session
// The hash is FNV-1a 64 over the block and then the state, so a pair already dumped (its block
// file exists) is passed over. In file names every byte of the id outside A-Z, a-z, 0-9, '$',
// '_', '-' is written '_'; the index keeps the id as read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/plugin_instance.h"
#include "plugins/plugin_rules.h"
#include "session/scan.h"

// FNV-1a 64 over `first`, then `second`.
std::uint64_t corpus_hash(std::string_view first, std::string_view second);

// "<folder>/<id>.<hash as 16 hex digits>.<extension>"; empty when longer than 1200 bytes.
std::string corpus_file_name(std::string_view folder, std::string_view aax_id,
                             std::string_view block, std::string_view state,
                             std::string_view extension);

// Dumps one slot into process_settings.dump_corpus_dir; nothing without that folder, without a
// state, or for a slot with no payload. `session_name`: the session file's name (may be empty).
// When the folder cannot be written, says so once per conversion on standard error.
void dump_corpus_entry(const SessionPluginInstance& instance, const PluginRuleRow* row,
                       SessionBytes bytes, std::string_view state, std::string_view session_name);
