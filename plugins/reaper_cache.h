// REAPER's plug-in cache files: where they are looked for, how their lines read, and the texts
// REAPER's effect block carries for one cached plug-in.
//
// VST cache ("reaper-vstplugins64.ini" and its siblings), one plug-in per line:
//   [vstcache]
//   reaeq.dll=00A1B2C3D4E5F601,1919247729,ReaEQ (Cockos)
//   Qzzy_EQ.vst3=00A1B2C3D4E5F601,1366323801{5653545A7A79455171...},Qzzy EQ (Qzzy)
//   Synth.dll=00A1B2C3D4E5F601,1400000000,Synth (Maker) (16 out)!!!VSTi
//   WaveShell1-VST_x64.dll<1127168594=...        a plug-in inside a shell: digits after '<'
//   Multi.vst3<5653...32 hex...>=...              a class of a VST3 file: the class id in <>
//   Broken.dll=00A1B2C3D4E5F601                   a failed scan: no plug-in
// The key is the file name with blanks written as '_'; the first field (a timestamp) is not
// read; the second is the decimal VST2 id, followed for VST3 by the class id in braces; the rest
// is the name as REAPER shows it, "!!!VSTi" marking an instrument.
//
// CLAP cache ("reaper-clap-win64.ini" and its siblings), one section per file:
//   [Qzzy.clap]
//   _=00A1B2C3D4E5F601
//   com.qzzy.synth=1|Qzzy Synth (Qzzy)            flags word (odd: instrument) '|' name
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/plugin_records.h"

// One VST cache line appended to `out` when it names a plug-in; false when it does not.
bool parse_vst_cache_line(std::string_view line, std::vector<ReaperPluginEntry>& out);

// Reads CLAP cache lines one after the other: `section` carries the current "[...]" file across
// calls (empty while no valid section is open, when entries are passed over).
bool parse_clap_cache_line(std::string_view line, std::string& section,
                           std::vector<ReaperPluginEntry>& out);

// Every entry of one cache file; empty when it does not open or names no plug-in.
std::vector<ReaperPluginEntry> read_vst_cache_file(const std::string& path);
std::vector<ReaperPluginEntry> read_clap_cache_file(const std::string& path);

// The VST cache files tried, in order: the --vstini file when given, then for each cache file
// name the session's folder, the program's folder (each when known), the current folder, and
// REAPER's folders under APPDATA and then HOME (each when set).
std::vector<std::string> vst_cache_candidates(const std::string& vstini,
                                              const std::string& session_folder,
                                              const std::string& program_folder);

// Fills `entries` from the first VST cache candidate that names at least one plug-in, then adds
// the CLAP entries of the first CLAP cache in that file's folder that names one. Returns the
// number of entries; `path_used` is the VST cache file taken (empty when none).
int read_reaper_plugin_cache(const std::string& vstini, const std::string& session_folder,
                             const std::string& program_folder,
                             std::vector<ReaperPluginEntry>& entries, std::string& path_used);

// A plug-in of a Waves shell as REAPER 6 caches list them: a .vst3 entry of the shell's file,
// without a class id.
bool is_waves_shell_entry_without_class_id(const ReaperPluginEntry& entry);

// The id text and type text REAPER's effect block carries for the entry.
void describe_reaper_plugin(const ReaperPluginEntry& entry, std::string& id_text,
                            std::string& type_text);

// REAPER's class id for a VST2 plug-in: "VST", the id's bytes from the most significant, and the
// first 9 letters and digits of the effect's name lower-cased, zero-padded to 16 bytes; 32
// upper-case hex digits. The effect's name is REAPER's name (`name` of the cache entry) without
// its channel groups and its maker: "CLA-76 Mono (Waves)" gives "cla76mono", "Kontakt 4 (x86)
// (Native Instruments GmbH) (8 out)" "kontakt4x". A plug-in whose own effect name keeps blanks
// or signs gets another id from REAPER, which the cache does not show (44 of the 50 such VST2
// ids of the projects REAPER saved follow this rule).
std::string vst3_compat_uid_hex(std::uint32_t id, std::string_view name);

// The class id a VST3 plug-in forms from its four-character code and its name: "VST", the
// code's bytes, and the first 9 bytes of the effect's name (as above) lower-cased with blanks and
// signs kept: "Waves Tune Real-Time Mono (Waves)" gives "waves tun", "CLA-76 Mono (Waves)"
// "cla-76 mo". iZotope's VST3 builds keep the name's case ("Ozone 9 E"). This matches all 10
// such ids of the projects REAPER saved; the VST2 rule above matches 6 of them.
std::string vst3_class_id_from_name(std::uint32_t code, std::string_view name);

// True when the id text names a plug-in of the cache (by CLAP id, decimal VST2 id or braced
// class id); also true when the cache or the id text is empty, since nothing can be checked.
bool cache_has_plugin_id(const std::vector<ReaperPluginEntry>& entries, std::string_view id_text);

// The 16 bytes of a 32-hex-digit class id; empty for any other text.
std::string decode_class_id(std::string_view hex);
