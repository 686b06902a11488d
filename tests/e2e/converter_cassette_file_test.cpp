// The whole program and its files: a template that is not there is said in a box and never
// made, IMAGE.CAS is replaced whole or left as it was (a full disk, a symbolic link), and two
// copies converting in one folder at once leave one picture's cassette.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/converter_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The text of the error box for `message` after step `step`.
std::string box_text(int step, const std::string& message) {
    return "Line: " + std::to_string(step) + " (in main module)\n" + message + "\nContinue?";
}

// The entries of `folder` (names only), in order.
std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

struct missing_template_case {
    std::string name;
    std::function<void(const fs::path& folder)> make;  // puts what stands for the template in place
    int error;
    std::string message;
};

void PrintTo(const missing_template_case& c, std::ostream* out) { *out << c.name; }

const missing_template_case missing_templates[] = {
    {"only the executable copied",
     [](const fs::path& folder) {
         fs::remove(folder / "KESTRIL.RAN");
         fs::remove(folder / "KESTRIL.PNG");
     },
     53, "File not found"},
    {"an empty template", [](const fs::path& folder) { write_whole_file(folder / "KESTRIL.RAN", ""); }, 53,
     "File not found"},
    {"a dangling link",
     [](const fs::path& folder) {
         fs::remove(folder / "KESTRIL.RAN");
         fs::create_symlink(folder / "gone.ran", folder / "KESTRIL.RAN");
     },
     53, "File not found"},
    {"a FIFO",
     [](const fs::path& folder) {
         fs::remove(folder / "KESTRIL.RAN");
         ASSERT_EQ(mkfifo((folder / "KESTRIL.RAN").c_str(), 0600), 0);
     },
     70, "Permission denied"},
    {"a device",
     [](const fs::path& folder) {
         fs::remove(folder / "KESTRIL.RAN");
         fs::create_symlink("/dev/zero", folder / "KESTRIL.RAN");
     },
     70, "Permission denied"},
};

class MissingTemplate : public ConverterRun, public testing::WithParamInterface<missing_template_case> {};

// No ends the program at the box: nothing is made in the template's place and no cassette is
// written.
TEST_P(MissingTemplate, IsSaidInABoxAtTheStepThatOpensIt) {
    const missing_template_case& c = GetParam();
    picture_of(every_pattern).save_png(program.path() / "drawing.png");
    c.make(program.path());
    const std::vector<std::string> before = entries(program.path());
    start({"drawing.png"});

    const Window box = window_titled(x, "Unhandled Error #" + std::to_string(c.error) + " - morvane");
    ASSERT_NE(box, 0u);
    EXPECT_TRUE(box_shows(x, box, box_text(149, c.message)));
    ASSERT_TRUE(type_keys(box, "n"));
    EXPECT_EQ(morvane->wait_for_exit(30s), 0);
    EXPECT_EQ(entries(program.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Templates, MissingTemplate, testing::ValuesIn(missing_templates),
                         [](const testing::TestParamInfo<missing_template_case>& info) {
                             std::string name;
                             for (const char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

using ConverterCassetteFile = ConverterRun;

// Yes goes on with nothing read: the length and the read of file 1 fail as well, and the
// cassette comes out empty, but only after the boxes have said why.
TEST_F(ConverterCassetteFile, YesToAMissingTemplateGoesOnThroughTheBoxesOfTheRead) {
    fs::remove(program.path() / "KESTRIL.RAN");
    picture_of(every_pattern).save_png(program.path() / "drawing.png");
    destruction_watch boxes_gone(x);
    start({"drawing.png"});
    const std::pair<int, std::string> boxes[] = {{53, box_text(149, "File not found")},
                                                 {52, box_text(150, "Bad file name or number")},
                                                 {52, box_text(151, "Bad file name or number")}};
    for (const auto& [error, text] : boxes) {
        SCOPED_TRACE(text);
        const std::string title = "Unhandled Error #" + std::to_string(error) + " - morvane";
        const Window box = window_titled(x, title);
        ASSERT_NE(box, 0u);
        ASSERT_TRUE(box_shows(x, box, text));
        ASSERT_TRUE(type_keys(box, "Return"));
        ASSERT_TRUE(eventually([&] { return boxes_gone.gone(box); }));
    }
    EXPECT_EQ(morvane->wait_for_exit(30s), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(program.path() / "KESTRIL.RAN")));
    EXPECT_EQ(program.cassette(), "");
}

TEST_F(ConverterCassetteFile, ALinkNamedImageCasIsReplacedAndItsTargetLeftAlone) {
    fs::create_directory(program.path() / "elsewhere");
    const fs::path target = program.path() / "elsewhere" / "kept.cas";
    write_whole_file(target, "a file of the user's own");
    fs::create_symlink(target, program.path() / "IMAGE.CAS");
    picture_of(every_pattern).save_png(program.path() / "drawing.png");
    start({"drawing.png"});
    EXPECT_EQ(morvane->wait_for_exit(60s), 0);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(program.path() / "IMAGE.CAS")));
    EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));
    EXPECT_EQ(read_whole_file(target), "a file of the user's own");
    EXPECT_EQ(entries(program.path() / "elsewhere"), std::vector<std::string>{"kept.cas"});
}

