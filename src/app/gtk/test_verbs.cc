// TestVerbs: the test verbs of the instance channel, in test builds only
// (TESSALY_TEST_HOOKS; attached when TESSALY_TEST_CHANNEL=1).
//
// End-to-end tests drive a real reader through them, never by waiting a
// while and hoping: every verb is answered, and "wait" is answered when the
// reader has settled.
//
//   state?                 key=value lines: title, busy, loading, counters,
//                          history, view settings, buttons, panels, where
//                          the visible controls are on the screen (tests
//                          click and type there through the X server), ...
//   tree? [N] | menu? | dialog? | list? CONTROL  what those show, one line each
//                          (the tree's first N entries)
//   tree-rows?             how many rows the contents tree holds (so far)
//   wait N                 "idle" once start-up is over, N pages have been
//                          asked for, the last has loaded and no queued verb
//                          is left; "dialog" as soon as a modal dialog waits
//                          for an answer
//   until LINE             "idle" once the state report has this line
//   eval SCRIPT            the script's result in the page
//   eval-async BODY        the result of an async function with this body
//   screenshot PATH        the window as a PNG, after it has painted
//   choose-file PATH       the next file dialog answers PATH at once
//   frames-start           from now on the window draws every frame, and
//   frames?                the longest gap between two frames since then
//                          (ms) is answered
//   menu CMD | button CMD  choose a menu item / tool button (as a click; a
//                          greyed one answers "insensitive")
//   tree-tap TEXT          a tap on the text of the contents entry TEXT
//   tree-expand TEXT       its expander
//   set-text CONTROL TEXT  typing into an entry
//   list-select CONTROL N, list-activate CONTROL N, control-click CONTROL
//   dialog-respond N       answer the modal dialog (a line of a choice
//                          dialog, -1 for Cancel; OK otherwise)
//   resize W H             the window's size
//   switch-tab [back]      the next tab to the front (as Ctrl+PageDown; with
//                          "back" the one before, as Ctrl+PageUp);
//                          answered with the microseconds from the switch
//                          to the end of the window's next paint
// Action verbs answer "ok" at once and run afterwards, in order.
#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <limits>
#include <sstream>
#include <vector>

#include "app/book_jobs.h"
#include "app/book_session.h"
#include "app/book_tab.h"
#include "app/gtk/contents_model.h"
#include "app/gtk/gtk_platform.h"
#include "app/gtk/gtk_tab.h"
#include "app/gtk/test_hooks.h"
#include "app/resources.h"

namespace tessaly::app::gtk {

namespace {

constexpr std::pair<const char*, Control> kControlNames[] = {
    {"tree", Control::kTree},
    {"index-label", Control::kIndexLabel},
    {"index-edit", Control::kIndexEdit},
    {"index-list", Control::kIndexList},
    {"index-display", Control::kIndexDisplayButton},
    {"search-label", Control::kSearchLabel},
    {"search-edit", Control::kSearchEdit},
    {"list-topics", Control::kListTopicsButton},
    {"results-label", Control::kResultsLabel},
    {"results-list", Control::kResultsList},
    {"search-display", Control::kSearchDisplayButton},
    {"page", Control::kPageView},
};

const char* ControlName(Control control) {
  for (const auto& [name, value] : kControlNames) {
    if (value == control) return name;
  }
  return "?";
}

bool ParseInt(const std::string& text, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0') return false;
  value = static_cast<int>(parsed);
  return true;
}

// Depth-first search of a tree model for a row with this text.
bool FindRow(GtkTreeModel* model, GtkTreeIter* parent, int column, const std::string& text,
             GtkTreeIter* found) {
  GtkTreeIter iter;
  if (!gtk_tree_model_iter_children(model, &iter, parent)) return false;
  do {
    gchar* value = nullptr;
    gtk_tree_model_get(model, &iter, column, &value, -1);
    const bool match = value != nullptr && text == value;
    g_free(value);
    if (match) {
      *found = iter;
      return true;
    }
    if (FindRow(model, &iter, column, text, found)) return true;
  } while (gtk_tree_model_iter_next(model, &iter));
  return false;
}

}  // namespace

class TestVerbs : public TestHooks {
 public:
  explicit TestVerbs(GtkPlatform& platform) : p_(platform) {}
  ~TestVerbs() override {
    if (actionSource_ != 0) g_source_remove(actionSource_);
    if (waiterSource_ != 0) g_source_remove(waiterSource_);
    for (const Waiter& waiter : waiters_) InstanceChannel::Reply(waiter.fd, "closed");
  }

