// Serving books to a browser: libsoup's HTTP server on one address (the
// loopback address unless the caller names another), a page per book with
// its contents, keyword index and page-text search, and every object of the
// served books at /N/PATH (N counts the books from 1).
//
// Confinement: a request reaches only the objects of the served books. A
// path with a ".." or "." segment, an escaped separator ("%2F", "%5C") or an
// escaped NUL is refused with 400, a request target longer than
// kMaxTarget with 414, and an object larger than kMaxObject with 413; no
// request reads the file system beyond the books and the page-text index.
// Prepared pages are kept (at most kCacheBytes) so that a page asked for
// again costs a lookup. Book pages are sent with a policy that lets them
// load nothing but the server's own objects and run no script.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {
class Book;
class TextConverter;
}  // namespace tessaly

namespace tessaly::serve {

constexpr std::size_t kMaxTarget = 8192;
constexpr std::size_t kMaxObject = 64u << 20;
constexpr std::size_t kCacheBytes = 64u << 20;

struct ServeOptions {
  std::string listen = "127.0.0.1";
  int port = 0;  // 0: the system picks one
  // Where page-text indexes are kept (none: built in memory).
  std::optional<std::string> indexFolder;
  // Called once the server listens, with its address ("http://127.0.0.1:8080/").
  std::function<void(const std::string& address)> listening;
};

struct Response {
  int status = 200;
  std::string contentType = "text/html; charset=utf-8";
  std::string body;
};

// The server's answers, apart from HTTP: what a request target (path and
// query exactly as the request line gives them) gets.
class Library {
 public:
  // names: how each book was named (shown on the first page). The books
  // must be open and outlive the library.
  Library(const std::vector<const Book*>& books, const std::vector<std::string>& names,
          const TextConverter& converter, std::optional<std::string> indexFolder);
  ~Library();

  Response Answer(const std::string& target);
  // The checks every target passes before it is answered: 200 when it
  // passes, else the refusal (400, 414) with its reason.
  Response Check(const std::string& target) const;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// Serves until SIGINT or SIGTERM; returns the process status (1 when the
// address cannot be listened on, with the reason on standard error).
int Serve(Library& library, const ServeOptions& options);

}  // namespace tessaly::serve
