// The program's own text font: the VGA 8 x 16 code page 437 glyphs, one byte a row, bit 7 the
// leftmost pixel.
#pragma once

#include <cstdint>

extern const uint8_t cp437_font[256][16];
