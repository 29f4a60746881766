#pragma once
// The parameter references of an SQL text: ":name" outside quoted
// literals, replaced by the engine's "?" markers. "::" stands for one ":".
// An apostrophe or a double quote toggles the in-quote state, whichever
// quote opened it. A name runs to the first CR, LF, blank, ")", "," or ";"
// outside quotes, or the end; a name that begins with a quote
// (":'my name'") loses one leading and one trailing quote.

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
