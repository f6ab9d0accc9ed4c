// One conversion, from the session file to the project file.
#pragma once

#include "app/convert_options.h"
#include "app/output.h"

struct ConversionResult;

// Returns 0 (converted, checked or listed) or 1 (every failure, its reason already said).
int convert_session(const ConvertOptions& options, ConversionResult* result,
                    ptxgui::Progress* progress);
