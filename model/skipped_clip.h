// A clip left out of the project, named by where it was: its track and its own name.
#pragma once

#include <string>

struct SkippedClip {
    std::string track;
    std::string clip;
};
