// Writing the cassette image: the 25 mosaic rows put in place of the template's row markers,
// one marker per pass, every pass reading and writing a whole file.
#pragma once

#include <array>
#include <cstdint>

#include "platform/text.h"

// Which part of its row a pass puts in place of its marker. Row 18 crosses a cassette block
// boundary in the template, so its marker comes in two pieces.
enum class row_piece { whole, first_26, last_13 };

// One of the 26 passes: its number, the step of its replacement, the marker it replaces and
// what replaces it.
struct template_pass {
    int32_t pass;
    int32_t step;
    int32_t row;
    row_piece piece;
    string_descriptor marker;
};

// The marker that row `row` (whole, or row 18's piece) replaces: 37 "!" and the row as two
// digits; for row 18, 23 "!" and "181", or 10 "!" and "182".
string_descriptor row_placeholder(int32_t row, row_piece piece);

// The 26 passes in order: pass 1 (step 154) reads the template, passes 2 .. 26 (steps 169 .. 193)
// read "IMAGE.CAS".
const std::array<template_pass, 26>& template_passes();

// The text that `pass` puts in place of its marker, taken from the current rows, each filled up
// to 39 codes with spaces (black cells).
string_descriptor replacement_of(const template_pass& pass);

// Steps 149 to 197: "KESTRIL.RAN" with each marker replaced by its row, written as "IMAGE.CAS".
void write_cassette();
