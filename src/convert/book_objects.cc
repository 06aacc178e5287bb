#include "convert/book_objects.h"

#include <unordered_set>

#include "base/book_path.h"
#include "base/text.h"
#include "base/text_converter.h"
#include "book/book.h"
#include "pages/pages.h"

namespace tessaly::convert {

namespace {

std::string Folded(std::string_view text) {
  std::string folded(text);
  LowerCaseInPlace(folded);
  return folded;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// Schemes whose addresses leave the book for the web or mail.
bool IsWebAddress(std::string_view reference) {
  for (std::string_view scheme : {"http:", "https:", "ftp:", "mailto:"}) {
    if (StartsWithNoCase(reference, scheme)) return true;
  }
  return false;
}

// True when the reference names a scheme (text before a ':' that comes before
// any separator; "Class::Member.htm" names a page) or a host.
bool HasSchemeOrHost(std::string_view reference) {
  if (reference.starts_with("//") || reference.starts_with("\\\\")) return true;
  const std::size_t colon = reference.find(':');
  return colon != std::string_view::npos && colon < reference.find_first_of("/\\?#") &&
         reference.substr(colon, 2) != "::";
}

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\f";
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

}  // namespace

bool IsContainerRecord(std::string_view name) {
  if (!name.starts_with('/')) return true;
  name.remove_prefix(1);
  if (name.empty() || name.ends_with('/')) return true;
  if (!name.starts_with('#') && !name.starts_with('$')) return false;
  const std::size_t slash = name.find('/');
  const std::string_view first = name.substr(0, slash);
  return slash != std::string_view::npos || first.find('.') == std::string_view::npos;
}

BookObjects::BookObjects(const Book& book, const TextConverter& converter) : book_(book), converter_(converter) {
  std::string_view file = book.FileName();
  file = file.substr(file.rfind('/') + 1);
  bookFileName_ = Folded(file);

  for (std::size_t i = 0; i < book.EntryCount(); ++i) {
    const DirectoryEntry entry = book.Entry(i);
    if (IsContainerRecord(entry.name)) continue;
    std::string name(entry.name.substr(1));
    if (name.find('\0') != std::string::npos) continue;
    const std::size_t index = objects_.size();
    byName_.emplace(Folded(name), index);  // the first of two names that fold alike wins, as in the book
    byEntry_.emplace(entry.index, index);
    objects_.push_back({std::move(name), entry.index, entry.length, IsHtmlPage(entry.name)});
  }

  std::unordered_set<std::size_t> placed;
  ForEachTocNode(book.Contents().root, [&](const TocNode& node, int) {
    const Target target = ResolveBookPath(node.local);
    if (target.kind == Target::Kind::kObject && objects_[target.object].page && placed.insert(target.object).second)
      order_.push_back(target.object);
  });
  for (std::size_t i = 0; i < objects_.size(); ++i) {
    if (objects_[i].page && placed.insert(i).second) order_.push_back(i);
  }
}

std::optional<std::size_t> BookObjects::Find(std::string_view path) const {
  const auto found = byName_.find(Folded(path));
  if (found == byName_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::size_t> BookObjects::ForEntry(std::uint32_t entry) const {
  const auto found = byEntry_.find(entry);
  if (found == byEntry_.end()) return std::nullopt;
  return found->second;
}

Target BookObjects::Lookup(std::string path) const {
  Target target;
  // A name that holds a '#' of its own is found whole.
  if (path.find('#') != std::string::npos && path.size() <= kMaxBookPath) {
    std::string whole = path;
    NormalizeBookPath(whole);
    if (std::optional<std::size_t> object = Find(whole)) {
      target.kind = Target::Kind::kObject;
      target.object = *object;
      return target;
    }
  }
  const std::size_t hash = path.find('#');
  if (hash != std::string::npos) {
    target.fragment = path.substr(hash + 1);
    path.resize(hash);
  }
  const std::size_t query = path.find('?');
  if (query != std::string::npos) path.resize(query);
  if (path.size() > kMaxBookPath) return target;
  NormalizeBookPath(path);
  if (path.empty()) return target;
  if (std::optional<std::size_t> object = Find(path)) {
    target.kind = Target::Kind::kObject;
    target.object = *object;
  }
  return target;
}

Target BookObjects::Resolve(std::size_t from, std::string_view reference) const {
  reference = Trimmed(reference);
  // A link into a book (pages/pages.h): "ms-its:NAME.chm::/path",
  // "mk:@MSITStore:NAME.chm::/path", or "NAME.chm::/path" where NAME is this
  // book; one into another book leads nowhere the output holds.
  const BookFileTest isThisBook = [&](const std::string& name) {
    return Folded(std::string_view(name).substr(name.find_last_of("/\\") + 1)) == bookFileName_;
  };
  if (std::optional<BookAddress> link = ParseBookLink(reference, isThisBook)) {
    Target target;
    if (!isThisBook(link->book)) return target;
    if (std::optional<std::size_t> object = Find(link->page)) {
      target.kind = Target::Kind::kObject;
      target.object = *object;
      target.fragment = std::move(link->fragment);
    }
    return target;
  }
  if (IsWebAddress(reference)) {
    Target target;
    target.kind = Target::Kind::kExternal;
    target.address = std::string(reference);
    return target;
  }
  if (HasSchemeOrHost(reference)) return {};  // javascript:, file:, c:, //host
  const std::string& name = objects_[from].name;
  if (reference.empty() || reference.starts_with('#')) {
    Target target = Lookup(name);
    if (!reference.empty()) target.fragment = std::string(reference.substr(1));
    return target;
  }
  if (reference.starts_with('/') || reference.starts_with('\\')) return Lookup(std::string(reference));
  return Lookup(name.substr(0, name.rfind('/') + 1) + std::string(reference));
}

Target BookObjects::ResolveBookPath(std::string_view local) const {
  if (local.empty()) return {};
  Target target = Lookup(std::string(local));
  if (target.kind == Target::Kind::kObject) return target;
  std::optional<std::string> utf8 = converter_.ToUtf8(local, book_.CodePage());
  if (utf8 && *utf8 != local) return Lookup(*utf8);
  return target;
}

}  // namespace tessaly::convert
