// SearchPanel. A query of one word is answered by the book's own full-text
// index when the book has one and it holds the word; any other query
// (several words, a phrase, a prefix, an exclusion), a word the book's
// index lacks, and every query in a book without an index are answered from
// the text of the pages, and the panel says so. The page-text index is
// opened, or built and kept in the platform's folder, by a job the first
// time it is needed; searches are jobs too. Opening a result found in the
// page text marks the words it was found by in its page.
#pragma once

#include <string>
#include <vector>

#include "app/views.h"

namespace tessaly::app {

class BookTab;
class SearchJob;

class SearchPanel {
 public:
  SearchPanel(BookTab& tab, SearchView& view) : tab_(tab), view_(view) {}

  // The panel shows: the index it searches is made ready the first time.
  void Prepare();
  bool Working() const { return searching_ || loading_; }

  // --- From the view -----------------------------------------------------------
  void OnTextChanged();
  void OnEnter();       // Enter in the entry: List Topics, when there is a query
  void OnListTopics();  // the List Topics button
  void OnDisplay();     // the Display button, a double click, Enter in the list
  // Up (step 1) or Down (step -1) in the entry: an older or newer query.
  void OnHistory(int step);

 private:
  void OpenPageText();
  void Show(SearchJob& found);
  // "No topics found", said in the panel (no box), the list emptied.
  void ShowNoTopics();

  BookTab& tab_;
  SearchView& view_;
  bool pending_ = true;
  bool searching_ = false;
  bool loading_ = false;
  // The results on show: their pages (book text), and the words to mark in
  // the page of the one opened (a page-text result's).
  std::vector<std::string> paths_;
  std::vector<std::string> words_;
};

}  // namespace tessaly::app
