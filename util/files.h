// Small file-system questions asked of paths given by the user.
#pragma once

#include <string>

// True when the path names a regular file that opens for reading (a folder does not count).
bool file_opens_for_reading(const std::string& path);
