#include "ui/SkinRegion.h"

#include <cstdint>
#include <span>
#include <vector>

#include "ui/SkinMask.h"

namespace ui {

std::unique_ptr<BYTE[]> ReadPixels24(HBITMAP bitmap, WORD& width, WORD& height) {
  BITMAP info{};
  if (!GetObjectA(bitmap, sizeof info, &info)) return nullptr;
  const PixelSize size = ReadableSize(info.bmWidth, info.bmHeight);
  if (size.width == 0 || size.height == 0) return nullptr;

  auto pixels = std::make_unique<BYTE[]>(PixelBytes(size));
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = size.width;
  format.bmiHeader.biHeight = -static_cast<LONG>(size.height);  // top-down rows
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 24;
  format.bmiHeader.biCompression = BI_RGB;
  format.bmiHeader.biSizeImage = static_cast<DWORD>(PixelBytes(size));
  int lines = 0;
  {
    fw::BorrowedDC screen(nullptr, true);
    lines = GetDIBits(screen.get(), bitmap, 0, size.height, pixels.get(), &format, DIB_RGB_COLORS);
  }
  if (lines == 0) return nullptr;
  width = size.width;
  height = size.height;
  return pixels;
}

fw::OwnedRegion RegionFromBitmap(HBITMAP bitmap, BYTE red, BYTE green, BYTE blue) {
  WORD width = 0, height = 0;
  const std::unique_ptr<BYTE[]> pixels = ReadPixels24(bitmap, width, height);
  if (!pixels) return {};
  const PixelSize size{width, height};
  const std::vector<RowRun> runs =
      OpaqueRuns(std::span<const std::uint8_t>(pixels.get(), PixelBytes(size)), size, {red, green, blue});

  // One region from all the row runs at once: a pixel-by-pixel build pays a
  // create, a combine and a delete per key pixel, this pays one call. The runs
  // come row by row, left to right and never overlap, which is the band order
  // a region's rectangle list wants.
  std::vector<BYTE> data(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
  auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
  header->dwSize = sizeof(RGNDATAHEADER);
  header->iType = RDH_RECTANGLES;
  header->nCount = static_cast<DWORD>(runs.size());
  header->nRgnSize = static_cast<DWORD>(runs.size() * sizeof(RECT));
  header->rcBound = {0, 0, width, height};
  auto* rects = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
  for (const RowRun& run : runs) *rects++ = {run.left, run.y, run.right, run.y + 1};
  return fw::OwnedRegion(
      ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<const RGNDATA*>(data.data())));
}

}  // namespace ui
