// Book facts in the --json documents of tessaly-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/json_writer.h"

namespace tessaly {
class Book;
}

namespace tessaly::cli {

// Book text in UTF-8 as the plain output prints it; none when the book gives
// an empty text, which is how it says it has none.
std::optional<std::string> OptionalBookText(const Book& book, std::string_view text);

// Book text written as a string, or null when empty.
void WriteBookText(JsonWriter& json, const Book& book, std::string_view text);

// One topic of the topic table: {"number": n, "title": ..., "path": ... or null}.
void WriteTopic(JsonWriter& json, const Book& book, std::uint32_t topic);

// Prints a finished document on standard output.
void PrintDocument(const std::string& document);

}  // namespace tessaly::cli
