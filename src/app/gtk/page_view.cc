#include "app/gtk/page_view.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/resources.h"
#include "app/web_address.h"
#include "app/gtk/page_sandbox.h"
#include "app/gtk/page_scheme.h"

namespace tessaly::app::gtk {

namespace {

constexpr char kWorld[] = "tessaly";
constexpr char kHandler[] = "tessaly";

// Links, in every frame: a real click on a link, or Enter on a focused one
// (which clicks it), is reported with the address it leads to (a link that
// names a book or holds "::", as written) and not followed, except that a
// plain link of a frame, aimed at a frame of the same page, loads there. A
// click the page's own script has already handled is left alone; a click
// made by script is neither reported nor followed. A javascript: link
// belongs to the page: its script runs.
constexpr char kLinkScript[] = R"JS((function () {
  'use strict';
  var post = function (message) {
    try { window.webkit.messageHandlers.tessaly.postMessage(message); } catch (e) {}
  };
  var linkOf = function (node) {
    for (; node; node = node.parentNode) {
      if (node.nodeType === 1 && (node.localName === 'a' || node.localName === 'area') &&
          node.hasAttribute('href')) return node;
    }
    return null;
  };
  var frameNamed = function (from, name) {
    for (var i = 0; i < from.frames.length; i++) {
      try {
        var frame = from.frames[i];
        if (frame.name === name) return frame;
        var inner = frameNamed(frame, name);
        if (inner) return inner;
      } catch (e) {}
    }
    return null;
  };
  var targetOf = function (link) {
    var name = link.getAttribute('target');
    if (!name) {
      var base = document.querySelector('base[target]');
      if (base) name = base.getAttribute('target');
    }
    if (!name || name === '_self') return window;
    if (name === '_parent') return window.parent;
    if (name === '_top' || name === '_blank') return window.top;
    return frameNamed(window.top, name) || window.top;
  };
  // A middle click or Ctrl+click opens the link in a tab of its own.
  var inTab = function (event) {
    return event.button === 1 || (event.button === 0 && (event.ctrlKey || event.metaKey));
  };
  var tapped = function (event) {
    if ((event.button !== 0 && event.button !== 1) || event.defaultPrevented) return;
    var link = linkOf(event.target);
    if (!link) return;
    var written = link.getAttribute('href');
    if (/^[\s\u0000-\u001f]*javascript:/i.test(written)) return;
    event.preventDefault();
    if (!event.isTrusted) return;
    var namesBook = /::|^\s*(ms-its:|mk:|its:)/i.test(written);
    if (inTab(event)) {
      post('tab\n' + (namesBook ? written : link.href));
      return;
    }
    if (event.button !== 0) return;
    var target = targetOf(link);
    if (target !== window.top && !namesBook && /^ms-its:/i.test(link.href)) {
      target.location.href = link.href;
      return;
    }
    post('link\n' + (namesBook ? written : link.href));
  };
  window.addEventListener('click', tapped, false);
  window.addEventListener('auxclick', tapped, false);
})();)JS";

// Frames whose pages are outside the books (a web address) are never
// loaded: each shows instead a notice and the address as a link, which a
// real click reports like any link of the page (the reader hands it to the
// desktop). The notice is written into an empty frame of the page's own
// origin, from this world, so the page's scripts never touch its link.
constexpr char kOutsideFramesScript[] = R"JS((function (text) {
  'use strict';
  var post = function (message) {
    try { window.webkit.messageHandlers.tessaly.postMessage(message); } catch (e) {}
  };
  var notice = function (frame, address) {
    frame.addEventListener('load', function () {
      var doc = frame.contentDocument;
      if (!doc || !doc.body) return;
      var p = doc.createElement('p');
      p.style.font = '13px sans-serif';
      p.appendChild(doc.createTextNode(text));
      p.appendChild(doc.createElement('br'));
      var link = doc.createElement('a');
      link.href = address;
      link.textContent = address;
      link.addEventListener('click', function (event) {
        event.preventDefault();
        if (event.isTrusted && event.button === 0) post('link\n' + address);
      }, false);
      p.appendChild(link);
      doc.body.appendChild(p);
    }, { once: true });
    frame.src = 'about:blank';
  };
  document.addEventListener('DOMContentLoaded', function () {
    var frames = document.querySelectorAll('frame[src], iframe[src]');
    for (var i = 0; i < frames.length; i++) {
      if (/^(https?|ftp):/i.test(frames[i].src)) notice(frames[i], frames[i].src);
    }
  }, false);
}))JS";

// A JavaScript string literal of UTF-8 text.
std::string ScriptString(std::string_view text);

