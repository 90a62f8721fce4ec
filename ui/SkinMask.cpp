#include "ui/SkinMask.h"

#include <stdexcept>

namespace ui {

std::optional<KeyColour> KeyFromArgs(std::int16_t red, std::int16_t green, std::int16_t blue) {
  if (red == -1 || green == -1 || blue == -1) return std::nullopt;
  return KeyColour{static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green), static_cast<std::uint8_t>(blue)};
}

PixelSize ReadableSize(std::int32_t bitmapWidth, std::int32_t bitmapHeight) {
  return {static_cast<std::uint16_t>(bitmapWidth - bitmapWidth % 4), static_cast<std::uint16_t>(bitmapHeight)};
}

std::size_t PixelBytes(PixelSize size) { return std::size_t{size.width} * size.height * 3; }

namespace {

void RequireWholeImage(std::span<const std::uint8_t> bgr, PixelSize size) {
  if (bgr.size() < PixelBytes(size)) {
    throw std::invalid_argument("pixel buffer shorter than its stated size");
  }
}

bool IsKey(const std::uint8_t* px, KeyColour key) {
  return px[0] == key.blue && px[1] == key.green && px[2] == key.red;
}

}  // namespace

std::vector<std::uint8_t> KeyMask(std::span<const std::uint8_t> bgr, PixelSize size, KeyColour key) {
  RequireWholeImage(bgr, size);
  const std::size_t count = std::size_t{size.width} * size.height;
  std::vector<std::uint8_t> mask(count);
  for (std::size_t i = 0; i < count; ++i) mask[i] = IsKey(&bgr[3 * i], key) ? 1 : 0;
  return mask;
}

std::vector<RowRun> OpaqueRuns(std::span<const std::uint8_t> bgr, PixelSize size, KeyColour key) {
  RequireWholeImage(bgr, size);
  std::vector<RowRun> runs;
  const std::uint8_t* row = bgr.data();
  for (std::int32_t y = 0; y < size.height; ++y, row += std::size_t{size.width} * 3) {
    std::int32_t x = 0;
    while (x < size.width) {
      while (x < size.width && IsKey(row + 3 * x, key)) ++x;
      const std::int32_t left = x;
      while (x < size.width && !IsKey(row + 3 * x, key)) ++x;
      if (x > left) runs.push_back({y, left, x});
    }
  }
  return runs;
}

}  // namespace ui
