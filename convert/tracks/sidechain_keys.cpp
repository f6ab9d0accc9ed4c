#include "convert/tracks/sidechain_keys.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "app/output.h"
#include "convert/tracks/name_matching.h"
#include "convert/tracks/track_wiring_state.h"

namespace {

std::optional<std::string> key_name(const SessionPluginInstance& instance,
                                    const std::map<std::uint16_t, std::string>& names) {
    if (instance.channel_word < 0 ||
        instance.channel_word > std::numeric_limits<std::uint16_t>::max())
        return std::nullopt;
    const auto it = names.find(static_cast<std::uint16_t>(instance.channel_word));
    if (it == names.end()) return std::nullopt;
    return it->second;
}

// The channel of the last one-channel kind-2 entry of that name; -1 when none.
std::int32_t single_channel(std::span<const ChannelEntry> entries, const std::string& name) {
    std::int32_t channel = -1;
    bool found = false;
    for (const ChannelEntry& e : entries)
        if (e.kind == 2 && e.channels.size() == 1 && e.name == name) {
            channel = e.channels.front();
            found = true;
        }
    return found ? channel : -1;
}

// The first output track whose name or session name is `name`; -1 when none.
std::int32_t track_named(const std::map<std::string, std::int32_t>& first_track,
                         const std::string& name) {
    const auto it = first_track.find(name);
    return it == first_track.end() ? -1 : it->second;
}

// K without a final "." and the one character after it, when there is one.
std::string without_leg(const std::string& k) {
    const std::size_t dot = k.rfind('.');
    if (dot != std::string::npos && dot + 2 >= k.size()) return k.substr(0, dot);
    return k;
}

}  // namespace

std::set<std::uint64_t> find_multi_mono_pairs(
    const PluginsByTrack& plugins, std::span<const ChannelEntry> entries,
    const std::map<std::uint16_t, std::string>& key_names) {
    std::set<std::uint64_t> pairs;
    for (const auto& [track, chain] : plugins) {
        for (std::size_t i = 1; i < chain.size(); ++i) {
            const SessionPluginInstance& a = chain[i - 1];
            const SessionPluginInstance& b = chain[i];
            if (a.aax_id != b.aax_id || a.channel_word < 0 || b.channel_word < 0 ||
                a.channel_word == b.channel_word)
                continue;
            const std::optional<std::string> ka = key_name(a, key_names);
            const std::optional<std::string> kb = key_name(b, key_names);
            if (!ka || !kb) continue;
            const std::int32_t ca = single_channel(entries, *ka);
            const std::int32_t cb = single_channel(entries, *kb);
            if (ca < 0 || cb < 0) continue;
            const bool paired = std::any_of(entries.begin(), entries.end(), [&](const auto& e) {
                return e.kind == 2 && e.channels.size() == 2 &&
                       ((e.channels[0] == ca && e.channels[1] == cb) ||
                        (e.channels[0] == cb && e.channels[1] == ca));
            });
            if (!paired) continue;
            pairs.insert(b.block_pos);
            say("  NOTE: '%s' carries what looks like ONE unlinked MULTI-MONO\n    %s: two "
                "records, "
                "keyed off '%s' and '%s'. It is written\n    as two stereo plug-ins IN SERIES, "
                "which compresses twice --\n    Pro Tools runs one per channel in parallel. Known "
                "gap.\n",
                track.c_str(), a.aax_id.c_str(), ka->c_str(), kb->c_str());
        }
    }
    return pairs;
}

