// A skin's key-colour mask, worked out on the pixels alone: which key the
// loader's arguments name, how much of the bitmap is read, and the visible
// part as row runs for the window region.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ui {

struct KeyColour {
  std::uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const KeyColour&) const = default;
};

// The skin loader takes red, green and blue as signed 16-bit values where -1
// means "no key" for the whole colour; otherwise only the low bytes count.
std::optional<KeyColour> KeyFromArgs(std::int16_t red, std::int16_t green, std::int16_t blue);

// The pixel read drops the last width mod 4 columns so that 24-bit rows need
// no padding and pixel (x, y) sits at byte 3 * (y * width + x). Both sizes are
// kept in 16 bits, as the reader hands them back.
struct PixelSize {
  std::uint16_t width = 0, height = 0;
  bool operator==(const PixelSize&) const = default;
};
PixelSize ReadableSize(std::int32_t bitmapWidth, std::int32_t bitmapHeight);
std::size_t PixelBytes(PixelSize size);

// Both of these read `bgr` as tightly packed top-down rows of blue, green,
// red; they throw std::invalid_argument when the buffer is shorter than
// PixelBytes(size).

// One byte per pixel, row by row: 1 where the pixel is exactly the key.
std::vector<std::uint8_t> KeyMask(std::span<const std::uint8_t> bgr, PixelSize size, KeyColour key);

// The visible part of the skin as horizontal runs of non-key pixels, row by
// row, left to right; [left, right) on row y. The union of the rectangles
// (left, y, right, y + 1) is exactly the full rectangle less every key pixel,
// built from a few rectangles per row instead of one region per pixel.
struct RowRun {
  std::int32_t y = 0, left = 0, right = 0;
  bool operator==(const RowRun&) const = default;
};
std::vector<RowRun> OpaqueRuns(std::span<const std::uint8_t> bgr, PixelSize size, KeyColour key);

}  // namespace ui
