// The console entry: reads the command line and runs what it asks for.
#pragma once

int run_command_line(int argc, char** argv);
