// Small file-system questions asked of paths given by the user.
#pragma once

#include <string>

// True when the path names a regular file that opens for reading (a folder does not count).
bool file_opens_for_reading(const std::string& path);

// True when the path names a folder (or a link to one).
bool is_folder(const std::string& path);