  void WindowCreated() override {
    std::printf("ready %llu\n", static_cast<unsigned long long>(p_.ownId_));
    std::fflush(stdout);
  }
  void WindowClosed() override {
    std::printf("closed\n");
    std::fflush(stdout);
  }
  void Changed() override { ScheduleWaiterCheck(); }
  void Navigated() override { ++navigations_; }
  void Raised() override {
    ++raised_;
    ScheduleWaiterCheck();
  }
  void MessageShown(const std::string& caption, const std::string& text) override {
    messages_.push_back(caption + "\t" + text);
  }
  void External(const std::string& uri) override {
    externals_.push_back(uri);
    ScheduleWaiterCheck();
  }
  std::optional<std::string> NextFile() override {
    std::optional<std::string> file = std::move(nextFile_);
    nextFile_.reset();
    return file;
  }
  bool HandleVerb(int fd, const std::string& request) override {
    const std::size_t space = request.find(' ');
    HandleTestVerb(fd, request.substr(0, space), space == std::string::npos ? "" : request.substr(space + 1));
    return true;
  }

 private:
  // A test waiting for the reader to settle ("wait N": N pages asked for,
  // the last loaded) or for a line of the state report ("until LINE").
  struct Waiter {
    int fd = -1;
    int navigations = 0;
    std::string line;
  };

  void HandleTestVerb(int fd, const std::string& verb, const std::string& argument);
  void QueueAction(std::function<void()> action);
  void ScheduleNextAction();
  void RunNextAction();
  void ScheduleWaiterCheck();
  void CheckWaiters();
  std::string StateReport() const;
  std::string TreeReport(int limit) const;
  std::string MenuReport() const;
  std::string DialogReport() const;
  std::optional<Control> ControlByName(const std::string& name) const;
  void Screenshot(int fd, const std::string& path);
  void CaptureWindow(int fd, const std::string& path);

