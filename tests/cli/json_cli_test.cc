// tessaly-cli --version and the --json documents of info, toc, topics, index
// and search: read back with a strict reader, checked against the books'
// sources and against the plain lines of the same command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "support/json_reader.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

using test::CliRun;
using test::JsonValue;
using test::ParseJson;
using test::Quote;
using test::RunCli;

// Runs a command that must succeed and print exactly one document.
JsonValue Document(const std::string& args) {
  const CliRun run = RunCli(args);
  EXPECT_EQ(run.status, 0) << args << "\n" << run.err;
  EXPECT_TRUE(!run.out.empty() && run.out.back() == '\n') << args;
  return ParseJson(run.out);
}

std::string Plain(const std::string& args) {
  const CliRun run = RunCli(args);
  EXPECT_EQ(run.status, 0) << args << "\n" << run.err;
  return run.out;
}

std::string TextOrEmpty(const JsonValue& value) { return value.IsNull() ? std::string() : value.Str(); }

// The documents turned back into the plain commands' lines.

void AppendTocLines(const JsonValue& entries, int depth, std::string& out) {
  for (const JsonValue& entry : entries.items) {
    EXPECT_EQ(entry.keys, (std::vector<std::string>{"name", "path", "children"}));
    out += std::string(2 * static_cast<std::size_t>(depth), ' ') + TextOrEmpty(entry["name"]) + "\t" +
           TextOrEmpty(entry["path"]) + "\n";
    AppendTocLines(entry["children"], depth + 1, out);
  }
}

void AppendIndexLines(const JsonValue& keywords, int depth, std::string& out) {
  const std::string indent(2 * static_cast<std::size_t>(depth), ' ');
  for (const JsonValue& keyword : keywords.items) {
    EXPECT_EQ(keyword.keys, (std::vector<std::string>{"keyword", "targets", "children"}));
    out += indent + keyword["keyword"].Str() + "\n";
    for (const JsonValue& target : keyword["targets"].items) {
      EXPECT_EQ(target.keys, (std::vector<std::string>{"name", "path"}));
      out += indent + "  " + TextOrEmpty(target["name"]) + "\t" + TextOrEmpty(target["path"]) + "\n";
    }
    AppendIndexLines(keyword["children"], depth + 1, out);
  }
}

std::string TopicLines(const JsonValue& topics) {
  std::string out;
  for (const JsonValue& topic : topics.items) {
    EXPECT_EQ(topic.keys, (std::vector<std::string>{"number", "title", "path"}));
    out += std::to_string(topic["number"].Int()) + "\t" + topic["title"].Str() + "\t" + TextOrEmpty(topic["path"]) +
           "\n";
  }
  return out;
}

// A #SYSTEM object: version 3, then records of code, length and data.
std::string SystemObject(const std::vector<std::pair<int, std::string>>& records) {
  std::string out("\x03\x00\x00\x00", 4);
  for (const auto& [code, data] : records) {
    out += static_cast<char>(code & 0xFF);
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(data.size() & 0xFF);
    out += static_cast<char>(data.size() >> 8);
    out += data;
  }
  return out;
}

const std::string kEnglish("\x09\x04\0\0", 4);  // 1033: code page 1252

std::string Item(const std::string& params) { return "<LI><OBJECT type=\"text/sitemap\">" + params + "</OBJECT>\n"; }

std::string Param(const std::string& name, const std::string& value) {
  return "<param name=\"" + name + "\" value=\"" + value + "\">";
}

// A book of #SYSTEM records and sitemaps only.
test::TempFile SitemapBook(const std::vector<std::pair<int, std::string>>& records,
                           const std::vector<std::pair<std::string, std::string>>& files) {
  test::BookBuilder builder;
  builder.AddFile("/#SYSTEM", SystemObject(records), false);
  builder.AddFile("/#STRINGS", std::string(1, '\0'), false);
  for (const auto& [name, bytes] : files) builder.AddFile(name, bytes);
  return test::TempFile(builder.Build());
}