// The page itself: Return with nothing focused is the reader's action key,
// and the scroll state is reported whenever it may have changed.
constexpr char kTopScript[] = R"JS((function () {
  'use strict';
  var post = function (message) {
    try { window.webkit.messageHandlers.tessaly.postMessage(message); } catch (e) {}
  };
  document.addEventListener('keydown', function (event) {
    if (event.key !== 'Enter' || event.defaultPrevented || event.altKey || event.ctrlKey ||
        event.metaKey || event.shiftKey) return;
    var focused = document.activeElement;
    if (focused && focused !== document.body && focused !== document.documentElement) return;
    event.preventDefault();
    post('action');
  }, false);
  var scheduled = false;
  var report = function () {
    scheduled = false;
    var root = document.scrollingElement || document.documentElement;
    if (!root) return;
    var top = root.scrollTop, page = root.clientHeight, height = root.scrollHeight;
    var position = (height - page - top < 1) ? Math.max(0, height - page) : Math.round(top);
    post('scroll\n' + location.href + '\n' + position + ' ' + page + ' ' + height);
  };
  var schedule = function () {
    if (!scheduled) { scheduled = true; window.requestAnimationFrame(report); }
  };
  window.addEventListener('scroll', schedule, true);
  window.addEventListener('resize', schedule);
  window.addEventListener('load', schedule);
  document.addEventListener('DOMContentLoaded', function () {
    schedule();
    if (window.ResizeObserver && document.documentElement) {
      new ResizeObserver(schedule).observe(document.documentElement);
    }
  });
})();)JS";

// Fit to window: images, media and tables no wider than the view; long
// lines and words wrap.
constexpr char kFitStyle[] = R"CSS(
img, svg, video, canvas, object, embed, iframe, table { max-width: 100% !important; }
img[width][height] { height: auto !important; }
pre { white-space: pre-wrap !important; }
body { overflow-wrap: break-word !important; }
)CSS";

// ClearType on asks for subpixel text (used where the desktop says how its
// pixels are ordered); off keeps the text smoothed in grey only.
constexpr char kSubpixelStyle[] = "* { -webkit-font-smoothing: subpixel-antialiased !important; }";
constexpr char kGreyStyle[] = "* { -webkit-font-smoothing: antialiased !important; }";
// The find bar's current match is the selection, drawn grey while the
// entry has focus and the other matches yellow: it gets a colour of its own
// that stands out from them, focused or not.
constexpr char kSelectionStyle[] = "::selection { background: #f57900 !important; color: #000 !important; }";

// Where every request that gets past the content filter would have to go:
// a closed port on this machine, so nothing leaves it.
constexpr char kDeadEndProxy[] = "http://127.0.0.1:9";

// Block everything, then let through the reader's own pages and the
// addresses that never leave the page.
constexpr char kFilterRules[] =
    "[{\"trigger\":{\"url-filter\":\".*\"},\"action\":{\"type\":\"block\"}},"
    "{\"trigger\":{\"url-filter\":\"^ms-its:\"},\"action\":{\"type\":\"ignore-previous-rules\"}},"
    "{\"trigger\":{\"url-filter\":\"^data:\"},\"action\":{\"type\":\"ignore-previous-rules\"}},"
    "{\"trigger\":{\"url-filter\":\"^blob:\"},\"action\":{\"type\":\"ignore-previous-rules\"}},"
    "{\"trigger\":{\"url-filter\":\"^about:\"},\"action\":{\"type\":\"ignore-previous-rules\"}}]";

// The compiled filter's name in the store: the same rules, the same name
// (FNV-1a of the rules, stable across builds).
std::string FilterIdentifier() {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : std::string_view(kFilterRules)) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  char text[32];
  std::snprintf(text, sizeof text, "pages-%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// The document of an address: without its fragment, escapes decoded (the
// engine may write an address's escapes otherwise than the reader did).
std::string DocumentOf(std::string_view uri) {
  const std::string document(uri.substr(0, uri.find('#')));
  gchar* decoded = g_uri_unescape_string(document.c_str(), nullptr);
  if (decoded == nullptr) return document;
  std::string result(decoded);
  g_free(decoded);
  return result;
}

// The address of a page of the books: the reader's own scheme.
bool IsBookAddress(std::string_view uri) { return uri.size() >= 7 && g_ascii_strncasecmp(uri.data(), "ms-its:", 7) == 0; }

// An address that leaves the books: what a page may only name.
bool LeavesTheBooks(std::string_view uri) { return IsWebAddress(uri); }

std::string FragmentOf(std::string_view uri) {
  const std::size_t hash = uri.find('#');
  return hash == std::string_view::npos ? std::string() : std::string(uri.substr(hash));
}

// The view a request of the books' scheme came from.
constexpr char kViewKey[] = "tessaly-page-view";

}  // namespace

