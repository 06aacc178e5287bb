#include "pages/pages.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <system_error>

#include "base/book_path.h"
#include "base/text.h"

namespace tessaly {

namespace {

// A hostile address may repeat "x.chm::" thousands of times: no more than this
// many names are put to the test.
constexpr int kMaxBookCandidates = 16;

constexpr std::array<std::string_view, 3> kItsSchemes = {"ms-its:", "mk:@msitstore:", "its:"};

enum class Scheme { kNone, kIts, kFile, kOther };

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && EqualNoCase(text.substr(text.size() - suffix.size()), suffix);
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Appends the byte at text[at] to out, or the one a "%XX" there stands for
// when decoding; returns where the next one starts.
std::size_t TakeByte(std::string_view text, std::size_t at, bool decode, std::string& out) {
  const int byte = decode ? PercentEscapeAt(text, at) : -1;
  if (byte < 0) {
    out += text[at];
    return at + 1;
  }
  out += static_cast<char>(byte);
  return at + 3;
}

std::string DecodeOnce(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) at = TakeByte(text, at, true, out);
  return out;
}

bool HoldsNul(std::string_view text) {
  return text.find('\0') != std::string_view::npos || text.find("%00") != std::string_view::npos;
}

// The scheme the text starts with; rest is what follows its ':'. A word
// followed by "::" is no scheme: `Foo::Bar.htm` names a page.
Scheme ReadScheme(std::string_view text, std::string_view& rest) {
  for (std::string_view its : kItsSchemes) {
    if (StartsWithNoCase(text, its)) {
      rest = text.substr(its.size());
      return Scheme::kIts;
    }
  }
  if (StartsWithNoCase(text, "file:")) {
    rest = text.substr(5);
    return Scheme::kFile;
  }
  rest = text;
  if (text.empty() || !IsAlpha(text[0])) return Scheme::kNone;
  std::size_t at = 1;
  while (at < text.size() && (IsAlpha(text[at]) || IsDigit(text[at]) || text[at] == '+' || text[at] == '-' ||
                              text[at] == '.'))
    ++at;
  if (at < text.size() && text[at] == ':' && (at + 1 == text.size() || text[at + 1] != ':')) return Scheme::kOther;
  return Scheme::kNone;
}

// The path of a file: address: "//" and a host of "" or "localhost" before it.
std::optional<std::string_view> LocalFilePath(std::string_view rest) {
  if (!rest.starts_with("//")) return rest;
  rest.remove_prefix(2);
  const std::size_t slash = rest.find('/');
  const std::string_view host = rest.substr(0, slash);
  if (!host.empty() && !EqualNoCase(host, "localhost")) return std::nullopt;
  return slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
}

// Where a "::" divides a book from the page in it.
struct Split {
  bool found = false;     // at a name the test accepted
  std::string book;       // that name, or else the first name ending in ".chm" before a "::"
  std::size_t rawPage = std::string_view::npos;  // where the page begins in the text
  std::size_t firstSeparator = std::string_view::npos;  // the first "::" of all
};

// Walks the text once, decoding the book's name as it goes when the text is
// a URL, and puts each name ending in ".chm" before a "::" to the test, the
// leftmost accepted one winning.
Split FindBook(std::string_view text, bool decode, const BookFileTest& isBook) {
  Split split;
  std::string name;
  int candidates = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (text.compare(at, 2, "::") == 0) {
      if (split.firstSeparator == std::string_view::npos) split.firstSeparator = at;
      if (EndsWithNoCase(name, ".chm") && candidates < kMaxBookCandidates) {
        ++candidates;
        if (isBook(name)) {
          split.found = true;
          split.book = name;
          split.rawPage = at + 2;
          return split;
        }
        if (split.rawPage == std::string_view::npos) {
          split.book = name;
          split.rawPage = at + 2;
        }
      }
    }
    at = TakeByte(text, at, decode, name);
  }
  return split;
}

// NormalizeBookPath's form, then what decoding brought in resolved: "" and
// "." segments dropped, ".." taking back one segment and never more than
// there are, '\\' a separator like '/'.
std::string CanonicalObjectPath(std::string_view raw) {
  std::string path(raw);
  NormalizeBookPath(path);
  std::string out;
  out.reserve(path.size());
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    const std::string_view segment = std::string_view(path).substr(start, end - start);
    if (segment == "..") {
      const std::size_t slash = out.rfind('/');
      out.resize(slash == std::string::npos ? 0 : slash);
    } else if (!segment.empty() && segment != ".") {
      if (!out.empty()) out += '/';
      out += segment;
    }
    start = end + 1;
  }
  return out;
}