TEST(CliJson, VersionPrintsTheProjectVersion) {
  std::ifstream cmake(std::string(TESSALY_TEST_BOOKS) + "/../../CMakeLists.txt");
  const std::string text((std::istreambuf_iterator<char>(cmake)), std::istreambuf_iterator<char>());
  std::smatch match;
  ASSERT_TRUE(std::regex_search(text, match, std::regex(R"(project\(Tessaly VERSION ([0-9.]+))")));
  const CliRun run = RunCli("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "tessaly-cli " + match[1].str() + "\n");
  EXPECT_EQ(run.err, "");
  const CliRun help = RunCli("--help");
  EXPECT_NE(help.out.find("--version"), std::string::npos);
  EXPECT_NE(help.out.find("--json"), std::string::npos);
}

TEST(CliJson, InfoHoldsThePlainFactsUnderStableNames) {
  const std::string book = Quote(test::TestBook("basic"));
  const JsonValue info = Document("info --json " + book);
  const std::vector<std::pair<std::string, std::string>> names = {
      {"title", "title"},
      {"default topic", "default_topic"},
      {"home topic", "home_topic"},
      {"contents file", "contents_file"},
      {"index file", "index_file"},
      {"language id", "language_id"},
      {"code page", "code_page"},
      {"jump label", "jump_label"},
      {"jump target", "jump_target"},
      {"topics", "topic_count"},
      {"contents nodes", "contents_node_count"},
      {"entries", "directory_entry_count"},
  };
  std::vector<std::string> keys;
  std::string lines;
  for (const auto& [label, key] : names) {
    keys.push_back(key);
    const JsonValue& value = info[key];
    lines += label + ": " +
             (value.type == JsonValue::Type::kNumber ? std::to_string(value.Int()) : TextOrEmpty(value)) + "\n";
  }
  EXPECT_EQ(info.keys, keys);
  EXPECT_EQ(lines, Plain("info " + book));

  // From basic.hhp: the project's title, files and language.
  EXPECT_EQ(info["title"].Str(), "Tessaly Test Book");
  EXPECT_EQ(info["default_topic"].Str(), "index.htm");
  EXPECT_EQ(info["home_topic"].Str(), "index.htm");
  EXPECT_EQ(info["contents_file"].Str(), "basic.hhc");
  EXPECT_EQ(info["index_file"].Str(), "basic.hhk");
  EXPECT_EQ(info["language_id"].Int(), 1033);
  EXPECT_EQ(info["code_page"].Int(), 1252);
  EXPECT_TRUE(info["jump_label"].IsNull());
  EXPECT_TRUE(info["jump_target"].IsNull());
  EXPECT_EQ(info["contents_node_count"].Int(), 6);
  EXPECT_EQ(info["topic_count"].Int(), static_cast<std::int64_t>(Document("topics --json " + book)["topics"].Size()));
}

TEST(CliJson, InfoGivesNullForWhatTheBookLacks) {
  // A title with a quote, a backslash, a control byte, a tab, an e-acute and a
  // byte that code page 1252 leaves undefined; no sitemaps, no default topic.
  test::TempFile book = SitemapBook({{4, kEnglish}, {3, std::string("say \"hi\" C:\\x\x01\t\xE9\x81") + '\0'}}, {});
  const CliRun run = RunCli("info " + Quote(book.Path()) + " --json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("  \"title\": \"say \\\"hi\\\" C:\\\\x\\u0001\\t\xC3\xA9\xEF\xBF\xBD\",\n"), std::string::npos)
      << run.out;
  const JsonValue info = ParseJson(run.out);
  EXPECT_EQ(info["title"].Str(), "say \"hi\" C:\\x\x01\t\xC3\xA9\xEF\xBF\xBD");
  for (const char* key : {"default_topic", "home_topic", "contents_file", "index_file", "jump_label", "jump_target"})
    EXPECT_TRUE(info[key].IsNull()) << key;
  EXPECT_EQ(info["topic_count"].Int(), 0);
  EXPECT_EQ(info["contents_node_count"].Int(), 0);
  // One directory entry for each line that ls prints.
  const std::string list = Plain("ls " + Quote(book.Path()));
  EXPECT_EQ(info["directory_entry_count"].Int(), std::count(list.begin(), list.end(), '\n'));
}