// The context of every page view of the process: one network process and
// one set of the engine's state for all tabs. Nothing of a book is kept: no
// cookies, no cache on disk, no storage. Each request of the books' scheme
// goes to the view whose page made it, which serves what its tab may read;
// a request of a view that has gone (or of none) fails.
WebKitWebContext* PageView::Context() {
  static WebKitWebContext* const context = [] {
    WebKitWebContext* made = webkit_web_context_new_ephemeral();
    // The sandbox before any page process starts. The page process needs no
    // folder of ours: pages reach it through the scheme below.
    if (const std::optional<std::string> obstacle = SandboxObstacle()) {
      std::fprintf(stderr, "tessaly: the page view runs without its sandbox: %s\n", obstacle->c_str());
    } else {
      webkit_web_context_set_sandbox_enabled(made, TRUE);
    }
    webkit_web_context_register_uri_scheme(made, "ms-its", PageView::OnPageRequest, nullptr, nullptr);
    webkit_web_context_set_cache_model(made, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(made);
    WebKitNetworkProxySettings* proxy = webkit_network_proxy_settings_new(kDeadEndProxy, nullptr);
    webkit_website_data_manager_set_network_proxy_settings(data, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, proxy);
    webkit_network_proxy_settings_free(proxy);
    g_signal_connect(made, "download-started",
                     G_CALLBACK(+[](WebKitWebContext*, WebKitDownload* download, gpointer) {
                       webkit_download_cancel(download);
                     }),
                     nullptr);
    return made;
  }();
  return context;
}

PageView::PageView(Handlers handlers, const std::string& filterFolder) : handlers_(std::move(handlers)) {
  cancel_ = g_cancellable_new();

  settings_ = webkit_settings_new();
  webkit_settings_set_allow_file_access_from_file_urls(settings_, FALSE);
  webkit_settings_set_allow_universal_access_from_file_urls(settings_, FALSE);
  webkit_settings_set_allow_top_navigation_to_data_urls(settings_, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings_, FALSE);
  webkit_settings_set_enable_html5_local_storage(settings_, FALSE);
  webkit_settings_set_enable_html5_database(settings_, FALSE);
  webkit_settings_set_enable_webgl(settings_, FALSE);
  webkit_settings_set_enable_webaudio(settings_, FALSE);
  webkit_settings_set_enable_media_stream(settings_, FALSE);
  webkit_settings_set_enable_webrtc(settings_, FALSE);
  webkit_settings_set_enable_developer_extras(settings_, FALSE);
  webkit_settings_set_enable_page_cache(settings_, FALSE);
  webkit_settings_set_zoom_text_only(settings_, TRUE);
  // Help pages are drawn without the GPU: each page process then needs no
  // GL of its own (with a software driver, tens of MB each).
  webkit_settings_set_hardware_acceleration_policy(settings_, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);

  content_ = webkit_user_content_manager_new();
  g_signal_connect(content_, "script-message-received::tessaly", G_CALLBACK(OnScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler_in_world(content_, kHandler, kWorld);
  WebKitUserScript* links =
      webkit_user_script_new_for_world(kLinkScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                       WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(content_, links);
  webkit_user_script_unref(links);
  WebKitUserScript* top =
      webkit_user_script_new_for_world(kTopScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                       WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(content_, top);
  webkit_user_script_unref(top);
  const std::string outside = std::string(kOutsideFramesScript) + "(" + ScriptString(kOutsideFrame) + ");";
  WebKitUserScript* frames =
      webkit_user_script_new_for_world(outside.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                       WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(content_, frames);
  webkit_user_script_unref(frames);
  ApplyStyleSheets();

  view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", Context(), "settings",
                                       settings_, "user-content-manager", content_, nullptr));
  g_object_ref_sink(view_);
  g_object_set_data(G_OBJECT(view_), kViewKey, this);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(view_, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(view_, "button-press-event", G_CALLBACK(OnButton), this);
  g_signal_connect(view_, "button-release-event", G_CALLBACK(OnButton), this);
  g_signal_connect(view_, "scroll-event", G_CALLBACK(OnScroll), this);
  g_signal_connect(view_, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(view_, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect(view_, "permission-request", G_CALLBACK(OnPermission), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnProcessEnded), this);
  SetZoomLevel(2);

  StartFilter(filterFolder);
}

PageView::~PageView() {
  *alive_ = false;
  g_cancellable_cancel(cancel_);
  if (!asideFolder_.empty()) RemoveAsideFolder();
  if (syntheticEnd_ != 0) g_source_remove(syntheticEnd_);
  if (historyStep_ != 0) g_source_remove(historyStep_);
  g_object_set_data(G_OBJECT(view_), kViewKey, nullptr);
  g_signal_handlers_disconnect_by_data(view_, this);
  g_signal_handlers_disconnect_by_data(content_, this);
  if (GtkWidget* parent = gtk_widget_get_parent(GTK_WIDGET(view_))) {
    gtk_container_remove(GTK_CONTAINER(parent), GTK_WIDGET(view_));
  }
  gtk_widget_destroy(GTK_WIDGET(view_));
  g_object_unref(view_);
  if (filterStore_ != nullptr) g_object_unref(filterStore_);
  g_object_unref(content_);
  g_object_unref(settings_);
  g_object_unref(cancel_);
}

void PageView::RemoveAsideFolder() {
  // Only files of WebKit's own lie there; links are removed, not followed.
  if (GDir* dir = g_dir_open(asideFolder_.c_str(), 0, nullptr)) {
    while (const char* name = g_dir_read_name(dir)) {
      gchar* path = g_build_filename(asideFolder_.c_str(), name, nullptr);
      g_unlink(path);
      g_free(path);
    }
    g_dir_close(dir);
  }
  g_rmdir(asideFolder_.c_str());
}

void PageView::StartFilter(const std::string& filterFolder) {
  if (filterFolder.empty()) {
    filterStep_ = FilterStep::kSaveAside;
  } else {
    filterStore_ = webkit_user_content_filter_store_new(filterFolder.c_str());
    filterStep_ = FilterStep::kLoad;
  }
  RunFilterStep();
}

void PageView::RunFilterStep() {
  const std::string identifier = FilterIdentifier();
  if (filterStep_ == FilterStep::kLoad) {
    webkit_user_content_filter_store_load(filterStore_, identifier.c_str(), cancel_, OnFilterReady, this);
    return;
  }
  if (filterStep_ == FilterStep::kSaveAside) {
    // The store could not be written: a fresh folder only this reader
    // knows, removed again as soon as the filter is in place.
    gchar* folder = g_dir_make_tmp("tessaly-filter-XXXXXX", nullptr);
    if (folder == nullptr) {
      FilterDone(nullptr);
      return;
    }
    asideFolder_ = folder;
    g_free(folder);
    if (filterStore_ != nullptr) g_object_unref(filterStore_);
    filterStore_ = webkit_user_content_filter_store_new(asideFolder_.c_str());
  }
  GBytes* bytes = g_bytes_new_static(kFilterRules, sizeof kFilterRules - 1);
  webkit_user_content_filter_store_save(filterStore_, identifier.c_str(), bytes, cancel_, OnFilterReady, this);
  g_bytes_unref(bytes);
}

void PageView::OnFilterReady(GObject* store, GAsyncResult* result, gpointer data) {
  auto* self = static_cast<PageView*>(data);
  GError* error = nullptr;
  WebKitUserContentFilter* filter =
      self->filterStep_ == FilterStep::kLoad
          ? webkit_user_content_filter_store_load_finish(WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error)
          : webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error);
  if (error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    g_error_free(error);
    return;  // the view is gone
  }
  if (filter == nullptr) {
    const FilterStep failed = self->filterStep_;
    if (failed != FilterStep::kLoad) {
      std::fprintf(stderr, "tessaly: content filter: %s\n", error != nullptr ? error->message : "not stored");
    }
    if (error != nullptr) g_error_free(error);
    if (failed == FilterStep::kSaveAside) {
      self->FilterDone(nullptr);
    } else {
      self->filterStep_ = failed == FilterStep::kLoad ? FilterStep::kSave : FilterStep::kSaveAside;
      self->RunFilterStep();
    }
    return;
  }
  if (error != nullptr) g_error_free(error);
  self->FilterDone(filter);
  webkit_user_content_filter_unref(filter);
}

void PageView::FilterDone(WebKitUserContentFilter* filter) {
  if (!asideFolder_.empty()) {
    // The compiled filter stays mapped while it is in use.
    RemoveAsideFolder();
    asideFolder_.clear();
  }
  if (filter == nullptr) {
    // Without the filter no page is shown: the view stays empty.
    filter_ = FilterState::kFailed;
    std::fprintf(stderr, "tessaly: the content filter cannot be installed: no page is shown\n");
    pending_.reset();
    pendingHtml_.reset();
    // Told from the loop: the view may still be in the making here.
    PostLoadEnded();
    return;
  }
  webkit_user_content_manager_add_filter(content_, filter);
  filter_ = FilterState::kReady;
  if (pendingHtml_) {
    const std::string html = *pendingHtml_;
    pendingHtml_.reset();
    ShowHtml(html);
  }
  if (pending_) {
    const std::string address = *pending_;
    pending_.reset();
    Load(address);
  }
}

void PageView::OnPageRequest(WebKitURISchemeRequest* request, gpointer) {
  WebKitWebView* web = webkit_uri_scheme_request_get_web_view(request);
  auto* view = web != nullptr ? static_cast<PageView*>(g_object_get_data(G_OBJECT(web), kViewKey)) : nullptr;
  const char* uri = webkit_uri_scheme_request_get_uri(request);
  if (view == nullptr || uri == nullptr || !view->handlers_.objectRequested) {
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not a page of an open book");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  view->ServePage(request, uri);
}

void PageView::ServePage(WebKitURISchemeRequest* request, const char* uri) {
  // Answered later: the object is read off this thread.
  g_object_ref(request);
  handlers_.objectRequested(uri, [request, alive = alive_](PageObject object) {
    if (*alive) {
      if (object.error) {
        GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, object.error->c_str());
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
      } else {
        const std::string mime = PageMimeType(object.name, std::string_view(object.bytes).substr(0, 512));
        auto* bytes = new std::string(std::move(object.bytes));
        GInputStream* stream = g_memory_input_stream_new_from_data(
            bytes->data(), static_cast<gssize>(bytes->size()), nullptr);
        g_object_set_data_full(G_OBJECT(stream), "tessaly-bytes", bytes,
                               [](gpointer data) { delete static_cast<std::string*>(data); });
        webkit_uri_scheme_request_finish(request, stream, static_cast<gint64>(bytes->size()), mime.c_str());
        g_object_unref(stream);
      }
    }
    g_object_unref(request);
  });
}

void PageView::Navigate(const std::string& address, const std::string& charset) {
  webkit_settings_set_default_charset(settings_, charset.empty() ? "windows-1252" : charset.c_str());
  if (!IsBookAddress(address) || filter_ == FilterState::kFailed) {
    // Not a page address, or no filter: nothing loads, and the reader hears
    // that this navigation has ended.
    if (!IsBookAddress(address)) std::fprintf(stderr, "tessaly: not a page address: %s\n", address.c_str());
    PostLoadEnded();
    return;
  }
  if (filter_ == FilterState::kPending) {
    pending_ = address;
    pendingHtml_.reset();
    scroll_.reset();
    return;
  }
  Load(address);
}

void PageView::ShowHtml(const std::string& html) {
  if (filter_ == FilterState::kFailed) {
    PostLoadEnded();
    return;
  }
  if (filter_ == FilterState::kPending) {
    pending_.reset();
    pendingHtml_ = html;
    return;
  }
  current_ = "about:blank";
  scroll_.reset();
  stepGranted_ = false;
  webkit_web_view_load_html(view_, html.c_str(), nullptr);
}

void PageView::Load(const std::string& address) {
  const bool sameDocument = !current_.empty() && DocumentOf(address) == DocumentOf(current_);
  const bool identical = address == current_;
  if (!sameDocument) stepGranted_ = false;
  current_ = address;
  if (identical) {
    // Refresh: the file is loaded again.
    scroll_.reset();
    reloadAllowed_ = true;
    webkit_web_view_reload(view_);
    return;
  }
  if (sameDocument && !FragmentOf(address).empty()) {
    // A jump within the page on screen: WebKit scrolls and reports no load,
    // so the end of this navigation is told here.
    webkit_web_view_load_uri(view_, address.c_str());
    PostLoadEnded();
    return;
  }
  scroll_.reset();
  webkit_web_view_load_uri(view_, address.c_str());
}

void PageView::PostLoadEnded() {
  if (syntheticEnd_ != 0) return;
  syntheticEnd_ = g_idle_add(
      [](gpointer self) -> gboolean {
        auto* view = static_cast<PageView*>(self);
        view->syntheticEnd_ = 0;
        if (view->filter_ == FilterState::kFailed && !view->failureTold_) {
          view->failureTold_ = true;
          if (view->handlers_.filterFailed) view->handlers_.filterFailed();
        }
        ++view->loadsEnded_;
        if (view->handlers_.loadEnded) view->handlers_.loadEnded();
        return G_SOURCE_REMOVE;
      },
      this);
}

void PageView::SetZoomLevel(int level) {
  level = std::clamp(level, 0, 4);
  webkit_web_view_set_zoom_level(view_, kZoomFactors[level]);
}

void PageView::SetShrinkToFit(bool on) {
  if (shrinkToFit_ == on) return;
  shrinkToFit_ = on;
  ApplyStyleSheets();
}

void PageView::SetShowImages(bool on) { webkit_settings_set_auto_load_images(settings_, on ? TRUE : FALSE); }

void PageView::SetClearType(bool on) {
  if (clearType_ == on) return;
  clearType_ = on;
  ApplyStyleSheets();
}

void PageView::ApplyStyleSheets() {
  webkit_user_content_manager_remove_all_style_sheets(content_);
  const auto add = [this](const char* css) {
    WebKitUserStyleSheet* sheet = webkit_user_style_sheet_new(css, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                              WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content_, sheet);
    webkit_user_style_sheet_unref(sheet);
  };
  if (shrinkToFit_) add(kFitStyle);
  add(clearType_ ? kSubpixelStyle : kGreyStyle);
  add(kSelectionStyle);
}

bool PageView::Loading() const {
  return webkit_web_view_is_loading(view_) || filter_ == FilterState::kPending || pending_;
}

bool PageView::Sandboxed() const { return webkit_web_context_get_sandbox_enabled(Context()); }

std::string PageView::Uri() const {
  const char* uri = webkit_web_view_get_uri(view_);
  return uri == nullptr ? std::string() : std::string(uri);
}

double PageView::ZoomFactor() const { return webkit_web_view_get_zoom_level(view_); }

void PageView::StepHistory(const std::string& uri) {
  // WebKit has moved its list to the step's target when it asks: the page
  // on screen is then the item after it (a step back) or before it (a step
  // forward). An older WebKit asks first: the target is then the item
  // before (back) or after (forward) the current one.
  WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(view_);
  auto documentOf = [](WebKitBackForwardListItem* item) {
    return item == nullptr ? std::string() : DocumentOf(webkit_back_forward_list_item_get_uri(item));
  };
  const std::string back = documentOf(webkit_back_forward_list_get_back_item(list));
  const std::string forward = documentOf(webkit_back_forward_list_get_forward_item(list));
  const std::string shown = DocumentOf(current_);
  const std::string target = DocumentOf(uri);
  int step = 0;
  if (!forward.empty() && forward == shown && target != shown) step = -1;
  else if (!back.empty() && back == shown && target != shown) step = 1;
  else if (!back.empty() && back == target) step = -1;
  else if (!forward.empty() && forward == target) step = 1;
  if (step == 0 || !handlers_.historyStep || historyStep_ != 0) return;
  // Not from inside WebKit's decision: the step loads another page.
  pendingStep_ = step;
  historyStep_ = g_idle_add(
      [](gpointer data) -> gboolean {
        auto* view = static_cast<PageView*>(data);
        view->historyStep_ = 0;
        view->handlers_.historyStep(view->pendingStep_);
        return G_SOURCE_REMOVE;
      },
      this);
}

gboolean PageView::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                  gpointer data) {
  auto* self = static_cast<PageView*>(data);
  switch (type) {
    case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
      WebKitNavigationAction* action =
          webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
      const char* raw = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
      const std::string uri = raw == nullptr ? std::string() : std::string(raw);
      switch (webkit_navigation_action_get_navigation_type(action)) {
        case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
          // A link whose click the script did not see (the page stopped
          // the event): reported like the others, never followed.
          webkit_policy_decision_ignore(decision);
          if (webkit_navigation_action_is_user_gesture(action) && self->inputEnabled_ &&
              self->handlers_.linkTapped) {
            self->handlers_.linkTapped(uri, false);
          }
          return TRUE;
        case WEBKIT_NAVIGATION_TYPE_RELOAD:
          if (self->reloadAllowed_) {
            self->reloadAllowed_ = false;
            webkit_policy_decision_use(decision);
          } else {
            webkit_policy_decision_ignore(decision);
          }
          return TRUE;
        case WEBKIT_NAVIGATION_TYPE_OTHER:
          // The reader's own loads, the frames of its pages, and a page that
          // sends itself to the web: the content filter blocks that load,
          // and a page that leaves this way is reported once it starts.
          if (IsBookAddress(uri) || uri.starts_with("about:") || uri.starts_with("data:") ||
              (LeavesTheBooks(uri) && !uri.starts_with("mailto:"))) {
            webkit_policy_decision_use(decision);
          } else {
            webkit_policy_decision_ignore(decision);
            if (uri.starts_with("mailto:") && self->handlers_.redirected) self->handlers_.redirected(uri);
          }
          return TRUE;
        case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
          // The page's script went back or forward (javascript:history.back()
          // on a link): the reader's history does it, once per click or key
          // in the page on screen, never on the page's own initiative.
          // (WebKit marks no history step as a user gesture.)
          webkit_policy_decision_ignore(decision);
          if (self->inputEnabled_ && self->stepGranted_) {
            self->stepGranted_ = false;
            self->StepHistory(uri);
          }
          return TRUE;
        default:  // forms
          webkit_policy_decision_ignore(decision);
          return TRUE;
      }
    }
    case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
      webkit_policy_decision_ignore(decision);
      return TRUE;
    case WEBKIT_POLICY_DECISION_TYPE_RESPONSE: {
      auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
      if (!webkit_response_policy_decision_is_mime_type_supported(response)) {
        webkit_policy_decision_ignore(decision);  // never a download
        return TRUE;
      }
      // Frames load as their pages ask; the page itself is only ever the
      // one the reader loaded: a page that sends itself elsewhere (a
      // refresh tag, a script) stays where it is.
      if (webkit_response_policy_decision_is_main_frame_main_resource(response)) {
        const char* raw = webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
        if (raw == nullptr || DocumentOf(raw) != DocumentOf(self->current_)) {
          webkit_policy_decision_ignore(decision);
          return TRUE;
        }
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

void PageView::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<PageView*>(data);
  if (event == WEBKIT_LOAD_STARTED) {
    // Only the reader moves the view to another document: a page that sends
    // itself elsewhere (a refresh tag, a script) stays where it is.
    const char* uri = webkit_web_view_get_uri(view);
    if (uri != nullptr && DocumentOf(uri) != DocumentOf(self->current_)) {
      webkit_web_view_stop_loading(view);
      if (LeavesTheBooks(uri) && self->handlers_.redirected) {
        // Not from inside WebKit's signal: the reader loads another page.
        struct Call {
          std::shared_ptr<bool> alive;
          PageView* view;
          std::string uri;
        };
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
              auto* call = static_cast<Call*>(data);
              if (*call->alive && call->view->handlers_.redirected) call->view->handlers_.redirected(call->uri);
              return G_SOURCE_REMOVE;
            },
            new Call{self->alive_, self, uri}, [](gpointer data) { delete static_cast<Call*>(data); });
      }
    }
    return;
  }
  if (event != WEBKIT_LOAD_FINISHED) return;
  ++self->loadsEnded_;
  if (self->handlers_.loadEnded) self->handlers_.loadEnded();
}

gboolean PageView::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError*, gpointer data) {
  // A load the page started on its own that failed shows no error page in
  // its place: the page on screen stays.
  auto* self = static_cast<PageView*>(data);
  return uri != nullptr && DocumentOf(uri) != DocumentOf(self->current_) ? TRUE : FALSE;
}

void PageView::OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (value == nullptr || !jsc_value_is_string(value)) return;
  gchar* text = jsc_value_to_string(value);
  const std::string message = text == nullptr ? std::string() : std::string(text);
  g_free(text);
  static_cast<PageView*>(data)->HandleMessage(message);
}

void PageView::HandleMessage(const std::string& message) {
  if (message.starts_with("link\n")) {
    if (inputEnabled_ && handlers_.linkTapped) handlers_.linkTapped(message.substr(5), false);
    return;
  }
  if (message.starts_with("tab\n")) {
    if (inputEnabled_ && handlers_.linkTapped) handlers_.linkTapped(message.substr(4), true);
    return;
  }
  if (message == "action") {
    if (inputEnabled_ && handlers_.actionKey) handlers_.actionKey();
    return;
  }
  if (message.starts_with("scroll\n")) {
    const std::size_t line = message.find('\n', 7);
    if (line == std::string::npos) return;
    // A report from a page already replaced counts for nothing.
    if (DocumentOf(std::string_view(message).substr(7, line - 7)) != DocumentOf(current_)) return;
    ScrollInfo info;
    const char* at = message.data() + line + 1;
    const char* end = message.data() + message.size();
    for (int* field : {&info.position, &info.page, &info.maximum}) {
      while (at < end && *at == ' ') ++at;
      const auto [next, error] = std::from_chars(at, end, *field);
      if (error != std::errc()) return;
      at = next;
    }
    scroll_ = info;
    if (handlers_.scrolled) handlers_.scrolled();
  }
}

gboolean PageView::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<PageView*>(data);
  if (!self->inputEnabled_) return TRUE;
  self->stepGranted_ = true;
  if ((event->state & gtk_accelerator_get_default_mod_mask()) != 0 || !self->handlers_.arrowKey) return FALSE;
  switch (event->keyval) {
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      return self->handlers_.arrowKey(PageKey::kUp) ? FALSE : TRUE;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      return self->handlers_.arrowKey(PageKey::kDown) ? FALSE : TRUE;
    default:
      return FALSE;
  }
}

gboolean PageView::OnButton(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<PageView*>(data);
  if (!self->inputEnabled_) return TRUE;
  self->stepGranted_ = true;
  // The mouse's back and forward buttons are the reader's Back and Forward
  // (never WebKit's own list).
  if (event->button == 8 || event->button == 9) {
    if (event->type == GDK_BUTTON_PRESS && self->handlers_.historyStep) {
      self->handlers_.historyStep(event->button == 8 ? -1 : 1);
    }
    return TRUE;
  }
  return FALSE;
}

gboolean PageView::OnScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
  auto* self = static_cast<PageView*>(data);
  if ((event->state & GDK_CONTROL_MASK) == 0 || !self->handlers_.zoomStep) return FALSE;
  // Ctrl+wheel steps the text size, once per notch (smooth scrolling adds
  // its deltas up to one).
  int step = 0;
  if (event->direction == GDK_SCROLL_UP) step = 1;
  if (event->direction == GDK_SCROLL_DOWN) step = -1;
  if (event->direction == GDK_SCROLL_SMOOTH) {
    self->zoomDelta_ += event->delta_y;
    if (self->zoomDelta_ <= -1) step = 1;
    if (self->zoomDelta_ >= 1) step = -1;
    if (step != 0) self->zoomDelta_ = 0;
  }
  if (step != 0 && self->inputEnabled_) self->handlers_.zoomStep(step);
  return TRUE;
}

