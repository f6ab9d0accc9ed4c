#include "convert/clips/clip_gain.h"

ClipGainCounts apply_clip_gain(const std::map<std::string, double>& gains,
                               const std::map<std::string, GainCurve>& lines, ClipModel& model) {
    ClipGainCounts counts;
    if (gains.empty()) return counts;
    for (auto& [track, clips] : model.main_clips) {
        for (ClipRecord& clip : clips) {
            if (const auto gain = gains.find(clip.name); gain != gains.end()) {
                clip.has_gain = 1;
                clip.gain_db = gain->second;
                ++counts.clips_with_gain;
                if (const auto line = lines.find(clip.name); line != lines.end()) {
                    clip.gain_points.clear();
                    for (const GainPoint& p : line->second)
                        clip.gain_points.push_back({static_cast<double>(p.position), p.db});
                    // The envelope carries the line from its first point on.
                    clip.gain_db = 0.0;
                }
            }
            if (clip.group_name.empty()) continue;
            const auto group = gains.find(clip.group_name);
            if (group != gains.end() && group->second != 0.0) {
                if (!clip.has_gain) {
                    clip.has_gain = 1;
                    clip.gain_db = 0.0;
                    ++counts.clips_with_gain;
                }
                clip.gain_db += group->second;
                ++counts.group_gains_added;
            }
            if (lines.count(clip.group_name)) {
                counts.group_lines_not_applied.insert(clip.group_name);
                ++counts.group_line_clips;
            }
        }
    }
    return counts;
}
