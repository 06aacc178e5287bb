// Walks the links of a converted book as a browser would follow them: every
// href and src of its HTML and XHTML files, and every Markdown link, resolved
// against the file that holds it.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace tessaly::test {

// One line per link below root that does not lead to a file below root (or
// names a fragment its target page lacks): "FILE: LINK (why)". Web and mail
// addresses are not followed.
std::vector<std::string> BrokenLinks(const std::string& root);

// The files (relative to root) reached from `start` by following links.
std::set<std::string> Reachable(const std::string& root, const std::string& start);

// Every file below root, relative to it.
std::set<std::string> FilesBelow(const std::string& root);

}  // namespace tessaly::test
