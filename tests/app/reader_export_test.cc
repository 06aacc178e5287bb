// File > Print and File > Export: the page on screen goes to the view's
// print, and the book of the tab in front is written out by a job, with
// progress, Cancel and errors shown, through fake views.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/recording_platform.h"

namespace tessaly::app::test {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ExportTest : public ReaderTest {
 protected:
  void SetUp() override { ASSERT_TRUE(Start(std::string(TESSALY_TEST_BOOKS) + "/basic/basic.chm")); }
  fs::path Target(const std::string& name) const { return fs::path(root.Path()) / name; }
  void Export(ExportFormat format, const fs::path& target, bool branch = false) {
    ui().exports.push_back(ExportChoice{format, target.string(), branch});
    ASSERT_TRUE(ui().Click(kCmdExport));
  }
};

TEST_F(ExportTest, PrintHandsThePageOnScreenToTheView) {
  const std::string shown = ui().LastNavigation();
  ASSERT_FALSE(shown.empty());
  ASSERT_TRUE(ui().Click(kCmdPrint));
  EXPECT_EQ(ui().tab().printed, std::vector<std::string>{shown});
}

TEST_F(ExportTest, WritesAnEpubAndFoldersThroughTheConverter) {
  Export(ExportFormat::kEpub, Target("book.epub"));
  // The opening page's contents entry is selected: its branch is offered.
  EXPECT_EQ(ui().exportDialogs, std::vector<std::string>{"basic|" + std::string(kExportBranch)});
  const std::string epub = Slurp(Target("book.epub"));
  // A ZIP whose first entry is the EPUB's stored mimetype.
  ASSERT_GT(epub.size(), 60u);
  EXPECT_EQ(epub.substr(0, 4), "PK\x03\x04");
  EXPECT_EQ(epub.substr(30, 28), "mimetypeapplication/epub+zip");

  Export(ExportFormat::kHtmlFolder, Target("site"));
  EXPECT_NE(Slurp(Target("site") / "index.html").find("Chapter 1"), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(Target("site") / "chapter1" / "intro.htm"));

  Export(ExportFormat::kMarkdownFolder, Target("notes"));
  EXPECT_TRUE(fs::is_regular_file(Target("notes") / "index.md"));

  EXPECT_TRUE(ui().messages.empty());
  EXPECT_FALSE(ui().progressVisible);
  EXPECT_FALSE(ui().cancelOffered);
  EXPECT_TRUE(ui().FindItem(kCmdExport)->enabled);
}

TEST_F(ExportTest, CancelStopsTheExportAndLeavesNothingBehind) {
  ui().holdWork = true;
  Export(ExportFormat::kEpub, Target("cancelled.epub"));
  EXPECT_TRUE(ui().cancelOffered);
  EXPECT_EQ(ui().progressCaption, kExporting);
  EXPECT_FALSE(ui().FindItem(kCmdExport)->enabled) << "one export at a time";
  ASSERT_TRUE(ui().Key(kCmdCancelWork));
  EXPECT_FALSE(ui().cancelOffered);
  EXPECT_FALSE(ui().progressVisible);
  ui().Drain();
  EXPECT_FALSE(fs::exists(Target("cancelled.epub")));
  EXPECT_TRUE(ui().messages.empty());
  // A new export runs after it.
  ui().holdWork = false;
  Export(ExportFormat::kEpub, Target("again.epub"));
  EXPECT_TRUE(fs::is_regular_file(Target("again.epub")));
}

// Book text passes through here; the person presses Cancel once the
// export has begun to write its target.
struct CancelMidway final : TextCodec {
  std::optional<std::string> ToUtf8(std::string_view text, int codePage) const override {
    ++calls;
    if (callsAtCancel == 0 && fs::exists(target)) {
      callsAtCancel = calls;
      cancel();
    }
    return inner.ToUtf8(text, codePage);
  }
  std::optional<std::string> FromUtf8(std::string_view text, int codePage) const override {
    return inner.FromUtf8(text, codePage);
  }
  IconvCodec inner;
  fs::path target;
  std::function<void()> cancel;
  mutable int calls = 0;
  mutable int callsAtCancel = 0;
};

TEST_F(ExportTest, CancelUnderWayStopsTheWriterAndRemovesItsTarget) {
  CancelMidway codec;
  codec.target = Target("midway");
  codec.cancel = [this] { reader().OnCommand(kCmdCancelWork); };
  ui().codec = &codec;
  Export(ExportFormat::kHtmlFolder, codec.target);
  ui().codec = nullptr;
  ASSERT_GT(codec.callsAtCancel, 0) << "the target was never written while text was converted";
  EXPECT_EQ(codec.calls, codec.callsAtCancel) << "text was converted after Cancel";
  EXPECT_FALSE(fs::exists(codec.target));
  EXPECT_TRUE(ui().messages.empty());
  EXPECT_FALSE(ui().progressVisible);
}

TEST_F(ExportTest, AFailingTargetIsToldAndWhatWasThereStays) {
  std::ofstream(Target("taken")) << "mine";
  Export(ExportFormat::kHtmlFolder, Target("taken") / "site");
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].caption, kExportCaption);
  EXPECT_TRUE(ui().messages[0].text.starts_with(kExportFailed));
  EXPECT_GT(ui().messages[0].text.size(), kExportFailed.size());
  EXPECT_EQ(Slurp(Target("taken")), "mine");
  EXPECT_FALSE(ui().progressVisible);
}

