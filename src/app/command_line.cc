#include "app/command_line.h"

#include <optional>

#include "base/text.h"
#include "pages/pages.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kKeywordOption = "--keyword";
constexpr std::string_view kLibraryAddOption = "--library-add";

std::string Escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f || c == '%') {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 15];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// A '%' not followed by two hex digits stays as it is.
std::string Unescape(std::string_view text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int byte = PercentEscapeAt(text, i);
    if (byte >= 0) {
      plain += static_cast<char>(byte);
      i += 2;
      continue;
    }
    plain += text[i];
  }
  return plain;
}

// The next space-separated field of a request line.
std::string_view NextField(std::string_view& rest) {
  const std::size_t space = rest.find(' ');
  const std::string_view field = rest.substr(0, space);
  rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
  return field;
}

}  // namespace

NamedBook ParseNamedBook(std::string_view text) {
  constexpr std::string_view kFilePrefix = "file:\\";
  if (text.starts_with(kFilePrefix)) text.remove_prefix(kFilePrefix.size());
  NamedBook named;
  if (const std::optional<BookAddress> address = ParseBookAddress(text, IsBookFile)) {
    named.path = address->book;
    named.page = address->page;
    if (!address->fragment.empty()) named.page += "#" + address->fragment;
  } else {
    named.path = std::string(text);
  }
  return named;
}

std::optional<ReaderRequest> ParseArguments(std::span<const std::string_view> arguments) {
  ReaderRequest request;
  if (arguments.empty()) return request;
  const std::string_view first = arguments[0];
  if (first == kKeywordOption) {
    if (arguments.size() < 2 || arguments.size() > 3 || arguments[1].empty()) return std::nullopt;
    request.kind = RequestKind::kKeyword;
    request.word = std::string(arguments[1]);
    if (arguments.size() == 3) request.book = std::string(arguments[2]);
    return request;
  }
  if (first == kLibraryAddOption) {
    if (arguments.size() != 2 || arguments[1].empty()) return std::nullopt;
    request.kind = RequestKind::kLibraryAdd;
    request.book = std::string(arguments[1]);
    return request;
  }
  if (arguments.size() > 1 || first.starts_with("--")) return std::nullopt;
  request.book = std::string(first);
  return request;
}

std::string RequestLine(const ReaderRequest& request) {
  switch (request.kind) {
    case RequestKind::kOpen: return request.book;
    case RequestKind::kKeyword:
      return std::string(kKeywordOption) + " " + Escape(request.word) + " " + Escape(request.book);
    case RequestKind::kLibraryAdd: return std::string(kLibraryAddOption) + " " + Escape(request.book);
  }
  return request.book;
}

ReaderRequest ParseRequestLine(std::string_view line) {
  ReaderRequest request;
  std::string_view rest = line;
  const std::string_view option = NextField(rest);
  if (option == kKeywordOption) {
    request.kind = RequestKind::kKeyword;
    request.word = Unescape(NextField(rest));
    request.book = Unescape(NextField(rest));
    if (!request.word.empty()) return request;
  } else if (option == kLibraryAddOption) {
    request.kind = RequestKind::kLibraryAdd;
    request.book = Unescape(NextField(rest));
    if (!request.book.empty()) return request;
  }
  // Anything else names a book (a path may hold spaces).
  return ReaderRequest{RequestKind::kOpen, {}, std::string(line)};
}

}  // namespace tessaly::app
