// The whole program given each picture file that fuzzing the decoding found harmful to it
// (fuzz/findings/: reads and writes past buffers, undefined behaviour, huge allocations, endless
// decoding): the picture loads soundly, or gives the error box of a picture that cannot be
// loaded; either way the program ends with exit code 0 and writes IMAGE.CAS. And a program
// that ends while a decoding runs leaves no decoding process behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
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

// The processes whose parent is `parent` and that still run (not ended, not waiting to be reaped).
std::vector<pid_t> running_children(pid_t parent) {
    std::vector<pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (!std::all_of(name.begin(), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            continue;
        }
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const size_t after_name = line.rfind(')');
        if (after_name == std::string::npos) continue;
        char state = 0;
        pid_t its_parent = 0;
        std::istringstream(line.substr(after_name + 1)) >> state >> its_parent;
        if (its_parent == parent && state != 'Z' && state != 'X') children.push_back(pid_t(std::stoi(name)));
    }
    return children;
}

// A decoding that would run on for seconds; the program killed meanwhile takes its decoding
// process with it.
using ConverterDecoding = ConverterRun;

TEST_F(ConverterDecoding, AProgramThatEndsWhileItDecodesLeavesNoDecodingProcess) {
    fs::copy_file(fs::path(MORVANE_SOURCE_DIR) / "fuzz" / "findings" / "pic-over-10-seconds.pic", program.path() / "slow");
    start({"slow"});
    ASSERT_TRUE(eventually([&] { return !running_children(morvane->pid()).empty(); }, 30s));
    // The decoding process kept since the instruction picture is by now decoding this one.
    std::this_thread::sleep_for(2s);
    const std::vector<pid_t> decoding = running_children(morvane->pid());
    ASSERT_FALSE(decoding.empty());
    kill(morvane->pid(), SIGKILL);
    morvane->expect_exit_code(-SIGKILL);
    EXPECT_TRUE(eventually([&] {
        return std::none_of(decoding.begin(), decoding.end(), [](pid_t child) {
            std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
            std::string line;
            return std::getline(stat, line) && line.find(") Z") == std::string::npos;
        });
    }, 3s));
}

}  // namespace
