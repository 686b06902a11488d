// The template cassette image "KESTRIL.RAN": a BASIC-NL 1.1 program, written as text, turned
// into the tokenized lines the P2000T stores and laid out in the blocks of a .cas file. The
// generator fails (std::runtime_error) rather than write an image the converter would spoil.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cassette {

constexpr int block_size = 0x500;      // one tape block in the file
constexpr int header_area_size = 0x100;  // of which only +30..+4F is the tape header
constexpr int data_size = 0x400;       // program bytes per block
constexpr uint16_t basic_start = 0x6547;  // where BASIC-NL loads and runs a program

// One program line: its number and its tokenized text, without link or terminator.
struct basic_line {
    uint16_t number = 0;
    std::string text;
};

// The 26 row markers, in the order the converter replaces them (row 18 as two pieces).
const std::vector<std::string>& row_placeholders();

// The lines of `source`: "NUMBER TEXT" per line, "{hh}" for a byte in hex, keywords tokenized
// outside string literals and after REM; blank lines and lines starting with '#' are left out.
std::vector<basic_line> parse_program(std::string_view source);

// The program as BASIC holds it at 0x6547: linked lines and the closing zero link.
std::string link_program(const std::vector<basic_line>& lines);

// The .cas file of `program` under `name` (at most 16 characters), with a header per block.
std::string cassette_image(std::string_view program, std::string_view name);

// The template for `source`: its first line, a REM, padded with spaces so that row 18's two
// markers meet exactly at the first block boundary; every marker checked to occur once.
std::string build_template(std::string_view source, std::string_view name);

}  // namespace cassette
