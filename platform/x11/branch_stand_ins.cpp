// TEMPORARY, REMOVED WHEN THE REAL MODULES ARE MERGED.
// Minimal stand-ins for the screen, audio, files and command-line services and the font table,
// so that the window layer links and its whole-program tests run before those modules exist.
// Nothing may depend on this file: it only defines functions that their own headers declare.
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/openal/audio_device.h"
#include "platform/screen.h"

extern const uint8_t cp437_font[256 * 16] = {};

namespace {

struct stand_in_screen {
    std::mutex lock;
    int32_t width = 640;
    int32_t height = 400;
    std::vector<uint8_t> rgb = std::vector<uint8_t>(640 * 400 * 3);
    uint64_t generation = 1;
    std::vector<std::vector<uint8_t>> images;  // RGB of the images made from RGBA, slot n - 2
    std::vector<std::pair<int32_t, int32_t>> sizes;
};

stand_in_screen& screen() {
    static stand_in_screen* const instance = new stand_in_screen;
    return *instance;
}

void show(stand_in_screen& s, int32_t width, int32_t height, std::vector<uint8_t> rgb) {
    s.width = width;
    s.height = height;
    s.rgb = std::move(rgb);
    ++s.generation;
}

}  // namespace

image_handle new_image_from_rgba(int32_t width, int32_t height, const uint8_t* rgba) {
    stand_in_screen& s = screen();
    std::lock_guard hold(s.lock);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t pixel = 0; pixel < rgb.size() / 3; ++pixel) {
        for (int channel = 0; channel < 3; ++channel) rgb[pixel * 3 + channel] = rgba[pixel * 4 + channel];
    }
    s.images.push_back(std::move(rgb));
    s.sizes.emplace_back(width, height);
    return -static_cast<image_handle>(s.images.size() + 1);
}

void select_screen(int32_t mode_or_image) {
    stand_in_screen& s = screen();
    std::lock_guard hold(s.lock);
    if (mode_or_image < 0) {
        const size_t slot = static_cast<size_t>(-mode_or_image) - 2;
        if (slot < s.images.size()) show(s, s.sizes[slot].first, s.sizes[slot].second, s.images[slot]);
    } else {
        const int32_t height = mode_or_image == 9 ? 350 : 400;
        show(s, 640, height, std::vector<uint8_t>(640 * height * 3));
    }
}

void set_palette_entry(uint32_t, uint32_t) {}
void set_text_color(uint32_t) {}
void locate_cursor(int32_t, int32_t) {}
void print_string(const string_descriptor&, int32_t) {}

bool build_display_frame(display_frame& frame) {
    stand_in_screen& s = screen();
    std::lock_guard hold(s.lock);
    if (frame.generation == s.generation) return false;
    frame.width = s.width;
    frame.height = s.height;
    frame.rgb = s.rgb;
    frame.generation = s.generation;
    return true;
}

void reset_screens() {
    stand_in_screen& s = screen();
    std::lock_guard hold(s.lock);
    show(s, 640, 400, std::vector<uint8_t>(640 * 400 * 3));
}

void open_audio_device() {}
void service_audio() {}
void stop_sound_output() {}
void close_audio_device() {}

void change_to_executable_folder() {}
void close_all_files() {}

void build_command_line(int, char**) {}
