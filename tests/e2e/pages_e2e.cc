// Pages straight from their books: a frameset shows its frames and a link
// of one frame loads in the other; a page's script sees "::" in its own
// address; the history runs into another book and back; and nothing of a
// book is written to disk while it is read.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "harness.h"
#include "support/book_builder.h"
#include "support/command_output.h"

namespace tessaly::e2e {
namespace {

namespace fs = std::filesystem;

class ReaderPages : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = Display();
    if (server_ == nullptr) GTEST_SKIP() << "no X server (Xvfb) could be started";
    input_ = std::make_unique<XInput>(server_->Display());
  }

  // Clicks, through the X server, at the place (in the page's coordinates)
  // that the script returns as "x y".
  void ClickAt(const Reader& reader, const std::string& place) {
    const std::string where = reader.Eval(place);
    int x = -1;
    int y = -1;
    std::istringstream(where) >> x >> y;
    ASSERT_GE(x, 0) << place << ": " << where;
    int left = 0;
    int top = 0;
    char comma = 0;
    std::istringstream(reader.State()["screen.page"]) >> left >> comma >> top;
    ASSERT_TRUE(input_->Ready());
    input_->Click(left + x, top + y);
  }

  static void Settle(const Reader& reader, int count) {
    std::string reply;
    ASSERT_TRUE(reader.Wait(count, &reply)) << "no answer to wait " << count << "\n" << reader.Log();
    ASSERT_EQ(reply, "idle") << reader.Ask("dialog?").value_or("");
  }

  // Every file under the sandbox's runtime and cache folders (but the
  // shader cache of the graphics driver and the sandbox notes each page
  // process leaves, one per tab, which are no reader's).
  std::set<std::string> Files() const {
    std::set<std::string> files;
    for (const std::string& root : {sandbox_.Runtime(), sandbox_.Cache()}) {
      std::error_code error;
      for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const std::string path = it->path().string();
        if (path.find("/mesa_shader_cache") == std::string::npos && path.find("/.flatpak") == std::string::npos) {
          files.insert(path);
        }
      }
    }
    return files;
  }

  // A book of its first page (shown when it opens) and title, holding these
  // objects; its #SYSTEM object may have more records.
  static std::vector<std::uint8_t> BookOf(const std::string& first, const std::string& title,
                                          const std::vector<std::pair<std::string, std::string>>& objects,
                                          const std::string& moreSystem = std::string()) {
    test::BookBuilder builder;
    builder.AddFile("#SYSTEM", SystemObject(first, title, 0x409) + moreSystem);
    builder.AddFile("#STRINGS", std::string(1, '\0'));
    for (const auto& [name, bytes] : objects) builder.AddFile(name, bytes);
    return builder.Build();
  }

  XServer* server_ = nullptr;
  std::unique_ptr<XInput> input_;
  Sandbox sandbox_;
};

