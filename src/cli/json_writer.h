// A small JSON writer for tessaly-cli --json.
//
// The document goes to a stream as it is written, in pieces of
// kFlushBytes, so that no document is ever held whole (a book's tree may be
// large); without a stream it is kept for Finish(). The tool reads the whole
// book before it writes, so a failure leaves the output empty. Output is
// stable: two-space indentation,
// one member or element per line, members in the order written, "[]" and
// "{}" for empty containers, and a newline after the document.
//
// Strings are written as UTF-8. '"' and '\' are escaped, control characters
// become \b \f \n \r \t or \u00xx, and bytes that are not well-formed UTF-8
// become U+FFFD (one per maximal ill-formed sequence), so the output is valid
// JSON whatever bytes a book holds.
//
// Header only: the tests check it without linking the tool.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::cli {

namespace json_detail {

// The length of the well-formed UTF-8 sequence at text[at], or 0 when it is
// ill-formed; then *skip is the length of its maximal ill-formed part.
inline std::size_t Utf8SequenceLength(std::string_view text, std::size_t at, std::size_t* skip) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead == 0xE0) length = 3, low = 0xA0;                   // no overlong forms
  else if (lead == 0xED) length = 3, high = 0x9F;                  // no surrogates
  else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
  else if (lead == 0xF0) length = 4, low = 0x90;                   // no overlong forms
  else if (lead == 0xF4) length = 4, high = 0x8F;                  // nothing past U+10FFFF
  else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
  if (length == 0) {
    *skip = 1;
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const bool ok = at + i < text.size() && byte(at + i) >= (i == 1 ? low : 0x80) &&
                    byte(at + i) <= (i == 1 ? high : 0xBF);
    if (!ok) {
      *skip = i;
      return 0;
    }
  }
  return length;
}

}  // namespace json_detail

// Appends text to out as a JSON string literal, quotes included.
inline void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      std::size_t skip = 0;
      const std::size_t length = json_detail::Utf8SequenceLength(text, at, &skip);
      if (length == 0) {
        out += "\xEF\xBF\xBD";
        at += skip;
      } else {
        out.append(text, at, length);
        at += length;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20) {
          out += "\\u00";
          out += kHex[u >> 4];
          out += kHex[u & 0xF];
        } else {
          out += c;
        }
    }
    ++at;
  }
  out += '"';
}

// Writes one document; every Begin has its End, and inside an object every
// value follows its Key. Misuse is a programming error: std::logic_error.
class JsonWriter {
 public:
  static constexpr std::size_t kFlushBytes = 64 * 1024;

  JsonWriter() = default;
  explicit JsonWriter(std::FILE* stream) : stream_(stream) {}

  void BeginObject() { Open('{'); }
  void EndObject() { Close('{', '}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close('[', ']'); }

  void Key(std::string_view key) {
    if (levels_.empty() || levels_.back().kind != '{' || afterKey_) throw std::logic_error("JSON key out of place");
    NewLine();
    AppendJsonString(out_, key);
    out_ += ": ";
    afterKey_ = true;
  }

  void String(std::string_view text) {
    BeforeValue();
    AppendJsonString(out_, text);
  }
  void Number(std::int64_t value) {
    BeforeValue();
    out_ += std::to_string(value);
  }
  void Bool(bool value) {
    BeforeValue();
    out_ += value ? "true" : "false";
  }
  void Null() {
    BeforeValue();
    out_ += "null";
  }
  // A text the book may lack: null when absent.
  void OptionalString(std::optional<std::string_view> text) {
    if (text) String(*text);
    else Null();
  }

  // The finished document with its closing newline (with a stream: what
  // is left of it; the caller writes it out).
  std::string Finish() {
    if (!levels_.empty() || !done_) throw std::logic_error("JSON document not complete");
    return out_ + '\n';
  }

 private:
  struct Level {
    char kind;  // '{' or '['
    bool empty = true;
  };

  void NewLine() {
    if (stream_ != nullptr && out_.size() >= kFlushBytes) {
      std::fwrite(out_.data(), 1, out_.size(), stream_);
      out_.clear();
    }
    if (!levels_.back().empty) out_ += ',';
    levels_.back().empty = false;
    out_ += '\n';
    out_.append(2 * levels_.size(), ' ');
  }

  void BeforeValue() {
    if (levels_.empty()) {
      if (done_) throw std::logic_error("JSON document has one value");
      done_ = true;
    } else if (afterKey_) {
      afterKey_ = false;
    } else if (levels_.back().kind == '[') {
      NewLine();
    } else {
      throw std::logic_error("JSON value without a key");
    }
  }

  void Open(char kind) {
    BeforeValue();
    out_ += kind;
    levels_.push_back(Level{kind});
  }

  void Close(char kind, char closing) {
    if (levels_.empty() || levels_.back().kind != kind || afterKey_) throw std::logic_error("JSON close out of place");
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) {
      out_ += '\n';
      out_.append(2 * levels_.size(), ' ');
    }
    out_ += closing;
  }

  std::FILE* stream_ = nullptr;
  std::string out_;
  std::vector<Level> levels_;
  bool afterKey_ = false;
  bool done_ = false;
};

// Nests a tree given as a document-order walk with depths (0 for the top)
// into objects with a "children" array, without recursion, so a tree may be
// as deep as its book makes it. For each node: Enter(depth), write the
// node's own members, then OpenChildren(); Finish() after the walk.
class JsonTreeNester {
 public:
  explicit JsonTreeNester(JsonWriter& writer) : writer_(writer) {}

  void Enter(int depth) {
    CloseDownTo(depth);
    writer_.BeginObject();
  }
  void OpenChildren() {
    writer_.Key("children");
    writer_.BeginArray();
    ++open_;
  }
  void Finish() { CloseDownTo(0); }

 private:
  void CloseDownTo(int depth) {
    for (; open_ > depth; --open_) {
      writer_.EndArray();
      writer_.EndObject();
    }
  }

  JsonWriter& writer_;
  int open_ = 0;  // nodes whose children array is still open
};

}  // namespace tessaly::cli
