// The whole program for the converter's end-to-end tests: a copy of the built executable with
// KESTRIL.PNG and a template of our own beside it in a scratch folder, so that tests running at
// the same time each write their own IMAGE.CAS; and pictures of mosaic patterns with the
// cassette they must give.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "converter/mosaic.h"
#include "support/child_process.h"
#include "support/converter_fixtures.h"

// The pattern (0 .. 63) of the block at `row`, `column` (0-based) of a picture.
using block_patterns = std::function<int(int row, int column)>;

class installed_program {
  public:
    installed_program() {
        namespace fs = std::filesystem;
        fs::copy_file(fs::path(MORVANE_BINARY_DIR) / "morvane", folder_.path() / "morvane");
        fs::copy_file(fs::path(MORVANE_SOURCE_DIR) / "data" / "KESTRIL.PNG", folder_.path() / "KESTRIL.PNG");
        write_whole_file(folder_.path() / "KESTRIL.RAN", every_marker_once);
    }

    // Starts the program with `arguments` from `working_directory`, without a sound device, as
    // `user` when one is given. The GL driver does not free everything before the process ends
    // (no leak report) and its software rasteriser runs on the calling thread only.
    std::unique_ptr<child_process> start(const std::vector<std::string>& arguments, const std::filesystem::path& working_directory,
                                         std::optional<uid_t> user = std::nullopt) const {
        std::vector<std::string> argv = {(folder_.path() / "morvane").string()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return std::make_unique<child_process>(argv[0], child_options{.arguments = argv,
                                       .working_directory = working_directory.string(),
                                       .environment = {"ALSOFT_DRIVERS=null", "ASAN_OPTIONS=detect_leaks=0",
                                                       "LP_NUM_THREADS=0"},
                                       .run_as_user = user});
    }

    std::string cassette() const { return read_whole_file(folder_.path() / "IMAGE.CAS"); }
    const std::filesystem::path& path() const { return folder_.path(); }

  private:
    scratch_folder folder_;
};

// A 78 x 75 picture of pure white and black blocks.
inline test_picture picture_of(const block_patterns& pattern) {
    test_picture picture(78, 75, pure_black);
    for (int row = 0; row < 25; ++row)
        for (int column = 0; column < 39; ++column) picture.paint_block(column * 2, row * 3, pattern(row, column));
    return picture;
}

// The cassette that installed_program's template gives with the rows of `pattern`.
inline std::string expected_cassette(const block_patterns& pattern) {
    std::vector<std::string> rows(26);
    for (int k = 1; k <= 25; ++k)
        for (int column = 0; column < 39; ++column)
            rows[static_cast<std::size_t>(k)] += static_cast<char>(mosaic_table[static_cast<std::size_t>(pattern(k - 1, column))]);
    return layout([&](int k) {
        if (k == 181) return rows[18].substr(0, 26);
        if (k == 182) return rows[18].substr(26);
        return rows[static_cast<std::size_t>(k)];
    });
}

// A pattern in which all 64 occur.
inline int every_pattern(int row, int column) { return (row * 39 + column * 5) % 64; }
