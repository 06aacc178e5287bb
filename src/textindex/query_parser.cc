#include "textindex/text_index.h"

#include <algorithm>

namespace tessaly::textindex {

namespace {

struct Item {
  std::string text;
  bool phrase = false;
  bool prefix = false;
};

bool IsSpace(std::string_view query, std::size_t at, std::size_t* length) {
  const char c = query[at];
  if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
    *length = 1;
    return true;
  }
  if (query.compare(at, 3, "\xE3\x80\x80") == 0) {  // U+3000, the ideographic space of CJK input
    *length = 3;
    return true;
  }
  return false;
}

// Something a tokenizer can make a word of: an ASCII letter or digit, or any
// character beyond ASCII.
bool HasWordCharacter(std::string_view text) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  }
  return false;
}

// The item as an FTS5 string: in double quotes, each quote inside doubled.
std::string Quoted(const Item& item) {
  std::string out = "\"";
  for (char c : item.text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  if (item.prefix) out += " *";
  return out;
}

}  // namespace

ParsedQuery ParseQuery(std::string_view query) {
  if (query.size() > kMaxQueryBytes) {
    throw QueryError("The search is too long: at most " + std::to_string(kMaxQueryBytes) + " bytes.");
  }
  std::vector<std::vector<Item>> groups;  // all must match; each one of its items
  std::vector<Item> excluded;
  bool orPending = false;
  std::size_t count = 0;
  std::size_t at = 0;
  std::size_t space = 0;
  while (at < query.size()) {
    if (IsSpace(query, at, &space)) {
      at += space;
      continue;
    }
    bool exclude = false;
    if (query[at] == '-' && at + 1 < query.size() && !IsSpace(query, at + 1, &space)) {
      exclude = true;
      ++at;
    }
    Item item;
    if (query[at] == '"') {
      const std::size_t close = query.find('"', at + 1);
      if (close == std::string_view::npos) {
        throw QueryError("The quotation mark before \"" + std::string(query.substr(at + 1)) + "\" is not closed.");
      }
      item.text = query.substr(at + 1, close - at - 1);
      item.phrase = true;
      at = close + 1;
      for (; at < query.size() && query[at] == '*'; ++at) item.prefix = true;
    } else {
      const std::size_t start = at;
      while (at < query.size() && query[at] != '"' && !IsSpace(query, at, &space)) ++at;
      item.text = query.substr(start, at - start);
      if (!exclude && item.text == "OR") {
        // An OR without a word before it joins nothing: it is dropped.
        orPending = !groups.empty();
        continue;
      }
      while (!item.text.empty() && item.text.back() == '*') {
        item.text.pop_back();
        item.prefix = true;
      }
    }
    for (char& c : item.text) {
      if (c == '\0') c = ' ';
    }
    if (!HasWordCharacter(item.text)) continue;  // punctuation alone finds nothing
    if (++count > kMaxQueryTerms) {
      throw QueryError("The search has too many words: at most " + std::to_string(kMaxQueryTerms) + ".");
    }
    if (exclude) {
      orPending = false;  // OR joins no word that is left out
      excluded.push_back(std::move(item));
    } else if (orPending) {
      groups.back().push_back(std::move(item));
      orPending = false;
    } else {
      groups.push_back({std::move(item)});
    }
  }
  if (groups.empty()) return {};  // nothing to find: it finds nothing

  ParsedQuery parsed;
  std::string all;
  for (const std::vector<Item>& group : groups) {
    std::string alternatives;
    for (const Item& item : group) {
      if (!alternatives.empty()) alternatives += " OR ";
      alternatives += Quoted(item);
      parsed.terms.push_back(item.text);
    }
    if (!all.empty()) all += " AND ";
    all += "(" + alternatives + ")";
  }
  parsed.match = "(" + all + ")";
  for (const Item& item : excluded) parsed.match += " NOT " + Quoted(item);
  const bool plain = excluded.empty() && std::all_of(groups.begin(), groups.end(), [](const std::vector<Item>& group) {
    return group.size() == 1 && !group.front().prefix;
  });
  if (plain) {
    parsed.name.emplace();
    for (const std::string& term : parsed.terms) *parsed.name += (parsed.name->empty() ? "" : " ") + term;
    std::replace(parsed.name->begin(), parsed.name->end(), '\n', ' ');
  }
  const Item& first = groups.front().front();
  if (groups.size() == 1 && groups.front().size() == 1 && excluded.empty() && !first.phrase && !first.prefix) {
    parsed.singleWord = first.text;
  }
  return parsed;
}

}  // namespace tessaly::textindex