TEST(CliJson, TocIsTheNestedContentsTree) {
  const std::string book = Quote(test::TestBook("basic"));
  const CliRun run = RunCli("toc --json " + book);
  ASSERT_EQ(run.status, 0) << run.err;
  // basic.hhc, whole: the layout is part of the interface.
  EXPECT_EQ(run.out,
            "{\n"
            "  \"entries\": [\n"
            "    {\n"
            "      \"name\": \"Welcome\",\n"
            "      \"path\": \"index.htm\",\n"
            "      \"children\": []\n"
            "    },\n"
            "    {\n"
            "      \"name\": \"Chapter 1\",\n"
            "      \"path\": \"chapter1/intro.htm\",\n"
            "      \"children\": [\n"
            "        {\n"
            "          \"name\": \"Details\",\n"
            "          \"path\": \"chapter1/details.htm\",\n"
            "          \"children\": []\n"
            "        },\n"
            "        {\n"
            "          \"name\": \"Part two\",\n"
            "          \"path\": \"chapter1/details.htm#part2\",\n"
            "          \"children\": []\n"
            "        }\n"
            "      ]\n"
            "    },\n"
            "    {\n"
            "      \"name\": \"Chapter 2 & frames\",\n"
            "      \"path\": \"chapter2/frames.htm\",\n"
            "      \"children\": [\n"
            "        {\n"
            "          \"name\": \"My Page\",\n"
            "          \"path\": \"chapter2/My Page.htm\",\n"
            "          \"children\": []\n"
            "        }\n"
            "      ]\n"
            "    }\n"
            "  ]\n"
            "}\n");
  std::string lines;
  AppendTocLines(ParseJson(run.out)["entries"], 0, lines);
  EXPECT_EQ(lines, Plain("toc " + book));
  EXPECT_EQ(Document("toc " + book + " --json")["entries"].Size(), 3u);  // the option after the book
}

TEST(CliJson, TocNestsDeepAndClimbsBackSeveralLevels) {
  const std::string hhc = "<UL>" + Item(Param("Name", "A") + Param("Local", "a.htm")) + "<UL>" +
                          Item(Param("Name", "B") + Param("Local", "b.htm")) + "<UL>" +
                          Item(Param("Name", "C") + Param("Local", "c.htm")) + "<UL>" +
                          Item(Param("Name", "D, no page")) + "</UL></UL>" +
                          Item(Param("Name", "Say &quot;\\&quot; caf\xE9") + Param("Local", "e.htm")) + "</UL>" +
                          Item(Param("Local", "nameless.htm")) + "</UL>";
  test::TempFile book = SitemapBook({{4, kEnglish}, {0, std::string("t.hhc") + '\0'}}, {{"/t.hhc", hhc}});
  const JsonValue toc = Document("toc --json " + Quote(book.Path()));
  const JsonValue& entries = toc["entries"];
  ASSERT_EQ(entries.Size(), 2u);
  const JsonValue& a = entries[0];
  EXPECT_EQ(a["name"].Str(), "A");
  ASSERT_EQ(a["children"].Size(), 2u);
  const JsonValue& b = a["children"][0];
  EXPECT_EQ(b["path"].Str(), "b.htm");
  ASSERT_EQ(b["children"].Size(), 1u);
  const JsonValue& c = b["children"][0];
  EXPECT_EQ(c["path"].Str(), "c.htm");
  ASSERT_EQ(c["children"].Size(), 1u);
  EXPECT_EQ(c["children"][0]["name"].Str(), "D, no page");
  EXPECT_TRUE(c["children"][0]["path"].IsNull());
  EXPECT_EQ(c["children"][0]["children"].Size(), 0u);
  EXPECT_EQ(a["children"][1]["name"].Str(), "Say \"\\\" caf\xC3\xA9");
  EXPECT_EQ(a["children"][1]["children"].Size(), 0u);
  EXPECT_TRUE(entries[1]["name"].IsNull());
  EXPECT_EQ(entries[1]["path"].Str(), "nameless.htm");

  std::string lines;
  AppendTocLines(entries, 0, lines);
  EXPECT_EQ(lines, Plain("toc " + Quote(book.Path())));

  // No contents at all: an empty list, not an error.
  test::TempFile none = SitemapBook({{4, kEnglish}}, {});
  EXPECT_EQ(RunCli("toc --json " + Quote(none.Path())).out, "{\n  \"entries\": []\n}\n");
}

