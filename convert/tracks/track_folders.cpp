#include "convert/tracks/track_folders.h"

#include <algorithm>
#include <cstddef>

#include "convert/tracks/track_wiring_state.h"

namespace {

constexpr int kMoveSteps = 31;  // the longest walk when moving rows out of folders
constexpr std::size_t kMaxChain = 16;

bool is_folder(const StripRow& row) {
    return row.flag != 0 || row.kind == 11;
}

std::vector<std::int32_t> strip_rows_of_tracks(const FolderInput& in) {
    std::map<std::string, std::int32_t> first_row;
    for (std::size_t r = 0; r < in.rows.size(); ++r)
        first_row.emplace(in.rows[r].name, static_cast<std::int32_t>(r));
    std::vector<std::int32_t> out(in.tracks.size(), -1);
    for (std::size_t t = 0; t < in.tracks.size(); ++t) {
        const std::string& name = in.tracks[t].session_name;
        if (name.empty()) {
            if (t > 0) out[t] = out[t - 1];
            continue;
        }
        if (const auto it = first_row.find(name); it != first_row.end()) out[t] = it->second;
    }
    return out;
}

void flat_pass(const FolderInput& in, const std::vector<std::int32_t>& row_of) {
    TrackWiringState& w = track_wiring;
    const std::int32_t rows = static_cast<std::int32_t>(in.rows.size());
    std::vector<std::int32_t> folders;
    for (std::int32_t r = 0; r < rows; ++r)
        if (is_folder(in.rows[static_cast<std::size_t>(r)])) folders.push_back(r);
    // The folder whose member range holds each row, and per track; runs of tracks in one range.
    std::vector<std::int32_t> owner_of_row(static_cast<std::size_t>(rows), -1);
    for (std::size_t f = 0; f < folders.size(); ++f) {
        const std::int32_t end = f + 1 < folders.size() ? folders[f + 1] : rows;
        for (std::int32_t r = folders[f] + 1; r < end; ++r)
            owner_of_row[static_cast<std::size_t>(r)] = static_cast<std::int32_t>(f);
    }
    const std::size_t n = in.tracks.size();
    std::vector<std::int32_t> owner(n, -1), run_end(n, 0);
    std::vector<std::int32_t> first_track(static_cast<std::size_t>(rows), -1);
    std::vector<std::int32_t> last_track(folders.size(), -1);
    for (std::size_t t = 0; t < n; ++t) {
        if (row_of[t] < 0) continue;
        owner[t] = owner_of_row[static_cast<std::size_t>(row_of[t])];
        if (first_track[static_cast<std::size_t>(row_of[t])] < 0)
            first_track[static_cast<std::size_t>(row_of[t])] = static_cast<std::int32_t>(t);
        if (owner[t] >= 0)
            last_track[static_cast<std::size_t>(owner[t])] = static_cast<std::int32_t>(t);
    }
    for (std::size_t t = n; t-- > 0;)
        run_end[t] =
            t + 1 < n && owner[t + 1] == owner[t] ? run_end[t + 1] : static_cast<std::int32_t>(t);

    for (std::size_t k = 0; k < folders.size(); ++k) {
        const std::int32_t r = folders[k];
        const std::int32_t r2 = k + 1 < folders.size() ? folders[k + 1] : rows;
        const StripRow& row = in.rows[static_cast<std::size_t>(r)];
        if (r2 == r + 1) {
            ++w.counts.empty_folders;
            continue;
        }
        const std::int32_t f = first_track[static_cast<std::size_t>(r)];
        const std::int32_t l = last_track[k];
        const bool whole = f >= 0 && l >= 0 && f < l &&
                           owner[static_cast<std::size_t>(f + 1)] == static_cast<std::int32_t>(k) &&
                           run_end[static_cast<std::size_t>(f + 1)] >= l;
        if (!whole) {
            w.unwritten_folders.push_back(row.name);
            ++w.counts.unwritten_folders;
            continue;
        }
        w.folder_text[f] = "1 1";
        w.folder_text[l] = "2 -1";
        ++(row.kind == 11 ? w.counts.routing_folders : w.counts.other_folders);
        const bool earlier_folder = !folders.empty() && folders.front() < r;
        if (r > 0 && !is_folder(in.rows[static_cast<std::size_t>(r - 1)]) && earlier_folder)
            ++w.counts.folders_after_folder;
    }
}

struct NestedRows {
    std::vector<std::int32_t> parent;
    std::vector<std::int32_t> moved_past;      // -1 when not moved
    std::vector<std::uint8_t> linked_members;  // had members in the link table
};

// Parents from the link table; false on any breach (a missing or repeated id, a link from a row
// that is no folder, a member with two parents, a row its own ancestor).
bool parents_from_links(const FolderInput& in, NestedRows& out) {
    const std::size_t n = in.rows.size();
    std::map<std::uint64_t, std::int32_t> row_by_id;
    for (std::size_t r = 0; r < n; ++r) {
        if (in.rows[r].id == 0) return false;
        if (!row_by_id.emplace(in.rows[r].id, static_cast<std::int32_t>(r)).second) return false;
    }
    out.parent.assign(n, -1);
    out.moved_past.assign(n, -1);
    out.linked_members.assign(n, 0);
    for (const auto& [id, members] : *in.links) {
        const auto folder = row_by_id.find(id);
        if (folder == row_by_id.end() ||
            !is_folder(in.rows[static_cast<std::size_t>(folder->second)]))
            return false;
        for (std::uint64_t member : members) {
            const auto row = row_by_id.find(member);
            if (row == row_by_id.end() || out.parent[static_cast<std::size_t>(row->second)] >= 0)
                return false;
            out.parent[static_cast<std::size_t>(row->second)] = folder->second;
            out.linked_members[static_cast<std::size_t>(folder->second)] = 1;
        }
    }
    // A row linked as its own member, or a ring of links, would make every walk endless.
    std::vector<std::uint8_t> state(n, 0);  // 0 unseen, 1 on the walk, 2 done
    for (std::size_t r = 0; r < n; ++r) {
        std::vector<std::size_t> path;
        std::int32_t x = static_cast<std::int32_t>(r);
        while (x >= 0 && state[static_cast<std::size_t>(x)] == 0) {
            state[static_cast<std::size_t>(x)] = 1;
            path.push_back(static_cast<std::size_t>(x));
            x = out.parent[static_cast<std::size_t>(x)];
        }
        if (x >= 0 && state[static_cast<std::size_t>(x)] == 1) return false;
        for (std::size_t p : path) state[p] = 2;
    }
    return true;
}

bool moves_out(const FolderInput& in, NestedRows& rows) {
    bool moved = false;
    auto routing = [&](std::int32_t r) {
        const StripRow& row = in.rows[static_cast<std::size_t>(r)];
        return is_folder(row) && row.kind == 11;
    };
    for (std::size_t i = 0; i < in.rows.size(); ++i) {
        const std::int32_t r = static_cast<std::int32_t>(i);
        std::int32_t v = -1;
        if (routing(r)) {
            std::int32_t x = rows.parent[i];
            for (int step = 0; step < kMoveSteps && x >= 0; ++step) {
                if (!routing(x)) v = x;
                x = rows.parent[static_cast<std::size_t>(x)];
            }
        } else if (!in.main_send_off || !in.main_send_off->count(in.rows[i].name)) {
            std::int32_t x = rows.parent[i], c = -1;
            for (int step = 0; step < kMoveSteps && x >= 0; ++step) {
                v = routing(x) ? c : x;
                if (rows.parent[static_cast<std::size_t>(x)] < 0) break;
                c = v;
                x = rows.parent[static_cast<std::size_t>(x)];
            }
        }
        if (v < 0) continue;
        rows.parent[i] = rows.parent[static_cast<std::size_t>(v)];
        rows.moved_past[i] = v;
        moved = true;
    }
    return moved;
}

// One round of depths and ISBUS texts; false when the rows cannot be written as nested folders.
bool nested_round(const FolderInput& in, const std::vector<std::int32_t>& row_of,
                  const NestedRows& rows, std::vector<std::uint8_t>& opened) {
    const std::size_t n = in.rows.size();
    std::vector<std::uint8_t> has_members(n, 0);
    for (std::size_t r = 0; r < n; ++r)
        if (rows.parent[r] >= 0) has_members[static_cast<std::size_t>(rows.parent[r])] = 1;
    std::vector<std::vector<std::int32_t>> chains(n);
    for (std::size_t r = 0; r < n; ++r) {
        for (std::int32_t x = rows.parent[r]; x >= 0;
             x = rows.parent[static_cast<std::size_t>(x)]) {
            if (chains[r].size() == kMaxChain) return false;
            chains[r].push_back(x);
        }
        std::reverse(chains[r].begin(), chains[r].end());
    }
    opened.assign(n, 0);
    std::vector<std::int32_t> stack;
    std::vector<std::size_t> depth(in.tracks.size(), 0);
    static const std::vector<std::int32_t> no_chain;
    for (std::size_t t = 0; t < in.tracks.size(); ++t) {
        const std::int32_t r = row_of[t];
        const std::vector<std::int32_t>& chain =
            r >= 0 ? chains[static_cast<std::size_t>(r)] : no_chain;
        while (!stack.empty() &&
               !(stack.size() <= chain.size() && stack.back() == chain[stack.size() - 1]))
            stack.pop_back();
        if (stack != chain) return false;
        depth[t] = stack.size();
        if (r >= 0) {
            const StripRow& row = in.rows[static_cast<std::size_t>(r)];
            if (is_folder(row) && has_members[static_cast<std::size_t>(r)] &&
                row.name == in.tracks[t].session_name && !opened[static_cast<std::size_t>(r)]) {
                stack.push_back(r);
                opened[static_cast<std::size_t>(r)] = 1;
            }
        }
    }
    std::map<std::int32_t, std::string> texts;
    for (std::size_t t = 0; t < in.tracks.size(); ++t) {
        const long next = t + 1 < in.tracks.size() ? static_cast<long>(depth[t + 1]) : 0;
        const long d = next - static_cast<long>(depth[t]);
        if (d > 1) return false;
        if (d == 1) texts[static_cast<std::int32_t>(t)] = "1 1";
        if (d < 0) texts[static_cast<std::int32_t>(t)] = "2 " + std::to_string(d);
    }
    track_wiring.folder_text = std::move(texts);
    return true;
}

// The nested pass failed: the folders the link table puts inside another folder are written
// flat, beside it. Always false.
bool unplaced(const FolderInput& in, const std::vector<std::int32_t>& parent) {
    for (std::size_t r = 0; r < in.rows.size(); ++r)
        if (is_folder(in.rows[r]) && parent[r] >= 0) ++track_wiring.counts.nested_unplaced;
    return false;
}

bool nested_pass(const FolderInput& in, const std::vector<std::int32_t>& row_of) {
    TrackWiringState& w = track_wiring;
    NestedRows rows;
    if (!parents_from_links(in, rows)) return false;
    const std::vector<std::int32_t> original = rows.parent;
    const bool moved = moves_out(in, rows);
    std::vector<std::uint8_t> opened;
    if (!nested_round(in, row_of, rows, opened)) {
        if (!moved) return unplaced(in, original);
        w.folder_mode = 0;
        for (std::size_t r = 0; r < rows.parent.size(); ++r)
            if (rows.moved_past[r] >= 0)
                w.counts.unmoved_rows.push_back(
                    in.rows[r].name + " (in " +
                    in.rows[static_cast<std::size_t>(rows.moved_past[r])].name + ")");
        rows.parent = original;
        std::fill(rows.moved_past.begin(), rows.moved_past.end(), -1);
        if (!nested_round(in, row_of, rows, opened)) return unplaced(in, original);
    }
    std::vector<std::uint8_t> has_members(rows.parent.size(), 0);
    for (std::int32_t p : rows.parent)
        if (p >= 0) has_members[static_cast<std::size_t>(p)] = 1;
    for (std::size_t r = 0; r < in.rows.size(); ++r) {
        const StripRow& row = in.rows[r];
        if (!is_folder(row)) continue;
        if (opened[r]) {
            ++(row.kind == 11 ? w.counts.routing_folders : w.counts.other_folders);
        } else if (has_members[r]) {
            w.unwritten_folders.push_back(row.name);
            ++w.counts.unwritten_folders;
        } else if (rows.linked_members[r]) {
            ++w.counts.folders_moved_out;
        } else {
            ++w.counts.empty_folders;
        }
    }
    for (std::size_t r = 0; r < rows.moved_past.size(); ++r)
        if (rows.moved_past[r] >= 0)
            (is_folder(in.rows[r]) && in.rows[r].kind != 11 ? w.counts.moved_folder_rows
                                                            : w.counts.moved_rows)
                .push_back(in.rows[r].name + " out of " +
                           in.rows[static_cast<std::size_t>(rows.moved_past[r])].name);
    return true;
}

}  // namespace

std::vector<std::int32_t> wire_folders(const FolderInput& in) {
    TrackWiringState& w = track_wiring;
    const std::vector<std::int32_t> row_of = strip_rows_of_tracks(in);
    for (std::size_t t = 0; t < in.tracks.size(); ++t) {
        if (row_of[t] < 0) continue;
        const StripRow& row = in.rows[static_cast<std::size_t>(row_of[t])];
        if (is_folder(row) && row.kind == 11 && row.name == in.tracks[t].session_name)
            w.folder_track_indices.insert(static_cast<std::int32_t>(t));
    }
    const bool any_folder = std::any_of(in.rows.begin(), in.rows.end(), is_folder);
    const bool linked = in.links_read && in.links && !in.links->empty();
    w.folder_mode = !any_folder ? -1 : linked ? 1 : 0;
    if (in.links_read && !in.rows.empty() && linked) {
        if (nested_pass(in, row_of)) return row_of;
        w.folder_text.clear();
        w.folder_mode = 0;
    }
    flat_pass(in, row_of);
    return row_of;
}
