// The mix-group filter, the tempo map's look-ups and the sends' breakpoint lists once searched
// every record, or every span, again for each one. Each faster form is compared here with the
// search it replaced (kept below as it was, or read_breakpoints itself) over many random inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "convert/tracks/track_groups.h"
#include "session/lane_records.h"
#include "session/tempo_map.h"
#include "tests/block_builder.h"

namespace {

// --- Mix groups ------------------------------------------------------------------------------

// The filter as it was: each record compared with every kept record and every record.
TrackGroups searched_stored_groups(const std::vector<SessionGroup>& records) {
    const auto same = [](const SessionGroup& a, const SessionGroup& b) {
        return a.name == b.name && a.members == b.members;
    };
    TrackGroups out;
    for (const SessionGroup& g : records) {
        if (g.name == kAllGroupName) {
            out.strip_bound = std::max<std::int32_t>(out.strip_bound,
                                                     static_cast<std::int32_t>(g.members.size()));
            continue;
        }
        bool already = false;
        for (const SessionGroup& k : out.kept) already = already || same(k, g);
        if (already) continue;
        int stored = 0;
        for (const SessionGroup& other : records) stored += same(other, g) ? 1 : 0;
        if (stored >= 2) {
            out.kept.push_back(g);
        } else if (out.once_only.insert(g.name).second) {
            ++out.once_only_count;
        }
    }
    return out;
}

TEST(LinearReaders, StoredGroupsMatchTheSearchOfEveryRecord) {
    std::mt19937 random(54);
    for (int round = 0; round < 2000; ++round) {
        std::vector<SessionGroup> records(random() % 12);
        for (SessionGroup& g : records) {
            const unsigned pick = random() % 5;
            g.name = pick == 0 ? kAllGroupName : std::string(1, static_cast<char>('a' + pick));
            g.members.resize(random() % 3);
            for (std::uint32_t& m : g.members) m = random() % 2;
            g.type = random() % 3;
        }
        const TrackGroups fast = keep_stored_groups(records, 3);
        const TrackGroups searched = searched_stored_groups(records);
        ASSERT_EQ(fast.kept.size(), searched.kept.size()) << round;
        for (std::size_t i = 0; i < fast.kept.size(); ++i) {
            EXPECT_EQ(fast.kept[i].name, searched.kept[i].name) << round;
            EXPECT_EQ(fast.kept[i].members, searched.kept[i].members) << round;
            EXPECT_EQ(fast.kept[i].type, searched.kept[i].type) << round;  // the first stored
        }
        EXPECT_EQ(fast.once_only, searched.once_only) << round;
        EXPECT_EQ(fast.once_only_count, searched.once_only_count) << round;
        EXPECT_EQ(fast.strip_bound, searched.strip_bound) << round;
    }
}

// --- Tempo map -------------------------------------------------------------------------------

// Both conversions as they were: every span from the map's start summed on each call.
double walked_ticks_to_seconds(const TempoMap& map, double ticks, double default_bpm) {
    constexpr double kLastEnd = 1e18;
    const std::vector<TempoEntry>& entries = map.entries;
    if (entries.empty()) return ticks * 60.0 / (default_bpm * kTicksPerQuarterNote);
    const TempoEntry& first = entries.front();
    if (first.start_tick > ticks) return ticks * 60.0 / (kTicksPerQuarterNote * first.bpm);
    double seconds = first.start_tick * 60.0 / (kTicksPerQuarterNote * first.bpm);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const double start = entries[i].start_tick;
        if (start >= ticks) break;
        const double next = i + 1 < entries.size() ? entries[i + 1].start_tick : kLastEnd;
        const double stop = next < ticks ? next : ticks;
        seconds += (stop - start) * 60.0 / (entries[i].bpm * kTicksPerQuarterNote);
    }
    return seconds;
}

double walked_seconds_to_ticks(const TempoMap& map, double seconds, double default_bpm) {
    const auto per_second = [](double bpm) { return bpm * kTicksPerQuarterNote / 60.0; };
    const std::vector<TempoEntry>& entries = map.entries;
    if (entries.empty()) return seconds * per_second(default_bpm);
    const TempoEntry& first = entries.front();
    double elapsed = first.start_tick / per_second(first.bpm);
    if (seconds <= elapsed) return seconds * per_second(first.bpm);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const double rate = per_second(entries[i].bpm);
        const bool last = i + 1 == entries.size();
        const double span = last ? 0.0 : (entries[i + 1].start_tick - entries[i].start_tick) / rate;
        if (last || seconds <= elapsed + span)
            return entries[i].start_tick + (seconds - elapsed) * rate;
        elapsed += span;
    }
    return 0.0;
}

// The same double, bit for bit (NaN equal to NaN).
bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

