#include "support/link_walk.h"

#include <libxml/HTMLparser.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>

namespace tessaly::test {

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsMarkup(const fs::path& path) {
  const std::string ext = path.extension().string();
  return ext == ".htm" || ext == ".html" || ext == ".xhtml";
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

struct Page {
  std::vector<std::string> links;
  std::set<std::string> anchors;  // id and name values
};

Page ReadPage(const fs::path& path) {
  Page page;
  const std::string text = ReadAll(path);
  if (path.extension() == ".md") {
    static const std::regex kLink(R"(\]\(<([^>]*)>\))");
    for (std::sregex_iterator m(text.begin(), text.end(), kLink), end; m != end; ++m) page.links.push_back((*m)[1]);
    return page;
  }
  htmlDocPtr doc = htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                                  HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  for (xmlNode* node = xmlDocGetRootElement(doc); node != nullptr;) {
    if (node->type == XML_ELEMENT_NODE) {
      for (xmlAttr* a = node->properties; a != nullptr; a = a->next) {
        const std::string name = reinterpret_cast<const char*>(a->name);
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNode*>(a));
        const std::string text = value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        if (name == "href" || name == "src") page.links.push_back(text);
        if (name == "id" || name == "name") page.anchors.insert(text);
      }
    }
    if (node->children != nullptr && node->type == XML_ELEMENT_NODE) {
      node = node->children;
      continue;
    }
    while (node->next == nullptr && node->parent != nullptr && node->parent->type == XML_ELEMENT_NODE)
      node = node->parent;
    node = node->next;
  }
  xmlFreeDoc(doc);
  return page;
}

// The file a link leads to (relative to root), its fragment, or nullopt for
// an address that leaves the book.
struct Hop {
  std::string file;
  std::string fragment;
};

std::optional<Hop> Follow(const std::string& from, const std::string& link) {
  static const std::regex kScheme("^[A-Za-z][A-Za-z0-9+.-]*:");
  if (std::regex_search(link, kScheme)) return std::nullopt;
  Hop hop;
  std::string path = link;
  if (const std::size_t hash = path.find('#'); hash != std::string::npos) {
    hop.fragment = PercentDecoded(path.substr(hash + 1));
    path.resize(hash);
  }
  path = PercentDecoded(path);
  const fs::path target = path.empty() ? fs::path(from) : (fs::path(from).parent_path() / path).lexically_normal();
  hop.file = target.string();
  return hop;
}

}  // namespace

std::set<std::string> FilesBelow(const std::string& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).string());
  }
  return files;
}

std::vector<std::string> BrokenLinks(const std::string& root) {
  std::vector<std::string> broken;
  std::map<std::string, Page> pages;
  const auto pageOf = [&](const std::string& file) -> const Page& {
    auto found = pages.find(file);
    if (found == pages.end()) found = pages.emplace(file, ReadPage(fs::path(root) / file)).first;
    return found->second;
  };
  const std::set<std::string> files = FilesBelow(root);
  for (const std::string& file : files) {
    if (!IsMarkup(file) && fs::path(file).extension() != ".md") continue;
    for (const std::string& link : pageOf(file).links) {
      const std::optional<Hop> hop = Follow(file, link);
      if (!hop) continue;
      if (hop->file.starts_with("..") || files.count(hop->file) == 0) {
        broken.push_back(file + ": " + link + " (no such file)");
      } else if (!hop->fragment.empty() && IsMarkup(hop->file) && pageOf(hop->file).anchors.count(hop->fragment) == 0) {
        broken.push_back(file + ": " + link + " (no such anchor)");
      }
    }
  }
  return broken;
}

std::set<std::string> Reachable(const std::string& root, const std::string& start) {
  std::set<std::string> seen = {start};
  std::deque<std::string> queue = {start};
  while (!queue.empty()) {
    const std::string file = queue.front();
    queue.pop_front();
    if (!IsMarkup(file) && fs::path(file).extension() != ".md") continue;
    if (!fs::is_regular_file(fs::path(root) / file)) continue;
    for (const std::string& link : ReadPage(fs::path(root) / file).links) {
      const std::optional<Hop> hop = Follow(file, link);
      if (hop && seen.insert(hop->file).second) queue.push_back(hop->file);
    }
  }
  return seen;
}

}  // namespace tessaly::test
