// Windows-1252, the single-byte code page in which slot files and notes are
// kept, so that files written on the original platform read unchanged.
#pragma once

#include <string>
#include <string_view>

namespace velmira {

// Bytes in Windows-1252 to UTF-8.  The five undefined bytes (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 controls of the same value.
std::string cp1252ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1252; characters the code page lacks become "?".
std::string utf8ToCp1252(std::string_view utf8);

// Whether the bytes are well-formed UTF-8 holding at least one character
// beyond ASCII (text in Windows-1252 with accents practically never is).
bool looksLikeUtf8(std::string_view bytes);

// Number of characters (code points) of a UTF-8 text.
size_t utf8Length(std::string_view utf8);

}  // namespace velmira
