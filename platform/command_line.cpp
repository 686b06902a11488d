#include "platform/command_line.h"

#include <string>
#include <utility>

namespace {

// The joined arguments: written once by start-up before the converter thread exists, read
// only afterwards.
struct command_line_state {
    string_descriptor text;
};

command_line_state command_line;

}  // namespace

void build_command_line(int argc, char** argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    command_line.text = string_descriptor(std::move(joined));
}

string_descriptor command_line_string() { return command_line.text; }
