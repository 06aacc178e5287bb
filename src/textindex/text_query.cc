// Searching the page-text index: ranked matches with hits and snippets.
#include <algorithm>
#include <string>

#include "textindex/text_index.h"

namespace tessaly::textindex {

std::vector<TextHit> TextIndex::Search(const ParsedQuery& query, const SearchOptions& options) const {
  if (query.match.empty()) return {};
  // ORDER BY rank lets FTS5 sort; excerpts and hits are then made for the
  // rows returned only. A page named as the query is named comes first.
  std::string sql = options.rankOnly ? "SELECT title, path, 0, '', rank"
                                     : "SELECT title, path, hits(pages), excerpt(pages, ?2, ?3, ?4, ?5), rank";
  sql += " FROM pages WHERE pages MATCH ?1";
  for (std::size_t i = 0; i < options.onlyPaths.size(); ++i) {
    sql += (i == 0 ? " AND path IN (?" : ", ?") + std::to_string(8 + i);
  }
  if (!options.onlyPaths.empty()) sql += ")";
  sql += query.name ? " ORDER BY instr(keys, name_keys(?7)) > 0 DESC, rank LIMIT ?6" : " ORDER BY rank LIMIT ?6";
  Statement select(db_.get(), sql);
  select.Bind(1, query.match);
  if (query.name) select.Bind(7, *query.name);
  if (!options.rankOnly) {
    select.Bind(2, options.markOpen);
    select.Bind(3, options.markClose);
    select.Bind(4, options.ellipsis);
    select.Bind(5, static_cast<std::int64_t>(std::clamp(options.snippetWords, 1, 64)));
  }
  select.Bind(6, static_cast<std::int64_t>(options.limit));
  for (std::size_t i = 0; i < options.onlyPaths.size(); ++i) {
    select.Bind(static_cast<int>(8 + i), options.onlyPaths[i]);
  }
  std::vector<TextHit> hits;
  db_.Watch(options.cancel, options.timeout);
  try {
    while (select.Step()) {
      hits.push_back({std::string(select.Text(0)), std::string(select.Text(1)), static_cast<int>(select.Integer(2)),
                      std::string(select.Text(3)), select.Real(4)});
    }
  } catch (const TextIndexError& error) {
    if (error.kind() == TextIndexError::Kind::kInterrupted) {
      throw TextIndexError("The search was stopped: it took too long or was cancelled.", error.kind());
    }
    throw TextIndexError(std::string("The search could not be run. ") + error.what(), error.kind());
  }
  return hits;
}

std::vector<TextHit> TextIndex::Search(std::string_view query, const SearchOptions& options) const {
  return Search(ParseQuery(query), options);
}

}  // namespace tessaly::textindex
