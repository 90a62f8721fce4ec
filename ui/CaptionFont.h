// The popup caption's font, decided without the system: the look a style
// word asks for, a point size as the screen's LOGFONT height, and a face name
// that fits LOGFONT's field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ui {

enum CaptionStyle : std::uint32_t {
  StyleBold = 1,
  StyleItalic = 2,
  StyleUnderline = 4,
};

struct FontLook {
  std::int32_t weight = 400;
  bool italic = false;
  bool underline = false;
  bool operator==(const FontLook&) const = default;
};

// Bits other than the three style bits are ignored.
FontLook LookFromStyle(std::uint32_t styleBits);

// A size in tenths of a point as a LOGFONT height for a screen of `ppi`
// pixels per inch: negative (character height, not cell height), rounded
// half away from zero like the system's MulDiv. 90 at 96 ppi gives -12.
std::int32_t PointSizeToHeight(std::int32_t tenthsOfPoint, std::int32_t ppi);

// LOGFONT's face field holds 32 bytes including the terminator.
std::string FitFaceName(std::string_view face);

}  // namespace ui
