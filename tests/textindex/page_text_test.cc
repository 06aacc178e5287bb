// Pages to plain text: markup dropped, references decoded, charsets chosen,
// and linear work on hostile pages.
#include <gtest/gtest.h>

#include <string>

#include "codec/codec.h"
#include "textindex/text_index.h"

namespace tessaly::textindex {
namespace {

TEST(PageText, MarkupToText) {
  struct Case {
    const char* html;
    const char* title;
    const char* text;
  };
  const Case cases[] = {
      {"<html><head><title> A  &amp; B </title></head><body><p>One</p><p>Two</p></body></html>", "A & B", "One\nTwo"},
      {"<p>a<script>var x = '<p>no</p>';</script>b</p>", "", "a b"},
      {"<STYLE type=text/css>p{}</STYLE><P>x</P><Script>y</SCRIPT>z", "", "x\nz"},
      {"<!-- <p>hidden</p> -->shown<!-- never closed", "", "shown"},
      {"<!DOCTYPE html><?xml version='1.0'?>x", "", "x"},
      {"Hel<b>lo</b> wor<i>ld</i>", "", "Hello world"},
      {"a<br>b<div>c</div>d<td>e</td><td>f", "", "a\nb\nc\nd e f"},
      {"  lots \t of\r\n space  ", "", "lots of space"},
      {"<pre>line 1\nline 2</pre>after", "", "line 1\nline 2\nafter"},
      {"1 < 2 and 3 <= 4 & 5", "", "1 < 2 and 3 <= 4 & 5"},
      {"caf&eacute; &Omega;&mu; &#233;&#x4E2D;&#X4e2d; &euro;&#128; &hellip;", "",
       "caf\xC3\xA9 \xCE\xA9\xCE\xBC \xC3\xA9\xE4\xB8\xAD\xE4\xB8\xAD \xE2\x82\xAC\xE2\x82\xAC \xE2\x80\xA6"},
      {"&nbsp;a&nbsp;&nbsp;b&unknown; &amp &#0; &#xD800; &#99999999999;", "",
       "a b&unknown; & \xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD"},
      {"<script src='x.js'/><p>after a closed script</p>", "", "after a closed script"},
      {"<title>first</title><title>second</title>body", "first", "body"},
      // Markup inside the title: all of its text, as a reader sees it.
      {"<title>Markup <b>inside</b> the &amp; <span class=x>title</span> 1 < 2</title>",
       "Markup inside the & title 1 < 2", ""},
  };
  for (const Case& c : cases) {
    const PageText page = HtmlToText(c.html);
    EXPECT_EQ(page.title, c.title) << c.html;
    EXPECT_EQ(page.text, c.text) << c.html;
  }
}

TEST(PageText, DeclaredCharsetAndCodePage) {
  EXPECT_EQ(DeclaredCharset("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=GB2312\">"), "gb2312");
  EXPECT_EQ(DeclaredCharset("<head><META CHARSET='utf-8'/></head>"), "utf-8");
  EXPECT_EQ(DeclaredCharset("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><html>"), "shift_jis");
  EXPECT_EQ(DeclaredCharset("<body><meta charset=utf-8>"), std::nullopt);  // only before <body>
  EXPECT_EQ(DeclaredCharset("<p>charset=utf-8</p>"), std::nullopt);        // only in <meta>
  EXPECT_EQ(CodePageOfCharset("windows-1251"), 1251);
  EXPECT_EQ(CodePageOfCharset("x-sjis"), 932);
  EXPECT_EQ(CodePageOfCharset("utf-8"), 65001);
  EXPECT_EQ(CodePageOfCharset("koi8-r"), std::nullopt);
}

TEST(PageText, DecodingFollowsDeclarationThenUtf8ThenBookCodePage) {
  const IconvCodec codec;
  struct Case {
    std::string bytes;
    int bookCodePage;
    const char* text;
  };
  const Case cases[] = {
      // Declared GBK in a Western book.
      {"<meta charset=gb2312><p>\xBA\xAF\xCA\xFD</p>", 1252, "\xE5\x87\xBD\xE6\x95\xB0"},
      // Undeclared: the book's code page (Cyrillic), or UTF-8 when the bytes are well-formed UTF-8.
      {"<p>\xCF\xF0\xE8\xE2\xE5\xF2</p>", 1251, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {"<p>\xD0\x9F\xD1\x80\xD0\xB8</p>", 1251, "\xD0\x9F\xD1\x80\xD0\xB8"},
      // A byte-order mark wins over the book's code page; a declared charset iconv lacks falls back.
      {"\xEF\xBB\xBF<p>\xC3\xA9</p>", 932, "\xC3\xA9"},
      {"<meta charset=koi8-r><p>\xE9</p>", 1252, "\xC3\xA9"},
      // A book code page no converter knows reads as Windows-1252.
      {"<p>\xE9</p>", 0, "\xC3\xA9"},
  };
  for (const Case& c : cases) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(ExtractPageText(bytes, c.bookCodePage, codec).text, c.text) << c.bytes;
  }
}

// Each hostile page takes one pass; work growing with the square of these
// sizes would take hours and end the test run by its time limit.
TEST(PageText, HostilePagesTakeOnePass) {
  std::string tags;
  for (int i = 0; i < 30000; ++i) tags += "<div><a href='x'>w</a>";
  std::string entities;
  while (entities.size() < 10'000'000) entities += "&eacute;&#x4E2D;&bogus;&";
  const std::string unclosed = "<script>" + std::string(5'000'000, '<') + "</scrip";
  std::string openers;
  for (int i = 0; i < 200000; ++i) openers += "<title><script><!--";
  std::string metas = "<html><head>";
  while (metas.size() < 64 * 1024) metas += "<meta http-equiv=x ";
  for (const std::string* page : std::initializer_list<const std::string*>{&tags, &entities, &unclosed, &openers, &metas}) {
    const PageText text = HtmlToText(*page);
    EXPECT_EQ(DeclaredCharset(*page), std::nullopt);
    EXPECT_LE(text.text.size(), page->size());
  }
  EXPECT_EQ(HtmlToText(tags).text.size(), 30000 * 2 - 1);  // "w" per line
}

}  // namespace
}  // namespace tessaly::textindex
