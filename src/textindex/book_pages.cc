#include "textindex/book_pages.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "base/book_path.h"
#include "base/text.h"
#include "book/book.h"
#include "helpdata/topic_table.h"
#include "textindex/page_text.h"
#include "textindex/utf8_text.h"

namespace tessaly::textindex {

namespace {

// A stored name or a topic's path in canonical form without its fragment.
std::string Canonical(std::string_view name) {
  std::string path(name.substr(0, kMaxBookPath));
  NormalizeBookPath(path);
  const std::size_t fragment = path.find('#');
  if (fragment != std::string::npos) path.resize(fragment);
  return path;
}

std::string Key(std::string path) {
  LowerCaseInPlace(path);
  return path;
}

// Book text in UTF-8. Text that is well-formed UTF-8 beyond ASCII is taken
// as UTF-8 (a compiler copied it from a UTF-8 page), as pages are.
std::string Utf8(const TextConverter& converter, std::string_view text, int codePage) {
  if (LooksLikeUtf8(text)) return std::string(text);
  std::optional<std::string> converted = converter.ToUtf8(text, codePage);
  return converted ? std::move(*converted) : std::string(text);
}

struct Slot {
  std::string title;
  std::string path;
  std::optional<PageText> page;
};

}  // namespace

BookPages ReadBookPages(const Book& book, const TextConverter& converter, const BuildControl& control, int first,
                        int last) {
  const int codePage = book.CodePage();
  std::vector<Slot> slots;
  std::unordered_map<std::string, std::size_t> byKey;

  // Topic paths are in the book's code page, stored names in UTF-8 (in real
  // books): a topic is found under either form.
  const TopicTable& topics = book.Topics();
  static constexpr std::string_view kNoTitle = "Untitled topic";
  for (std::int32_t t = 0; t < topics.Count(); ++t) {
    const std::optional<std::string_view> stored = topics.Path(t);
    if (!stored) continue;
    const std::string path = Canonical(*stored);
    if (!IsHtmlPage(path)) continue;
    const std::string utf8Path = Utf8(converter, path, codePage);
    if (byKey.contains(Key(utf8Path)) || byKey.contains(Key(path))) continue;
    const std::string_view title = topics.Title(t);
    // Compilers store the title as the page wrote it, references and all.
    std::string text = title == kNoTitle ? std::string() : HtmlToText(Utf8(converter, title, codePage)).text;
    slots.push_back({std::move(text), utf8Path, std::nullopt});
    byKey.emplace(Key(utf8Path), slots.size() - 1);
    byKey.emplace(Key(path), slots.size() - 1);
  }
  const bool fromTopics = !slots.empty();
  std::size_t expected = slots.size();
  if (!fromTopics) {
    for (const DirectoryEntry& entry : book.File().entries) expected += IsHtmlPage(Canonical(entry.name)) ? 1 : 0;
  }

  std::size_t done = 0;
  int reported = -1;
  const auto step = [&] {
    ++done;
    if (!control.progress || expected == 0) return;
    const int percent = first + static_cast<int>((last - first) * std::min(done, expected) / expected);
    if (percent != reported) control.progress(reported = percent);
  };
  BookPages result;
  // Finds the slot of a stored object, adding one for an HTML object when
  // the topics named no page; null when the object is no page to read.
  const auto slotOf = [&](const DirectoryEntry& entry) -> Slot* {
    if (control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed)) throw BuildCancelled();
    const std::string path = Canonical(entry.name);
    const auto found = byKey.find(Key(path));
    if (found != byKey.end()) {
      Slot& slot = slots[found->second];
      return slot.page ? nullptr : &slot;  // a second object under the same name
    }
    if (fromTopics || !IsHtmlPage(path)) return nullptr;
    slots.push_back({std::string(), path, std::nullopt});
    byKey.emplace(Key(path), slots.size() - 1);
    return &slots.back();
  };
  book.ReadAllObjects(
      [&](const DirectoryEntry& entry, std::span<const std::uint8_t> bytes) {
        Slot* slot = slotOf(entry);
        if (slot == nullptr) return;
        slot->page = ExtractPageText(bytes, codePage, converter);
        step();
      },
      [&](const DirectoryEntry& entry, const BookError&) {
        if (slotOf(entry) != nullptr) step();  // counted below, as a page without text
      });

  result.pages.reserve(slots.size());
  for (Slot& slot : slots) {
    if (!slot.page) {
      ++result.unreadable;
      continue;
    }
    BookPage page;
    page.title = !slot.title.empty() ? std::move(slot.title) : !slot.page->title.empty() ? slot.page->title : slot.path;
    page.path = std::move(slot.path);
    page.text = std::move(slot.page->text);
    page.decoding = slot.page->decoding;
    result.pages.push_back(std::move(page));
  }
  if (control.progress) control.progress(last);
  return result;
}

}  // namespace tessaly::textindex
