// The confined decoding process: a picture decodes in it within its limits, its pixels stay as
// they are while they are used, whatever the process decodes next, and a decoding process
// that tries what decoding never needs (opening a file, running a program), or ends between
// pictures, is replaced and leaves nothing behind. The sanitizer build runs it without its
// address-space limit; its copy built without sanitizers, decoding_process_plain_test, runs it
// as the release build does.
#include "platform/decoding_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/scratch_files.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

// The state letter of process `id` (Z: ended, not yet reaped); 0 when there is none.
char state_of(pid_t id) {
    std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t after_name = line.rfind(") ");
    return after_name == std::string::npos ? 0 : line[after_name + 2];
}

// This process's children that have not ended.
std::vector<pid_t> running_children() {
    std::vector<pid_t> children;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream listed(task.path() / "children");
        for (pid_t child = 0; listed >> child;) {
            if (state_of(child) != 'Z') children.push_back(child);
        }
    }
    return children;
}

class DecodingProcess : public testing::Test {
  protected:
    ~DecodingProcess() override { set_decoding_probe(decoding_probe::none); }

    // A `width` x `height` PNG whose pixels are all `red`, 0x22, 0x33, 0x44.
    std::string write_png(int width, int height, uint8_t red = 0x11) {
        std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
        for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = i % 4 == 0 ? red : uint8_t(0x11 * (i % 4 + 1));
        const std::string name = scratch.file("picture-" + std::to_string(red) + ".png");
        stbi_write_png(name.c_str(), width, height, 4, rgba.data(), width * 4);
        return name;
    }

    std::optional<decoded_picture> decode(const std::string& name, decoding_limits limits = {}) {
        const int file = open(name.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(file, 0);
        auto picture = decode_file_confined(file, uint64_t(lseek(file, 0, SEEK_END)), limits);
        close(file);
        return picture;
    }

    static std::vector<color32> pixels_of(const decoded_picture& picture) {
        return {picture.pixels(), picture.pixels() + size_t(picture.width()) * size_t(picture.height())};
    }

    temporary_folder scratch{"morvane-decoding"};
};

TEST_F(DecodingProcess, DecodesThePictureWhole) {
    const auto picture = decode(write_png(3, 2));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width(), 3);
    EXPECT_EQ(picture->height(), 2);
    EXPECT_EQ(pixels_of(*picture), std::vector<color32>(6, 0x44112233));
}

// Every picture is decoded above the pixels still in use, by the one process kept meanwhile.
TEST_F(DecodingProcess, PixelsInUseStayAsTheyAreWhileOthersDecode) {
    auto first = decode(write_png(300, 200, 0x11));
    ASSERT_TRUE(first);
    std::vector<std::optional<decoded_picture>> later;
    for (const uint8_t red : {0x55, 0x66, 0x77}) later.push_back(decode(write_png(300, 200, red)));
    EXPECT_EQ(running_children().size(), 1u);
    EXPECT_EQ(pixels_of(*first), std::vector<color32>(60000, 0x44112233));
    later[0].reset();  // given back below pixels in use
    later[2].reset();  // given back above them all: room for the next picture
    const auto again = decode(write_png(300, 200, 0x99));
    ASSERT_TRUE(again);
    EXPECT_EQ(pixels_of(*again), std::vector<color32>(60000, 0x44992233));
    EXPECT_EQ(pixels_of(*later[1]), std::vector<color32>(60000, 0x44662233));
    EXPECT_EQ(pixels_of(*first), std::vector<color32>(60000, 0x44112233));
}

TEST_F(DecodingProcess, ForbiddenSystemCallsKillItAndTheNextPictureGetsANewOne) {
    const std::string name = write_png(3, 2);
    for (const decoding_probe probe : {decoding_probe::open_file, decoding_probe::run_program}) {
        set_decoding_probe(probe);
        EXPECT_FALSE(decode(name)) << int(probe);
        EXPECT_TRUE(running_children().empty()) << int(probe);
    }
    set_decoding_probe(decoding_probe::none);
    EXPECT_TRUE(decode(name));
}

TEST_F(DecodingProcess, OneThatEndedBetweenPicturesIsReplaced) {
    const std::string name = write_png(3, 2);
    ASSERT_TRUE(decode(name));
    const std::vector<pid_t> kept = running_children();
    ASSERT_EQ(kept.size(), 1u);
    kill(kept[0], SIGKILL);
    while (state_of(kept[0]) != 'Z') usleep(1000);  // ended, not yet reaped
    const auto picture = decode(name);
    ASSERT_TRUE(picture);
    EXPECT_EQ(pixels_of(*picture), std::vector<color32>(6, 0x44112233));
    EXPECT_NE(running_children(), kept);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), 0);  // the ended one was reaped
}

TEST_F(DecodingProcess, PicturesBeyondItsLimitsGiveNothing) {
    const std::string name = write_png(2000, 2000);  // 16 MB of pixels
    EXPECT_FALSE(decode(name, {.pixels = 2000 * 2000 - 1}));
    EXPECT_TRUE(decode(name, {.pixels = 2000 * 2000}));
    EXPECT_FALSE(decode(name, {.memory = 8 << 20}));
    EXPECT_TRUE(decode(name, {.memory = 64 << 20}));
}

TEST_F(DecodingProcess, WhatIsNoPictureGivesNothingAndKeepsTheProcess) {
    ASSERT_TRUE(decode(write_png(3, 2)));
    const std::vector<pid_t> kept = running_children();
    write_whole_file(scratch.file("empty"), "");
    write_whole_file(scratch.file("text"), "hello");
    EXPECT_FALSE(decode(scratch.file("empty")));
    EXPECT_FALSE(decode(scratch.file("text")));
    EXPECT_EQ(running_children(), kept);
}

}  // namespace
