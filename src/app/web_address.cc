#include "app/web_address.h"

#include "base/text.h"

namespace tessaly::app {

namespace {

std::string_view TrimLeft(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool IsWebAddress(std::string_view link) {
  link = TrimLeft(link);
  for (const std::string_view scheme : {"http:", "https:", "ftp:", "mailto:"}) {
    if (StartsWithNoCase(link, scheme)) return true;
  }
  return false;
}

bool IsBookUrl(std::string_view text) {
  for (const std::string_view scheme : {"ms-its:", "its:", "mk:@msitstore:"}) {
    if (StartsWithNoCase(text, scheme)) return true;
  }
  return false;
}

std::string AddressForDesktop(std::string_view link) {
  link = TrimLeft(link);
  if (!StartsWithNoCase(link, "mailto:")) return std::string(link);
  // mailto:to?subject=..&body=..&attach=..: only the recipients, the
  // subject and the body go to the mail program.
  const std::size_t question = link.find('?');
  std::string address(link.substr(0, question));
  std::string kept;
  if (question != std::string_view::npos) {
    std::string_view query = link.substr(question + 1);
    query = query.substr(0, query.find('#'));
    while (!query.empty()) {
      const std::size_t amp = query.find('&');
      const std::string_view field = query.substr(0, amp);
      const std::string_view name = field.substr(0, field.find('='));
      if (EqualNoCase(name, "subject") || EqualNoCase(name, "body")) {
        kept += kept.empty() ? "?" : "&";
        kept += field;
      }
      if (amp == std::string_view::npos) break;
      query.remove_prefix(amp + 1);
    }
  }
  if (address.size() == 7 && kept.empty()) return {};
  return address + kept;
}

}  // namespace tessaly::app
