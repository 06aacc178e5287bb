#include "app/search_panel.h"

#include "app/book_jobs.h"
#include "app/book_session.h"
#include "app/book_tab.h"
#include "app/library_history.h"
#include "app/limits.h"
#include "app/platform.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "book/book.h"
#include "textindex/text_index.h"

namespace tessaly::app {

namespace {

bool HasOwnIndex(const Book& book) { return book.ObjectSize("$FIftiMain") > 0; }

}  // namespace

void SearchPanel::Prepare() {
  BookSession* session = tab_.Session();
  if (!pending_ || session == nullptr) return;
  pending_ = false;
  // A book without an index of its own is searched in its page text: the
  // index of that is made ready while the reader types.
  if (!HasOwnIndex(session->GetBook())) {
    OpenPageText();
    return;
  }
  tab_.ShowProgress(kSearchCreation, 0);
  loading_ = true;
  auto job = std::make_shared<FullTextJob>(session->Cancel(), session->SharedBook());
  tab_.Jobs().Submit<FullTextJob>(std::move(job), [this](FullTextJob& done) {
    loading_ = false;
    if (done.Error()) {
      tab_.HideProgress();
      tab_.ShowBookError(*done.Error());
      return;
    }
    tab_.ShowProgress(kSearchCreation, 100);
    tab_.HideProgress();
  });
}

void SearchPanel::OpenPageText() {
  BookSession* session = tab_.Session();
  if (loading_ || session == nullptr) return;
  loading_ = true;
  auto job = std::make_shared<PageTextJob>(session->Cancel(), tab_.PageTextSourceOf(*session));
  tab_.Jobs().Submit<PageTextJob>(std::move(job), [this](PageTextJob& done) {
    loading_ = false;
    tab_.HideProgressOf(kPageTextCreation);
    if (done.Error()) {
      tab_.Host().Window().ShowMessage(std::string(kPageTextFailed) + *done.Error(), kBookErrorCaption,
                                       MessageIcon::kError);
    }
  });
}

void SearchPanel::OnTextChanged() {
  if (!tab_.Accepting()) return;
  tab_.View().EnableControl(Control::kListTopicsButton, !view_.QueryText().empty());
}

void SearchPanel::OnEnter() {
  if (!view_.QueryText().empty()) OnListTopics();
}

void SearchPanel::OnListTopics() {
  BookSession* session = tab_.Session();
  if (!tab_.Accepting() || searching_ || session == nullptr) return;
  const std::string typed = CutToChars(view_.QueryText(), kMaxEditChars);
  tab_.Host().SearchQueries().Keep(typed);
  textindex::ParsedQuery query;
  try {
    query = textindex::ParseQuery(typed);
  } catch (const textindex::QueryError&) {
    // Only operators, only punctuation: nothing can be found, as the panel
    // says of any search without results.
    ShowNoTopics();
    return;
  }
  // The book's index holds words in the book's code page.
  const Book& book = session->GetBook();
  std::optional<std::string> ownWord;
  if (HasOwnIndex(book) && query.singleWord) {
    const std::string& word = *query.singleWord;
    ownWord = CutToBytes(tab_.Codec().FromUtf8(word, book.CodePage()).value_or(word), kMaxQueryBytes);
  }
  searching_ = true;
  tab_.Host().TabChanged(tab_);
  auto job = std::make_shared<SearchJob>(session->Cancel(), tab_.PageTextSourceOf(*session), ownWord, query);
  tab_.Jobs().Submit<SearchJob>(std::move(job), [this](SearchJob& done) {
    searching_ = false;
    tab_.HideProgressOf(kPageTextCreation);
    Show(done);
    tab_.Host().TabChanged(tab_);
  });
}

void SearchPanel::ShowNoTopics() {
  paths_.clear();
  words_.clear();
  view_.ShowResults({}, kNoTopicsFound);
  tab_.View().EnableControl(Control::kSearchDisplayButton, false);
}

void SearchPanel::Show(SearchJob& found) {
  if (found.Error()) {
    if (found.pageText) {
      tab_.Host().Window().ShowMessage(std::string(kPageTextFailed) + *found.Error(), kBookErrorCaption,
                                       MessageIcon::kError);
    } else {
      tab_.ShowBookError(*found.Error());
    }
    return;
  }
  if (found.lines.empty()) {
    ShowNoTopics();
    return;
  }
  paths_ = std::move(found.paths);
  words_ = std::move(found.words);
  view_.ShowResults(found.lines, found.pageText ? FormatText(kPageTextNote, found.lines.size()) : "");
  tab_.View().EnableControl(Control::kSearchDisplayButton, true);
}

void SearchPanel::OnHistory(int step) {
  if (!tab_.Accepting()) return;
  if (const std::optional<std::string> query = tab_.Host().SearchQueries().Step(step)) view_.SetQueryText(*query);
}

void SearchPanel::OnDisplay() {
  if (!tab_.Accepting()) return;
  const int line = view_.ResultSelection();
  if (line < 0 || static_cast<std::size_t>(line) >= paths_.size()) return;
  const std::string path = paths_[static_cast<std::size_t>(line)];
  tab_.RevealPage();
  if (path.empty()) return;
  tab_.Page().ShowTopicMarking(path, words_);
}

}  // namespace tessaly::app
