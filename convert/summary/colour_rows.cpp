#include "convert/summary/colour_rows.h"

#include "app/output.h"
#include "convert/run_state.h"
#include "convert/tracks/track_stage_state.h"
#include "convert/writer/colors.h"

std::string uncoded_clip_rows() {
    if (settings.no_clip_colors) return "";
    std::string text;
    if (color_counters.clips_on_colored_tracks != 0)
        text += format_text(
            "      %d clip(s) with no color of their own are left for REAPER to\n"
            "      draw in the track color: MIDI clips (Pro Tools tints their notes,\n"
            "      not their body) and clips on hand-colored tracks, which are not\n"
            "      measured under this coding.\n",
            color_counters.clips_on_colored_tracks);
    if (color_counters.clips_unmeasured_coding != 0)
        text += format_text(
            "      What Pro Tools displays for a clip with no color of its\n"
            "      own under this coding has not been measured: %d such clip(s)\n"
            "      are left for REAPER to draw in their track's color.\n",
            color_counters.clips_unmeasured_coding);
    return text;
}

std::string instrument_colour_row(bool no_track_colors) {
    const ColourCoding& coding = track_stage.coding;
    if (no_track_colors || coding.devices_with_id == 0) return "";
    return format_text(
        "  %d track(s) feeding a plug-in instrument keep REAPER's default color.\n"
        "      Pro Tools colors them by the instrument's own device, which this\n"
        "      conversion cannot see.\n",
        coding.devices_with_id);
}