// A PDF: the platform prints the branch's document with its marks, then
// without, both into a work folder; a job then writes the target from the
// two prints. Whichever step fails, it is said, the work folder goes and
// what stood at the target stays: a print that failed, a print that is no
// PDF, a marked print in which no mark is found (its outline would all lead
// to the first page). (The whole way through a real printer is the
// reader's end-to-end test.)
TEST_F(ExportTest, PdfPrintsTheBranchTwiceThenWritesTheTargetFromBoth) {
  // One blank page, readable by poppler and qpdf.
  const std::string blankPdf =
      "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
      "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n";
  struct Case {
    int failing;          // the print that fails (0 or 1), or -1
    bool writesPdf;       // each print leaves a blank PDF
    std::string message;  // said in the message
  };
  const Case cases[] = {
      {0, false, "no printer"},
      {1, false, "no printer"},
      {-1, false, "cannot be read"},
      {-1, true, "no contents entry was found"},
  };
  ASSERT_TRUE(ui().Click(kCmdContents));
  ui().TapTreeItem(ui().TreeItemNamed("Chapter 1"));
  if (ui().Loading()) ui().Complete();
  std::ofstream(Target("book.pdf")) << "mine";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ui().printJobs.clear();
    ui().messages.clear();
    Export(ExportFormat::kPdf, Target("book.pdf"), true);
    const int prints = c.failing == 0 ? 1 : 2;
    fs::path folder;
    for (int print = 0; print < prints; ++print) {
      ASSERT_EQ(ui().printJobs.size(), static_cast<std::size_t>(print) + 1);
      const RecordingPlatform::PrintJob job = ui().printJobs[print];
      folder = fs::path(job.html).parent_path();
      EXPECT_EQ(fs::path(job.pdf).parent_path(), folder) << "printed into the work folder";
      EXPECT_NE(Slurp(job.html).find("Details"), std::string::npos);
      EXPECT_EQ(Slurp(job.html).find("Welcome"), std::string::npos) << "only the branch is printed";
      if (print == 1) {
        EXPECT_NE(job.html, ui().printJobs[0].html) << "the second print is of the other document";
        EXPECT_NE(job.pdf, ui().printJobs[0].pdf);
      }
      EXPECT_TRUE(ui().cancelOffered);
      if (c.writesPdf) std::ofstream(job.pdf) << blankPdf;
      job.done(print == c.failing ? std::optional<std::string>("no printer") : std::nullopt);
      ui().Drain();
    }
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(ui().printJobs.size(), static_cast<std::size_t>(prints));
    ASSERT_EQ(ui().messages.size(), 1u);
    EXPECT_NE(ui().messages[0].text.find(c.message), std::string::npos) << ui().messages[0].text;
    if (c.failing < 0) {
      EXPECT_NE(ui().messages[0].text.find(Target("book.pdf").string()), std::string::npos);
    }
    EXPECT_FALSE(ui().cancelOffered);
    EXPECT_EQ(Slurp(Target("book.pdf")), "mine");
  }
}

// Cancel while the platform prints: nothing more is printed or written, and
// the work folder goes once the print is over.
TEST_F(ExportTest, PdfCancelledWhilePrintingWritesNothing) {
  Export(ExportFormat::kPdf, Target("book.pdf"));
  ASSERT_EQ(ui().printJobs.size(), 1u);
  ASSERT_TRUE(ui().Key(kCmdCancelWork));
  EXPECT_FALSE(ui().progressVisible);
  const RecordingPlatform::PrintJob job = ui().printJobs[0];
  job.done(std::nullopt);
  ui().Drain();
  EXPECT_EQ(ui().printJobs.size(), 1u);
  EXPECT_FALSE(fs::exists(fs::path(job.html).parent_path()));
  EXPECT_FALSE(fs::exists(Target("book.pdf")));
  EXPECT_TRUE(ui().messages.empty());
}

}  // namespace
}  // namespace tessaly::app::test
