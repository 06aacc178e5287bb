#include "app/command_line.h"

#include <optional>

#include "pages/book_address.h"

namespace tessaly::app {

NamedBook ParseNamedBook(std::string_view text) {
  constexpr std::string_view kFilePrefix = "file:\\";
  if (text.starts_with(kFilePrefix)) text.remove_prefix(kFilePrefix.size());
  NamedBook named;
  if (const std::optional<BookAddress> address = ParseBookAddress(text, IsBookFile)) {
    named.path = address->book;
    named.page = address->page;
    if (!address->fragment.empty()) named.page += "#" + address->fragment;
  } else {
    named.path = std::string(text);
  }
  return named;
}

}  // namespace tessaly::app
