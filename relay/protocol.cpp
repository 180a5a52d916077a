#include "relay/protocol.h"

namespace qvr::relay {

std::string BuildFrame(std::string_view message) {
  std::string frame;
  frame.reserve(message.size() + 1);
  frame.append(message);
  frame.push_back(kTerminator);
  return frame;
}

bool IsQuitCommand(std::u16string_view text) {
  // Under Unicode's simple case folding only the ASCII letters fold onto "quit"
  // (U+0130 and U+0131 have no simple folding), so an ASCII fold is exact here.
  constexpr std::u16string_view kQuit = u"quit";
  if (text.size() != kQuit.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != kQuit[i]) return false;
  }
  return true;
}

}  // namespace qvr::relay
