#include "app/command_line.h"

int run_command_line(int, char**) { return 0; }
