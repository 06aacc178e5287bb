// Searching the page-text index: ranked matches with hits and snippets.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "textindex/text_index.h"

namespace tessaly::textindex {

namespace {

// " AND rowid [NOT] IN (1, 2, ...)": the rows are the index's own numbers.
std::string Rows(const std::vector<std::int64_t>& rows, bool in) {
  std::string sql = in ? " AND rowid IN (" : " AND rowid NOT IN (";
  for (std::size_t i = 0; i < rows.size(); ++i) sql += (i == 0 ? "" : ", ") + std::to_string(rows[i]);
  return sql + ")";
}

}  // namespace

std::vector<TextHit> TextIndex::Search(const ParsedQuery& query, const SearchOptions& options) const {
  if (query.match.empty() || options.limit <= 0) return {};
  db_.Watch(options.cancel, options.timeout);
  std::vector<TextHit> hits;
  try {
    // A page named as the query is named comes first. Its names are in its
    // title or names, so only the pages that hold the query's words there
    // have their names compared: the rest are never read beyond their rank.
    const std::string only = options.onlyRows.empty() ? std::string() : Rows(options.onlyRows, true);
    std::vector<std::int64_t> named;
    if (query.name) {
      Statement names(db_.get(), "SELECT rowid FROM pages WHERE pages MATCH ?1 AND instr(keys, name_keys(?2)) > 0" + only);
      names.Bind(1, "{title names} : " + query.match);
      names.Bind(2, *query.name);
      while (names.Step()) named.push_back(names.Integer(0));
    }
    // ORDER BY rank lets FTS5 sort; excerpts and hits are then made for the
    // rows returned only: first the named pages, then the others.
    const auto select = [&](const std::string& rows, int limit) {
      std::string sql = options.rankOnly ? "SELECT title, path, 0, '', rank, rowid"
                                         : "SELECT title, path, hits(pages), excerpt(pages, ?2, ?3, ?4, ?5), rank, rowid";
      sql += " FROM pages WHERE pages MATCH ?1" + only + rows + " ORDER BY rank LIMIT ?6";
      Statement statement(db_.get(), sql);
      statement.Bind(1, query.match);
      if (!options.rankOnly) {
        statement.Bind(2, options.markOpen);
        statement.Bind(3, options.markClose);
        statement.Bind(4, options.ellipsis);
        statement.Bind(5, static_cast<std::int64_t>(std::clamp(options.snippetWords, 1, 64)));
      }
      statement.Bind(6, static_cast<std::int64_t>(limit));
      while (statement.Step()) {
        hits.push_back({std::string(statement.Text(0)), std::string(statement.Text(1)),
                        static_cast<int>(statement.Integer(2)), std::string(statement.Text(3)), statement.Real(4),
                        statement.Integer(5)});
      }
    };
    if (!named.empty()) select(Rows(named, true), options.limit);
    const int rest = options.limit - static_cast<int>(hits.size());
    if (rest > 0) select(named.empty() ? std::string() : Rows(named, false), rest);
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
