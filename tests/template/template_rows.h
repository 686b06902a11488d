// What the converter does with the template: the mosaic codes a row can hold, the 26 row
// markers and the passes that put 25 rows into them, for the template tests.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "converter/strings.h"
#include "platform/text.h"
#include "support/scratch_files.h"

using row_set = std::array<std::string, 25>;

// The 64 codes of the mosaic table, by pattern value.
inline std::vector<unsigned char> mosaic_codes() {
    std::vector<unsigned char> codes;
    for (int pattern = 0; pattern < 64; ++pattern) {
        if (pattern == 2) codes.push_back(0xFD);
        else if (pattern == 3) codes.push_back(0x5F);
        else if (pattern == 62) codes.push_back(0x5C);
        else codes.push_back(static_cast<unsigned char>(32 + (pattern & 31) + 64 * (pattern >> 5)));
    }
    return codes;
}

// The markers in pass order: rows 1 to 17, row 18's two pieces, rows 19 to 25.
inline std::vector<std::string> pass_placeholders() {
    std::vector<std::string> markers;
    for (int row = 1; row <= 25; ++row) {
        if (row == 18) {
            markers.push_back("!!!!!!!!!!!!!!!!!!!!!!!181");
            markers.push_back("!!!!!!!!!!182");
        } else {
            markers.push_back(std::string(37, '!') + std::to_string(row / 10) + std::to_string(row % 10));
        }
    }
    return markers;
}

// What pass `pass` (0-based) puts in place of its marker: a row, or a piece of row 18.
inline std::string pass_replacement(const row_set& rows, size_t pass) {
    if (pass < 17) return rows[pass];
    if (pass == 17) return string_left(string_descriptor(rows[17]), 26).bytes;
    if (pass == 18) return string_right(string_descriptor(rows[17]), 13).bytes;
    return rows[pass - 1];
}

// `image` after the converter's 26 passes, each replacing every occurrence of its marker.
inline std::string fill_template(const std::string& image, const row_set& rows) {
    const std::vector<std::string> markers = pass_placeholders();
    string_descriptor text(image);
    for (size_t pass = 0; pass < markers.size(); ++pass) {
        text = replace_all(text, string_descriptor(markers[pass]), string_descriptor(pass_replacement(rows, pass)));
    }
    return text.bytes;
}

// 25 rows of 39 bytes, cell c of row r (both from 0) being `code(r, c)`.
template <typename code_of>
row_set make_rows(code_of code) {
    row_set rows;
    for (int row = 0; row < 25; ++row) {
        for (int cell = 0; cell < 39; ++cell) rows[row] += static_cast<char>(code(row, cell));
    }
    return rows;
}

