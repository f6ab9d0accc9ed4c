#include "convert/clips/clip_gain.h"

ClipGainCounts apply_clip_gain(const std::map<std::string, double>& gains,
                               const std::map<std::string, GainCurve>& lines, ClipModel& model) {
    ClipGainCounts counts;
    if (gains.empty()) return counts;
    for (auto& [track, clips] : model.main_clips) {
        for (ClipRecord& clip : clips) {
            if (const auto gain = gains.find(clip.name); gain != gains.end()) {
                ClipRareFields& rare = clip.rare.edit();
                rare.has_gain = 1;
                rare.gain_db = gain->second;
                ++counts.clips_with_gain;
                if (const auto line = lines.find(clip.name); line != lines.end()) {
                    rare.gain_points.clear();
                    for (const GainPoint& p : line->second)
                        rare.gain_points.push_back({static_cast<double>(p.position), p.db});
                    // The envelope carries the line from its first point on.
                    rare.gain_db = 0.0;
                }
            }
            const SharedText& group_name = clip.rare.get().group_name;
            if (group_name.empty()) continue;
            const auto group = gains.find(group_name);
            if (group != gains.end() && group->second != 0.0) {
                ClipRareFields& rare = clip.rare.edit();
                if (!rare.has_gain) {
                    rare.has_gain = 1;
                    rare.gain_db = 0.0;
                    ++counts.clips_with_gain;
                }
                rare.gain_db += group->second;
                ++counts.group_gains_added;
            }
            if (lines.count(group_name)) {
                counts.group_lines_not_applied.insert(group_name);
                ++counts.group_line_clips;
            }
        }
    }
    return counts;
}
