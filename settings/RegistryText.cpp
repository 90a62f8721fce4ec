#include "settings/RegistryText.h"

namespace settings {

std::string TextFromValueBytes(const char* data, std::size_t size) {
  if (size > 0 && data[size - 1] == '\0') --size;
  return std::string(data, size);
}

}  // namespace settings
