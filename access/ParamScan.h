#pragma once
// The parameter references of an SQL text: ":name" outside quoted
// literals, replaced by the engine's "?" markers. "::" stands for one ":".
// A name runs to the first CR, LF, blank, ")", "," or ";" or the end; a
// quoted name (":'my name'") may hold those, and loses one leading and one
// trailing quote.

#include <string>
#include <string_view>
#include <vector>

namespace quire {

struct TScannedText {
  std::string engineText;          // the text with "?" for every reference
  std::vector<std::string> names;  // in order of appearance
};

TScannedText ScanParameters(std::string_view text);

}  // namespace quire
