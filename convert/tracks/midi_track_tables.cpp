#include "convert/tracks/midi_track_tables.h"

#include "session/midi_chunks.h"

namespace {

template <typename Value>
void store_by_names(std::map<std::string, Value>& map, const NamedBlockEntry& entry,
                    const Value& value) {
    if (!entry.second_name.empty()) map[entry.second_name] = value;
    if (!entry.name.empty()) map.emplace(entry.name, value);
}

template <typename Value>
const Value* find_by_names(const std::map<std::string, Value>& map, const std::string& name,
                           const std::string& other_name) {
    auto found = map.find(name);
    if (found == map.end()) found = map.find(other_name);
    return found == map.end() ? nullptr : &found->second;
}

}  // namespace

MidiTrackTables midi_track_tables(const std::vector<NamedBlockEntry>& named,
                                  const std::vector<TrackMidiValues>& triples,
                                  const std::vector<MidiTrackProperties>& rows) {
    MidiTrackTables out;
    for (std::size_t i = 0; i < named.size(); ++i) {
        if (i < triples.size() && triples[i].volume >= 0)
            store_by_names(out.programs, named[i], triples[i]);
        if (i < rows.size() && any_property_on(rows[i]))
            store_by_names(out.properties, named[i], rows[i]);
    }
    return out;
}

MidiTrackValues midi_track_values(const MidiTrackTables& tables, const std::string& name,
                                  const std::string& other_name) {
    MidiTrackValues values;
    if (const TrackMidiValues* p = find_by_names(tables.programs, name, other_name)) {
        values.fader = p->volume;
        values.pan = p->pan;
        values.program = p->program;
    }
    if (const MidiTrackProperties* p = find_by_names(tables.properties, name, other_name))
        values.properties = *p;
    return values;
}
