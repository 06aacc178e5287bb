// Rescans: which books of the folders and of the books added alone are new,
// changed or gone, and what the store keeps of them.
#include <sys/stat.h>

#include <map>
#include <set>

#include "library/book_facts.h"
#include "library/library.h"
#include "library/scan.h"
#include "library/store.h"
#include "library/work.h"

namespace tessaly::library {

namespace {

using textindex::Statement;
using textindex::TextIndexError;

struct Known {
  std::int64_t id = 0;
  std::uint64_t size = 0;
  std::int64_t mtime = 0;
  std::string sha256;
};

// A file to read: new, or changed in size or time.
struct Candidate {
  FoundFile file;
  std::string folder;  // for a new book; empty: added alone
  const Known* known = nullptr;
  BookFacts facts;
  bool sameContent = false;  // only its time or size record changed
};

std::map<std::string, Known> KnownBooks(sqlite3* db) {
  Statement rows(db, "SELECT path, id, size, mtime, sha256 FROM books");
  std::map<std::string, Known> known;
  while (rows.Step()) {
    known[std::string(rows.Text(0))] = {rows.Integer(1), static_cast<std::uint64_t>(rows.Integer(2)),
                                        rows.Integer(3), std::string(rows.Text(4))};
  }
  return known;
}

void Save(sqlite3* db, const Candidate& c) {
  if (c.sameContent) {
    Statement touch(db, "UPDATE books SET size = ?2, mtime = ?3 WHERE id = ?1");
    touch.Bind(1, c.known->id);
    touch.Bind(2, static_cast<std::int64_t>(c.file.size));
    touch.Bind(3, c.file.mtime);
    touch.Step();
    return;
  }
  // A content indexed already (another copy) stays indexed.
  Statement save(db,
                 "INSERT INTO books(path, folder, size, mtime, sha256, title, language, state, reason, indexed)"
                 " VALUES(?1, nullif(?2, ''), ?3, ?4, ?5, ?6, ?7, ?8, ?9,"
                 "  ifnull((SELECT indexed FROM books WHERE sha256 = ?5 AND sha256 != '' AND indexed > 0 LIMIT 1), 0))"
                 " ON CONFLICT(path) DO UPDATE SET size = excluded.size, mtime = excluded.mtime,"
                 "  sha256 = excluded.sha256, title = excluded.title, language = excluded.language,"
                 "  state = excluded.state, reason = excluded.reason, indexed = excluded.indexed");
  save.Bind(1, c.file.path);
  save.Bind(2, c.folder);
  save.Bind(3, static_cast<std::int64_t>(c.file.size));
  save.Bind(4, c.file.mtime);
  save.Bind(5, c.facts.sha256);
  save.Bind(6, c.facts.title);
  save.Bind(7, static_cast<std::int64_t>(c.facts.languageId));
  save.Bind(8, static_cast<std::int64_t>(c.facts.readability));
  save.Bind(9, c.facts.reason);
  save.Step();
}

}  // namespace

RescanResult Library::Rescan(const TextConverter& converter, const WorkControl& control) {
  std::vector<std::string> alone;
  try {
    Statement rows(store_->Db(), "SELECT path FROM books WHERE folder IS NULL");
    while (rows.Step()) alone.emplace_back(rows.Text(0));
  } catch (const TextIndexError& error) {
    store_->Fail(error);
  }
  return RescanFiles(Folders(), alone, converter, control);
}

RescanResult Library::Rescan(const std::filesystem::path& folderOrBook, const TextConverter& converter,
                             const WorkControl& control) {
  const std::string path = LibraryPath(folderOrBook);
  // The added folder that holds the path (a monitor may name a folder inside it).
  for (const std::string& folder : Folders()) {
    if (path == folder || (path.starts_with(folder) && path[folder.size()] == '/')) {
      return RescanFiles({folder}, {}, converter, control);
    }
  }
  try {
    Statement known(store_->Db(), "SELECT 1 FROM books WHERE path = ?1");
    known.Bind(1, path);
    if (!known.Step()) return {};  // not a book of the library
  } catch (const TextIndexError& error) {
    store_->Fail(error);
  }
  return RescanFiles({}, {path}, converter, control);
}

RescanResult Library::RescanFiles(const std::vector<std::string>& folders, const std::vector<std::string>& books,
                                  const TextConverter& converter, const WorkControl& control) {
  std::map<std::string, Known> known;
  std::map<std::string, std::string> inFolder;  // path -> folder, of the books the store files under a folder
  try {
    known = KnownBooks(store_->Db());
    Statement rows(store_->Db(), "SELECT path, folder FROM books WHERE folder IS NOT NULL");
    while (rows.Step()) inFolder[std::string(rows.Text(0))] = rows.Text(1);
  } catch (const TextIndexError& error) {
    store_->Fail(error);
  }

  RescanResult result;
  std::vector<Candidate> candidates;
  std::set<std::string> seen;
  const auto look = [&](const FoundFile& file, const std::string& folder) {
    if (!seen.insert(file.path).second) return;
    const auto at = known.find(file.path);
    if (at != known.end() && at->second.size == file.size && at->second.mtime == file.mtime) {
      ++result.unchanged;
      return;
    }
    candidates.push_back({file, folder, at != known.end() ? &at->second : nullptr, {}, false});
  };
  for (const std::string& folder : folders) {
    for (const FoundFile& file : FindBooks(folder)) look(file, folder);
  }
  for (const std::string& path : books) {
    FoundFile file;
    if (StatFile(path, file)) look(file, {});
  }
  std::vector<std::string> gone;
  for (const auto& [path, folder] : inFolder) {
    if (!seen.contains(path) && std::find(folders.begin(), folders.end(), folder) != folders.end()) {
      gone.push_back(path);
    }
  }
  for (const std::string& path : books) {
    if (!seen.contains(path) && known.contains(path)) gone.push_back(path);
  }

  // Reading the new and changed books is the long part: on the workers.
  RunUnits(
      candidates.size(), control,
      [&](std::size_t i) {
        Candidate& c = candidates[i];
        std::string reason;
        std::string sha256 = HashOf(c.file.path, reason);
        if (c.known != nullptr && !sha256.empty() && sha256 == c.known->sha256) {
          c.sameContent = true;
          return;
        }
        if (sha256.empty()) {
          c.facts = {{}, std::filesystem::path(c.file.path).stem().string(), 0, Readability::kUnreadable, reason};
        } else {
          c.facts = ReadFacts(c.file.path, std::move(sha256), converter);
        }
      },
      [&](std::size_t i) { return candidates[i].file.path; });

  store_->Transaction([&] {
    for (const Candidate& c : candidates) {
      Save(store_->Db(), c);
      if (c.sameContent) ++result.unchanged;
      else (c.known != nullptr ? result.changed : result.added).push_back(c.file.path);
    }
    Statement drop(store_->Db(), "DELETE FROM books WHERE path = ?1");
    for (const std::string& path : gone) {
      drop.Bind(1, path);
      drop.Step();
      drop.Reset();
      result.removed.push_back(path);
    }
    if (!gone.empty() || !result.changed.empty()) {
      textindex::Execute(store_->Db(), "DELETE FROM keywords WHERE sha256 NOT IN (SELECT sha256 FROM books)");
    }
  });
  return result;
}

}  // namespace tessaly::library
