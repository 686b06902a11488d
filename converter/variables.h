// The converter's variables: they exist before the first step and live until the process ends.
// Texts start empty, numbers and image handles at 0. Only the converter thread touches them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/files.h"
#include "platform/screen.h"
#include "platform/text.h"

// The picture's name: the command line, or the dropped item being looked at.
extern string_descriptor dropped_name;
// The instruction picture of the start window; -1 when it did not load.
extern image_handle logo_image;
// The drop loop's counter, reused as the number of the template pass.
extern float pass_index;
// The name the picture is loaded by, a copy of dropped_name.
extern string_descriptor picture_name;
// The key read in the final wait.
extern string_descriptor key_text;

// The picture being converted; -1 when it did not load.
extern image_handle picture_image;
// The reference colours a pixel is compared with, 0xFFFFFFFF and 0xFF000000 as singles.
extern float white;
extern float black;
// Top and left offset of the block being sampled.
extern float block_y;
extern float block_x;
// The mosaic codes of the block row being built.
extern string_descriptor row_text;
// Block rows finished; never reset, 25 at the end.
extern float row_count;
// row_1 .. row_25: rows[k - 1] holds row_k, the k-th block row from the top.
extern std::array<string_descriptor, 25> rows;

// The whole content of the file just read, and that content after the pass's replacement.
extern string_descriptor file_text;
extern string_descriptor new_text;
// The view over new_text that each write hands to the file service.
extern byte_block output_block;

// row_k for k = 1 .. 25.
inline string_descriptor& row(int32_t k) { return rows[static_cast<std::size_t>(k - 1)]; }

// Puts every variable back to its start-up value (for tests and benchmarks).
void reset_converter_variables();
