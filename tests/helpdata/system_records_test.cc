// #SYSTEM records, the code page table and the topic table, from bytes
// built by hand.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "helpdata/helpdata.h"
#include "base/topic_table.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

using test::Append16;
using test::Append32;

void Record(std::vector<std::uint8_t>& out, std::uint16_t code, const std::string& data) {
  Append16(out, code);
  Append16(out, static_cast<std::uint16_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

std::vector<std::uint8_t> System(std::uint32_t version = 3) {
  std::vector<std::uint8_t> out;
  Append32(out, version);
  return out;
}

SystemRecords Read(const std::vector<std::uint8_t>& bytes, std::string* log = nullptr) {
  SystemRecords r{"", "", "", "", 1033};
  std::ostringstream stream;
  Logger logger;
  logger.SetStream(&stream);
  ReadSystemRecords(bytes, r, logger);
  if (log) *log = stream.str();
  return r;
}

TEST(SystemRecords, ReadsTheFiveCodesAndDumpsThem) {
  auto bytes = System();
  Record(bytes, 0, std::string("toc.hhc\0", 8));
  Record(bytes, 9, "skipped record");
  Record(bytes, 1, std::string("index.hhk\0", 10));
  Record(bytes, 2, std::string("start.htm\0junk", 14));
  Record(bytes, 3, std::string("My Book\0", 8));
  Record(bytes, 4, std::string("\x07\x04\x00\x00\x01\x00\x00\x00", 8));
  Record(bytes, 3, std::string("Second Title\0", 13));  // a later record wins
  std::string log;
  SystemRecords r = Read(bytes, &log);
  EXPECT_EQ(r.contentsFile, "toc.hhc");
  EXPECT_EQ(r.indexFile, "index.hhk");
  EXPECT_EQ(r.defaultTopic, "start.htm");
  EXPECT_EQ(r.title, "Second Title");
  EXPECT_EQ(r.languageId, 1031);
  EXPECT_EQ(log,
            "Get #SYSTEM info:\nContents file : toc.hhc\nIndex file    : index.hhk\nDefault file  : start.htm\n"
            "Title         : My Book\nLCID          : 1031\nTitle         : Second Title\n");
}

TEST(SystemRecords, OnlyUnknownCodesLeaveEverythingAsItWas) {
  auto bytes = System(2);
  Record(bytes, 5, "x");
  Record(bytes, 16, "yy");
  SystemRecords r = Read(bytes);
  EXPECT_EQ(r.contentsFile, "");
  EXPECT_EQ(r.languageId, 1033);
  EXPECT_EQ(CodePageForLanguage(r.languageId), 1252);
}

TEST(SystemRecords, WrongVersion) {
  for (std::uint32_t v : {0u, 1u, 4u}) {
    try {
      Read(System(v));
      ADD_FAILURE() << v;
    } catch (const BookError& e) {
      EXPECT_EQ(e.Message(), "Incorrect version number for #SYSTEM file: " + std::to_string(v) + ".");
    }
  }
  EXPECT_THROW(Read({3, 0}), BookError);
}

TEST(SystemRecords, DamagedLengthsStopAtTheEndOfTheObject) {
  // A record that claims more data than the object holds, a text without
  // terminator, a text longer than 255 bytes and a language id cut short.
  auto bytes = System();
  Record(bytes, 0, std::string(300, 'c') + '\0');
  Record(bytes, 3, "no terminator");
  bytes[bytes.size() - 13 - 2] = 0xFF;  // title length 0x..FF: runs past the end
  SystemRecords r = Read(bytes);
  EXPECT_EQ(r.contentsFile, std::string(255, 'c'));
  EXPECT_EQ(r.title, "no terminator");
  auto shortId = System();
  Append16(shortId, 4);
  Append16(shortId, 4);
  shortId.push_back(0x19);
  EXPECT_EQ(Read(shortId).languageId, 1033);
  auto headerCut = System();
  headerCut.push_back(0);  // half a record header
  EXPECT_NO_THROW(Read(headerCut));
}

TEST(CodePage, TheRowsTheReaderAlwaysHad) {
  const std::pair<int, int> rows[] = {{1025, 1256}, {1028, 950},  {1029, 1250}, {1038, 1250}, {1045, 1250},
                                      {1060, 1250}, {1032, 1253}, {1033, 1252}, {1034, 1252}, {1035, 1252},
                                      {1039, 1252}, {1043, 1252}, {1044, 1252}, {1053, 1252}, {1037, 1255},
                                      {1041, 932},  {1042, 949},  {1054, 874},  {1055, 1254}, {2052, 936},
                                      {1049, 1251}};
  for (auto [id, page] : rows) EXPECT_EQ(CodePageForLanguage(id), page) << id;
}

TEST(CodePage, EveryOtherLanguageByItsPrimaryLanguage) {
  const std::pair<int, int> rows[] = {
      {1031, 1252}, {1036, 1252}, {1046, 1252}, {2070, 1252}, {2057, 1252}, {3082, 1252}, {1027, 1252},
      {1030, 1252}, {1040, 1252}, {1057, 1252}, {1069, 1252}, {1078, 1252}, {1080, 1252}, {1086, 1252},
      {1089, 1252}, {1110, 1252}, {2067, 1252}, {1050, 1250}, {1048, 1250}, {1051, 1250}, {1052, 1250},
      {2074, 1250}, {3098, 1251}, {1026, 1251}, {1058, 1251}, {1059, 1251}, {1071, 1251}, {1087, 1251},
      {1088, 1251}, {1092, 1251}, {1104, 1251}, {1068, 1254}, {2092, 1251}, {1061, 1257}, {1062, 1257},
      {1063, 1257}, {1066, 1258}, {1065, 1256}, {1056, 1256}, {3073, 1256}, {4100, 936},  {3076, 950},
      {5124, 950},  {0, 1252},    {0x0409, 1252}, {0x0419, 1251}, {0x1809, 1252}, {0x080a, 1252},
      {0x0413, 1252}, {0x0416, 1252}, {0x040c, 1252}};
  for (auto [id, page] : rows) EXPECT_EQ(CodePageForLanguage(id), page) << id;
  // Ids that name no language keep the old default.
  EXPECT_EQ(CodePageForLanguage(0x7F), 1251);
  EXPECT_EQ(CodePageForLanguage(0x3FF), 1251);
}

// A topic table over hand-built objects.
struct Topics {
  std::vector<std::uint8_t> topics, urltbl, urlstr, strings;
  TopicTable Table() const { return TopicTable(topics, urltbl, urlstr, strings); }
  void Add(const std::string& title, const std::string& path, bool untitled = false) {
    std::uint32_t titleOffset = 0xFFFFFFFF;
    if (!untitled) {
      titleOffset = static_cast<std::uint32_t>(strings.size());
      strings.insert(strings.end(), title.begin(), title.end());
      strings.push_back(0);
    }
    const auto urlstrOffset = static_cast<std::uint32_t>(urlstr.size());
    Append32(urlstr, 0);
    Append32(urlstr, 0);
    urlstr.insert(urlstr.end(), path.begin(), path.end());
    urlstr.push_back(0);
    const auto urltblOffset = static_cast<std::uint32_t>(urltbl.size());
    Append32(urltbl, 0);
    Append32(urltbl, 0);
    Append32(urltbl, urlstrOffset);
    Append32(topics, 0);
    Append32(topics, titleOffset);
    Append32(topics, urltblOffset);
    Append32(topics, 0);
  }
};

TEST(TopicTable, TitlesPathsAndLookups) {
  Topics t;
  t.strings.push_back(0);
  t.Add("Welcome", "index.htm");
  t.Add("", "dir/page.htm", true);
  t.Add("Twice", "index.htm");
  t.topics.resize(t.topics.size() + 8);  // 56 bytes: still 3 topics
  TopicTable table = t.Table();
  EXPECT_EQ(table.Count(), 3);
  EXPECT_EQ(table.Title(0), "Welcome");
  EXPECT_EQ(table.Title(1), "Untitled topic");
  EXPECT_EQ(table.Title(3), "Incorrect topic id");
  EXPECT_EQ(table.Title(-1), "Incorrect topic id");
  EXPECT_EQ(table.Path(1).value_or("<none>"), "dir/page.htm");
  EXPECT_FALSE(table.Path(3));
  EXPECT_FALSE(table.Path(-1));
  EXPECT_EQ(table.FindByPath("Dir/Page.htm#part"), 1);
  EXPECT_EQ(table.FindByPath("./index.htm"), 0);  // the lowest number wins
  EXPECT_EQ(table.FindByPath("missing.htm"), -1);
}

TEST(TopicTable, OffsetsOutsideTheirObjectsAreAbsent) {
  Topics t;
  t.strings.push_back(0);
  t.Add("Good", "good.htm");
  t.Add("Bad", "bad.htm");
  t.Add("Cut", "cut.htm");
  // Topic 1: #urltbl offset past the object; topic 2: title past #STRINGS
  // and a #urlstr record that starts in the last bytes of its object.
  test::Put32(t.topics, 16 + 8, static_cast<std::uint32_t>(t.urltbl.size()) - 4);
  test::Put32(t.topics, 32 + 4, 100000);
  test::Put32(t.urltbl, 24 + 8, static_cast<std::uint32_t>(t.urlstr.size()) - 3);
  TopicTable table = t.Table();
  EXPECT_EQ(table.Path(0).value_or("<none>"), "good.htm");
  EXPECT_FALSE(table.Path(1));
  EXPECT_FALSE(table.Path(2));
  EXPECT_EQ(table.Title(2), "Untitled topic");
  EXPECT_EQ(TopicTable().Count(), 0);
  EXPECT_EQ(TopicTable().Title(0), "Incorrect topic id");
  EXPECT_EQ(TopicTable().FindByPath("x.htm"), -1);
}

}  // namespace
}  // namespace tessaly
