#include "convert/writer/ara_transfer.h"

AraTransfer ara_transfer;

void reset_ara_transfer() {
    ara_transfer = AraTransfer{};
}

void prepare_ara_transfer() {
    AraTransfer& t = ara_transfer;
    t.merged.clear();
    t.error.clear();
    t.dropped.clear();
    t.input = build_ara_merge_input(t.records, t.archives);
    if (!t.input.document || t.input.sources.empty()) return;
    t.merged = merge_melodyne_archives(*t.input.document, t.input.sources, t.error, t.dropped);
}

const AraClipArchive* ara_take_source(std::int32_t ara_index) {
    const AraTransfer& t = ara_transfer;
    if (ara_index < 0 || t.merged.empty()) return nullptr;
    const auto record = static_cast<std::size_t>(ara_index);
    if (record >= t.input.use.size() || record >= t.input.source_of_record.size() ||
        t.input.use[record] != AraRecordUse::merged)
        return nullptr;
    const std::size_t source = t.input.source_of_record[record];
    return source < t.input.sources.size() ? &t.input.sources[source] : nullptr;
}

std::string ara_project_blocks() {
    AraTransfer& t = ara_transfer;
    if (t.merged.empty() || t.takes_written == 0) return {};
    // Only the sources the merge kept are in the document.
    std::vector<AraSourceLine> kept;
    for (const AraSourceLine& line : t.sources) {
        bool dropped = false;
        for (const AraSourceFailure& f : t.dropped)
            dropped |= f.source < t.input.sources.size() &&
                       t.input.sources[f.source].source_name == line.identifier;
        if (!dropped) kept.push_back(line);
    }
    std::string text = ara_blocks_text(t.merged, kept);
    if (text.empty())
        ++t.encoder_failed;
    else
        ++t.blocks_written;
    return text;
}

std::vector<std::string> ara_merge_messages() {
    const AraTransfer& t = ara_transfer;
    std::vector<std::string> out;
    if (!t.error.empty()) out.push_back(t.error);
    for (const AraSourceFailure& f : t.dropped) {
        const std::string name =
            f.source < t.input.sources.size() ? t.input.sources[f.source].source_name : "?";
        out.push_back(name + ": " + f.text);
    }
    if (t.encoder_failed)
        out.push_back("the merged archive could not be compressed, so no ARA block was written");
    return out;
}
