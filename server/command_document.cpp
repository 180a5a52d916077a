#include "server/command_document.h"

#include <memory>
#include <utility>
#include <vector>

#include "ipc/codepage.h"

namespace qvr {

namespace {

// Every text in the tree is already in the 8-bit code page.
struct XmlAttribute {
  std::string name;
  std::string value;
};

struct XmlNode {
  enum class Kind { kDeclaration, kElement };

  Kind kind = Kind::kElement;
  std::string name;
  std::vector<XmlAttribute> attributes;  // in the order they were set
  std::vector<std::unique_ptr<XmlNode>> children;

  XmlNode& AddChild(std::string child_name) {
    auto child = std::make_unique<XmlNode>();
    child->name = std::move(child_name);
    children.push_back(std::move(child));
    return *children.back();
  }
};

std::string EscapeAttributeValue(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  // One pass does the same as replacing & first and the others after it: no entity made
  // here is ever looked at again.
  for (const char c : raw) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void CheckNodeName(std::u16string_view name) {
  for (const char16_t c : name) {
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
      throw EXmlError("Illegal character in node name \"" + Utf16ToUtf8(name) + "\"");
    }
  }
}

void WriteAttributes(const XmlNode& node, std::string& out) {
  for (const auto& attribute : node.attributes) {
    out += ' ';
    out += attribute.name;
    out += "=\"";
    out += EscapeAttributeValue(attribute.value);
    out += '"';
  }
}

void WriteNode(const XmlNode& node, bool top_level, std::string& out) {
  if (node.kind == XmlNode::Kind::kDeclaration) {
    out += "<?";
    out += node.name;
    WriteAttributes(node, out);
    out += "?>";
    return;
  }
  out += '<';
  out += node.name;
  WriteAttributes(node, out);
  const bool empty_tag = node.children.empty() && !top_level;
  if (empty_tag) out += '/';
  out += '>';
  if (empty_tag) return;
  for (const auto& child : node.children) WriteNode(*child, false, out);
  out += "</";
  out += node.name;
  out += '>';
}

}  // namespace

std::string BuildCommandDocument(std::u16string_view action, std::u16string_view param1,
                                 std::u16string_view param2) {
  XmlNode declaration;
  declaration.kind = XmlNode::Kind::kDeclaration;
  declaration.name = "xml";
  declaration.attributes = {{"version", "1.0"}, {"encoding", "windows-1252"}};

  XmlNode root;
  root.name = "QuelvaneIPC";
  XmlNode& remote = root.AddChild("Remote");
  CheckNodeName(action);
  XmlNode& command = remote.AddChild(Utf16ToAnsi(action));
  command.attributes = {{"Param1", Utf16ToAnsi(param1)}, {"Param2", Utf16ToAnsi(param2)}};

  std::string out;
  for (const XmlNode* top : {&declaration, &root}) {
    WriteNode(*top, true, out);
    out += '\n';
  }
  return out;
}

}  // namespace qvr
