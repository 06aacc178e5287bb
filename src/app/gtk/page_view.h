// PageView: the reader's HTML view on WebKitGTK.
//
// It shows the pages that page preparation writes into the temporary folder
// and nothing else:
// - Pages are not loaded as files: the file:// address the reader hands over
//   becomes an address of the reader's own scheme (page_scheme.h), whose
//   handler serves only plain files right in the temporary folder. The
//   scheme is not a local one, so nothing loaded through it may reach file:.
// - A content filter admits only that scheme (and data:, blob:, about:);
//   every other address, http, https, ftp, ws and file: included, is
//   blocked. Until the filter is in place no page is loaded, and when it
//   cannot be installed at all no page is ever shown (the user is told). A
//   proxy that leads nowhere stands behind it (and keeps WebKit from looking
//   names up in advance).
// - The page process runs in WebKit's sandbox where this machine can start
//   it (page_sandbox.h); it needs no folder of ours, since pages reach it
//   through the scheme.
// - Script sits in an isolated world: a tapped link (a real click, or Enter
//   on a focused link) is reported with its href as written in the page and
//   is not followed; Return with nothing focused is the action key; the
//   scroll state is reported as it changes. Page scripts cannot post into
//   that world, so a page cannot tap links on the user's behalf.
// - Navigations the reader did not ask for (links that escaped the script,
//   forms, WebKit's own back and forward, a page redirecting itself) are
//   not followed; a clicked link among them is reported like any other.
// - No downloads, new windows, permissions or storage.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/platform.h"
#include "app/reader.h"

namespace tessaly::app::gtk {

class PageView {
 public:
  struct Handlers {
    std::function<void(const std::string& href)> linkTapped;  // UTF-8, as written
    std::function<void()> loadEnded;                          // a load finished, failed or was replaced
    std::function<void()> actionKey;
    std::function<bool(PageKey key)> arrowKey;  // true: the view scrolls as usual
    std::function<void()> scrolled;            // a new scroll state came in
    std::function<void(int step)> historyStep;  // the page went back (-1) or forward (1)
    std::function<void()> filterFailed;         // no filter: no page will be shown
  };

  // tempFolder: the folder pages are served from (ending in '/');
  // filterFolder: where WebKit may keep the compiled content filter (when it
  // cannot, a fresh private folder in the system's temporary folder holds
  // it while it is loaded).
  PageView(Handlers handlers, const std::string& tempFolder, const std::string& filterFolder);
  ~PageView();
  PageView(const PageView&) = delete;
  PageView& operator=(const PageView&) = delete;

  GtkWidget* Widget() const { return GTK_WIDGET(view_); }

  // Loads a file:// address of a page file in the temporary folder (any
  // other address loads nothing); charset is the default for pages that
  // declare none (a WebKit encoding name, or empty for WebKit's own default).
  void Navigate(const std::string& address, const std::string& charset);
  void SetZoomLevel(int level);  // 0 .. 4
  void SetShrinkToFit(bool on);
  void SetClearType(bool on);
  // While disabled, clicks and keys on the view are dropped.
  void SetInputEnabled(bool enabled) { inputEnabled_ = enabled; }

  std::optional<ScrollInfo> Scroll() const { return scroll_; }
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

  // The zoom factor of each text size, smallest first.
  static constexpr double kZoomFactors[5] = {0.7, 0.85, 1.0, 1.2, 1.45};

 private:
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static void OnScriptMessage(WebKitUserContentManager* manager, WebKitJavascriptResult* result, gpointer self);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static gboolean OnButton(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static void OnProcessEnded(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
  static gboolean OnPermission(WebKitWebView* view, WebKitPermissionRequest* request, gpointer self);
  static void OnDownload(WebKitWebContext* context, WebKitDownload* download, gpointer self);
  static void OnFilterReady(GObject* store, GAsyncResult* result, gpointer self);
  static void OnPageRequest(WebKitURISchemeRequest* request, gpointer self);

  enum class FilterState { kPending, kReady, kFailed };
  // The filter's steps: the compiled one in filterFolder, else compiled
  // there, else compiled in a fresh private folder, else none.
  enum class FilterStep { kLoad, kSave, kSaveAside };
  void StartFilter(const std::string& filterFolder);
  void RunFilterStep();
  void FilterDone(WebKitUserContentFilter* filter);
  void ServePage(WebKitURISchemeRequest* request);
  void Load(const std::string& address);
  void ApplyStyleSheets();
  void HandleMessage(const std::string& message);
  // The written form of a link WebKit resolved against the page file.
  std::string WrittenForm(const std::string& uri) const;
  void StepHistory(const std::string& uri);
  void PostLoadEnded();

  Handlers handlers_;
  std::string tempFolder_;
  int folderFd_ = -1;  // the temporary folder, pages are opened through it
  WebKitWebContext* context_ = nullptr;
  WebKitUserContentManager* content_ = nullptr;
  WebKitSettings* settings_ = nullptr;
  WebKitWebView* view_ = nullptr;
  WebKitUserContentFilterStore* filterStore_ = nullptr;
  GCancellable* cancel_ = nullptr;

  FilterState filter_ = FilterState::kPending;
  FilterStep filterStep_ = FilterStep::kLoad;
  std::string asideFolder_;  // the fresh folder of the last step, while it exists
  std::optional<std::string> pending_;  // an address waiting for the filter
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
  gint64 lastInput_ = 0;  // monotonic time of the last click or key in the view
};


}  // namespace tessaly::app::gtk