  GtkPlatform& p_;
  // The tab in front: there is always one once the window exists.
  GtkTab& T() const { return *p_.Current(); }
  int navigations_ = 0;
  int raised_ = 0;
  std::vector<std::string> messages_;  // "caption\ttext" of every message box
  std::vector<std::string> externals_;
  std::deque<std::function<void()>> actions_;
  guint actionSource_ = 0;
  int runningActions_ = 0;
  std::vector<Waiter> waiters_;
  guint waiterSource_ = 0;
  std::optional<std::string> nextFile_;
  bool ticking_ = false;
  gint64 lastFrame_ = 0;   // frame clock time of the last frame (us)
  gint64 longestGap_ = 0;  // the longest gap between two frames (us)
};

std::optional<Control> TestVerbs::ControlByName(const std::string& name) const {
  for (const auto& [text, control] : kControlNames) {
    if (name == text) return control;
  }
  return std::nullopt;
}

void TestVerbs::QueueAction(std::function<void()> action) {
  actions_.push_back(std::move(action));
  ScheduleNextAction();
}

// One queued action per idle turn, so that the toolkit handles what each
// one caused before the next runs.
void TestVerbs::ScheduleNextAction() {
  if (actions_.empty() || actionSource_ != 0) return;
  actionSource_ = g_idle_add(
      [](gpointer self) -> gboolean {
        auto* platform = static_cast<TestVerbs*>(self);
        platform->actionSource_ = 0;
        platform->RunNextAction();
        return G_SOURCE_REMOVE;
      },
      this);
}

void TestVerbs::RunNextAction() {
  if (actions_.empty()) return;
  std::function<void()> action = std::move(actions_.front());
  actions_.pop_front();
  ++runningActions_;
  if (!p_.destroyed_) action();
  --runningActions_;
  ScheduleNextAction();
  ScheduleWaiterCheck();
}

void TestVerbs::ScheduleWaiterCheck() {
  if (waiters_.empty() || waiterSource_ != 0) return;
  waiterSource_ = g_idle_add(
      [](gpointer self) -> gboolean {
        auto* platform = static_cast<TestVerbs*>(self);
        platform->waiterSource_ = 0;
        platform->CheckWaiters();
        return G_SOURCE_REMOVE;
      },
      this);
}

void TestVerbs::CheckWaiters() {
  std::vector<Waiter> still;
  for (const Waiter& waiter : waiters_) {
    if (p_.dialog_) {
      InstanceChannel::Reply(waiter.fd, "dialog");
      continue;
    }
    // A reader still starting (its loop not yet running) has not settled.
    const bool quiet = p_.looping_ && actions_.empty() && runningActions_ == 0;
    bool posted = false;
    {
      std::lock_guard lock(p_.postMutex_);
      posted = !p_.posted_.empty();
    }
    const BookTab* tab = p_.reader_ != nullptr ? p_.reader_->CurrentTab() : nullptr;
    const bool working = tab != nullptr && (tab->Busy() || tab->Working());
    const bool settled =
        quiet && !posted &&
        (waiter.line.empty() ? navigations_ >= waiter.navigations && !working &&
                                   (!T().pageView_ || !T().pageView_->Loading())
                             : ("\n" + StateReport()).find("\n" + waiter.line + "\n") != std::string::npos);
    if (settled) {
      InstanceChannel::Reply(waiter.fd, "idle");
    } else {
      still.push_back(waiter);
    }
  }
  waiters_ = std::move(still);
}

std::string TestVerbs::StateReport() const {
  std::ostringstream out;
  out << "id=" << p_.ownId_ << "\n";
  out << "title=" << p_.title_ << "\n";
  BookTab* tab = p_.reader_ != nullptr ? p_.reader_->CurrentTab() : nullptr;
  out << "busy=" << (tab != nullptr && tab->Busy()) << "\n";
  out << "loading=" << (T().pageView_ && T().pageView_->Loading()) << "\n";
  out << "navigations=" << navigations_ << "\n";
  out << "loads=" << (T().pageView_ ? T().pageView_->LoadsEnded() : 0) << "\n";
  out << "raised=" << raised_ << "\n";
  out << "messages=" << messages_.size() << "\n";
  if (!messages_.empty()) out << "message=" << messages_.back() << "\n";
  for (const std::string& external : externals_) out << "external=" << external << "\n";
  // The picture of a discarded page, shown until the page is back.
  out << "picture=" << T().picture_.Shown() << "\n";
  if (T().pageView_) {
    out << "uri=" << T().pageView_->Uri() << "\n";
    out << "zoom=" << T().pageView_->ZoomFactor() << "\n";
    out << "filter=" << T().pageView_->FilterReady() << "\n";
    out << "sandbox=" << T().pageView_->Sandboxed() << "\n";
    if (const std::optional<ScrollInfo> scroll = T().pageView_->Scroll()) {
      out << "scroll=" << scroll->position << " " << scroll->page << " " << scroll->maximum << "\n";
    }
  }
  if (tab != nullptr) {
    out << "book=" << (tab->Session() != nullptr ? tab->Session()->Path() : tab->OpeningPath()) << "\n";
    // Work under way: the jobs the tab waits for.
    out << "working=" << tab->Working() << "\n";
    out << "page=" << tab->Page().PagePath() << "\n";
    if (T().resultsNote_ != nullptr && gtk_widget_get_visible(T().resultsNote_)) {
      out << "resultsnote=" << gtk_label_get_text(GTK_LABEL(T().resultsNote_)) << "\n";
    }
    out << "images=" << tab->Settings().showImages << "\n";
    out << "fit=" << tab->Settings().shrinkToFit << "\n";
    out << "cleartype=" << tab->Settings().clearType << "\n";
    out << "textsize=" << tab->TextSize() << "\n";
  }
  // The tabs: how many, which is in front, their labels.
  out << "tabs=" << p_.tabs_.size() << "\n";
  out << "tab=" << (p_.bookTabs_ != nullptr ? gtk_notebook_get_current_page(GTK_NOTEBOOK(p_.bookTabs_)) : -1) << "\n";
  for (int i = 0; p_.bookTabs_ != nullptr && i < gtk_notebook_get_n_pages(GTK_NOTEBOOK(p_.bookTabs_)); ++i) {
    if (GtkTab* each = p_.TabOfPage(gtk_notebook_get_nth_page(GTK_NOTEBOOK(p_.bookTabs_), i))) {
      out << "tablabel=" << gtk_label_get_text(GTK_LABEL(each->label_)) << "\n";
    }
  }
  std::string separator;
  out << "toolbuttons=";
  for (const GtkPlatform::ToolButtonEntry& button : p_.toolButtons_) {
    out << separator << button.command << (gtk_widget_get_sensitive(GTK_WIDGET(button.item)) ? "+" : "-");
    separator = " ";
  }
  out << "\n";
  separator.clear();
  out << "tips=";
  for (const GtkPlatform::ToolButtonEntry& button : p_.toolButtons_) {
    GtkWidget* inner = gtk_bin_get_child(GTK_BIN(button.item));
    gchar* tip = gtk_widget_get_tooltip_text(inner != nullptr ? inner : GTK_WIDGET(button.item));
    out << separator << (tip != nullptr ? tip : "");
    g_free(tip);
    separator = "|";
  }
  out << "\n";
  separator.clear();
  out << "layout=" << (p_.layout_ == Layout::kSidebar ? "sidebar" : "single") << "\n";
  out << "sidebar=" << p_.sidebarWidth_ << "\n";
  if (p_.progress_ != nullptr && gtk_widget_get_visible(p_.progress_)) {
    out << "progress=" << gtk_label_get_text(GTK_LABEL(p_.progressLabel_)) << " "
        << static_cast<int>(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(p_.progressBar_)) * 100 + 0.5) << "\n";
  }
  if (T().findBar_ != nullptr && gtk_widget_get_visible(T().findBar_)) {
    out << "find=" << gtk_label_get_text(GTK_LABEL(T().findLabel_)) << "\n";
  }
  out << "visible=";
  for (int i = 0; i < kControlCount; ++i) {
    const GtkTab::ControlWidgets& c = T().controls_[static_cast<std::size_t>(i)];
    if (c.outer != nullptr && gtk_widget_get_mapped(c.outer)) {
      out << separator << ControlName(static_cast<Control>(i));
      separator = " ";
    }
  }
  out << "\n";
  if (const std::optional<Control> focus = T().FocusedControl()) out << "focus=" << ControlName(*focus) << "\n";
  out << "area=" << p_.areaWidth_ << "x" << p_.areaHeight_ << "\n";
  for (int i = 0; i < kControlCount; ++i) {
    const GtkTab::ControlWidgets& c = T().controls_[static_cast<std::size_t>(i)];
    if (c.outer == nullptr || !gtk_widget_get_mapped(c.outer)) continue;
    GtkAllocation box{};
    gtk_widget_get_allocation(c.outer, &box);
    out << "place." << ControlName(static_cast<Control>(i)) << "=" << box.x << "," << box.y << " " << box.width
        << "x" << box.height << "\n";
    int x = 0;
    int y = 0;
    int originX = 0;
    int originY = 0;
    GdkWindow* top = gtk_widget_get_window(p_.window_);
    // Where the page itself starts: below the notice bar when one shows.
    GtkWidget* origin = static_cast<Control>(i) == Control::kPageView ? c.inner : c.outer;
    if (top != nullptr && gtk_widget_translate_coordinates(origin, p_.window_, 0, 0, &x, &y)) {
      gdk_window_get_origin(top, &originX, &originY);
      out << "screen." << ControlName(static_cast<Control>(i)) << "=" << originX + x << "," << originY + y
          << "\n";
    }
  }
  out << "dialog=" << (p_.dialog_ ? p_.dialog_->kind : "none") << "\n";
  if (T().notice_ != nullptr && gtk_widget_get_visible(T().notice_)) {
    std::string notice = gtk_label_get_text(GTK_LABEL(T().noticeLabel_));
    for (char& c : notice) c = c == '\n' ? '|' : c;
    out << "notice=" << notice << "\n";
  }
  return out.str();
}

