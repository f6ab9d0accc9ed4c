// A track's comment as the session keeps it, for the project notes or a comment item.
#pragma once

#include <string>

struct TrackComment {
    std::string track_name;
    std::string comment;
};
