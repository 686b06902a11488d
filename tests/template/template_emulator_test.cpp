// The template on a P2000T: Debian's MAME loads an "IMAGE.CAS" made of a row set through the
// real monitor and BASIC-NL ROMs, and a Lua script reads the screen memory once the program
// has run, after a key and after a second key. Runs only where the ROMs are at hand.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/child_process.h"
#include "template/template_rows.h"

namespace {

namespace fs = std::filesystem;

const fs::path rom_path = fs::path(MORVANE_SHARED_DIR) / "p2000t" / "roms";
constexpr int screen_rows = 24;
constexpr int screen_columns = 40;
// Emulation is deterministic: the two-block tape is loaded and the first screen drawn by
// about frame 600, a key's new screen within 30 frames; the looks leave ample margin.
constexpr int first_look_frame = 900;
constexpr int look_interval = 200;

bool roms_present() {
    for (const char* rom : {"p2000.rom", "basic.rom", "saa5050"}) {
        if (!fs::is_regular_file(rom_path / "p2000t" / rom)) return false;
    }
    return true;
}

// Debian installs MAME in /usr/games, which is not always on the PATH.
std::string find_mame() {
    std::string folders = std::getenv("PATH") ? std::getenv("PATH") : "";
    folders += ":/usr/games";
    std::istringstream list(folders);
    for (std::string folder; std::getline(list, folder, ':');) {
        const fs::path candidate = fs::path(folder.empty() ? "." : folder) / "mame";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

// A private folder under /tmp for MAME's home, settings and the files of one run.
class scratch_folder {
  public:
    scratch_folder() {
        std::string pattern = (fs::temp_directory_path() / "morvane-mame-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~scratch_folder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// Looks at the screen three times, pressing a key after the first two looks, writes each
// look as a line of hex cells and BASIC's cursor-off flag (0x6013), then "done", and leaves.
std::string look_script(const fs::path& output) {
    return "local output_path = [[" + output.string() + "]]\n"
           "local first_look, interval = " + std::to_string(first_look_frame) + ", " + std::to_string(look_interval) + "\n" +
           R"lua(
local memory = manager.machine.devices[":maincpu"].spaces["program"]
local screen = manager.machine.screens[":screen"]
local looks = 0
local lines = {}
emu.register_periodic(function()
  if looks == 3 or screen:frame_number() < first_look + looks * interval then return end
  local cells = {}
  for row = 0, 23 do
    for column = 0, 39 do cells[#cells + 1] = string.format("%02x", memory:read_u8(0x5000 + 80 * row + column)) end
  end
  lines[#lines + 1] = table.concat(cells) .. " " .. string.format("%02x", memory:read_u8(0x6013))
  looks = looks + 1
  if looks < 3 then
    manager.machine.natkeyboard:post(" ")
    return
  end
  local output = io.open(output_path, "w")
  output:write(table.concat(lines, "\n"), "\ndone\n")
  output:close()
  manager.machine:exit()
end)
)lua";
}

struct look {
    std::string cells;   // screen memory, 24 x 40 bytes
    int cursor_off = 0;  // BASIC's flag, 1 while the cursor is hidden
};

std::string from_hex(const std::string& hex) {
    std::string bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2) bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    return bytes;
}

// The script's looks; none when it did not finish.
std::vector<look> read_looks(const fs::path& output) {
    std::istringstream text(read_file(output));
    std::vector<look> looks;
    for (std::string line; std::getline(text, line);) {
        if (line == "done") return looks;
        const size_t space = line.find(' ');
        if (space == std::string::npos) return {};
        looks.push_back({from_hex(line.substr(0, space)), std::stoi(line.substr(space + 1), nullptr, 16)});
    }
    return {};
}

// What PRINT leaves in screen memory for a code of a row literal.
unsigned char stored_code(unsigned char code) {
    if (code == 0x5F) return 0x23;
    if (code == 0x5C) return 0x7E;
    return code;
}

// The screen memory rows `first` .. `first` + 23 (from 0) must give.
std::string expected_screen(const row_set& rows, int first) {
    std::string cells;
    for (int row = 0; row < screen_rows; ++row) {
        cells += '\x17';
        for (const char code : rows[first + row]) cells += static_cast<char>(stored_code(static_cast<unsigned char>(code)));
    }
    return cells;
}

testing::AssertionResult same_screen(const std::string& seen, const std::string& expected) {
    if (seen.size() != expected.size()) return testing::AssertionFailure() << seen.size() << " cells read";
    testing::AssertionResult result = testing::AssertionSuccess();
    int differences = 0;
    for (size_t cell = 0; cell < expected.size(); ++cell) {
        if (seen[cell] == expected[cell]) continue;
        if (differences++ == 0) result = testing::AssertionFailure();
        if (differences <= 8) {
            char line[80];
            std::snprintf(line, sizeof line, "row %zu column %zu: 0x%02x, expected 0x%02x\n", cell / screen_columns,
                          cell % screen_columns, static_cast<unsigned char>(seen[cell]), static_cast<unsigned char>(expected[cell]));
            result << line;
        }
    }
    if (differences > 0) result << differences << " cells differ";
    return result;
}

struct row_set_case {
    const char* name;
    std::function<row_set()> rows;
};

void PrintTo(const row_set_case& c, std::ostream* out) { *out << c.name; }

row_set random_mix() {
    const std::vector<unsigned char> codes = mosaic_codes();
    std::mt19937 random(2000);
    return make_rows([&](int, int) { return codes[random() % codes.size()]; });
}

const row_set_case row_set_cases[] = {
    {"AllWhite", [] { return make_rows([](int, int) { return 0x7F; }); }},
    {"AllBlack", [] { return make_rows([](int, int) { return 0x20; }); }},
    {"RandomMix", random_mix},
    {"ExceptionalCodes", [] {
         const unsigned char codes[] = {0xFD, 0x5F, 0x5C, 0x7F};
         return make_rows([&](int row, int cell) { return codes[(row + cell) % 4]; });
     }},
};

class TemplateOnEmulator : public testing::TestWithParam<row_set_case> {};

TEST_P(TemplateOnEmulator, ShowsRowsOneToTwentyFourThenTwoToTwentyFive) {
    if (!roms_present()) GTEST_SKIP() << "no P2000T ROMs in " << rom_path << ": the emulator check did not run";
    const std::string mame = find_mame();
    ASSERT_FALSE(mame.empty()) << "the P2000T ROMs are there but MAME is not: run tools/install-deps.sh";
    const std::string template_image = read_file(std::string(MORVANE_BINARY_DIR) + "/KESTRIL.RAN");
    ASSERT_FALSE(template_image.empty());

    const row_set rows = GetParam().rows();
    const scratch_folder scratch;
    const fs::path image = scratch.path() / "IMAGE.CAS";
    const fs::path script = scratch.path() / "look.lua";
    const fs::path looks_file = scratch.path() / "looks.txt";
    const fs::path log = scratch.path() / "mame.log";
    std::ofstream(image, std::ios::binary) << fill_template(template_image, rows);
    std::ofstream(script) << look_script(looks_file);

    const fs::path folder = scratch.path();
    child_process run("/bin/sh", {.arguments = {"sh", "-c", "exec \"$@\" >\"$0\" 2>&1", log, mame, "p2000t",
                                                "-rompath", rom_path, "-cass", image, "-video", "none", "-sound", "none",
                                                "-nothrottle", "-skip_gameinfo", "-autoboot_script", script,
                                                "-cfg_directory", folder / "cfg", "-nvram_directory", folder / "nvram",
                                                "-snapshot_directory", folder / "snap"},
                                  .working_directory = folder,
                                  .environment = {"HOME=" + folder.string()}});
    // MAME 0.251 at times crashes while it tears down its Lua engine after the script has
    // asked it to exit, so its exit status is not judged: the script's "done" is.
    ASSERT_TRUE(run.wait_for_exit(std::chrono::minutes(2)).has_value()) << "MAME did not end within two minutes";
    const std::vector<look> looks = read_looks(looks_file);
    ASSERT_EQ(looks.size(), 3u) << "the look script did not finish; MAME said:\n" << read_file(log);

    const char* const moments[] = {"after loading: rows 1 to 24", "after a key: rows 2 to 25",
                                   "after another key: rows 1 to 24"};
    for (size_t moment = 0; moment < 3; ++moment) {
        EXPECT_TRUE(same_screen(looks[moment].cells, expected_screen(rows, moment == 1 ? 1 : 0))) << moments[moment];
        EXPECT_EQ(looks[moment].cursor_off, 1) << moments[moment] << ": the cursor is shown";
    }
}

INSTANTIATE_TEST_SUITE_P(RowSets, TemplateOnEmulator, testing::ValuesIn(row_set_cases),
                         [](const testing::TestParamInfo<row_set_case>& info) { return info.param.name; });

}  // namespace
