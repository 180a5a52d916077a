#include "client/error_text.h"

#include "ipc/codepage.h"

namespace qvr::client {

namespace {

// ASCII and Latin-1 letters; the title only ever holds a program's file name.
char16_t ToLower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + (u'a' - u'A'));
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
  return c;
}

}  // namespace

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  // Every byte of a multi-byte UTF-8 character is above ".", as is the character itself.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text.push_back('.');
  return text;
}

std::string ApplicationTitle(std::string_view executable_path) {
  const auto slash = executable_path.find_last_of('/');
  std::string_view name =
      slash == std::string_view::npos ? executable_path : executable_path.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  std::u16string title = Utf8ToUtf16(name);
  for (std::size_t i = 1; i < title.size(); ++i) title[i] = ToLower(title[i]);
  return Utf16ToUtf8(title);
}

std::string InnermostErrorText(std::exception_ptr error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::string text = e.what();
    try {
      std::rethrow_if_nested(e);
    } catch (...) {
      std::string inner = InnermostErrorText(std::current_exception());
      if (!inner.empty()) text = std::move(inner);
    }
    return text;
  } catch (const std::nested_exception& nested) {
    return nested.nested_ptr() ? InnermostErrorText(nested.nested_ptr()) : std::string();
  } catch (...) {
    return {};
  }
}

}  // namespace qvr::client
