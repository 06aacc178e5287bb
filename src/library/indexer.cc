// Indexing the books of the library: each content's page-text index built
// (or a sound kept one taken) on the workers, its keywords kept, and each
// book committed as it is done.
#include <mutex>

#include "base/book_error.h"
#include "base/utf8.h"
#include "book/book.h"
#include "library/book_facts.h"
#include "library/keywords.h"
#include "library/library.h"
#include "library/work.h"
#include "textindex/text_index.h"

namespace tessaly::library {

namespace {

using textindex::Statement;
using textindex::TextIndexError;

struct Pending {
  std::string sha256;
  std::string path;  // one book of that content
};

}  // namespace

IndexSummary Library::IndexPending(const TextConverter& converter, const WorkControl& control) {
  if (!indexFolder_) throw LibraryError("The library has no folder to keep page-text indexes in.");
  // An index that could only be built in memory would be lost at once.
  if (const std::string problem = textindex::PrepareIndexFolder(*indexFolder_); !problem.empty()) {
    throw LibraryError("The library's page-text indexes can't be kept: " + problem);
  }
  std::vector<Pending> pending;
  try {
    Statement rows(store_->Db(),
                   "SELECT sha256, min(path) FROM books WHERE state = 0 AND sha256 != '' AND indexed != ?1"
                   " GROUP BY sha256 ORDER BY min(path)");
    rows.Bind(1, static_cast<std::int64_t>(textindex::TextIndex::kSchemaVersion));
    while (rows.Step()) pending.push_back({std::string(rows.Text(0)), std::string(rows.Text(1))});
  } catch (const TextIndexError& error) {
    store_->Fail(error);
  }

  const textindex::IndexCache cache(*indexFolder_);
  IndexSummary summary;
  std::mutex lock;  // the store's connection and the summary
  const auto problem = [&](const Pending& book, const std::string& why) {
    const std::lock_guard<std::mutex> hold(lock);
    summary.problems.push_back(book.path + ": " + why);
  };
  RunUnits(
      pending.size(), control,
      [&](std::size_t i) {
        const Pending& unit = pending[i];
        // A book changed since it was found is left to the next rescan.
        std::string reason;
        if (HashOf(unit.path, reason) != unit.sha256) return problem(unit, "changed since it was found; rescan it");
        Book book;
        book.SetTextConverter(&converter);
        try {
          book.Open(unit.path);
          const textindex::CachedIndex index = cache.Open(book, converter, {nullptr, control.cancel});
          std::vector<KeywordRow> keywords = ReadKeywords(book, converter);
          const std::lock_guard<std::mutex> hold(lock);
          store_->Transaction([&] {
            SaveKeywords(store_->Db(), unit.sha256, keywords);
            Statement done(store_->Db(), "UPDATE books SET indexed = ?2 WHERE sha256 = ?1");
            done.Bind(1, unit.sha256);
            done.Bind(2, static_cast<std::int64_t>(textindex::TextIndex::kSchemaVersion));
            done.Step();
          });
          ++(index.fromCache ? summary.reused : summary.built);
        } catch (const textindex::BuildCancelled&) {
          // RunUnits reports the cancel.
        } catch (const TextIndexError& error) {
          problem(unit, error.what());
        } catch (const BookError& error) {
          const std::lock_guard<std::mutex> hold(lock);
          summary.problems.push_back(unit.path + ": " + error.Message());
          store_->Transaction([&] {
            Statement damaged(store_->Db(), "UPDATE books SET state = ?2, reason = ?3 WHERE sha256 = ?1");
            damaged.Bind(1, unit.sha256);
            damaged.Bind(2, static_cast<std::int64_t>(Readability::kDamaged));
            damaged.Bind(3, RepairUtf8(error.Message()));
            damaged.Step();
          });
        }
      },
      [&](std::size_t i) { return pending[i].path; });
  return summary;
}

}  // namespace tessaly::library
