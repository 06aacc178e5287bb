// Tag soup made valid XHTML for EPUB readers: obsolete elements replaced,
// content put where HTML5 allows it, scripts and dead references gone, and
// ids made valid and unique; the result always parses as strict XML.
#include "convert/xhtml_cleaner.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <string>

namespace tessaly::convert {
namespace {

// The body of the cleaned page; references to "missing..." are dropped,
// every other one is kept as written.
std::string CleanBody(const std::string& html, CleanedPage* cleaned = nullptr) {
  HtmlDocument page(html);
  const ReferenceFor keep = [](const xmlNode*, std::string_view value) -> std::optional<std::string> {
    if (value.starts_with("missing")) return std::nullopt;
    return std::string(value);
  };
  CleanedPage result = CleanForEpub(page, keep, "T", "en");
  if (cleaned != nullptr) *cleaned = result;
  const std::string xhtml = page.ToXhtml();
  xmlDocPtr strict = xmlReadMemory(xhtml.data(), static_cast<int>(xhtml.size()), nullptr, nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  EXPECT_NE(strict, nullptr) << "not well-formed: " << xhtml;
  xmlFreeDoc(strict);
  const std::size_t start = xhtml.find("<body>");
  const std::size_t end = xhtml.find("</body>");
  if (start == std::string::npos || end == std::string::npos) return "(no body) " + xhtml;
  return xhtml.substr(start + 6, end - start - 6);
}

TEST(XhtmlCleaner, MakesTagSoupValidHtml5) {
  struct Case {
    const char* html;
    const char* body;
  };
  const Case cases[] = {
      {"<font color=red face=Arial>x</font>", "<span style=\"color: red; font-family: Arial\">x</span>"},
      {"<center>c</center>", "<div style=\"text-align: center\">c</div>"},
      {"<tt>t</tt><strike>s</strike><big>b</big>", "<code>t</code><s>s</s><span>b</span>"},
      {"<p align=RIGHT onclick=\"evil()\" width=50%>p</p>", "<p style=\"text-align: right; width: 50%\">p</p>"},
      {"<ul>loose<li>a</li></ul>", "<ul><li>loose</li><li>a</li></ul>"},
      {"<li>stray</li>", "<div>stray</div>"},
      {"<table border=0 width=100><tr><td colspan=2 nowrap>a</td><td colspan=x>b</td></tr></table>",
       "<table style=\"width: 100px\"><tr><td colspan=\"2\" style=\"white-space: nowrap\">a</td><td>b</td></tr></table>"},
      {"<table border=3><tr>loose<td>a</td></tr></table>",
       "<table border=\"1\"><tr><td>loose</td><td>a</td></tr></table>"},
      {"<span>a<div>block</div></span>", "<div>a<div>block</div></div>"},
      {"<b><table><tr><td>x</td></tr></table></b>",
       "<div style=\"font-weight: bold\"><table><tr><td>x</td></tr></table></div>"},
      {"<script>alert(1)</script><noscript>n</noscript><p>t</p>", "<div>n</div><p>t</p>"},
      {"<img src=missing.gif alt=Alt><img src=a.gif>", "Alt<img src=\"a.gif\" alt=\"\"/>"},
      {"<a href=missing.htm>m</a> <a name=n1>n</a>", "<a>m</a> <a id=\"n1\">n</a>"},
      {"<blink><custom>x</custom></blink>", "<span>x</span>"},
      {"<form><input type=text><select><option>o</select>f</form>", "<div>f</div>"},
      {"<iframe src=\"f.htm\"></iframe>", "<p><a href=\"f.htm\">f.htm</a></p>"},
      {"<p dir=sideways lang=\"en US\" class=c>x</p>", "<p class=\"c\">x</p>"},
      {"<p>a\x01" "b &amp; \"c\"</p><!-- gone -->", "<p>ab &amp; \"c\"</p>"},
  };
  for (const Case& c : cases) EXPECT_EQ(CleanBody(c.html), c.body) << c.html;
}

TEST(XhtmlCleaner, FramesetPagesBecomeLinksToTheirFrames) {
  EXPECT_EQ(CleanBody("<frameset cols=\"20%,*\"><frame src=\"left.htm\" name=nav><frame src=\"main.htm\"></frameset>"),
            "<p><a href=\"left.htm\">nav</a></p><p><a href=\"main.htm\">main.htm</a></p>");
}

TEST(XhtmlCleaner, IdsAreValidXmlNamesAndUnique) {
  CleanedPage cleaned;
  EXPECT_EQ(CleanBody("<p id=\"1 a\">x</p><p id=\"1 a\">y</p><h2 id=ok.name>z</h2>", &cleaned),
            "<p id=\"id_1_20a\">x</p><p>y</p><h2 id=\"ok.name\">z</h2>");
  EXPECT_EQ(cleaned.ids, (std::set<std::string>{"id_1_20a", "ok.name"}));
  EXPECT_EQ(ValidId("sec2"), "sec2");
  EXPECT_EQ(ValidId("日"), "id__E6_97_A5");
}

TEST(XhtmlCleaner, HeadKeepsTitleCharsetAndStyleOnly) {
  HtmlDocument page(
      "<html lang=xx><head><title>old</title><meta http-equiv=refresh content=1><script>x</script>"
      "<style>p{}</style></head><body><link rel=stylesheet href=s.css><p>t</p></body></html>");
  CleanForEpub(
      page, [](const xmlNode*, std::string_view v) { return std::optional<std::string>(std::string(v)); }, "New",
      "ja");
  const std::string xhtml = page.ToXhtml();
  EXPECT_NE(xhtml.find("<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"ja\" xml:lang=\"ja\"><head>"
                       "<meta charset=\"utf-8\"/><title>New</title><style>p{}</style>"
                       "<link rel=\"stylesheet\" href=\"s.css\" type=\"text/css\"/></head>"),
            std::string::npos)
      << xhtml;
}

// The parser stops nesting at its depth limit (what lies deeper is lost, as
// XML readers would refuse it); nothing recurses on the way.
TEST(XhtmlCleaner, DeepNestingIsCutNotFollowed) {
  std::string html = "<p>first</p>";
  for (int i = 0; i < 100000; ++i) html += "<div><span>";
  const std::string body = CleanBody(html + "deep");
  EXPECT_TRUE(body.starts_with("<p>first</p><div><div>")) << body.substr(0, 100);
}

}  // namespace
}  // namespace tessaly::convert
