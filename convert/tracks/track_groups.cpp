#include "convert/tracks/track_groups.h"

#include <algorithm>
#include <tuple>

#include "app/output.h"

namespace {

constexpr std::uint32_t kMasterFader = 0x261d;
constexpr std::uint32_t kVcaMaster = 0x261f;

enum MaskSlot {
    attribute_0 = 0,
    vca_master = 1,
    vca_slave = 2,
    attribute_1 = 3,
    attribute_7 = 4,
    attribute_8 = 5
};

// Records by name, then member list: the ones stored more than once share a key.
struct RecordOrder {
    bool operator()(const SessionGroup* a, const SessionGroup* b) const {
        return std::tie(a->name, a->members) < std::tie(b->name, b->members);
    }
};

bool is_master_fader(const std::vector<NamedBlockEntry>& named, std::uint32_t member) {
    return member < named.size() && named[member].content_type == kMasterFader;
}

}  // namespace

TrackGroups keep_stored_groups(const std::vector<SessionGroup>& records, std::size_t strip_count) {
    TrackGroups out;
    std::map<const SessionGroup*, int, RecordOrder> stored;
    for (const SessionGroup& g : records)
        if (g.name != kAllGroupName) ++stored[&g];
    std::set<const SessionGroup*, RecordOrder> kept;
    for (const SessionGroup& g : records) {
        if (g.name == kAllGroupName) {
            out.strip_bound = std::max<std::int32_t>(out.strip_bound,
                                                     static_cast<std::int32_t>(g.members.size()));
            continue;
        }
        if (stored[&g] >= 2) {
            if (kept.insert(&g).second) out.kept.push_back(g);
        } else if (out.once_only.insert(g.name).second) {
            ++out.once_only_count;
        }
    }
    out.strip_count = static_cast<std::int32_t>(strip_count);
    if (out.strip_bound >= 0 && out.strip_bound != out.strip_count) {
        out.membership_off = 1;
        out.membership_bound = out.strip_bound;
    }
    return out;
}

void build_group_masks(TrackGroups& groups, const std::vector<std::string>& strips,
                       const std::vector<NamedBlockEntry>& named,
                       const std::map<std::size_t, std::uint32_t>& vca_values) {
    if (groups.membership_off) return;
    std::uint32_t k = 0;
    for (const SessionGroup& g : groups.kept) {
        for (std::uint32_t m : g.members)
            if (m >= strips.size()) ++groups.out_of_range_members;
        if (g.extra_index >= 0) {
            ++groups.vca_seen;
            const auto x = static_cast<std::uint32_t>(g.extra_index);
            if (x >= strips.size() || x >= named.size() || named[x].content_type != kVcaMaster) {
                groups.vca_master_not_strip.insert(g.name);
                continue;
            }
            if (k > 31) {
                ++groups.past_32;
                continue;
            }
            const std::uint32_t bit = 1u << k;
            bool linked = false;
            for (std::uint32_t m : g.members) {
                if (m >= strips.size() || m == x) continue;
                if (is_master_fader(named, m)) {
                    groups.master_fader_groups.insert(g.name);
                    continue;
                }
                groups.masks[strips[m]][vca_slave] |= bit;
                linked = true;
            }
            if (!linked) continue;
            groups.masks[strips[x]][vca_master] |= bit;
            const auto value = vca_values.find(x);
            if (value != vca_values.end())
                groups.vca_levels[strips[x]] = static_cast<std::int32_t>(value->second) / 10.0;
            ++groups.vca_written;
            ++k;
            continue;
        }
        if (g.type == 0) {
            groups.edit_groups.insert(g.name);
            continue;
        }
        if (g.type != 1 && g.type != 2) {
            groups.unknown_type_groups.insert(g.name);
            continue;
        }
        if (k > 31) {
            ++groups.past_32;
            continue;
        }
        const std::uint32_t bit = 1u << k;
        ++k;
        std::array<bool, 6> set{};
        if (g.has_attributes) {
            set[attribute_0] = g.attributes[0] != 0;
            set[attribute_1] = g.attributes[1] != 0;
            set[attribute_7] = g.attributes[7] != 0;
            set[attribute_8] = g.attributes[8] != 0;
            std::string listed;
            for (int b = 2; b < 32; ++b) {
                if (b == 4 || b == 7 || b == 8 || g.attributes[static_cast<std::size_t>(b)] == 0)
                    continue;
                listed += format_text("%s#%d", listed.empty() ? "" : " ", b);
            }
            if (!listed.empty()) groups.unsupported_attributes[g.name] = listed;
        } else {
            set[attribute_0] = true;
        }
        for (std::uint32_t m : g.members) {
            if (m >= strips.size()) continue;
            if (is_master_fader(named, m)) {
                groups.master_fader_groups.insert(g.name);
                continue;
            }
            for (std::size_t slot = 0; slot < set.size(); ++slot)
                if (set[slot]) groups.masks[strips[m]][slot] |= bit;
        }
        ++groups.written;
    }
}

GroupMaskSet group_masks_of(const TrackGroups& groups, const std::string& name,
                            const std::string& session_name) {
    auto found = groups.masks.find(name);
    if (found == groups.masks.end()) found = groups.masks.find(session_name);
    return found == groups.masks.end() ? GroupMaskSet{} : found->second;
}
