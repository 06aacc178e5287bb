#include "app/library_history.h"

#include "app/library_jobs.h"
#include "app/platform.h"

namespace tessaly::app {

QueryHistory::QueryHistory(Platform& platform, JobScheduler& jobs, std::string field)
    : platform_(platform), jobs_(jobs), field_(std::move(field)) {}

QueryHistory::~QueryHistory() { cancel_->store(true); }

void QueryHistory::Keep(const std::string& query) {
  recalled_ = -1;
  const std::optional<std::filesystem::path> store = platform_.LibraryFile();
  if (!store || (!query.empty() && query.find_first_not_of(" \t") == std::string::npos)) return;
  LibraryPlace place{*store, platform_.PageTextFolder(), &platform_.Codec()};
  auto job = std::make_shared<QueryHistoryJob>(cancel_, place, field_, query);
  jobs_.Submit<QueryHistoryJob>(std::move(job), [this](QueryHistoryJob& done) {
    if (done.Error()) return;
    queries_ = std::move(done.queries);
    recalled_ = -1;
  });
}

std::optional<std::string> QueryHistory::Step(int step) {
  const int next = recalled_ + step;
  if (next < -1 || next >= static_cast<int>(queries_.size())) return std::nullopt;
  recalled_ = next;
  return next < 0 ? std::string() : queries_[static_cast<std::size_t>(next)];
}

}  // namespace tessaly::app