TEST(LinearReaders, TempoLookUpsMatchTheWalkFromTheStart) {
    std::mt19937_64 random(54);
    std::uniform_real_distribution<double> bpm(5.5, 400.0);
    int indexed_calls = 0;
    for (int round = 0; round < 600; ++round) {
        TempoMap map;
        double tick = static_cast<double>(random() % 3) * 480000.0;
        const std::size_t count = random() % 9;
        for (std::size_t i = 0; i < count; ++i) {
            map.entries.push_back({tick, bpm(random)});
            // Some entries share a start.
            if (random() % 4 != 0) tick += static_cast<double>(random() % 4000000) + 0.25;
        }
        // A map built by hand has no tables; a read one has them.
        if (round % 5 != 0) index_tempo_map(map);
        std::vector<double> probes = {-1.0, 0.0, std::nan(""), 1e19, tick + 1e9};
        for (const TempoEntry& e : map.entries)
            probes.insert(probes.end(), {e.start_tick, e.start_tick - 1.0, e.start_tick + 1.0});
        for (int i = 0; i < 20; ++i) probes.push_back(static_cast<double>(random() % 40000000));
        for (double t : probes) {
            const double seconds = walked_ticks_to_seconds(map, t, 97.0);
            EXPECT_TRUE(same_bits(ticks_to_seconds(map, t, 97.0), seconds)) << round << " " << t;
            for (double s : {seconds, seconds + 1e-9, seconds - 1e-9, t / 1e6})
                EXPECT_TRUE(same_bits(seconds_to_ticks(map, s, 97.0),
                                      walked_seconds_to_ticks(map, s, 97.0)))
                    << round << " " << s;
            indexed_calls += map.start_seconds.size() == map.entries.size() ? 1 : 0;
        }
    }
    EXPECT_GT(indexed_calls, 1000);
}

// --- Send lists ------------------------------------------------------------------------------

// What a send reads of read_breakpoints' answer (see BreakpointIndex::send_lists).
BreakpointGroups send_part(const BreakpointGroups& all) {
    BreakpointGroups out;
    out.multi = all.multi;
    if (!all.multi) {
        std::vector<std::uint64_t> lists = all.loose;
        for (const std::vector<std::uint64_t>& g : all.groups)
            lists.insert(lists.end(), g.begin(), g.end());
        std::sort(lists.begin(), lists.end());
        if (lists.size() > 4) lists.resize(4);
        out.loose = lists;
        return out;
    }
    out.loose.assign(all.loose.begin(),
                     all.loose.begin() + std::min<std::size_t>(3, all.loose.size()));
    for (std::size_t g = 0; g < 2 && g < all.groups.size(); ++g)
        out.groups.emplace_back(
            all.groups[g].begin(),
            all.groups[g].begin() + std::min<std::size_t>(2, all.groups[g].size()));
    return out;
}

// Random lists, groups of lists and filler, groups sometimes inside groups (which the index
// leaves to read_breakpoints), headers sometimes reaching past the bytes or of a block type the
// readers pass over.
std::string random_lists(std::mt19937& random, int depth) {
    using test_blocks::z_block;
    using test_blocks::zeros;
    std::string out;
    const int items = static_cast<int>(random() % 5);
    for (int i = 0; i < items; ++i) {
        const unsigned pick = random() % 10;
        if (pick < 4) {
            out += z_block(0x260a, zeros(random() % 30), random() % 12 == 0 ? 0x0100 : 1);
        } else if (pick < 7 && depth < 2) {
            const bool nested_allowed = random() % 6 == 0;
            out += z_block(0x260c, random_lists(random, nested_allowed ? depth + 1 : 2),
                           random() % 12 == 0 ? 0x0100 : 1);
        } else if (pick < 8) {
            out += std::string("Z\x01\x00\xff\xff\x00\x00", 7) + "\x0c\x26";  // past the end
        } else {
            out += zeros(random() % 25);
        }
    }
    return out;
}

TEST(LinearReaders, SendListsMatchReadBreakpoints) {
    std::mt19937 random(54);
    int compared = 0, multi = 0, left_to_the_scan = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string bytes;
        const int parts = 1 + static_cast<int>(random() % 4);
        for (int p = 0; p < parts; ++p) bytes += random_lists(random, random() % 3 == 0 ? 0 : 2);
        if (random() % 3 == 0) bytes.resize(bytes.size() - std::min<std::size_t>(bytes.size(), 5));
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const BreakpointIndex index(data, bytes.size());
        for (int q = 0; q < 30; ++q) {
            // Lanes start anywhere, often on a block, and end anywhere up to past the bytes.
            std::uint64_t start = random() % (bytes.size() + 1);
            if (random() % 2 == 0) {
                const std::size_t z = bytes.find('Z', static_cast<std::size_t>(start));
                if (z != std::string::npos) start = z;
            }
            const std::uint64_t end = start + random() % (bytes.size() + 30 - start);
            BreakpointGroups fast;
            if (!index.send_lists(start, end, fast)) {
                ++left_to_the_scan;
                continue;
            }
            BreakpointGroups all;
            read_breakpoints(data, bytes.size(), start, end, all);
            const BreakpointGroups want = send_part(all);
            ASSERT_EQ(fast.multi, want.multi) << round << " " << start << " " << end;
            EXPECT_EQ(fast.loose, want.loose) << round << " " << start << " " << end;
            if (fast.multi) {
                EXPECT_EQ(fast.groups, want.groups) << round << " " << start << " " << end;
            }
            ++compared;
            multi += fast.multi;
        }
    }
    // Most lanes take the index; some meet groups inside groups.
    EXPECT_GT(compared, 30000);
    EXPECT_GT(multi, 300);
    EXPECT_GT(left_to_the_scan, 100);
}

}  // namespace
