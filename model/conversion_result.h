// What one conversion hands back to an embedding caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ResultValueRow {
    std::string name;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
};

struct ResultTextRow3 {
    std::string a, b, c;
};

struct ResultTextRow2 {
    std::string a, b;
};

// Only the report text, report path and console text are filled by the driver; the other members
// are reset with the record and kept for callers that read them.
struct ConversionResult {
    std::uint64_t value0 = 0;
    std::string text0, text1, text2;
    std::uint64_t value1 = 0, value2 = 0;
    std::vector<ResultValueRow> value_rows;
    std::uint64_t value3 = 0;
    std::vector<ResultTextRow3> rows3;
    std::uint64_t value4 = 0, value5 = 0;
    std::vector<ResultTextRow2> rows2a;
    std::uint64_t value6 = 0;
    std::uint32_t value7 = 0;
    std::vector<ResultTextRow2> rows2b;
    std::string text3, text4, text5;
    std::string report_path;
    std::string console_text;
    std::string report_text;
};
