#pragma once
// The stored form of the SMTP password: a position-dependent byte transform,
// so the password is not readable at a glance in the registry. It is not
// encryption and is not meant to be.
#include <string>

namespace settings {

std::string ScrambleText(std::string text);
std::string UnscrambleText(std::string text);

}  // namespace settings