gboolean PageView::OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult* hit,
                                 gpointer data) {
  auto* self = static_cast<PageView*>(data);
  // Only what copies or edits stays: opening, downloading, going back or
  // reloading would go around the reader.
  std::vector<WebKitContextMenuItem*> unwanted;
  for (GList* node = webkit_context_menu_get_items(menu); node != nullptr; node = node->next) {
    auto* item = static_cast<WebKitContextMenuItem*>(node->data);
    switch (webkit_context_menu_item_get_stock_action(item)) {
      case WEBKIT_CONTEXT_MENU_ACTION_COPY:
      case WEBKIT_CONTEXT_MENU_ACTION_CUT:
      case WEBKIT_CONTEXT_MENU_ACTION_PASTE:
      case WEBKIT_CONTEXT_MENU_ACTION_PASTE_AS_PLAIN_TEXT:
      case WEBKIT_CONTEXT_MENU_ACTION_DELETE:
      case WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL:
      case WEBKIT_CONTEXT_MENU_ACTION_COPY_LINK_TO_CLIPBOARD:
      case WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_TO_CLIPBOARD:
      case WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_URL_TO_CLIPBOARD:
      case WEBKIT_CONTEXT_MENU_ACTION_INPUT_METHODS:
      case WEBKIT_CONTEXT_MENU_ACTION_UNICODE:
      case WEBKIT_CONTEXT_MENU_ACTION_INSERT_EMOJI:
        break;
      default:
        unwanted.push_back(item);
        break;
    }
  }
  for (WebKitContextMenuItem* item : unwanted) webkit_context_menu_remove(menu, item);
  // Separators left at the ends or doubled go too.
  bool lastWasSeparator = true;
  std::vector<WebKitContextMenuItem*> separators;
  for (GList* node = webkit_context_menu_get_items(menu); node != nullptr; node = node->next) {
    auto* item = static_cast<WebKitContextMenuItem*>(node->data);
    const bool separator = webkit_context_menu_item_is_separator(item);
    if (separator && (lastWasSeparator || node->next == nullptr)) separators.push_back(item);
    lastWasSeparator = separator;
  }
  for (WebKitContextMenuItem* item : separators) webkit_context_menu_remove(menu, item);
  // A link of the books opens in a tab of its own, as the reader's own item.
  const char* link = webkit_hit_test_result_context_is_link(hit) ? webkit_hit_test_result_get_link_uri(hit) : nullptr;
  if (link != nullptr && !IsWebAddress(link) && self->inputEnabled_) {
    GSimpleAction* open = g_simple_action_new("tessaly-open-in-tab", nullptr);
    g_object_set_data_full(G_OBJECT(open), "tessaly-link", g_strdup(link), g_free);
    g_signal_connect(open, "activate", G_CALLBACK(+[](GSimpleAction* action, GVariant*, gpointer view) {
                       auto* page = static_cast<PageView*>(view);
                       const char* uri = static_cast<const char*>(g_object_get_data(G_OBJECT(action), "tessaly-link"));
                       if (uri != nullptr && page->handlers_.linkTapped) page->handlers_.linkTapped(uri, true);
                     }),
                     self);
    webkit_context_menu_prepend(menu, webkit_context_menu_item_new_from_gaction(G_ACTION(open), kOpenInTab, nullptr));
    g_object_unref(open);
  }
  return webkit_context_menu_get_n_items(menu) == 0 ? TRUE : FALSE;
}

