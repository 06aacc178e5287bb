// convert BOOK OUT.pdf: the book printed by WebKit under a private X server,
// with one bookmark per contents entry and its links as PDF links.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>

#include "support/chm_builder.h"
#include "support/command_output.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

using test::CliRun;
using test::CommandOutput;
using test::Quote;
using test::RunCli;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// Xvfb on a display it picks itself, ended with the object.
class PrivateDisplay {
 public:
  PrivateDisplay() {
    int fds[2];
    if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", std::to_string(fds[1]).c_str(), "-screen", "0", "1024x768x24",
            "-nolisten", "tcp", nullptr);
      _exit(127);
    }
    close(fds[1]);
    // The number ends with a line break; the pipe stays open until then.
    std::string number;
    char c = 0;
    while (number.size() < 8 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    if (!number.empty() && c == '\n') display_ = ":" + number;
    close(fds[0]);
  }
  ~PrivateDisplay() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

std::size_t Count(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern);
  return static_cast<std::size_t>(std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

struct Destination {
  int page = 0;  // from 1
  std::string height;
};

// Where the outline entry (one without entries below it) of `qpdf --json`
// called `title` leads; page 0 when there is none.
Destination OutlineDestination(const std::string& json, const std::string& title) {
  const std::regex entry("\"/XYZ\",\\s*null,\\s*([0-9.]+),\\s*null\\s*\\],\\s*\"destpageposfrom1\": ([0-9]+),"
                         "[^{}]*?\"title\": \"" + title + "\"");
  std::smatch match;
  if (!std::regex_search(json, match, entry)) return {};
  return {std::stoi(match[2]), match[1]};
}

TEST(CliPdf, TheBookPrintedWithItsContentsAsOutlineAndItsLinks) {
  if (kSanitized) GTEST_SKIP() << "WebKit's helper processes do not run under the sanitizers";
  PrivateDisplay display;
  if (display.Display().empty()) GTEST_SKIP() << "no Xvfb to print with (apt-get install xvfb)";
  if (CommandOutput("command -v qpdf pdfinfo").empty()) GTEST_SKIP() << "qpdf or pdfinfo missing (apt-get install qpdf poppler-utils)";
  test::TempDir dir;
  const std::string before = "DISPLAY=" + display.Display() + " exec timeout 120";

  const std::string whole = dir.Path() + "/whole book.pdf";
  CliRun run = RunCli("convert " + Quote(test::TestBook("convert")) + " " + Quote(whole), before);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, whole + ": 5 pages of the book, 6 contents entries, 9 links\n");
  EXPECT_NE(CommandOutput("pdfinfo " + Quote(whole)).find("Pages:           5"), std::string::npos);
  const std::string outline = CommandOutput("qpdf --json --json-key=outlines " + Quote(whole));
  EXPECT_EQ(Count(outline, "\"title\": "), 6u) << outline;
  EXPECT_NE(outline.find("\"title\": \"Second section\""), std::string::npos);
  const std::string objects = CommandOutput("qpdf --json " + Quote(whole));
  EXPECT_EQ(Count(objects, "\"/Subtype\": \"/Link\""), 9u);
  EXPECT_EQ(Count(objects, "\"/URI\": \"u:http://example.com/\""), 1u) << objects.substr(0, 2000);
  const std::string text = CommandOutput("pdftotext " + Quote(whole) + " -");
  EXPECT_NE(text.find("日本語 Русский"), std::string::npos);
  EXPECT_NE(text.find("Back to the start"), std::string::npos);  // a page whose body has attributes
  EXPECT_EQ(Count(text, "zqx|xqz"), 0u) << text;  // nothing but the book's text

  // "Second section" names index.htm#sec2: it lands at that heading, below
  // where a topic starts, and so do the two links to #sec2.
  const Destination topic = OutlineDestination(outline, "A page with a space");
  const Destination second = OutlineDestination(outline, "Second section");
  ASSERT_EQ(topic.page, 2) << outline;
  ASSERT_EQ(second.page, 1) << outline;
  EXPECT_LT(std::stod(second.height) + 50, std::stod(topic.height));
  const std::string stored = CommandOutput("qpdf --json --json-key=qpdf " + Quote(whole));  // each object once
  EXPECT_EQ(Count(stored, "\"/XYZ\",\\s*null,\\s*" + second.height + ","), 3u);

  // One branch: the entry and the entries below it.
  const std::string branch = dir.Path() + "/branch.pdf";
  run = RunCli("convert " + Quote(test::TestBook("convert")) + " " + Quote(branch) + " --from Welcome", before);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Count(CommandOutput("qpdf --json --json-key=outlines " + Quote(branch)), "\"title\": "), 4u);
  // Links to the pages left out (ünï/côde.htm, escape.htm) keep their text.
  EXPECT_EQ(run.out, branch + ": 3 pages of the book, 4 contents entries, 6 links\n");
  EXPECT_NE(CommandOutput("pdftotext " + Quote(branch) + " -").find("a page named in UTF-8, a link that"), std::string::npos);

  run = RunCli("convert " + Quote(test::TestBook("convert")) + " " + Quote(branch) + " --from Nothing", before);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("No contents entry is called Nothing."), std::string::npos) << run.err;
}

TEST(CliPdf, WithoutADisplayItSaysSo) {
  test::TempDir dir;
  const CliRun run = RunCli("convert " + Quote(test::TestBook("convert")) + " " + Quote(dir.Path() + "/b.pdf"),
                            "unset DISPLAY WAYLAND_DISPLAY; exec");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no display to render with"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tessaly
