#include "detail/pdf_finishing.h"

#define POINTERHOLDER_TRANSITION 4
#include <poppler.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <exception>

namespace tessaly::pdf {

std::optional<std::map<std::string, Place>> FindMarks(const std::string& pdf) {
  std::map<std::string, Place> places;
  char* uri = g_filename_to_uri(pdf.c_str(), nullptr, nullptr);
  PopplerDocument* document = poppler_document_new_from_file(uri, nullptr, nullptr);
  g_free(uri);
  if (document == nullptr) return std::nullopt;
  const int count = poppler_document_get_n_pages(document);
  for (int index = 0; index < count; ++index) {
    PopplerPage* page = poppler_document_get_page(document, index);
    char* text = poppler_page_get_text(page);
    const std::string all = text != nullptr ? text : "";
    g_free(text);
    for (std::size_t at = all.find("zqx"); at != std::string::npos; at = all.find("zqx", at + 3)) {
      const std::size_t end = all.find("xqz", at);
      if (end == std::string::npos || end - at > 20) continue;
      const std::string mark = all.substr(at, end + 3 - at);
      if (places.count(mark) != 0) continue;
      GList* found = poppler_page_find_text(page, mark.c_str());
      if (found != nullptr) {
        // poppler's search gives the rectangle in PDF user space already.
        const auto* r = static_cast<PopplerRectangle*>(found->data);
        places[mark] = {index, r->x1, std::min(r->y1, r->y2), r->x2, std::max(r->y1, r->y2)};
        g_list_free_full(found, reinterpret_cast<GDestroyNotify>(poppler_rectangle_free));
      }
    }
    g_object_unref(page);
  }
  g_object_unref(document);
  return places;
}

namespace {

QPDFObjectHandle Destination(const std::vector<QPDFPageObjectHelper>& pages, const Place& place) {
  QPDFObjectHandle dest = QPDFObjectHandle::newArray();
  dest.appendItem(pages.at(static_cast<std::size_t>(place.page)).getObjectHandle());
  dest.appendItem(QPDFObjectHandle::newName("/XYZ"));
  dest.appendItem(QPDFObjectHandle::newNull());
  dest.appendItem(QPDFObjectHandle::newReal(place.top + 12, 2));
  dest.appendItem(QPDFObjectHandle::newNull());
  return dest;
}

QPDFObjectHandle Rectangle(const Place& p) {
  QPDFObjectHandle rect = QPDFObjectHandle::newArray();
  for (double v : {p.left, p.bottom, p.right, p.top}) rect.appendItem(QPDFObjectHandle::newReal(v, 2));
  return rect;
}

void AddOutline(QPDF& qpdf, const std::vector<QPDFPageObjectHelper>& pages, const std::vector<OutlineEntry>& outline) {
  QPDFObjectHandle root = qpdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
  root.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
  // Per level: the parent and the last child added under it.
  std::vector<QPDFObjectHandle> parents = {root};
  std::vector<QPDFObjectHandle> lastChild = {QPDFObjectHandle::newNull()};
  std::vector<int> counts = {0};
  const auto close = [&]() {
    QPDFObjectHandle parent = parents.back();
    parent.replaceKey("/Count", QPDFObjectHandle::newInteger(counts.back()));
    const int count = counts.back();
    parents.pop_back();
    lastChild.pop_back();
    counts.pop_back();
    if (!counts.empty()) counts.back() += count;
  };
  for (const OutlineEntry& entry : outline) {
    const std::size_t level = std::min<std::size_t>(static_cast<std::size_t>(std::max(entry.depth, 0)) + 1, parents.size());
    while (parents.size() > level) close();
    QPDFObjectHandle item = qpdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(entry.title));
    item.replaceKey("/Parent", parents.back());
    item.replaceKey("/Dest", Destination(pages, entry.place));
    if (lastChild.back().isNull()) {
      parents.back().replaceKey("/First", item);
    } else {
      lastChild.back().replaceKey("/Next", item);
      item.replaceKey("/Prev", lastChild.back());
    }
    parents.back().replaceKey("/Last", item);
    lastChild.back() = item;
    ++counts.back();
    parents.push_back(item);
    lastChild.push_back(QPDFObjectHandle::newNull());
    counts.push_back(0);
  }
  while (parents.size() > 1) close();
  root.replaceKey("/Count", QPDFObjectHandle::newInteger(counts.back()));
  qpdf.getRoot().replaceKey("/Outlines", root);
  qpdf.getRoot().replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
}

}  // namespace

std::string FinishPdf(const std::string& in, std::FILE* out, const std::vector<OutlineEntry>& outline,
                      const std::vector<LinkAnnotation>& links) {
  try {
    QPDF qpdf;
    qpdf.processFile(in.c_str());
    const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(qpdf).getAllPages();
    if (pages.empty()) return "the printed document has no pages";
    if (!outline.empty()) AddOutline(qpdf, pages, outline);
    for (const LinkAnnotation& link : links) {
      QPDFObjectHandle annotation = QPDFObjectHandle::newDictionary();
      annotation.replaceKey("/Type", QPDFObjectHandle::newName("/Annot"));
      annotation.replaceKey("/Subtype", QPDFObjectHandle::newName("/Link"));
      annotation.replaceKey("/Rect", Rectangle(link.area));
      annotation.replaceKey("/Border", QPDFObjectHandle::parse("[0 0 0]"));
      if (link.internal) {
        annotation.replaceKey("/Dest", Destination(pages, link.target));
      } else {
        QPDFObjectHandle action = QPDFObjectHandle::newDictionary();
        action.replaceKey("/S", QPDFObjectHandle::newName("/URI"));
        action.replaceKey("/URI", QPDFObjectHandle::newString(link.address));
        annotation.replaceKey("/A", action);
      }
      QPDFObjectHandle page = pages.at(static_cast<std::size_t>(link.area.page)).getObjectHandle();
      if (!page.getKey("/Annots").isArray()) page.replaceKey("/Annots", QPDFObjectHandle::newArray());
      page.getKey("/Annots").appendItem(qpdf.makeIndirectObject(annotation));
    }
    QPDFWriter writer(qpdf);
    writer.setOutputFile("PDF", out, false);
    writer.write();
  } catch (const std::exception& error) {
    return error.what();
  }
  return {};
}

}  // namespace tessaly::pdf