void PageView::OnProcessEnded(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
  // The page's process died (it is started again for the next page): the
  // load under way ends here, or the reader would wait for it forever.
  auto* self = static_cast<PageView*>(data);
  std::fprintf(stderr, "tessaly: the page view's process ended\n");
  self->current_.clear();
  self->scroll_.reset();
  ++self->loadsEnded_;
  if (self->handlers_.loadEnded) self->handlers_.loadEnded();
}

GtkWidget* PageView::OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }

gboolean PageView::OnPermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
  webkit_permission_request_deny(request);
  return TRUE;
}

namespace {

// A JavaScript string literal of UTF-8 text.
std::string ScriptString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  // U+2028 and U+2029 end a line inside a literal in older engines.
  for (const std::string_view separator : {"\xE2\x80\xA8", "\xE2\x80\xA9"}) {
    for (std::size_t at = out.find(separator); at != std::string::npos; at = out.find(separator, at)) {
      out.replace(at, separator.size(), separator[2] == '\xA8' ? "\\u2028" : "\\u2029");
    }
  }
  return out + "\"";
}

// Wraps every match of the words in the text of the page (not in scripts,
// styles or form fields) in <mark>, at most kMaxMarks of them.
constexpr std::string_view kMarkScript = R"((function (words) {
  if (!document.body) return 0;
  for (const old of document.querySelectorAll('mark.tessaly-found')) old.replaceWith(...old.childNodes);
  document.body.normalize();
  if (words.length === 0) return 0;
  const escape = (w) => w.replace(/[.*+?^${}()|[\]\\]/g, '\\$&').replace(/\s+/g, '\\s+');
  const pattern = new RegExp(words.map(escape).join('|'), 'giu');
  const skip = /^(SCRIPT|STYLE|TEXTAREA|NOSCRIPT)$/i;
  const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT, {
    acceptNode: (n) => (n.parentNode && skip.test(n.parentNode.nodeName)) ? NodeFilter.FILTER_REJECT
                                                                            : NodeFilter.FILTER_ACCEPT });
  const nodes = [];
  while (walker.nextNode()) nodes.push(walker.currentNode);
  let first = null;
  let count = 0;
  for (const node of nodes) {
    const text = node.nodeValue;
    const found = [];
    pattern.lastIndex = 0;
    for (let m = pattern.exec(text); m !== null && count + found.length < 5000; m = pattern.exec(text)) {
      if (m[0].length === 0) { pattern.lastIndex++; continue; }
      found.push([m.index, m[0].length]);
    }
    if (found.length === 0) continue;
    const parts = document.createDocumentFragment();
    let last = 0;
    for (const [at, length] of found) {
      parts.appendChild(document.createTextNode(text.slice(last, at)));
      const mark = document.createElement('mark');
      mark.className = 'tessaly-found';
      mark.textContent = text.substr(at, length);
      parts.appendChild(mark);
      if (first === null) first = mark;
      last = at + length;
    }
    parts.appendChild(document.createTextNode(text.slice(last)));
    node.parentNode.replaceChild(parts, node);
    count += found.length;
  }
  if (first !== null) first.scrollIntoView({block: 'center'});
  return count;
}))";

}  // namespace

