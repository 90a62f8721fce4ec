#include "ui/CaptionFont.h"

#include <cstdlib>

namespace ui {

FontLook LookFromStyle(std::uint32_t bits) {
  return {.weight = (bits & StyleBold) ? 700 : 400,
          .italic = (bits & StyleItalic) != 0,
          .underline = (bits & StyleUnderline) != 0};
}

std::int32_t PointSizeToHeight(std::int32_t tenthsOfPoint, std::int32_t ppi) {
  // 64-bit product, then round half away from zero as MulDiv does.
  const std::int64_t product = static_cast<std::int64_t>(ppi) * tenthsOfPoint;
  const std::int64_t magnitude = (std::llabs(product) + 360) / 720;
  return -static_cast<std::int32_t>(magnitude);
}

std::string FitFaceName(std::string_view face) {
  constexpr std::size_t kMaxFace = 31;
  return std::string(face.substr(0, kMaxFace));
}

}  // namespace ui
