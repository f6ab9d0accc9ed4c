// The chunk classifier over two 4 MiB settings areas that make it try every position: plain text
// (a text run starts everywhere) and "RIFF" repeated (a tag everywhere, each followed by the
// same bytes). Prints each area's time and the span the classifier chose. Not a timed test.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "model/plugin_instance.h"
#include "session/chunk_classifier.h"
#include "session/plugin_settings.h"
#include "util/bytes.h"

namespace {

constexpr std::size_t kAreaSize = 4u << 20;
constexpr std::size_t kSettingsStart = 33;

// A plug-in block (0x1038) whose settings, from +33, are `area`; its settings end closes it.
std::vector<std::uint8_t> session_with(const std::string& area) {
    std::string block = "Z";
    block += std::string("\x01\x00", 2);
    append_u32le(block, static_cast<std::uint32_t>(kSettingsStart - 7 + area.size()));
    block += std::string("\x38\x10\x01\x00\x00\x00", 6);
    append_u32le(block, static_cast<std::uint32_t>(16 + area.size()));
    block += std::string(8, '\0') + "AcmeDemo" + area;
    const std::string bytes = std::string(16, '\0') + block + std::string(8, '\0');
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::string repeated(const std::string& unit) {
    std::string out;
    while (out.size() < kAreaSize) out += unit;
    out.resize(kAreaSize);
    return out;
}

void run(const char* what, const std::string& area) {
    const std::vector<std::uint8_t> bytes = session_with(area);
    const std::size_t block = 16;
    const std::size_t end = block + kSettingsStart + area.size();

    auto start = std::chrono::steady_clock::now();
    SessionPluginInstance record;
    check_chunk_container(bytes, block, end, record);
    const double classifier_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    start = std::chrono::steady_clock::now();
    std::vector<SessionPluginInstance> read;
    read_aax_settings_chunk(bytes.data(), bytes.size(), read);
    const double reader_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    std::printf(
        "%-28s classifier %8.1f ms  whole reader %8.1f ms  kind %u  label %s  "
        "span +%llu, %u bytes, match %u\n",
        what, classifier_ms, reader_ms, record.payload_kind,
        record.container_label != nullptr ? record.container_label : "(none)",
        static_cast<unsigned long long>(record.payload_offset - block), record.payload_length,
        record.container_match);
}

}  // namespace

int main() {
    std::printf("settings areas of %zu bytes\n", kAreaSize);
    run("text", repeated("the quick brown fox jumps over the lazy dog.\n"));
    run("repeated RIFF", repeated("RIFF"));
    return 0;
}
