#include "settings/Scramble.h"

#include <cstdint>

namespace settings {

namespace {

// Changing these would make every password already stored unreadable.
constexpr std::uint8_t kA = 0x3D;
constexpr std::uint8_t kB = 0x6B;
constexpr std::uint8_t kC = 0x95;

}  // namespace

std::string ScrambleText(std::string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto pos = static_cast<std::uint8_t>(i);
    const auto plain = static_cast<std::uint8_t>(text[i]);
    text[i] = static_cast<char>(static_cast<std::uint8_t>(plain + kA * pos - kB) ^ static_cast<std::uint8_t>(kC * pos));
  }
  return text;
}

std::string UnscrambleText(std::string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto pos = static_cast<std::uint8_t>(i);
    const auto stored = static_cast<std::uint8_t>(text[i]);
    text[i] =
        static_cast<char>(static_cast<std::uint8_t>((stored ^ static_cast<std::uint8_t>(kC * pos)) - kA * pos + kB));
  }
  return text;
}

}  // namespace settings