TEST(CliJson, TopicsListTheTopicTable) {
  const std::string book = Quote(test::TestBook("basic"));
  const JsonValue topics = Document("topics --json " + book)["topics"];
  ASSERT_GT(topics.Size(), 11u);
  for (std::size_t i = 0; i < topics.Size(); ++i) EXPECT_EQ(topics[i]["number"].Int(), static_cast<std::int64_t>(i));
  EXPECT_EQ(topics[1]["title"].Str(), "Introduction");
  EXPECT_EQ(topics[1]["path"].Str(), "chapter1/intro.htm");
  EXPECT_EQ(topics[6]["title"].Str(), "My Page");
  EXPECT_EQ(topics[6]["path"].Str(), "chapter2/My Page.htm");
  EXPECT_TRUE(topics[11]["path"].IsNull());  // the plain line leaves its path empty
  EXPECT_EQ(TopicLines(topics), Plain("topics " + book));
}

TEST(CliJson, IndexKeepsKeywordsTargetsAndLevels) {
  const std::string book = Quote(test::TestBook("basic"));
  const JsonValue keywords = Document("index --json " + book)["keywords"];
  // basic.hhk, top level sorted with '_' and case ignored.
  ASSERT_EQ(keywords.Size(), 4u);
  EXPECT_EQ(keywords[0]["keyword"].Str(), "_aardvark");
  EXPECT_EQ(keywords[1]["keyword"].Str(), "Frames");
  EXPECT_EQ(keywords[2]["keyword"].Str(), "giraffe");
  EXPECT_EQ(keywords[3]["keyword"].Str(), "zebra");
  const JsonValue& frames = keywords[1];
  ASSERT_EQ(frames["targets"].Size(), 1u);
  EXPECT_TRUE(frames["targets"][0]["name"].IsNull());
  EXPECT_EQ(frames["targets"][0]["path"].Str(), "chapter2/frames.htm");
  ASSERT_EQ(frames["children"].Size(), 2u);
  EXPECT_EQ(frames["children"][0]["keyword"].Str(), "left pane");
  EXPECT_EQ(frames["children"][1]["keyword"].Str(), "right pane");
  EXPECT_EQ(frames["children"][1]["targets"][0]["path"].Str(), "chapter2/right.htm");
  const JsonValue& giraffe = keywords[2]["targets"];
  ASSERT_EQ(giraffe.Size(), 2u);
  EXPECT_EQ(giraffe[1]["path"].Str(), "chapter2/My Page.htm");
  const JsonValue& zebra = keywords[3]["targets"];
  ASSERT_EQ(zebra.Size(), 2u);
  EXPECT_EQ(zebra[0]["name"].Str(), "Introduction");
  EXPECT_EQ(zebra[1]["name"].Str(), "Details");
  EXPECT_EQ(zebra[1]["path"].Str(), "chapter1/details.htm");
  EXPECT_EQ(keywords[3]["children"].Size(), 0u);

  std::string lines;
  AppendIndexLines(keywords, 0, lines);
  EXPECT_EQ(lines, Plain("index " + book));
}

