// PagePanel: the page of a tab. Pages are shown straight from the books
// under their ms-its: addresses, every object the view asks for is read by
// a job (or answered at once from the window's cache); the busy state
// while a page loads; links (into this book, another book, the web, in a
// new tab when asked); the tab's history, which runs across books; Refresh,
// Home, Jump; the view settings; the keys that step to the previous or
// next topic; and the notice of the parts a page lacks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/views.h"

namespace tessaly::app {

class BookSession;
class BookTab;

class PagePanel {
 public:
  PagePanel(BookTab& tab, PageView& view) : tab_(tab), view_(view) {}

  // --- From the view --------------------------------------------------------------
  // A link tapped (as written in the page, or the address it leads to; the
  // view does not follow it); newTab: the user asked for a tab of its own
  // (middle click, Ctrl+click, the context menu).
  void OnLinkTapped(std::string_view link, bool newTab = false);
  void OnLoadEnded();
  // A page that sent itself to another address on its own (a refresh, a
  // script, a frame): only an address outside the books is answered, with
  // a page that names it.
  void OnRedirect(std::string_view address);
  // An object the view needs: answered on the interface thread, at once
  // when it is at hand, else later.
  void OnObjectRequest(std::string_view address, ObjectReply reply);
  // A key pressed while the view has focus; true: the view acts as usual.
  bool OnKey(PageKey key);
  // Back (-1) or forward (1): the page's script, mouse buttons 8 and 9.
  void OnHistoryStep(int step);

  // --- From the tab -------------------------------------------------------------
  // Shows a topic (a web address as a page naming it); false when nothing
  // new loads.
  bool ShowTopic(std::string_view path);
  // The same, marking the words in it once it has loaded (or at once when
  // it is the page on screen).
  void ShowTopicMarking(std::string_view path, std::span<const std::string> words);
  // A page of the book (book text, from its root, maybe with a #fragment);
  // false when there is nothing new to show. fromHistory: no new entry.
  bool ShowBookPage(std::string_view page, bool fromHistory = false);
  void ShowOwnPage(const std::string& html);
  void Back();
  void Forward();
  void Refresh();
  void Home();
  void Jump();
  void ApplySettings(const ViewSettings& settings);
  // After the next load, the page goes down to this position.
  void ScrollAfterLoad(int position) { restoreScroll_ = position; }
  // The stored page and text size of the book; how far down it was read.
  void RememberPage();
  void RememberScroll();
  // The tab went out of sight: the view lets go of its page, which keeps
  // its address and how far down it was read (a page still loading, or one
  // of the reader's own, stays). Restore, or any page shown, brings the
  // view back; the book's page goes back down to where it was.
  void Discard();
  void Restore();

  // The in-book path the book finds for a page named in UTF-8.
  std::string BookText(std::string_view utf8) const;
  bool Busy() const { return busy_; }
  const std::string& PagePath() const { return pagePath_; }

 private:
  void ShowAddressPage(std::string_view address);
  // An object of an open book to the reply (none: only into the cache).
  void Read(const BookSession& session, const std::string& name, ObjectReply reply);
  void Navigate(const std::string& address);
  // A discarded view comes back before it shows anything.
  void Revive();
  void GoThroughHistory();
  void BeginBusy();
  void EndBusy();
  void StepTopic(bool down);
  void AddNotice(std::string_view message);
  void ShowNotices();
  void ForgetNotices();
  std::string ResolveBookName(std::string_view name) const;

  BookTab& tab_;
  PageView& view_;
  std::string pagePath_;  // the page on screen (book text)
  std::string address_;   // its address, as the view was told
  int restoreScroll_ = 0;
  bool busy_ = false;
  bool discarded_ = false;
  int keptScroll_ = 0;  // where the discarded page was
  std::vector<std::string> wordsToMark_;
  // What the page on screen lacks: each message once, the first few shown.
  std::uint64_t pageSerial_ = 0;
  std::vector<std::string> notices_;
  std::unordered_set<std::string> noticed_;
  // Objects being read ("BOOK\nNAME"), and the replies waiting for them.
  std::unordered_map<std::string, std::vector<ObjectReply>> reading_;
};

}  // namespace tessaly::app