void wire_sidechain_keys(const SidechainKeyInput& in, TrackWiring& wiring) {
    TrackWiringCounts& counts = track_wiring.counts;
    static const NameIndex no_index;
    static const std::map<std::uint16_t, std::string> no_names;
    const NameIndex& index = in.index ? *in.index : no_index;
    const std::map<std::uint16_t, std::string>& names = in.key_names ? *in.key_names : no_names;
    if (!in.plugins) return;

    if (in.resolve_keys) {
        std::map<std::string, std::int32_t> first_track;
        for (std::size_t i = 0; i < in.tracks.size(); ++i) {
            first_track.emplace(in.tracks[i].name, static_cast<std::int32_t>(i));
            first_track.emplace(in.tracks[i].session_name, static_cast<std::int32_t>(i));
        }
        for (const auto& [track, chain] : *in.plugins) {
            std::vector<std::string> keys;  // distinct key names in order of first use
            for (std::size_t q = 0; q < chain.size(); ++q) {
                const SessionPluginInstance& instance = chain[q];
                if (instance.channel_word < 0) continue;
                auto unresolved = [&] {
                    wiring.unresolved_keys.insert(instance.block_pos);
                    ++counts.unresolved_keys;
                };
                const std::optional<std::string> k = key_name(instance, names);
                if (wiring.multi_mono_pairs.count(instance.block_pos) || !k) {
                    unresolved();
                    continue;
                }
                const std::string k_short = without_leg(*k);
                std::string n = resolve_name_via_index(index, *k);
                bool through_index = !n.empty();
                if (!through_index && k_short != *k) {
                    n = resolve_name_via_index(index, k_short);
                    through_index = !n.empty();
                }
                if (!through_index) {
                    n = *k;
                    if (!index.ids_by_key.count(n) && !index.ids_by_key.count(k_short)) {
                        unresolved();
                        continue;
                    }
                }
                std::int32_t x = track_named(first_track, n);
                if (x < 0) {
                    if (const auto bus = wiring.bus_track_numbers.find(n);
                        bus != wiring.bus_track_numbers.end()) {
                        x = bus->second;
                    } else if (k_short != n) {
                        x = track_named(first_track, k_short);
                        if (x < 0)
                            if (const auto leg = wiring.bus_track_numbers.find(k_short);
                                leg != wiring.bus_track_numbers.end())
                                x = leg->second;
                        if (x >= 0) n = k_short;
                    }
                }
                if (x < 0) {
                    unresolved();
                    continue;
                }
                auto at = std::find(keys.begin(), keys.end(), *k);
                std::int32_t j = static_cast<std::int32_t>(at - keys.begin());
                if (at == keys.end()) {
                    // A further key takes two more channels; REAPER stops at 128.
                    if (j > 0 && 2 * j + 4 > kMaxTrackChannels) {
                        ++counts.too_wide;
                        counts.too_wide_names.push_back(track + " (key " + *k + ")");
                        unresolved();
                        continue;
                    }
                    keys.push_back(*k);
                    if (j == 0) {
                        wiring.first_key_source[track] = x;
                        wiring.first_key_name[track] = *k;
                        wiring.first_key_slot[track] = static_cast<std::int32_t>(q);
                        ++counts.first_keys;
                    } else {
                        wiring.more_key_sources[track].push_back(x);
                        ++counts.further_keys;
                    }
                }
                track_wiring.key_source_index_by_instance[instance.block_pos] = j;
                if (j > 0) track_wiring.keyed_standin_instances.insert(instance.block_pos);
                if (!through_index) wiring.key_source_buses.insert(n);
            }
        }
    }

    // Plug-ins keyed off another source after the first keyed one, and every plug-in keyed from
    // the first key's source.
    for (const auto& [track, first_name] : wiring.first_key_name) {
        const auto chain = in.plugins->find(track);
        if (chain == in.plugins->end()) continue;
        const std::int32_t slot = wiring.first_key_slot.at(track);
        for (std::size_t q = static_cast<std::size_t>(slot) + 1; q < chain->second.size(); ++q)
            if (wiring.unresolved_keys.count(chain->second[q].block_pos)) {
                --counts.unresolved_keys;
                ++counts.keyed_elsewhere;
                ++counts.keyed_elsewhere_by_track[track];
            }
        for (const SessionPluginInstance& instance : chain->second) {
            const std::optional<std::string> k = key_name(instance, names);
            if (k && *k == first_name)
                track_wiring.keyed_standin_instances.insert(instance.block_pos);
        }
    }

    // Buses that share an id with a key name the index cannot name.
    for (const auto& [track, chain] : *in.plugins) {
        for (const SessionPluginInstance& instance : chain) {
            const std::optional<std::string> k = key_name(instance, names);
            if (!k || !resolve_name_via_index(index, *k).empty()) continue;
            const auto ids = index.ids_by_key.find(*k);
            if (ids == index.ids_by_key.end()) continue;
            const std::set<std::uint32_t> key_ids(ids->second.begin(), ids->second.end());
            for (const auto& [bus, number] : wiring.bus_track_numbers) {
                const auto bus_ids = index.ids_by_key.find(bus);
                if (bus_ids == index.ids_by_key.end()) continue;
                const bool shared =
                    std::any_of(bus_ids->second.begin(), bus_ids->second.end(),
                                [&](std::uint32_t id) { return key_ids.count(id) != 0; });
                if (shared) wiring.key_source_buses.insert(bus);
            }
        }
    }
}
