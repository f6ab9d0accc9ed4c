// The console's paragraphs about the Melodyne edits carried or left behind, and about the frozen
// tracks under --keep-frozen.
#pragma once

#include <string>

// The rows of the merge's problems, the clips whose edits were not carried and the clips that
// carry them; nothing when the session has no Melodyne record.
void melodyne_paragraphs(std::string& text, const std::string& session_folder);

// The frozen tracks delivered frozen, and those written unfrozen with their reasons.
void frozen_track_paragraphs(std::string& text);

// The video tracks and items written, with the files not found and the frame rate.
void video_track_paragraphs(std::string& text);
