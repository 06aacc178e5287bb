#include "convert/book_lists.h"

#include <algorithm>

#include "base/book_error.h"
#include "book/book.h"
#include "convert/page_reading.h"

namespace tessaly::convert {

std::string EscapeMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control bytes have no place in markup (nor in XML at all).
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') out += c;
        else out += ' ';
    }
  }
  return out;
}

void NestedList::Add(int depth, std::string_view itemMarkup) {
  depth = std::clamp(depth, 0, kMaxListDepth - 1);
  depth = std::min<int>(depth, static_cast<int>(open_.size()));  // no level is skipped
  while (static_cast<int>(open_.size()) > depth + 1) {
    out_ += "</li></" + tag_ + ">";
    open_.pop_back();
  }
  if (static_cast<int>(open_.size()) == depth) {
    out_ += "<" + tag_ + ">";
    open_.push_back(false);
  }
  if (open_.back()) out_ += "</li>";
  out_ += "<li>";
  out_ += itemMarkup;
  open_.back() = true;
}

std::string NestedList::Finish() {
  while (!open_.empty()) {
    if (open_.back()) out_ += "</li>";
    out_ += "</" + tag_ + ">";
    open_.pop_back();
  }
  return std::move(out_);
}

std::string EntryMarkup(std::string_view name, const std::optional<std::string>& href, std::string_view fallback) {
  const std::string text = EscapeMarkup(name.empty() ? fallback : name);
  if (!href) return "<span>" + text + "</span>";
  return "<a href=\"" + EscapeMarkup(*href) + "\">" + text + "</a>";
}

std::string ContentsList(const Book& book, const TextConverter& converter, const BookObjects& objects,
                         std::string_view tag, const EntryLink& link) {
  NestedList list(tag);
  ForEachTocNode(book.Contents().root, [&](const TocNode& node, int depth) {
    const std::string name = BookTextUtf8(book, converter, node.name);
    const std::string path = BookTextUtf8(book, converter, node.local);
    list.Add(depth, EntryMarkup(name, link(objects.ResolveBookPath(node.local)), path.empty() ? "-" : path));
  });
  return list.Finish();
}

std::string KeywordList(const Book& book, const TextConverter& converter, const BookObjects& objects,
                        const EntryLink& link, ConvertReport& report) {
  if (book.IndexFileName().empty()) return {};
  try {
    book.BuildKeywordIndex();
  } catch (const BookError& error) {
    report.warnings.push_back("keyword index: " + error.Message());
  }
  NestedList list("ul");
  ForEachIndexEntry(book.KeywordIndex(), [&](const IndexEntry& entry, int depth) {
    const std::string name = BookTextUtf8(book, converter, entry.name);
    const IndexTarget* only = entry.targets.Count() == 1 ? entry.targets.Get(0) : nullptr;
    if (only != nullptr) {
      list.Add(depth, EntryMarkup(name, link(objects.ResolveBookPath(only->local)), "-"));
      return;
    }
    std::string item = EscapeMarkup(name.empty() ? "-" : name);
    if (entry.targets.Count() > 1) {
      NestedList targets("ul");
      for (std::int32_t i = 0; i < entry.targets.Count(); ++i) {
        const IndexTarget* target = entry.targets.Get(i);
        if (target == nullptr) continue;
        targets.Add(0, EntryMarkup(BookTextUtf8(book, converter, target->name),
                                   link(objects.ResolveBookPath(target->local)), name.empty() ? "-" : name));
      }
      item += targets.Finish();
    }
    list.Add(depth, item);
  });
  return list.Finish();
}

}  // namespace tessaly::convert
