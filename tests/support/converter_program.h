// The whole program for the converter's end-to-end tests: a copy of the built executable with
// KESTRIL.PNG and a template (our own, or the shipped one) beside it in a scratch folder, so
// that tests running at the same time each write their own IMAGE.CAS; and pictures of mosaic
// patterns with the cassette they must give.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "converter/mosaic.h"
#include "support/program_run.h"
#include "support/converter_fixtures.h"
#include "support/wave_capture.h"

// The pattern (0 .. 63) of the block at `row`, `column` (0-based) of a picture.
using block_patterns = std::function<int(int row, int column)>;

// Which template lies beside the program: one whose rows are easy to tell in the cassette, or
// the real P2000T program that the build puts beside the executable.
enum class template_choice { markers_only, shipped };

class installed_program {
  public:
    explicit installed_program(template_choice choice = template_choice::markers_only) : choice_(choice) {
        install();
    }

    // Copies the program, KESTRIL.PNG and the template into the folder: again, say, onto a disk
    // mounted there since.
    void install() const {
        namespace fs = std::filesystem;
        fs::copy_file(fs::path(MORVANE_BINARY_DIR) / "morvane", folder_.path() / "morvane");
        fs::copy_file(fs::path(MORVANE_SOURCE_DIR) / "data" / "KESTRIL.PNG", folder_.path() / "KESTRIL.PNG");
        if (choice_ == template_choice::shipped) {
            fs::copy_file(fs::path(MORVANE_BINARY_DIR) / "KESTRIL.RAN", folder_.path() / "KESTRIL.RAN");
        } else {
            write_whole_file(folder_.path() / "KESTRIL.RAN", every_marker_once);
        }
        // Some tests run it as another user: whatever the clone's umask, every user may run the
        // program and read its files.
        constexpr fs::perms readable = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                       fs::perms::others_read;
        for (const char* name : {"KESTRIL.PNG", "KESTRIL.RAN"}) fs::permissions(folder_.path() / name, readable);
        fs::permissions(folder_.path() / "morvane",
                        readable | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    }

    // Starts the program with `arguments` from `working_directory`, without a sound device, as
    // `user` when one is given. The GL driver does not free everything before the process ends
    // (no leak report) and its software rasteriser runs on the calling thread only.
    std::unique_ptr<program_run> start(const std::vector<std::string>& arguments,
                                         const std::filesystem::path& working_directory,
                                         std::optional<uid_t> user = std::nullopt) const {
        return start_with(arguments, working_directory, "ALSOFT_DRIVERS=null", user);
    }

    // As start, but the sound goes to the wave file sound_file() instead of a sound card.
    std::unique_ptr<program_run> start_capturing_sound(const std::vector<std::string>& arguments,
                                                         const std::filesystem::path& working_directory) const {
        const std::filesystem::path config = folder_.path() / "alsoft.conf";
        write_whole_file(config, wave_output_config(sound_file()));
        return start_with(arguments, working_directory, "ALSOFT_CONF=" + config.string());
    }

    std::filesystem::path sound_file() const { return folder_.path() / "sound.wav"; }

    std::string cassette() const { return read_whole_file(folder_.path() / "IMAGE.CAS"); }
    const std::filesystem::path& path() const { return folder_.path(); }

  private:
    std::unique_ptr<program_run> start_with(const std::vector<std::string>& arguments,
                                              const std::filesystem::path& working_directory,
                                              const std::string& sound_setting,
                                              std::optional<uid_t> user = std::nullopt) const {
        std::vector<std::string> argv = {(folder_.path() / "morvane").string()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return std::make_unique<program_run>(
            argv[0], child_options{.arguments = argv,
                                   .working_directory = working_directory.string(),
                                   .environment = {sound_setting, "ASAN_OPTIONS=detect_leaks=0", "LP_NUM_THREADS=0"},
                                   .run_as_user = user});
    }

    template_choice choice_;
    scratch_folder folder_;
};

// A 78 x 75 picture of pure white and black blocks.
inline test_picture picture_of(const block_patterns& pattern) {
    test_picture picture(78, 75, pure_black);
    for (int row = 0; row < 25; ++row)
        for (int column = 0; column < 39; ++column) picture.paint_block(column * 2, row * 3, pattern(row, column));
    return picture;
}

using picture_rows = std::array<std::string, 25>;  // row 1 first

// The rows of codes that the blocks of `pattern` give.
inline picture_rows rows_of(const block_patterns& pattern) {
    picture_rows rows;
    for (int k = 0; k < 25; ++k) {
        for (int column = 0; column < 39; ++column) {
            const int v = pattern(k, column);
            rows[static_cast<std::size_t>(k)] += static_cast<char>(mosaic_table[static_cast<std::size_t>(v)]);
        }
    }
    return rows;
}

// `rows` with the byte of block `block` of row `row` (both from 0) gone, as when one of the
// block's pixels is neither white nor black.
inline picture_rows without_block(picture_rows rows, int row, int block) {
    rows[static_cast<std::size_t>(row)].erase(static_cast<std::size_t>(block), 1);
    return rows;
}

// A picture of `pattern` with one grey pixel in block `block` of row `row` (both from 0).
inline test_picture with_grey_pixel(const block_patterns& pattern, int row, int block) {
    test_picture picture = picture_of(pattern);
    picture.at(block * 2 + 1, row * 3 + 1) = 0xFF808080;
    return picture;
}

// The cassette that installed_program's own template gives with `rows`: each row filled up to
// 39 codes with black cells, row 18 in its first 26 and its last 13 bytes.
inline std::string expected_cassette(const picture_rows& rows) {
    return layout([&](int k) {
        const std::string row_18 = filled(rows[17]);
        if (k == 181) return row_18.substr(0, 26);
        if (k == 182) return row_18.substr(26);
        return filled(rows[static_cast<std::size_t>(k - 1)]);
    });
}

inline std::string expected_cassette(const block_patterns& pattern) { return expected_cassette(rows_of(pattern)); }

// A pattern in which all 64 occur.
inline int every_pattern(int row, int column) { return (row * 39 + column * 5) % 64; }
