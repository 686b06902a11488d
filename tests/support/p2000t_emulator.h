// A P2000T for the tests: Debian's MAME runs a cassette image through the real monitor and
// BASIC-NL ROMs (from the shared folder, never part of the project), and a Lua script reads
// the screen memory at set moments, pressing a key after each look but the last.
#pragma once

#include <chrono>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Where the ROMs are looked for: MORVANE_SHARED_DIR/p2000t/roms.
std::filesystem::path p2000t_rom_path();
// True when the three ROM files are there.
bool p2000t_roms_present();
// MAME's path; empty when it is not installed (Debian puts it in /usr/games).
std::string find_mame();

constexpr int p2000t_screen_rows = 24;
constexpr int p2000t_screen_columns = 40;

struct screen_look {
    std::string cells;   // screen memory, 24 x 40 bytes
    int cursor_off = 0;  // BASIC's flag at 0x6013, 1 while the cursor is hidden
};

struct emulator_run {
    std::vector<screen_look> looks;  // empty when the script did not finish
    std::string log;                 // what MAME said
    std::string mame;                // its version, "MAME 0.251 ..." (Debian 12), "MAME 0.276 ..." (13)
};

// Loads `cassette` at power-on and takes `looks` looks, the first at emulated frame 900 and
// then every 200 frames, pressing the space bar after each but the last. Emulation is
// deterministic: a two-block tape is loaded and drawn by about frame 600 and a key's new
// screen comes within 30 frames, so the looks leave ample margin. MAME is given `limit`.
emulator_run run_p2000t(const std::filesystem::path& cassette, int looks,
                        std::chrono::milliseconds limit = std::chrono::minutes(2));

// What PRINT leaves in screen memory for one byte of a literal.
unsigned char printed_code(unsigned char code);

// The screen memory after the template's PRINTs of 24 full `rows`: each row's cells are 0x17
// and its codes as PRINT stores them.
std::string printed_screen(std::span<const std::string> rows);

// Success when `seen` equals `expected`, else the first few differing cells.
testing::AssertionResult same_screen(const std::string& seen, const std::string& expected);
