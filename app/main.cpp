#include "app/command_line.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    const unsigned console_code_page = use_utf8_console();
    const int code = run_command_line(argc, argv);
    restore_console(console_code_page);
    return code;
}
