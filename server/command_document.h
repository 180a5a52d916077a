// The command document of the test panel: the XML text that tells Quelvane to perform one
// action with two parameters. Built and written by a small node writer of our own, so the
// bytes come out exactly as Quelvane expects them.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace qvr {

// Raised when a document cannot be built; what() is UTF-8.
class EXmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The two LF-terminated lines of the document in the machine's 8-bit code page:
//   <?xml version="1.0" encoding="windows-1252"?>
//   <QuelvaneIPC><Remote><action Param1="..." Param2="..."/></Remote></QuelvaneIPC>
// Parameter values are escaped (& < > ' "); the action becomes the element name unchanged.
// Throws EXmlError `Illegal character in node name "<action>"` when the action holds a
// blank, a tab, a CR or an LF.
std::string BuildCommandDocument(std::u16string_view action, std::u16string_view param1,
                                 std::u16string_view param2);

}  // namespace qvr
