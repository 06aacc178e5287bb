// A strict JSON reader for tests of tessaly-cli --json: it accepts exactly
// RFC 8259 documents (strings in well-formed UTF-8, no raw control
// characters, no trailing commas, no leading zeros) and, because the tool
// never writes them, no duplicate member names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::test {

class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct JsonValue {
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };

  Type type = Type::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;               // a string's UTF-8 bytes, escapes decoded
  std::vector<JsonValue> items;   // an array's elements, an object's member values
  std::vector<std::string> keys;  // an object's member names, parallel to items

  bool IsNull() const { return type == Type::kNull; }
  // The accessors raise JsonError when the value is of another type, the
  // member is missing, the index is out of range or the number is not an
  // integer.
  const JsonValue& operator[](std::string_view key) const;
  const JsonValue& operator[](std::size_t index) const;
  std::size_t Size() const;
  const std::string& Str() const;
  std::int64_t Int() const;
  bool Has(std::string_view key) const;
};

// One value with optional white space around it; JsonError (naming the
// offset) for anything else.
JsonValue ParseJson(std::string_view text);

}  // namespace tessaly::test
