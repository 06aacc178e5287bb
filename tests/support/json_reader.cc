#include "support/json_reader.h"

#include <cmath>
#include <cstdlib>

namespace tessaly::test {

namespace {

// Deep enough for every document the tests make; deeper input is refused
// rather than risking the stack.
constexpr int kMaxDepth = 2000;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonValue Document() {
    SkipSpace();
    JsonValue value = Value(0);
    SkipSpace();
    if (at_ != text_.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw JsonError("JSON: " + what + " at offset " + std::to_string(at_));
  }

  bool AtEnd() const { return at_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[at_]; }

  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++at_;
  }

  void Expect(char c) {
    if (Peek() != c || AtEnd()) Fail(std::string("expected '") + c + "'");
    ++at_;
  }

  void Literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) Fail("bad literal");
    at_ += word.size();
  }

  JsonValue Value(int depth) {
    if (depth > kMaxDepth) Fail("nesting too deep");
    JsonValue value;
    switch (Peek()) {
      case '{': Object(value, depth); break;
      case '[': Array(value, depth); break;
      case '"':
        value.type = JsonValue::Type::kString;
        value.text = String();
        break;
      case 't':
        Literal("true");
        value.type = JsonValue::Type::kBool;
        value.boolean = true;
        break;
      case 'f':
        Literal("false");
        value.type = JsonValue::Type::kBool;
        break;
      case 'n':
        Literal("null");
        break;
      default: Number(value);
    }
    return value;
  }

  void Object(JsonValue& value, int depth) {
    value.type = JsonValue::Type::kObject;
    Expect('{');
    SkipSpace();
    if (Peek() == '}') {
      ++at_;
      return;
    }
    for (;;) {
      SkipSpace();
      if (Peek() != '"') Fail("expected a member name");
      std::string key = String();
      if (value.Has(key)) Fail("duplicate member \"" + key + "\"");
      SkipSpace();
      Expect(':');
      SkipSpace();
      value.keys.push_back(std::move(key));
      value.items.push_back(Value(depth + 1));
      SkipSpace();
      if (Peek() == '}') {
        ++at_;
        return;
      }
      Expect(',');
    }
  }

  void Array(JsonValue& value, int depth) {
    value.type = JsonValue::Type::kArray;
    Expect('[');
    SkipSpace();
    if (Peek() == ']') {
      ++at_;
      return;
    }
    for (;;) {
      SkipSpace();
      value.items.push_back(Value(depth + 1));
      SkipSpace();
      if (Peek() == ']') {
        ++at_;
        return;
      }
      Expect(',');
    }
  }

  void Number(JsonValue& value) {
    const std::size_t start = at_;
    const auto digits = [&] {
      const std::size_t from = at_;
      while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++at_;
      return at_ - from;
    };
    if (Peek() == '-') ++at_;
    if (Peek() == '0') {
      ++at_;
    } else if (digits() == 0) {
      Fail("bad value");
    }
    if (Peek() == '.') {
      ++at_;
      if (digits() == 0) Fail("bad fraction");
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++at_;
      if (Peek() == '+' || Peek() == '-') ++at_;
      if (digits() == 0) Fail("bad exponent");
    }
    value.type = JsonValue::Type::kNumber;
    value.number = std::strtod(std::string(text_.substr(start, at_ - start)).c_str(), nullptr);
  }

  unsigned Hex4() {
    if (at_ + 4 > text_.size()) Fail("short \\u escape");
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      code <<= 4;
      if (c >= '0' && c <= '9') code |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') code |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') code |= static_cast<unsigned>(c - 'A' + 10);
      else Fail("bad \\u escape");
    }
    return code;
  }

  static void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  // Copies one UTF-8 sequence, refusing every ill-formed one.
  void Utf8(std::string& out) {
    const auto byte = [&](std::size_t i) {
      if (i >= text_.size()) Fail("truncated UTF-8");
      return static_cast<unsigned char>(text_[i]);
    };
    const unsigned char lead = byte(at_);
    std::size_t length = 0;
    unsigned code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
    else Fail("invalid UTF-8 lead byte");
    for (std::size_t i = 1; i < length; ++i) {
      const unsigned char next = byte(at_ + i);
      if ((next & 0xC0) != 0x80) Fail("invalid UTF-8 continuation");
      code = (code << 6) | (next & 0x3F);
    }
    const unsigned minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < minimum) Fail("overlong UTF-8");
    if (code >= 0xD800 && code <= 0xDFFF) Fail("UTF-8 surrogate");
    if (code > 0x10FFFF) Fail("UTF-8 beyond U+10FFFF");
    out.append(text_, at_, length);
    at_ += length;
  }

  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      if (AtEnd()) Fail("unterminated string");
      const char c = text_[at_];
      const auto u = static_cast<unsigned char>(c);
      if (c == '"') {
        ++at_;
        return out;
      }
      if (u < 0x20) Fail("raw control character in a string");
      if (u >= 0x80) {
        Utf8(out);
        continue;
      }
      ++at_;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (AtEnd()) Fail("unterminated escape");
      const char e = text_[at_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned code = Hex4();
          if (code >= 0xDC00 && code <= 0xDFFF) Fail("lone low surrogate");
          if (code >= 0xD800 && code <= 0xDBFF) {
            if (text_.substr(at_, 2) != "\\u") Fail("lone high surrogate");
            at_ += 2;
            const unsigned low = Hex4();
            if (low < 0xDC00 || low > 0xDFFF) Fail("bad low surrogate");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, code);
          break;
        }
        default: Fail("bad escape");
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

const char* TypeName(JsonValue::Type type) {
  switch (type) {
    case JsonValue::Type::kNull: return "null";
    case JsonValue::Type::kBool: return "boolean";
    case JsonValue::Type::kNumber: return "number";
    case JsonValue::Type::kString: return "string";
    case JsonValue::Type::kArray: return "array";
    case JsonValue::Type::kObject: return "object";
  }
  return "?";
}

void Require(const JsonValue& value, JsonValue::Type type) {
  if (value.type != type)
    throw JsonError(std::string("JSON: expected ") + TypeName(type) + ", found " + TypeName(value.type));
}

}  // namespace

bool JsonValue::Has(std::string_view key) const {
  Require(*this, Type::kObject);
  for (const std::string& k : keys)
    if (k == key) return true;
  return false;
}

const JsonValue& JsonValue::operator[](std::string_view key) const {
  Require(*this, Type::kObject);
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == key) return items[i];
  throw JsonError("JSON: no member \"" + std::string(key) + "\"");
}

const JsonValue& JsonValue::operator[](std::size_t index) const {
  Require(*this, Type::kArray);
  if (index >= items.size()) throw JsonError("JSON: index " + std::to_string(index) + " out of range");
  return items[index];
}

std::size_t JsonValue::Size() const {
  if (type != Type::kObject) Require(*this, Type::kArray);
  return items.size();
}

const std::string& JsonValue::Str() const {
  Require(*this, Type::kString);
  return text;
}

std::int64_t JsonValue::Int() const {
  Require(*this, Type::kNumber);
  if (std::trunc(number) != number) throw JsonError("JSON: not an integer");
  return static_cast<std::int64_t>(number);
}

JsonValue ParseJson(std::string_view text) { return Parser(text).Document(); }

}  // namespace tessaly::test
