// The console's paragraphs about the Melodyne edits carried or left behind, and about the frozen
// tracks under --keep-frozen.
#pragma once

#include <string>

// The Melodyne rows, each at its own place; nothing when the session has no Melodyne record.
// The merge's problems.
void melodyne_merge_paragraph(std::string& text);
// The clips whose edits were not carried.
void melodyne_left_paragraph(std::string& text);
// The clips that carry them, with the session's "ARA Data" folder.
void melodyne_carried_paragraph(std::string& text, const std::string& session_folder);
// The three together, in that order.
void melodyne_paragraphs(std::string& text, const std::string& session_folder);

// The frozen tracks delivered frozen, and those written unfrozen with their reasons.
void frozen_track_paragraphs(std::string& text);

// The video tracks and items written, with the files not found, the frame rate and the items
// that carried a clip colour.
void video_track_paragraphs(std::string& text);
