#include "converter/main_program.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/variables.h"
#include "platform/command_line.h"
#include "platform/drops.h"
#include "platform/errors.h"
#include "platform/keys.h"
#include "platform/numbers.h"
#include "platform/program_control.h"
#include "platform/screen.h"
#include "platform/timing.h"
#include "support/converter_fixtures.h"
#include "support/runtime_double.h"
#include "support/text_printing.h"

namespace {

// A clock that moves only when a wait sleeps; a sleep may also ask the program to stop.
int64_t fake_time = 0;
bool stop_at_next_sleep = false;
int64_t fake_now() { return fake_time; }
void fake_sleep(int64_t ms) {
    fake_time += ms;
    if (stop_at_next_sleep) {
        stop_program = true;
        event_pending = 1;
    }
}

void set_command_line(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "morvane");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    build_command_line(static_cast<int>(argv.size()), argv.data());
}

class Flow : public testing::Test {
  protected:
    void SetUp() override {
        reset_converter_variables();
        reset_screens();
        reset_random();
        reset_loop_rate();
        clear_key_queue();
        finish_file_drop();
        set_command_line({});
        fake_time = 0;
        stop_at_next_sleep = false;
        set_clock_source({fake_now, fake_sleep});
        set_executable_name("morvane");
    }
    void TearDown() override {
        set_clock_source({});
        reset_loop_rate();
        reset_screens();
        finish_file_drop();
        set_command_line({});
    }

    runtime_double runtime;
    scratch_folder folder;
};

struct command_line_case {
    std::vector<std::string> arguments;
    bool taken;
    std::string name;
};

TEST_F(Flow, AnyCommandLineChoosesCommandLineMode) {
    const command_line_case cases[] = {
        {{}, false, ""},
        {{""}, false, ""},
        {{"picture.png"}, true, "picture.png"},
        {{"my", "picture.png"}, true, "my picture.png"},
        {{" "}, true, " "},
    };
    for (const command_line_case& c : cases) {
        SCOPED_TRACE(c.name);
        reset_converter_variables();
        set_command_line(c.arguments);
        EXPECT_EQ(take_command_line(), c.taken);
        EXPECT_EQ(dropped_name, string_descriptor(c.name));
    }
}

TEST_F(Flow, FirstExistingFileOfADropIsTakenPastFolders) {
    std::filesystem::create_directory("folder");
    write_whole_file("first.png", "x");
    write_whole_file("second.png", "x");
    const std::string here = folder.path().string() + "/";
    set_pending_drop({here + "folder", here + "first.png", here + "second.png"});
    wait_for_drop();
    EXPECT_EQ(dropped_name, string_descriptor(here + "first.png"));
    EXPECT_EQ(pass_index, 2.0f);
    EXPECT_EQ(dropped_file_count(), 3);  // the drop that held the file is never released
    EXPECT_TRUE(runtime.boxes().empty());
}

TEST_F(Flow, DropOfFoldersOnlyIsReleasedAndTheWaitGoesOn) {
    std::filesystem::create_directory("folder");
    set_pending_drop({folder.path().string() + "/folder"});
    stop_at_next_sleep = true;  // the pacing's first wait comes on the second pass
    EXPECT_THROW(wait_for_drop(), program_thread_stopped_signal);
    EXPECT_EQ(dropped_file_count(), 0);
    EXPECT_FALSE(close_requested);
}

TEST_F(Flow, ItemThatIsNeitherFileNorFolderEndsTheProgram) {
    write_whole_file("later.png", "x");
    set_pending_drop({folder.path().string() + "/gone.png", folder.path().string() + "/later.png"});
    EXPECT_THROW(wait_for_drop(), program_thread_stopped_signal);
    EXPECT_TRUE(close_requested);
    EXPECT_EQ(dropped_name, string_descriptor(folder.path().string() + "/gone.png"));
    EXPECT_GE(fake_time, 250);  // the beep's wait
}

TEST_F(Flow, StatusScreenNamesTheFileAndCopiesTheName) {
    dropped_name = "picture.png";
    show_status_screen();
    EXPECT_EQ(picture_name, string_descriptor("picture.png"));
    display_frame frame;
    ASSERT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 350);
    EXPECT_EQ(frame.rgb[0], 0x00);  // the blue background
    EXPECT_EQ(frame.rgb[2], 0xAA);
    // Light green text in rows 2, 3 and 5 (14 pixels a row), from column 2 (x 8) on.
    const auto green_in_row = [&](int text_row) {
        int green = 0;
        for (int y = (text_row - 1) * 14; y < text_row * 14; ++y)
            for (int x = 8; x < 8 + 26 * 8; ++x) {
                const uint8_t* pixel = &frame.rgb[static_cast<std::size_t>((y * 640 + x) * 3)];
                green += pixel[0] == 0x55 && pixel[1] == 0xFF && pixel[2] == 0x55;
            }
        return green;
    };
    EXPECT_GT(green_in_row(2), 0);
    EXPECT_GT(green_in_row(3), 0);
    EXPECT_EQ(green_in_row(4), 0);
    EXPECT_GT(green_in_row(5), 0);
    EXPECT_EQ(green_in_row(1), 0);
    EXPECT_GE(fake_time, 1500);
}

TEST_F(Flow, CommandLineModeEndsAtOnceAfterTheOutput) {
    set_command_line({"picture.png"});
    push_key('x', 45);
    EXPECT_THROW(finish(), program_thread_stopped_signal);
    EXPECT_TRUE(close_requested);
    EXPECT_EQ(random_single(), 0.7055475f) << "no pass of the key wait";
}

TEST_F(Flow, KeyWaitEndsOnAKeyPressedEarlier) {
    const uint8_t keys[][2] = {{'x', 45}, {0, 72}};  // a character, and a key without one
    for (const auto& key : keys) {
        SCOPED_TRACE(int(key[1]));
        reset_random();
        close_requested = false;
        push_key(key[0], key[1]);
        EXPECT_THROW(finish(), program_thread_stopped_signal);
        EXPECT_TRUE(close_requested);
        EXPECT_EQ(random_single(), 0.5334240f) << "exactly one pass of the key wait";
    }
}

}  // namespace
