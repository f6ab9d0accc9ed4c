#include "plugins/identification.h"

#include "plugins/reaper_cache.h"
#include "util/names.h"

namespace {

constexpr std::size_t kMinPartialNameLength = 4;

std::uint32_t code_number(std::string_view code) {
    std::uint32_t value = 0;
    for (char c : code) value = (value << 8) | static_cast<unsigned char>(c);
    return value;
}

template <typename Test>
int find_first(const CacheIndex& cache, Test test) {
    for (std::size_t i = 0; i < cache.entries->size(); ++i)
        if (test((*cache.entries)[i], i)) return static_cast<int>(i);
    return -1;
}

// The first entry whose class id decodes to "VST" followed by the code.
int find_vst_prefixed_class(const CacheIndex& cache, std::string_view code) {
    const std::string wanted = "VST" + std::string(code);
    return find_first(cache, [&](const ReaperPluginEntry&, std::size_t i) {
        return cache.class_bytes[i].starts_with(wanted);
    });
}

// The first entry without class id (and not CLAP) whose VST2 id is the number.
int find_vst2_id(const CacheIndex& cache, std::uint32_t id) {
    return find_first(cache, [&](const ReaperPluginEntry& e, std::size_t) {
        return !e.is_clap && e.vst3_class_id.empty() && e.vst2_id == id;
    });
}

int by_codes(const CacheIndex& cache, std::string_view key, bool prefer_vst3,
             std::string& rule_name) {
    if (key.size() < kAaxIdLength) return -1;
    const std::string_view maker = key.substr(0, 4), product = key.substr(4, 4);
    const std::uint32_t product_number = code_number(product);
    int found;

    if (key.starts_with("iZtp") && key[4] == 'Z' && key[7] == '0') {
        const std::string code = "Zn" + std::string(key.substr(5, 2));
        if ((found = find_vst_prefixed_class(cache, code)) >= 0) {
            rule_name = "iZotope code rule";
            return found;
        }
        if ((found = find_vst2_id(cache, code_number(code))) >= 0) {
            rule_name = "iZotope code rule (VST2)";
            return found;
        }
    }
    if (prefer_vst3) {
        if ((found = find_vst_prefixed_class(cache, product)) >= 0) {
            rule_name = "VST3 compat id (--prefer-vst3)";
            return found;
        }
        const int vst2 = find_vst2_id(cache, product_number);
        if (vst2 >= 0 && !cache.file_stems[static_cast<std::size_t>(vst2)].empty()) {
            const std::string& stem = cache.file_stems[static_cast<std::size_t>(vst2)];
            if ((found = find_first(cache, [&](const ReaperPluginEntry& e, std::size_t i) {
                     return e.is_vst3 && !e.vst3_class_id.empty() && cache.file_stems[i] == stem;
                 })) >= 0) {
                rule_name = "VST3 by filename stem (--prefer-vst3)";
                return found;
            }
        }
    }
    if ((found = find_vst2_id(cache, product_number)) >= 0) {
        rule_name = "VST2 id";
        return found;
    }
    if ((found = find_vst_prefixed_class(cache, product)) >= 0) {
        rule_name = "VST3 compat id";
        return found;
    }
    if ((found = find_first(cache, [&](const ReaperPluginEntry& e, std::size_t i) {
             return e.is_vst3 && cache.class_bytes[i].ends_with(product);
         })) >= 0) {
        rule_name = "VST3 class id ends in the AAX code";
        return found;
    }
    if ((found = find_first(cache, [&](const ReaperPluginEntry& e, std::size_t i) {
             const std::string& id = cache.class_bytes[i];
             return e.is_vst3 && id.find(maker) != std::string::npos &&
                    id.find(product) != std::string::npos;
         })) >= 0) {
        rule_name = "VST3 class id holds both AAX codes";
        return found;
    }
    return -1;
}

int by_name(const CacheIndex& cache, std::string_view display_name, std::string& rule_name) {
    // A name without letters or digits would be contained in every name.
    const std::string wanted = normalize_alnum_lower(display_name);
    if (wanted.empty()) return -1;
    int found = find_first(cache, [&](const ReaperPluginEntry&, std::size_t i) {
        return cache.bare_keys[i] == wanted || cache.name_keys[i] == wanted;
    });
    if (found >= 0) {
        rule_name = "name";
        return found;
    }
    found = find_first(cache, [&](const ReaperPluginEntry&, std::size_t i) {
        const std::string& name = cache.name_keys[i];
        return name.size() >= kMinPartialNameLength &&
               (wanted.find(name) != std::string::npos || name.find(wanted) != std::string::npos);
    });
    if (found >= 0) rule_name = "name (partial)";
    return found;
}

}  // namespace

CacheIndex index_cache(const std::vector<ReaperPluginEntry>& entries) {
    CacheIndex index;
    index.entries = &entries;
    for (const ReaperPluginEntry& e : entries) {
        index.class_bytes.push_back(decode_class_id(e.vst3_class_id));
        index.name_keys.push_back(normalize_alnum_lower(strip_paren_suffixes(e.name)));
        index.bare_keys.push_back(normalize_alnum_lower(e.bare_name));
        index.whole_name_keys.push_back(normalize_alnum_lower(e.name));
        index.file_stems.push_back(file_stem_alnum(e.file));
    }
    return index;
}

bool is_vst2_build(const ReaperPluginEntry& entry) {
    return !entry.is_clap && !entry.is_vst3 && entry.vst3_class_id.empty();
}

int identify_in_cache(const CacheIndex& cache, std::string_view key, std::string_view display_name,
                      bool prefer_vst3, std::string& rule_name) {
    const int found = by_codes(cache, key, prefer_vst3, rule_name);
    if (found >= 0) return found;
    return by_name(cache, display_name, rule_name);
}

int find_vst2_alternative(const CacheIndex& cache, std::string_view key, const PluginRuleRow& row) {
    if (row.id_text == nullptr || std::string_view(row.id_text).find('{') == std::string_view::npos)
        return -1;
    if (row.header_template != nullptr || row.trailing_block != nullptr) return -1;
    if (key.size() == kShellKeyLength) return -1;
    std::string rule_name;
    const int found =
        identify_in_cache(cache, key, row.display_name ? row.display_name : "", false, rule_name);
    if (found < 0) return -1;
    const ReaperPluginEntry& e = (*cache.entries)[static_cast<std::size_t>(found)];
    // A CLAP build found by name is no VST2 build either.
    if (!is_vst2_build(e) || e.name.find("(x86)") != std::string::npos) return -1;
    return found;
}

std::string last_parenthesised_text(std::string_view name) {
    for (;;) {
        const std::size_t open = name.rfind(" (");
        if (open == std::string_view::npos || name.empty() || name.back() != ')') return {};
        const std::string_view inner = name.substr(open + 2, name.size() - open - 3);
        if (inner.empty()) return {};
        std::size_t digits = 0;
        while (digits < inner.size() && inner[digits] >= '0' && inner[digits] <= '9') ++digits;
        const std::string_view rest = inner.substr(digits);
        if (digits > 0 && (rest == " out" || rest == "ch")) {
            name = name.substr(0, open);
            continue;
        }
        return std::string(inner);
    }
}
