// Times the popup's skin region build on the main window's skin (330x328,
// key RGB(25, 35, 85)) against the one-region-per-key-pixel way, both from
// the same pixels in one run, and checks the two regions are equal.
// Usage: region_bench.exe [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "fw/Gdi.h"
#include "fw/Handles.h"
#include "ui/SkinRegion.h"

namespace {

constexpr UINT kMainSkin = 137;
constexpr BYTE kKeyRed = 25, kKeyGreen = 35, kKeyBlue = 85;

// The yardstick: the readable rectangle, then per key pixel one region
// created, XOR-combined and deleted.
fw::OwnedRegion PerPixelRegion(HBITMAP bitmap, BYTE red, BYTE green, BYTE blue, long& keyPixels) {
  WORD width = 0, height = 0;
  const std::unique_ptr<BYTE[]> pixels = ui::ReadPixels24(bitmap, width, height);
  if (!pixels) return {};
  fw::OwnedRegion region(CreateRectRgn(0, 0, width, height));
  keyPixels = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const BYTE* px = &pixels[3 * (y * width + x)];
      if (px[2] != red || px[1] != green || px[0] != blue) continue;
      ++keyPixels;
      fw::OwnedRegion pixel(CreateRectRgn(x, y, x + 1, y + 1));
      CombineRgn(region.get(), region.get(), pixel.get(), RGN_XOR);
    }
  }
  return region;
}

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

// Best of `rounds` runs, in milliseconds: the least disturbed by the machine.
template <typename Build>
double BestMs(int rounds, Build build) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    const double start = Now();
    build();
    best = std::min(best, (Now() - start) * 1000.0);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  CBitmap skin;
  if (!skin.LoadBitmap(kMainSkin)) {
    std::printf("cannot load the main skin (resource %u)\n", kMainSkin);
    return 1;
  }
  const HBITMAP bitmap = skin.GetSafeHandle();

  long keyPixels = 0;
  const fw::OwnedRegion slow = PerPixelRegion(bitmap, kKeyRed, kKeyGreen, kKeyBlue, keyPixels);
  const fw::OwnedRegion fast = ui::RegionFromBitmap(bitmap, kKeyRed, kKeyGreen, kKeyBlue);
  if (!slow || !fast) {
    std::printf("a region could not be built\n");
    return 1;
  }
  const bool equal = EqualRgn(slow.get(), fast.get()) != FALSE;
  const DWORD rects = GetRegionData(fast.get(), 0, nullptr) > sizeof(RGNDATAHEADER)
                          ? (GetRegionData(fast.get(), 0, nullptr) - sizeof(RGNDATAHEADER)) / sizeof(RECT)
                          : 0;

  long ignored = 0;
  const double perPixelMs = BestMs(rounds, [&] { PerPixelRegion(bitmap, kKeyRed, kKeyGreen, kKeyBlue, ignored); });
  const double runsMs = BestMs(rounds * 20, [&] { ui::RegionFromBitmap(bitmap, kKeyRed, kKeyGreen, kKeyBlue); });
  WORD width = 0, height = 0;
  const double readMs = BestMs(rounds * 20, [&] { ui::ReadPixels24(bitmap, width, height); });

  std::printf("skin                 330x328 (read as %ux%u), %ld key pixels, region of %lu rectangles\n", width, height,
              keyPixels, rects);
  std::printf("pixel read alone     %9.3f ms\n", readMs);
  std::printf("per key pixel        %9.3f ms  (best of %d)\n", perPixelMs, rounds);
  std::printf("merged row runs      %9.3f ms  (best of %d)\n", runsMs, rounds * 20);
  std::printf("speed-up             %9.1fx\n", perPixelMs / runsMs);
  std::printf("regions equal        %s\n", equal ? "yes" : "NO");
  return equal ? 0 : 1;
}
