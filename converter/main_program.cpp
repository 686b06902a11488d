#include "converter/main_program.h"

#include <cmath>
#include <cstdint>

#include "converter/cassette.h"
#include "converter/counted_loop.h"
#include "converter/mosaic.h"
#include "converter/step_protocol.h"
#include "converter/variables.h"
#include "platform/command_line.h"
#include "platform/drops.h"
#include "platform/files.h"
#include "platform/keys.h"
#include "platform/numbers.h"
#include "platform/picture.h"
#include "platform/program_control.h"
#include "platform/screen.h"
#include "platform/timing.h"
#include "platform/tones.h"
#include "platform/window.h"

namespace {

constexpr step_module steps = step_module::main();

// Ends the program: the housekeeping thread's shutdown takes over from here.
[[noreturn]] void end_program() {
    close_requested = true;
    stop_program_thread();
}

// True when the program was started with a command line (command-line mode).
bool command_line_given() { return string_not_equal(command_line_string(), string_descriptor()) != 0; }

// Places the cursor at `row`, column 2 and prints `text` on a line of its own, as step `step`.
void print_at(int32_t step, int32_t row, const string_descriptor& text) {
    locate_cursor(row, 2);
    steps.after(step);
    if (!error_is_pending()) {
        fit_print_on_line(text);
        print_string(text, 0);
        print_string(string_descriptor(), 1);
    }
    steps.after(step);
}

// A fresh blue status screen with light green text (first_step .. first_step + 2).
void select_status_screen(int32_t first_step) {
    select_screen(9);
    steps.after(first_step);
    set_palette_entry(0, 1);
    steps.after(first_step + 1);
    set_text_color(10);
    steps.after(first_step + 2);
}

// Rows 2 and 3: "You've dropped this file:" and the name (steps first_step, first_step + 1).
void print_dropped_name(int32_t first_step) {
    print_at(first_step, 2, "You've dropped this file:");
    print_at(first_step + 1, 3, dropped_name);
}

// Row 5, "Converting...", half a second later (steps delay_step, delay_step + 1).
void announce_conversion(int32_t delay_step) {
    delay_seconds(0.5);
    steps.after(delay_step);
    print_at(delay_step + 1, 5, "Converting...");
}

// Steps 13 to 19 for the item at pass_index: leave with a file, go on past a folder, end the
// program at anything else.
loop_flow look_at_dropped_item() {
    string_assign(dropped_name, dropped_file_name(static_cast<int32_t>(std::lrint(pass_index))));
    steps.after(13);
    if (steps.test(14, file_exists(dropped_name) != 0)) {
        play_tone(48, 1);
        steps.after(15);
        return loop_flow::leave;
    }
    if (steps.test(17, directory_exists(dropped_name) != 0)) return loop_flow::next;
    beep();
    steps.after(19);
    end_program();
}

// Steps 11 to 23: true when the pending drop held a file; a drop of folders only is released.
bool take_dropped_file() {
    if (!steps.test(11, dropped_file_count() != 0)) return false;
    const double item_count = dropped_file_count();
    if (counted_loop(12, pass_index, 1.0, item_count, 1.0, look_at_dropped_item) == loop_flow::leave) {
        return true;
    }
    finish_file_drop();
    steps.after(23);
    return false;
}

// Steps 212 to 215: the prompt in a new colour on every pass until a key is read. While no key
// waits, the key read waits for the window's next display frame, so that every frame shows a
// new colour and the wait costs next to nothing.
[[noreturn]] void wait_for_key() {
    for (;;) {
        steps.after(212);
        set_text_color(static_cast<uint32_t>(floor_double(static_cast<double>(random_single() * 14.0f)) + 1));
        steps.after(213);
        print_at(213, 11, "Press any key to quit...");
        string_assign(key_text, read_key_string());
        steps.after(214);
        if (steps.test(215, string_not_equal(key_text, string_descriptor()) != 0)) end_program();
    }
}

}  // namespace

bool take_command_line() {
    if (!steps.test(1, command_line_given())) return false;
    string_assign(dropped_name, command_line_string());
    steps.after(1);
    return true;
}

void show_start_window() {
    set_window_title("Morvane");
    steps.after(2);
    select_screen(new_image(576, 317, 32));
    steps.after(3);
    move_window(0, 0, 1);
    steps.after(4);
    logo_image = load_image_file("KESTRIL.PNG", 32);
    steps.after(5);
    put_image(0, 0, logo_image);
    steps.after(6);
    accept_file_drop(0);
    steps.after(8);
}

void wait_for_drop() {
    for (;;) {
        steps.after(10);
        if (take_dropped_file()) return;
        limit_loop_rate(30);
        steps.after(26);
    }
}

void show_status_screen() {
    steps.after(28);
    select_status_screen(29);
    print_dropped_name(32);
    string_assign(picture_name, dropped_name);
    steps.after(34);
    announce_conversion(35);
    delay_seconds(1);
    steps.after(38);
}

void finish() {
    if (steps.test(200, command_line_given())) {
        play_tone(888, 0.05);
        steps.after(200);
        end_program();
    }
    select_status_screen(201);
    print_dropped_name(204);
    announce_conversion(207);
    play_tone(730, 4);
    steps.after(209);
    print_at(210, 7, "Done!");
    print_at(211, 9, "Open IMAGE.CAS in your P2000t emulator.");
    wait_for_key();
}

void main_program() {
    if (!take_command_line()) {
        show_start_window();
        wait_for_drop();
    }
    show_status_screen();
    sample_picture();
    write_cassette();
    finish();
}
