// The template on a P2000T: the emulator loads an "IMAGE.CAS" made of a row set and its screen
// memory is read once the program has run, after a key and after a second key. Runs only
// where the ROMs are at hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/p2000t_emulator.h"
#include "template/template_rows.h"

namespace {

namespace fs = std::filesystem;

// The screen memory for rows `first` .. `first` + 23 (from 0).
std::string expected_screen(const row_set& rows, int first) {
    return printed_screen(std::span<const std::string>(rows).subspan(static_cast<std::size_t>(first), p2000t_screen_rows));
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
    if (!p2000t_roms_present()) GTEST_SKIP() << "no P2000T ROMs in " << p2000t_rom_path() << ": the emulator check did not run";
    ASSERT_FALSE(find_mame().empty()) << "the P2000T ROMs are there but MAME is not: run tools/install-deps.sh";
    const std::string template_image = read_whole_file(std::string(MORVANE_BINARY_DIR) + "/KESTRIL.RAN");
    ASSERT_FALSE(template_image.empty());

    const row_set rows = GetParam().rows();
    const temporary_folder folder("morvane-template");
    const fs::path image = folder.path() / "IMAGE.CAS";
    write_whole_file(image, fill_template(template_image, rows));
    const emulator_run run = run_p2000t(image, 3);
    SCOPED_TRACE(run.mame);
    const std::vector<screen_look>& looks = run.looks;
    ASSERT_EQ(looks.size(), 3u) << "the look script did not finish; MAME said:\n" << run.log;

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
