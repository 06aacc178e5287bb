#include "cli/json_output.h"

#include <cstdio>

#include "book/book.h"
#include "cli/output.h"

namespace tessaly::cli {

std::optional<std::string> OptionalBookText(const Book& book, std::string_view text) {
  if (text.empty()) return std::nullopt;
  return BookText(book, text);
}

void WriteBookText(JsonWriter& json, const Book& book, std::string_view text) {
  const std::optional<std::string> converted = OptionalBookText(book, text);
  json.OptionalString(converted ? std::optional<std::string_view>(*converted) : std::nullopt);
}

void WriteTopic(JsonWriter& json, const Book& book, std::uint32_t number) {
  const TopicTable& topics = book.Topics();
  // A number past the table reads "Incorrect topic id", as the plain lines show it.
  const auto topic = static_cast<std::int32_t>(number);
  json.BeginObject();
  json.Key("number");
  json.Number(number);
  // Never empty: a topic without a title reads "Untitled topic", as in the reader.
  json.Key("title");
  json.String(BookText(book, topics.Title(topic)));
  json.Key("path");
  WriteBookText(json, book, topics.Path(topic).value_or(""));
  json.EndObject();
}

void PrintDocument(const std::string& document) { std::fwrite(document.data(), 1, document.size(), stdout); }

}  // namespace tessaly::cli
