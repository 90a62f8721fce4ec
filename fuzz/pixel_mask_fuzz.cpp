// The popup skin's key-colour mask and its row runs, on a 24-bit buffer whose
// stated size comes from the input and may not match the bytes there are.
#include <stdexcept>
#include <vector>

#include "FuzzCheck.h"
#include "ui/SkinMask.h"

using namespace ui;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  // Sizes as the bitmap reports them, so negative and odd widths come by too;
  // small enough that the buffer can actually be that large.
  const std::int32_t bitmapWidth = static_cast<std::int8_t>(in.Byte());
  const std::int32_t bitmapHeight = static_cast<std::int8_t>(in.Byte());
  const auto red = static_cast<std::int16_t>(in.U16()), green = static_cast<std::int16_t>(in.U16()),
             blue = static_cast<std::int16_t>(in.U16());
  const std::vector<std::uint8_t> bgr(data + (size - in.Left()), data + size);

  const PixelSize readable = ReadableSize(bitmapWidth, bitmapHeight);
  FUZZ_CHECK(readable.width % 4 == 0);
  if (bitmapWidth >= 0) FUZZ_CHECK(readable.width <= bitmapWidth && bitmapWidth - readable.width < 4);
  FUZZ_CHECK(PixelBytes(readable) == std::size_t{readable.width} * readable.height * 3);

  const std::optional<KeyColour> key = KeyFromArgs(red, green, blue);
  FUZZ_CHECK(key.has_value() == (red != -1 && green != -1 && blue != -1));
  // No key: the loader makes no region. The pixels' own first colour keeps
  // the mask interesting then.
  const KeyColour k =
      key ? *key
          : KeyColour{bgr.size() > 2 ? bgr[2] : std::uint8_t{0}, bgr.size() > 1 ? bgr[1] : std::uint8_t{0},
                      bgr.empty() ? std::uint8_t{0} : bgr[0]};

  // A size that is not read off the bitmap: any width, to cover what the
  // mask functions promise for every size they are handed.
  for (const PixelSize s : {readable, PixelSize{static_cast<std::uint16_t>(bitmapWidth & 0x3f),
                                                static_cast<std::uint16_t>(bitmapHeight & 0x3f)}}) {
    const bool fits = bgr.size() >= PixelBytes(s);
    std::vector<std::uint8_t> mask;
    std::vector<RowRun> runs;
    try {
      mask = KeyMask(bgr, s, k);
      FUZZ_CHECK(fits);
    } catch (const std::invalid_argument&) {
      FUZZ_CHECK(!fits);
    }
    try {
      runs = OpaqueRuns(bgr, s, k);
      FUZZ_CHECK(fits);
    } catch (const std::invalid_argument&) {
      FUZZ_CHECK(!fits);
      continue;
    }
    FUZZ_CHECK(mask.size() == std::size_t{s.width} * s.height);
    std::size_t opaque = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
      FUZZ_CHECK(mask[i] <= 1);
      const std::uint8_t* px = &bgr[3 * i];
      FUZZ_CHECK((mask[i] == 1) == (px[0] == k.blue && px[1] == k.green && px[2] == k.red));
      opaque += mask[i] == 0;
    }
    // Runs: inside the image, in order, never touching, each as wide as it
    // can be, and together exactly the non-key pixels.
    std::size_t covered = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const RowRun& r = runs[i];
      FUZZ_CHECK(r.y >= 0 && r.y < s.height);
      FUZZ_CHECK(r.left >= 0 && r.left < r.right && r.right <= s.width);
      if (i > 0) {
        const RowRun& p = runs[i - 1];
        FUZZ_CHECK(p.y < r.y || (p.y == r.y && p.right < r.left));
      }
      const std::size_t rowStart = std::size_t{static_cast<std::uint32_t>(r.y)} * s.width;
      for (std::int32_t x = r.left; x < r.right; ++x) FUZZ_CHECK(mask[rowStart + x] == 0);
      if (r.left > 0) FUZZ_CHECK(mask[rowStart + r.left - 1] == 1);
      if (r.right < s.width) FUZZ_CHECK(mask[rowStart + r.right] == 1);
      covered += static_cast<std::size_t>(r.right - r.left);
    }
    FUZZ_CHECK(covered == opaque);
  }
  return 0;
}
