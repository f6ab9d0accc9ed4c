#include "platform/console.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

unsigned use_utf8_console() {
#ifdef _WIN32
    const UINT before = GetConsoleOutputCP();  // 0 without a console
    if (before != 0 && before != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) return before;
#endif
    return 0;
}

void restore_console(unsigned code_page) {
#ifdef _WIN32
    if (code_page != 0) SetConsoleOutputCP(code_page);
#else
    (void)code_page;
#endif
}
