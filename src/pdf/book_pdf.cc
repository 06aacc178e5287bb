#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "base/safe_files.h"
#include "convert/convert.h"
#include "detail/pdf_finishing.h"
#include "pdf/pdf.h"

namespace tessaly::pdf {

namespace {

std::vector<OutlineEntry> Outline(const convert::PrintDocument& document, const std::map<std::string, Place>& marks) {
  std::vector<OutlineEntry> outline;
  // An entry without a page of its own leads where the next one does.
  std::optional<Place> next;
  for (auto it = document.entries.rbegin(); it != document.entries.rend(); ++it) {
    if (const auto found = marks.find(it->mark); found != marks.end()) next = found->second;
    outline.push_back({it->title, it->depth, next.value_or(Place{})});
  }
  std::reverse(outline.begin(), outline.end());
  return outline;
}

std::vector<LinkAnnotation> Links(const convert::PrintDocument& document, const std::map<std::string, Place>& marks) {
  std::vector<LinkAnnotation> links;
  for (const convert::PrintDocument::Link& link : document.links) {
    const auto start = marks.find(link.startMark);
    const auto end = marks.find(link.endMark);
    if (start == marks.end() || end == marks.end()) continue;
    Place area = start->second;
    // The link's text runs from its start mark to its end mark; when it wraps,
    // the first line is taken.
    if (end->second.page == area.page && end->second.bottom < area.top && end->second.top > area.bottom &&
        end->second.right > area.left)
      area.right = end->second.right;
    area.top = area.bottom + std::max(area.top - area.bottom, 10.0);
    if (link.targetMark.empty()) {
      links.push_back({area, false, {}, link.address});
    } else if (const auto target = marks.find(link.targetMark); target != marks.end()) {
      links.push_back({area, true, target->second, {}});
    }
  }
  return links;
}

}  // namespace

Finished FinishBookPdf(const convert::PrintDocument& document, const std::string& marked, const std::string& printed,
                       const std::string& out) {
  Finished finished;
  const std::optional<std::map<std::string, Place>> found = FindMarks(marked);
  // Without the marks the outline would lead to the first page and no link
  // would be made: a PDF that looks whole and is not.
  if (!found || (found->empty() && !document.entries.empty())) {
    finished.error = found ? "no contents entry was found in the printed pages" : "the printed pages cannot be read";
    return finished;
  }
  const std::map<std::string, Place>& marks = *found;
  const std::vector<OutlineEntry> outline = Outline(document, marks);
  const std::vector<LinkAnnotation> links = Links(document, marks);

  const std::size_t slash = out.rfind('/');
  const std::string name = slash == std::string::npos ? out : out.substr(slash + 1);
  const std::string partial = "." + name + ".partial";
  FolderHandle folder = FolderHandle::Open(slash == std::string::npos ? "." : slash == 0 ? "/" : out.substr(0, slash), true);
  OwnedFile file = folder.IsOpen() && !name.empty() ? CreateFileIn(folder, partial) : nullptr;
  if (file == nullptr) {
    finished.error = std::strerror(name.empty() ? EISDIR : errno);
    return finished;
  }
  finished.error = FinishPdf(printed, file.get(), outline, links);
  if (std::fclose(file.release()) != 0 && finished.error.empty()) finished.error = std::strerror(errno);
  if (finished.error.empty() && renameat(folder.Fd(), partial.c_str(), folder.Fd(), name.c_str()) != 0)
    finished.error = std::strerror(errno);
  if (!finished.error.empty()) {
    unlinkat(folder.Fd(), partial.c_str(), 0);
    return finished;
  }
  finished.entries = outline.size();
  finished.links = links.size();
  return finished;
}

}  // namespace tessaly::pdf
