#include "TextCodec.h"

#include <ostream>

#include "Command.h"
#include "platform/Cp874.h"

namespace quire::cli {

std::string TTextCodec::ToText(std::string_view bytes, std::string_view what) const {
  if (codePage_ == TCodePage::Latin1) return lyrabook::Latin1ToUtf8(bytes);
  std::size_t undefined = 0;
  std::string text = lyrabook::Cp874ToUtf8(bytes, &undefined);
  if (undefined > 0)
    *warnings_ << "quire: warning: " << what << " holds " << undefined
               << " byte(s) that code page 874 leaves undefined; shown as U+FFFD\n";
  return text;
}

std::string TTextCodec::ToBytes(std::string_view text, std::string_view what) const {
  const auto bytes =
      codePage_ == TCodePage::Latin1 ? lyrabook::Utf8ToLatin1(text) : lyrabook::Utf8ToCp874(text);
  if (!bytes)
    throw EUsageError(std::string(what) + " cannot be written in code page " +
                      (codePage_ == TCodePage::Latin1 ? "latin1" : "874"));
  return *bytes;
}

}  // namespace quire::cli
