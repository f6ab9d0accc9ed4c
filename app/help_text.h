#pragma once

// The text printed by -h and --help.
extern const char* const help_text;
