// The machine's 8-bit code page, the one form in which text crosses a process boundary.
// Inside the programs text is UTF-16; these two conversions are the only way between.
#pragma once

#include <string>
#include <string_view>

namespace qvr {

// Converts exactly the given bytes, zero bytes included.
std::u16string AnsiToUtf16(std::string_view bytes);

// Text the code page cannot represent becomes its substitute character.
std::string Utf16ToAnsi(std::u16string_view text);

// UTF-8 helpers for command lines, terminals and file names (ill-formed input becomes U+FFFD).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace qvr
