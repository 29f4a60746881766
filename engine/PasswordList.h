#pragma once
// The passwords a session holds for opening encrypted tables. Comparison is
// exact and case-sensitive, blanks included: a table opens only when its
// stored password is in the list character for character.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quire {

class TPasswordList {
 public:
  // Appends `password`, cut to 255 characters. An empty password is ignored.
  // Duplicates are not refused here; the session checks Contains first.
  void Add(std::string_view password);

  // Removes the first entry equal to `password` (cut to 255 characters), if any.
  void Remove(std::string_view password);

  // Empties the list.
  void RemoveAll();

  // True when an entry equals `password` (cut to 255 characters).
  bool Contains(std::string_view password) const;

  std::size_t Count() const { return entries_.size(); }

 private:
  std::vector<std::string> entries_;
};

}  // namespace quire
