// The template cassette image as the converter receives it: blocks, tape headers, the BASIC
// program in them, and the 26 row markers, before and after the rows are put in.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "template/template_rows.h"
#include "tools/cassette/cassette_template.h"

namespace {

constexpr size_t block_size = 0x500;
constexpr size_t header_area_size = 0x100;
constexpr size_t data_size = 0x400;
constexpr uint16_t basic_start = 0x6547;
constexpr size_t row_line_size = 49;  // link, number, PRINT " 0x97, 39 bytes, " ; and 0x00

const std::string committed_path = std::string(MORVANE_SOURCE_DIR) + "/data/KESTRIL.RAN";

uint16_t word_at(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// The file offset of program byte `offset`: the data areas follow each block's header area.
size_t file_offset(size_t offset) { return block_size * (offset / data_size) + header_area_size + offset % data_size; }

// The program length the first block's header gives, and the program bytes it covers.
std::string program_of(const std::string& image) {
    const size_t length = word_at(image, 0x43);
    std::string program;
    for (size_t offset = 0; offset < length && file_offset(offset) < image.size(); ++offset) {
        program += image[file_offset(offset)];
    }
    return program;
}

void put_word(std::string& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

// The header area a block of a BASIC program of `length` bytes named "MOSAIC" must have.
std::string expected_header_area(uint16_t length, size_t blocks_remaining) {
    std::string area(header_area_size, '\0');
    put_word(area, 0x30, basic_start);
    put_word(area, 0x32, length);
    put_word(area, 0x34, length);
    area.replace(0x36, 8, "MOSAIC  ");
    area.replace(0x3E, 3, "BAS");
    area[0x41] = 'B';
    area[0x42] = 'N';
    put_word(area, 0x43, length);
    area.replace(0x47, 8, "        ");
    area[0x4F] = static_cast<char>(blocks_remaining);
    return area;
}

// Checks every block's header area and the zero padding after the program.
testing::AssertionResult blocks_consistent(const std::string& image) {
    if (image.empty() || image.size() % block_size != 0) {
        return testing::AssertionFailure() << "size " << image.size() << " is no multiple of 1280";
    }
    const size_t blocks = image.size() / block_size;
    const uint16_t length = word_at(image, 0x43);
    if ((length + data_size - 1) / data_size != blocks) {
        return testing::AssertionFailure() << blocks << " blocks for a program of " << length << " bytes";
    }
    for (size_t block = 0; block < blocks; ++block) {
        if (image.substr(block * block_size, header_area_size) != expected_header_area(length, blocks - block)) {
            return testing::AssertionFailure() << "block " << block << "'s header area differs";
        }
    }
    for (size_t offset = length; offset < blocks * data_size; ++offset) {
        if (image[file_offset(offset)] != '\0') return testing::AssertionFailure() << "padding byte " << offset << " is not 0";
    }
    return testing::AssertionSuccess();
}

// Checks that `program` is a chain of BASIC lines ending in a zero link, with rising line
// numbers and closed string literals, and collects the literals' contents in order.
testing::AssertionResult well_formed(const std::string& program, std::vector<std::string>& literals) {
    literals.clear();
    size_t offset = 0;
    int previous_number = 0;
    while (offset + 2 <= program.size()) {
        const uint16_t link = word_at(program, offset);
        if (link == 0) {
            if (offset + 2 == program.size()) return testing::AssertionSuccess();
            return testing::AssertionFailure() << "zero link at " << offset << " before the end";
        }
        const size_t end = program.find('\0', offset + 4);
        if (offset + 4 > program.size() || end == std::string::npos) {
            return testing::AssertionFailure() << "line at " << offset << " has no end";
        }
        if (link != basic_start + end + 1) return testing::AssertionFailure() << "line at " << offset << " links wrongly";
        const int number = word_at(program, offset + 2);
        if (number <= previous_number) return testing::AssertionFailure() << "line number " << number << " does not rise";
        previous_number = number;
        const std::string text = program.substr(offset + 4, end - offset - 4);
        for (size_t quote = text.find('"'); quote != std::string::npos; quote = text.find('"', quote + 1)) {
            const size_t closing = text.find('"', quote + 1);
            if (closing == std::string::npos) return testing::AssertionFailure() << "line " << number << " leaves a literal open";
            literals.push_back(text.substr(quote + 1, closing - quote - 1));
            quote = closing;
        }
        offset = end + 1;
    }
    return testing::AssertionFailure() << "no closing zero link";
}

// The literals the program must hold: each row's white-graphics code and its text.
std::vector<std::string> row_literals(const std::vector<std::string>& row_texts) {
    std::vector<std::string> literals;
    for (const std::string& text : row_texts) literals.push_back("\x97" + text);
    return literals;
}

// `image` with the rows written at the markers' places, as a full row set must give it.
std::string placed(const std::string& image, const row_set& rows) {
    const std::vector<std::string> markers = pass_placeholders();
    std::string result = image;
    for (size_t pass = 0; pass < markers.size(); ++pass) {
        result.replace(image.find(markers[pass]), markers[pass].size(), pass_replacement(rows, pass));
    }
    return result;
}

class TemplateImage : public testing::Test {
  protected:
    const std::string image = read_whole_file(committed_path);
};

TEST_F(TemplateImage, GeneratorAndBuildGiveTheCommittedCopy) {
    ASSERT_FALSE(image.empty()) << committed_path;
    const std::string source = read_whole_file(std::string(MORVANE_SOURCE_DIR) + "/tools/cassette/mosaic.bas");
    EXPECT_EQ(cassette::build_template(source, "MOSAIC"), image) << "run make_template and commit its output";
    EXPECT_EQ(read_whole_file(std::string(MORVANE_BINARY_DIR) + "/KESTRIL.RAN"), image);
}

TEST_F(TemplateImage, BlocksCarryConsistentHeaders) {
    ASSERT_EQ(image.size(), 2 * block_size);
    EXPECT_TRUE(blocks_consistent(image));
}

TEST_F(TemplateImage, ProgramHoldsOneLiteralPerRow) {
    std::vector<std::string> literals;
    ASSERT_TRUE(well_formed(program_of(image), literals));
    std::vector<std::string> markers = pass_placeholders();
    markers[17] += markers[18];
    markers.erase(markers.begin() + 18);
    EXPECT_EQ(literals, row_literals(markers));
}

// Rows 1 to 24 are consecutive lines of 49 bytes, so each of their markers lies 49 bytes
// after the one before in the program; row 25's comes after them. Every marker stands between
// the white-graphics code and the closing quote, or the zeros of a header area for row 18's
// pieces, which are no bytes a marker is made of.
TEST_F(TemplateImage, MarkersStandOnceWhereTheRowLinesPutThem) {
    const std::vector<std::string> markers = pass_placeholders();
    const size_t row_1_offset = image.find(markers[0]) - header_area_size;
    ASSERT_LT(row_1_offset, data_size);
    for (size_t pass = 0; pass < markers.size(); ++pass) {
        const std::string& marker = markers[pass];
        const size_t found = image.find(marker);
        ASSERT_NE(found, std::string::npos) << marker;
        EXPECT_EQ(image.find(marker, found + 1), std::string::npos) << marker << " occurs twice";
        const size_t row = pass < 18 ? pass : pass - 1;  // from 0
        if (row < 24) {
            const size_t offset = row_1_offset + row_line_size * row + (pass == 18 ? 26 : 0);
            EXPECT_EQ(found, file_offset(offset)) << marker;
        } else {
            EXPECT_GT(found, image.find(markers[24])) << marker;
        }
        EXPECT_EQ(image[found - 1], pass == 18 ? '\0' : '\x97') << marker;
        EXPECT_EQ(image[found + marker.size()], pass == 17 ? '\0' : '"') << marker;
        if (pass != 17 && pass != 18) {
            EXPECT_EQ(found / block_size, (found + marker.size() - 1) / block_size) << marker << " crosses a block";
        }
    }
    EXPECT_EQ(image.find(markers[17]) + markers[17].size(), block_size) << "row 18's first piece must end the first block";
    EXPECT_EQ(image.find(markers[18]), block_size + header_area_size) << "row 18's last piece must open the second block's data";
}

// After the passes: the same length, the same headers, and a program whose literals are
// exactly the rows, for full rows of every mosaic code and for a random mix of them.
TEST_F(TemplateImage, FullRowsKeepTheProgramWellFormed) {
    std::vector<row_set> row_sets;
    for (const unsigned char code : mosaic_codes()) row_sets.push_back(make_rows([code](int, int) { return code; }));
    std::mt19937 random(18);
    const std::vector<unsigned char> codes = mosaic_codes();
    row_sets.push_back(make_rows([&](int, int) { return codes[random() % codes.size()]; }));
    for (const row_set& rows : row_sets) {
        const std::string filled = fill_template(image, rows);
        SCOPED_TRACE("rows of " + std::to_string(static_cast<unsigned char>(rows[0][0])));
        ASSERT_EQ(filled.size(), image.size());
        EXPECT_EQ(filled, placed(image, rows));
        EXPECT_TRUE(blocks_consistent(filled));
        std::vector<std::string> literals;
        ASSERT_TRUE(well_formed(program_of(filled), literals));
        EXPECT_EQ(literals, row_literals(std::vector<std::string>(rows.begin(), rows.end())));
    }
}

// A row that ends with the start of a marker, or starts with its end, spells nothing with
// the template's bytes beside it: the passes give exactly the rows at the markers' places.
TEST_F(TemplateImage, NoMarkerFormsAcrossTheBytesBesideARow) {
    for (const std::string& marker : pass_placeholders()) {
        for (size_t cut = 1; cut < marker.size(); ++cut) {
            const std::string head = marker.substr(0, cut);
            const std::string tail = marker.substr(cut);
            for (const std::string& row : {std::string(39 - head.size(), ' ') + head, tail + std::string(39 - tail.size(), ' ')}) {
                row_set rows;
                rows.fill(row);
                ASSERT_EQ(fill_template(image, rows), placed(image, rows)) << "row \"" << row << "\"";
            }
        }
    }
}

}  // namespace
