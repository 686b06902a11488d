// A whole-program run of the converter for the end-to-end tests: a private Xvfb, a connection
// to it, a scratch copy of the program, and the running program with its window.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/converter_program.h"
#include "support/converter_x.h"
#include "support/screen_text.h"
#include "support/xdnd_source.h"
#include "support/xvfb_display.h"

// The line of a text/uri-list that names `path`.
inline std::string uri_of(const std::filesystem::path& path) { return "file://" + path.string() + "\r\n"; }

// The status screen's lines with the dropped name's `name_lines`; the end screen adds rows 7
// and 9 (its prompt changes colour, see end_screen_prompt_colour).
inline std::vector<screen_line> status_screen_lines(const std::vector<screen_line>& name_lines, bool end_screen) {
    std::vector<screen_line> lines = {{2, 2, "You've dropped this file:", status_green}};
    lines.insert(lines.end(), name_lines.begin(), name_lines.end());
    lines.push_back({5, 2, "Converting...", status_green});
    if (end_screen) {
        lines.push_back({7, 2, "Done!", status_green});
        lines.push_back({9, 2, "Open IMAGE.CAS in your P2000t emulator.", status_green});
    }
    return lines;
}

// The attribute (2 to 14) in which `shot` shows the end screen's prompt, the rest being the end
// screen with `name_lines`; 0 when it shows no such screen. The prompt takes an attribute from 1
// to 14 of the default palette on every pass of the key wait; attribute 1 is the background's
// blue, so a frame that shows it so proves nothing and counts as 0.
inline int end_screen_prompt_colour(const x_screenshot& shot, const std::vector<screen_line>& name_lines) {
    std::vector<screen_line> lines = status_screen_lines(name_lines, true);
    lines.push_back({11, 2, "Press any key to quit...", 0});
    for (int attribute = 2; attribute <= 14; ++attribute) {
        lines.back().ink = mode9_default_palette[static_cast<std::size_t>(attribute)];
        if (mode9_screen_shows(shot, lines, status_blue)) return attribute;
    }
    return 0;
}

class ConverterRun : public testing::Test {
  protected:
    static constexpr int screen_width = 1280;
    static constexpr int screen_height = 1024;

    void SetUp() override {
        XSetErrorHandler(ignore_x_error);
        x = XOpenDisplay(display.name().c_str());
        ASSERT_NE(x, nullptr);
    }
    void TearDown() override {
        if (x) XCloseDisplay(x);
    }

    // Starts the program with `arguments` from its own folder, as `user` when one is given.
    void start(const std::vector<std::string>& arguments = {}, std::optional<uid_t> user = std::nullopt) {
        morvane = program.start(arguments, program.path(), user);
    }

    // Starts the program without arguments (its sound going to program.sound_file() when
    // `capture_sound`) and waits until its window takes drops; 0 when it does not come to that.
    Window start_window(bool capture_sound = false) {
        if (capture_sound) {
            morvane = program.start_capturing_sound({}, program.path());
        } else {
            start();
        }
        const Window window = window_titled(x, "Morvane");
        if (window && !wait_for_drop_target(display.name(), window, std::chrono::seconds(30))) return 0;
        return window;
    }

    // Drops the files `paths`, in this order, on `window`; true when the window took the drop.
    bool drop(Window window, const std::vector<std::filesystem::path>& paths) {
        std::string list;
        for (const std::filesystem::path& path : paths) list += uri_of(path);
        return drop_uri_list(display.name(), window, list).accepted();
    }

    // True once `window` shows what `shows` asks of its content.
    bool window_shows(Window window, const std::function<bool(const x_screenshot&)>& shows) {
        return eventually([&] { return shows(capture_window(x, window)); });
    }

    xvfb_display display{screen_width, screen_height};
    Display* x = nullptr;
    installed_program program;
    std::unique_ptr<program_run> morvane;
};
