// The program's command line as one text.
#pragma once

#include "platform/text.h"

// Joins argv[1..] with single spaces; made once at start-up before the converter starts.
void build_command_line(int argc, char** argv);
// The command line built at start-up; empty without arguments.
string_descriptor command_line_string();
