#include "client/settings_file.h"

#include <cstdint>
#include <string>
#include <vector>

#include "ipc/codepage.h"

namespace qvr {

namespace {

// ---------------------------------------------------------------------------------------------
// Values as read, before they reach the object.

struct Value {
  enum class Kind { kBoolean, kText, kOther };
  Kind kind = Kind::kOther;
  bool flag = false;
  std::u16string text;
};

struct Property {
  std::string name;
  Value value;
};

Value BooleanValue(bool flag) {
  return {Value::Kind::kBoolean, flag, {}};
}
Value TextValue(std::u16string text) {
  return {Value::Kind::kText, false, std::move(text)};
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// A name the object does not have, or a value of the wrong kind, leaves the object as it is.
void Apply(const Property& property, TSettings& settings) {
  const bool is_flag = property.value.kind == Value::Kind::kBoolean;
  const bool is_text = property.value.kind == Value::Kind::kText;
  if (SameAsciiText(property.name, "Filter_Message")) {
    if (is_flag) settings.SetFilter_Message(property.value.flag);
  } else if (SameAsciiText(property.name, "Filter_QVAction_Presenter_SetPage")) {
    if (is_flag) settings.SetFilter_QVAction_Presenter_SetPage(property.value.flag);
  } else if (SameAsciiText(property.name, "Host")) {
    if (is_text) settings.SetHost(property.value.text);
  }
}

// ---------------------------------------------------------------------------------------------
// Writing.

constexpr std::size_t kLineChars = 64;  // characters of a text on one value line
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kValueIndent = "    ";

bool IsQuotable(char16_t c) {
  return c >= 32 && c <= 127 && c != u'\'';
}

// Quoted runs for printable 7-bit characters, "#" codes for everything else; a text of more
// than kLineChars characters starts on a line of its own and is cut into lines joined by "+".
void AppendText(std::string& out, std::u16string_view text) {
  if (text.empty()) {
    out += "''";
    return;
  }
  if (text.size() > kLineChars) {
    out += kLineEnd;
    out += kValueIndent;
  }
  std::size_t line_start = 0;  // K
  std::size_t next = 0;        // I
  while (next < text.size()) {
    if (IsQuotable(text[next])) {
      out += '\'';
      do {
        out += static_cast<char>(text[next]);
        ++next;
      } while (next < text.size() && IsQuotable(text[next]) && next - line_start < kLineChars);
      out += '\'';
    } else {
      out += '#';
      out += std::to_string(static_cast<unsigned>(text[next]));
      ++next;
    }
    if (next - line_start >= kLineChars && next < text.size()) {
      out += " +";
      out += kLineEnd;
      out += kValueIndent;
      line_start = next;
    }
  }
}

void AppendPropertyStart(std::string& out, std::string_view name) {
  out += "  ";
  out += name;
  out += " = ";
}

void AppendBoolean(std::string& out, std::string_view name, bool value) {
  AppendPropertyStart(out, name);
  out += value ? "True" : "False";
  out += kLineEnd;
}

void AppendTextProperty(std::string& out, std::string_view name, std::u16string_view value) {
  AppendPropertyStart(out, name);
  AppendText(out, value);
  out += kLineEnd;
}

// ---------------------------------------------------------------------------------------------
// Reading the text form. The whole text is parsed into properties before any is applied.

constexpr int kMaxNesting = 32;  // lists and collections inside values of unknown properties

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsSymbolStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsSymbolChar(char c) {
  return IsSymbolStart(c) || IsDigit(c);
}
bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// Keywords that open an object; inside the block they would start a nested one.
bool IsObjectKeyword(std::string_view word) {
  return SameAsciiText(word, "object") || SameAsciiText(word, "inherited") ||
         SameAsciiText(word, "inline");
}

class TextParser {
 public:
  // `offset` is where `text` starts in the file, for the error messages.
  TextParser(std::string_view text, bool utf8, std::size_t offset)
      : text_(text), utf8_(utf8), offset_(offset) {}

  std::vector<Property> ParseObject() {
    ParseHeader();
    std::vector<Property> properties;
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail("\"end\" expected");
      const std::size_t start = pos_;
      const std::string word = ReadSymbol("property name expected");
      if (SameAsciiText(word, "end")) break;
      if (IsObjectKeyword(word)) Fail("nested objects are not supported", start);
      properties.push_back(ParseProperty(word, 0));
    }
    SkipBlanks();
    if (!AtEnd()) Fail("nothing may follow \"end\"");
    return properties;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const { Fail(what, pos_); }
  [[noreturn]] void Fail(const std::string& what, std::size_t at) const {
    throw SettingsFileError("Settings file, byte " + std::to_string(offset_ + at) + ": " + what);
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  void SkipBlanks() {
    while (!AtEnd() && IsBlank(text_[pos_])) ++pos_;
  }

  void Expect(char c) {
    if (AtEnd() || text_[pos_] != c) Fail(std::string("\"") + c + "\" expected");
    ++pos_;
  }

  std::string ReadSymbol(const char* what) {
    if (AtEnd() || !IsSymbolStart(text_[pos_])) Fail(what);
    const std::size_t start = pos_;
    while (!AtEnd() && IsSymbolChar(text_[pos_])) ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

  void RequireDigits() {
    if (!IsDigit(Peek())) Fail("digit expected");
    while (IsDigit(Peek())) ++pos_;
  }

  // "object" [name ":"] class name. Inherited and inline objects, and positions, are not part
  // of a settings file.
  void ParseHeader() {
    SkipBlanks();
    if (!SameAsciiText(ReadSymbol("\"object\" expected"), "object")) Fail("\"object\" expected");
    SkipBlanks();
    ReadSymbol("class name expected");
    SkipBlanks();
    if (Peek() == ':') {
      ++pos_;
      SkipBlanks();
      ReadSymbol("class name expected");
    }
  }

  Property ParseProperty(std::string name, int depth) {
    for (;;) {
      SkipBlanks();
      if (Peek() != '.') break;
      ++pos_;
      SkipBlanks();
      name += '.';
      name += ReadSymbol("property name expected");
    }
    Expect('=');
    SkipBlanks();
    return {std::move(name), ParseValue(depth)};
  }

  Value ParseValue(int depth) {
    if (depth > kMaxNesting) Fail("values nested too deeply");
    const char c = Peek();
    if (c == '\'' || c == '#') return TextValue(ParseTextValue());
    if (c == '-' || c == '$' || IsDigit(c)) {
      SkipNumber();
      return {};
    }
    if (IsSymbolStart(c)) return ParseIdent();
    switch (c) {
      case '[':
        SkipSet();
        return {};
      case '(':
        SkipList(depth);
        return {};
      case '{':
        SkipBinary();
        return {};
      case '<':
        SkipCollection(depth);
        return {};
      default:
        Fail("value expected");
    }
  }

  // True and False in any case of letters are the flag values; other names are values of
  // other kinds.
  Value ParseIdent() {
    const std::string word = ReadSymbol("value expected");
    if (Peek() == '.') {
      while (Peek() == '.') {
        ++pos_;
        ReadSymbol("name expected after \".\"");
      }
      return {};
    }
    if (SameAsciiText(word, "True")) return BooleanValue(true);
    if (SameAsciiText(word, "False")) return BooleanValue(false);
    return {};
  }

  std::u16string ParseTextValue() {
    std::u16string text = ParseTextToken();
    for (;;) {
      SkipBlanks();
      if (Peek() != '+') return text;
      ++pos_;
      SkipBlanks();
      if (Peek() != '\'' && Peek() != '#') Fail("text expected after \"+\"");
      text += ParseTextToken();
    }
  }

  // Quoted runs and "#" codes without blanks between. The quoted bytes are in the file's
  // encoding, unless a code of 128 or more makes the token a text of code units, in which
  // case every quoted byte stands for the unit of its value.
  std::u16string ParseTextToken() {
    std::u16string units;
    bool wide = false;
    for (;;) {
      if (Peek() == '#') {
        ++pos_;
        const char16_t code = ReadCode();
        wide = wide || code >= 128;
        units.push_back(code);
      } else if (Peek() == '\'') {
        ++pos_;
        ReadQuoted(units);
      } else {
        break;
      }
    }
    if (wide) return units;
    std::string bytes;
    bytes.reserve(units.size());
    for (const char16_t unit : units) bytes.push_back(static_cast<char>(unit));
    return utf8_ ? Utf8ToUtf16(bytes) : AnsiToUtf16(bytes);
  }

  char16_t ReadCode() {
    if (!IsDigit(Peek())) Fail("digit expected after \"#\"");
    std::uint32_t code = 0;
    while (IsDigit(Peek())) {
      code = code * 10 + static_cast<std::uint32_t>(text_[pos_] - '0');
      if (code > 0xFFFF) Fail("character code larger than 65535");
      ++pos_;
    }
    return static_cast<char16_t>(code);
  }

  void ReadQuoted(std::u16string& units) {
    for (;;) {
      if (AtEnd()) Fail("text not closed");
      const char c = text_[pos_];
      if (c == '\r' || c == '\n') Fail("line end inside a text");
      ++pos_;
      if (c == '\'') {
        if (Peek() != '\'') return;
        ++pos_;
      }
      units.push_back(static_cast<unsigned char>(c));
    }
  }

  // Integers (decimal or "$" hexadecimal) and floating-point numbers with an optional
  // type letter.
  void SkipNumber() {
    if (Peek() == '$') {
      ++pos_;
      if (!IsHexDigit(Peek())) Fail("hexadecimal digit expected");
      while (IsHexDigit(Peek())) ++pos_;
      return;
    }
    if (Peek() == '-') ++pos_;
    RequireDigits();
    if (Peek() == '.') {
      ++pos_;
      RequireDigits();
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      RequireDigits();
    }
    const char type = AsciiLower(Peek());
    if (type == 's' || type == 'c' || type == 'd') ++pos_;
  }

  // [name, name, ...]
  void SkipSet() {
    Expect('[');
    SkipBlanks();
    if (Peek() == ']') {
      ++pos_;
      return;
    }
    for (;;) {
      if (IsSymbolStart(Peek())) {
        ReadSymbol("set element expected");
      } else {
        SkipNumber();
      }
      SkipBlanks();
      if (Peek() == ']') break;
      Expect(',');
      SkipBlanks();
    }
    ++pos_;
  }

  // (value value ...)
  void SkipList(int depth) {
    Expect('(');
    for (;;) {
      SkipBlanks();
      if (Peek() == ')') break;
      ParseValue(depth + 1);
    }
    ++pos_;
  }

  // {hex digits, in pairs, blanks allowed between}
  void SkipBinary() {
    Expect('{');
    std::size_t digits = 0;
    for (;;) {
      if (AtEnd()) Fail("\"}\" expected");
      const char c = text_[pos_];
      if (c == '}') break;
      if (IsHexDigit(c)) {
        ++digits;
      } else if (!IsBlank(c)) {
        Fail("hexadecimal digit expected");
      }
      ++pos_;
    }
    if (digits % 2 != 0) Fail("odd number of hexadecimal digits");
    ++pos_;
  }

  // <item [order] properties end ...>
  void SkipCollection(int depth) {
    Expect('<');
    for (;;) {
      SkipBlanks();
      if (Peek() == '>') break;
      if (!SameAsciiText(ReadSymbol("\"item\" expected"), "item")) Fail("\"item\" expected");
      SkipBlanks();
      if (Peek() == '[') {
        ++pos_;
        SkipBlanks();
        SkipNumber();
        SkipBlanks();
        Expect(']');
      }
      SkipItemProperties(depth + 1);
    }
    ++pos_;
  }

  void SkipItemProperties(int depth) {
    for (;;) {
      SkipBlanks();
      const std::size_t start = pos_;
      const std::string word = ReadSymbol("property name expected");
      if (SameAsciiText(word, "end")) return;
      if (IsObjectKeyword(word)) Fail("nested objects are not supported", start);
      ParseProperty(word, depth);
    }
  }

  std::string_view text_;
  bool utf8_;
  std::size_t offset_;
  std::size_t pos_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Reading the binary form. Each value is applied as soon as it is read.

enum ValueType : std::uint8_t {
  kNull = 0x00,
  kList = 0x01,
  kInt8 = 0x02,
  kInt16 = 0x03,
  kInt32 = 0x04,
  kExtended = 0x05,
  kString = 0x06,
  kIdent = 0x07,
  kFalse = 0x08,
  kTrue = 0x09,
  kBinary = 0x0A,
  kSet = 0x0B,
  kLString = 0x0C,
  kNil = 0x0D,
  kCollection = 0x0E,
  kSingle = 0x0F,
  kCurrency = 0x10,
  kDate = 0x11,
  kWString = 0x12,
  kInt64 = 0x13,
  kUtf8String = 0x14,
  kDouble = 0x15,
};

constexpr std::string_view kSignature = "TPF0";

class BinaryReader {
 public:
  explicit BinaryReader(std::string_view data) : data_(data) {}

  void Read(TSettings& settings) {
    if (Take(kSignature.size()) != kSignature) Fail("signature \"TPF0\" expected");
    Take(Byte());  // class name
    Take(Byte());  // object name
    for (;;) {
      const std::uint8_t length = Byte();
      if (length == 0) break;
      Property property;
      property.name = std::string(Take(length));
      property.value = ReadValue(0);
      Apply(property, settings);
    }
    if (Byte() != kNull) Fail("nested objects are not supported");
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw SettingsFileError("Settings file, byte " + std::to_string(pos_) + ": " + what);
  }

  std::uint8_t Peek() const {
    if (pos_ >= data_.size()) Fail("file cut off");
    return static_cast<std::uint8_t>(data_[pos_]);
  }

  std::uint8_t Byte() {
    const std::uint8_t b = Peek();
    ++pos_;
    return b;
  }

  std::string_view Take(std::uint64_t count) {
    if (count > data_.size() - pos_) Fail("file cut off");
    const std::string_view bytes = data_.substr(pos_, static_cast<std::size_t>(count));
    pos_ += static_cast<std::size_t>(count);
    return bytes;
  }

  std::uint32_t Length32() {
    const std::string_view b = Take(4);
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(b[i]);
    return value;
  }

  std::u16string ReadUtf16(std::uint32_t units) {
    const std::string_view b = Take(std::uint64_t{units} * 2);
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>(static_cast<std::uint8_t>(b[2 * i]) |
                                      static_cast<std::uint8_t>(b[2 * i + 1]) << 8);
    }
    return text;
  }

  Value ReadValue(int depth) {
    if (depth > kMaxNesting) Fail("values nested too deeply");
    const std::uint8_t type = Byte();
    switch (type) {
      case kFalse:
        return BooleanValue(false);
      case kTrue:
        return BooleanValue(true);
      case kString:
        return TextValue(AnsiToUtf16(Take(Byte())));
      case kLString:
        return TextValue(AnsiToUtf16(Take(Length32())));
      case kWString:
        return TextValue(ReadUtf16(Length32()));
      case kUtf8String:
        return TextValue(Utf8ToUtf16(Take(Length32())));
      default:
        SkipOther(type, depth);
        return {};
    }
  }

  // Values no settings property takes: read past them so that the next property follows.
  void SkipOther(std::uint8_t type, int depth) {
    switch (type) {
      case kNull:
      case kNil:
        return;
      case kInt8:
        Take(1);
        return;
      case kInt16:
        Take(2);
        return;
      case kInt32:
      case kSingle:
        Take(4);
        return;
      case kInt64:
      case kDouble:
      case kCurrency:
      case kDate:
        Take(8);
        return;
      case kExtended:
        Take(10);
        return;
      case kIdent:
        Take(Byte());
        return;
      case kBinary:
        Take(Length32());
        return;
      case kSet:
        for (std::uint8_t length = Byte(); length != 0; length = Byte()) Take(length);
        return;
      case kList:
        while (Peek() != kNull) ReadValue(depth + 1);
        ++pos_;
        return;
      case kCollection:
        SkipCollection(depth + 1);
        return;
      default:
        Fail("unknown value type " + std::to_string(type));
    }
  }

  // Items, each with an optional order number, a list mark and its properties.
  void SkipCollection(int depth) {
    while (Peek() != kNull) {
      if (Peek() == kInt8 || Peek() == kInt16 || Peek() == kInt32) ReadValue(depth);
      if (Byte() != kList) Fail("collection item expected");
      for (std::uint8_t length = Byte(); length != 0; length = Byte()) {
        Take(length);
        ReadValue(depth);
      }
    }
    ++pos_;
  }

  std::string_view data_;
  std::size_t pos_ = 0;
};

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string WriteSettingsText(const TSettings& settings) {
  std::string out = "object Settings: TSettings";
  out += kLineEnd;
  AppendBoolean(out, "Filter_Message", settings.Filter_Message());
  AppendBoolean(out, "Filter_QVAction_Presenter_SetPage",
                settings.Filter_QVAction_Presenter_SetPage());
  if (!settings.Host().empty()) AppendTextProperty(out, "Host", settings.Host());
  out += "end";
  out += kLineEnd;
  return out;
}

void ReadSettings(std::string_view file_bytes, TSettings& settings) {
  if (file_bytes.size() < kSignature.size()) {
    throw SettingsFileError("The settings file is shorter than four bytes.");
  }
  if (file_bytes.size() > kMaxSettingsFileSize) {
    throw SettingsFileError("The settings file is larger than " +
                            std::to_string(kMaxSettingsFileSize) + " bytes.");
  }
  if (StartsWith(file_bytes, kSignature)) {
    BinaryReader(file_bytes).Read(settings);
    return;
  }
  if (StartsWith(file_bytes, "\xFF\xFE") || StartsWith(file_bytes, "\xFE\xFF")) {
    throw SettingsFileError("A settings file in UTF-16 cannot be read.");
  }
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  const bool utf8 = StartsWith(file_bytes, kUtf8Mark);
  const std::size_t start = utf8 ? kUtf8Mark.size() : 0;
  const std::vector<Property> properties =
      TextParser(file_bytes.substr(start), utf8, start).ParseObject();
  for (const Property& property : properties) Apply(property, settings);
}

}  // namespace qvr
