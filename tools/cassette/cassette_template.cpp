#include "tools/cassette/cassette_template.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace cassette {
namespace {

struct keyword {
    std::string_view text;
    char token;
};

// BASIC-NL 1.1's tokens for the keywords the template uses.
constexpr std::array<keyword, 16> keywords = {{
    {"END", '\x80'}, {"FOR", '\x81'}, {"NEXT", '\x82'}, {"DATA", '\x83'}, {"INPUT", '\x84'},
    {"GOTO", '\x88'}, {"IF", '\x8A'}, {"REM", '\x8E'}, {"STOP", '\x8F'}, {"POKE", '\xA4'},
    {"PRINT", '\xA5'}, {"TO", '\xB0'}, {"THEN", '\xBA'}, {"=", '\xCA'}, {"PEEK", '\xDB'},
    {"CHR$", '\xE6'},
}};
constexpr char remark_token = '\x8E';
constexpr char data_token = '\x83';

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

// The bytes a marker is made of; a row beside one of them could spell a marker with it.
bool marker_byte(char byte) { return byte == '!' || (byte >= '0' && byte <= '9'); }

int hex_digit(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    return -1;
}

// `text` with every "{hh}" turned into the byte hh.
std::string unescape(std::string_view text, const std::string& where) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '{') {
            bytes += text[i];
            continue;
        }
        if (i + 3 >= text.size() || text[i + 3] != '}' || hex_digit(text[i + 1]) < 0 || hex_digit(text[i + 2]) < 0) {
            fail(where + ": a byte is written {hh}");
        }
        const int value = hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]);
        if (value == 0) fail(where + ": a zero byte would end the line");
        bytes += static_cast<char>(value);
        i += 3;
    }
    return bytes;
}

// The keyword that starts at `at`, longest first, or nullptr.
const keyword* keyword_at(std::string_view text, size_t at) {
    const keyword* best = nullptr;
    for (const keyword& candidate : keywords) {
        if (text.substr(at, candidate.text.size()) == candidate.text &&
            (best == nullptr || candidate.text.size() > best->text.size())) {
            best = &candidate;
        }
    }
    return best;
}

// `text` as BASIC crunches it: keywords become tokens except inside string literals, after
// REM, and in DATA up to the next ':'.
std::string tokenize(std::string_view text) {
    std::string crunched;
    bool in_string = false;
    bool in_data = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char byte = text[i];
        if (byte == '"') in_string = !in_string;
        if (in_string || byte == '"') {
            crunched += byte;
            continue;
        }
        if (in_data) {
            in_data = byte != ':';
            crunched += byte;
            continue;
        }
        const keyword* found = keyword_at(text, i);
        if (found == nullptr) {
            crunched += byte;
            continue;
        }
        crunched += found->token;
        i += found->text.size() - 1;
        if (found->token == remark_token) return crunched + std::string(text.substr(i + 1));
        in_data = found->token == data_token;
    }
    return crunched;
}

// One source line "NUMBER TEXT" (the single space after the number is not stored).
basic_line parse_line(std::string_view line, const std::string& where) {
    size_t digits = 0;
    uint32_t number = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9' && number < 65536) {
        number = number * 10 + static_cast<uint32_t>(line[digits++] - '0');
    }
    if (digits == 0 || number == 0 || number > 65529) fail(where + ": a line starts with its number, 1 to 65529");
    std::string_view text = line.substr(digits);
    if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return {static_cast<uint16_t>(number), tokenize(unescape(text, where))};
}

