// The console the program prints to. Its text is UTF-8 everywhere; a Windows console shows text
// in its own output code page, so the program switches it to UTF-8 for its run and back after.
#pragma once

// The console's output code page before the switch (0 where there is nothing to switch).
unsigned use_utf8_console();

// Puts back the code page `use_utf8_console` found.
void restore_console(unsigned code_page);
