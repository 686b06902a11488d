// Runs a scripted program over the platform layer, chosen by the first argument:
//   idle                  waits for the end
//   title-early TITLE     sets the title before start-up, centres the window, waits
//   title-late TITLE      sets the title once the window exists, waits
//   title-burst TITLE     sets many titles while the window is being made, TITLE last, waits
//   pattern               centres the window (which starts partly off a screen without a
//                         window manager), shows a 640 x 350 test pattern, waits
//   mode9                 centres the window (to see all of it), prints a line on screen
//                         mode 9, waits
//   keys FILE             writes every key read to FILE, one line of hex bytes a key, and
//                         the number of passes made so far to FILE.beat
//   keys-later FILE       like keys, but reads nothing before FILE.go exists
//   error FILE            raises error 258 at step 41, writes "continued" to FILE after Yes,
//                         then waits
//   critical              raises the critical error 502
//   end                   ends at once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <csignal>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/errors.h"
#include "platform/keys.h"
#include "platform/program_control.h"
#include "platform/screen.h"
#include "platform/startup.h"
#include "platform/window.h"
#include "platform/x11/window_layer.h"

namespace {

std::string script;
std::string argument;

void check_events() {
    if (event_pending.load()) statement_event_check(0, 0, nullptr);
}

[[noreturn]] void wait_for_end() {
    for (;;) {
        check_events();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void append_line(const std::string& file, const std::string& line) {
    std::ofstream out(file, std::ios::app);
    out << line << '\n';
}

std::string hex_bytes(const string_descriptor& text) {
    std::string line;
    for (const char byte : text.bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(byte));
        line += (line.empty() ? "" : " ") + std::string(hex);
    }
    return line;
}

[[noreturn]] void log_keys(bool wait_for_go) {
    for (long pass = 0;; ++pass) {
        check_events();
        if (!wait_for_go || access((argument + ".go").c_str(), F_OK) == 0) {
            const string_descriptor key = read_key_string();
            if (key.length() > 0) append_line(argument, hex_bytes(key));
        }
        if (pass % 10 == 0) std::ofstream(argument + ".beat") << pass << '\n';
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void show_pattern() {
    const int width = 640, height = 350;
    std::vector<uint8_t> rgba(width * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = &rgba[(y * width + x) * 4];
            pixel[0] = static_cast<uint8_t>(x);
            pixel[1] = static_cast<uint8_t>(y);
            pixel[2] = static_cast<uint8_t>((x / 64) * 16 + (y / 64) * 8);
            pixel[3] = 255;
        }
    }
    select_screen(new_image_from_rgba(width, height, rgba.data()));
}

void program() {
    if (script == "end") return;
    if (script == "title-early") move_window(0, 0, 1);
    if (script == "title-late") {
        wait_for_window();
        set_window_title(string_descriptor(std::string_view(argument)));
    }
    if (script == "title-burst") {
        for (int title = 0; title < 2000; ++title) set_window_title(string_descriptor(std::to_string(title)));
        set_window_title(string_descriptor(std::string_view(argument)));
    }
    if (script == "critical") raise_error(502);
    if (script == "pattern") {
        move_window(0, 0, 1);
        show_pattern();
    }
    if (script == "mode9") {
        move_window(0, 0, 1);
        select_screen(9);
        set_palette_entry(0, 1);
        set_text_color(10);
        locate_cursor(2, 2);
        print_string("You've dropped this file:", 1);
    }
    if (script == "keys" || script == "keys-later") log_keys(script == "keys-later");
    if (script == "error") {
        raise_error(258);
        statement_event_check(41, 0, nullptr);
        append_line(argument, "continued");
    }
    wait_for_end();
}

}  // namespace

int main(int argc, char** argv) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test that failed hard
    script = argc > 1 ? argv[1] : "idle";
    argument = argc > 2 ? argv[2] : "";
    if (script == "title-early") set_window_title(string_descriptor(std::string_view(argument)));
    run_program(argc, argv, program);
}
