// QueryHistory: the last queries of one search field (the search across
// books above the tabs, a book's Search panel), kept in the library's store
// between runs and recalled with Up and Down. A query is kept when the
// person searches with it (Enter, a result opened); keeping or reading runs
// as a job (QueryHistoryJob), and the field's queries are read again after.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/jobs.h"

namespace tessaly::app {

class Platform;

class QueryHistory {
 public:
  QueryHistory(Platform& platform, JobScheduler& jobs, std::string field);
  ~QueryHistory();
  QueryHistory(const QueryHistory&) = delete;
  QueryHistory& operator=(const QueryHistory&) = delete;

  // Reads the field's queries (the window exists).
  void Load() { Keep({}); }
  // Keeps a query as the newest (blank: none); the recall starts again.
  void Keep(const std::string& query);
  // Up (step 1: an older query) or Down (step -1: a newer one, then the
  // empty field): the text the field is to show, nullopt past either end.
  std::optional<std::string> Step(int step);
  // The person typed: the next Up starts from the newest again.
  void Restart() { recalled_ = -1; }

 private:
  Platform& platform_;
  JobScheduler& jobs_;
  std::string field_;
  CancelFlag cancel_ = NewCancelFlag();  // raised when the field goes
  std::vector<std::string> queries_;     // newest first
  int recalled_ = -1;                    // the query in the field; -1: what was typed
};

}  // namespace tessaly::app
