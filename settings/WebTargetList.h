#pragma once
// The web targets as the store keeps them: the whole list in one value, so
// a save lands whole or not at all, and the rules for the form that kept one
// value per target, which is still read until the list has been written.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/SettingsLayout.h"

namespace settings {

struct WebList {
  std::vector<WebSettings> targets;
  // The id the next new target takes: above every id this store gave out.
  std::uint32_t nextId = 1;
};

// The bytes that are protected and stored; at most kMostWebTargets targets,
// a method not among the four as GET.
std::string EncodeWebList(const WebList& list);

// Nothing for bytes that are not a list this program wrote: an unknown
// form, a method not among the four, an unknown word for when a target is
// called, an id of 0, one taken twice or not below the next, more than
// kMostWebTargets targets, a length running past the end, or bytes left
// over. A list of the form before targets had a choice of when they are
// called reads each target as called on a change.
std::optional<WebList> DecodeWebList(std::string_view bytes);

// Gives each target without an id, or with one an earlier target took, the
// next id, after first moving the next past every id in the list.
void AssignWebIds(WebList& list);

// The count of the per-target form: decimal digits only, at most the most
// targets (a larger count reads as the most). Nothing for anything else,
// which is then reported as unreadable, never taken for no targets.
std::optional<int> RowFormCount(const std::string& text);

// n for a value of the per-target form (`WebTarget<n>Url`, ...Method,
// ...Headers, ...Body), 0 for any other name.
int RowFormNumber(const std::string& valueName);

// Whether an unreadable value of row `number` (of the per-target form or,
// as row 1, of the first release's) stays once the list is written: only
// for a row that was read (among the first `rowsRead`) while the list still
// holds that row's target (the id the row was read with) at the address
// the row holds, so it never attaches to another target.
bool KeepsUnreadableRow(int number, int rowsRead, const std::string& rowUrl, const std::vector<WebSettings>& saved);

}  // namespace settings
