#pragma once
// Thai code page 874 and UTF-8. Table texts are code page 874 bytes; the
// window and the command-line tool speak Unicode. The code page leaves the
// bytes 0x81-0x84, 0x86-0x90, 0x98-0x9F, 0xDB-0xDE and 0xFC-0xFF undefined.

#include <optional>
#include <string>
#include <string_view>

namespace lyrabook {

// Decodes code page 874 bytes to UTF-8. An undefined byte becomes U+FFFD;
// `undefinedBytes`, when given, receives how many there were.
std::string Cp874ToUtf8(std::string_view bytes, std::size_t* undefinedBytes = nullptr);

// Encodes UTF-8 text as code page 874. Nothing when the text is not valid
// UTF-8 or holds a character the code page cannot hold (U+FFFD included).
std::optional<std::string> Utf8ToCp874(std::string_view utf8);

// Bytes as the code points U+0000..U+00FF in UTF-8 (lossless for any bytes).
std::string Latin1ToUtf8(std::string_view bytes);

// The reverse of Latin1ToUtf8; nothing for invalid UTF-8 or a character
// above U+00FF.
std::optional<std::string> Utf8ToLatin1(std::string_view utf8);

}  // namespace lyrabook
