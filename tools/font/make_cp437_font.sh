#!/usr/bin/env bash
# Turns the VGA 8 x 16 code page 437 console font of Debian's console-data into the glyph table
# that the screens print with: platform/cp437_font.cpp. Run once by hand; the table is kept in
# the source, so the build needs neither console-data nor this script.
#   tools/font/make_cp437_font.sh [font.psf.gz] > platform/cp437_font.cpp
set -euo pipefail
font=${1:-/usr/share/consolefonts/default8x16.psf.gz}

# PSF version 1: magic 36 04, a mode byte, the glyph height; then the glyphs in code order.
header=$(gzip -dc "$font" | head -c 4 | od -An -tx1 | tr -d ' \n')
if [ "${header:0:4}" != "3604" ] || [ "${header:6:2}" != "10" ]; then
  echo "$font: not a PSF 1 font of 8 x 16 glyphs" >&2
  exit 1
fi

cat <<'HEAD'
// The VGA 8 x 16 code page 437 font (Debian console-data, default8x16.psf), made by
// tools/font/make_cp437_font.sh. Do not edit by hand.
#include "platform/cp437_font.h"

const uint8_t cp437_font[256][16] = {
HEAD
gzip -dc "$font" | tail -c +5 | head -c 4096 | od -An -v -tx1 -w16 |
  awk '{ line = "    {"; for (i = 1; i <= NF; i++) line = line sprintf("0x%s%s", $i, i < NF ? ", " : ""); printf "%s},  // %d\n", line, NR - 1 }'
echo "};"