void PageView::ScrollTo(int position) {
  const std::string script = "(document.scrollingElement || document.documentElement).scrollTop = " +
                             std::to_string(std::max(position, 0)) + ";";
  webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()), kWorld, nullptr,
                                      nullptr, nullptr, nullptr);
}

void PageView::MarkWords(std::span<const std::string> words) {
  std::string script(kMarkScript);
  script += "([";
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) script += ',';
    script += ScriptString(words[i]);
  }
  script += "]);";
  webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()), "tessaly", nullptr,
                                      nullptr, nullptr, nullptr);
}

void PageView::Evaluate(const std::string& script, bool asFunction,
                        std::function<void(const std::string&)> done) {
  struct Call {
    std::function<void(const std::string&)> done;
    bool asFunction;
  };
  // Owned by the callback once WebKit has it: handed over with release().
  auto call = std::make_unique<Call>(Call{std::move(done), asFunction});
  const auto finish = [](GObject* object, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    GError* error = nullptr;
    JSCValue* value =
        call->asFunction
            ? webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(object), result, &error)
            : webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), result, &error);
    std::string text;
    if (value == nullptr) {
      text = std::string("error: ") + (error != nullptr ? error->message : "unknown");
    } else {
      gchar* string = jsc_value_is_string(value) || jsc_value_is_number(value) || jsc_value_is_boolean(value)
                          ? jsc_value_to_string(value)
                          : jsc_value_to_json(value, 0);
      text = string == nullptr ? std::string() : std::string(string);
      g_free(string);
      g_object_unref(value);
    }
    if (error != nullptr) g_error_free(error);
    call->done(text);
  };
  if (asFunction) {
    webkit_web_view_call_async_javascript_function(view_, script.c_str(), static_cast<gssize>(script.size()),
                                                   nullptr, nullptr, nullptr, nullptr, finish, call.release());
  } else {
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()), nullptr,
                                        nullptr, nullptr, finish, call.release());
  }
}

void PageView::Print(GtkWindow* parent) {
  // A page of the reader's own (the start view) prints as well as a book's.
  WebKitPrintOperation* operation = webkit_print_operation_new(view_);
  webkit_print_operation_run_dialog(operation, parent);
  g_object_unref(operation);
}

}  // namespace tessaly::app::gtk