void put_word(std::string& bytes, size_t at, uint32_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void put_text(std::string& bytes, size_t at, std::string_view text) { bytes.replace(at, text.size(), text); }

// The 32-byte tape header every block carries at +30; only the blocks-remaining count differs.
void put_header(std::string& block, uint32_t program_length, std::string_view name, int blocks_remaining) {
    const std::string padded_name = std::string(name) + std::string(16 - name.size(), ' ');
    put_word(block, 0x30, basic_start);
    put_word(block, 0x32, program_length);
    put_word(block, 0x34, program_length);
    put_text(block, 0x36, padded_name.substr(0, 8));
    put_text(block, 0x3E, "BAS");
    block[0x41] = 'B';
    block[0x42] = 'N';
    put_word(block, 0x43, program_length);
    put_word(block, 0x45, 0);
    put_text(block, 0x47, padded_name.substr(8));
    block[0x4F] = static_cast<char>(blocks_remaining);
}

// Every place where `marker` starts in `image`, overlapping ones included.
std::vector<size_t> occurrences(std::string_view image, std::string_view marker) {
    std::vector<size_t> found;
    for (size_t at = image.find(marker); at != std::string_view::npos; at = image.find(marker, at + 1)) {
        found.push_back(at);
    }
    return found;
}

// Fails unless every marker stands once, between bytes no marker is made of, and row 18's
// pieces sit on the two sides of a block's header area.
void check_markers(std::string_view image) {
    const std::vector<std::string>& markers = row_placeholders();
    std::vector<size_t> places;
    for (const std::string& marker : markers) {
        const std::vector<size_t> found = occurrences(image, marker);
        if (found.size() != 1) fail("marker " + marker + " occurs " + std::to_string(found.size()) + " times");
        const size_t at = found.front();
        if (at == 0 || at + marker.size() >= image.size() || marker_byte(image[at - 1]) ||
            marker_byte(image[at + marker.size()])) {
            fail("marker " + marker + " stands beside a byte a marker is made of");
        }
        places.push_back(at);
    }
    const size_t first_piece_end = places[17] + markers[17].size();
    if (first_piece_end % block_size != 0 || places[18] != first_piece_end + header_area_size) {
        fail("row 18's markers do not meet at a block boundary");
    }
}

}  // namespace

const std::vector<std::string>& row_placeholders() {
    static const std::vector<std::string> markers = [] {
        std::vector<std::string> all;
        for (int row = 1; row <= 25; ++row) {
            if (row == 18) {
                all.push_back(std::string(23, '!') + "181");
                all.push_back(std::string(10, '!') + "182");
                continue;
            }
            all.push_back(std::string(37, '!') + static_cast<char>('0' + row / 10) + static_cast<char>('0' + row % 10));
        }
        return all;
    }();
    return markers;
}

std::vector<basic_line> parse_program(std::string_view source) {
    std::vector<basic_line> lines;
    int source_line = 0;
    while (!source.empty()) {
        const size_t end = std::min(source.find('\n'), source.size());
        std::string_view line = source.substr(0, end);
        source.remove_prefix(std::min(end + 1, source.size()));
        ++source_line;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::string where = "line " + std::to_string(source_line);
        lines.push_back(parse_line(line, where));
        if (lines.size() > 1 && lines[lines.size() - 2].number >= lines.back().number) {
            fail(where + ": line numbers must rise");
        }
    }
    if (lines.empty()) fail("the program has no lines");
    return lines;
}

std::string link_program(const std::vector<basic_line>& lines) {
    std::string program;
    for (const basic_line& line : lines) {
        const size_t start = program.size();
        program += std::string(4, '\0') + line.text + '\0';
        put_word(program, start, basic_start + static_cast<uint32_t>(program.size()));
        put_word(program, start + 2, line.number);
    }
    program += std::string(2, '\0');
    if (basic_start + program.size() > 0xFFFF) fail("the program does not fit in memory");
    return program;
}

std::string cassette_image(std::string_view program, std::string_view name) {
    if (name.size() > 16) fail("a cassette name has at most 16 characters");
    const int blocks = static_cast<int>((program.size() + data_size - 1) / data_size);
    if (blocks == 0 || blocks > 255) fail("a program takes 1 to 255 blocks");
    std::string image;
    for (int block = 0; block < blocks; ++block) {
        std::string bytes(block_size, '\0');
        put_header(bytes, static_cast<uint32_t>(program.size()), name, blocks - block);
        put_text(bytes, header_area_size, program.substr(static_cast<size_t>(block) * data_size, data_size));
        image += bytes;
    }
    return image;
}

std::string build_template(std::string_view source, std::string_view name) {
    std::vector<basic_line> lines = parse_program(source);
    if (lines.front().text.empty() || lines.front().text.front() != remark_token) {
        fail("the first line must be a REM, which takes the padding");
    }
    const std::string& first_piece = row_placeholders()[17];
    const size_t at = link_program(lines).find(first_piece);
    if (at == std::string::npos) fail("marker " + first_piece + " is missing");
    const size_t piece_end = at + first_piece.size();
    lines.front().text += std::string((data_size - piece_end % data_size) % data_size, ' ');
    const std::string image = cassette_image(link_program(lines), name);
    check_markers(image);
    return image;
}

}  // namespace cassette
