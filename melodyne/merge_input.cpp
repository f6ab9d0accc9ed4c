#include "melodyne/merge_input.h"

#include <set>
#include <utility>

namespace {

const MelodyneArchive* loaded(const std::map<std::string, MelodyneArchive>& archives,
                              const std::string& path) {
    const auto it = archives.find(path);
    return it == archives.end() ? nullptr : &it->second;
}

}  // namespace

AraMergeInput build_ara_merge_input(std::span<const AraRecordArchives> records,
                                    const std::map<std::string, MelodyneArchive>& archives) {
    AraMergeInput input;
    input.use.assign(records.size(), AraRecordUse::unusable);
    input.source_of_record.assign(records.size(), 0);
    std::map<const MelodyneArchive*, std::uint32_t> source_place;
    std::set<std::pair<const MelodyneArchive*, const MelodyneArchive*>> modifications_seen;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const AraRecordArchives& record = records[r];
        const MelodyneArchive* document = loaded(archives, record.document);
        const MelodyneArchive* source = loaded(archives, record.source);
        const MelodyneArchive* modification = loaded(archives, record.modification);
        if (!record.usable || !document || !source || !modification) continue;
        if (!input.document) input.document = document;
        if (document != input.document) {
            input.use[r] = AraRecordUse::other_document;
            continue;
        }
        const auto [at, added] =
            source_place.emplace(source, static_cast<std::uint32_t>(input.sources.size()));
        if (added) {
            AraClipArchive clip;
            clip.source = source;
            clip.source_name = "lanwick-source-" + std::to_string(input.sources.size() + 1);
            input.sources.push_back(std::move(clip));
        }
        AraClipArchive& clip = input.sources[at->second];
        if (modifications_seen.emplace(source, modification).second) {
            clip.modifications.push_back(modification);
            clip.modification_names.push_back("lanwick-modification-" +
                                              std::to_string(at->second + 1) + "-" +
                                              std::to_string(clip.modifications.size()));
        }
        input.use[r] = AraRecordUse::merged;
        input.source_of_record[r] = at->second;
    }
    return input;
}