TEST(CliJson, IndexClimbsBackFromDeeperLevels) {
  const std::string hhk = "<UL>" + Item(Param("Name", "b") + Param("Local", "b.htm")) + "<UL>" +
                          Item(Param("Name", "z") + Param("Local", "z.htm")) + "<UL>" +
                          Item(Param("Name", "deep") + Param("Name", "T") + Param("Local", "d.htm")) + "</UL>" +
                          Item(Param("Name", "a") + Param("Local", "a.htm")) + "</UL>" +
                          Item(Param("Name", "_A") + Param("Local", "top.htm")) + "</UL>";
  test::TempFile book = SitemapBook({{4, kEnglish}, {1, std::string("i.hhk") + '\0'}}, {{"/i.hhk", hhk}});
  const JsonValue keywords = Document("index --json " + Quote(book.Path()))["keywords"];
  ASSERT_EQ(keywords.Size(), 2u);
  EXPECT_EQ(keywords[0]["keyword"].Str(), "_A");
  const JsonValue& b = keywords[1];
  ASSERT_EQ(b["children"].Size(), 2u);
  EXPECT_EQ(b["children"][0]["children"][0]["keyword"].Str(), "deep");
  EXPECT_EQ(b["children"][0]["children"][0]["targets"][0]["name"].Str(), "T");
  EXPECT_EQ(b["children"][1]["keyword"].Str(), "a");
  std::string lines;
  AppendIndexLines(keywords, 0, lines);
  EXPECT_EQ(lines, Plain("index " + Quote(book.Path())));
}

TEST(CliJson, SearchListsTheTopicsFoundInThePlainOrder) {
  const JsonValue basic = Document("search --json " + Quote(test::TestBook("basic")) + " giraffe");
  EXPECT_EQ(basic.keys, (std::vector<std::string>{"word", "topics"}));
  EXPECT_EQ(basic["word"].Str(), "giraffe");
  // The pages that say "giraffe", by title.
  EXPECT_EQ(TopicLines(basic["topics"]), "6\tMy Page\tchapter2/My Page.htm\n5\tRight frame\tchapter2/right.htm\n");

  const std::string search = Quote(test::TestBook("search"));
  const JsonValue quokka = Document("search " + search + " --json Quokka");
  EXPECT_EQ(quokka["word"].Str(), "Quokka");
  EXPECT_EQ(TopicLines(quokka["topics"]), Plain("search " + search + " Quokka"));
  EXPECT_EQ(quokka["topics"].Size(), 5u);

  const CliRun miss = RunCli("search " + search + " okapi --json");
  EXPECT_EQ(miss.status, 0) << miss.err;
  EXPECT_EQ(miss.out, "{\n  \"word\": \"okapi\",\n  \"topics\": []\n}\n");

  const std::string big = Quote(test::TestBook("bigsearch"));
  const JsonValue zebra = Document("search --json " + big + " ZEBRA");
  EXPECT_EQ(zebra["topics"].Size(), 5000u);
  EXPECT_EQ(TopicLines(zebra["topics"]), Plain("search " + big + " ZEBRA"));
}

TEST(CliJson, SearchWordIsEscapedAndInvalidUtf8Replaced) {
  const CliRun run = RunCli("search --json " + Quote(test::TestBook("search")) + " " +
                            Quote(std::string("q\"u\\o\x01k\xFF")));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "{\n  \"word\": \"q\\\"u\\\\o\\u0001k\xEF\xBF\xBD\",\n  \"topics\": []\n}\n");
  EXPECT_EQ(ParseJson(run.out)["word"].Str(), "q\"u\\o\x01k\xEF\xBF\xBD");

  // After "--" a word may start with dashes.
  EXPECT_EQ(Document("search --json " + Quote(test::TestBook("search")) + " -- --json")["word"].Str(), "--json");
}