TEST_F(ReaderPages, FramesScriptsAndHistoryAcrossBooksWithNothingOnDisk) {
  // A book whose page writes its own address, links into another book, and
  // shows a frameset of the test book.
  const std::string other = TestBook("basic/basic.chm");
  test::TempFile book(BookOf(
      "a.htm", "Addresses",
      {{"/a.htm", "<html><head><title>A</title></head><body><p id=\"here\"></p>"
                  "<script>document.getElementById('here').textContent = location.href;</script>"
                  "<a id=\"out\" href=\"ms-its:" + other + "::/chapter2/frames.htm\">frames</a></body></html>"}}));
  Reader reader(sandbox_, server_->Display(), book.Path());
  ASSERT_TRUE(reader.Running()) << reader.Log();
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
  const std::set<std::string> before = Files();

  // The page's own script read its address, "::" and all.
  EXPECT_EQ(reader.Eval("document.getElementById('here').textContent"), "ms-its:" + book.Path() + "::/a.htm");

  // Into the other book, at its frameset: both frames show their pages.
  const char* kOut =
      "(function(){var r=document.getElementById('out').getClientRects()[0];"
      "return Math.round(r.left+5)+' '+Math.round(r.top+r.height/2);})()";
  ASSERT_NO_FATAL_FAILURE(ClickAt(reader, kOut));
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 2));
  EXPECT_EQ(reader.State()["title"], "Tessaly Test Book");
  EXPECT_EQ(reader.Eval("document.title"), "Frames");
  const char* kFrames =
      "Array.from(document.querySelectorAll('frame')).map(f => f.contentDocument && f.contentDocument.title)"
      ".join('|')";
  EXPECT_EQ(reader.Ask(std::string("eval-async for (let i = 0; i < 50; ++i) { if (") + kFrames +
                       " === 'Left frame|Right frame') break; await new Promise(r => setTimeout(r, 100)); } return " +
                       kFrames + ";"),
            "Left frame|Right frame");
  // A link of the left frame aimed at the right one loads there; the
  // frameset stays.
  ASSERT_EQ(reader.Eval("document.querySelector('frame[name=right]').contentWindow.location.href = 'about:blank'; 1"),
            "1");
  const char* kLeftLink =
      "(function(){var f=document.querySelector('frame[name=left]').getBoundingClientRect();"
      "var a=document.querySelector('frame[name=left]').contentDocument.querySelector('a').getClientRects()[0];"
      "return Math.round(f.left+a.left+5)+' '+Math.round(f.top+a.top+a.height/2);})()";
  ASSERT_NO_FATAL_FAILURE(ClickAt(reader, kLeftLink));
  EXPECT_EQ(reader.Ask("eval-async for (let i = 0; i < 50; ++i) { const d = "
                       "document.querySelector('frame[name=right]').contentDocument; if (d && d.title === 'Right frame') "
                       "break; await new Promise(r => setTimeout(r, 100)); } return document.title + '|' + "
                       "document.querySelector('frame[name=right]').contentDocument.title;"),
            "Frames|Right frame");

  // The other book came in a tab of its own; Back returns to the first
  // book's tab, at its page.
  EXPECT_EQ(reader.State()["tabs"], "2");
  ASSERT_EQ(reader.Ask("button 303"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 2));
  EXPECT_EQ(reader.State()["title"], "Addresses");
  EXPECT_EQ(reader.Eval("document.title"), "A");

  // Nothing was written while the books were read.
  EXPECT_EQ(Files(), before);
  EXPECT_EQ(reader.Ask("close"), "closed");
}

// A frame whose page is on the web is never loaded: it shows a notice with
// the address as a link, and a click on the link hands it to the desktop.
TEST_F(ReaderPages, AFrameOnTheWebShowsItsAddressToClick) {
  test::TempFile book(BookOf(
      "f.htm", "Web frame",
      {{"/f.htm", "<html><head><title>F</title></head><frameset cols=\"50%,50%\">"
                  "<frame name=\"in\" src=\"in.htm\"><frame name=\"web\" src=\"http://example.com/page.htm\">"
                  "</frameset></html>"},
       {"/in.htm", "<html><head><title>In</title></head><body>inside</body></html>"}}));
  Reader reader(sandbox_, server_->Display(), book.Path());
  ASSERT_TRUE(reader.Running()) << reader.Log();
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
  const char* kWebFrame = "document.querySelector('frame[name=web]')";
  EXPECT_EQ(reader.Ask(std::string("eval-async for (let i = 0; i < 50; ++i) { const d = ") + kWebFrame +
                       ".contentDocument; if (d && d.querySelector('a')) break; await new Promise(r => "
                       "setTimeout(r, 100)); } const d = " + kWebFrame + ".contentDocument; return d.location.href + "
                       "'|' + d.querySelector('a').textContent + '|' + document.querySelector('frame[name=in]')"
                       ".contentDocument.title;"),
            "about:blank|http://example.com/page.htm|In");
  EXPECT_EQ(reader.State().count("external"), 0u);
  const std::string link = std::string("(function(){var f=") + kWebFrame + ".getBoundingClientRect();var a=" +
                           kWebFrame + ".contentDocument.querySelector('a').getClientRects()[0];"
                           "return Math.round(f.left+a.left+5)+' '+Math.round(f.top+a.top+a.height/2);})()";
  ASSERT_NO_FATAL_FAILURE(ClickAt(reader, link));
  EXPECT_EQ(reader.Ask("until external=http://example.com/page.htm"), "idle");
  EXPECT_EQ(reader.Eval("document.title"), "F") << "the frameset stays";
  EXPECT_EQ(reader.Ask("close"), "closed");
}

