// The whole way from a picture to a P2000T: the program converts the picture named on its
// command line with the shipped template KESTRIL.RAN beside it, and the emulator loads the
// IMAGE.CAS it writes and shows the picture's rows 1 to 24 and, after a key, 2 to 25. Runs
// only where the ROMs are at hand. A row left short by a block that is neither white nor black
// is filled up with black cells, so its image still loads, with the row's later codes one cell
// to the left.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <ostream>
#include <span>
#include <string>

#include "support/converter_program.h"
#include "support/p2000t_emulator.h"
#include "support/xvfb_display.h"

namespace {

namespace fs = std::filesystem;

struct emulator_case {
    const char* name;
    test_picture picture;
    picture_rows rows;  // what the conversion gives
};

void PrintTo(const emulator_case& c, std::ostream* out) { *out << c.name; }

emulator_case pattern_case(const char* name, const block_patterns& pattern) {
    return {name, picture_of(pattern), rows_of(pattern)};
}

// Only TR white, the top row white, all but TL white, next to all white and all black.
int exceptional_patterns(int row, int column) {
    const int patterns[] = {2, 3, 62, 63, 0};
    return patterns[(row + column) % 5];
}

// A grey pixel in the third block of row 5 and one in the last block of row 18, whose row
// crosses the tape block boundary.
emulator_case grey_pixels_case() {
    test_picture picture = with_grey_pixel(every_pattern, 4, 2);
    picture.at(38 * 2, 17 * 3) = 0xFF808080;
    return {"GreyPixels", picture, without_block(without_block(rows_of(every_pattern), 4, 2), 17, 38)};
}

const emulator_case cases[] = {
    pattern_case("EveryPattern", every_pattern),
    pattern_case("ExceptionalPatterns", exceptional_patterns),
    grey_pixels_case(),
};

class ConverterOnEmulator : public testing::TestWithParam<emulator_case> {};

TEST_P(ConverterOnEmulator, ShowsThePictureRowsOneToTwentyFourThenTwoToTwentyFive) {
    if (!p2000t_roms_present()) {
        GTEST_SKIP() << "no P2000T ROMs in " << p2000t_rom_path() << ": the emulator check did not run";
    }
    ASSERT_FALSE(find_mame().empty()) << "the P2000T ROMs are there but MAME is not: run tools/install-deps.sh";
    const emulator_case& c = GetParam();
    xvfb_display display;
    const installed_program program(template_choice::shipped);
    c.picture.save_png(program.path() / "picture.png");
    ASSERT_EQ(program.start({"picture.png"}, program.path())->wait_for_exit(std::chrono::seconds(60)), 0);
    ASSERT_TRUE(fs::exists(program.path() / "IMAGE.CAS"));

    const emulator_run run = run_p2000t(program.path() / "IMAGE.CAS", 2);
    SCOPED_TRACE(run.mame);
    ASSERT_EQ(run.looks.size(), 2u) << "the look script did not finish; MAME said:\n" << run.log;
    picture_rows shown;
    for (std::size_t k = 0; k < shown.size(); ++k) shown[k] = filled(c.rows[k]);
    const std::span<const std::string> rows(shown);
    EXPECT_TRUE(same_screen(run.looks[0].cells, printed_screen(rows.first(24)))) << "after loading: rows 1 to 24";
    EXPECT_TRUE(same_screen(run.looks[1].cells, printed_screen(rows.subspan(1, 24)))) << "after a key: rows 2 to 25";
}

INSTANTIATE_TEST_SUITE_P(Pictures, ConverterOnEmulator, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<emulator_case>& info) { return info.param.name; });

}  // namespace
