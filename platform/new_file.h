// Creating a file only where none stands yet. Two conversions started at the same moment may
// choose the same free name; asking the system to create the file exclusively makes one of them
// win and tells the other to take the next name, where testing first and opening after would let
// both write into one file.
#pragma once

#include <cstdio>
#include <string>

enum class NewFileResult {
    created,  // the file is new and open for writing
    taken,    // something already stands at the path: a file, a folder or a link
    failed,   // it could not be created for another reason
};

// Creates the file at `path` (UTF-8, as every path of the program) and opens it for binary
// writing into `file`; `file` is null unless the result is `created`.
NewFileResult create_new_file(const std::string& path, std::FILE*& file);
