// The whole program given each picture file that fuzzing the decoding found harmful to it
// (fuzz/findings/: reads and writes past buffers, undefined behaviour, huge allocations, endless
// decoding): the picture loads soundly, or gives the error box of a picture that cannot be
// loaded; either way the program ends with exit code 0 and writes IMAGE.CAS.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "support/converter_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<fs::path> findings() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(MORVANE_SOURCE_DIR) / "fuzz" / "findings")) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class CraftedPicture : public ConverterRun, public testing::WithParamInterface<fs::path> {};

TEST_P(CraftedPicture, EndsWithACassetteOfItsPictureOrOfEmptyRows) {
    fs::copy_file(GetParam(), program.path() / "crafted");
    start({"crafted"});
    Window box = 0;
    ASSERT_TRUE(eventually([&] {
        box = find_titled(x, DefaultRootWindow(x), invalid_picture_box_title);
        return box != 0 || !morvane->running();
    }, 60s));
    if (box != 0) {
        EXPECT_TRUE(answer_invalid_picture_box(x, box));
        EXPECT_EQ(morvane->wait_for_exit(60s), 0);
        EXPECT_EQ(program.cassette(), expected_cassette(picture_rows{}));  // 25 empty rows
    } else {
        EXPECT_EQ(morvane->wait_for_exit(0s), 0);
        EXPECT_FALSE(program.cassette().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Findings, CraftedPicture, testing::ValuesIn(findings()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.filename().string();
                             for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

}  // namespace
