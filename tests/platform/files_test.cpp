#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "platform/errors.h"
#include "platform/program_control.h"
#include "support/child_process.h"
#include "support/runtime_double.h"
#include "support/scratch_files.h"
#include "support/text_printing.h"

namespace {

namespace fs = std::filesystem;

// Runs `work` in a child process as the user nobody, so that file rights hold even when the
// tests run as root; returns what `work` reported, or a note on why it could not run.
std::string run_unprivileged(const std::function<std::string()>& work) {
    int channel[2];
    if (pipe(channel) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const uid_t nobody = unprivileged_user();
        std::string report = "could not drop privileges";
        if (setgroups(0, nullptr) == 0 && setgid(nobody) == 0 && setuid(nobody) == 0) report = work();
        const ssize_t written = write(channel[1], report.data(), report.size());
        _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string report;
    char buffer[256];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return report;
}

// The error pending now, cleared so that the next service runs.
int32_t take_error() {
    const int32_t number = pending_error.exchange(0);
    event_pending = 0;
    return number;
}

void write_whole(int32_t number, const std::string& bytes) {
    byte_block block;
    put_bytes_to_file(number, make_byte_block(bytes.data(), static_cast<int32_t>(bytes.size()), block));
}

std::string read_whole(int32_t number) {
    string_descriptor text(std::string(static_cast<size_t>(file_length(number)), ' '));
    get_string_from_file(number, text);
    return text.bytes;
}

class Files : public testing::Test {
  protected:
    void SetUp() override {
        fs::permissions(scratch.path(), fs::perms::all);  // the unprivileged child works here too
    }
    void TearDown() override {
        take_error();
        close_all_files();
    }
    std::string path(const std::string& name) const { return scratch.file(name); }
    void make_file(const std::string& name, const std::string& bytes, fs::perms rights = fs::perms::unknown) {
        write_whole_file(path(name), bytes);
        if (rights != fs::perms::unknown) fs::permissions(path(name), rights);
    }
    std::string content(const std::string& name) const { return read_whole_file(path(name)); }
    void open_as_one(const std::string& name) { open_file_by_mode_letter("B", 1, string_descriptor(path(name))); }

    runtime_double runtime;
    temporary_folder scratch{"morvane-files"};
};

TEST_F(Files, OpenFailuresGiveTheirErrorNumber) {
    make_file("plain", "x");
    make_file("locked", "secret", fs::perms::none);
    fs::create_directory(path("folder"));
    fs::create_directory(path("read-only-folder"));
    fs::permissions(path("read-only-folder"), fs::perms::owner_read | fs::perms::owner_exec |
                                                  fs::perms::others_read | fs::perms::others_exec);
    fs::create_symlink(path("loop"), path("loop"));
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{.sun_family = AF_UNIX};
    path("socket").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    fs::permissions(path("socket"), fs::perms::all);  // refused as a socket, not for its rights

    const std::pair<std::string, int32_t> table[] = {
        {path("missing-folder/file"), 76},
        {path("plain/file"), 76},
        {"", 76},
        {path("folder"), 70},
        {path("locked"), 70},
        {path("read-only-folder/new"), 70},
        {path("socket"), 68},
        {path(std::string(300, 'n')), 53},
        {path("loop"), 53},
    };
    for (const auto& [name, expected] : table) {
        const std::string report = run_unprivileged([&name] {
            open_file_by_mode_letter("B", 1, string_descriptor(name));
            const std::string error = std::to_string(take_error());
            const bool is_open = file_length(1) != 0 || take_error() != 52;
            return error + (is_open ? " open" : " not open");
        });
        EXPECT_EQ(report, std::to_string(expected) + " not open") << name;
    }
    close(listener);
    EXPECT_TRUE(fs::is_empty(path("read-only-folder")));
    EXPECT_EQ(content("locked"), "secret");
}

TEST_F(Files, AFifoNeverHoldsTheOpenUp) {
    // Without rights to both ends, the open falls back to one direction, where a FIFO would
    // wait for a partner that never comes.
    const std::pair<const char*, fs::perms> fifos[] = {
        {"readable", fs::perms::owner_read | fs::perms::others_read},
        {"writable", fs::perms::owner_write | fs::perms::others_write},
    };
    for (const auto& [name, rights] : fifos) {
        ASSERT_EQ(mkfifo(path(name).c_str(), 0600), 0);
        fs::permissions(path(name), rights);
    }
    const std::pair<const char*, const char*> table[] = {{"readable", "0 open"}, {"writable", "68 not open"}};
    for (const auto& [name, expected] : table) {
        const std::string fifo = path(name);
        const std::string report = run_unprivileged([&fifo] {
            alarm(5);  // a hanging open ends the child with no report
            open_file_by_mode_letter("B", 1, string_descriptor(fifo));
            const std::string error = std::to_string(take_error());
            const bool is_open = file_length(1) == 0 && take_error() == 0;
            return error + (is_open ? " open" : " not open");
        });
        EXPECT_EQ(report, expected) << name;
    }
}

TEST_F(Files, ModeAndNumberChecks) {
    const std::tuple<string_descriptor, int32_t, int32_t> table[] = {
        {"", 1, 54}, {"X", 1, 54}, {"R", 1, 54}, {"\xc2", 1, 54}, {"B", 0, 52}, {"B", -1, 52},
        {"b", 1, 0}, {"Binary", 2, 0},
    };
    for (const auto& [mode, number, expected] : table) {
        open_file_by_mode_letter(mode, number, string_descriptor(path("data")));
        EXPECT_EQ(take_error(), expected) << testing::PrintToString(mode) << " " << number;
    }
    open_as_one("other");
    EXPECT_EQ(take_error(), 55);
    EXPECT_FALSE(fs::exists(path("other")));
}

TEST_F(Files, AccessFollowsTheRightsOfTheFile) {
    struct access_case {
        const char* what;
        fs::perms rights;
        const char* report;  // errors of the read and of the write, and what the read gave
        const char* after;   // the file once the child is done
    };
    const access_case table[] = {
        {"read-write", fs::perms::owner_all | fs::perms::others_read | fs::perms::others_write,
         "read 0 'old!' write 0", "old!new"},
        {"read-only", fs::perms::owner_read | fs::perms::others_read, "read 0 'old!' write 75", "old!"},
        {"write-only", fs::perms::owner_write | fs::perms::others_write, "read 75 '....' write 0", "new"},
    };
    for (const access_case& next : table) {
        make_file(next.what, "old!", next.rights);
        const std::string name = path(next.what);
        const std::string report = run_unprivileged([&name] {
            open_file_by_mode_letter("B", 1, string_descriptor(name));
            if (const int32_t error = take_error()) return "open " + std::to_string(error);
            string_descriptor text("....");
            get_string_from_file(1, text);
            const std::string read = "read " + std::to_string(take_error()) + " '" + text.bytes + "'";
            write_whole(1, "new");
            return read + " write " + std::to_string(take_error());
        });
        EXPECT_EQ(report, next.report) << next.what;
        EXPECT_EQ(content(next.what), next.after) << next.what;
    }
}

TEST_F(Files, MissingFileIsCreatedEmptyAndOpeningChangesNothing) {
    open_as_one("new.cas");
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(file_length(1), 0);
    close_file(1);
    EXPECT_EQ(content("new.cas"), "");

    const std::string bytes("template\0\xff\x80 bytes", 17);
    make_file("KESTRIL.RAN", bytes);
    open_as_one("KESTRIL.RAN");
    EXPECT_EQ(file_length(1), 17);
    close_file(1);
    EXPECT_EQ(content("KESTRIL.RAN"), bytes);
    open_as_one("KESTRIL.RAN");
    EXPECT_EQ(read_whole(1), bytes);
    close_file(1);
    EXPECT_EQ(content("KESTRIL.RAN"), bytes);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Files, ReadsFromThePositionAndFillsZerosPastTheEnd) {
    make_file("data", "abcdef");
    open_as_one("data");
    string_descriptor part("..");
    get_string_from_file(1, part);
    EXPECT_EQ(part, string_descriptor("ab"));
    get_string_from_file(1, part);
    EXPECT_EQ(part, string_descriptor("cd"));
    string_descriptor rest("xxxxx");
    get_string_from_file(1, rest);
    EXPECT_EQ(rest, string_descriptor(std::string_view("ef\0\0\0", 5)));
    string_descriptor none;
    get_string_from_file(1, none);
    EXPECT_EQ(none.length(), 0);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Files, WriteLeavesExactlyTheBytesWritten) {
    make_file("IMAGE.CAS", "a stale and longer content");
    open_as_one("IMAGE.CAS");
    write_whole(1, std::string("new\0", 4));
    close_file(1);
    EXPECT_EQ(content("IMAGE.CAS"), std::string("new\0", 4));

    open_as_one("IMAGE.CAS");
    write_whole(1, "");
    close_file(1);
    EXPECT_EQ(content("IMAGE.CAS"), "");
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Files, FailedWriteOnAFullDeviceGives75) {
    open_file_by_mode_letter("B", 1, "/dev/full");
    ASSERT_EQ(take_error(), 0);
    write_whole(1, "bytes");
    EXPECT_EQ(take_error(), 75);
}

// The entries of `folder` (names only), in order.
std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Files, AFileThatMustExistIsNeverMadeAndMustHoldSomething) {
    make_file("template", "bytes");
    make_file("empty", "");
    fs::create_symlink(path("target"), path("dangling"));
    fs::create_directory(path("folder"));
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", path("device"));
    const std::pair<std::string, int32_t> table[] = {
        {"template", 0}, {"missing", 53}, {"empty", 53}, {"dangling", 53},
        {"folder", 70},  {"fifo", 70},    {"device", 70},
    };
    const std::vector<std::string> before = entries(scratch.path());
    for (const auto& [name, expected] : table) {
        open_file_by_mode_letter("B", 1, string_descriptor(path(name)), file_creation::must_exist);
        EXPECT_EQ(take_error(), expected) << name;
        EXPECT_EQ(file_length(1), expected == 0 ? 5 : 0) << name;
        EXPECT_EQ(take_error(), expected == 0 ? 0 : 52) << name;
        close_file(1);
    }
    EXPECT_EQ(entries(scratch.path()), before);
}

TEST_F(Files, WriteFromTheFirstByteReplacesTheFileWhole) {
    make_file("IMAGE.CAS", "old content", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Root writing another user's file leaves it that user's.
    if (getuid() == 0) {
        ASSERT_EQ(chown(path("IMAGE.CAS").c_str(), unprivileged_user(), getgid()), 0);
    }
    struct stat old {};
    ASSERT_EQ(stat(path("IMAGE.CAS").c_str(), &old), 0);
    open_as_one("IMAGE.CAS");
    write_whole(1, "new");
    EXPECT_EQ(take_error(), 0);
    EXPECT_EQ(file_length(1), 3);  // the number now names the new file
    close_file(1);

    struct stat now {};
    ASSERT_EQ(stat(path("IMAGE.CAS").c_str(), &now), 0);
    EXPECT_NE(now.st_ino, old.st_ino);
    EXPECT_EQ(now.st_mode, old.st_mode);
    EXPECT_EQ(now.st_uid, old.st_uid);
    EXPECT_EQ(content("IMAGE.CAS"), "new");
    EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{"IMAGE.CAS"});
}

TEST_F(Files, ASymbolicLinkIsReplacedAndItsTargetLeftAlone) {
    fs::create_directory(path("elsewhere"));
    make_file("elsewhere/target", "the target's own bytes");
    fs::create_symlink(path("elsewhere/target"), path("IMAGE.CAS"));
    open_as_one("IMAGE.CAS");
    write_whole(1, "cassette");
    close_file(1);
    EXPECT_EQ(take_error(), 0);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path("IMAGE.CAS"))));
    EXPECT_EQ(content("IMAGE.CAS"), "cassette");
    EXPECT_EQ(content("elsewhere/target"), "the target's own bytes");
    EXPECT_EQ(entries(scratch.path()), (std::vector<std::string>{"IMAGE.CAS", "elsewhere"}));
}

