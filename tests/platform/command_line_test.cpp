#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/text_printing.h"

namespace {

string_descriptor joined(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    build_command_line(static_cast<int>(arguments.size()), argv.data());
    return command_line_string();
}

TEST(CommandLine, ArgumentsAfterTheNameJoinedBySingleSpaces) {
    const std::pair<std::vector<std::string>, std::string> table[] = {
        {{}, ""},
        {{"morvane"}, ""},
        {{"morvane", ""}, ""},
        {{"morvane", "picture.png"}, "picture.png"},
        {{"morvane", "my", "picture.png"}, "my picture.png"},
        {{"morvane", "two  spaces", "kept"}, "two  spaces kept"},
        {{"morvane", "", "x"}, " x"},
        {{"morvane", "-display", ":0"}, "-display :0"},
        {{"morvane", "caf\xe9.png"}, "caf\xe9.png"},
    };
    for (const auto& [arguments, expected] : table) {
        EXPECT_EQ(joined(arguments), string_descriptor(expected)) << testing::PrintToString(arguments);
    }
}

TEST(CommandLine, BuiltOnceAndNotTiedToArgv) {
    std::string argument = "picture.png";
    char name[] = "morvane";
    char* argv[] = {name, argument.data(), nullptr};
    build_command_line(2, argv);
    argument[0] = 'X';
    EXPECT_EQ(command_line_string(), string_descriptor("picture.png"));
}

}  // namespace
