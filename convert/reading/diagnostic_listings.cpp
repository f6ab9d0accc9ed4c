#include "convert/reading/diagnostic_listings.h"

#include <map>
#include <set>

#include "app/output.h"
#include "convert/writer/project_text.h"
#include "session/midi_chunks.h"

namespace {

// A stream is the event kind (the kind's low byte) times 256 plus, for controllers, the
// controller number, so streams sort pitch bend, the CCs by number, then aftertouch.
std::uint32_t stream_key(const ControllerEvent& e) {
    const std::uint8_t kind = controller_event_kind(e);
    return kind * 256u + (kind == kControllerEventKind ? controller_number(e) : 0u);
}

std::string stream_name(std::uint32_t key) {
    switch (key >> 8) {
        case kPitchBendEventKind:
            return "pitch bend";
        case kPressureEventKind:
            return "aftertouch";
        default:
            return format_text("CC %03u", key & 0xFFu);
    }
}

}  // namespace

std::string controller_dump_text(std::span<const MidiChunk> chunks) {
    std::string text;
    int streams = 0;
    long long events = 0;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const MidiChunk& chunk = chunks[i];
        std::map<std::uint32_t, int> counts;
        for (const ControllerEvent& e : chunk.controller_events) ++counts[stream_key(e)];
        text += format_text("chunk %-3d notes %-5u origin %llu\n", static_cast<int>(i),
                            chunk.event_count, static_cast<unsigned long long>(chunk.position));
        for (const auto& [key, count] : counts) {
            text += format_text("    %-16s count %d\n", stream_name(key).c_str(), count);
            ++streams;
            events += count;
        }
    }
    text += format_text("%d chunks, %d streams with data, %lld events\n",
                        static_cast<int>(chunks.size()), streams, events);
    return text;
}

std::string session_list_text(const SessionListInput& in) {
    std::string text = format_text("\n  tempo %g BPM, %lld Hz\n\n  session track table (%d):\n",
                                   in.tempo, static_cast<long long>(in.sample_rate),
                                   static_cast<int>(in.track_table.size()));
    for (std::size_t i = 0; i < in.track_table.size(); ++i)
        text += format_text("    %2d  %s\n", static_cast<int>(i),
                            single_line_text(in.track_table[i]).c_str());
    text += format_text("\n  buses (%d): ", static_cast<int>(in.buses.size()));
    for (const std::string& bus : in.buses) text += single_line_text(bus) + " | ";
    std::set<std::string> library_names;
    if (in.layout != nullptr) {
        for (const TrackRegion& r : in.layout->audio_track_regions)
            library_names.insert(r.track_name);
        for (const TrackRegion& r : in.layout->midi_track_regions)
            library_names.insert(r.track_name);
    }
    const std::set<std::string> table(in.track_table.begin(), in.track_table.end());
    text += format_text("\n\n  libptformat track names (%d unique):\n",
                        static_cast<int>(library_names.size()));
    for (const std::string& name : library_names)
        text += format_text("    %-34s %s\n", single_line_text(name).c_str(),
                            table.contains(name) ? "" : "<- not in table");
    return text;
}