// A URL's text before its fragment and query; the fragment, decoded.
std::string_view CutUrl(std::string_view url, std::string& fragment) {
  const std::size_t hash = url.find('#');
  if (hash != std::string_view::npos) {
    fragment = DecodeOnce(url.substr(hash + 1));
    url = url.substr(0, hash);
  }
  return url.substr(0, url.find('?'));
}

std::string_view TrimSpace(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

struct Parsed {
  BookAddress address;
  Scheme scheme = Scheme::kNone;
  bool split = false;  // divided at a book the test accepted
};

std::optional<Parsed> Parse(std::string_view text, const BookFileTest& isBook) {
  text = TrimSpace(text);
  if (text.empty() || HoldsNul(text)) return std::nullopt;
  Parsed parsed;
  std::string_view rest;
  parsed.scheme = ReadScheme(text, rest);
  BookAddress& address = parsed.address;

  if (parsed.scheme == Scheme::kNone) {
    // A path as a user types it: the book's name is taken as written.
    const Split split = FindBook(text, false, isBook);
    if (!split.found) {
      address.book = std::string(text);
      return parsed;
    }
    parsed.split = true;
    address.book = split.book;
    std::string_view page = text.substr(split.rawPage);
    const std::size_t hash = page.find('#');
    if (hash != std::string_view::npos) {
      address.fragment = std::string(page.substr(hash + 1));
      page = page.substr(0, hash);
    }
    address.page = CanonicalObjectPath(page);
    return parsed;
  }

  if (parsed.scheme == Scheme::kOther) return std::nullopt;
  if (parsed.scheme == Scheme::kFile) {
    const std::optional<std::string_view> path = LocalFilePath(rest);
    if (!path) return std::nullopt;
    rest = *path;
  }
  const std::string_view url = CutUrl(rest, address.fragment);
  const Split split = FindBook(url, true, isBook);
  parsed.split = split.found;
  std::size_t page = split.rawPage;
  if (split.rawPage != std::string_view::npos) {
    address.book = split.book;
  } else if (split.firstSeparator != std::string_view::npos) {
    address.book = DecodeOnce(url.substr(0, split.firstSeparator));
    page = split.firstSeparator + 2;
  } else {
    address.book = DecodeOnce(url);
  }
  if (page != std::string_view::npos) address.page = CanonicalObjectPath(url.substr(page));
  if (address.book.empty()) return std::nullopt;
  return parsed;
}

}  // namespace

bool IsBookFile(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

std::optional<BookAddress> ParseBookAddress(std::string_view text, const BookFileTest& isBook) {
  std::optional<Parsed> parsed = Parse(text, isBook);
  if (!parsed) return std::nullopt;
  return std::move(parsed->address);
}

std::optional<BookAddress> ParseBookLink(std::string_view link, const BookFileTest& isBook) {
  std::optional<Parsed> parsed = Parse(link, isBook);
  if (!parsed || !(parsed->scheme == Scheme::kIts || (parsed->scheme == Scheme::kNone && parsed->split)))
    return std::nullopt;
  return std::move(parsed->address);
}

std::string FormatBookAddress(std::string_view bookPath, std::string_view inBookPath, std::string_view fragment) {
  // "ms-its://x" would make x a host: runs of '/' in the book's path are one.
  std::string book;
  for (char c : bookPath) {
    if (c != '/' || !book.ends_with('/')) book += c;
  }
  while (inBookPath.starts_with('/')) inBookPath.remove_prefix(1);
  std::string address = "ms-its:" + EncodeUrlPath(book) + "::/" + EncodeUrlPath(inBookPath);
  if (!fragment.empty()) address += "#" + EncodeUrlPath(fragment);
  return address;
}

BookRequest ResolveBookRequest(std::string_view url, const BookFileTest& isBook) {
  BookRequest request;
  std::string_view rest;
  if (ReadScheme(url, rest) != Scheme::kIts || HoldsNul(url)) return request;
  rest = CutUrl(rest, request.fragment);
  const Split split = FindBook(rest, true, isBook);
  if (split.found) {
    request.kind = BookRequest::Kind::kObject;
  } else if (split.rawPage != std::string_view::npos) {
    request.kind = BookRequest::Kind::kOtherBook;
  } else {
    request.kind = BookRequest::Kind::kOutsideBook;
    request.path = CanonicalObjectPath(rest);
    return request;
  }
  request.book = split.book;
  request.path = CanonicalObjectPath(rest.substr(split.rawPage));
  return request;
}

std::string EncodeUrlPath(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  constexpr std::string_view kKept = "-._~!$&()*+,=:@/";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (IsAlpha(c) || IsDigit(c) || kKept.find(c) != std::string_view::npos) {
      out += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

}  // namespace tessaly
