#pragma once
// Cursor files (the .cur format the module carries for the LFO graph's two cursors) turned
// into the premultiplied ARGB image an X server takes for a coloured cursor.
#include <cstddef>
#include <cstdint>
#include <vector>

struct CursorImage {
  int width = 0, height = 0;
  int hotX = 0, hotY = 0;
  std::vector<uint32_t> argb;  // premultiplied 0xAARRGGBB, rows top to bottom
};

// Reads the first image of a cursor file: 32-bit with alpha, or 1/4/8/24-bit with the AND
// mask as transparency, or an embedded PNG. False (and `out` untouched) for anything
// truncated, inconsistent or larger than 256 x 256.
bool DecodeCursorFile(const unsigned char* data, size_t size, CursorImage* out);
