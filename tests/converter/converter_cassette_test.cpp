#include "converter/cassette.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "converter/variables.h"
#include "support/converter_fixtures.h"
#include "platform/errors.h"
#include "support/child_process.h"
#include "support/runtime_double.h"
#include "support/text_printing.h"

namespace {

// Row k of `length` bytes that spell no marker.
std::string plain_row(int k, int length = 39) {
    std::string text;
    for (int i = 0; i < length; ++i) text += static_cast<char>(i % 2 ? 'a' + k : 0x20 + i);
    return text;
}

class Cassette : public testing::Test {
  protected:
    void SetUp() override {
        reset_converter_variables();
        set_executable_name("morvane");
        for (int k = 1; k <= 25; ++k) row(k) = string_descriptor(plain_row(k));
    }

    // What the passes make of a template laid out by `layout` from the current rows: each row
    // filled up to 39 codes with spaces, row 18 in its first 26 and last 13.
    static std::string filled_layout() {
        return layout([](int k) {
            const std::string row_18 = filled(row(18).bytes);
            if (k == 181) return row_18.substr(0, 26);
            if (k == 182) return row_18.substr(26);
            return filled(row(k).bytes);
        });
    }

    std::string cassette() const { return read_whole_file("IMAGE.CAS"); }

    runtime_double runtime;
    scratch_folder folder;
};

TEST_F(Cassette, FullRowsFillEveryMarkerAndKeepTheLength) {
    write_whole_file("KESTRIL.RAN", every_marker_once);
    write_cassette();
    EXPECT_EQ(cassette(), filled_layout());
    EXPECT_EQ(cassette().size(), every_marker_once.size());
    EXPECT_EQ(read_whole_file("KESTRIL.RAN"), every_marker_once);
    EXPECT_EQ(pass_index, 27.0f);
    EXPECT_TRUE(runtime.boxes().empty());
}

TEST_F(Cassette, MissingTemplateIsCreatedEmptyAndGivesAnEmptyCassette) {
    write_whole_file("IMAGE.CAS", "from an earlier run");
    write_cassette();
    EXPECT_TRUE(std::filesystem::is_regular_file("KESTRIL.RAN"));
    EXPECT_EQ(std::filesystem::file_size("KESTRIL.RAN"), 0u);
    EXPECT_EQ(cassette(), "");
    EXPECT_TRUE(runtime.boxes().empty());
}

TEST_F(Cassette, TemplateWithoutMarkersIsCopiedByteForByte) {
    std::string every_byte;
    for (int i = 0; i < 3 * 256; ++i) every_byte += static_cast<char>(i % 256);
    write_whole_file("KESTRIL.RAN", every_byte);
    write_cassette();
    EXPECT_EQ(cassette(), every_byte);
}

TEST_F(Cassette, LongerCassetteOfAnEarlierRunIsCut) {
    write_whole_file("KESTRIL.RAN", every_marker_once);
    write_whole_file("IMAGE.CAS", std::string(10000, 'Z'));
    write_cassette();
    EXPECT_EQ(cassette(), filled_layout());
}

struct template_case {
    std::string name;
    std::string template_text;
    std::function<void()> set_rows;
    std::string expected;
};

TEST_F(Cassette, MarkersWhereverTheTemplateOrTheRowsPutThem) {
    const template_case cases[] = {
        {"a marker twice", "a" + marker(7) + "b" + marker(7) + "c", [] { row(7) = "xyz"; },
         "a" + filled("xyz") + "b" + filled("xyz") + "c"},
        {"40 exclamation marks and 01", "x" + std::string(40, '!') + "01y", [] { row(1) = "R"; },
         "x!!!" + filled("R") + "y"},
        {"row 2 spells row 5's marker", marker(2) + "/" + marker(5),
         [] { row(2) = string_descriptor(marker(5)); row(5) = "five"; },
         filled("five") + "/" + filled("five")},
        {"a row equal to its own marker", "(" + marker(3) + ")", [] { row(3) = string_descriptor(marker(3)); },
         "(" + marker(3) + ")"},
        {"an empty row leaves black cells", "[" + marker(12) + "]", [] { row(12) = ""; }, "[" + filled("") + "]"},
        {"an empty row 18 leaves black cells in both pieces", marker(181) + "-" + marker(182), [] { row(18) = ""; },
         std::string(26, ' ') + "-" + std::string(13, ' ')},
    };
    for (const template_case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.set_rows();
        write_whole_file("KESTRIL.RAN", c.template_text);
        write_cassette();
        EXPECT_EQ(cassette(), c.expected);
    }
}

struct short_row_case {
    int row;
    int length;
};

// A short row would shift every later byte of the cassette and break its tape blocks: it is
// filled up with black cells, and the output keeps the template's length.
TEST_F(Cassette, ShortRowsAreFilledUpAndKeepTheLength) {
    const short_row_case cases[] = {{5, 30}, {18, 30}, {18, 10}, {18, 26}, {12, 0}, {18, 0}};
    write_whole_file("KESTRIL.RAN", every_marker_once);
    for (const short_row_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.row << " of " << c.length);
        SetUp();
        row(c.row) = string_descriptor(plain_row(c.row, c.length));
        write_cassette();
        EXPECT_EQ(cassette(), filled_layout());
        EXPECT_EQ(cassette().size(), every_marker_once.size());
    }
}

