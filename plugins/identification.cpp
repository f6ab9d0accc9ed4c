#include "plugins/identification.h"

#include "plugins/reaper_cache.h"
#include "util/names.h"

namespace {

constexpr std::size_t kCodeKeyLength = 8;
constexpr std::size_t kMinPartialNameLength = 4;

std::uint32_t code_number(std::string_view code) {
    std::uint32_t value = 0;
    for (char c : code) value = (value << 8) | static_cast<unsigned char>(c);
    return value;
}

std::string stripped_key(const ReaperPluginEntry& entry) {
    return normalize_alnum_lower(strip_paren_suffixes(entry.name));
}

// The first entry whose class id decodes to "VST" followed by the code.
int find_vst_prefixed_class(const std::vector<ReaperPluginEntry>& cache, std::string_view code) {
    const std::string wanted = "VST" + std::string(code);
    for (std::size_t i = 0; i < cache.size(); ++i)
        if (decode_class_id(cache[i].vst3_class_id).starts_with(wanted)) return static_cast<int>(i);
    return -1;
}

// The first entry without class id (and not CLAP) whose VST2 id is the number.
int find_vst2_id(const std::vector<ReaperPluginEntry>& cache, std::uint32_t id) {
    for (std::size_t i = 0; i < cache.size(); ++i)
        if (!cache[i].is_clap && cache[i].vst3_class_id.empty() && cache[i].vst2_id == id)
            return static_cast<int>(i);
    return -1;
}

template <typename Test>
int find_first(const std::vector<ReaperPluginEntry>& cache, Test test) {
    for (std::size_t i = 0; i < cache.size(); ++i)
        if (test(cache[i])) return static_cast<int>(i);
    return -1;
}

int by_codes(const std::vector<ReaperPluginEntry>& cache, std::string_view key, bool prefer_vst3,
             std::string& rule_name) {
    if (key.size() < kCodeKeyLength) return -1;
    const std::string_view maker = key.substr(0, 4), product = key.substr(4, 4);
    const std::uint32_t product_number = code_number(product);
    int found;

    if (key.starts_with("iZtp") && key[4] == 'Z' && key[7] == '0') {
        const std::string code = "Zn" + std::string(key.substr(5, 2));
        if ((found = find_vst_prefixed_class(cache, code)) >= 0) {
            rule_name = "iZotope code rule";
            return found;
        }
        if ((found = find_first(cache, [&](const ReaperPluginEntry& e) {
                 return e.vst3_class_id.empty() && e.vst2_id == code_number(code);
             })) >= 0) {
            rule_name = "iZotope code rule (VST2)";
            return found;
        }
    }
    if (prefer_vst3) {
        if ((found = find_vst_prefixed_class(cache, product)) >= 0) {
            rule_name = "VST3 compat id (--prefer-vst3)";
            return found;
        }
        const int vst2 = find_first(cache, [&](const ReaperPluginEntry& e) {
            return !e.is_clap && e.vst3_class_id.empty() && e.vst2_id == product_number;
        });
        const std::string stem = vst2 >= 0 ? file_stem_alnum(cache[vst2].file) : std::string();
        if (!stem.empty() && (found = find_first(cache, [&](const ReaperPluginEntry& e) {
                                  return e.is_vst3 && !e.vst3_class_id.empty() &&
                                         file_stem_alnum(e.file) == stem;
                              })) >= 0) {
            rule_name = "VST3 by filename stem (--prefer-vst3)";
            return found;
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
    if ((found = find_first(cache, [&](const ReaperPluginEntry& e) {
             return e.is_vst3 && decode_class_id(e.vst3_class_id).ends_with(product);
         })) >= 0) {
        rule_name = "VST3 class id ends in the AAX code";
        return found;
    }
    if ((found = find_first(cache, [&](const ReaperPluginEntry& e) {
             if (!e.is_vst3) return false;
             const std::string id = decode_class_id(e.vst3_class_id);
             return id.find(maker) != std::string::npos && id.find(product) != std::string::npos;
         })) >= 0) {
        rule_name = "VST3 class id holds both AAX codes";
        return found;
    }
    return -1;
}

int by_name(const std::vector<ReaperPluginEntry>& cache, std::string_view display_name,
            std::string& rule_name) {
    // A name without letters or digits would be contained in every name.
    const std::string wanted = normalize_alnum_lower(display_name);
    if (wanted.empty()) return -1;
    int found = find_first(cache, [&](const ReaperPluginEntry& e) {
        return normalize_alnum_lower(e.bare_name) == wanted || stripped_key(e) == wanted;
    });
    if (found >= 0) {
        rule_name = "name";
        return found;
    }
    found = find_first(cache, [&](const ReaperPluginEntry& e) {
        const std::string name = stripped_key(e);
        return name.size() >= kMinPartialNameLength &&
               (wanted.find(name) != std::string::npos || name.find(wanted) != std::string::npos);
    });
    if (found >= 0) rule_name = "name (partial)";
    return found;
}

}  // namespace

bool is_vst2_build(const ReaperPluginEntry& entry) {
    return !entry.is_clap && !entry.is_vst3 && entry.vst3_class_id.empty();
}

int identify_in_cache(const std::vector<ReaperPluginEntry>& cache, std::string_view key,
                      std::string_view display_name, bool prefer_vst3, std::string& rule_name) {
    const int found = by_codes(cache, key, prefer_vst3, rule_name);
    if (found >= 0) return found;
    return by_name(cache, display_name, rule_name);
}

int find_vst2_alternative(const std::vector<ReaperPluginEntry>& cache, std::string_view key,
                          const PluginRuleRow& row) {
    if (row.id_text == nullptr || std::string_view(row.id_text).find('{') == std::string_view::npos)
        return -1;
    if (row.header_template != nullptr || row.trailing_block != nullptr) return -1;
    if (key.size() == 12) return -1;
    std::string rule_name;
    const int found =
        identify_in_cache(cache, key, row.display_name ? row.display_name : "", false, rule_name);
    if (found < 0) return -1;
    const ReaperPluginEntry& e = cache[static_cast<std::size_t>(found)];
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
