// A whole-program run of the converter for the end-to-end tests: a private Xvfb, a connection
// to it, a scratch copy of the program, and the running program with its window.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/converter_program.h"
#include "support/converter_x.h"
#include "support/xdnd_source.h"
#include "support/xvfb_display.h"

// The line of a text/uri-list that names `path`.
inline std::string uri_of(const std::filesystem::path& path) { return "file://" + path.string() + "\r\n"; }

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

    // Starts the program with `arguments` from its own folder.
    void start(const std::vector<std::string>& arguments = {}) { morvane = program.start(arguments, program.path()); }

    // Starts the program without arguments and waits until its window takes drops; 0 when it
    // does not come to that.
    Window start_window() {
        start();
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
    std::unique_ptr<child_process> morvane;
};