std::string TestVerbs::TreeReport(int limit) const {
  // depth, image, selected, text: one line per entry in order, at most
  // `limit` of them.
  std::ostringstream out;
  if (T().treeModel_ == nullptr) return "";
  const int selected = T().ContentsSelection();
  GtkTreeModel* model = T().treeModel_;
  std::function<void(GtkTreeIter*, int)> walk = [&](GtkTreeIter* parent, int depth) {
    GtkTreeIter iter;
    if (!gtk_tree_model_iter_children(model, &iter, parent)) return;
    do {
      if (limit-- <= 0) return;
      gchar* text = nullptr;
      int item = -1;
      int image = 0;
      gtk_tree_model_get(model, &iter, 1, &text, 2, &item, 3, &image, -1);
      out << depth << "\t" << image << "\t" << (item == selected ? "*" : "-") << "\t" << (text ? text : "")
          << "\n";
      g_free(text);
      walk(&iter, depth + 1);
    } while (gtk_tree_model_iter_next(model, &iter));
  };
  walk(nullptr, 0);
  return out.str();
}

std::string TestVerbs::MenuReport() const {
  // command, sensitive, mark, label: the File menu in order, then Help;
  // the items of a sub-menu follow their item, indented by ">".
  std::ostringstream out;
  if (p_.menuBar_ == nullptr) return "";
  std::function<void(GtkWidget*, const std::string&)> list = [&](GtkWidget* menu, const std::string& indent) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* node = children; node != nullptr; node = node->next) {
      auto* item = GTK_WIDGET(node->data);
      const int command = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "tessaly-command"));
      const char* label = GTK_IS_SEPARATOR_MENU_ITEM(item) ? "-" : gtk_menu_item_get_label(GTK_MENU_ITEM(item));
      const char* mark = GTK_IS_CHECK_MENU_ITEM(item)
                             ? (gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) ? "on" : "off")
                             : "none";
      out << indent << command << "\t" << (gtk_widget_get_sensitive(item) ? 1 : 0) << "\t" << mark << "\t"
          << label << "\n";
      if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item))) list(submenu, indent + ">");
    }
    g_list_free(children);
  };
  GList* menus = gtk_container_get_children(GTK_CONTAINER(p_.menuBar_));
  for (GList* top = menus; top != nullptr; top = top->next) {
    out << "[" << gtk_menu_item_get_label(GTK_MENU_ITEM(top->data)) << "]\n";
    if (GtkWidget* items = gtk_menu_item_get_submenu(GTK_MENU_ITEM(top->data))) list(items, "");
  }
  g_list_free(menus);
  return out.str();
}

