// The whole program in command-line mode: the picture named by the arguments is converted
// into IMAGE.CAS beside the program, and the program ends by itself with exit code 0.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/converter_program.h"
#include "support/converter_x.h"
#include "support/xvfb_display.h"

namespace {

namespace fs = std::filesystem;

int all_white(int, int) { return 63; }
int all_black(int, int) { return 0; }

struct command_line_case {
    std::string name;
    std::vector<std::string> arguments;  // the picture is saved as the arguments joined by a space
    block_patterns pattern;
};

TEST(ConverterCommandLine, ConvertsThePictureNamedAndEnds) {
    xvfb_display display;
    const command_line_case cases[] = {
        {"every pattern", {"picture.png"}, every_pattern},
        {"all white", {"white.png"}, all_white},
        {"all black", {"black.png"}, all_black},
        {"a name with a space, as two arguments", {"my", "picture.png"}, every_pattern},
    };
    for (const command_line_case& c : cases) {
        SCOPED_TRACE(c.name);
        installed_program program;
        std::string name;
        for (const std::string& argument : c.arguments) name += (name.empty() ? "" : " ") + argument;
        picture_of(c.pattern).save_png(program.path() / name);
        // Started from another folder: the relative name resolves beside the program.
        const auto morvane = program.start(c.arguments, fs::temp_directory_path());
        EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(60)), 0);
        EXPECT_EQ(program.cassette(), expected_cassette(c.pattern));
    }
}

TEST(ConverterCommandLine, FileThatIsNoPictureShowsTheErrorOfStep41AndYesGivesEmptyRows) {
    xvfb_display display;
    Display* x = XOpenDisplay(display.name().c_str());
    ASSERT_NE(x, nullptr);
    installed_program program;
    write_whole_file(program.path() / "notes.txt", "no picture here");
    const auto morvane = program.start({"notes.txt"}, program.path());

    const Window box = window_titled(x, "Unhandled Error #258 - morvane");
    ASSERT_NE(box, 0u);
    EXPECT_TRUE(box_shows(x, box, "Line: 41 (in main module)\nInvalid handle\nContinue?"));
    ASSERT_TRUE(type_keys(box, "Return"));
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(60)), 0);
    EXPECT_EQ(program.cassette(), layout([](int) { return std::string(); }));
    XCloseDisplay(x);
}

}  // namespace
