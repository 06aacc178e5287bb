// How well the page-text search finds the page a reader means, judged by
// what the books' authors wrote themselves: a keyword of a book's own index
// (a sub-keyword under its parent's name and its own), searched as a phrase, should bring one of the pages the index lists for it
// to the top; a contents entry's name should bring its page. Over every
// corpus book: keywords and contents entries naming at most five pages,
// sampled with a fixed seed, pages the book holds only; MRR@10 (the mean of 1/rank of the first right
// page in the first ten, 0 when none) per book and overall.
// Goal: at least 0.9 by the index and 0.95 by the contents.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/book_path.h"
#include "base/text.h"
#include "base/utf8.h"
#include "book/book.h"
#include "codec/codec.h"
#include "textindex/text_index.h"

namespace tessaly::textindex {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kSamples = 60;  // of each kind, per book
constexpr std::size_t kMaxPages = 5;

struct Judgement {
  std::string query;            // a phrase
  std::set<std::string> pages;  // keys of the right pages
};

std::string Utf8(const IconvCodec& codec, std::string_view text, int codePage) {
  if (LooksLikeUtf8(text)) return std::string(text);
  return codec.ToUtf8(text, codePage).value_or(std::string(text));
}

std::string Key(std::string path) {
  path.resize(std::min(path.size(), kMaxBookPath));
  NormalizeBookPath(path);
  path = path.substr(0, path.find('#'));
  LowerCaseInPlace(path);
  return path;
}

std::string Phrase(std::string name) {
  std::erase(name, '"');
  return "\"" + name + "\"";
}

// Up to kSamples judgements, drawn with a fixed seed.
std::vector<Judgement> Sample(std::vector<Judgement> all, unsigned seed) {
  std::erase_if(all, [](const Judgement& j) {
    return j.pages.empty() || j.pages.size() > kMaxPages || j.query.find_first_not_of("\" ") == std::string::npos;
  });
  std::mt19937 random(seed);
  std::shuffle(all.begin(), all.end(), random);
  if (all.size() > kSamples) all.resize(kSamples);
  return all;
}

std::vector<Judgement> ByKeywords(const Book& book, const IconvCodec& codec) {
  std::vector<Judgement> out;
  try {
    book.BuildKeywordIndex();
  } catch (const BookError&) {
  }
  // A sub-keyword is searched under its full name: its parent's, then its own.
  std::vector<std::pair<const IndexEntry*, std::string>> stack = {{&book.KeywordIndex(), std::string()}};
  while (!stack.empty()) {
    const auto [entry, name] = std::move(stack.back());
    stack.pop_back();
    for (const IndexEntry* child : entry->children) {
      if (child != nullptr) stack.emplace_back(child, name.empty() ? child->name : name + " " + child->name);
    }
    if (name.empty()) continue;
    Judgement j{Phrase(Utf8(codec, name, book.CodePage())), {}};
    for (const IndexTarget* target : entry->targets) {
      if (target != nullptr && IsHtmlPage(Key(target->local)) && book.HasObject(target->local)) {
        j.pages.insert(Key(Utf8(codec, target->local, book.CodePage())));
      }
    }
    out.push_back(std::move(j));
  }
  return out;
}

std::vector<Judgement> ByContents(const Book& book, const IconvCodec& codec) {
  std::vector<Judgement> out;
  ForEachTocNode(book.Contents().root, [&](const TocNode& node, int) {
    if (node.name.empty() || !IsHtmlPage(Key(node.local)) || !book.HasObject(node.local)) return;
    out.push_back({Phrase(Utf8(codec, node.name, book.CodePage())), {Key(Utf8(codec, node.local, book.CodePage()))}});
  });
  return out;
}

// MRR@10 of the judgements, and how many there were.
std::pair<double, std::size_t> Judge(const TextIndex& index, const std::vector<Judgement>& judgements) {
  double sum = 0;
  SearchOptions options;
  options.limit = 10;
  for (const Judgement& j : judgements) {
    const std::vector<TextHit> hits = index.Search(j.query, options);
    for (std::size_t rank = 0; rank < hits.size(); ++rank) {
      if (j.pages.contains(Key(hits[rank].path))) {
        sum += 1.0 / static_cast<double>(rank + 1);
        break;
      }
    }
  }
  return {judgements.empty() ? 0 : sum / static_cast<double>(judgements.size()), judgements.size()};
}

}  // namespace
}  // namespace tessaly::textindex

int main(int argc, char** argv) {
  using namespace tessaly;
  using namespace tessaly::textindex;
  const fs::path corpus = argc > 1 ? fs::path(argv[1]) : fs::path(TESSALY_CORPUS) / "files";
  std::vector<fs::path> books;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() == ".chm") books.push_back(entry.path());
  }
  std::sort(books.begin(), books.end());
  IconvCodec codec;
  double indexSum = 0, contentsSum = 0;
  std::size_t indexCount = 0, contentsCount = 0;
  std::printf("%-60s %6s %5s %6s %5s\n", "book", "index", "n", "toc", "n");
  for (const fs::path& path : books) {
    Book book;
    book.SetTextConverter(&codec);
    try {
      book.Open(path.string());
      TextIndex index = TextIndex::Create(":memory:");
      index.Build(book, codec, "judge");
      const auto [byIndex, n1] = Judge(index, Sample(ByKeywords(book, codec), 1));
      const auto [byContents, n2] = Judge(index, Sample(ByContents(book, codec), 2));
      std::printf("%-60.60s %6.3f %5zu %6.3f %5zu\n", path.filename().c_str(), byIndex, n1, byContents, n2);
      indexSum += byIndex * static_cast<double>(n1);
      indexCount += n1;
      contentsSum += byContents * static_cast<double>(n2);
      contentsCount += n2;
    } catch (const std::exception& error) {
      std::printf("%-60.60s skipped: %s\n", path.filename().c_str(), error.what());
    }
  }
  std::printf("%-60s %6.3f %5zu %6.3f %5zu\n", "overall (MRR@10, judgements)", indexCount ? indexSum / indexCount : 0,
              indexCount, contentsCount ? contentsSum / contentsCount : 0, contentsCount);
}