std::string TestVerbs::DialogReport() const {
  if (!p_.dialog_) return "none";
  std::string report = p_.dialog_->kind + "\t" + p_.dialog_->title + "\t" + p_.dialog_->text + "\n";
  for (const std::string& line : p_.dialog_->lines) report += line + "\n";
  return report;
}

void TestVerbs::Screenshot(int fd, const std::string& path) {
  if (p_.window_ == nullptr || gtk_widget_get_window(p_.window_) == nullptr) {
    InstanceChannel::Reply(fd, "error: no window");
    return;
  }
  // The page has drawn two frames of its own first, then the window paints
  // a few more, so that what the page view drew last is on the screen.
  if (T().pageView_ && gtk_widget_is_visible(T().pageView_->Widget())) {
    T().pageView_->Evaluate(
        "await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r))); return 1;", true,
        [this, fd, path](const std::string&) { CaptureWindow(fd, path); });
    return;
  }
  CaptureWindow(fd, path);
}

void TestVerbs::CaptureWindow(int fd, const std::string& path) {
  if (p_.window_ == nullptr || p_.destroyed_) {
    InstanceChannel::Reply(fd, "error: no window");
    return;
  }
  struct Shot {
    TestVerbs* platform;
    int fd;
    std::string path;
    int frames;
  };
  gtk_widget_queue_draw(p_.window_);
  gtk_widget_add_tick_callback(
      p_.window_,
      [](GtkWidget* widget, GdkFrameClock*, gpointer data) -> gboolean {
        auto* shot = static_cast<Shot*>(data);
        if (--shot->frames > 0) {
          gtk_widget_queue_draw(widget);
          return G_SOURCE_CONTINUE;
        }
        GdkWindow* window = gtk_widget_get_window(widget);
        GdkPixbuf* picture = gdk_pixbuf_get_from_window(window, 0, 0, gdk_window_get_width(window),
                                                        gdk_window_get_height(window));
        GError* error = nullptr;
        const bool saved =
            picture != nullptr && gdk_pixbuf_save(picture, shot->path.c_str(), "png", &error, nullptr);
        std::string reply =
            saved ? "ok" : std::string("error: ") + (error != nullptr ? error->message : "capture");
        if (error != nullptr) g_error_free(error);
        if (picture != nullptr) g_object_unref(picture);
        InstanceChannel::Reply(shot->fd, reply);
        return G_SOURCE_REMOVE;
      },
      std::make_unique<Shot>(Shot{this, fd, path, 4}).release(),
      [](gpointer data) { std::unique_ptr<Shot>(static_cast<Shot*>(data)); });
}

