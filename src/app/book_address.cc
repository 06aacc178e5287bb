#include "app/book_address.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "base/text.h"

namespace tessaly::app {

namespace {

constexpr std::array<std::string_view, 3> kBookPrefixes{"ms-its:", "mk:@MSITStore:", "its:"};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Bytes that stand in an address as they are; everything else is escaped.
bool IsAddressByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("-._~/!$&'()*+,;=:@").find(c) != std::string_view::npos;
}

std::string Escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (IsAddressByte(c)) {
      out += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string_view TrimLeft(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return decoded;
}

std::optional<BookLink> ParseBookLink(std::string_view text, const BookFileTest& isBook) {
  text = TrimLeft(text);
  bool prefixed = false;
  for (const std::string_view prefix : kBookPrefixes) {
    if (StartsWithNoCase(text, prefix)) {
      text.remove_prefix(prefix.size());
      prefixed = true;
      break;
    }
  }
  if (!prefixed && IsWebAddress(text)) return std::nullopt;
  for (std::size_t at = text.find("::"); at != std::string_view::npos; at = text.find("::", at + 1)) {
    const std::string_view book = text.substr(0, at);
    if (book.size() >= 4 && EqualNoCase(book.substr(book.size() - 4), ".chm") && isBook(book)) {
      return BookLink{std::string(book), std::string(text.substr(at + 2))};
    }
  }
  if (!prefixed) return std::nullopt;
  const std::size_t first = text.find("::");
  if (first == std::string_view::npos) return BookLink{std::string(text), {}};
  return BookLink{std::string(text.substr(0, first)), std::string(text.substr(first + 2))};
}

std::string PageAddress(std::string_view book, std::string_view page) {
  const std::size_t hash = page.find('#');
  std::string_view path = page.substr(0, hash);
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  std::string address = std::string(kBookScheme) + ":" + Escape(book) + "::/" + Escape(path);
  if (hash != std::string_view::npos) address += "#" + Escape(page.substr(hash + 1));
  return address;
}

bool IsBookFileName(std::string_view path) {
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::path(path), error);
}

bool IsBookAddress(std::string_view text) { return StartsWithNoCase(text, "ms-its:"); }

std::optional<std::string> DecodeBookAddress(std::string_view address) {
  if (!IsBookAddress(address)) return std::nullopt;
  address.remove_prefix(kBookScheme.size() + 1);
  return PercentDecode(address.substr(0, address.find_first_of("?#")));
}

bool IsWebAddress(std::string_view link) {
  link = TrimLeft(link);
  for (const std::string_view scheme : {"http:", "https:", "ftp:", "mailto:"}) {
    if (StartsWithNoCase(link, scheme)) return true;
  }
  return false;
}

std::string AddressForDesktop(std::string_view link) {
  link = TrimLeft(link);
  if (!StartsWithNoCase(link, "mailto:")) return std::string(link);
  // mailto:to?subject=..&body=..&attach=..: only the recipients, the
  // subject and the body go to the mail program.
  const std::size_t question = link.find('?');
  std::string address(link.substr(0, question));
  std::string kept;
  if (question != std::string_view::npos) {
    std::string_view query = link.substr(question + 1);
    query = query.substr(0, query.find('#'));
    while (!query.empty()) {
      const std::size_t amp = query.find('&');
      const std::string_view field = query.substr(0, amp);
      const std::string_view name = field.substr(0, field.find('='));
      if (EqualNoCase(name, "subject") || EqualNoCase(name, "body")) {
        kept += kept.empty() ? "?" : "&";
        kept += field;
      }
      if (amp == std::string_view::npos) break;
      query.remove_prefix(amp + 1);
    }
  }
  if (address.size() == 7 && kept.empty()) return {};
  return address + kept;
}

}  // namespace tessaly::app
