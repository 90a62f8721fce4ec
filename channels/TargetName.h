#pragma once
// How a web target is named wherever the user reads about it (its row in the
// list, the history): its method and where it goes, by scheme and host only,
// since the rest of the address may hold a token.
#include <string>

#include "channels/ChannelSettings.h"

namespace channels {

// "POST  https://hooks.example.net"; an address that is not a complete one
// is named as such rather than shown.
std::string TargetName(const WebSettings& target);

}  // namespace channels
