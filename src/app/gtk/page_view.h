// PageView: the reader's HTML view on WebKitGTK.
//
// It shows the pages of the books the reader has open, straight from them,
// and nothing else:
// - Pages load under their own addresses, "ms-its:/path/BOOK.chm::/page.htm"
//   (app/book_address.h): the engine resolves links, style sheets,
//   pictures, scripts and frames against them, and a page's scripts see
//   "::" in their address. Every request of that scheme goes to the reader
//   (Handlers::objectRequested), which reads the object off the window's
//   thread and answers later; it serves only objects of open books. The
//   scheme is not a local one, so nothing loaded through it may reach file:.
// - A content filter admits only that scheme (and data:, blob:, about:);
//   every other address, http, https, ftp, ws and file: included, is
//   blocked. Until the filter is in place no page is loaded, and when it
//   cannot be installed at all no page is ever shown (the user is told). A
//   proxy that leads nowhere stands behind it (and keeps WebKit from looking
//   names up in advance).
// - The page process runs in WebKit's sandbox where this machine can start
//   it (page_sandbox.h); it needs no folder of ours.
// - Script sits in an isolated world: a tapped link (a real click, or Enter
//   on a focused link) is reported with the address it leads to (a link
//   naming a book, "OTHER.chm::/page.htm", as written) and is not
//   followed; a link of a frameset's frame aimed at a frame of the same page
//   loads there. Return with nothing focused is the action key; the scroll
//   state is reported as it changes. Page scripts cannot post into that
//   world, so a page cannot tap links on the user's behalf.
// - Navigations the reader did not ask for (links that escaped the script,
//   forms, WebKit's own back and forward, a page redirecting itself) are
//   not followed; a clicked link among them is reported like any other, and
//   a page that sends itself out of the books is reported
//   (Handlers::redirected).
// - No downloads, new windows, permissions or storage.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/platform.h"

namespace tessaly::app::gtk {

class PageView {
 public:
  struct Handlers {
    // UTF-8, as written; newTab: a middle click, Ctrl+click or the context
    // menu's item asked for a tab of its own.
    std::function<void(const std::string& href, bool newTab)> linkTapped;
    std::function<void()> loadEnded;                          // a load finished, failed or was replaced
    std::function<void()> actionKey;
    std::function<bool(PageKey key)> arrowKey;  // true: the view scrolls as usual
    std::function<void()> scrolled;            // a new scroll state came in
    std::function<void(int step)> historyStep;  // back (-1) or forward (1): the page's script, mouse buttons 8 and 9
    std::function<void(int step)> zoomStep;     // Ctrl+wheel: larger (1) or smaller (-1)
    std::function<void()> filterFailed;         // no filter: no page will be shown
    std::function<void(const std::string& uri)> redirected;  // the page left for a web address
    // An object of the scheme: `reply` is called once, later, on this thread.
    std::function<void(const std::string& uri, ObjectReply reply)> objectRequested;
  };

  // filterFolder: where WebKit may keep the compiled content filter (when it
  // cannot, a fresh private folder in the system's temporary folder holds
  // it while it is loaded).
  PageView(Handlers handlers, const std::string& filterFolder);
  ~PageView();
  PageView(const PageView&) = delete;
  PageView& operator=(const PageView&) = delete;

  GtkWidget* Widget() const { return GTK_WIDGET(view_); }

  // Loads a page address (any other address loads nothing); charset is the
  // default for pages that declare none (a WebKit encoding name, or empty for
  // WebKit's own default).
  void Navigate(const std::string& address, const std::string& charset);
  // Shows a page of the reader's own.
  void ShowHtml(const std::string& html);
  void SetZoomLevel(int level);  // 0 .. 4
  void SetShrinkToFit(bool on);
  void SetClearType(bool on);
  void SetShowImages(bool on);
  // While disabled, clicks and keys on the view are dropped.
  void SetInputEnabled(bool enabled) { inputEnabled_ = enabled; }