TEST(CliJson, BadOptionsAreBadUsage) {
  const std::string book = Quote(test::TestBook("basic"));
  for (const std::string& args : {"toc --xml " + book, "info " + book + " --jsn", "ls --json " + book,
                                 "cat --json " + book + " index.htm", "search --json " + book,
                                 std::string("topics --json"), "index --json " + book + " " + book}) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(run.out, "") << args;
    EXPECT_NE(run.err.find("Usage: tessaly-cli "), std::string::npos) << args << run.err;
  }
  EXPECT_NE(RunCli("toc --xml " + book).err.find("unknown option '--xml'"), std::string::npos);
}

TEST(CliJson, HelpNamesEveryFieldTheDocumentsUse) {
  const std::string book = Quote(test::TestBook("basic"));
  const std::map<std::string, std::string> commands = {
      {"info", "info --json " + book},   {"toc", "toc --json " + book},
      {"topics", "topics --json " + book}, {"index", "index --json " + book},
      {"search", "search --json " + book + " giraffe"},
  };
  for (const auto& [name, args] : commands) {
    const CliRun help = RunCli(name + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tessaly-cli " + name + " [--json] BOOK"), std::string::npos) << help.out;
    // Every member name in the document, at any depth.
    const JsonValue document = Document(args);
    std::vector<const JsonValue*> pending = {&document};
    while (!pending.empty()) {
      const JsonValue* value = pending.back();
      pending.pop_back();
      for (const std::string& key : value->keys)
        EXPECT_NE(help.out.find("\"" + key + "\""), std::string::npos) << name << ": " << key;
      for (const JsonValue& item : value->items) pending.push_back(&item);
    }
  }
}

TEST(CliJson, BookErrorsPrintNothingOnStandardOutput) {
  // basic.chm cut short inside its compressed section.
  const auto whole = test::ReadFileBytes(test::TestBook("basic"));
  test::TempFile cut(std::vector<std::uint8_t>(whole.begin(), whole.begin() + 10000));
  const std::string book = Quote(cut.Path());
  for (const std::string command : {"info", "toc", "topics", "index", "search"}) {
    const std::string word = command == "search" ? " giraffe" : "";
    const CliRun json = RunCli(command + " --json " + book + word);
    const CliRun plain = RunCli(command + " " + book + word);
    EXPECT_EQ(json.status, 1) << command;
    EXPECT_EQ(json.out, "") << command;
    EXPECT_FALSE(json.err.empty()) << command;
    EXPECT_EQ(json.err, plain.err) << command;
  }

  const CliRun missing = RunCli("info --json /nonexistent/book.chm");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "tessaly-cli: Can't open chm file: /nonexistent/book.chm. (No such file or directory)\n");

  // An index that fails after some keywords were read.
  const std::string hhk = "<UL>" + Item(Param("Name", "fine") + Param("Local", "f.htm")) +
                          Item(Param("Name", "k") + Param("Name", "t1") + Param("Name", "t2"));
  test::TempFile badIndex = SitemapBook({{4, kEnglish}, {1, std::string("i.hhk") + '\0'}}, {{"/i.hhk", hhk}});
  const CliRun index = RunCli("index --json " + Quote(badIndex.Path()));
  EXPECT_EQ(index.status, 1);
  EXPECT_EQ(index.out, "");
  EXPECT_EQ(index.err.rfind("Error while parse Index file.\n", 0), 0u) << index.err;

  const CliRun longWord =
      RunCli("search --json " + Quote(test::TestBook("search")) + " " + std::string(201, 'q'));
  EXPECT_EQ(longWord.status, 1);
  EXPECT_EQ(longWord.out, "");
  EXPECT_EQ(longWord.err, "Word too big for search, max length 200.\n");
}

}  // namespace
}  // namespace tessaly
