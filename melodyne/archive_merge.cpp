#include "melodyne/archive_merge.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

#include "melodyne/archive_format.h"
#include "melodyne/archive_queries.h"
#include "util/bytes.h"

namespace {

// An object id of one of the archives being merged.
using ArchiveKey = std::pair<const MelodyneArchive*, std::uint32_t>;

struct ArchiveKeyHash {
    std::size_t operator()(const ArchiveKey& key) const {
        return std::hash<const void*>()(key.first) * 0x9E3779B97F4A7C15ULL ^ key.second;
    }
};
using IdMap = std::unordered_map<ArchiveKey, std::uint32_t, ArchiveKeyHash>;

struct NumberedId {
    ArchiveKey key;
    // False for an id given while objects are rewritten (a reference nothing numbered): it gets
    // no record even when it names an object.
    bool may_have_record = true;
};

struct ClassTable {
    std::vector<ArchiveClass> classes;
    std::map<std::string, std::uint32_t> by_name;
};

// What is already merged: the document and every source kept so far.
struct MergeState {
    std::vector<std::string> strings;
    std::unordered_map<std::string, std::uint32_t> string_index;
    // Per archive, its string index to the merged one.
    std::map<const MelodyneArchive*, std::vector<std::uint32_t>> string_maps;
    ClassTable classes;
    // A numbered id's new id is its position in `numbered`.
    std::vector<NumberedId> numbered;
    IdMap new_ids;
    // An edit's link into its source archive, moved onto the source component's new id.
    IdMap relinked;
    std::map<std::string, std::string> renames;  // old persistent id to the project's name
    std::vector<std::uint32_t> source_ids;
    std::vector<std::uint32_t> modification_ids;
    std::map<const MelodyneArchive*, ArchiveLayout> layouts;  // made once per archive
};

// What one document or source adds, worked out before anything is merged, so that a source that
// fails leaves no trace.
struct MergePlan {
    std::vector<const MelodyneArchive*> archives;
    ClassTable classes;
    std::vector<ArchiveKey> numbered;  // new ids from the state's count on
    IdMap new_ids;
    IdMap relinked;
    std::vector<std::pair<std::string, std::string>> renames;
    std::uint32_t source_id = kNoArchiveId;
    std::vector<std::uint32_t> modification_ids;
};

const char* const kNoSource = "a source archive without exactly one source";
const char* const kNoModification = "a modification archive without exactly one modification";
const char* const kMissingElement = "an edit links to a missing source element";
const char* const kMissingComponent = "an edit links to a missing source component";
const char* const kOutsideSource = "an edit links outside its source";
const char* const kBadInlineKey = "a bad inline key";
const char* const kNoDocumentLists = "the document archive has no source/modification lists";

bool same_schema(const ArchiveClass& a, const ArchiveClass& b) {
    if (a.value != b.value || a.fields.size() != b.fields.size()) return false;
    for (std::size_t k = 0; k < a.fields.size(); ++k) {
        const ArchiveAttr& x = a.fields[k];
        const ArchiveAttr& y = b.fields[k];
        if (x.name != y.name || x.count != y.count || x.type != y.type || x.size != y.size) {
            return false;
        }
    }
    return true;
}

// Adds the archive's classes by name; false with the class's name when one conflicts.
bool merge_classes(ClassTable& table, const MelodyneArchive& archive, std::string& error) {
    for (const ArchiveClass& cls : archive.classes) {
        const auto [it, added] =
            table.by_name.emplace(cls.name, static_cast<std::uint32_t>(table.classes.size()));
        if (added) {
            table.classes.push_back(cls);
            continue;
        }
        ArchiveClass& known = table.classes[it->second];
        if (known.fields.empty()) {
            known.value = cls.value;
            known.fields = cls.fields;
        } else if (!cls.fields.empty() && !same_schema(known, cls)) {
            error = "schema conflict: " + cls.name;
            return false;
        }
    }
    return true;
}

// The id a key stands for so far (an edit's moved link first), if any.
std::optional<std::uint32_t> planned_id(const MergeState& state, const MergePlan& plan,
                                        const ArchiveKey& key) {
    for (const auto* map : {&plan.relinked, &state.relinked, &plan.new_ids, &state.new_ids}) {
        const auto it = map->find(key);
        if (it != map->end()) return it->second;
    }
    return std::nullopt;
}

// Numbers every id reachable from `root` that has no new id yet, in visit order.
void number_reachable(const MergeState& state, MergePlan& plan, const MelodyneArchive& archive,
                      std::uint32_t root) {
    for (std::uint32_t id : archive_collect_reachable(archive, root)) {
        const ArchiveKey key{&archive, id};
        if (plan.new_ids.count(key) || state.new_ids.count(key)) continue;
        plan.new_ids.emplace(
            key, static_cast<std::uint32_t>(state.numbered.size() + plan.numbered.size()));
        plan.numbered.push_back(key);
    }
}

// The one id in the root's named list, or nothing.
std::optional<std::uint32_t> single_root_entry(const MelodyneArchive& archive,
                                               std::string_view list) {
    const std::vector<std::uint32_t> ids =
        archive_list_elements(archive, archive_read_ref_field(archive, 0, list));
    if (ids.size() != 1) return std::nullopt;
    return ids.front();
}

// The text of the GNString that the object's "persistentID" names, if any.
std::optional<std::string> persistent_id(const MelodyneArchive& archive, std::uint32_t id) {
    const ArchiveObject* text =
        archive_object(archive, archive_read_ref_field(archive, id, "persistentID"));
    std::string value;
    if (!text || archive_class_name(archive, *text) != "GNString" ||
        !read_string_blob(text->tail, value)) {
        return std::nullopt;
    }
    return value;
}

// Links the edits of modification `m` that point into the source archive to the source's
// components: an edit names its source element and the component within that element.
bool relink_edits(const MergeState& state, MergePlan& plan, const MelodyneArchive& source,
                  std::uint32_t s, const MelodyneArchive& modification, std::uint32_t m,
                  std::string& error) {
    const ArchiveLayout edit_layout = archive_layout(modification);
    const ArchiveLayout source_layout = archive_layout(source);
    std::optional<std::vector<std::uint32_t>> elements;  // found only when an edit needs them
    std::map<std::int32_t, std::vector<std::uint32_t>> components_of;  // by element, as read
    for (std::uint32_t id : archive_collect_reachable(modification, m)) {
        const ArchiveObject* component = archive_object(modification, id);
        if (!component || archive_class_name(modification, *component) != "MUAudioComponent") {
            continue;
        }
        const std::uint32_t link =
            archive_read_ref_field(modification, edit_layout, id, "audioSourceComponent");
        if (link == kNoArchiveId || archive_object(modification, link)) continue;
        if (!elements) {
            const std::uint32_t description =
                archive_read_ref_field(source, source_layout, s, "effectiveAudioSourceDescription");
            const std::uint32_t custom =
                archive_read_ref_field(source, source_layout, description, "customAudioSource");
            elements = archive_list_elements(
                source,
                archive_read_ref_field(source, source_layout, custom, "audioSourceElements"));
        }
        const std::int32_t e =
            archive_read_int_field(modification, edit_layout, id, "splitArchiveSourceElementIndex");
        const std::int32_t k = archive_read_int_field(modification, edit_layout, id,
                                                      "splitArchiveSourceComponentIndex");
        if (e < 0 || static_cast<std::size_t>(e) >= elements->size()) {
            error = kMissingElement;
            return false;
        }
        auto [at, added] = components_of.try_emplace(e);
        if (added) {
            at->second = archive_list_elements(
                source, archive_read_ref_field(source, source_layout, (*elements)[e],
                                               "audioSourceComponents"));
        }
        const std::vector<std::uint32_t>& components = at->second;
        if (k < 0 || static_cast<std::size_t>(k) >= components.size()) {
            error = kMissingComponent;
            return false;
        }
        const std::optional<std::uint32_t> target =
            planned_id(state, plan, {&source, components[k]});
        if (!target) {
            error = kOutsideSource;
            return false;
        }
        plan.relinked[{&modification, link}] = *target;
    }
    return true;
}

// Every object the plan numbered must have inline keys inside its archive's string table.
bool inline_keys_valid(const MergePlan& plan) {
    std::vector<std::uint64_t> offsets;
    for (const ArchiveKey& key : plan.numbered) {
        const ArchiveObject* object = archive_object(*key.first, key.second);
        if (object && !archive_inline_key_offsets(*key.first, *object, offsets)) return false;
    }
    return true;
}

bool plan_document(const MergeState& state, const MelodyneArchive& document, MergePlan& plan,
                   std::string& error) {
    plan.archives = {&document};
    plan.classes = state.classes;
    if (!merge_classes(plan.classes, document, error)) return false;
    number_reachable(state, plan, document, 0);  // the root keeps id 0
    if (!inline_keys_valid(plan)) {
        error = kBadInlineKey;
        return false;
    }
    return true;
}

bool plan_source(const MergeState& state, const AraClipArchive& clip, MergePlan& plan,
                 std::string& error) {
    plan.classes = state.classes;
    if (!clip.source) {
        error = kNoSource;
        return false;
    }
    const MelodyneArchive& source = *clip.source;
    plan.archives.push_back(&source);
    for (const MelodyneArchive* modification : clip.modifications) {
        if (modification) plan.archives.push_back(modification);
    }
    for (const MelodyneArchive* archive : plan.archives) {
        if (!merge_classes(plan.classes, *archive, error)) return false;
    }

    const std::optional<std::uint32_t> s = single_root_entry(source, "audioSources");
    if (!s) {
        error = kNoSource;
        return false;
    }
    number_reachable(state, plan, source, *s);
    plan.source_id = *planned_id(state, plan, {&source, *s});
    if (const auto text = persistent_id(source, *s)) {
        plan.renames.emplace_back(*text, clip.source_name);
    }

    for (std::size_t j = 0; j < clip.modifications.size(); ++j) {
        const MelodyneArchive* modification = clip.modifications[j];
        const std::optional<std::uint32_t> m =
            modification ? single_root_entry(*modification, "audioModifications") : std::nullopt;
        if (!m) {
            error = kNoModification;
            return false;
        }
        number_reachable(state, plan, *modification, *m);
        plan.modification_ids.push_back(*planned_id(state, plan, {modification, *m}));
        if (!relink_edits(state, plan, source, *s, *modification, *m, error)) return false;
        const auto text = persistent_id(*modification, *m);
        if (text && j < clip.modification_names.size()) {
            plan.renames.emplace_back(*text, clip.modification_names[j]);
        }
    }
    if (!inline_keys_valid(plan)) {
        error = kBadInlineKey;
        return false;
    }
    return true;
}

void add_strings(MergeState& state, const MelodyneArchive& archive) {
    auto [it, added] = state.string_maps.try_emplace(&archive);
    if (!added) return;
    std::vector<std::uint32_t>& map = it->second;
    map.reserve(archive.strings.size());
    for (const std::string& text : archive.strings) {
        const auto [at, is_new] =
            state.string_index.emplace(text, static_cast<std::uint32_t>(state.strings.size()));
        if (is_new) state.strings.push_back(text);
        map.push_back(at->second);
    }
}

void commit(MergeState& state, MergePlan&& plan) {
    for (const MelodyneArchive* archive : plan.archives) add_strings(state, *archive);
    state.classes = std::move(plan.classes);
    for (const ArchiveKey& key : plan.numbered) state.numbered.push_back({key, true});
    state.new_ids.merge(plan.new_ids);
    for (const auto& [key, id] : plan.relinked) state.relinked[key] = id;
    for (auto& [from, to] : plan.renames) state.renames.emplace(std::move(from), std::move(to));
    if (plan.source_id != kNoArchiveId) {
        state.source_ids.push_back(plan.source_id);
        state.modification_ids.insert(state.modification_ids.end(), plan.modification_ids.begin(),
                                      plan.modification_ids.end());
    }
}

// The new id of a reference while objects are rewritten; an id nothing numbered gets the next
// one, with no record.
std::uint32_t final_id(MergeState& state, const ArchiveKey& key) {
    if (const auto it = state.relinked.find(key); it != state.relinked.end()) return it->second;
    if (const auto it = state.new_ids.find(key); it != state.new_ids.end()) return it->second;
    const auto id = static_cast<std::uint32_t>(state.numbered.size());
    state.new_ids.emplace(key, id);
    state.numbered.push_back({key, false});
    return id;
}

// The object with its references, inline keys and list elements in the merged numbering.
ArchiveObject rewrite_object(MergeState& state, const MelodyneArchive& archive,
                             const ArchiveObject& object, std::uint32_t new_id,
                             std::uint32_t merged_class) {
    ArchiveObject out;
    out.id = new_id;
    out.class_index = merged_class;
    out.field_data = object.field_data;
    auto [layout, added] = state.layouts.try_emplace(&archive);
    if (added) layout->second = archive_layout(archive);
    for (std::uint64_t at : archive_ref_offsets(layout->second, object)) {
        const std::uint32_t old = read_u32le_checked(std::string_view(object.field_data), at);
        put_u32le_at(out.field_data, at, final_id(state, {&archive, old}));
    }
    out.tail = object.tail;
    std::vector<std::uint64_t> offsets;
    archive_inline_key_offsets(archive, object, offsets);  // checked when the plan was made
    const std::vector<std::uint32_t>& strings = state.string_maps[&archive];
    for (std::uint64_t at : offsets) {
        put_u32le_at(out.tail, at, strings[read_u32le_checked(std::string_view(object.tail), at)]);
    }
    std::uint64_t head_end = 0, payload_end = 0;
    std::uint32_t count = 0;
    if (archive_class_name(archive, object) == "GNList" &&
        archive_list_bounds(object.tail, head_end, payload_end, count)) {
        for (std::uint64_t k = 0, at = payload_end + 4; k < count; ++k, at += 4) {
            const std::uint32_t old = read_u32le_checked(std::string_view(object.tail), at);
            if (old != kNoArchiveId) put_u32le_at(out.tail, at, final_id(state, {&archive, old}));
        }
    }
    return out;
}

MelodyneArchive build_merged(MergeState& state) {
    MelodyneArchive merged;
    // Rewriting may number further ids, so the loop reads the count afresh.
    for (std::size_t id = 0; id < state.numbered.size(); ++id) {
        const NumberedId numbered = state.numbered[id];
        const MelodyneArchive& archive = *numbered.key.first;
        const ArchiveObject* object = archive_object(archive, numbered.key.second);
        if (!numbered.may_have_record || !object) continue;
        const auto cls =
            state.classes.by_name.find(std::string(archive_class_name(archive, *object)));
        if (cls == state.classes.by_name.end()) continue;
        merged.index.emplace(static_cast<std::uint32_t>(id), merged.objects.size());
        merged.objects.push_back(
            rewrite_object(state, archive, *object, static_cast<std::uint32_t>(id), cls->second));
    }
    merged.class_of_id.assign(state.numbered.size(), kNoArchiveId);
    for (const ArchiveObject& object : merged.objects) {
        merged.class_of_id[object.id] = object.class_index;
    }
    merged.classes = state.classes.classes;
    for (ArchiveClass& cls : merged.classes) {
        for (ArchiveAttr& field : cls.fields) {
            const auto [it, added] = state.string_index.emplace(
                field.name, static_cast<std::uint32_t>(state.strings.size()));
            if (added) state.strings.push_back(field.name);
            field.name_index = it->second;
        }
    }
    merged.strings = state.strings;
    return merged;
}

void rename_persistent_ids(MelodyneArchive& merged,
                           const std::map<std::string, std::string>& renames) {
    std::string text;
    for (ArchiveObject& object : merged.objects) {
        if (archive_class_name(merged, object) != "GNString" ||
            !read_string_blob(object.tail, text)) {
            continue;
        }
        if (const auto it = renames.find(text); it != renames.end()) {
            object.tail = make_string_blob(object.tail, it->second);
        }
    }
}

// The merged root's source and modification lists, which must both be list objects.
bool set_document_lists(MelodyneArchive& merged, const MergeState& state) {
    const std::uint32_t sources = archive_read_ref_field(merged, 0, "audioSources");
    const std::uint32_t modifications = archive_read_ref_field(merged, 0, "audioModifications");
    std::uint64_t head_end = 0, payload_end = 0;
    std::uint32_t count = 0;
    for (std::uint32_t list : {sources, modifications}) {
        const ArchiveObject* object = archive_object(merged, list);
        if (!object || !archive_list_bounds(object->tail, head_end, payload_end, count)) {
            return false;
        }
    }
    archive_set_list_elements(merged.objects[merged.index.at(sources)], state.source_ids);
    archive_set_list_elements(merged.objects[merged.index.at(modifications)],
                              state.modification_ids);
    return true;
}

}  // namespace

std::string merge_melodyne_archives(const MelodyneArchive& document,
                                    std::span<const AraClipArchive> sources, std::string& error,
                                    std::vector<AraSourceFailure>& dropped) {
    error.clear();
    dropped.clear();
    MergeState state;
    MergePlan document_plan;
    if (!plan_document(state, document, document_plan, error)) return {};
    commit(state, std::move(document_plan));

    for (std::size_t k = 0; k < sources.size(); ++k) {
        MergePlan plan;
        std::string why;
        if (plan_source(state, sources[k], plan, why)) {
            commit(state, std::move(plan));
        } else {
            dropped.push_back({k, why});
        }
    }

    MelodyneArchive merged = build_merged(state);
    rename_persistent_ids(merged, state.renames);
    if (!set_document_lists(merged, state)) {
        error = kNoDocumentLists;
        return {};
    }
    return serialize_melodyne_archive(merged);
}
