#include "app/contents_panel.h"

#include <cstdint>

#include "app/book_jobs.h"
#include "app/book_session.h"
#include "app/book_tab.h"
#include "book/book.h"

namespace tessaly::app {

void ContentsPanel::Fill(const BookSession& session, bool withLines) {
  rowNodes_.clear();
  nodeRows_.clear();
  rowImages_.clear();
  openRows_.clear();
  pendingNode_ = nullptr;
  view_.ShowContents({}, withLines);
  JobScheduler::Courier courier = tab_.Jobs().CourierFor(session.Cancel());
  auto job = std::make_shared<ContentsJob>(session.Cancel(), session.SharedBook(), tab_.Codec(),
                                           [this, courier](ContentsBatch batch) {
                                             courier([this, batch = std::move(batch)]() mutable { Add(batch); });
                                           });
  tab_.Jobs().Submit<ContentsJob>(std::move(job), [](ContentsJob&) {});
}

void ContentsPanel::Add(ContentsBatch& batch) {
  for (const ContentsRow& row : batch.rows) rowImages_.push_back(row.image);
  for (const TocNode* node : batch.nodes) {
    nodeRows_.emplace(node, static_cast<int>(rowNodes_.size()));
    rowNodes_.push_back(node);
  }
  view_.AddContents(batch.rows);
  const auto pending = nodeRows_.find(pendingNode_);
  if (pendingNode_ == nullptr || pending == nodeRows_.end()) return;
  pendingNode_ = nullptr;
  view_.SelectContentsRow(pending->second);
}

void ContentsPanel::OnExpanding(int row, bool expanding) {
  // An entry shows its open image exactly while it is expanded, also when
  // the reader itself expands it (selecting an entry opens its parents).
  // The tree tells only the entry the user collapsed, and its sub-entries
  // close with it: they take their closed image too.
  if (row < 0 || static_cast<std::size_t>(row) >= rowNodes_.size()) return;
  if (expanding) {
    if (openRows_.insert(row).second) view_.SetContentsImage(row, ++rowImages_[static_cast<std::size_t>(row)]);
    return;
  }
  std::vector<int> closing{row};
  while (!closing.empty()) {
    const int next = closing.back();
    closing.pop_back();
    if (openRows_.erase(next) == 0) continue;  // closed already: so is all below it
    view_.SetContentsImage(next, --rowImages_[static_cast<std::size_t>(next)]);
    const TocNode* node = rowNodes_[static_cast<std::size_t>(next)];
    for (std::int32_t i = 0; i < node->children.Count(); ++i) {
      const auto child = nodeRows_.find(node->children.Get(i));
      if (child != nodeRows_.end()) closing.push_back(child->second);
    }
  }
}

void ContentsPanel::OnTap(int row) {
  if (!tab_.Accepting() || row < 0 || static_cast<std::size_t>(row) >= rowNodes_.size()) return;
  view_.SelectContentsRow(row);
  OpenSelected();
}

void ContentsPanel::OnEnter() {
  if (!tab_.Accepting()) return;
  if (swallowEnter_) {
    swallowEnter_ = false;
    return;
  }
  OpenSelected();
}

void ContentsPanel::OpenSelected() {
  const int row = view_.ContentsSelection();
  if (row < 0 || static_cast<std::size_t>(row) >= rowNodes_.size()) return;
  const std::string local = rowNodes_[static_cast<std::size_t>(row)]->local;
  if (local.empty()) return;
  tab_.RevealPage();
  tab_.Page().ShowTopic(local);
}

void ContentsPanel::SelectPage(std::string_view path) {
  if (path.empty() || tab_.Session() == nullptr) return;
  // The entry of the page at this place, else of the page; a page without
  // an entry leaves none selected. An entry whose row has not come yet is
  // selected when it comes, unless another page is shown first.
  const TocNode& root = tab_.Session()->GetBook().Contents().root;
  const TocNode* node = FindTocNodeByLocal(root, path);
  if (node == nullptr) node = FindTocNodeByLocal(root, path.substr(0, path.find('#')));
  const auto found = nodeRows_.find(node);
  const bool shown = node != nullptr && found != nodeRows_.end();
  pendingNode_ = shown ? nullptr : node;
  if (!rowNodes_.empty()) view_.SelectContentsRow(shown ? found->second : -1);
}

bool ContentsPanel::Step(bool down) {
  const int row = view_.ContentsSelection();
  if (row < 0 || static_cast<std::size_t>(row) >= rowNodes_.size()) return false;
  const TocNode* node = rowNodes_[static_cast<std::size_t>(row)];
  do {
    node = down ? node->next : node->prev;
  } while (node != nullptr && node->local.empty());
  const auto found = nodeRows_.find(node);
  if (node == nullptr || found == nodeRows_.end()) return true;
  view_.SelectContentsRow(found->second);
  OpenSelected();
  return true;
}

const TocNode* ContentsPanel::SelectedNode() const {
  const int row = view_.ContentsSelection();
  if (row < 0 || static_cast<std::size_t>(row) >= rowNodes_.size()) return nullptr;
  return rowNodes_[static_cast<std::size_t>(row)];
}

}  // namespace tessaly::app
