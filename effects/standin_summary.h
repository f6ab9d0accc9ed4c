// The console summary's paragraphs about the stand-ins of Avid's stock processors: how many
// arrive as REAPER's own effects and of which kinds, what the EQ3 fit did, and every setting a
// stand-in approximates or leaves out with the number of stand-ins it concerns.
#pragma once

#include <string>

std::string standin_paragraphs();
