// Parameter-name tables: REAPER parameter names by index, per REAPER plug-in, so that a Pro Tools
// automation lane can find its REAPER parameter by name.
//
// A file holds one row per line, four TAB-separated fields: the REAPER type text, a build text
// telling builds of that plug-in apart, the parameter index (1 to 6 decimal digits) and the name
// (up to the next TAB). A first field "plugin" marks a header line.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct ParamNameTable {
    std::map<std::string, std::map<std::uint32_t, std::string>> names_by_plugin;
    std::map<std::string, std::map<std::string, std::map<std::uint32_t, std::string>>>
        names_by_build;
};

// Reads one file into the table; a later row for the same place replaces the earlier name.
// Returns the number of rows taken (0 for a file that does not open).
int read_param_table(const std::string& path, ParamNameTable& table);

// Once every file is read: a plug-in listed for two or more builds keeps only the indices whose
// name every build gives alike.
void merge_param_name_tables(ParamNameTable& table);