TEST_F(Cassette, Row18Of30BytesIsFilledUpBeforeItIsSplit) {
    write_whole_file("KESTRIL.RAN", marker(181) + "|" + marker(182));
    row(18) = "abcdefghijklmnopqrstuvwxyz0123";
    write_cassette();
    EXPECT_EQ(cassette(), "abcdefghijklmnopqrstuvwxyz|0123" + std::string(9, ' '));
}

TEST_F(Cassette, NoAtAFailedStepLeavesTheLastWrittenPass) {
    write_whole_file("KESTRIL.RAN", "x");
    write_whole_file("IMAGE.CAS", "old");
    runtime.answer({box_answer::no});
    raise_error(53);  // as if opening the template had failed
    EXPECT_THROW(write_cassette(), program_thread_stopped_signal);
    ASSERT_EQ(runtime.boxes().size(), 1u);
    EXPECT_EQ(runtime.boxes()[0].text.rfind("Line: 149 (in main module)", 0), 0u);
    EXPECT_EQ(cassette(), "old");
}

// Every box the conversion showed, as "title: text" lines.
std::string box_lines(const runtime_double& runtime) {
    std::string lines;
    for (const shown_box& box : runtime.boxes()) lines += box.title + ": " + box.text + "\n";
    return lines;
}

TEST_F(Cassette, ReadOnlyCassetteFailsEveryWriteAndKeepsItsContent) {
    // Root may write any file, so the conversion runs in a child as an unprivileged user.
    write_whole_file("KESTRIL.RAN", every_marker_once);
    write_whole_file("IMAGE.CAS", "old");
    std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
    constexpr auto read_only = std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                               std::filesystem::perms::others_read;
    std::filesystem::permissions("KESTRIL.RAN", read_only);  // read without an error
    std::filesystem::permissions("IMAGE.CAS", read_only);
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        close(report[0]);
        const uid_t nobody = unprivileged_user();
        if (setgid(nobody) != 0 || setuid(nobody) != 0) _exit(3);
        write_cassette();
        const std::string lines = box_lines(runtime);
        const bool sent = write(report[1], lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
        _exit(sent ? 0 : 4);
    }
    close(report[1]);
    std::string lines;
    char buffer[4096];
    for (ssize_t got; (got = read(report[0], buffer, sizeof buffer)) > 0;) lines.append(buffer, static_cast<std::size_t>(got));
    close(report[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    const auto box = [](int step) {
        return "Unhandled Error #75 - morvane: Line: " + std::to_string(step) +
               " (in main module)\nPath/File access error\nContinue?\n";
    };
    std::string expected = box(158);
    for (int pass = 2; pass <= 26; ++pass) expected += box(196);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(cassette(), "old");
}

}  // namespace
