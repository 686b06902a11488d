// make_template's pieces: BASIC text to tokenized lines, lines to a linked program, a program
// to cassette blocks, and the checks that keep a spoilt template from being written.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tools/cassette/cassette_template.h"

namespace {

using namespace std::string_literals;

struct crunch_case {
    const char* source;
    std::string text;
};

TEST(TemplateGenerator, TokenizesKeywordsOutsideLiteralsRemarksAndData) {
    const crunch_case cases[] = {
        {"10 PRINT\"TO\";", "\xA5\"TO\";"},
        {"10 POKE 24595,1:PRINT CHR$(12);", "\xA4 24595,1:\xA5 \xE6(12);"},
        {"10 IF PEEK(1)=0 THEN 10", "\x8A \xDB(1)\xCA" "0 \xBA 10"},
        {"10 FOR S=0 TO 1:NEXT:GOTO 20:STOP:END", "\x81 S\xCA" "0 \xB0 1:\x82:\x88 20:\x8F:\x80"},
        {"10 REM PRINT \"x", "\x8E PRINT \"x"},
        {"10 DATA PRINT,\"A:B\":PRINT", "\x83 PRINT,\"A:B\":\xA5"},
        {"10 INPUT A", "\x84 A"},
        {"10 PRINT\"{97}{fd}\"", "\xA5\"\x97\xFD\""},
        {"10", ""},
    };
    for (const crunch_case& c : cases) {
        const std::vector<cassette::basic_line> lines = cassette::parse_program(c.source);
        ASSERT_EQ(lines.size(), 1u) << c.source;
        EXPECT_EQ(lines[0].number, 10) << c.source;
        EXPECT_EQ(lines[0].text, c.text) << c.source;
    }
}

TEST(TemplateGenerator, SkipsCommentsAndBlankLines) {
    const auto lines = cassette::parse_program("# about it\r\n\n1 REM X\r\n20 END\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "\x8E X");
    EXPECT_EQ(lines[1].number, 20);
}

TEST(TemplateGenerator, RefusesBadText) {
    for (const char* source : {"", "PRINT", "0 END", "65530 END", "20 END\n10 END", "10 END\n10 END",
                               "10 PRINT\"{0}\"", "10 PRINT\"{zz}\"", "10 PRINT\"{00}\"", "10 PRINT\"{9"}) {
        EXPECT_THROW(cassette::parse_program(source), std::runtime_error) << source;
    }
}

TEST(TemplateGenerator, LinksLinesFromWhereBasicLoadsThem) {
    const std::string program = cassette::link_program({{10, "\x80"}, {300, "AB"}});
    EXPECT_EQ(program, "\x4D\x65\x0A\x00\x80\x00" "\x54\x65\x2C\x01" "AB\x00" "\x00\x00"s);
}

TEST(TemplateGenerator, LaysTheProgramOutInBlocksWithAHeaderEach) {
    const std::string program(1025, 'p');
    const std::string image = cassette::cassette_image(program, "SIXTEEN_LETTERS!");
    ASSERT_EQ(image.size(), 2u * 0x500);
    for (int block = 0; block < 2; ++block) {
        const std::string header = image.substr(block * 0x500 + 0x30, 32);
        EXPECT_EQ(header, "\x47\x65\x01\x04\x01\x04SIXTEEN_BASBN\x01\x04\x00\x00LETTERS!"s + static_cast<char>(2 - block));
        EXPECT_EQ(image.substr(block * 0x500, 0x30), std::string(0x30, '\0'));
        EXPECT_EQ(image.substr(block * 0x500 + 0x50, 0xB0), std::string(0xB0, '\0'));
    }
    EXPECT_EQ(image.substr(0x100, 0x400), std::string(0x400, 'p'));
    EXPECT_EQ(image.substr(0x600, 1), "p");
    EXPECT_EQ(image.substr(0x601), std::string(0x3FF, '\0'));
    EXPECT_THROW(cassette::cassette_image(program, "SEVENTEEN_LETTERS"), std::runtime_error);
    EXPECT_THROW(cassette::cassette_image("", "X"), std::runtime_error);
}

// A template of the rows' lines with `first` as its first line and `row_7` as row 7's text.
std::string template_source(const std::string& first, const std::string& row_7) {
    const std::vector<std::string>& markers = cassette::row_placeholders();
    std::string source = first + "\n";
    for (size_t row = 1; row <= 25; ++row) {
        std::string text = markers[row < 18 ? row - 1 : row];
        if (row == 7) text = row_7;
        if (row == 18) text = markers[17] + markers[18];
        source += std::to_string(10 * row) + " PRINT\"{97}" + text + "\";\n";
    }
    return source;
}

TEST(TemplateGenerator, PadsTheFirstRemarkSoThatRowEighteenMeetsTheBoundary) {
    const std::string image = cassette::build_template(template_source("1 REM X", cassette::row_placeholders()[6]), "T");
    const std::string& first_piece = cassette::row_placeholders()[17];
    EXPECT_EQ(image.find(first_piece) + first_piece.size(), 0x500u);
    EXPECT_EQ(image.find(cassette::row_placeholders()[18]), 0x600u);
}

TEST(TemplateGenerator, RefusesATemplateTheConverterWouldSpoil) {
    const std::vector<std::string>& markers = cassette::row_placeholders();
    const std::string& row_7 = markers[6];
    std::string apart = template_source("1 REM X", row_7);
    apart.replace(apart.find(markers[17]), markers[17].size(), markers[17] + "\";:PRINT\"");
    const std::string spoilt[] = {
        template_source("1 PRINT", row_7),                  // nothing to pad
        template_source("1 REM X", "!" + row_7),            // a "!" before a marker
        template_source("1 REM X", row_7 + "0"),            // a digit after a marker
        template_source("1 REM X", row_7 + row_7),          // a marker twice
        template_source("1 REM X", "X"),                    // a marker missing
        apart,                                              // row 18's pieces apart
    };
    for (const std::string& source : spoilt) {
        EXPECT_THROW(cassette::build_template(source, "T"), std::runtime_error) << source.substr(0, 40);
    }
}

}  // namespace
