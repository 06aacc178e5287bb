// The diagnostic dump of the header and directory, line by line.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "book/book.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

using test::ChmBuilder;
using test::TempFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Dump, BuiltBookPrintsEveryFieldInItsFormat) {
  ChmBuilder b;
  b.AddFile("/a.htm", "hello");
  b.AddEntry("#SYSTEM", 1, 0x1234, 300);
  TempFile file(b.Build());
  std::ostringstream log;
  Book book;
  book.SetLog(&log);
  book.OpenContainer(file.Path());

  const std::size_t dirLength = 84 + 4096;
  const std::size_t fileSize = b.ContentOffset() + 5;
  char buf[200];
  std::vector<std::string> expected;
  auto add = [&](const std::string& s) { expected.push_back(s); };
  // The first line carries the handle twice: once from the open, once from
  // the header reader.
  const std::vector<std::string> got = Lines(log.str());
  ASSERT_FALSE(got.empty());
  int handle = -1;
  ASSERT_EQ(std::sscanf(got[0].c_str(), "%d->", &handle), 1);
  add(std::to_string(handle) + "->" + std::to_string(handle));
  add("->ITSF\x03");
  add("*** header info ***");
  add("File Name      : " + file.Path());
  add("Version        : 3'");
  add("H Length       : 96'");
  add("Unknown        : 12345678");
  add("LID            : 0409");
  add("GUID           : 13121110-1514-1716-1819-1A1B-1C1D-1E1F");
  add("GUID           : A3A2A1A0-A5A4-A7A6-A8A9-AAAB-ACAD-AEAF");
  add("*** sections table ***");
  add("Sec1 offset    : 00000000-00000060 (96$)");
  add("Sec1 length    : 00000000-00000018 (24$)");
  add("Sec2 offset    : 00000000-00000078 (120$)");
  std::snprintf(buf, sizeof buf, "Sec2 length    : 00000000-%08X (%d$)", unsigned(dirLength), int(dirLength));
  add(buf);
  add("*** section 0 ***");
  std::snprintf(buf, sizeof buf, "File size      : 00000000-%08X (%d$)", unsigned(fileSize), int(fileSize));
  add(buf);
  add("*** section 1 ***");
  add("Version        : 1'");
  add("Length         : 84'");
  add("Chunk size     : 4096'");
  add("Density        : 2'");
  add("Tree depth     : 1'");
  add("PMGI chunks nmb: -1'");
  add("First PMGL     : 0'");
  add("Last PNGL      : 0'");
  add("Chunks number  : 1'");
  add("LID            : 0409");
  add("GUID           : 6D6C6B6A-6F6E-7170-7273-7475-7677-7879");
  add("Length         : 84'");
  add("*** directory chunk 1 ***");
  std::snprintf(buf, sizeof buf, "end free space : %d'", 4096 - 20 - 10 - 13);
  add(buf);
  add("prev chunk     : -1'");
  add("next chunk     : -1'");
  add("*** files entries ***");
  add("total files    : 2'");
  add("00000. 06 00000000 00000000 00000005 /a.htm");
  add("00001. 07 00000001 00001234 0000012C #SYSTEM");
  add("*** content sections ***");
  EXPECT_EQ(got, expected);
}

TEST(Dump, NothingIsWrittenWithoutALog) {
  // The same open with and without a log gives the same directory.
  ChmBuilder b;
  b.AddFile("/a.htm", "hello");
  TempFile file(b.Build());
  Book quiet;
  quiet.OpenContainer(file.Path());
  std::ostringstream log;
  Book loud;
  loud.SetLog(&log);
  loud.OpenContainer(file.Path());
  EXPECT_EQ(quiet.EntryCount(), loud.EntryCount());
  EXPECT_FALSE(log.str().empty());
  loud.SetLog(nullptr);
  log.str("");
  loud.OpenContainer(file.Path());
  EXPECT_EQ(log.str(), "");
}

}  // namespace
}  // namespace tessaly
