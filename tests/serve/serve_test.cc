// tessaly-cli serve: books to a browser on the loopback address, every link of
// the served pages leading to an object of the book, and nothing outside the
// books reachable.
#include <gtest/gtest.h>

#include <deque>
#include <regex>
#include <set>
#include <string>

#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "support/http_client.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

using test::HttpGet;
using test::HttpReply;
using test::Quote;
using test::ServeProcess;

// The target a link on the page at `from` leads to, as a browser resolves it
// (dot segments folded); empty for an address elsewhere.
std::string Resolve(const std::string& from, std::string link) {
  if (std::regex_search(link, std::regex("^[A-Za-z][A-Za-z0-9+.-]*:"))) return {};
  link = link.substr(0, link.find('#'));
  std::string path = link.starts_with('/') ? link : from.substr(0, from.rfind('/') + 1) + link;
  std::vector<std::string> parts;
  for (std::size_t at = 1; at <= path.size();) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    const std::string part = path.substr(at, slash - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (part != ".") {
      parts.push_back(part);
    }
    at = slash + 1;
  }
  std::string resolved;
  for (const std::string& part : parts) resolved += "/" + part;
  return path.ends_with('/') && !resolved.ends_with('/') ? resolved + "/" : resolved;
}

TEST(Serve, EveryLinkOfTheServedBookLeadsToOneOfItsObjects) {
  ServeProcess server(Quote(test::TestBook("convert")));
  ASSERT_NE(server.Port(), 0) << server.Output();
  EXPECT_NE(server.Output().find("Serving 1 book at http://127.0.0.1:"), std::string::npos);

  const HttpReply shelf = HttpGet(server.Port(), "/");
  ASSERT_EQ(shelf.status, 200);
  EXPECT_NE(shelf.body.find("<a href=\"1/\">Convert test book</a>"), std::string::npos) << shelf.body;

  // Walk the site from the book's page: contents, index, pages, pictures.
  std::set<std::string> seen = {"/1/"};
  std::deque<std::string> queue = {"/1/"};
  static const std::regex kLink("(?:href=|src=|url\\()\"([^\"]*)\"");
  while (!queue.empty()) {
    const std::string target = queue.front();
    queue.pop_front();
    const HttpReply reply = HttpGet(server.Port(), target);
    EXPECT_EQ(reply.status, 200) << target;
    EXPECT_NE(reply.headers.find("Content-Security-Policy: default-src 'self'; script-src 'none'"), std::string::npos);
    EXPECT_NE(reply.headers.find("X-Content-Type-Options: nosniff"), std::string::npos);
    if (reply.headers.find("Content-Type: text/") == std::string::npos) continue;
    for (std::sregex_iterator m(reply.body.begin(), reply.body.end(), kLink), end; m != end; ++m) {
      const std::string next = Resolve(target, (*m)[1]);
      if (!next.empty() && seen.insert(next).second) queue.push_back(next);
    }
  }
  for (const char* object : {"/1/index.htm", "/1/my%20page.htm", "/1/dir/a%23b.htm", "/1/%C3%BCn%C3%AF/c%C3%B4de.htm",
                             "/1/escape.htm", "/1/pics/logo.gif", "/1/pics/bg.gif", "/1/style.css"})
    EXPECT_EQ(seen.count(object), 1u) << object;

  const HttpReply page = HttpGet(server.Port(), "/1/%C3%BCn%C3%AF/c%C3%B4de.htm");
  EXPECT_NE(page.headers.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
  EXPECT_NE(page.body.find("Ünïcödé text: 日本語 Русский"), std::string::npos);
  const HttpReply search = HttpGet(server.Port(), "/1/?q=welcome");
  EXPECT_NE(search.body.find("<a href=\"index.htm\">"), std::string::npos) << search.body;
  EXPECT_NE(search.body.find("<b>Welcome</b>"), std::string::npos) << search.body;
  // A page that no contents entry names is searched too.
  const HttpReply hidden = HttpGet(server.Port(), "/1/?q=names+this+page");
  EXPECT_NE(hidden.body.find("<a href=\"hidden.htm\">"), std::string::npos) << hidden.body;
}

TEST(Serve, RequestsThatLeadOutsideTheBooksAreRefusedWithAReason) {
  ServeProcess server(Quote(test::TestBook("convert")));
  ASSERT_NE(server.Port(), 0) << server.Output();
  struct Case {
    std::string target;
    int status;
  };
  const Case cases[] = {
      {"/../", 400},          {"/1/../../etc/passwd", 400}, {"/1/%2e%2E/index.htm", 400}, {"/1/./index.htm", 400},
      {"/1/dir%2Fa.htm", 400}, {"/1/dir%5ca.htm", 400},     {"/1/a%00.htm", 400},         {"/1/a%zz", 400},
      {"/1/missing.htm", 404}, {"/2/index.htm", 404},       {"/x/", 404},
      {"/1/" + std::string(10 << 20, 'a'), 414},
  };
  for (const Case& c : cases) {
    const HttpReply reply = HttpGet(server.Port(), c.target);
    EXPECT_EQ(reply.status, c.status) << c.target.substr(0, 40);
    EXPECT_GT(reply.body.size(), 10u) << c.target.substr(0, 40);
  }
  // The server is still there.
  EXPECT_EQ(HttpGet(server.Port(), "/1/index.htm").status, 200);
}

TEST(Serve, AHostileBooksLinksReachNothingOutsideIt) {
  test::BookBuilder b;
  std::string system("\x03\0\0\0", 4);
  b.AddFile("#SYSTEM", system);
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", "<a href=\"../../../../etc/passwd\">up</a><a href=\"file:///etc/passwd\">f</a>"
                      "<img src=\"/../../b.gif\">");
  b.AddFile("/b.gif", "GIF89a");
  test::TempFile book(b.Build());
  ServeProcess server(Quote(book.Path()));
  ASSERT_NE(server.Port(), 0) << server.Output();
  const HttpReply page = HttpGet(server.Port(), "/1/a.htm");
  ASSERT_EQ(page.status, 200);
  EXPECT_EQ(page.body.find("passwd"), std::string::npos) << page.body;
  EXPECT_NE(page.body.find("<img src=\"b.gif\">"), std::string::npos) << page.body;
  EXPECT_EQ(HttpGet(server.Port(), "/1/etc/passwd").status, 404);
}

TEST(Serve, UsageAndAddresses) {
  EXPECT_EQ(test::RunCli("serve").status, 2);
  EXPECT_EQ(test::RunCli("serve " + Quote(test::TestBook("convert")) + " --port 70000").status, 2);
  const test::CliRun wrong = test::RunCli("serve " + Quote(test::TestBook("convert")) + " --listen nowhere");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("'nowhere' is no IP address"), std::string::npos);
}

}  // namespace
}  // namespace tessaly
