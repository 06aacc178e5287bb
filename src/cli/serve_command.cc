// serve: books to any browser, on the loopback address unless --listen names
// another (src/serve).
#include <cstdio>
#include <memory>
#include <string>

#include "book/book.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "serve/serve.h"
#include "textindex/text_index.h"

namespace tessaly::cli {

int RunServe(const Args& args) {
  serve::ServeOptions options;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--port=" && i + 1 < args.size()) {
      const std::string& port = args[++i];
      if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
          std::stoi(port) > 65535) {
        std::fprintf(stderr, "tessaly-cli serve: '%s' is no port number\n", port.c_str());
        return 2;
      }
      options.port = std::stoi(port);
    } else if (args[i] == "--listen=" && i + 1 < args.size()) {
      options.listen = args[++i];
    } else {
      names.push_back(args[i]);
    }
  }
  if (names.empty()) {
    std::fprintf(stderr, "Usage: tessaly-cli serve BOOK... [--port N] [--listen ADDRESS]\n");
    return 2;
  }
  std::vector<std::unique_ptr<Book>> books;
  std::vector<const Book*> shelf;
  for (const std::string& name : names) {
    books.push_back(std::make_unique<Book>());
    OpenBook(*books.back(), name);
    shelf.push_back(books.back().get());
  }
  if (const auto folder = textindex::DefaultIndexFolder()) options.indexFolder = folder->string();
  serve::Library library(shelf, names, Converter(), options.indexFolder);
  options.listening = [&](const std::string& address) {
    std::printf("Serving %zu book%s at %s\n", names.size(), names.size() == 1 ? "" : "s", address.c_str());
    std::fflush(stdout);
  };
  return serve::Serve(library, options);
}

}  // namespace tessaly::cli
