#include "base/sitemap_scanner.h"

#include <algorithm>
#include <cstring>

#include "base/book_error.h"
#include "base/text.h"

namespace tessaly {

namespace {

constexpr std::string_view kCommentOpen = "!--";  // after the '<'
constexpr std::string_view kCommentClose = "-->";

// A tag's text ends at its first NUL, as it always has for the reader.
std::string_view UpToNul(std::string_view text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// When the bytes at cursor (just after a '<') open an HTML comment that is
// closed later on, returns the position just after its "-->"; otherwise
// null. An unclosed "<!--" is left to the ordinary tag rules.
const char* SkipComment(const char* cursor, const char* end) {
  const auto left = static_cast<std::size_t>(end - cursor);
  if (left < kCommentOpen.size() || std::memcmp(cursor, kCommentOpen.data(), kCommentOpen.size()) != 0) {
    return nullptr;
  }
  const char* body = cursor + kCommentOpen.size();
  const char* close = std::search(body, end, kCommentClose.begin(), kCommentClose.end());
  return close == end ? nullptr : close + kCommentClose.size();
}

// The bytes that the search for '=' after an attribute name passes over:
// the set that TrimLinkText strips from the front of a text.
bool IsLinkTrimByte(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\'' || c == ';' || c == '/';
}

// Skipped before a value starts.
bool IsValueLead(char c) { return c == '=' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '['; }

// End an unquoted value (and are not part of it).
bool EndsUnquotedValue(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == ';' || c == ',' || c == ']';
}

}  // namespace

void SitemapScanner::NextTag(const char*& cursor, const char* end, std::string& tag) {
  tag.clear();
  bool inTag = false;
  // Inside a tag, every '"' flips this; between an odd and the next quote
  // '<' and '>' are plain text (markup in an attribute value).
  bool inQuotes = false;

  while (cursor < end) {
    const char c = *cursor++;
    if (!inTag) {
      if (c == '<') {
        if (const char* after = SkipComment(cursor, end)) {
          cursor = after;
          continue;
        }
        inTag = true;
        inQuotes = false;
      } else if (c == '>') {
        RaiseBookError("Incorrect tag format (missing '<' char):\n%s.", tag.c_str());
      }
      continue;
    }

    if (c == '"') {
      inQuotes = !inQuotes;
    } else if (!inQuotes && c == '<') {
      // "<<" stands for a literal '<'; a lone one means a tag was not closed.
      if (cursor < end && *cursor == '<') {
        ++cursor;
      } else {
        RaiseBookError("Incorrect tag format (double '<' char):\n%s.", tag.c_str());
      }
    } else if (!inQuotes && c == '>') {
      if (cursor < end && *cursor == '>') {
        ++cursor;
      } else {
        return;  // the tag is complete
      }
    }
    if (tag.size() >= kMaxTag) RaiseBookError("Tag is too long:\n<%.50s...>", tag.c_str());
    tag.push_back(c);
  }
}

std::optional<std::size_t> SitemapScanner::AttributeValue(std::string_view tag, std::string_view name,
                                                          std::string& out, std::size_t outSize) {
  out.clear();
  tag = UpToNul(tag);
  std::string lower(tag);
  LowerCaseInPlace(lower);

  // Find an occurrence of the name that is followed by '=' (after spaces,
  // quotes and the like); the word "value" inside some other attribute's
  // text is passed over.
  std::size_t at = 0;
  std::size_t from = 0;
  for (;;) {
    at = lower.find(name, from);
    if (at == std::string::npos) return std::nullopt;
    std::size_t next = at + name.size();
    while (next < lower.size() && IsLinkTrimByte(lower[next])) ++next;
    if (next < lower.size() && lower[next] == '=') break;
    from = at + name.size();
  }

  std::string value;
  auto keep = [&value](char c) {
    if (value.size() < kMaxValue) value.push_back(c);
  };
  enum class State { kBefore, kQuoted, kUnquoted };
  State state = State::kBefore;
  std::size_t i = at + name.size();
  for (; i < tag.size(); ++i) {
    const char c = tag[i];
    if (state == State::kBefore) {
      if (c == ',') break;  // an empty value
      if (IsValueLead(c)) continue;
      if (c == '"') {
        state = State::kQuoted;
        continue;
      }
      state = State::kUnquoted;
      keep(c);
    } else if (state == State::kQuoted) {
      if (c == '"') {
        ++i;  // the closing quote belongs to the value
        break;
      }
      keep(c);
    } else {
      if (EndsUnquotedValue(c)) break;
      keep(c);
    }
  }

  DecodeEntities(value);
  if (outSize > 0) out.assign(value, 0, std::min(value.size(), outSize - 1));
  return i;
}

}  // namespace tessaly
