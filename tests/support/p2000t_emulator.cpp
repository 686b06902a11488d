#include "support/p2000t_emulator.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "support/child_process.h"
#include "support/scratch_files.h"

namespace {

namespace fs = std::filesystem;

constexpr int first_look_frame = 900;
constexpr int look_interval = 200;

// Writes each look as a line of hex cells and the cursor-off flag, then "done", and leaves.
std::string look_script(const fs::path& output, int looks) {
    return "local output_path = [[" + output.string() + "]]\n"
           "local first_look, interval, wanted = " + std::to_string(first_look_frame) + ", " +
           std::to_string(look_interval) + ", " + std::to_string(looks) + "\n" +
           R"lua(
local memory = manager.machine.devices[":maincpu"].spaces["program"]
local screen = manager.machine.screens[":screen"]
local looks = 0
local lines = {}
emu.register_periodic(function()
  if looks == wanted or screen:frame_number() < first_look + looks * interval then return end
  local cells = {}
  for row = 0, 23 do
    for column = 0, 39 do cells[#cells + 1] = string.format("%02x", memory:read_u8(0x5000 + 80 * row + column)) end
  end
  lines[#lines + 1] = table.concat(cells) .. " " .. string.format("%02x", memory:read_u8(0x6013))
  looks = looks + 1
  if looks < wanted then
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

std::string from_hex(const std::string& hex) {
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    }
    return bytes;
}

// The script's looks; none when it did not finish.
std::vector<screen_look> read_looks(const fs::path& output) {
    std::istringstream text(read_whole_file(output));
    std::vector<screen_look> looks;
    for (std::string line; std::getline(text, line);) {
        if (line == "done") return looks;
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) return {};
        looks.push_back({from_hex(line.substr(0, space)), std::stoi(line.substr(space + 1), nullptr, 16)});
    }
    return {};
}

}  // namespace

fs::path p2000t_rom_path() { return fs::path(MORVANE_SHARED_DIR) / "p2000t" / "roms"; }

bool p2000t_roms_present() {
    for (const char* rom : {"p2000.rom", "basic.rom", "saa5050"}) {
        if (!fs::is_regular_file(p2000t_rom_path() / "p2000t" / rom)) return false;
    }
    return true;
}

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

emulator_run run_p2000t(const fs::path& cassette, int looks, std::chrono::milliseconds limit) {
    const temporary_folder scratch("morvane-mame");  // MAME's home, settings and the run's files
    const fs::path& folder = scratch.path();
    const fs::path image = folder / "tape.cas";
    const fs::path script = folder / "look.lua";
    const fs::path looks_file = folder / "looks.txt";
    const fs::path log = folder / "mame.log";
    fs::copy_file(cassette, image);
    std::ofstream(script) << look_script(looks_file, looks);
    {
        // The log starts with MAME's version, which failures name.
        const char* const logged = "{ echo \"MAME $(\"$1\" -version)\"; exec \"$@\"; } >\"$0\" 2>&1";
        child_process mame("/bin/sh", {.arguments = {"sh", "-c", logged, log, find_mame(), "p2000t",
                                                     "-rompath", p2000t_rom_path(), "-cass", image, "-video", "none",
                                                     "-sound", "none", "-nothrottle", "-skip_gameinfo",
                                                     "-autoboot_script", script, "-cfg_directory", folder / "cfg",
                                                     "-nvram_directory", folder / "nvram", "-snapshot_directory",
                                                     folder / "snap"},
                                       .working_directory = folder,
                                       .environment = {"HOME=" + folder.string()}});
        // MAME 0.251 (Debian 12) at times crashes while it tears down its Lua engine after the
        // script has asked it to exit, where 0.276 (Debian 13) ends cleanly, so its exit status
        // is not judged: the script's "done" is. One that does not end in time is killed when
        // `mame` goes.
        if (!mame.wait_for_exit(limit).has_value()) return {{}, "MAME did not end in time\n" + read_whole_file(log)};
    }
    const std::string said = read_whole_file(log);
    return {read_looks(looks_file), said, said.substr(0, said.find('\n'))};
}

unsigned char printed_code(unsigned char code) {
    if (code == 0x5F) return 0x23;
    if (code == 0x5C) return 0x7E;
    return code;
}

std::string printed_screen(std::span<const std::string> rows) {
    std::string cells;
    for (const std::string& row : rows) {
        cells += '\x17';
        for (const char code : row) cells += static_cast<char>(printed_code(static_cast<unsigned char>(code)));
    }
    return cells;
}

testing::AssertionResult same_screen(const std::string& seen, const std::string& expected) {
    if (seen.size() != expected.size()) return testing::AssertionFailure() << seen.size() << " cells read";
    testing::AssertionResult result = testing::AssertionSuccess();
    int differences = 0;
    for (std::size_t cell = 0; cell < expected.size(); ++cell) {
        if (seen[cell] == expected[cell]) continue;
        if (differences++ == 0) result = testing::AssertionFailure();
        if (differences <= 8) {
            char line[80];
            std::snprintf(line, sizeof line, "row %zu column %zu: 0x%02x, expected 0x%02x\n",
                          cell / p2000t_screen_columns, cell % p2000t_screen_columns,
                          static_cast<unsigned char>(seen[cell]),
                          static_cast<unsigned char>(expected[cell]));
            result << line;
        }
    }
    if (differences > 0) result << differences << " cells differ";
    return result;
}