  std::optional<ScrollInfo> Scroll() const { return scroll_; }
  // Scrolls the page down to the position (in the reader's own script
  // world).
  void ScrollTo(int position);
  bool Loading() const;
  // The content filter is installed (and pages may load).
  bool FilterReady() const { return filter_ == FilterState::kReady; }
  // The page process runs in WebKit's sandbox.
  bool Sandboxed() const;
  int LoadsEnded() const { return loadsEnded_; }
  std::string Uri() const;
  double ZoomFactor() const;
  // Runs script in the page (tests); `done` gets the result as text, or
  // "error: ..." . With `asFunction` the script is the body of an async
  // function, and a promise it returns is awaited.
  void Evaluate(const std::string& script, bool asFunction, std::function<void(const std::string&)> done);
  // Marks the words in the page on screen (mark.tessaly-found elements) and
  // scrolls the first into view; in a script world of the reader's own, so
  // the page's scripts neither see nor change the code that does it.
  void MarkWords(std::span<const std::string> words);
  // The page on screen through GTK's print dialog, over `parent`.
  void Print(GtkWindow* parent);

  // The zoom factor of each text size, smallest first.
  static constexpr double kZoomFactors[5] = {0.7, 0.85, 1.0, 1.2, 1.45};

 private:
  // The context of every view (made with the first); a request of the
  // books' scheme, from any view, is served by the view that made it.
  static WebKitWebContext* Context();
  static void OnPageRequest(WebKitURISchemeRequest* request, gpointer unused);
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri, GError* error, gpointer self);
  static void OnScriptMessage(WebKitUserContentManager* manager, WebKitJavascriptResult* result, gpointer self);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static gboolean OnButton(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);
  static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static void OnProcessEnded(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
  static gboolean OnPermission(WebKitWebView* view, WebKitPermissionRequest* request, gpointer self);
  static void OnFilterReady(GObject* store, GAsyncResult* result, gpointer self);

  enum class FilterState { kPending, kReady, kFailed };
  // The filter's steps: the compiled one in filterFolder, else compiled
  // there, else compiled in a fresh private folder, else none.
  enum class FilterStep { kLoad, kSave, kSaveAside };
  void StartFilter(const std::string& filterFolder);
  void RemoveAsideFolder();
  void RunFilterStep();
  void FilterDone(WebKitUserContentFilter* filter);
  void ServePage(WebKitURISchemeRequest* request, const char* uri);
  void Load(const std::string& address);
  void ApplyStyleSheets();
  void HandleMessage(const std::string& message);
  void StepHistory(const std::string& uri);
  void PostLoadEnded();

  Handlers handlers_;
  // Shared with the replies under way: a reply that comes after the view
  // has gone finishes nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  WebKitUserContentManager* content_ = nullptr;
  WebKitSettings* settings_ = nullptr;
  WebKitWebView* view_ = nullptr;
  WebKitUserContentFilterStore* filterStore_ = nullptr;
  GCancellable* cancel_ = nullptr;

  FilterState filter_ = FilterState::kPending;
  bool failureTold_ = false;  // the filter's failure was reported
  FilterStep filterStep_ = FilterStep::kLoad;
  std::string asideFolder_;  // the fresh folder of the last step, while it exists
  std::optional<std::string> pending_;  // an address waiting for the filter
  std::optional<std::string> pendingHtml_;  // a page of the reader's own waiting for it
  std::string current_;                 // the last address loaded
  bool reloadAllowed_ = false;
  bool inputEnabled_ = true;
  bool shrinkToFit_ = true;
  bool clearType_ = true;
  std::optional<ScrollInfo> scroll_;
  int loadsEnded_ = 0;
  unsigned syntheticEnd_ = 0;  // idle source of a same-document navigation's end
  unsigned historyStep_ = 0;   // idle source of a step the page asked for
  int pendingStep_ = 0;
  // The user clicked or pressed a key in the page on screen: one history
  // step the page asks for afterwards is theirs, however long the page
  // takes to ask. A step taken, or another page, ends it.
  bool stepGranted_ = false;
  double zoomDelta_ = 0;  // smooth Ctrl+wheel scrolling not yet a step
};


}  // namespace tessaly::app::gtk
