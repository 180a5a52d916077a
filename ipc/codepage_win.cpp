// The machine's ANSI code page (CP_ACP), as the system converts it.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <climits>
#include <stdexcept>

#include "ipc/codepage.h"

namespace qvr {

namespace {

// The system calls count in int; longer texts cannot cross a slot or a frame anyway.
int CheckedLength(std::size_t size) {
  if (size > static_cast<std::size_t>(INT_MAX)) throw std::length_error("text too long");
  return static_cast<int>(size);
}

// A character outside the basic plane is one character: it becomes one substitute, not one
// per UTF-16 unit, so each surrogate pair is replaced by U+FFFD, which no 8-bit page holds.
std::u16string OnePerCharacter(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      out.push_back(u'\uFFFD');
      ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::u16string AnsiToUtf16(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = CheckedLength(bytes.size());
  // The length is given, so zero bytes are converted like any other byte.
  const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::u16string text(static_cast<std::size_t>(needed), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()),
                      needed);
  return text;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  // UTF-8 as the ANSI code page represents everything and takes no flags.
  const bool utf8 = GetACP() == CP_UTF8;
  const std::u16string prepared = utf8 ? std::u16string(text) : OnePerCharacter(text);
  const int length = CheckedLength(prepared.size());
  const auto* wide = reinterpret_cast<const wchar_t*>(prepared.data());
  // No best fit: a character outside the page becomes the page's substitute, not a look-alike.
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int needed = WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide, length, bytes.data(), needed, nullptr, nullptr);
  return bytes;
}

}  // namespace qvr
