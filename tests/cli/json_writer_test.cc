// The JSON writer of tessaly-cli --json, and the strict reader the tests
// check its documents with.
#include "cli/json_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/json_reader.h"

namespace tessaly {
namespace {

using cli::JsonTreeNester;
using cli::JsonWriter;
using test::JsonError;
using test::JsonValue;
using test::ParseJson;

const std::string kReplacement = "\xEF\xBF\xBD";

std::string Literal(const std::string& text) {
  std::string out;
  cli::AppendJsonString(out, text);
  return out;
}

TEST(JsonWriter, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(Literal(""), "\"\"");
  EXPECT_EQ(Literal("plain / text"), "\"plain / text\"");
  EXPECT_EQ(Literal("say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(Literal("C:\\dir\\"), "\"C:\\\\dir\\\\\"");
  EXPECT_EQ(Literal("a\nb\tc\rd\be\ff"), "\"a\\nb\\tc\\rd\\be\\ff\"");
  EXPECT_EQ(Literal(std::string("\x00\x01\x1b\x1f", 4)), "\"\\u0000\\u0001\\u001b\\u001f\"");
  EXPECT_EQ(Literal(" \x7f~"), "\" \x7f~\"");  // DEL and printable ASCII stay as they are
}

TEST(JsonWriter, KeepsWellFormedUtf8) {
  const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBF \xF4\x8F\xBF\xBF \xED\x9F\xBF";
  EXPECT_EQ(Literal(text), "\"" + text + "\"");
}

TEST(JsonWriter, ReplacesEachIllFormedSequenceWithOneReplacementCharacter) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\xFF", kReplacement},
      {"a\x80z", "a" + kReplacement + "z"},                     // a lone continuation byte
      {"\xC0\x80", kReplacement + kReplacement},                // overlong NUL: C0 never leads
      {"\xC1\xBF", kReplacement + kReplacement},
      {"\xE0\x80\x80", kReplacement + kReplacement + kReplacement},  // overlong three-byte form
      {"\xED\xA0\x80", kReplacement + kReplacement + kReplacement},  // a surrogate
      {"\xF4\x90\x80\x80", std::string() + kReplacement + kReplacement + kReplacement + kReplacement},
      {"\xF5\x80", kReplacement + kReplacement},
      {"\xE2\x82", kReplacement},                               // cut short at the end
      {"\xE2\x82x", kReplacement + "x"},                         // cut short by ASCII
      {"\xF0\x9F\x98\"", kReplacement + "\\\""},                 // cut short by a quote
      {"\xC3\xC3\xA9", kReplacement + "\xC3\xA9"},               // cut short by a new lead byte
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(Literal(input), "\"" + expected + "\"") << input;
}

// Texts made of pieces whose writing is known, read back by the strict
// reader: the document is valid and holds exactly the expected text.
TEST(JsonWriter, AnyBytesReadBackAsValidJson) {
  const std::vector<std::pair<std::string, std::string>> pieces = {
      {"a", "a"},
      {"\"", "\""},
      {"\\", "\\"},
      {"\n", "\n"},
      {std::string(1, '\0'), std::string(1, '\0')},
      {"\x1f", "\x1f"},
      {"\xC3\xA9", "\xC3\xA9"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"\xFF", kReplacement},
      {"\xE2\x82", kReplacement},
      {"\xED\xBF\xBF", kReplacement + kReplacement + kReplacement},
      {"\xF0\x80", kReplacement + kReplacement},
  };
  std::uint32_t seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::string input, expected;
    seed = seed * 1103515245 + 12345;
    const int count = static_cast<int>((seed >> 16) % 12);
    for (int i = 0; i < count; ++i) {
      seed = seed * 1103515245 + 12345;
      const auto& [bytes, text] = pieces[(seed >> 16) % pieces.size()];
      input += bytes;
      expected += text;
    }
    JsonWriter json;
    json.BeginObject();
    json.Key(input);
    json.String(input);
    json.EndObject();
    const std::string document = json.Finish();
    JsonValue value;
    ASSERT_NO_THROW(value = ParseJson(document)) << document;
    ASSERT_EQ(value.keys.size(), 1u);
    EXPECT_EQ(value.keys[0], expected);
    EXPECT_EQ(value[expected].Str(), expected);
  }
}

TEST(JsonWriter, LaysOutDocumentsWithTwoSpaceIndentation) {
  JsonWriter json;
  json.BeginObject();
  json.Key("a");
  json.Number(1);
  json.Key("b");
  json.BeginArray();
  json.String("x");
  json.Null();
  json.BeginObject();
  json.EndObject();
  json.BeginArray();
  json.EndArray();
  json.OptionalString(std::nullopt);
  json.OptionalString("y");
  json.EndArray();
  json.Key("c");
  json.Bool(true);
  json.Key("d");
  json.Number(-9007199254740993);
  json.Key("e");
  json.Bool(false);
  json.EndObject();
  EXPECT_EQ(json.Finish(),
            "{\n"
            "  \"a\": 1,\n"
            "  \"b\": [\n"
            "    \"x\",\n"
            "    null,\n"
            "    {},\n"
            "    [],\n"
            "    null,\n"
            "    \"y\"\n"
            "  ],\n"
            "  \"c\": true,\n"
            "  \"d\": -9007199254740993,\n"
            "  \"e\": false\n"
            "}\n");

  JsonWriter empty;
  empty.BeginArray();
  empty.EndArray();
  EXPECT_EQ(empty.Finish(), "[]\n");
  JsonWriter scalar;
  scalar.String("s");
  EXPECT_EQ(scalar.Finish(), "\"s\"\n");
}

TEST(JsonWriter, RefusesMisuse) {
  {
    JsonWriter json;
    json.BeginObject();
    EXPECT_THROW(json.Number(1), std::logic_error);  // no key
    EXPECT_THROW(json.EndArray(), std::logic_error);
    EXPECT_THROW(json.Finish(), std::logic_error);  // still open
    json.Key("k");
    EXPECT_THROW(json.Key("k2"), std::logic_error);
    EXPECT_THROW(json.EndObject(), std::logic_error);  // the key has no value
  }
  {
    JsonWriter json;
    EXPECT_THROW(json.Finish(), std::logic_error);  // nothing written
    json.BeginArray();
    EXPECT_THROW(json.Key("k"), std::logic_error);
    EXPECT_THROW(json.EndObject(), std::logic_error);
    json.EndArray();
    EXPECT_THROW(json.Null(), std::logic_error);  // a second document
  }
}

// Writes a tree given as depths in document order, each node named by its
// position, and returns it read back.
JsonValue NestedDocument(const std::vector<int>& depths) {
  JsonWriter json;
  json.BeginArray();
  JsonTreeNester tree(json);
  for (std::size_t i = 0; i < depths.size(); ++i) {
    tree.Enter(depths[i]);
    json.Key("n");
    json.Number(static_cast<std::int64_t>(i));
    tree.OpenChildren();
  }
  tree.Finish();
  json.EndArray();
  return ParseJson(json.Finish());
}

TEST(JsonWriter, TreeNesterBuildsTheTreeFromDepths) {
  //  0
  //    1
  //      2
  //        3
  //    4
  //  5
  //    6
  const JsonValue tree = NestedDocument({0, 1, 2, 3, 1, 0, 1});
  ASSERT_EQ(tree.Size(), 2u);
  EXPECT_EQ(tree[0]["n"].Int(), 0);
  ASSERT_EQ(tree[0]["children"].Size(), 2u);
  EXPECT_EQ(tree[0]["children"][0]["n"].Int(), 1);
  EXPECT_EQ(tree[0]["children"][0]["children"][0]["n"].Int(), 2);
  EXPECT_EQ(tree[0]["children"][0]["children"][0]["children"][0]["n"].Int(), 3);
  EXPECT_EQ(tree[0]["children"][0]["children"][0]["children"][0]["children"].Size(), 0u);
  EXPECT_EQ(tree[0]["children"][1]["n"].Int(), 4);
  EXPECT_EQ(tree[1]["n"].Int(), 5);
  ASSERT_EQ(tree[1]["children"].Size(), 1u);
  EXPECT_EQ(tree[1]["children"][0]["n"].Int(), 6);
  EXPECT_EQ(tree[1]["children"][0]["children"].Size(), 0u);

  EXPECT_EQ(NestedDocument({}).Size(), 0u);

  // A long chain closes completely.
  std::vector<int> chain;
  for (int depth = 0; depth < 600; ++depth) chain.push_back(depth);
  chain.push_back(0);
  const JsonValue deep = NestedDocument(chain);
  ASSERT_EQ(deep.Size(), 2u);
  const JsonValue* node = &deep[0];
  for (int depth = 1; depth < 600; ++depth) {
    ASSERT_EQ(node->operator[]("children").Size(), 1u) << depth;
    node = &node->operator[]("children")[0];
    ASSERT_EQ(node->operator[]("n").Int(), depth);
  }
  EXPECT_EQ(deep[1]["n"].Int(), 600);
}

TEST(JsonReader, ReadsEveryKindOfValue) {
  const JsonValue value =
      ParseJson(" {\"a\": [1, -2.5e-1, 0, true, false, null, \"\\u00e9\\ud83d\\ude00\\/\"], \"b\": {}} \n");
  ASSERT_EQ(value.keys, (std::vector<std::string>{"a", "b"}));
  const JsonValue& a = value["a"];
  ASSERT_EQ(a.Size(), 7u);
  EXPECT_EQ(a[0].Int(), 1);
  EXPECT_EQ(a[1].number, -0.25);
  EXPECT_EQ(a[2].Int(), 0);
  EXPECT_TRUE(a[3].boolean);
  EXPECT_EQ(a[4].type, JsonValue::Type::kBool);
  EXPECT_FALSE(a[4].boolean);
  EXPECT_TRUE(a[5].IsNull());
  EXPECT_EQ(a[6].Str(), "\xC3\xA9\xF0\x9F\x98\x80/");
  EXPECT_EQ(value["b"].Size(), 0u);
  EXPECT_THROW(value["c"], JsonError);
  EXPECT_THROW(a[7], JsonError);
  EXPECT_THROW(a[1].Int(), JsonError);
  EXPECT_THROW(a[0].Str(), JsonError);
}

TEST(JsonReader, RefusesWhatIsNotStrictJson) {
  for (const std::string bad :
       {"", "{\"a\":1,}", "[1,]", "{\"a\":1 \"b\":2}", "{\"a\":1,\"a\":2}", "01", "-", "1.", "[1] x", "tru",
        "\"abc", "\"\\x\"", "\"\\ud800\"", "\"\\udc00\"", "\"a\x01\"", "\"\n\"", "\"\xFF\"", "\"\xC0\x80\"",
        "\"\xED\xA0\x80\"", "\"\xE2\x82\"", "{a:1}", "'a'", "[1 2]"}) {
    EXPECT_THROW(ParseJson(bad), JsonError) << bad;
  }
}

}  // namespace
}  // namespace tessaly
