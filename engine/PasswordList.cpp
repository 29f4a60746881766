#include "engine/PasswordList.h"

#include <algorithm>

#include "engine/ShortString.h"

namespace quire {

// Arguments are cut like the stored entries, so that a text longer than a
// slot finds the entry that adding the same text made.

void TPasswordList::Add(std::string_view password) {
  if (password.empty()) return;
  entries_.push_back(ToShortString(password));
}

void TPasswordList::Remove(std::string_view password) {
  const std::string key = ToShortString(password);
  auto found = std::find(entries_.begin(), entries_.end(), key);
  if (found != entries_.end()) entries_.erase(found);
}

void TPasswordList::RemoveAll() {
  entries_.clear();
}

bool TPasswordList::Contains(std::string_view password) const {
  const std::string key = ToShortString(password);
  return std::find(entries_.begin(), entries_.end(), key) != entries_.end();
}

}  // namespace quire