std::size_t Count(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

// A tab out of sight lets go of its page view. Shown again, it shows its
// page's picture from the first frame, then the page itself where it was
// read. One web context serves every tab, and still each page reads only
// the books open in the window.
TEST_F(ReaderPages, ATabComesBackFromItsPictureAndPagesReadOnlyOpenBooks) {
  std::string tall = "<html><head><title>Tall</title></head><body>";
  for (int i = 0; i < 400; ++i) tall += "<p>line " + std::to_string(i) + "</p>";
  test::TempFile book(BookOf("a.htm", "Tall", {{"/a.htm", tall + "</body></html>"}}));
  const std::string basic = TestBook("basic/basic.chm");
  Reader reader(sandbox_, server_->Display(), book.Path());
  ASSERT_TRUE(reader.Running()) << reader.Log();
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
  ASSERT_EQ(reader.Eval("window.scrollTo(0, 1500); 1"), "1");
  // The page reports where it is at its next frame.
  for (int i = 0; i < 200 && !reader.State()["scroll"].starts_with("1500 "); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(reader.State()["scroll"].starts_with("1500 ")) << reader.State()["scroll"];
  // Two more books: the first tab is neither in front nor the one just left.
  int pages = 1;
  for (const std::string& other : {basic, TestBook("plain/plain.chm")}) {
    ASSERT_EQ(reader.Ask("choose-file " + other), "ok");
    ASSERT_EQ(reader.Ask("menu 1031"), "ok");
    ASSERT_NO_FATAL_FAILURE(Settle(reader, ++pages));
  }
  ASSERT_EQ(reader.State()["tabs"], "3");

  const std::optional<std::string> painted = reader.Ask("switch-tab");
  ASSERT_TRUE(painted && !painted->starts_with("error")) << painted.value_or("no answer");
  EXPECT_EQ(reader.State()["picture"], "1") << "its picture, before its page comes back";
  ASSERT_NO_FATAL_FAILURE(Settle(reader, ++pages));
  ASSERT_EQ(reader.Ask("until picture=0"), "idle");
  EXPECT_EQ(reader.State()["page"], "a.htm");
  EXPECT_EQ(reader.Eval("document.scrollingElement.scrollTop"), "1500") << "as far down as it was read";

  // A picture of a book open in another tab loads; once that tab has
  // closed, none of its book does (its own page had shown that one).
  const auto probe = [&](const std::string& object) {
    return reader.Ask("eval-async return await new Promise(done => { const i = new Image(); "
                      "i.onload = () => done('loaded'); i.onerror = () => done('refused'); i.src = 'ms-its:" +
                      basic + "::/" + object + "'; });")
        .value_or("no answer");
  };
  EXPECT_EQ(probe("images/photo.png"), "loaded");
  // (A switch is answered once painted; its page is back when the tab is
  // no longer busy.)
  ASSERT_TRUE(reader.Ask("switch-tab"));
  ASSERT_EQ(reader.Ask("until busy=0"), "idle");
  ASSERT_EQ(reader.State()["book"], basic);
  ASSERT_EQ(reader.Ask("menu 1045"), "ok");
  ASSERT_EQ(reader.Ask("until tabs=2"), "idle");
  ASSERT_EQ(reader.Ask("until busy=0"), "idle");
  for (int i = 0; i < 2 && reader.State()["book"] != book.Path(); ++i) {
    ASSERT_TRUE(reader.Ask("switch-tab"));
    ASSERT_EQ(reader.Ask("until busy=0"), "idle");
  }
  ASSERT_EQ(reader.State()["book"], book.Path());
  EXPECT_EQ(probe("images/logo.gif"), "refused");
  EXPECT_EQ(reader.Ask("close"), "closed");
}

// File > Export as PDF: WebKit lays out the book's print document off
// screen, twice, while the window goes on answering; the PDF has the
// book's contents as its outline and its links between topics.
TEST_F(ReaderPages, ExportWritesTheBookAsAPdfWithOutlineAndLinks) {
  if (test::CommandOutput("command -v qpdf").empty()) GTEST_SKIP() << "qpdf missing (apt-get install qpdf)";
  Reader reader(sandbox_, server_->Display(), TestBook("basic/basic.chm"));
  ASSERT_TRUE(reader.Running()) << reader.Log();
  ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
  const std::string pdf = sandbox_.Root() + "/book.pdf";
  ASSERT_EQ(reader.Ask("choose-file " + pdf), "ok");
  ASSERT_EQ(reader.Ask("menu 1049"), "ok");
  // The file appears whole, once both prints are done (60 s at most).
  for (int i = 0; i < 600 && !fs::exists(pdf); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(fs::exists(pdf)) << reader.Log();
  const std::string quoted = "'" + pdf + "'";
  // Each topic starts a page of its own: more than one page.
  EXPECT_GT(std::atoi(test::CommandOutput("qpdf --show-npages " + quoted).c_str()), 3);
  // basic.hhc has six entries.
  EXPECT_EQ(Count(test::CommandOutput("qpdf --json --json-key=outlines " + quoted), "\"title\": "), 6u);
  EXPECT_GE(Count(test::CommandOutput("qpdf --json --json-key=qpdf " + quoted), "\"/Subtype\": \"/Link\""), 1u);
  EXPECT_EQ(reader.Ask("dialog?").value_or(""), "none") << "no error was shown";
  EXPECT_EQ(reader.Ask("close"), "closed");
}

// Contents of 100,000 entries, in a row and nested 100,000 deep, come into
// the panel within the harness's patience (a tree filled entry by entry
// took minutes).
TEST_F(ReaderPages, AHundredThousandContentsEntriesShowAtOnce) {
  sandbox_.windowSize = "1280x900";
  for (const bool nested : {false, true}) {
    SCOPED_TRACE(nested ? "nested" : "flat");
    constexpr int kEntries = 100000;
    std::string sitemap = "<HTML><BODY><UL>";
    for (int i = 0; i < kEntries; ++i) {
      sitemap += "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"E" + std::to_string(i) +
                 "\"><param name=\"Local\" value=\"a.htm\"></OBJECT>";
      if (nested) sitemap += "<UL>";
    }
    sitemap += "</UL></BODY></HTML>";
    test::TempFile book(BookOf("a.htm", "Contents",
                               {{"/toc.hhc", sitemap}, {"/a.htm", "<html><head><title>A</title></head><body>a</body></html>"}},
                               std::string("\0\0\x08\0toc.hhc\0", 12)));  // record 0: the contents file
    Reader reader(sandbox_, server_->Display(), book.Path());
    ASSERT_TRUE(reader.Running()) << reader.Log();
    ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
    auto state = reader.State();
    EXPECT_EQ(state["visible"], "tree page");
    EXPECT_EQ(state["working"], "0");
    EXPECT_EQ(reader.Eval("document.title"), "A");
    EXPECT_EQ(reader.Ask("close"), "closed");
  }
}

}  // namespace
}  // namespace tessaly::e2e
