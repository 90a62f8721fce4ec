// The bytes a registry read returns, of any length and content, as a value's text.
#include <cstring>
#include <memory>
#include <string>

#include "FuzzCheck.h"
#include "settings/RegistryText.h"
#include "settings/Scramble.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly `size` bytes: reading one past it is what must never happen.
  std::unique_ptr<char[]> bytes(new char[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(bytes.get(), data, size);

  const std::string text = settings::TextFromValueBytes(bytes.get(), size);
  // One terminator dropped, never more, never a byte that is not a terminator.
  const bool terminated = size > 0 && bytes[size - 1] == '\0';
  FUZZ_CHECK(text.size() == (terminated ? size - 1 : size));
  FUZZ_CHECK(std::memcmp(text.data(), bytes.get(), text.size()) == 0);

  // What a write stores (the text and its terminator) reads back as the same
  // text, zero bytes inside included; that is what keeps a scrambled password whole.
  const std::string stored = text + '\0';
  FUZZ_CHECK(settings::TextFromValueBytes(stored.data(), stored.size()) == text);
  const std::string scrambled = settings::ScrambleText(text);
  const std::string scrambledStored = scrambled + '\0';
  FUZZ_CHECK(settings::UnscrambleText(settings::TextFromValueBytes(scrambledStored.data(), scrambledStored.size())) ==
             text);
  return 0;
}