// A small tmpfs mounted on `folder` while it lives; mounted() is false where the test may not
// mount (not root), and why() says so.
class small_disk {
  public:
    small_disk(const fs::path& folder, uintmax_t bytes) : folder_(folder) {
        const std::string size = "size=" + std::to_string(bytes);
        if (mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) != 0) why_ = std::strerror(errno);
    }
    ~small_disk() {
        if (mounted()) umount2(folder_.c_str(), MNT_DETACH);
    }
    small_disk(const small_disk&) = delete;
    small_disk& operator=(const small_disk&) = delete;

    bool mounted() const { return why_.empty(); }
    const std::string& why() const { return why_; }

    // Fills the disk with the file `name` and then frees `spare` bytes of it again.
    void fill_but(const fs::path& name, off_t spare) const {
        const int file = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(file, 0);
        const std::string chunk(65536, 'f');
        off_t size = 0;
        for (ssize_t put; (put = write(file, chunk.data(), chunk.size())) > 0;) size += put;
        EXPECT_EQ(errno, ENOSPC);
        EXPECT_EQ(ftruncate(file, std::max<off_t>(size - spare, 0)), 0);
        close(file);
    }

  private:
    fs::path folder_;
    std::string why_;
};

// On a full disk the new cassette cannot be written: the write's box comes as before, and the
// cassette of an earlier conversion survives byte for byte, with nothing left beside it.
TEST_F(ConverterCassetteFile, AFullDiskLeavesTheEarlierCassetteWhole) {
    const small_disk disk(program.path(), fs::file_size(fs::path(MORVANE_BINARY_DIR) / "morvane") + (2 << 20));
    if (!disk.mounted()) GTEST_SKIP() << "a small tmpfs cannot be mounted here (mounting needs root): " << disk.why();
    program.install();
    const std::string earlier = expected_cassette(every_pattern);
    write_whole_file(program.path() / "IMAGE.CAS", earlier);
    // A larger template: the head and the rows as before, then 100000 bytes more.
    write_whole_file(program.path() / "KESTRIL.RAN", every_marker_once + std::string(100000, 'P'));
    picture_of(every_pattern).save_png(program.path() / "drawing.png");
    disk.fill_but(program.path() / "filler", 16384);
    const std::vector<std::string> before = entries(program.path());
    start({"drawing.png"});

    const Window box = window_titled(x, "Unhandled Error #75 - morvane");
    ASSERT_NE(box, 0u);
    EXPECT_TRUE(box_shows(x, box, box_text(158, "Path/File access error")));
    ASSERT_TRUE(type_keys(box, "n"));
    EXPECT_EQ(morvane->wait_for_exit(30s), 0);
    EXPECT_EQ(program.cassette(), earlier);
    EXPECT_EQ(entries(program.path()), before);
}

int inverse_pattern(int row, int column) { return 63 - every_pattern(row, column); }

// Two copies started together, 0 to 10 ms apart, in one folder, one with a picture and one with
// its inverse, 20 times: each time IMAGE.CAS is one picture's cassette, whole.
TEST_F(ConverterCassetteFile, TwoCopiesConvertingInOneFolderLeaveOnePicturesCassette) {
    picture_of(every_pattern).save_png(program.path() / "picture.png");
    picture_of(inverse_pattern).save_png(program.path() / "inverse.png");
    const std::string cassettes[] = {expected_cassette(every_pattern), expected_cassette(inverse_pattern)};
    std::minstd_rand random(15);
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove(program.path() / "IMAGE.CAS");
        const auto first = program.start({"picture.png"}, program.path());
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 11));
        const auto second = program.start({"inverse.png"}, program.path());
        EXPECT_EQ(first->wait_for_exit(60s), 0);
        EXPECT_EQ(second->wait_for_exit(60s), 0);
        const std::string cassette = program.cassette();
        EXPECT_TRUE(cassette == cassettes[0] || cassette == cassettes[1]);
    }
    EXPECT_EQ(entries(program.path()),
              (std::vector<std::string>{"IMAGE.CAS", "KESTRIL.PNG", "KESTRIL.RAN", "inverse.png", "morvane", "picture.png"}));
}

}  // namespace
