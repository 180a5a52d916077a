// Messages as hex digits: the exact form of a message's bytes on a terminal or in a script.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvr::tools {

// Appends two lowercase hex digits per byte.
void AppendHex(std::string& out, std::string_view bytes);

// The bytes that `digits` spell, upper or lower case; whitespace is ignored. None when a
// character is neither, or the number of digits is odd.
std::optional<std::string> DecodeHex(std::string_view digits);

// As DecodeHex, into `bytes` (replacing its content, reusing its storage); false when refused.
bool DecodeHexInto(std::string_view digits, std::string& bytes);

}  // namespace qvr::tools
