#pragma once
// How the bytes a registry read returns become a value's text, kept apart
// from the registry calls so it can be checked on any platform.
#include <cstddef>
#include <string>

namespace settings {

// The text is the bytes returned less one terminating zero, so a value
// stored without its terminator is never read past, and a scrambled password
// holding zero bytes (written with its whole length) reads back whole.
// Throws std::bad_alloc like any string construction.
std::string TextFromValueBytes(const char* data, std::size_t size);

}  // namespace settings
