// tessaly: the reader's window on a GTK 3 desktop.
//
//   tessaly [BOOK.chm | file:///path/BOOK.chm] [::/page.htm]
//   tessaly BOOK.chm::/path/page.htm | ms-its:BOOK.chm::/path/page.htm
//   tessaly --keyword WORD [BOOK.chm]
//   tessaly --library-add FOLDER
//
// Opens the book (at the page, when one is named) (or, when a reader already runs, hands it over to this one
// or raises that one). Exit status 0, as the reader always ends; 1 when
// there is no display to show a window on; 2 for bad usage.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/gtk/gtk_platform.h"
#include "app/reader.h"
#include "app/command_line.h"
#include "app/jobs.h"

namespace {

constexpr char kUsage[] =
    "Usage: tessaly [BOOK.chm[::/PAGE.htm]]\n"
    "       tessaly --keyword WORD [BOOK.chm]\n"
    "       tessaly --library-add FOLDER\n"
    "Reads a book or help file in the Compiled HTML Help format.\n"
    "\n"
    "  BOOK.chm     the book to open: a path, or a file:// address as file\n"
    "               managers pass it; without one the window opens empty\n"
    "  BOOK.chm::/PAGE.htm, ms-its:BOOK.chm::/PAGE.htm\n"
    "               the book, opened at that page\n"
    "  --keyword WORD [BOOK.chm]\n"
    "               the keyword index entry WORD of the book, or of every book\n"
    "               of the library: one topic opens, several are offered, none\n"
    "               lists the pages that hold the word (an editor's help key)\n"
    "  --library-add FOLDER\n"
    "               adds the books found in FOLDER (or one book) to the library\n"
    "  --help       print this text\n"
    "  --version    print the version\n"
    "\n"
    "When a reader is already running, the book opens in a tab of that one.\n"
    "Help > Help Topics opens the reader's own manual; tessaly-cli(1) reads\n"
    "books on the command line.\n";

// The book as an absolute local path: a running reader that is handed the
// book works in another folder. File managers pass addresses
// (file:///a%20b.chm, or sftp:// and the like, which GIO maps to its local
// mount when it has one); a name that exists as a file is a path, even with
// a colon in it.
std::optional<std::string> BookPath(const char* argument) {
  gchar* scheme = g_uri_parse_scheme(argument);
  if (scheme == nullptr || g_file_test(argument, G_FILE_TEST_EXISTS)) {
    g_free(scheme);
    gchar* absolute = g_canonicalize_filename(argument, nullptr);
    std::string result(absolute);
    g_free(absolute);
    return result;
  }
  g_free(scheme);
  GFile* file = g_file_new_for_uri(argument);
  gchar* path = g_file_get_path(file);
  g_object_unref(file);
  if (path == nullptr) return std::nullopt;
  std::string result(path);
  g_free(path);
  return result;
}

// The desktop's folders as the environment names them, where a name that
// cannot be one (a relative path, a file) is taken as no name at all, as the
// desktop's own rules say, before the page view starts: WebKit hands these
// folders to its page process and aborts when one is not a folder.
void DropUnusableFolderNames() {
  for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
    const char* value = g_getenv(name);
    if (value == nullptr) continue;
    const bool usable = g_path_is_absolute(value) &&
                        (!g_file_test(value, G_FILE_TEST_EXISTS) || g_file_test(value, G_FILE_TEST_IS_DIR));
    if (!usable) g_unsetenv(name);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tessaly %s\n", TESSALY_VERSION);
    return 0;
  }
  // GTK takes its own options (--display ...) out of argv; the book is what
  // remains. Usage is checked before the display is needed.
  gtk_parse_args(&argc, &argv);
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  std::optional<tessaly::app::ReaderRequest> request = tessaly::app::ParseArguments(arguments);
  if (!request) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string book;
  if (request->kind != tessaly::app::RequestKind::kOpen) {
    // The running reader may stand in another folder: paths go absolute.
    if (!request->book.empty() && (request->kind == tessaly::app::RequestKind::kLibraryAdd ||
                                   g_file_test(request->book.c_str(), G_FILE_TEST_EXISTS))) {
      const std::optional<std::string> path = BookPath(request->book.c_str());
      if (!path) {
        std::fprintf(stderr, "tessaly: %s is not a file on this machine\n", request->book.c_str());
        return 2;
      }
      request->book = *path;
    }
    book = tessaly::app::RequestLine(*request);
  } else if (argc == 2 && argv[1][0] != '\0') {
    // A page named after the book ("::/page.htm") goes to the reader as it
    // is; the book becomes an absolute path like any other.
    std::string argument = argv[1];
    std::string page;
    if (!g_file_test(argv[1], G_FILE_TEST_EXISTS)) {
      const tessaly::app::NamedBook named = tessaly::app::ParseNamedBook(argument);
      argument = named.path;
      page = named.page;
    }
    const std::optional<std::string> path = BookPath(argument.c_str());
    if (!path) {
      std::fprintf(stderr, "tessaly: %s is not a file on this machine\n", argv[1]);
      return 2;
    }
    book = *path;
    if (!page.empty()) book += "::" + page;
  }

  DropUnusableFolderNames();
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "tessaly: cannot open the display\n");
    return 1;
  }

  tessaly::app::gtk::GtkPlatform platform;
#if TESSALY_TEST_HOOKS
  const char* test = g_getenv("TESSALY_TEST_CHANNEL");
  const bool testChannel = test != nullptr && std::strcmp(test, "1") == 0;
  if (testChannel) platform.SetTestHooks(tessaly::app::gtk::NewTestVerbs(platform));
  // The window's first size, for tests of one pane and of the sidebar.
  if (const char* size = g_getenv("TESSALY_TEST_WINDOW")) {
    int width = 0;
    int height = 0;
    if (std::sscanf(size, "%dx%d", &width, &height) == 2) platform.SetDefaultSize(width, height);
  }
#endif
  std::unique_ptr<tessaly::app::JobScheduler> jobs;
#if TESSALY_TEST_HOOKS
  // A test that acts while a book opens makes the open last.
  if (const char* delay = g_getenv("TESSALY_TEST_BOOK_DELAY_MS"); testChannel && delay != nullptr) {
    jobs = tessaly::app::gtk::NewDelayedJobs(std::atoi(delay));
  }
#endif
  tessaly::app::Reader reader(platform, jobs.get());
  platform.Attach(reader);
  const bool running = reader.Start(book);
#if TESSALY_TEST_HOOKS
  if (testChannel && !platform.HasWindow()) {
    // A test hears "ready <id>" when the window exists; a reader that raised
    // another one and ended without a window says so.
    std::printf("ended\n");
    std::fflush(stdout);
  }
#endif
  if (running) platform.Run();
  // The window has gone. Work still under way on a worker (a search stuck
  // in a damaged index) is not waited for: the process ends here.
  std::fflush(nullptr);
  std::_Exit(0);
}