TEST_F(Files, AFailedWriteLeavesTheFileAsItWasAndNothingBeside) {
    make_file("IMAGE.CAS", "earlier");
    const std::string name = path("IMAGE.CAS");
    const std::string report = run_unprivileged([&name] {
        // Files may not grow past 8 bytes, as on a disk that is nearly full.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit small{8, 8};
        if (setrlimit(RLIMIT_FSIZE, &small) != 0) return std::string("no limit");
        open_file_by_mode_letter("B", 1, string_descriptor(name));
        write_whole(1, std::string(100, 'x'));
        const std::string error = std::to_string(take_error());
        return error + " " + std::to_string(file_length(1));
    });
    EXPECT_EQ(report, "75 7");
    EXPECT_EQ(content("IMAGE.CAS"), "earlier");
    EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{"IMAGE.CAS"});
}

// A folder that takes no new file: a writable file there is written in place, but a symbolic
// link is never written through.
TEST_F(Files, AFolderThatTakesNoNewFileGetsTheWriteInPlace) {
    fs::create_directory(path("closed"));
    const std::string file = path("closed/IMAGE.CAS");
    write_whole_file(file, "old content");
    fs::permissions(file, fs::perms::all);
    make_file("target", "the target's own bytes", fs::perms::all);
    fs::create_symlink(path("target"), path("closed/link"));
    fs::permissions(path("closed"), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    struct stat old {};
    ASSERT_EQ(stat(file.c_str(), &old), 0);
    const std::string link = path("closed/link");
    const std::string report = run_unprivileged([&file, &link] {
        std::string errors;
        for (const std::string& name : {file, link}) {
            open_file_by_mode_letter("B", 1, string_descriptor(name));
            write_whole(1, "new");
            close_file(1);
            errors += std::to_string(take_error()) + " ";
        }
        return errors;
    });
    EXPECT_EQ(report, "0 70 ");
    struct stat now {};
    ASSERT_EQ(stat(file.c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, old.st_ino);
    EXPECT_EQ(read_whole_file(file), "new");
    EXPECT_EQ(content("target"), "the target's own bytes");
    EXPECT_EQ(entries(path("closed")), (std::vector<std::string>{"IMAGE.CAS", "link"}));
}

TEST_F(Files, AFolderLockWaitsForItsHolderAndThenGoesOnWithoutIt) {
    const std::string folder = scratch.path().string();
    {
        const folder_lock first(folder, std::chrono::milliseconds(0));
        ASSERT_TRUE(first.held());
        const auto start = std::chrono::steady_clock::now();
        const folder_lock second(folder, std::chrono::milliseconds(300));
        EXPECT_FALSE(second.held());
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    }
    EXPECT_TRUE(folder_lock(folder, std::chrono::milliseconds(0)).held());
    // A process that ends holding the lock gives it up.
    const pid_t child = fork();
    if (child == 0) {
        const folder_lock held(folder, std::chrono::milliseconds(0));
        _exit(held.held() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(folder_lock(folder, std::chrono::milliseconds(0)).held());
    EXPECT_FALSE(folder_lock(path("missing"), std::chrono::milliseconds(0)).held());
    EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{});
}

TEST_F(Files, ByteBlockIsAViewWithANonNegativeLength) {
    const char bytes[] = "abc";
    byte_block block;
    EXPECT_EQ(&make_byte_block(bytes, 3, block), &block);
    EXPECT_EQ(block.data, bytes);
    EXPECT_EQ(block.length, 3);
    make_byte_block(bytes, -4, block);
    EXPECT_EQ(block.length, 0);
}

TEST_F(Files, NumbersThatAreNotOpen) {
    EXPECT_EQ(file_length(1), 0);
    EXPECT_EQ(take_error(), 52);
    EXPECT_EQ(file_length(0), 0);
    EXPECT_EQ(take_error(), 52);
    string_descriptor text("kept");
    get_string_from_file(1, text);
    EXPECT_EQ(take_error(), 52);
    EXPECT_EQ(text, string_descriptor("kept"));
    write_whole(1, "x");
    EXPECT_EQ(take_error(), 52);
    for (const int32_t number : {1, 0, -5, 2}) close_file(number);
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Files, ClosingFreesTheNumber) {
    open_as_one("a");
    open_file_by_mode_letter("B", 2, string_descriptor(path("b")));
    close_file(1);
    open_as_one("c");
    EXPECT_EQ(take_error(), 0);
    close_all_files();
    EXPECT_EQ(file_length(2), 0);
    EXPECT_EQ(take_error(), 52);
    open_as_one("a");
    open_file_by_mode_letter("B", 2, string_descriptor(path("b")));
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Files, NamesEndAtAZeroByteAndKeepBackslashes) {
    open_file_by_mode_letter("B", 1, string_descriptor(path(std::string("cut\0rest", 8))));
    close_file(1);
    open_file_by_mode_letter("B", 1, string_descriptor(path("back\\slash")));
    close_file(1);
    EXPECT_EQ(take_error(), 0);
    EXPECT_TRUE(fs::exists(path("cut")));
    EXPECT_TRUE(fs::exists(path("back\\slash")));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 2);
}

TEST_F(Files, ExistenceOfFilesAndFolders) {
    make_file("file", "x");
    fs::create_directory(path("folder"));
    fs::create_symlink(path("nothing"), path("dangling"));
    fs::create_symlink(path("folder"), path("folder-link"));
    const std::tuple<std::string, int32_t, int32_t> table[] = {
        {path("file"), -1, 0},
        {path("folder"), 0, -1},
        {path("missing"), 0, 0},
        {"", 0, 0},
        {path(std::string("file\0junk", 9)), -1, 0},
        {path(std::string("folder\0junk", 11)), 0, -1},
        {std::string("\0", 1) + path("file"), 0, 0},
        {path("dangling"), 0, 0},
        {path("folder-link"), 0, -1},
        {"/dev/null", -1, 0},
    };
    for (const auto& [name, file, directory] : table) {
        EXPECT_EQ(file_exists(string_descriptor(name)), file) << name;
        EXPECT_EQ(directory_exists(string_descriptor(name)), directory) << name;
    }
    EXPECT_EQ(take_error(), 0);
}

TEST_F(Files, ServicesDoNothingWhileAnErrorIsPending) {
    make_file("data", "content");
    open_as_one("data");
    raise_error(5);

    EXPECT_EQ(file_exists(string_descriptor(path("data"))), 0);
    EXPECT_EQ(directory_exists(string_descriptor(scratch.path().string())), 0);
    open_file_by_mode_letter("B", 2, string_descriptor(path("never")));
    string_descriptor text("....");
    get_string_from_file(1, text);
    write_whole(1, "x");
    close_file(1);
    close_all_files();
    EXPECT_EQ(file_length(1), 7);  // the length does not look at the error

    EXPECT_EQ(take_error(), 5);
    EXPECT_FALSE(fs::exists(path("never")));
    EXPECT_EQ(text, string_descriptor("...."));
    EXPECT_EQ(content("data"), "content");
    EXPECT_EQ(read_whole(1), "content");  // still open
    EXPECT_EQ(take_error(), 0);
}

// The folder probe reports the current directory after the change to the executable's folder.
std::string folder_after_start(const std::string& program, const std::string& report) {
    child_process probe(program, {.arguments = {program, report}, .working_directory = "/"});
    EXPECT_EQ(probe.wait_for_exit(std::chrono::seconds(10)), 0);
    return read_whole_file(report);
}

TEST_F(Files, StartUpChangesToTheExecutablesFolder) {
    const fs::path probe = fs::canonical(FILES_FOLDER_PROBE);
    EXPECT_EQ(folder_after_start(probe.string(), path("report")), probe.parent_path().string());
    // Started through a link, it is still the folder that holds the executable itself.
    fs::create_symlink(probe, path("linked-probe"));
    EXPECT_EQ(folder_after_start(path("linked-probe"), path("report2")), probe.parent_path().string());
}

}  // namespace