void TestVerbs::HandleTestVerb(int fd, const std::string& verb, const std::string& argument) {
  const auto reply = [fd](const std::string& text) { InstanceChannel::Reply(fd, text); };
  std::istringstream words(argument);

  if (verb == "state?") return reply(StateReport());
  if (verb == "tree?") {
    int limit = std::numeric_limits<int>::max();
    if (!argument.empty() && !ParseInt(argument, limit)) return reply("error: tree? [N]");
    return reply(TreeReport(limit));
  }
  if (verb == "tree-rows?") {
    return reply(std::to_string(T().treeModel_ != nullptr ? ContentsModelRowCount(T().treeModel_) : 0));
  }
  if (verb == "menu?") return reply(MenuReport());
  if (verb == "dialog?") return reply(DialogReport());
  if (verb == "list?") {
    const std::optional<Control> list = ControlByName(argument);
    GtkListStore* store = list ? T().ListStore(*list) : nullptr;
    if (store == nullptr) return reply("error: no such list");
    std::string lines;
    GtkTreeIter iter;
    for (bool more = gtk_tree_model_get_iter_first(GTK_TREE_MODEL(store), &iter); more;
         more = gtk_tree_model_iter_next(GTK_TREE_MODEL(store), &iter)) {
      gchar* text = nullptr;
      gtk_tree_model_get(GTK_TREE_MODEL(store), &iter, 0, &text, -1);
      lines += std::string(text != nullptr ? text : "") + "\n";
      g_free(text);
    }
    return reply(lines);
  }
  if (verb == "wait") {
    int count = 0;
    if (!argument.empty() && !ParseInt(argument, count)) return reply("error: wait N");
    waiters_.push_back(Waiter{fd, count, {}});
    ScheduleWaiterCheck();
    return;
  }
  if (verb == "until") {
    if (argument.empty()) return reply("error: until LINE");
    waiters_.push_back(Waiter{fd, 0, argument});
    ScheduleWaiterCheck();
    return;
  }
  if (verb == "eval") {
    if (!T().pageView_) return reply("error: no page view");
    T().pageView_->Evaluate(argument, false,
                        [fd](const std::string& result) { InstanceChannel::Reply(fd, result); });
    return;
  }
  if (verb == "eval-async") {
    if (!T().pageView_) return reply("error: no page view");
    T().pageView_->Evaluate(argument, true,
                        [fd](const std::string& result) { InstanceChannel::Reply(fd, result); });
    return;
  }
  if (verb == "screenshot") return Screenshot(fd, argument);
  if (verb == "choose-file") {
    nextFile_ = argument;
    return reply("ok");
  }
  if (verb == "frames-start") {
    longestGap_ = 0;
    lastFrame_ = 0;
    if (!ticking_ && p_.window_ != nullptr) {
      ticking_ = true;
      gtk_widget_add_tick_callback(
          p_.window_,
          [](GtkWidget* widget, GdkFrameClock* clock, gpointer self) -> gboolean {
            auto* verbs = static_cast<TestVerbs*>(self);
            const gint64 now = gdk_frame_clock_get_frame_time(clock);
            if (verbs->lastFrame_ != 0) verbs->longestGap_ = std::max(verbs->longestGap_, now - verbs->lastFrame_);
            verbs->lastFrame_ = now;
            // Keep the window drawing, as an animation would.
            gtk_widget_queue_draw(widget);
            return G_SOURCE_CONTINUE;
          },
          this, nullptr);
    }
    return reply("ok");
  }
  if (verb == "frames?") return reply(std::to_string(longestGap_ / 1000));
  if (verb == "switch-tab") {
    GdkFrameClock* clock = p_.window_ != nullptr ? gtk_widget_get_frame_clock(p_.window_) : nullptr;
    if (clock == nullptr || p_.reader_ == nullptr) return reply("error: no window");
    struct Switch {
      int fd;
      gint64 start;
      gulong handler;
    };
    auto* timing = new Switch{fd, g_get_monotonic_time(), 0};
    p_.reader_->OnCommand(argument == "back" ? kCmdPreviousTab : kCmdNextTab);
    gtk_widget_queue_draw(p_.window_);
    timing->handler = g_signal_connect(clock, "after-paint", G_CALLBACK(+[](GdkFrameClock* painted, gpointer data) {
      auto* done = static_cast<Switch*>(data);
      InstanceChannel::Reply(done->fd, std::to_string(g_get_monotonic_time() - done->start));
      g_signal_handler_disconnect(painted, done->handler);
      delete done;
    }), timing);
    return;
  }

  if (verb == "menu") {
    int command = 0;
    const auto found = ParseInt(argument, command) ? p_.menuItems_.find(command) : p_.menuItems_.end();
    if (found == p_.menuItems_.end()) return reply("error: no such item");
    GtkWidget* item = found->second;
    if (!gtk_widget_is_sensitive(item)) return reply("insensitive");
    reply("ok");
    return QueueAction([this, command] {
      const auto again = p_.menuItems_.find(command);
      if (again != p_.menuItems_.end()) gtk_menu_item_activate(GTK_MENU_ITEM(again->second));
    });
  }
  if (verb == "button") {
    int command = 0;
    if (!ParseInt(argument, command)) return reply("error: button CMD");
    for (const GtkPlatform::ToolButtonEntry& button : p_.toolButtons_) {
      if (button.command != command) continue;
      if (!gtk_widget_is_sensitive(GTK_WIDGET(button.item))) return reply("insensitive");
      reply("ok");
      return QueueAction([this, command] {
        for (const GtkPlatform::ToolButtonEntry& again : p_.toolButtons_) {
          if (again.command == command) g_signal_emit_by_name(again.item, "clicked");
        }
      });
    }
    return reply("error: no such button");
  }
  if (verb == "tree-tap" || verb == "tree-expand") {
    GtkTreeIter iter;
    if (T().treeModel_ == nullptr || !FindRow(T().treeModel_, nullptr, 1, argument, &iter)) {
      return reply("error: no such entry");
    }
    reply("ok");
    GtkTreePath* found = gtk_tree_model_get_path(T().treeModel_, &iter);
    const int item = T().RowAt(found);
    gtk_tree_path_free(found);
    const bool expand = verb == "tree-expand";
    return QueueAction([this, item, expand] {
      std::optional<GtkTreeIter> row = T().TreeIter(item);
      if (!row) return;
      GtkTreePath* path = gtk_tree_model_get_path(T().treeModel_, &*row);
      if (expand) {
        gtk_tree_view_expand_row(GTK_TREE_VIEW(T().Widgets(Control::kTree).inner), path, FALSE);
      } else {
        T().TapTreeRow(path);
      }
      gtk_tree_path_free(path);
    });
  }
  if (verb == "set-text") {
    const std::size_t space = argument.find(' ');
    const std::optional<Control> edit = ControlByName(argument.substr(0, space));
    if (!edit || T().Widgets(*edit).inner == nullptr || !GTK_IS_ENTRY(T().Widgets(*edit).inner)) {
      return reply("error: no such entry");
    }
    const std::string text = space == std::string::npos ? "" : argument.substr(space + 1);
    reply("ok");
    return QueueAction([this, edit, text] {
      if (T().Widgets(*edit).inner != nullptr) gtk_entry_set_text(GTK_ENTRY(T().Widgets(*edit).inner), text.c_str());
    });
  }
  if (verb == "list-select" || verb == "list-activate") {
    std::string name;
    int index = -1;
    words >> name >> index;
    const std::optional<Control> list = ControlByName(name);
    GtkListStore* store = list ? T().ListStore(*list) : nullptr;
    if (store == nullptr || index < 0 ||
        index >= gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr)) {
      return reply("error: no such line");
    }
    reply("ok");
    const bool activate = verb == "list-activate";
    return QueueAction([this, list, index, activate] {
      if (T().ListStore(*list) == nullptr) return;
      auto* view = GTK_TREE_VIEW(T().Widgets(*list).inner);
      GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
      // As a click does: the line is selected (and told), then activated.
      gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
      if (activate) gtk_tree_view_row_activated(view, path, gtk_tree_view_get_column(view, 0));
      gtk_tree_path_free(path);
    });
  }
  if (verb == "control-click") {
    const std::optional<Control> control = ControlByName(argument);
    if (!control || T().Widgets(*control).inner == nullptr || !GTK_IS_BUTTON(T().Widgets(*control).inner)) {
      return reply("error: no such button");
    }
    if (!gtk_widget_is_sensitive(T().Widgets(*control).inner)) return reply("insensitive");
    reply("ok");
    return QueueAction([this, control] {
      if (T().Widgets(*control).inner != nullptr) gtk_button_clicked(GTK_BUTTON(T().Widgets(*control).inner));
    });
  }
  if (verb == "dialog-respond") {
    int line = 0;
    if (!p_.dialog_ || !ParseInt(argument, line)) return reply("error: no dialog");
    GtkWidget* dialog = p_.dialog_->dialog;
    GtkWidget* list = p_.dialog_->list;
    if (list != nullptr && line >= 0) {
      GtkTreePath* path = gtk_tree_path_new_from_indices(line, -1);
      gtk_tree_view_set_cursor(GTK_TREE_VIEW(list), path, nullptr, FALSE);
      gtk_tree_path_free(path);
    }
    const int response = line < 0 ? GTK_RESPONSE_CANCEL
                                  : (p_.dialog_->kind == "message"
                                         ? GTK_RESPONSE_OK
                                         : (p_.dialog_->kind == "file" ? GTK_RESPONSE_CANCEL : GTK_RESPONSE_OK));
    reply("ok");
    gtk_dialog_response(GTK_DIALOG(dialog), response);
    return;
  }
  if (verb == "resize") {
    int width = 0;
    int height = 0;
    if (!(words >> width >> height) || p_.window_ == nullptr) return reply("error: resize W H");
    gtk_window_resize(GTK_WINDOW(p_.window_), width, height);
    return reply("ok");
  }
  reply("error: unknown verb");
}

std::unique_ptr<TestHooks> NewTestVerbs(GtkPlatform& platform) { return std::make_unique<TestVerbs>(platform); }

namespace {

// The open of a book waits first; the job it wraps keeps its own result.
class DelayedJob final : public Job {
 public:
  DelayedJob(std::shared_ptr<Job> inner, int delayMs) : Job(inner->Flag()), inner_(std::move(inner)), delay_(delayMs) {}
  void Run() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_));
    inner_->Run();
  }

 private:
  std::shared_ptr<Job> inner_;
  int delay_;
};

class DelayedJobs : public ThreadJobs {
 public:
  explicit DelayedJobs(int delayMs) : delay_(delayMs) {}

 protected:
  void Schedule(std::shared_ptr<Job> job, std::function<void()> done) override {
    if (dynamic_cast<OpenBookJob*>(job.get()) != nullptr) job = std::make_shared<DelayedJob>(std::move(job), delay_);
    ThreadJobs::Schedule(std::move(job), std::move(done));
  }

 private:
  int delay_;
};

}  // namespace

std::unique_ptr<JobScheduler> NewDelayedJobs(int delayMs) { return std::make_unique<DelayedJobs>(delayMs); }

}  // namespace tessaly::app::gtk
