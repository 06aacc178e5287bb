// tessaly: the reader's window on a GTK 3 desktop.
//
//   tessaly [BOOK.chm]
//
// Opens the book (or, when a reader already runs, hands it over to this one
// or raises that one). Exit status 0, as the reader always ends; 2 for bad
// usage.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/gtk/gtk_platform.h"
#include "app/reader.h"

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))) {
    std::fprintf(argc > 2 ? stderr : stdout, "usage: tessaly [BOOK.chm]\n");
    return argc > 2 ? 2 : 0;
  }
  // GTK takes its own options out of argv; the book is what remains.
  gtk_init(&argc, &argv);
  const std::string book = argc >= 2 ? argv[1] : "";

  tessaly::app::gtk::GtkPlatform::Options options;
  const char* test = g_getenv("TESSALY_TEST_CHANNEL");
  options.testChannel = test != nullptr && std::strcmp(test, "1") == 0;

  tessaly::app::gtk::GtkPlatform platform(options);
  tessaly::app::Reader reader(platform);
  platform.Attach(reader);
  const bool running = reader.Start(book);
  if (options.testChannel && !platform.HasWindow()) {
    // A test hears "ready <id>" when the window exists; a reader that raised
    // another one and ended without a window says so.
    std::printf("ended\n");
    std::fflush(stdout);
  }
  if (running) platform.Run();
  return 0;
}
